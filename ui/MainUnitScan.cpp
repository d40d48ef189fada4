// Scan control and progress of the main window: New Project, Start, Pause and Resume, Stop,
// closing during a scan, the progress timer and the switching of the controls.
//
// The scan runs on a TDFinderThread that the window owns. The window never waits for it while
// it runs: it polls the finder's counters from the 250 ms timer, and the thread's end callback
// posts a queued call to the window, which joins and frees the thread and then runs
// ScanFinished. Pause only asks the thread to hold at its next gate; the timer then watches
// for the thread to report that it is held.
#include "ui/MainUnit.h"

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYGlobals.h"
#include "toolkit/ActionLink.h"
#include "toolkit/LauncherProgress.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NextGridRows.h"
#include "toolkit/TrayIcon.h"
#include "ui/MsgDlg.h"
#include "ui/ScanProgressText.h"
#include "ui/ZYStatusBar.h"
#include "ui_MainUnit.h"

#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <exception>

namespace {

// Places of the tool bar's pictures in the 32-pixel image list.
constexpr int PlayImage = 7;
constexpr int PauseImage = 13;

const QString PauseCaption = QStringLiteral("Pause");
const QString ResumeCaption = QStringLiteral("Resume");

const char* const StopQuestion = "Do you want to stop the current operation?";

QString ProtectSysFilesWarning(bool protect)
{
    return QStringLiteral(
               "If \"Protect system files and folders\" option is activated,\r\nthen some common "
               "folders like \"Program Files\" will not be scanned.\r\n\r\n\"Protect system "
               "files and folders\" option is currently ") +
        (protect ? QStringLiteral("ON") : QStringLiteral("OFF")) +
        QStringLiteral("\r\n\r\nDo you still want to continue?");
}

} // namespace

