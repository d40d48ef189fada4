// Scan completion of the main window: the results shown when a scan ends, the autosave, the
// summary with the skipped-folders file, the countdown before the after-scan action, and the
// window's return to idle.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/SystemServices.h"
#include "engine/ZYGlobals.h"
#include "toolkit/LauncherProgress.h"
#include "toolkit/NextGrid.h"
#include "toolkit/ProgramIcons.h"
#include "toolkit/TrayIcon.h"
#include "ui/MruUnit.h"
#include "ui/ResultUnit.h"
#include "ui/ShutUnit.h"
#include "ui/SkippedFoldersFile.h"
#include "ui/ZYStatusBar.h"
#include "ui_MainUnit.h"

#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <exception>

namespace {

// The summary of a finished scan; with skipped folders, the warning and the file that lists
// them.
QString SummaryText(
    std::int32_t groups, std::int32_t files, bool skipped, const std::string& skippedFile)
{
    QString text = QStringLiteral("Scan finished.\n\n%1 duplicate groups found.\n"
                                  "%2 duplicate files found.\n")
                       .arg(groups)
                       .arg(files);
    if (skipped) {
        text +=
            QStringLiteral("\nWARNING: Files from some folders were not scanned, because \"Protect "
                           "system files and folders\" option or Filter is activated.\n"
                           "The following file contains the skipped folders list: ") +
            QString::fromUtf8(skippedFile);
    }
    return text;
}

} // namespace

void TMainForm::ScanFinished(const TScanEnd* sender)
{
    if (Finder == nullptr || FFinishingScan) {
        return;
    }
    FFinishingScan = true;
    const std::uint8_t afterScan = AppSettings.AfterScan;
    const bool failed = sender != nullptr && !sender->ErrorText.empty();
    int countdown = QDialog::Rejected;
    // Every way out of this leads to the clean-up below.
    auto complete = [&] {
        ui->StatusBar->SetPanelText(0, QString());
        PauseToolButton->setEnabled(false);
        PauseTrayMenu->setEnabled(false);
        ShowPauseOrResume(false);
        ResetProgressBar(0);
        TaskbarListProgress->UpdateProgress();
        if (!ScanAborted.load()) {
            TimerTimer();
            ResortResults();
        }

        ProcessCommandLine();
        if (HasCommandLineSwitch("-s")) {
            return;
        }
        if (!isVisible() && TrayIcon->Visible()) {
            TrayIconDblClick();
        }
        Timer->stop();
        if (ScanAborted.load()) {
            if (sender != nullptr) {
                ui->StatusBar->SetPanelText(0, QStringLiteral("Aborted by user."));
            }
        } else {
            Finder->State = fsFinished;
            TimerTimer();
            DoAutoSelect2(
                sender != nullptr ? TAutoCheckCaller::accScan : TAutoCheckCaller::accRefill);
            UpdateCheckedCounts();
            TimerTimer();
            QString status;
            if (failed) {
                status = QStringLiteral("Scan failed.");
            } else if (sender != nullptr) {
                status = QStringLiteral("Scan finished.");
            }
            ui->StatusBar->SetPanelText(0, status);
            if (failed) {
                // What was found is shown; nothing is saved and no action follows.
                ShowErrorMessage("The scan failed:\r\n" + sender->ErrorText);
            }

            bool autosaved = true;
            if (sender != nullptr && !failed && afterScan != 0) {
                const std::string documents = GetMyDocumentsFolder();
                std::string errorText;
                if (documents.empty()) {
                    // Never the current folder: without a known Documents folder nothing is
                    // written.
                    errorText = std::string("Error while saving ") + AutoSaveFileName +
                        "\r\nNo Documents folder and no home folder is known.";
                    autosaved = false;
                } else {
                    const std::string path = documents + AutoSaveFileName;
                    autosaved = Project->SaveAs(path, errorText);
                    if (autosaved) {
                        MRU->AddFile(path);
                    }
                }
                if (!autosaved) {
                    ShowErrorMessage(errorText);
                }
            }
            Finder->State = fsShown;
            TimerTimer();

            if (sender != nullptr && !failed) {
                if (afterScan >= 2 && afterScan <= 6 && autosaved) {
                    countdown = TShutForm::Execute(this, afterScan, [this] {
                        std::vector<std::string> unsaved;
                        SaveClosingState(unsaved);
                    });
                } else {
                    // The summary: for the actions 0 and 1, and after a failed autosave (the
                    // countdown would end the program or the session with results unsaved).
                    const bool skipped = !FileSearcher->SkippedFolders.empty() ||
                        !FileSearcher->FilteredFolders.empty();
                    const std::string documents = GetMyDocumentsFolder();
                    const std::string skippedFile =
                        documents.empty() ? std::string() : documents + SkippedFoldersFileName;
                    std::string errorText;
                    if (skipped &&
                        !WriteSkippedFoldersFile(skippedFile, FileSearcher->SkippedFolders,
                            FileSearcher->FilteredFolders, errorText)) {
                        ShowErrorMessage(errorText);
                    } else {
                        TResultForm summary(this);
                        summary.SetText(SummaryText(Finder->Groups.Count(),
                            Finder->GroupedFileCount(), skipped, skippedFile));
                        ExecDialog(&summary);
                    }
                }
            }
        }
        if (sender == nullptr) {
            FillFolderList();
        }
    };
    try {
        complete();
    } catch (const std::exception& error) {
        ShowErrorMessage(error.what());
    }
    FFinishingScan = false;
    ReturnToIdle();
    if (sender != nullptr && countdown == QDialog::Accepted && afterScan == 2) {
        close();
    }
}

void TMainForm::FillFolderList()
{
    ui->FoldersGrid->setRowCount(0);
    for (const TFinderFolder& entry : Finder->Folders) {
        AppendFolderRow(entry.Folder, entry.Flags);
    }
}

void TMainForm::ReturnToIdle()
{
    Timer->stop();
    FPausing = false;
    if (Finder != nullptr) {
        Finder->State = fsIdle;
    }
    ResetProgressBar(0);
    TaskbarListProgress->UpdateProgress();
    ui->MainPanel->unsetCursor();
    UpdateCaption(true);
    TrayIcon->SetHint(QString::fromStdString(ProductName));
    if (FileSearcher != nullptr) {
        FileSearcher->Abort = false;
    }
    TrayIcon->SetAnimate(false);
    TrayIcon->SetIcon(MainIcon());
    EnableScanControls(true);
    setEnabled(true);
    if (isVisible()) {
        DupGrid->setFocus(Qt::OtherFocusReason);
        if (DupGrid->RowCount() > 0) {
            DupGrid->SelectRow(0);
        }
    }
    ShowStartOrStop(false);
    ScanAborted = false;
}
