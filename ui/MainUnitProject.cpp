// Project commands of the main window: Save, Save As, Open, the recent projects, loading the
// last project at start, Export, and the command line's export at a scan's end.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/SystemServices.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NextGridRows.h"
#include "ui/ExportTargets.h"
#include "ui/MruUnit.h"
#include "ui/ZYStatusBar.h"
#include "ui_MainUnit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QProgressBar>

#include <sys/stat.h>

#include <cstdio>
#include <exception>

namespace {

const std::string UntitledProject = "untitled.twrk";
const std::string ProjectFilter = "TWRK Files (*.twrk);;All Files (*)";
const std::string ExportFilter = "XML Files (*.xml);;CSV Files (*.csv)";
const QString SavingText = QStringLiteral("Saving project... Please wait...");

bool IsRegularFile(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The extension of the path's file name, lower-cased, with its dot; empty when it has none.
std::string LowerExtension(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot <= slash + 1)) {
        return {};
    }
    std::string ext = path.substr(dot);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return ext;
}

} // namespace

void TMainForm::ConnectProjectHandlers()
{
    connect(ui->ActionSaveProject, &QAction::triggered, this, &TMainForm::ActionSaveProjectExecute);
    connect(
        ui->ActionSaveAsProject, &QAction::triggered, this, &TMainForm::ActionSaveAsProjectExecute);
    connect(ui->ActionOpenProject, &QAction::triggered, this, &TMainForm::ActionOpenProjectExecute);
    connect(ui->MenuFileExport, &QAction::triggered, this, &TMainForm::MenuFileExportClick);
}

bool TMainForm::RunBusy(
    const QString& text, const std::function<bool(std::string&)>& step, std::string& errorText)
{
    ShowBusy(text);
    bool done = false;
    try {
        done = step(errorText);
    } catch (const std::exception& error) {
        errorText = error.what();
        done = false;
    }
    EndBusy();
    return done;
}

// ---- saving ------------------------------------------------------------------------------------

void TMainForm::ActionSaveProjectExecute()
{
    if (IsScanning() || !Project) {
        return;
    }
    if (Project->FileName == UntitledProject) {
        ActionSaveAsProjectExecute();
        return;
    }
    std::string errorText;
    const bool saved = RunBusy(
        SavingText, [this](std::string& error) { return Project->Save(error); }, errorText);
    if (saved) {
        UpdateCaption(false);
    } else {
        ShowErrorMessage(errorText);
    }
}

void TMainForm::ActionSaveAsProjectExecute()
{
    if (IsScanning() || !Project) {
        return;
    }
    const std::string chosen = GetSaveFileName("Save Project As", ProjectFilter, Project->FileName);
    if (chosen.empty()) {
        return;
    }
    std::string errorText;
    const bool saved = RunBusy(
        SavingText, [this, &chosen](std::string& error) { return Project->SaveAs(chosen, error); },
        errorText);
    if (!saved) {
        // The project keeps the chosen name, so Save Project tries it again.
        ShowErrorMessage(errorText);
        return;
    }
    MRU->AddFile(chosen);
    UpdateCaption(false);
}

// ---- opening -----------------------------------------------------------------------------------

void TMainForm::ActionOpenProjectExecute()
{
    if (IsScanning() || !Project) {
        return;
    }
    const std::string initial = Project->FileName == UntitledProject ? "" : Project->FileName;
    const std::string chosen = GetOpenFileName("Open Project", ProjectFilter, initial);
    if (!chosen.empty()) {
        OpenProjectFile(chosen);
    }
}

bool TMainForm::OpenProjectFile(const std::string& fileName)
{
    if (IsScanning() || Finder == nullptr || !Project) {
        return false;
    }
    if (DupGrid->RowCount() > 0 &&
        !ShowConfirmMessage("Opening a project will clear the current results.\r\n"
                            "Do you want to continue?")) {
        return false;
    }
    // The reader replaces the records: the grid and the preview let go of them first.
    ClearPreview();
    DupGrid->ClearRows();
    std::string errorText;
    const bool opened = RunBusy(
        QStringLiteral("Opening project... Please wait..."),
        [this, &fileName](std::string& error) { return Project->Open(fileName, error); },
        errorText);
    if (!opened) {
        // The finder is as it was: its rows come back with their check states.
        DupGrid->SetRows(ListGridRows(*Finder), Finder->Files.Count());
        ShowErrorMessage(errorText);
        return false;
    }

    // The scan options stored with the project, in their controls.
    ui->CompareMethod->setCurrentIndex(AppSettings.FindMode);
    CompareMethodChange();
    ui->SimilaritySpinEdit->setValue(AppSettings.Similarity);
    ui->ScanEqualExtOnly->setChecked(AppSettings.ScanEqualExtOnly);
    if (ui->DoNotCompareExt->isEnabled()) {
        ui->DoNotCompareExt->setChecked(AppSettings.DoNotCompareExt);
    }
    MRU->AddFile(fileName);
    ScanFinished(nullptr);
    UpdateCaption(false);
    return true;
}

void TMainForm::LoadLastProjectAtStart()
{
    if (!AppSettings.LoadLastProject || MRU == nullptr || MRU->FileList().empty()) {
        return;
    }
    const std::string last = MRU->FileList().front();
    // A project that has gone since is passed over quietly at start.
    if (IsRegularFile(last)) {
        OpenProjectFile(last);
    }
}

// ---- exports -----------------------------------------------------------------------------------

void TMainForm::MenuFileExportClick()
{
    if (IsScanning() || Finder == nullptr || !Project) {
        return;
    }
    const std::string chosen = GetSaveFileName("Export", ExportFilter, "");
    if (chosen.empty()) {
        return;
    }
    const std::string ext = LowerExtension(chosen);
    if (ext != ".xml" && ext != ".csv") {
        ShowErrorMessage("Please give the file name the extension .xml or .csv.");
        return;
    }
    std::string errorText;
    const bool written = RunBusy(
        QStringLiteral("Exporting... Please Wait..."),
        [this, &chosen, &ext](std::string& error) {
            return ext == ".xml" ? Project->ExportXml(chosen, error)
                                 : Project->ExportCsv(chosen, error);
        },
        errorText);
    if (!written) {
        ShowErrorMessage(errorText);
    }
}

bool TMainForm::ExportToFiles(const std::string& list)
{
    if (Finder == nullptr || !Project) {
        return false;
    }
    ui->StatusBar->SetPanelText(0, QStringLiteral("Exporting... Please Wait..."));
    ui->StatusBar->repaint();
    const std::vector<TExportFailure> failures =
        WriteExportTargets(ExportTargets(list, QDateTime::currentDateTime(), QLocale()), *Project,
            *Finder, AppSettings);
    // The window stays quiet; whoever started the program sees the failures.
    for (const TExportFailure& failure : failures) {
        std::fprintf(stderr, "%s\n", failure.ErrorText.c_str());
    }
    std::fflush(stderr);
    return failures.empty();
}

void TMainForm::ProcessCommandLine()
{
    if (CommandLineParameters().size() < 2) {
        return;
    }
    bool exported = true;
    std::string list;
    if (GetCommandLineValue("-exp", list) && !list.empty()) {
        exported = ExportToFiles(list);
    }
    if (HasCommandLineSwitch("-s")) {
        TerminateApplication(exported ? 0 : 1);
    }
}

void TMainForm::TerminateApplication(int exitCode)
{
    QCoreApplication::exit(exitCode);
}
