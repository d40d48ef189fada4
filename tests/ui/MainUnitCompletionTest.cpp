// The main window's scan completion: the after-scan actions with the autosave, the summary and
// the countdown, an aborted scan, the command line's export and end, the skipped-folders file,
// a failed autosave, and the window brought back from the tray.
#include "engine/DFinder.h"
#include "engine/FindFile.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/RegistryAccess.h"
#include "engine/SettingsUnit.h"
#include "platform/Power.h"
#include "platform/RegistryStore.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/NextGrid.h"
#include "toolkit/TrayIcon.h"
#include "ui/MruUnit.h"
#include "ui/ResultUnit.h"
#include "ui/ShutUnit.h"

#include <QAction>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::AddResultGroup;
using testing_support::ReadSummary;
using testing_support::TResultFile;
using testing_support::TTestMainForm;

using ScanCompletion = TScanWindowTest;

// Records the power actions asked for; each is offered and answers as told.
class TFakePower : public platform::TPowerService {
public:
    bool CanPowerOff() override { return true; }
    bool CanSuspend() override { return Offered; }
    bool CanHibernate() override { return Offered; }
    bool CanLogOff() override { return true; }
    platform::TPowerResult PowerOff() override { return Record("power off"); }
    platform::TPowerResult Suspend() override { return Record("suspend"); }
    platform::TPowerResult Hibernate() override { return Record("hibernate"); }
    platform::TPowerResult LogOff() override { return Record("log off"); }

    bool Offered = true;
    platform::TPowerResult Answer {true, {}};
    std::vector<std::string> Calls;
    // What the store held when the action came: the after-scan option and the first recent
    // project.
    std::int32_t StoredAfterScan = -1;
    std::string StoredRecent;

private:
    platform::TPowerResult Record(const char* action)
    {
        Calls.push_back(action);
        StoredAfterScan = RegReadInteger("Settings", "AfterScan", -1);
        platform::TRegValue value;
        if (!platform::RegistryStore().ReadValue(RegistryRoot, MruValueName(1), value)) {
            StoredRecent = value.Data;
        }
        return Answer;
    }
};

// Runs the countdown to its end as the timer would.
int RunCountdown(QObject* dialog)
{
    auto* countdown = static_cast<TShutForm*>(dialog);
    for (int second = 0; second < 30; ++second) {
        countdown->ShutTimerTimer();
    }
    return countdown->result();
}

// Results of a scan in the finder, as the scan thread leaves them.
void PutResults()
{
    AddResultGroup(*Finder, {TResultFile {"a.jpg", "/p/"}, TResultFile {"a.jpg", "/q/"}});
    AddResultGroup(*Finder, {TResultFile {"b.txt", "/p/", 5}, TResultFile {"c.txt", "/q/", 5}});
}

