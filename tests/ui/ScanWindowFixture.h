#pragma once

// A main window whose scans a test can hold at the scan thread's first gate, whose scan thread
// can fail to start or report an error, and whose end of the program is recorded; with a
// Documents folder of the test's own and small trees of duplicate files.

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/SettingsUnit.h"
#include "engine/SystemServices.h"
#include "engine/ZYGlobals.h"
#include "tests/support/ResultsBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiRegistryFixture.h"
#include "toolkit/NextGrid.h"
#include "ui/DeleteFilesUnit.h"
#include "ui/MainUnit.h"
#include "ui/ResultUnit.h"
#include "ui/ZYStatusBar.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Holds the scan thread at its first gate until released (or until the scan is stopped).
class TGateHold {
public:
    void Install(TDFinderThread& thread)
    {
        thread.OnGate = [this, &thread] {
            std::unique_lock lock(FLock);
            FArrived = true;
            while (FHolding && !ScanAborted.load() && !thread.Terminated()) {
                FSignal.wait_for(lock, std::chrono::milliseconds(1));
            }
        };
    }
    bool Arrived()
    {
        std::lock_guard guard(FLock);
        return FArrived;
    }
    void Release()
    {
        {
            std::lock_guard guard(FLock);
            FHolding = false;
        }
        FSignal.notify_all();
    }

private:
    std::mutex FLock;
    std::condition_variable FSignal;
    bool FArrived = false;
    bool FHolding = true;
};

// Reads the summary's text, then closes it with OK.
inline TScriptedQuestions::TDialogAnswer ReadSummary(QString& summary)
{
    return [&summary](QObject* dialog) {
        summary = static_cast<TResultForm*>(dialog)->Text();
        return 1;
    };
}

// Runs the file-operation dialog to its end, keeps its log, and closes it with "Close".
inline TScriptedQuestions::TDialogAnswer RunToEnd(std::vector<std::string>& log)
{
    return [&log](QObject* dialog) {
        auto* form = qobject_cast<TDeleteFilesForm*>(dialog);
        EXPECT_NE(form, nullptr);
        if (form == nullptr) {
            return 0;
        }
        QSignalSpy ended(form, &TDeleteFilesForm::RunEnded);
        form->show();
        EXPECT_TRUE(ended.wait(20000));
        log = form->LogLines();
        if (form->isVisible()) {
            form->findChild<QPushButton*>(QStringLiteral("StopButton"))->click();
        }
        return form->result();
    };
}

// The main window with its seams answered by the test.
class TTestMainForm : public TMainForm {
public:
    // When set, every scan waits at its first gate until the test releases it.
    std::shared_ptr<TGateHold> Hold;
    bool FailToStart = false;
    std::string ScanError;
    std::optional<int> ExitCode;

protected:
    bool StartScanThread(TDFinderThread& thread) override
    {
        if (FailToStart) {
            return false;
        }
        if (Hold) {
            Hold->Install(thread);
        }
        auto delivered = thread.OnTerminate;
        thread.OnTerminate = [this, delivered] {
            delivered();
            ++FEnded;
        };
        return TMainForm::StartScanThread(thread);
    }
    std::string ScanThreadErrorText(const TDFinderThread& thread) const override
    {
        return ScanError.empty() ? TMainForm::ScanThreadErrorText(thread) : ScanError;
    }
    void TerminateApplication(int exitCode) override { ExitCode = exitCode; }

public:
    // Scan threads that reached their end (their end call may still be queued).
    int ThreadsEnded() const { return FEnded.load(); }

private:
    std::atomic<int> FEnded {0};
};

// The rows (as TScanWindowTest::Rows gives them) of the tree of MakeTree after its scan: the
// newest file of each group kept.
inline const std::vector<std::string> MakeTreeRows = {
    "1: a/beach.jpg 0",
    "1: b/beach.jpg 1",
    "1: b/old/beach copy.jpg 1",
    "2: a/report.pdf 0",
    "2: c/report.pdf 1",
    "3: m/song (1).mp3 1",
    "3: m/song.mp3 0",
};

} // namespace testing_support

