// The main window's scan control: the start's refusals, a scan from start to results, pause,
// resume and stop at every moment, closing during a scan, and the progress display.
#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/FindFile.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "platform/Power.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/NextGrid.h"
#include "toolkit/NextGridModel.h"
#include "toolkit/TrayIcon.h"
#include "ui/MsgDlg.h"
#include "ui/ResultUnit.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::AddResultGroup;
using testing_support::TGateHold;
using testing_support::TResultFile;
using testing_support::TTestMainForm;

using ScanControl = TScanWindowTest;

const std::vector<std::string>& ScannedRows = testing_support::MakeTreeRows;

QAction* Action(TMainForm& form, const char* name)
{
    return form.findChild<QAction*>(QString::fromLatin1(name));
}

template<class T>
T* Child(TMainForm& form, const char* name)
{
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Results shown in the grid without a scan.
void ShowSomeResults(TMainForm& form)
{
    AddResultGroup(*Finder, {TResultFile {"x", "/d/"}, TResultFile {"x", "/e/"}});
    form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accRefill);
}

// Busy-waits (without running the event loop, so a queued end stays queued) until the scan
// threads the window started have all ended.
bool ThreadEndedWithoutEvents(TTestMainForm& form, int count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (form.ThreadsEnded() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

class TNoSuspend : public platform::TPowerService {
public:
    bool CanSuspend() override { return false; }
};

TEST_F(ScanControl, StartRefusesInOrderAndChangesNothing)
{
    struct TCase {
        const char* Label;
        std::function<void(TMainForm&)> Prepare;
        std::vector<std::string> Errors;
        std::vector<std::string> Confirms;
        bool WarningShown;
    };
    TNoSuspend noSuspend;
    platform::TScopedPowerService power(noSuspend);
    const std::string folder = FTree.AddFolder("folder");
    const std::string again =
        "Starting a new scan will clear the current results.\r\nDo you want to continue?";
    const std::vector<TCase> cases = {
        {"no folder listed", [](TMainForm&) {}, {"Please add at least one folder to scan"}, {},
            false},
        {"results shown and the user keeps them",
            [&](TMainForm& form) {
                form.AddFolderToList(folder);
                ShowSomeResults(form);
                FQuestions.AnswerConfirm(false);
            },
            {}, {again}, false},
        {"an after-scan action the system cannot do",
            [&](TMainForm& form) {
                form.AddFolderToList(folder);
                AppSettings.AfterScan = 4;
            },
            {StandByNotSupportedMessage}, {}, false},
        {"the warning about protected folders cancelled with its box ticked",
            [&](TMainForm& form) {
                form.AddFolderToList(folder);
                AppSettings.ShowProtectSysFilesMsg = true;
                FQuestions.AnswerDialog([](QObject* dialog) {
                    dialog->findChild<QCheckBox*>(QStringLiteral("DontShowAgain"))
                        ->setChecked(true);
                    return mrCancel;
                });
            },
            {}, {}, true},
    };
    for (const TCase& c : cases) {
        ASSERT_FALSE(FStore.DeleteKey(RegistryRoot)); // the options of a first start each time
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        c.Prepare(form);
        const std::int32_t rows = form.DupGrid->RowCount();
        form.ActionStartScanExecute();
        EXPECT_FALSE(form.IsScanning()) << c.Label;
        EXPECT_TRUE(Action(form, "ActionStartScan")->isEnabled()) << c.Label;
        EXPECT_FALSE(Action(form, "ActionStopScan")->isEnabled()) << c.Label;
        EXPECT_EQ(form.DupGrid->RowCount(), rows) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError), c.Errors) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm), c.Confirms) << c.Label;
        EXPECT_EQ(
            FQuestions.AskedTexts(TScriptedQuestions::qkDialog).size(), c.WarningShown ? 1u : 0u)
            << c.Label;
        if (c.WarningShown) {
            EXPECT_FALSE(AppSettings.ShowProtectSysFilesMsg) << c.Label;
        }
        FForm->close();
        FForm.reset();
    }
}