TEST_F(ScanCompletion, EachAfterScanActionSavesShowsAndActsAsChosen)
{
    struct TCase {
        std::uint8_t AfterScan;
        const char* Dialog;
        std::vector<std::string> PowerCalls;
        bool Closed;
    };
    const std::vector<TCase> cases = {
        {0, "ResultForm", {}, false},
        {1, "ResultForm", {}, false},
        {2, "ShutForm", {}, true},
        {3, "ShutForm", {"log off"}, false},
        {4, "ShutForm", {"suspend"}, false},
        {5, "ShutForm", {"hibernate"}, false},
        {6, "ShutForm", {"power off"}, false},
    };
    const std::string autosave = FDocuments + "TWRK_AutoSave.twrk";
    for (const TCase& c : cases) {
        ASSERT_FALSE(FStore.DeleteKey(RegistryRoot));
        std::filesystem::remove(autosave);
        TFakePower power;
        platform::TScopedPowerService scope(power);
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        MakeTree(form);
        AppSettings.AfterScan = c.AfterScan;
        QString label;
        FQuestions.AnswerDialog([&label](QObject* dialog) {
            if (auto* countdown = qobject_cast<TShutForm*>(dialog)) {
                label = countdown->LabelText();
                return RunCountdown(dialog);
            }
            return 1;
        });
        ScanAndWait(form);
        const int action = c.AfterScan;

        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
            std::vector<std::string> {c.Dialog})
            << action;
        EXPECT_EQ(power.Calls, c.PowerCalls) << action;
        EXPECT_EQ(std::filesystem::exists(autosave), c.AfterScan != 0) << action;
        EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkError).empty()) << action;
        if (c.AfterScan >= 2) {
            EXPECT_TRUE(label.contains(QString::fromStdString(AfterScanActionName(c.AfterScan))))
                << action;
        }
        if (c.AfterScan == 3 || c.AfterScan == 6) {
            // Ending the session skips the window's close: what it saves is saved first.
            EXPECT_EQ(power.StoredAfterScan, c.AfterScan) << action;
            EXPECT_EQ(power.StoredRecent, autosave) << action;
        }
        EXPECT_EQ(Finder == nullptr, c.Closed) << action;
        if (!c.Closed) {
            EXPECT_EQ(Status(form), "Scan finished.") << action;
            EXPECT_EQ(Rows(form).size(), 7u) << action;
            if (c.AfterScan != 0) {
                EXPECT_EQ(form.MRU->FileList().front(), autosave) << action;
                EXPECT_TRUE(
                    form.windowTitle().endsWith(QString::fromStdString(" - [" + autosave + "] *")))
                    << action;
            } else {
                EXPECT_TRUE(form.MRU->FileList().empty()) << action;
            }
            FForm->close();
        }
        FForm.reset();
    }
}

TEST_F(ScanCompletion, TheCountdownCountsDownActsAtZeroAndOnlyCancelStopsIt)
{
    TFakePower power;
    platform::TScopedPowerService scope(power);
    TTestMainForm& form = Open();

    // The message, a second less at each tick.
    {
        TShutForm countdown(&form, 2, nullptr);
        EXPECT_TRUE(countdown.ShutTimer->isActive());
        EXPECT_EQ(countdown.ShutTimer->interval(), 1000);
        EXPECT_EQ(countdown.LabelText().toStdString(),
            "You have set the 'After scan' option to \n'Save project and close application'\n\n"
            "Program will close after 30 sec...\n\nPress Cancel button to abort.");
        for (int second = 0; second < 29; ++second) {
            countdown.ShutTimerTimer();
        }
        EXPECT_TRUE(countdown.LabelText().contains(QStringLiteral("after 1 sec...")));
        countdown.ShutTimerTimer();
        EXPECT_EQ(countdown.result(), QDialog::Accepted);
        EXPECT_TRUE(power.Calls.empty()); // the window closes itself after an OK
    }
    // A check that refuses at the end: the countdown stays at 0 until Cancel.
    {
        power.Offered = false;
        AppSettings.AfterScan = 4;
        TShutForm countdown(&form, 4, nullptr);
        countdown.setResult(-1);
        for (int second = 0; second < 40; ++second) {
            countdown.ShutTimerTimer();
        }
        EXPECT_EQ(countdown.SecondsLeft, 0);
        EXPECT_TRUE(countdown.LabelText().contains(QStringLiteral("stand-by after 0 sec...")));
        EXPECT_EQ(countdown.result(), -1);
        EXPECT_TRUE(power.Calls.empty());
        QTest::keyClick(&countdown, Qt::Key_Escape);
        EXPECT_EQ(countdown.result(), QDialog::Rejected);
        power.Offered = true;
    }
    // An action that fails is reported, never taken for done.
    {
        power.Answer = {false, "Permission denied."};
        AppSettings.AfterScan = 5;
        TShutForm countdown(&form, 5, nullptr);
        for (int second = 0; second < 30; ++second) {
            countdown.ShutTimerTimer();
        }
        EXPECT_EQ(power.Calls, std::vector<std::string> {"hibernate"});
        EXPECT_EQ(countdown.result(), QDialog::Rejected);
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
            std::vector<std::string> {
                "The after scan action could not be carried out:\r\nPermission denied."});
    }
    // Cancel stops the countdown; nothing happens.
    {
        AppSettings.AfterScan = 6;
        TShutForm countdown(&form, 6, nullptr);
        countdown.CancelButtonClick();
        EXPECT_FALSE(countdown.ShutTimer->isActive());
        EXPECT_EQ(countdown.result(), QDialog::Rejected);
        EXPECT_EQ(power.Calls.size(), 1u);
    }
}

