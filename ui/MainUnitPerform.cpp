// The Perform controls of the main window: the action box, the target folder with its picker,
// the two option boxes, and the Perform button, which checks and confirms the action, runs it
// in the file-operation dialog and brings the results grid up to date.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYGlobals.h"
#include "toolkit/NextGrid.h"
#include "ui/ButtonEd.h"
#include "ui/DeleteFilesUnit.h"
#include "ui/MsgDlg.h"
#include "ui/PerformChecks.h"
#include "ui/YesNoUnit.h"
#include "ui_MainUnit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <exception>
#include <string>

void TMainForm::ConnectPerformHandlers()
{
    connect(
        ui->PerformActionButton, &QPushButton::clicked, this, &TMainForm::PerformActionButtonClick);
    connect(ui->PerformActionComboBox, &QComboBox::activated, this,
        &TMainForm::PerformActionComboBoxChange);
    connect(
        ui->MoveToFolder, &TButtonEdit::OnButtonClick, this, &TMainForm::MoveToFolderButtonClick);
    // The user's typing; a folder put into the edit by code is written to the settings by
    // whoever puts it there, byte for byte.
    connect(ui->MoveToFolder, &QLineEdit::textEdited, this, &TMainForm::MoveToFolderChange);
    connect(ui->MoveToFolder, &QLineEdit::editingFinished, this, &TMainForm::MoveToFolderExit);
    connect(
        ui->KeepFolderStructure, &QCheckBox::toggled, this, &TMainForm::KeepFolderStructureClick);
    connect(ui->DeleteEmptyFolders, &QCheckBox::toggled, this, &TMainForm::DeleteEmptyFoldersClick);
}

// ---- the controls ------------------------------------------------------------------------------

void TMainForm::PerformActionComboBoxChange()
{
    // Symbolic links need no special rights here: every action can be chosen.
    AppSettings.PerformAction =
        std::uint8_t(std::max(ui->PerformActionComboBox->currentIndex(), 0));
}

void TMainForm::MoveToFolderButtonClick()
{
    const std::string folder = PickTargetFolder(AppSettings.MoveToFolder);
    if (folder.empty()) {
        return;
    }
    ui->MoveToFolder->setText(QString::fromUtf8(folder));
    AppSettings.MoveToFolder = folder;
}

void TMainForm::MoveToFolderChange()
{
    // The text as it stands: "\" is a character of a name here, not a separator. A folder
    // whose name is not valid UTF-8 keeps its bytes while the edit still shows it unchanged.
    const QString text = ui->MoveToFolder->text();
    if (text != QString::fromUtf8(AppSettings.MoveToFolder)) {
        AppSettings.MoveToFolder = text.toStdString();
    }
}

void TMainForm::MoveToFolderExit()
{
    MoveToFolderChange();
}

void TMainForm::KeepFolderStructureClick()
{
    AppSettings.KeepFolderStructure = ui->KeepFolderStructure->isChecked();
}

void TMainForm::DeleteEmptyFoldersClick()
{
    AppSettings.DeleteEmptyFolders = ui->DeleteEmptyFolders->isChecked();
}

// ---- Perform -----------------------------------------------------------------------------------

void TMainForm::PerformActionButtonClick()
{
    if (Finder == nullptr || IsScanning() || FPerforming) {
        return;
    }
    TPerformPrompts prompts;
    prompts.AskYesNo = [this](const std::string& text) { return AskYesNo(text, this); };
    prompts.RecommendRecycleBin = [this](const std::string& text, bool& dontShowAgain) {
        TMessageDlg recommendation(this);
        recommendation.Color = palette().color(QPalette::Button);
        recommendation.SetCheckBox(true);
        recommendation.IniSection = QString::fromStdString(RegistryRoot);
        recommendation.SetIniItem(QStringLiteral("HideMoveWarningMsg"));
        const int result = recommendation.Execute(
            QString::fromStdString(text), mtWarning, MsgDlgButtons({mbOK, mbCancel}), 0);
        dontShowAgain = recommendation.CheckBoxChecked;
        return result != mrCancel;
    };
    prompts.BrowseTargetFolder = [this] { MoveToFolderButtonClick(); };

    TPerformRequest request;
    try {
        request = CheckPerformAction(*Finder, AppSettings, prompts);
    } catch (const std::exception& error) {
        ShowErrorMessage(error.what(), this);
        return;
    }
    if (!request.Run) {
        return;
    }

    const bool copy = request.Action == paCopy;
    FPerforming = true;
    // A scan must not start (from the tray's menu) while the dialog works on the results.
    const bool startEnabled = ui->ActionStartScan->isEnabled();
    ui->ActionStartScan->setEnabled(false);
    {
        // The grid tells nothing while its rows go; everything but a copy frees the records
        // of the files that leave the results, so the grid and the preview let go of them.
        const QSignalBlocker quiet(DupGrid);
        if (!copy) {
            ClearPreview();
            DupGrid->ClearRows();
        }
        try {
            RunFileOperationDialog(*Finder, AppSettings, request.Action, this);
        } catch (const std::exception& error) {
            ShowErrorMessage(error.what(), this);
        }
        UpdateCheckedCounts();
        UpdateCaption(true);
    }
    ui->ActionStartScan->setEnabled(startEnabled);
    FPerforming = false;

    if (!copy) {
        // The groups left, with the check states the dialog left: files that failed stay
        // checked, and the autocheck rule is not applied again.
        DoAutoSelect2(TAutoCheckCaller::accRefill);
    }
    ui->PerformActionButton->setEnabled(DupGrid->RowCount() > 0);
}
