// The main window's Perform command on real scan results: each action's effect on the files,
// the grid, the check states and the counts; the questions the window asks for each action;
// a failed file that stays checked; Stop during a run; the refill after Perform.
#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "platform/SysCalls.h"
#include "tests/ui/HeldUnlinks.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/NextGrid.h"
#include "ui/DeleteFilesUnit.h"
#include "ui/FileWork.h"
#include "ui/MsgDlg.h"
#include "ui/YesNoUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using testing_support::RunToEnd;
using testing_support::THeldUnlinks;
using testing_support::TTestEnvironment;
using testing_support::TTestMainForm;

using Perform = TScanWindowTest;

const std::vector<std::string>& ScannedRows = testing_support::MakeTreeRows;

// The kept files only, once every checked file has left the results.
const std::vector<std::string> KeptRows = {
    "1: a/beach.jpg 0",
    "2: a/report.pdf 0",
    "3: m/song.mp3 0",
};

std::string Counts(TMainForm& form)
{
    return form.findChild<QLabel*>(QStringLiteral("DupListPanel"))->text().toStdString();
}

std::string CountsText(int checked, std::int64_t checkedSize, int files, std::int64_t size)
{
    return "Check the files to be moved/deleted: " + std::to_string(checked) + " files checked (" +
        FormatByteSize(checkedSize) + ") / Duplicated files: " + std::to_string(files) + " (" +
        FormatByteSize(size) + ")";
}