TEST_F(ScanControl, AScanShowsTheGroupsTheEngineFindsAndAutochecksThem)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    QString summary;
    FQuestions.AnswerDialog(testing_support::ReadSummary(summary));
    ScanAndWait(form);

    // The engine's own scan of the tree, with the same options.
    TDFinder finder;
    finder.Folders.push_back({FScanRoot, 0});
    TFindFile searcher;
    TDFinderThread engine(finder, searcher, AppSettings);
    engine.Execute();
    std::vector<std::string> expected;
    for (const TDGroup* group : finder.Groups) {
        for (const TDImage* image : *group) {
            expected.push_back(std::to_string(group->GroupNumber) + " " + image->FullPath() + " " +
                std::to_string(SimilarityKey(image->Similarity)));
        }
    }
    std::vector<std::string> shown;
    for (std::int32_t row = 0; row < form.DupGrid->RowCount(); ++row) {
        shown.push_back(std::to_string(form.DupGrid->GroupNumber(row)) + " " +
            form.DupGrid->Record(row)->FullPath() + " " +
            std::to_string(form.DupGrid->Model().SimilarityPercent(row)));
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(Rows(form), ScannedRows);

    EXPECT_EQ(Status(form), "Scan finished.");
    EXPECT_EQ(summary.toStdString(),
        "Scan finished.\n\n3 duplicate groups found.\n7 duplicate files found.\n");
    EXPECT_EQ(Child<QLabel>(form, "DupListPanel")->text().toStdString(),
        "Check the files to be moved/deleted: 4 files checked (" + FormatByteSize(4007) +
            ") / Duplicated files: 7 (" + FormatByteSize(7013) + ")");
    EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral(" - [untitled.twrk] *")));
    // Idle again, with the commands on the results enabled.
    EXPECT_TRUE(Action(form, "ActionStartScan")->isEnabled());
    EXPECT_FALSE(Action(form, "ActionStopScan")->isEnabled());
    EXPECT_FALSE(form.PauseToolButton->isEnabled());
    EXPECT_EQ(form.PauseToolButton->text(), QStringLiteral("Pause"));
    EXPECT_FALSE(form.Timer->isActive());
    EXPECT_TRUE(form.AutoCheckToolButton->isEnabled());
    EXPECT_TRUE(Child<QWidget>(form, "PerformActionButton")->isEnabled());
    EXPECT_EQ(Child<QAbstractButton>(form, "ScanButton")->text(), QStringLiteral("Start Scan"));
    EXPECT_EQ(form.StartScanToolButton->defaultAction(), Action(form, "ActionStartScan"));
    EXPECT_FALSE(ScanAborted.load());
    EXPECT_EQ(Finder->State.load(), fsIdle);
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(ScanControl, PauseHoldsTheScanUntilResumedAndTheControlsSaySo)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    ShowSomeResults(form);
    FQuestions.AnswerConfirm(true);
    form.Hold = std::make_shared<TGateHold>();
    form.ActionStartScanExecute();
    ASSERT_TRUE(form.IsScanning());
    // The scan frees the results it replaces: the grid holds none of them any more.
    EXPECT_EQ(form.DupGrid->RowCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Hold->Arrived(); }));

    // What a running scan disables, and the stop action on the start buttons.
    EXPECT_FALSE(Action(form, "ActionStartScan")->isEnabled());
    EXPECT_TRUE(Action(form, "ActionStopScan")->isEnabled());
    EXPECT_EQ(Child<QAbstractButton>(form, "ScanButton")->text(), QStringLiteral("Stop Scan"));
    EXPECT_EQ(form.StartScanToolButton->defaultAction(), Action(form, "ActionStopScan"));
    EXPECT_EQ(form.StartScanTrayMenu->text(), QStringLiteral("Stop Scan"));
    EXPECT_TRUE(form.PauseToolButton->isEnabled());
    EXPECT_TRUE(form.PauseTrayMenu->isEnabled());
    EXPECT_FALSE(Child<QWidget>(form, "FoldersGrid")->isEnabled());
    EXPECT_FALSE(Child<QWidget>(form, "CompareMethod")->isEnabled());
    EXPECT_FALSE(Action(form, "ActionOptions")->isEnabled());
    EXPECT_FALSE(Action(form, "ActionOpenProject")->isEnabled());
    EXPECT_TRUE(form.Timer->isActive());
    EXPECT_TRUE(form.TrayIcon->Animate());

    form.PauseToolButton->click();
    EXPECT_TRUE(form.IsPausing());
    EXPECT_EQ(Status(form), "Pausing...");
    EXPECT_FALSE(form.PauseToolButton->isEnabled());
    EXPECT_EQ(form.PauseToolButton->text(), QStringLiteral("Pause"));

    // The thread reaches its gate and holds there; the timer sees it.
    form.Hold->Release();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form.PauseToolButton->text() == QStringLiteral("Resume"); }));
    EXPECT_FALSE(form.IsPausing());
    EXPECT_TRUE(form.PauseToolButton->isEnabled());
    EXPECT_EQ(form.PauseTrayMenu->text(), QStringLiteral("Resume"));
    EXPECT_FALSE(form.Timer->isActive());
    EXPECT_FALSE(form.TrayIcon->Animate());
    EXPECT_TRUE(form.IsScanning());
    EXPECT_EQ(form.ThreadsEnded(), 0);

    form.PauseToolButton->click();
    EXPECT_EQ(form.PauseToolButton->text(), QStringLiteral("Pause"));
    EXPECT_TRUE(form.Timer->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.IsScanning(); }, 20000));
    EXPECT_EQ(Rows(form), ScannedRows);
    EXPECT_EQ(Status(form), "Scan finished.");
}