void TMainForm::ConnectScanHandlers()
{
    connect(ui->ActionNewScan, &QAction::triggered, this, &TMainForm::ActionNewScanExecute);
    connect(ui->ActionStartScan, &QAction::triggered, this, &TMainForm::ActionStartScanExecute);
    connect(ui->ActionStopScan, &QAction::triggered, this, &TMainForm::ActionStopScanExecute);
    connect(PauseToolButton, &QToolButton::clicked, this, &TMainForm::PauseToolButtonClick);
    connect(PauseTrayMenu, &QAction::triggered, this, &TMainForm::PauseToolButtonClick);
    connect(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
}

// ---- New Project -------------------------------------------------------------------------------

void TMainForm::ActionNewScanExecute()
{
    if (IsScanning()) {
        return;
    }
    ClearPreview();
    DupGrid->ClearRows();
    ui->FoldersGrid->setRowCount(0);
    if (Finder != nullptr) {
        Finder->ClearResults(false);
    }
    UpdateCheckedCounts();
    Project = std::make_unique<TProject>();
    UpdateCaption(true);
    AppSettings.Filter.EnableFilter = false;
    ShowFilterState();
    ui->MainPanel->raise();
    AddFolderButtonClick();
}

// ---- Start -------------------------------------------------------------------------------------

bool TMainForm::StartScanThread(TDFinderThread& thread)
{
    return thread.Start();
}

void TMainForm::ActionStartScanExecute()
{
    if (IsScanning() || Finder == nullptr || FileSearcher == nullptr) {
        return;
    }
    // The refusals, in order; each leaves everything as it was.
    if (Finder->Folders.empty()) {
        ShowErrorMessage("Please add at least one folder to scan");
        return;
    }
    if (DupGrid->RowCount() > 0 &&
        !ShowConfirmMessage("Starting a new scan will clear the current results.\r\n"
                            "Do you want to continue?")) {
        return;
    }
    if (!AppSettings.CheckAfterScanAction(false)) {
        return;
    }
    if (AppSettings.ShowProtectSysFilesMsg) {
        TMessageDlg warning;
        warning.Color = palette().color(QPalette::Button);
        warning.SetCheckBox(true);
        warning.IniSection = QString::fromStdString(RegistryRoot);
        warning.SetIniItem(QStringLiteral("HideProtectSysFilesMsg"));
        const int result = warning.Execute(ProtectSysFilesWarning(AppSettings.ProtectSysFiles),
            mtWarning, MsgDlgButtons({mbOK, mbCancel}), 0);
        AppSettings.ShowProtectSysFilesMsg = !warning.CheckBoxChecked;
        if (result == mrCancel) {
            return;
        }
    }

    // The grid and the preview let go of the records the scan is about to free.
    ClearPreview();
    ui->DupListPanel->setText(QStringLiteral("Duplicates"));
    if (AppSettings.Similarity + 1.0f < 100.0f) {
        DupGrid->SetSimilarityLowBound(int(AppSettings.Similarity) + 1);
    }
    ui->MainPanel->setCursor(Qt::WaitCursor);
    ui->ActionStartScan->setEnabled(false);
    EnableScanControls(false);
    DupGrid->ClearRows();
    setEnabled(true);
    ResetProgressBar(0);
    TaskbarListProgress->UpdateProgress();
    TrayIcon->SetFrames(TrayImageList);
    TrayIcon->SetAnimate(true);

    // The scan works on a copy of the options taken now. Its end comes back to this window
    // as a queued call that names the start it belongs to.
    const std::uint64_t serial = ++FScanSerial;
    ScanThread = std::make_unique<TDFinderThread>(*Finder, *FileSearcher, AppSettings);
    ScanThread->OnTerminate = [this, serial] {
        QMetaObject::invokeMethod(
            this, [this, serial] { ScanThreadEnded(serial); }, Qt::QueuedConnection);
    };
    FPausing = false;
    ScanAborted = false;
    bool started = false;
    try {
        started = StartScanThread(*ScanThread);
    } catch (const std::exception&) {
        started = false;
    }
    if (!started) {
        // Nothing was scanned: the results come back as they were.
        ScanThread.reset();
        DupGrid->SetRows(ListGridRows(*Finder), Finder->Files.Count());
        UpdateCheckedCounts();
        ReturnToIdle();
        ShowErrorMessage("The scan could not be started: the system did not allow another "
                         "thread for it.");
        return;
    }

    Timer->start();
    ShowPauseOrResume(false);
    PauseToolButton->setEnabled(true);
    PauseTrayMenu->setEnabled(true);
    ShowStartOrStop(true);
    ui->ActionStopScan->setEnabled(true);
}

void TMainForm::ShowStartOrStop(bool scanning)
{
    QAction* action = scanning ? ui->ActionStopScan : ui->ActionStartScan;
    // The button carries one action at a time (with two it would show a menu arrow).
    StartScanToolButton->removeAction(scanning ? ui->ActionStartScan : ui->ActionStopScan);
    StartScanToolButton->setDefaultAction(action);
    StartScanTrayLink->SetAction(action);
    ui->ScanButton->SetAction(action);
}

void TMainForm::ShowPauseOrResume(bool paused)
{
    const QString caption = paused ? ResumeCaption : PauseCaption;
    PauseToolButton->setText(caption);
    PauseToolButton->setToolTip(caption);
    const int image = paused ? PlayImage : PauseImage;
    PauseToolButton->setIcon(WithDisabledImage(
        ImageList32.Icon(image), DisabledImageList32.Icon(image), std::vector<int> {16, 24, 32}));
    PauseTrayMenu->setText(caption);
}

void TMainForm::ResetProgressBar(int position)
{
    // The range comes first: a value outside the range would be ignored.
    StatusProgressBar->setRange(0, 100);
    StatusProgressBar->setValue(position);
}

// ---- the controls ------------------------------------------------------------------------------

void TMainForm::EnableScanControls(bool enable)
{
    ui->ActionStartScan->setEnabled(enable);
    for (QToolButton* button : {AddFolderToolButton, FilterToolButton, PauseToolButton,
             AutoCheckToolButton, QuickCheckToolButton}) {
        button->setEnabled(enable);
    }
    ui->MenuFile->menuAction()->setEnabled(enable);
    ui->MenuHelp->menuAction()->setEnabled(enable);
    for (QWidget* child : ui->LeftPanel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setEnabled(enable);
    }
    ui->LeftPanel->setEnabled(enable);
    for (QWidget* child : ui->RightTopPanel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setEnabled(enable);
    }
    ui->RightTopPanel->setCursor(ui->MainPanel->cursor());
    for (QWidget* child : ui->ScanInsidePanel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != ui->ScanButton) {
            child->setEnabled(enable);
        }
    }
    ui->AddFolderButton->setEnabled(enable);
    ui->RemoveFolderButton->setEnabled(enable);
    ui->ActionOpenProject->setEnabled(enable);
    ui->ActionSaveProject->setEnabled(enable);
    ui->ActionSaveAsProject->setEnabled(enable);
    ui->ActionNewScan->setEnabled(enable);
    ui->PerformActionButton->setEnabled(enable && DupGrid->RowCount() > 0);
    ui->ActionOptions->setEnabled(enable);
    const int method = AppSettings.FindMode;
    ui->SimilaritySpinEdit->setEnabled(enable && (method == 1 || method == 2));
    ui->ScanButton->setEnabled(true);
    ui->ScanButton->setCursor(Qt::ArrowCursor);
    ui->ActionStopScan->setEnabled(!enable);
    PauseToolButton->setEnabled(ui->ActionStopScan->isEnabled());
    ui->DoNotCompareExt->setEnabled(method == 2);
    if (method != 2) {
        ui->DoNotCompareExt->setChecked(false);
    }
}

// ---- Stop and Pause ----------------------------------------------------------------------------

void TMainForm::ActionStopScanExecute()
{
    if (!IsScanning() || ScanAborted.load()) {
        return;
    }
    if (!ShowConfirmMessage(StopQuestion)) {
        return;
    }
    // The scan may have ended while the question was open.
    if (!IsScanning() || ScanAborted.load()) {
        return;
    }
    ui->ActionStopScan->setEnabled(false);
    PauseToolButton->setEnabled(false);
    PauseTrayMenu->setEnabled(false);
    // Stop sets the flag and opens the gate, so a pausing or paused scan ends as well.
    FPausing = false;
    ScanThread->Stop();
    ScanThread->Resume();
    ui->StatusBar->SetPanelText(0, QStringLiteral("Aborting..."));
}