// Every file below folder, relative to it and sorted; a symbolic link as "name -> its text".
std::vector<std::string> FilesBelow(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        return files;
    }
    for (auto it = fs::recursive_directory_iterator(folder, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string relative = it->path().lexically_relative(folder).string();
        if (it->is_symlink()) {
            files.push_back(relative + " -> " + fs::read_symlink(it->path()).string());
        } else if (it->is_regular_file()) {
            files.push_back(relative);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::set<std::string> TrashedNames()
{
    const std::vector<std::string> names = FilesBelow(TTestEnvironment::DataHome() + "Trash/files");
    return {names.begin(), names.end()};
}

QPushButton* Button(QWidget& form, const char* name)
{
    return form.findChild<QPushButton*>(QString::fromLatin1(name));
}

// Sets the check state of the row that shows the file (relative to the scanned folder).
void SetCheck(TMainForm& form, const std::string& root, const std::string& relative, int state)
{
    for (std::int32_t row = 0; row < form.DupGrid->RowCount(); ++row) {
        if (form.DupGrid->Record(row)->FullPath() == root + relative) {
            form.DupGrid->Record(row)->CheckState = std::uint8_t(state);
        }
    }
    form.DupGrid->RefreshChecks();
    form.UpdateCheckedCounts();
}

class PerformOnScan : public Perform {
protected:
    // A window with the scan of MakeTree's tree shown and autochecked.
    TTestMainForm& Scanned()
    {
        TTestMainForm& form = Open();
        MakeTree(form);
        ScanShowing(form, ScannedRows);
        return form;
    }

    void ChooseAction(TMainForm& form, TPerformAction action)
    {
        auto* box = form.findChild<QComboBox*>(QStringLiteral("PerformActionComboBox"));
        box->setCurrentIndex(action);
        Q_EMIT box->activated(action);
        ASSERT_EQ(AppSettings.PerformAction, action);
    }

    void Click(TMainForm& form, const char* name)
    {
        QPushButton* button = Button(form, name);
        ASSERT_TRUE(button->isEnabled()) << name;
        button->click();
    }
};

TEST_F(PerformOnScan, EachActionChangesTheFilesAndLeavesTheGridAndTheCountsAsItSays)
{
    struct TCase {
        const char* Label;
        TPerformAction Action;
        bool KeepFolderStructure;
        std::vector<std::string> ScanAfter; // files of the scanned folder afterwards
        std::vector<std::string> TargetAfter; // below the target ("ROOT" is the scanned folder)
        std::set<std::string> Trashed;
        std::vector<std::string> RowsAfter;
        std::string CountsAfter;
    };
    const std::vector<std::string> all = {"a/beach.jpg", "a/report.pdf", "a/unique.txt",
        "b/beach.jpg", "b/old/beach copy.jpg", "c/report.pdf", "m/song (1).mp3", "m/song.mp3"};
    const std::vector<std::string> kept = {
        "a/beach.jpg", "a/report.pdf", "a/unique.txt", "m/song.mp3"};
    const std::vector<std::string> flat = {
        "beach copy.jpg", "beach.jpg", "report.pdf", "song (1).mp3"};
    const std::vector<std::string> structured = {"ROOT/b/beach.jpg", "ROOT/b/old/beach copy.jpg",
        "ROOT/c/report.pdf", "ROOT/m/song (1).mp3"};
    const std::string keptCounts = CountsText(0, 0, 3, 3006);
    const std::string scannedCounts = CountsText(4, 4007, 7, 7013);
    const std::vector<TCase> cases = {
        {"to the trash", paRecycleBin, false, kept, {},
            std::set<std::string>(flat.begin(), flat.end()), KeptRows, keptCounts},
        {"for good", paDelete, false, kept, {}, {}, KeptRows, keptCounts},
        {"move, flat", paMove, false, kept, flat, {}, KeptRows, keptCounts},
        {"move, folder structure kept", paMove, true, kept, structured, {}, KeptRows, keptCounts},
        {"copy, flat", paCopy, false, all, flat, {}, ScannedRows, scannedCounts},
        {"copy, folder structure kept", paCopy, true, all, structured, {}, ScannedRows,
            scannedCounts},
        {"links", paSymbolicLinks, false,
            {"a/beach.jpg", "a/report.pdf", "a/unique.txt", "b/beach.jpg -> ../a/beach.jpg",
                "b/old/beach copy.jpg -> ../../a/beach.jpg", "c/report.pdf -> ../a/report.pdf",
                "m/song (1).mp3 -> song.mp3", "m/song.mp3"},
            {}, {}, KeptRows, keptCounts},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTestMainForm& form = Scanned();
        const std::string target = FTree.AddFolder("target");
        AppSettings.ShowMoveWarning = false;
        AppSettings.KeepFolderStructure = c.KeepFolderStructure;
        form.findChild<QLineEdit*>(QStringLiteral("MoveToFolder"))
            ->setText(QString::fromStdString(target));
        Q_EMIT form.findChild<QLineEdit*>(QStringLiteral("MoveToFolder"))->editingFinished();
        ASSERT_EQ(AppSettings.MoveToFolder, target);
        ChooseAction(form, c.Action);
        const std::set<std::string> trashedBefore = TrashedNames();

        std::vector<std::string> log;
        FQuestions.AnswerConfirm(true);
        FQuestions.AnswerDialog(RunToEnd(log));
        Click(form, "PerformActionButton");

        EXPECT_EQ(FQuestions.Unexpected(), 0);
        EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
        EXPECT_EQ(log, std::vector<std::string> {"Operation complete."});
        EXPECT_EQ(FilesBelow(FScanRoot), c.ScanAfter);
        std::vector<std::string> targetAfter;
        const std::string root = FScanRoot.substr(1, FScanRoot.size() - 2);
        for (std::string file : c.TargetAfter) {
            if (file.rfind("ROOT/", 0) == 0) {
                file = root + file.substr(4);
            }
            targetAfter.push_back(file);
        }
        std::sort(targetAfter.begin(), targetAfter.end());
        EXPECT_EQ(FilesBelow(target), targetAfter);
        std::set<std::string> trashed;
        for (const std::string& name : TrashedNames()) {
            if (trashedBefore.count(name) == 0) {
                trashed.insert(name);
            }
        }
        EXPECT_EQ(trashed, c.Trashed);
        EXPECT_EQ(Rows(form), c.RowsAfter);
        EXPECT_EQ(Counts(form), c.CountsAfter);
        EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral(" *")));
        EXPECT_TRUE(Button(form, "PerformActionButton")->isEnabled());

        FForm->close();
        FForm.reset();
        fs::remove_all(FTree.Path("scan"));
        fs::remove_all(target);
    }
}

// The questions as asked: "kind: text" (a dialog by its object name).
std::vector<std::string> AskedList(const TScriptedQuestions& questions)
{
    std::vector<std::string> asked;
    for (const TScriptedQuestions::TAsked& question : questions.Asked()) {
        const char* kind = "";
        switch (question.Kind) {
        case TScriptedQuestions::qkError:
            kind = "error: ";
            break;
        case TScriptedQuestions::qkConfirm:
            kind = "confirm: ";
            break;
        case TScriptedQuestions::qkBrowseForFolder:
            kind = "folder: ";
            break;
        case TScriptedQuestions::qkDialog:
            kind = "dialog: ";
            break;
        default:
            kind = "other: ";
            break;
        }
        asked.push_back(kind + question.Text);
    }
    return asked;
}

// The Yes/No form: keeps its text and answers.
TScriptedQuestions::TDialogAnswer YesNo(std::string& text, bool yes)
{
    return [&text, yes](QObject* dialog) {
        auto* form = qobject_cast<TYesNoForm*>(dialog);
        EXPECT_NE(form, nullptr);
        if (form == nullptr) {
            return 0;
        }
        EXPECT_EQ(form->parentWidget(), dialog->parent());
        text = form->Text();
        return int(yes ? TYesNoForm::mrYes : TYesNoForm::mrNo);
    };
}

// The trash recommendation's box: keeps its caption and text, ticks the don't-show-again box
// when asked to, and presses the button.
TScriptedQuestions::TDialogAnswer Recommendation(std::string& text, bool tick, const char* button)
{
    return [&text, tick, button](QObject* dialog) {
        auto* form = qobject_cast<TMessageForm*>(dialog);
        EXPECT_NE(form, nullptr);
        if (form == nullptr) {
            return 0;
        }
        form->show();
        text = form->windowTitle().toStdString() + ": " + form->Message->text().toStdString();
        EXPECT_NE(form->DontShowAgain, nullptr);
        if (form->DontShowAgain != nullptr && tick) {
            form->DontShowAgain->setChecked(true);
        }
        Button(*form, button)->click();
        return form->result();
    };
}

TEST_F(PerformOnScan, TheWindowAsksItsQuestionsInTheirOrderForEachAction)
{
    const std::string recommendation =
        "Warning: We reccomend you to use the Recycle Bin to move/delete the files.\r\nIf you "
        "have deleted something by mistake you can easily restore it.\r\nOnce you are sure that "
        "the deleted files are not needed,\r\nyou can permanently delete them by emptying the "
        "recycle bin.\r\n\r\nDo you still want to continue?";
    const std::string sameNames =
        "There are files with the same names in your selection\r\nand they will be overwritten "
        "in the target, because \"Keep folder structure\" option is unchecked!\r\n\r\nDo you "
        "still want to continue?";
    const std::string wholeGroup = "In the following groups all files are marked for "
                                   "delete/move:\r\n\r\n2\r\n\r\nDo you still want to continue?";
    const std::string trash =
        "confirm: Do you want to delete all checked files to the Recycle Bin?";
    const std::string forGood = "confirm: Do you want to delete permanently all checked files?";
    const std::string links = "confirm: Do you really want to create symbolic links of the "
                              "checked duplicate files to the first unchecked file in each group?";
    auto transfer = [](const char* verb, const std::string& folder) {
        return std::string("confirm: Do you really want to ") + verb +
            " all selected files(s)\r\nfrom all duplicate groups to " + folder + " ?";
    };
    const std::string dialog = "dialog: DeleteFilesForm";

    struct TAnswers {
        std::string YesNoText;
        std::string RecommendationText;
        std::vector<std::string> Log;
    };
    struct TCase {
        const char* Label;
        TPerformAction Action;
        bool KeepFolderStructure;
        // What the user does before Perform: checks rows, types the target.
        std::function<void(TMainForm&, const std::string& root, const std::string& target)> Before;
        std::function<void(TScriptedQuestions&, TAnswers&, const std::string& target)> Answer;
        std::function<std::vector<std::string>(const std::string& target)> Asked;
        std::string YesNoText;
        std::string RecommendationText;
        bool Ran;
        bool ShowMoveWarningAfter;
    };
    auto nothing = [](TMainForm&, const std::string&, const std::string&) {};
    auto typeTarget = [](const std::string& text) {
        return [text](TMainForm& form, const std::string&, const std::string&) {
            auto* edit = form.findChild<QLineEdit*>(QStringLiteral("MoveToFolder"));
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClicks(edit, QString::fromStdString(text));
            QTest::keyClick(edit, Qt::Key_Tab);
        };
    };
    auto setTarget = [](TMainForm& form, const std::string&, const std::string& target) {
        auto* edit = form.findChild<QLineEdit*>(QStringLiteral("MoveToFolder"));
        edit->setText(QString::fromStdString(target));
        Q_EMIT edit->editingFinished();
    };
    const std::vector<TCase> cases = {
        {"trash: the confirmation, then the dialog", paRecycleBin, true, nothing,
            [](TScriptedQuestions& q, TAnswers& a, const std::string&) {
                q.AnswerConfirm(true);
                q.AnswerDialog(RunToEnd(a.Log));
            },
            [&](const std::string&) {
                return std::vector<std::string> {trash, dialog};
            },
            "", "", true, true},
        {"for good: the recommendation's box, its box ticked", paDelete, true, nothing,
            [](TScriptedQuestions& q, TAnswers& a, const std::string&) {
                q.AnswerDialog(Recommendation(a.RecommendationText, true, "OK"));
                q.AnswerConfirm(true);
                q.AnswerDialog(RunToEnd(a.Log));
            },
            [&](const std::string&) {
                return std::vector<std::string> {"dialog: MessageForm", forGood, dialog};
            },
            "", recommendation, true, false},
        {"move: the recommendation cancelled stops", paMove, true, setTarget,
            [](TScriptedQuestions& q, TAnswers& a, const std::string&) {
                q.AnswerDialog(Recommendation(a.RecommendationText, false, "Cancel"));
            },
            [&](const std::string&) { return std::vector<std::string> {"dialog: MessageForm"}; },
            "", recommendation, false, true},
        {"a fully checked group: the window's Yes/No form first, No stops", paRecycleBin, true,
            [](TMainForm& form, const std::string& root, const std::string&) {
                SetCheck(form, root, "a/report.pdf", 2);
            },
            [](TScriptedQuestions& q, TAnswers& a, const std::string&) {
                q.AnswerDialog(YesNo(a.YesNoText, false));
            },
            [&](const std::string&) { return std::vector<std::string> {"dialog: YesNoForm"}; },
            wholeGroup, "", false, true},
        {"flat copy of two files named alike: the same-names warning in the Yes/No form", paCopy,
            false,
            [setTarget](TMainForm& form, const std::string& root, const std::string& target) {
                setTarget(form, root, target);
                SetCheck(form, root, "a/beach.jpg", 2);
                SetCheck(form, root, "b/old/beach copy.jpg", 0);
            },
            [](TScriptedQuestions& q, TAnswers& a, const std::string&) {
                q.AnswerDialog(YesNo(a.YesNoText, true));
                q.AnswerConfirm(true);
                q.AnswerDialog(RunToEnd(a.Log));
            },
            [&](const std::string& target) {
                return std::vector<std::string> {
                    "dialog: YesNoForm", transfer("copy", target), dialog};
            },
            sameNames, "", true, true},
        {"move with no target folder: the picker", paMove, true, typeTarget(""),
            [](TScriptedQuestions& q, TAnswers& a, const std::string& target) {
                q.AnswerDialog(Recommendation(a.RecommendationText, false, "OK"));
                q.AnswerFolder(target);
                q.AnswerConfirm(true);
                q.AnswerDialog(RunToEnd(a.Log));
            },
            [&](const std::string& target) {
                return std::vector<std::string> {"dialog: MessageForm",
                    "folder: Select target folder", transfer("move", target), dialog};
            },
            "", recommendation, true, true},
        {"a relative target as typed, \"\\\" and all, is refused", paCopy, true,
            typeTarget("back\\up/photos"),
            [](TScriptedQuestions&, TAnswers&, const std::string&) {},
            [](const std::string&) {
                return std::vector<std::string> {
                    "error: " + TargetNotFullPathText("back\\up/photos")};
            },
            "", "", false, true},
        {"links: the confirmation only", paSymbolicLinks, false, nothing,
            [](TScriptedQuestions& q, TAnswers& a, const std::string&) {
                q.AnswerConfirm(true);
                q.AnswerDialog(RunToEnd(a.Log));
            },
            [&](const std::string&) {
                return std::vector<std::string> {links, dialog};
            },
            "", "", true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTestMainForm& form = Scanned();
        const std::string target = FTree.AddFolder("target");
        AppSettings.ShowMoveWarning = true;
        AppSettings.ShowDelWholeGroupWarning = true;
        AppSettings.KeepFolderStructure = c.KeepFolderStructure;
        ChooseAction(form, c.Action);
        c.Before(form, FScanRoot, target);
        const std::vector<std::string> rowsBefore = Rows(form);

        TAnswers answers;
        c.Answer(FQuestions, answers, target);
        Click(form, "PerformActionButton");

        EXPECT_EQ(AskedList(FQuestions), c.Asked(target));
        EXPECT_EQ(FQuestions.Unexpected(), 0);
        EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
        std::string yesNo = c.YesNoText;
        yesNo.erase(std::remove(yesNo.begin(), yesNo.end(), '\r'), yesNo.end());
        EXPECT_EQ(answers.YesNoText, yesNo);
        EXPECT_EQ(answers.RecommendationText, c.RecommendationText);
        EXPECT_EQ(AppSettings.ShowMoveWarning, c.ShowMoveWarningAfter);
        if (c.Ran) {
            EXPECT_EQ(answers.Log.empty() ? "" : answers.Log.back(), "Operation complete.");
        } else {
            EXPECT_EQ(Rows(form), rowsBefore);
            EXPECT_EQ(FilesBelow(target), std::vector<std::string> {});
        }
        FForm->close();
        FForm.reset();
        fs::remove_all(FTree.Path("scan"));
        fs::remove_all(target);
    }
}

TEST_F(PerformOnScan, TheTargetFolderIsTakenAsTypedOrAsPicked)
{
    TTestMainForm& form = Scanned();
    auto* edit = form.findChild<QLineEdit*>(QStringLiteral("MoveToFolder"));
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("/x\\y/z"));
    EXPECT_EQ(AppSettings.MoveToFolder, "/x\\y/z");
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(edit->text(), QStringLiteral("/x\\y/z"));
    EXPECT_EQ(AppSettings.MoveToFolder, "/x\\y/z");

    // The picker starts at the folder shown when it exists; Cancel changes nothing.
    const std::string existing = FTree.AddFolder("existing");
    const std::string picked = FTree.AddFolder("picked \xff");
    edit->setText(QString::fromStdString(existing));
    Q_EMIT edit->editingFinished();
    FQuestions.AnswerFolder("");
    FQuestions.AnswerFolder(picked);
    form.MoveToFolderButtonClick();
    EXPECT_EQ(AppSettings.MoveToFolder, existing);
    form.MoveToFolderButtonClick();
    // A folder whose name is not UTF-8 keeps its bytes, also when the edit loses the focus.
    EXPECT_EQ(AppSettings.MoveToFolder, picked);
    Q_EMIT edit->editingFinished();
    EXPECT_EQ(AppSettings.MoveToFolder, picked);
    ASSERT_EQ(FQuestions.Asked().size(), 2u);
    for (const TScriptedQuestions::TAsked& asked : FQuestions.Asked()) {
        EXPECT_EQ(asked.Text, "Select target folder");
        EXPECT_EQ(asked.Initial, existing);
    }

    // The option boxes follow the user.
    for (const bool on : {true, false}) {
        form.findChild<QCheckBox*>(QStringLiteral("KeepFolderStructure"))->setChecked(on);
        form.findChild<QCheckBox*>(QStringLiteral("DeleteEmptyFolders"))->setChecked(on);
        EXPECT_EQ(AppSettings.KeepFolderStructure, on);
        EXPECT_EQ(AppSettings.DeleteEmptyFolders, on);
    }
}

TEST_F(PerformOnScan, AFailedFileStaysCheckedAndTheRefillAppliesNoRule)
{
    TTestMainForm& form = Scanned();
    AppSettings.ShowMoveWarning = false;
    AppSettings.DeleteEmptyFolders = true;
    ChooseAction(form, paDelete);
    // The user keeps the song's copy; the report's copy changes after the scan.
    SetCheck(form, FScanRoot, "m/song (1).mp3", 0);
    FTree.PatchByte("scan/c/report.pdf", 0, 0xEE);

    std::vector<std::string> log;
    FQuestions.AnswerConfirm(true);
    FQuestions.AnswerDialog(RunToEnd(log));
    Click(form, "PerformActionButton");

    EXPECT_EQ(FilesBelow(FScanRoot),
        (std::vector<std::string> {"a/beach.jpg", "a/report.pdf", "a/unique.txt", "c/report.pdf",
            "m/song (1).mp3", "m/song.mp3"}));
    // The emptied folders b/old and b went; the report's folder stays with its file.
    EXPECT_FALSE(fs::exists(FTree.Path("scan/b")));
    EXPECT_EQ(Rows(form),
        (std::vector<std::string> {"1: a/beach.jpg 0", "2: a/report.pdf 0", "2: c/report.pdf 1",
            "3: m/song (1).mp3 0", "3: m/song.mp3 0"}));
    EXPECT_EQ(Counts(form), CountsText(1, 1002, 5, 5011));
    ASSERT_FALSE(log.empty());
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                  [&](const std::string& line) {
                      return line.find(ChangedSinceScanReason) != std::string::npos &&
                          line.find(FScanRoot + "c/report.pdf") != std::string::npos;
                  }),
        log.end());
}

