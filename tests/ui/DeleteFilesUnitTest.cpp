#include "ui/DeleteFilesUnit.h"

#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "platform/SysCalls.h"
#include "tests/ui/HeldUnlinks.h"
#include "tests/ui/ScannedTree.h"
#include "toolkit/HelpLinks.h"
#include "ui/ProgressBarFix.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using testing_support::THeldUnlinks;
using testing_support::TScanned;

namespace {

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

QPushButton* Button(QWidget& form, const char* name)
{
    return form.findChild<QPushButton*>(QString::fromLatin1(name));
}

QString MemoText(QWidget& form)
{
    return form.findChild<QPlainTextEdit*>(QStringLiteral("ErrorMemo"))->toPlainText();
}

// Shows the dialog for the action and waits until its run has ended.
bool ShowAndWait(TDeleteFilesForm& form)
{
    QSignalSpy ended(&form, &TDeleteFilesForm::RunEnded);
    form.show();
    return ended.wait(20000);
}

TEST(DeleteFilesForm, ADeleteRunsShowsItsLogAndTakesTheFilesOutOfTheResults)
{
    TScanned scan;
    scan.Group({"k/x", "a/x", "b/x"}, "A");
    scan.Group({"k/y", "a/y"}, "B");
    TSettings settings;
    TDeleteFilesForm form(scan.Results.Finder, settings);
    form.SetAction(paDelete);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Delete Files"));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    ASSERT_TRUE(ShowAndWait(form));

    EXPECT_EQ(form.LogLines(), std::vector<std::string> {"Operation complete."});
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusLabel"))->text(),
        QStringLiteral("Delete operation completed."));
    EXPECT_EQ(Button(form, "StopButton")->text(), QStringLiteral("Close"));
    EXPECT_TRUE(Button(form, "SaveLogButton")->isEnabled());
    EXPECT_EQ(scan.Results.Finder.Files.Count(), 2);
    EXPECT_FALSE(scan.Tree.Exists("a/x"));
    EXPECT_TRUE(scan.Tree.Exists("k/y"));

    // Finished: Esc closes it.
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
}