TEST_F(ScanCompletion, AStoppedScanOnlySaysSoAndSavesAndShowsNothing)
{
    TTestMainForm& form = Open();
    PutResults();
    AppSettings.AfterScan = 1;
    ScanAborted = true;
    const TMainForm::TScanEnd end;
    form.ScanFinished(&end);
    EXPECT_EQ(Status(form), "Aborted by user.");
    EXPECT_EQ(form.DupGrid->RowCount(), 0);
    EXPECT_FALSE(FTree.Exists("Documents/TWRK_AutoSave.twrk"));
    EXPECT_TRUE(FQuestions.Asked().empty());
    EXPECT_FALSE(ScanAborted.load());
    EXPECT_EQ(Finder->State.load(), fsIdle);
}

TEST_F(ScanCompletion, TheCommandLineExportsWhenTheScanEndsAndSEndsTheProgram)
{
    struct TCase {
        const char* Label;
        std::vector<std::string> Parameters;
        bool Aborted;
        std::vector<std::string> Written;
        std::optional<int> ExitCode;
        bool Shown; // the grid filled and the summary shown
    };
    const std::string out = FTree.AddFolder("out");
    const std::string blocked = FTree.AddFile("blocked", "a file, not a folder");
    const std::vector<TCase> cases = {
        {"two targets", {"-exp", out + "a.csv;" + out + "b.xml"}, false, {"a.csv", "b.xml"},
            std::nullopt, true},
        {"an extension in capitals is no target", {"-exp", out + "DUPS.CSV"}, false, {},
            std::nullopt, true},
        {"export, then the end", {"-exp", out + "a.csv", "-s"}, false, {"a.csv"}, 0, false},
        {"a failed export ends with a failure", {"-exp", blocked + "/x.csv", "-s"}, false, {}, 1,
            false},
        {"-s alone only skips the dialogs", {"-s"}, false, {}, std::nullopt, false},
        {"one parameter is not enough", {"-exp"}, false, {}, std::nullopt, true},
        {"a stopped scan exports what it found", {"-exp", out + "a.csv"}, true, {"a.csv"},
            std::nullopt, false},
    };
    for (const TCase& c : cases) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        FQuestions = TScriptedQuestions();
        SetCommandLineParameters(c.Parameters);
        TTestMainForm& form = Open();
        PutResults();
        AppSettings.AfterScan = 1;
        ScanAborted = c.Aborted;
        const TMainForm::TScanEnd end;
        form.ScanFinished(&end);

        std::vector<std::string> written;
        for (const auto& entry : std::filesystem::directory_iterator(out)) {
            written.push_back(entry.path().filename().string());
        }
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, c.Written) << c.Label;
        EXPECT_EQ(form.ExitCode, c.ExitCode) << c.Label;
        EXPECT_EQ(form.DupGrid->RowCount() > 0, c.Shown) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).size(), c.Shown ? 1u : 0u)
            << c.Label;
        EXPECT_EQ(FTree.Exists("Documents/TWRK_AutoSave.twrk"), c.Shown) << c.Label;
        // The window stays quiet about the export.
        EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkError).empty()) << c.Label;
        if (!c.Written.empty() && c.Written.front() == "a.csv") {
            // Written before the autocheck, which checks a file of each group afterwards.
            const std::string csv = FTree.ReadFile("out/a.csv");
            EXPECT_NE(csv.find("\r\n0,1,a.jpg,/p/"), std::string::npos) << c.Label;
            EXPECT_NE(csv.find("\r\n0,2,a.jpg,/q/"), std::string::npos) << c.Label;
            EXPECT_EQ(csv.find("\r\n1,"), std::string::npos) << c.Label;
            if (c.Shown) {
                EXPECT_EQ(Finder->Files[0]->CheckState, 1) << c.Label;
            }
        }
        std::filesystem::remove(FDocuments + "TWRK_AutoSave.twrk");
        FForm->close();
        FForm.reset();
        ScanAborted = false;
    }
}