TEST_F(ScanControl, StopEndsARunningPausingOrPausedScanKeepingNothingShown)
{
    enum TMoment { tmRunning, tmPausing, tmPaused, tmEsc };
    struct TCase {
        const char* Label;
        TMoment Moment;
    };
    const std::vector<TCase> cases = {
        {"running", tmRunning},
        {"pausing", tmPausing},
        {"paused", tmPaused},
        {"running, with Esc", tmEsc},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        MakeTree(form);
        form.Hold = std::make_shared<TGateHold>();
        form.ActionStartScanExecute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.Hold->Arrived(); })) << c.Label;
        if (c.Moment == tmPausing || c.Moment == tmPaused) {
            form.PauseToolButton->click();
        }
        if (c.Moment == tmPaused) {
            form.Hold->Release();
            ASSERT_TRUE(QTest::qWaitFor([&] {
                return form.PauseToolButton->text() == QStringLiteral("Resume");
            })) << c.Label;
        }
        // No keeps the scan going; the question comes again with Yes.
        FQuestions.AnswerConfirm(false);
        form.ActionStopScanExecute();
        EXPECT_FALSE(ScanAborted.load()) << c.Label;
        FQuestions.AnswerConfirm(true);
        if (c.Moment == tmEsc) {
            QTest::keyClick(&form, Qt::Key_Escape);
        } else {
            Action(form, "ActionStopScan")->trigger();
        }
        EXPECT_TRUE(ScanAborted.load()) << c.Label;
        EXPECT_EQ(Status(form), "Aborting...") << c.Label;
        EXPECT_FALSE(Action(form, "ActionStopScan")->isEnabled()) << c.Label;
        EXPECT_FALSE(form.PauseToolButton->isEnabled()) << c.Label;
        // A second Stop while the abort is pending asks nothing.
        form.ActionStopScanExecute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.IsScanning(); }, 20000)) << c.Label;

        EXPECT_EQ(Status(form), "Aborted by user.") << c.Label;
        EXPECT_EQ(form.DupGrid->RowCount(), 0) << c.Label;
        EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).empty()) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm).size(), 2u) << c.Label;
        EXPECT_FALSE(ScanAborted.load()) << c.Label;
        EXPECT_TRUE(Action(form, "ActionStartScan")->isEnabled()) << c.Label;
        EXPECT_EQ(form.PauseToolButton->text(), QStringLiteral("Pause")) << c.Label;
        EXPECT_FALSE(form.IsPausing()) << c.Label;
        FForm->close();
        FForm.reset();
    }
}