TEST(DeleteFilesForm, EscAndClosingAreIgnoredWhileTheRunGoesOnAndStopEndsIt)
{
    TScanned scan;
    for (int g = 0; g < 30; ++g) {
        scan.Group({"k/" + std::to_string(g), "a/" + std::to_string(g)}, std::to_string(g));
    }
    TSettings settings;
    THeldUnlinks held;
    platform::TScopedSysCalls calls(held);
    TDeleteFilesForm form(scan.Results.Finder, settings);
    form.SetAction(paDelete);
    QSignalSpy ended(&form, &TDeleteFilesForm::RunEnded);
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(held.WaitingNow() > 0, 20000);
    ASSERT_TRUE(form.Running());

    QTest::keyClick(&form, Qt::Key_Escape);
    form.close();
    EXPECT_TRUE(form.isVisible());
    QTest::mouseClick(Button(form, "StopButton"), Qt::LeftButton);
    EXPECT_EQ(Button(form, "StopButton")->text(), QStringLiteral("Close"));
    EXPECT_FALSE(Button(form, "StopButton")->isEnabled());
    EXPECT_TRUE(form.isVisible());

    held.Release();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_FALSE(form.Running());
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusLabel"))->text(),
        QStringLiteral("Delete operation aborted."));
    EXPECT_EQ(form.LogLines().back(), "Operation aborted.");
    // Files never reached stay, checked, in the results and on disk.
    int remaining = 0;
    for (const TDImage* image : scan.Results.Finder.Files) {
        if (image->CheckState != 0) {
            ++remaining;
            EXPECT_EQ(::access(image->FullPath().c_str(), F_OK), 0);
        }
    }
    EXPECT_GT(remaining, 0);
    QTest::mouseClick(Button(form, "StopButton"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(DeleteFilesForm, TheSavedLogKeepsFileNamesByteForByte)
{
    TScanned scan;
    scan.Group({"k/n\xff.txt", "a/n\xff.txt", "b/n\xff.txt"}, "A");
    TSettings settings;
    settings.MoveToFolder = scan.Tree.AddFolder("target");
    settings.KeepFolderStructure = false;
    TDeleteFilesForm form(scan.Results.Finder, settings);
    form.SetAction(paCopy);
    ASSERT_TRUE(ShowAndWait(form));

    const std::string logFile = scan.Tree.Path("saved.log");
    TScriptedQuestions questions;
    questions.AnswerSaveFile(logFile);
    TScopedQuestions scoped(questions);
    QTest::mouseClick(Button(form, "SaveLogButton"), Qt::LeftButton);

    ASSERT_EQ(questions.Asked().size(), 1u);
    EXPECT_EQ(questions.Asked()[0].Text, "Save Log File");
    EXPECT_EQ(questions.Asked()[0].Root, "Log Files (*.log)");
    EXPECT_EQ(questions.Asked()[0].Initial.substr(questions.Asked()[0].Initial.rfind('/') + 1),
        "TWRK_LogFile.log");
    EXPECT_EQ(ReadWhole(logFile),
        "File n\xff.txt already exists in target location - renamed to n\xff(1).txt\r\n"
        "Operation complete.\r\n");
}

TEST(DeleteFilesForm, NoToTheRemovableMediaQuestionClosesItWithNothingDeleted)
{
    TScanned scan;
    scan.Group({"k/x", "usb/x"}, "A");
    TSettings settings;
    TScriptedQuestions questions;
    questions.AnswerConfirm(false);
    TScopedQuestions scoped(questions);
    TDeleteFilesForm form(scan.Results.Finder, settings);
    form.SetAction(paRecycleBin);
    form.SetCanTrash(
        [](const std::string& path) { return path.find("/usb/") == std::string::npos; });
    ASSERT_TRUE(ShowAndWait(form));

    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    ASSERT_EQ(questions.AskedTexts(TScriptedQuestions::qkConfirm).size(), 1u);
    EXPECT_EQ(questions.AskedTexts(TScriptedQuestions::qkConfirm)[0].rfind(
                  "Some of the files you're trying to delete are on removable media", 0),
        0u);
    EXPECT_TRUE(scan.Tree.Exists("usb/x"));
    EXPECT_EQ(scan.Results.Finder.Files.Count(), 2);
}

TEST(DeleteFilesForm, NotEnoughTrashSpaceAsksAgainOnRetryAndCancelClosesIt)
{
    TScanned scan;
    scan.Group({"k/x", "a/x"}, "A");
    TSettings settings;
    TScriptedQuestions questions;
    questions.AnswerRetry(true);
    questions.AnswerRetry(false);
    TScopedQuestions scoped(questions);
    TDeleteFilesForm form(scan.Results.Finder, settings);
    form.SetAction(paRecycleBin);
    int queried = 0;
    TTrashSpaceSource full;
    full.Query = [&](const std::string&, std::int64_t& size, std::int64_t& count) {
        ++queried;
        size = 100;
        count = 1;
        return true;
    };
    full.Capacity = [](const std::string&) { return std::int64_t(100); };
    form.SetTrashSpaceSource(full);
    ASSERT_TRUE(ShowAndWait(form));

    EXPECT_EQ(queried, 2);
    EXPECT_EQ(questions.AskedTexts(TScriptedQuestions::qkRetryCancel).size(), 2u);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_TRUE(scan.Tree.Exists("a/x"));
}

TEST(DeleteFilesForm, AMissingTargetFolderEndsTheRunWithItsLine)
{
    TScanned scan;
    scan.Group({"k/x", "a/x"}, "A");
    TSettings settings;
    settings.MoveToFolder = scan.Tree.Path("none");
    TDeleteFilesForm form(scan.Results.Finder, settings);
    form.SetAction(paMove);
    ASSERT_TRUE(ShowAndWait(form));
    EXPECT_EQ(form.LogLines(),
        std::vector<std::string> {"Target folder " + scan.Tree.Path("none") + " doesn't exist!"});
    EXPECT_EQ(MemoText(form), QString::fromStdString(form.LogLines()[0]));
    EXPECT_TRUE(Button(form, "StopButton")->isEnabled());
    EXPECT_TRUE(scan.Tree.Exists("a/x"));
}

TEST(ProgressBarFix, APositionIsHeldInsideTheRangeAndZeroToZeroIsTheMarquee)
{
    TProgressBar bar;
    bar.SetMax(10);
    QSignalSpy changed(&bar, &QProgressBar::valueChanged);
    struct TCase {
        int Set;
        int Shown;
    };
    for (const TCase& test : std::vector<TCase> {{4, 4}, {4, 4}, {10, 10}, {25, 10}, {-3, 0}}) {
        bar.SetPosition(test.Set);
        EXPECT_EQ(bar.Position(), test.Shown) << test.Set;
    }
    // The second 4, and 25 held at the 10 shown already, changed nothing.
    EXPECT_EQ(changed.count(), 3);
    bar.SetMax(0);
    EXPECT_TRUE(bar.Marquee());
    bar.SetMarquee(false);
    EXPECT_FALSE(bar.Marquee());
    EXPECT_EQ(bar.Position(), 0);
}

} // namespace