TEST_F(Perform, StopKeepsTheFilesNotReachedCheckedAndNothingClosesWhileTheRunGoesOn)
{
    TTestMainForm& form = Open();
    for (int g = 0; g < 30; ++g) {
        const std::string name = "f" + std::to_string(g);
        FTree.AddFileOfSize("scan/k/" + name, 100, std::uint32_t(g + 1));
        FTree.AddFileOfSize("scan/a/" + name, 100, std::uint32_t(g + 1));
        FTree.SetTimes("scan/k/" + name, 1700000000, 1700000000);
        FTree.SetTimes("scan/a/" + name, 1600000000, 1600000000);
    }
    FScanRoot = FTree.Path("scan/");
    form.AddFolderToList(FScanRoot);
    QString summary;
    FQuestions.AnswerDialog(testing_support::ReadSummary(summary));
    ScanAndWait(form);
    ASSERT_EQ(form.DupGrid->RowCount(), 60);
    FQuestions = TScriptedQuestions();
    AppSettings.ShowMoveWarning = false;
    AppSettings.PerformAction = paDelete;

    THeldUnlinks held;
    platform::TScopedSysCalls calls(held);
    bool ignored = false;
    FQuestions.AnswerConfirm(true);
    FQuestions.AnswerDialog([&](QObject* dialog) {
        auto* run = qobject_cast<TDeleteFilesForm*>(dialog);
        EXPECT_NE(run, nullptr);
        if (run == nullptr) {
            return 0;
        }
        QSignalSpy ended(run, &TDeleteFilesForm::RunEnded);
        run->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return held.WaitingNow() > 0; }, 20000));
        // Esc, the dialog's close box and closing the main window are all ignored.
        QTest::keyClick(run, Qt::Key_Escape);
        run->close();
        form.close();
        ignored = run->isVisible() && form.IsPerforming() && Finder != nullptr;
        Button(*run, "StopButton")->click();
        held.Release();
        EXPECT_TRUE(ended.wait(20000));
        Button(*run, "StopButton")->click();
        return run->result();
    });
    Button(form, "PerformActionButton")->click();

    EXPECT_TRUE(ignored);
    EXPECT_FALSE(form.IsPerforming());
    ASSERT_NE(Finder, nullptr);
    // The copies the run reached are gone from the disk and from the grid; the others are on
    // the disk and in the grid, checked.
    std::set<std::string> listed;
    int stillChecked = 0;
    for (std::int32_t row = 0; row < form.DupGrid->RowCount(); ++row) {
        const TDImage* image = form.DupGrid->Record(row);
        listed.insert(image->FullPath());
        EXPECT_TRUE(fs::exists(image->FullPath())) << image->FullPath();
        stillChecked += image->CheckState != 0 ? 1 : 0;
    }
    for (int g = 0; g < 30; ++g) {
        const std::string copy = FScanRoot + "a/f" + std::to_string(g);
        EXPECT_EQ(listed.count(copy) == 1, fs::exists(copy)) << copy;
    }
    EXPECT_GT(stillChecked, 0);
    EXPECT_LT(stillChecked, 30);
    EXPECT_EQ(Counts(form),
        CountsText(stillChecked, stillChecked * 100, form.DupGrid->RowCount(),
            form.DupGrid->RowCount() * 100));
}

} // namespace