void TMainForm::PauseToolButtonClick()
{
    if (!IsScanning() || ScanAborted.load() || FPausing) {
        return;
    }
    PauseToolButton->setEnabled(false);
    PauseTrayMenu->setEnabled(false);
    if (PauseToolButton->text() == PauseCaption) {
        // The thread holds at its next gate; the timer goes on and sees when it does. The
        // pause controls stay off until then.
        FPausing = true;
        ScanThread->Pause();
        ui->StatusBar->SetPanelText(0, QStringLiteral("Pausing..."));
        if (!Timer->isActive()) {
            Timer->start();
        }
        if (ScanThread->Suspended()) {
            PauseTaken();
        }
        return;
    }
    ScanThread->Resume();
    Timer->start();
    ShowPauseOrResume(false);
    TrayIcon->SetAnimate(true);
    ui->MainPanel->setCursor(Qt::WaitCursor);
    PauseToolButton->setEnabled(true);
    PauseTrayMenu->setEnabled(true);
}

void TMainForm::PauseTaken()
{
    FPausing = false;
    // The display shows where the scan stands, and stays so while it is held.
    TimerTimer();
    Timer->stop();
    ShowPauseOrResume(true);
    StatusProgressBar->setRange(0, std::max(StatusProgressBar->maximum(), 1));
    TrayIcon->SetAnimate(false);
    ui->MainPanel->setCursor(Qt::ArrowCursor);
    PauseToolButton->setEnabled(true);
    PauseTrayMenu->setEnabled(true);
}

// ---- closing -----------------------------------------------------------------------------------

void TMainForm::FormCloseQuery(bool& canClose)
{
    canClose = true;
    if (FFinishingScan) {
        // The completion of a scan is under way (a dialog of it is open): it ends first.
        canClose = false;
        return;
    }
    if (IsScanning()) {
        if (!ShowConfirmMessage(StopQuestion)) {
            canClose = false;
            return;
        }
        // The scan may have ended while the question was open; then there is nothing to stop.
        if (IsScanning()) {
            ScanThread->DetachOnTerminate();
            FPausing = false;
            ScanThread->Stop();
            ScanThread->Resume();
            ScanThread->Terminate();
            ScanThread->WaitFor();
            ScanThread.reset();
            Timer->stop();
            ui->StatusBar->SetPanelText(0, QStringLiteral("Aborted by user..."));
            ResetProgressBar(0);
            TaskbarListProgress->UpdateProgress();
            EnableScanControls(true);
        }
    }
    // The grid's events no longer reach the window.
    disconnect(DupGrid, nullptr, this, nullptr);
}

// ---- the end of the thread ---------------------------------------------------------------------

std::string TMainForm::ScanThreadErrorText(const TDFinderThread& thread) const
{
    return thread.ErrorText();
}

void TMainForm::ScanThreadEnded(std::uint64_t serial)
{
    // A call for a scan the window let go of (closing) or has ended already.
    if (!ScanThread || serial != FScanSerial) {
        return;
    }
    ScanThread->WaitFor();
    TScanEnd end;
    try {
        end.ErrorText = ScanThreadErrorText(*ScanThread);
    } catch (const std::exception& error) {
        end.ErrorText = error.what();
    }
    ScanThread.reset();
    FPausing = false;
    ScanFinished(&end);
}

// ---- progress ----------------------------------------------------------------------------------

void TMainForm::TimerTimer()
{
    if (Finder == nullptr) {
        return;
    }
    const TScanProgressDisplay display = ScanProgressDisplay(
        SnapshotOf(*Finder, ScanAborted.load()), QString::fromStdString(ProductTitle));
    TZYStatusBar* bar = ui->StatusBar;
    if (display.StatusText) {
        bar->SetPanelText(0, *display.StatusText);
    }
    switch (display.BarStyle) {
    case TProgressBarStyle::pbsMarquee:
        StatusProgressBar->setRange(0, 0);
        break;
    case TProgressBarStyle::pbsNormal:
        StatusProgressBar->setRange(0, display.BarMaximum.value_or(100));
        break;
    case TProgressBarStyle::pbsUnchanged:
        break;
    }
    if (display.BarPosition) {
        StatusProgressBar->setValue(*display.BarPosition);
    }
    if (display.RepaintBar) {
        StatusProgressBar->update();
    }
    if (display.TrayHint) {
        TrayIcon->SetHint(*display.TrayHint);
    }
    if (display.Caption) {
        setWindowTitle(*display.Caption);
    }
    if (FPausing && IsScanning()) {
        if (ScanThread->Suspended()) {
            PauseTaken();
            return;
        }
        bar->SetPanelText(0, QStringLiteral("Pausing..."));
    }
    bar->update();
    TaskbarListProgress->UpdateProgress();
}