TEST_F(ScanCompletion, SkippedFoldersAreListedInAFileThatTheSummaryNames)
{
    TTestMainForm& form = Open();
    PutResults();
    FileSearcher->SkippedFolders = {"/usr/", "/etc/"};
    FileSearcher->FilteredFolders = {"/home/me/Cache/"};
    QString summary;
    FQuestions.AnswerDialog(ReadSummary(summary));
    const TMainForm::TScanEnd end;
    form.ScanFinished(&end);
    const std::string file = FDocuments + "TWRK_SkippedFolders.txt";
    EXPECT_EQ(FTree.ReadFile("Documents/TWRK_SkippedFolders.txt"),
        "Skipped (SYS): /etc/\r\nSkipped (SYS): /usr/\r\nSkipped (Filter): /home/me/Cache/\r\n");
    EXPECT_EQ(summary.toStdString(),
        "Scan finished.\n\n2 duplicate groups found.\n4 duplicate files found.\n\n"
        "WARNING: Files from some folders were not scanned, because \"Protect system files and "
        "folders\" option or Filter is activated.\n"
        "The following file contains the skipped folders list: " +
            file);

    // A file that cannot be written: its error, no summary, and the window idle again.
    FQuestions = TScriptedQuestions();
    std::filesystem::remove(file);
    FTree.AddFolder("Documents/TWRK_SkippedFolders.txt");
    form.ScanFinished(&end);
    const std::vector<std::string> errors = FQuestions.AskedTexts(TScriptedQuestions::qkError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error while saving " + file, 0), 0u) << errors[0];
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).empty());
    EXPECT_TRUE(form.findChild<QAction*>(QStringLiteral("ActionStartScan"))->isEnabled());
    EXPECT_EQ(form.DupGrid->RowCount(), 4);
}

TEST_F(ScanCompletion, AFailedAutosaveShowsItsErrorAndTheSummaryInsteadOfTheCountdown)
{
    TFakePower power;
    platform::TScopedPowerService scope(power);
    TTestMainForm& form = Open();
    PutResults();
    AppSettings.AfterScan = 6;
    FTree.AddFolder("Documents/TWRK_AutoSave.twrk");
    const TMainForm::TScanEnd end;
    form.ScanFinished(&end);
    const std::vector<std::string> errors = FQuestions.AskedTexts(TScriptedQuestions::qkError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error while saving " + FDocuments + "TWRK_AutoSave.twrk", 0), 0u)
        << errors[0];
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
        std::vector<std::string> {"ResultForm"});
    EXPECT_TRUE(power.Calls.empty());
    EXPECT_TRUE(form.MRU->FileList().empty());
    EXPECT_NE(Finder, nullptr);
}

TEST_F(ScanCompletion, NoGroupsGiveASummaryOfZeros)
{
    TTestMainForm& form = Open();
    QString summary;
    FQuestions.AnswerDialog(ReadSummary(summary));
    const TMainForm::TScanEnd end;
    form.ScanFinished(&end);
    EXPECT_EQ(summary.toStdString(),
        "Scan finished.\n\n0 duplicate groups found.\n0 duplicate files found.\n");
    EXPECT_EQ(Status(form), "Scan finished.");
}

TEST_F(ScanCompletion, TheEndOfAScanBringsTheWindowBackFromTheTray)
{
    SetSystemTrayAvailableForTests(true);
    TTestMainForm& form = Open();
    AppSettings.MinimizeToTray = true;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }));
    PutResults();
    const TMainForm::TScanEnd end;
    form.ScanFinished(&end);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.TrayIcon->Visible());
    // Shown, the grid has the focus on its first row.
    EXPECT_EQ(form.DupGrid->SelectedRow(), 0);
    SetSystemTrayAvailableForTests(std::nullopt);
}

} // namespace