TEST_F(ScanControl, ClosingDuringAScanAsksOnceStopsAndJoinsItWithoutItsCompletion)
{
    for (const bool paused : {false, true}) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        MakeTree(form);
        form.Hold = std::make_shared<TGateHold>();
        form.ActionStartScanExecute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.Hold->Arrived(); }));
        if (paused) {
            form.PauseToolButton->click();
            form.Hold->Release();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return form.PauseToolButton->text() == QStringLiteral("Resume"); }));
        }
        // No: the window stays and the scan goes on.
        FQuestions.AnswerConfirm(false);
        EXPECT_FALSE(form.close()) << paused;
        EXPECT_TRUE(form.IsScanning()) << paused;

        FQuestions.AnswerConfirm(true);
        EXPECT_TRUE(form.close()) << paused;
        EXPECT_FALSE(form.IsScanning()) << paused; // stopped and joined
        EXPECT_EQ(Finder, nullptr) << paused; // closed and freed
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm),
            std::vector<std::string>(2, "Do you want to stop the current operation?"))
            << paused;
        EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).empty()) << paused;
        EXPECT_EQ(Status(form), "Aborted by user...") << paused;
        FForm.reset();
    }
}

// Questions whose confirmation lets something happen while it is open, as a real message box
// runs the event loop.
class TQuestionsWithPending : public TScriptedQuestions {
public:
    std::function<void()> WhileAsking;
    bool ShowConfirmMessage(const std::string& text, QObject* owner) override
    {
        if (WhileAsking) {
            WhileAsking();
        }
        return TScriptedQuestions::ShowConfirmMessage(text, owner);
    }
};

TEST_F(ScanControl, ACloseRacingTheScansEndNeitherHangsNorRunsAStaleCompletion)
{
    enum TRace { trEndQueuedThenClose, trEndQueuedThenDestroy, trEndDuringTheQuestion };
    for (const TRace race :
        {trEndQueuedThenClose, trEndQueuedThenDestroy, trEndDuringTheQuestion}) {
        TQuestionsWithPending questions;
        TScopedQuestions scope(questions);
        TTestMainForm& form = Open();
        MakeTree(form);
        form.Hold = std::make_shared<TGateHold>();
        form.ActionStartScanExecute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.Hold->Arrived(); }));
        form.Hold->Release();
        if (race == trEndDuringTheQuestion) {
            // The scan ends and its completion runs while the question is open.
            questions.WhileAsking = [&] {
                ASSERT_TRUE(ThreadEndedWithoutEvents(form, 1));
                QCoreApplication::sendPostedEvents();
            };
            questions.AnswerConfirm(true);
            EXPECT_TRUE(form.close()) << race;
            EXPECT_EQ(Status(form), "Scan finished.") << race;
            EXPECT_EQ(questions.AskedTexts(TScriptedQuestions::qkDialog).size(), 1u) << race;
        } else {
            // The end is queued but not yet delivered when the window goes.
            ASSERT_TRUE(ThreadEndedWithoutEvents(form, 1)) << race;
            questions.AnswerConfirm(true);
            if (race == trEndQueuedThenClose) {
                EXPECT_TRUE(form.close()) << race;
            } else {
                FForm.reset();
            }
            QCoreApplication::sendPostedEvents();
            EXPECT_TRUE(questions.AskedTexts(TScriptedQuestions::qkDialog).empty()) << race;
            if (FForm) {
                EXPECT_EQ(Status(form), "Aborted by user...") << race;
            }
        }
        EXPECT_EQ(Finder, nullptr) << race;
        FForm.reset();
    }
}

TEST_F(ScanControl, AStartThatFailsReturnsTheWindowToIdleWithItsResultsAndAnError)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    ShowSomeResults(form);
    FQuestions.AnswerConfirm(true);
    form.FailToStart = true;
    form.ActionStartScanExecute();
    EXPECT_FALSE(form.IsScanning());
    ASSERT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError).size(), 1u);
    EXPECT_TRUE(Action(form, "ActionStartScan")->isEnabled());
    EXPECT_FALSE(Action(form, "ActionStopScan")->isEnabled());
    EXPECT_FALSE(form.PauseToolButton->isEnabled());
    EXPECT_FALSE(form.Timer->isActive());
    EXPECT_FALSE(form.TrayIcon->Animate());
    EXPECT_TRUE(Child<QWidget>(form, "FoldersGrid")->isEnabled());
    EXPECT_EQ(form.DupGrid->RowCount(), 2);

    // Once the system allows it, the scan runs.
    form.FailToStart = false;
    FQuestions.AnswerConfirm(true);
    ScanAndWait(form);
    EXPECT_EQ(Rows(form), ScannedRows);
}