// A window test with a Documents folder of its own (where the autosave goes) and the command
// line emptied.
class TScanWindowTest : public TUiTest {
protected:
    void SetUp() override
    {
        InitProductGlobals();
        FDocuments = FTree.AddFolder("Documents");
        testing_support::TTestEnvironment::WriteUserDirs(
            "XDG_DOCUMENTS_DIR=\"" + FDocuments.substr(0, FDocuments.size() - 1) + "\"");
        SetCommandLineParameters({});
    }
    void TearDown() override
    {
        if (FForm) {
            FForm->close();
            FForm.reset();
        }
        ResetCommandLineParameters();
        testing_support::TTestEnvironment::WriteUserDirs("");
        ScanAborted = false;
    }

    // A window on the test's store, with the options a scan of the test needs: no warning
    // about protected folders, and the autocheck comparing modification dates.
    testing_support::TTestMainForm& Open()
    {
        FForm = std::make_unique<testing_support::TTestMainForm>();
        AppSettings.ShowProtectSysFilesMsg = false;
        AppSettings.CompareDateType = 1;
        return *FForm;
    }

    // Groups of copies in the tree, each copy older than the one before it, and a file that
    // matches nothing; the folder listed in the window.
    void MakeTree(testing_support::TTestMainForm& form)
    {
        const std::vector<std::vector<std::string>> groups = {
            {"a/beach.jpg", "b/beach.jpg", "b/old/beach copy.jpg"},
            {"a/report.pdf", "c/report.pdf"},
            {"m/song.mp3", "m/song (1).mp3"},
        };
        std::uint32_t seed = 1;
        for (const auto& group : groups) {
            std::int64_t when = 1700000000;
            for (const std::string& name : group) {
                FTree.AddFileOfSize("scan/" + name, 1000 + seed, seed);
                FTree.SetTimes("scan/" + name, when, when);
                when -= 86400;
            }
            ++seed;
        }
        FTree.AddFileOfSize("scan/a/unique.txt", 500, 99);
        FScanRoot = FTree.Path("scan/");
        form.AddFolderToList(FScanRoot);
    }

    // Starts a scan and waits for the window to be idle again.
    void ScanAndWait(testing_support::TTestMainForm& form)
    {
        form.ActionStartScanExecute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.IsScanning(); }, 20000));
    }

    // Scans, closes the summary, checks the rows shown, and forgets the scan's questions.
    void ScanShowing(testing_support::TTestMainForm& form, const std::vector<std::string>& rows)
    {
        QString summary;
        FQuestions.AnswerDialog(testing_support::ReadSummary(summary));
        ScanAndWait(form);
        EXPECT_EQ(Rows(form), rows);
        FQuestions = TScriptedQuestions();
    }

    static std::string Status(TMainForm& form)
    {
        return form.findChild<TZYStatusBar*>(QStringLiteral("StatusBar"))
            ->PanelText(0)
            .toStdString();
    }

    // Each row as "group number: path relative to the scanned folder, check state".
    std::vector<std::string> Rows(TMainForm& form) const
    {
        std::vector<std::string> rows;
        for (std::int32_t row = 0; row < form.DupGrid->RowCount(); ++row) {
            const TDImage* image = form.DupGrid->Record(row);
            std::string path = image->FullPath();
            if (path.rfind(FScanRoot, 0) == 0) {
                path = path.substr(FScanRoot.size());
            }
            rows.push_back(std::to_string(form.DupGrid->GroupNumber(row)) + ": " + path + " " +
                std::to_string(int(image->CheckState)));
        }
        return rows;
    }

    std::unique_ptr<testing_support::TTestMainForm> FForm;
    std::string FDocuments;
    std::string FScanRoot;
};