TEST_F(ScanControl, AFailedScanReportsItsErrorShowsWhatItFoundAndSavesNothing)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    AppSettings.AfterScan = 2;
    form.ScanError = "The disk went away.";
    ScanAndWait(form);
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
        std::vector<std::string> {"The scan failed:\r\nThe disk went away."});
    EXPECT_EQ(Status(form), "Scan failed.");
    EXPECT_EQ(Rows(form), ScannedRows);
    EXPECT_FALSE(FTree.Exists("Documents/TWRK_AutoSave.twrk"));
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).empty());
    EXPECT_NE(Finder, nullptr); // the countdown did not close the window
}

TEST_F(ScanControl, NewProjectEmptiesTheWindowSwitchesTheFilterOffAndOpensThePicker)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    ShowSomeResults(form);
    AppSettings.Filter.EnableFilter = true;
    form.ShowFilterState();
    form.Project->FileName = "/somewhere/old.twrk";
    Action(form, "ActionNewScan")->trigger();
    EXPECT_EQ(form.DupGrid->RowCount(), 0);
    EXPECT_EQ(Child<QTableWidget>(form, "FoldersGrid")->rowCount(), 0);
    EXPECT_TRUE(Finder->Folders.empty());
    EXPECT_EQ(Finder->Files.Count(), 0);
    EXPECT_FALSE(AppSettings.Filter.EnableFilter);
    EXPECT_EQ(form.FilterToolButton->text(), QStringLiteral("Filter is OFF"));
    EXPECT_FALSE(form.FilterToolButton->isChecked());
    EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral(" - [untitled.twrk] *")));
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
        std::vector<std::string> {"BrowseForFoldersForm"});
}

TEST_F(ScanControl, TheTimerShowsEachStateWithTheBarsRangeSetBeforeItsPosition)
{
    TTestMainForm& form = Open();
    const QString title = QString::fromStdString(ProductTitle);
    struct TCase {
        std::int32_t State, Progress, FileCount;
        const char* Status;
        int Maximum, Value;
        const char* Hint; // null: left as it was
        QString Caption;
    };
    const std::vector<TCase> cases = {
        {fsListing, 0, 1234, "Collecting list of possible duplicates... (Files: 1234)", 0, -1,
            nullptr, QString()},
        // A position beyond the previous range still shows: the range is set first.
        {fsPreprocessing, 150, 200, "Preprocessing files... 75% (Possible duplicate files: 200)",
            200, 150, "75% done",
            QStringLiteral("(75% done) - ") + title + QStringLiteral(" - Press ESC to abort")},
        {fsComparing, 0, 200, "Comparing files... (1%)", 100, 0, "1% done",
            QStringLiteral("(1% done) - ") + title + QStringLiteral(" - Press ESC to abort")},
        {fsFinished, 0, 200, "Preparing results... Please wait...", 0, -1, "",
            QStringLiteral("(100% done) - ") + title},
        {fsShown, 0, 200, "Preparing results... Please wait...", 100, 100, "100% done",
            QStringLiteral("(100% done) - ") + title},
    };
    form.StatusProgressBar->setRange(0, 10);
    for (const TCase& c : cases) {
        Finder->State = c.State;
        Finder->Progress = c.Progress;
        Finder->FileCount = c.FileCount;
        form.TimerTimer();
        EXPECT_EQ(Status(form), c.Status) << c.State;
        EXPECT_EQ(form.StatusProgressBar->maximum(), c.Maximum) << c.State;
        if (c.Value >= 0) {
            EXPECT_EQ(form.StatusProgressBar->value(), c.Value) << c.State;
        }
        if (c.Hint != nullptr) {
            EXPECT_EQ(form.TrayIcon->Hint().toStdString(), c.Hint) << c.State;
        }
        if (!c.Caption.isEmpty()) {
            EXPECT_EQ(form.windowTitle(), c.Caption) << c.State;
        }
    }
    // A stopped scan's display stays as it was.
    ScanAborted = true;
    Finder->State = fsComparing;
    form.TimerTimer();
    EXPECT_EQ(Status(form), "Preparing results... Please wait...");
    ScanAborted = false;
    Finder->State = fsIdle;
}

} // namespace
