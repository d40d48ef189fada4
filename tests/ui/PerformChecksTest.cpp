#include "ui/PerformChecks.h"

#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "tests/support/TempTree.h"
#include "ui/YesNoUnit.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVariant>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TTempTree;

namespace {

// Results with files that need not exist: the checks look only at the records.
struct TListedResults {
    TDFinder Finder;

    // A group of files (folder + name), each checked or not.
    void Group(const std::vector<std::pair<std::string, bool>>& files)
    {
        auto owned = std::make_unique<TDGroup>();
        owned->GroupNumber = Finder.Groups.Count() + 1;
        TDGroup* group = Finder.Groups.Add(std::move(owned));
        for (const auto& [path, checked] : files) {
            TDImage* image = Add(path, checked);
            group->Add(image);
            image->Group = group;
        }
    }

    // A record that is in no group (removed from the results, still in the file list).
    TDImage* Add(const std::string& path, bool checked)
    {
        platform::TFindRecord record;
        record.Name = path.substr(path.rfind('/') + 1);
        record.Size = 10;
        record.Kind = platform::TEntryKind::ekRegular;
        TDImage* image = Finder.Files.Add(
            std::make_unique<TDImage>(path.substr(0, path.rfind('/') + 1), record));
        image->CheckState = checked ? 2 : 0;
        ++Finder.FileCount;
        return image;
    }
};

// Everything that was asked, in order: message boxes as "error: text" or "confirm: text",
// the picker as "folder: title", dialogs as "YesNoForm: text" and "MessageDlg: text".
std::vector<std::string> AskedInOrder(const TScriptedQuestions& questions)
{
    std::vector<std::string> asked;
    for (const TScriptedQuestions::TAsked& question : questions.Asked()) {
        switch (question.Kind) {
        case TScriptedQuestions::qkError:
            asked.push_back("error: " + question.Text);
            break;
        case TScriptedQuestions::qkConfirm:
            asked.push_back("confirm: " + question.Text);
            break;
        case TScriptedQuestions::qkBrowseForFolder:
            asked.push_back("folder: " + question.Text);
            break;
        default:
            asked.push_back(question.Text);
            break;
        }
    }
    return asked;
}

// The answer to a TYesNoForm: clicks its button, as the user would.
TScriptedQuestions::TDialogAnswer ClickYesNo(bool yes, std::vector<std::string>& texts)
{
    return [yes, &texts](QObject* dialog) {
        auto* form = qobject_cast<TYesNoForm*>(dialog);
        if (!form) {
            return 0;
        }
        texts.push_back(form->Text());
        int result = 0;
        QObject::connect(form, &QDialog::finished, form, [&result](int code) { result = code; });
        QTest::mouseClick(form->findChild<QPushButton*>(
                              yes ? QStringLiteral("YesButton") : QStringLiteral("NoButton")),
            Qt::LeftButton);
        return result;
    };
}

// The message component as the tests stand it in: a dialog through the questions that
// answers OK (1) or Cancel (2) and leaves its don't-show-again box ticked or not.
TPerformPrompts Prompts(QWidget* owner = nullptr)
{
    TPerformPrompts prompts;
    prompts.AskYesNo = [owner](const std::string& text) { return AskYesNo(text, owner); };
    prompts.RecommendRecycleBin = [](const std::string& text, bool& dontShowAgain) {
        QObject component;
        component.setObjectName(QStringLiteral("MessageDlg"));
        component.setProperty("Text", QString::fromStdString(text));
        const int result = ExecDialog(&component);
        dontShowAgain = component.property("CheckBoxChecked").toBool();
        return result == 1;
    };
    return prompts;
}

TScriptedQuestions::TDialogAnswer Recommendation(int result, bool tickBox)
{
    return [result, tickBox](QObject* component) {
        component->setProperty("CheckBoxChecked", tickBox);
        return result;
    };
}

const std::string NothingChecked = "error: You have not checked any files!";
const std::string Recommend = "MessageDlg";
const std::string YesNo = "YesNoForm";

TEST(PerformChecks, TheQuestionsComeInTheirOrderForEachAction)
{
    TTempTree tree;
    const std::string target = tree.AddFolder("target") + "/";
    const std::string moveQuestion = "confirm: Do you really want to move all selected files(s)"
                                     "\r\nfrom all duplicate groups to " +
        target + " ?";
    struct TCase {
        const char* Name;
        TPerformAction Action;
        bool KeepFolderStructure;
        // The files of one group after a kept file /k/keep.txt.
        std::vector<std::pair<std::string, bool>> Checked;
        // What the user answers to each question that takes an answer, in order: "yes"/"no"
        // to YesNoForm and message boxes, "ok"/"cancel" to the recommendation.
        std::vector<std::string> Answers;
        std::vector<std::string> Expected;
        bool Runs;
    };
    const std::vector<TCase> cases = {
        {"nothing checked, delete for good", paDelete, true, {{"/a/x.txt", false}}, {"ok"},
            {Recommend, NothingChecked}, false},
        {"nothing checked, trash", paRecycleBin, true, {{"/a/x.txt", false}}, {}, {NothingChecked},
            false},
        {"nothing checked, copy", paCopy, false, {{"/a/x.txt", false}}, {}, {NothingChecked},
            false},
        {"nothing checked, links", paSymbolicLinks, true, {{"/a/x.txt", false}}, {},
            {NothingChecked}, false},
        {"trash", paRecycleBin, true, {{"/a/x.txt", true}}, {"yes"},
            {"confirm: Do you want to delete all checked files to the Recycle Bin?"}, true},
        {"delete for good", paDelete, true, {{"/a/x.txt", true}}, {"ok", "yes"},
            {Recommend, "confirm: Do you want to delete permanently all checked files?"}, true},
        {"delete for good, recommendation cancelled", paDelete, true, {{"/a/x.txt", true}},
            {"cancel"}, {Recommend}, false},
        {"flat move of a.txt and A.TXT", paMove, false, {{"/a/a.txt", true}, {"/b/A.TXT", true}},
            {"yes", "ok", "yes"}, {YesNo, Recommend, moveQuestion}, true},
        {"flat move, same names refused", paMove, false, {{"/a/a.txt", true}, {"/b/A.TXT", true}},
            {"no"}, {YesNo}, false},
        {"flat copy of \xC3\xA4.txt and \xC3\x84.txt", paCopy, false,
            {{"/a/\xC3\xA4.txt", true}, {"/b/\xC3\x84.txt", true}}, {"yes"},
            {"confirm: Do you really want to copy all selected files(s)\r\nfrom all duplicate "
             "groups to " +
                target + " ?"},
            true},
        {"move with the folder structure kept", paMove, true,
            {{"/a/a.txt", true}, {"/b/A.TXT", true}}, {"ok", "no"}, {Recommend, moveQuestion},
            false},
        {"links of a.txt and A.TXT", paSymbolicLinks, false,
            {{"/a/a.txt", true}, {"/b/A.TXT", true}}, {"yes"},
            {"confirm: Do you really want to create symbolic links of the checked duplicate "
             "files to the first unchecked file in each group?"},
            true},
    };

    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TListedResults results;
        std::vector<std::pair<std::string, bool>> files = {{"/k/keep.txt", false}};
        files.insert(files.end(), test.Checked.begin(), test.Checked.end());
        results.Group(files);
        TSettings settings;
        settings.PerformAction = test.Action;
        settings.KeepFolderStructure = test.KeepFolderStructure;
        settings.MoveToFolder = target;

        std::vector<std::string> yesNoTexts;
        // The answers queued for the questions that take one, in the order expected.
        TScriptedQuestions ordered;
        std::size_t next = 0;
        for (const std::string& expected : test.Expected) {
            if (next >= test.Answers.size()) {
                break;
            }
            const std::string& answer = test.Answers[next];
            if (expected == YesNo) {
                ordered.AnswerDialog(ClickYesNo(answer == "yes", yesNoTexts));
                ++next;
            } else if (expected == Recommend) {
                ordered.AnswerDialog(Recommendation(answer == "ok" ? 1 : 2, false));
                ++next;
            } else if (expected.rfind("confirm: ", 0) == 0) {
                ordered.AnswerConfirm(answer == "yes");
                ++next;
            }
        }
        TScopedQuestions scoped(ordered);
        TPerformRequest request = CheckPerformAction(results.Finder, settings, Prompts());

        EXPECT_EQ(AskedInOrder(ordered), test.Expected);
        EXPECT_EQ(request.Run, test.Runs);
        EXPECT_EQ(ordered.Unexpected(), 0);
        if (request.Run) {
            EXPECT_EQ(request.Action, test.Action);
            EXPECT_EQ(request.OperationWord, OperationWordOf(test.Action));
            EXPECT_EQ(request.Caption, DialogCaptionOf(test.Action));
        }
        if (!yesNoTexts.empty()) {
            EXPECT_EQ(yesNoTexts[0].rfind("There are files with the same names in your "
                                          "selection\nand they will be overwritten",
                          0),
                0u);
        }
    }
}

TEST(PerformChecks, AFullyCheckedGroupIsWarnedAboutFirstAndNoStops)
{
    TListedResults results;
    results.Group({{"/k/x", false}, {"/a/x", true}});
    results.Group({{"/k/y", true}, {"/a/y", true}});
    TSettings settings;
    settings.PerformAction = paRecycleBin;
    TScriptedQuestions questions;
    std::vector<std::string> texts;
    questions.AnswerDialog(ClickYesNo(false, texts));
    TScopedQuestions scoped(questions);
    EXPECT_FALSE(CheckPerformAction(results.Finder, settings, Prompts()).Run);
    EXPECT_EQ(AskedInOrder(questions), std::vector<std::string> {YesNo});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0],
        "In the following groups all files are marked for delete/move:\n\n2\n\nDo you still "
        "want to continue?");

    // With the warning switched off in the options it is not shown.
    settings.ShowDelWholeGroupWarning = false;
    TScriptedQuestions quiet;
    quiet.AnswerConfirm(true);
    TScopedQuestions scopedQuiet(quiet);
    EXPECT_TRUE(CheckPerformAction(results.Finder, settings, Prompts()).Run);
    EXPECT_EQ(AskedInOrder(quiet).size(), 1u);
}

TEST(PerformChecks, OnlyFilesInGroupsCountAsChecked)
{
    TListedResults results;
    results.Group({{"/k/x", false}, {"/a/x", false}});
    // Removed from the results earlier, but still a record of the file list.
    results.Add("/removed/x", true);
    TSettings settings;
    settings.PerformAction = paRecycleBin;
    TScriptedQuestions questions;
    TScopedQuestions scoped(questions);
    EXPECT_FALSE(CheckPerformAction(results.Finder, settings, Prompts()).Run);
    EXPECT_EQ(AskedInOrder(questions), std::vector<std::string> {NothingChecked});
}

TEST(PerformChecks, TheRecommendationsBoxIsRememberedWhicheverButtonClosedIt)
{
    for (int result : {1, 2}) {
        TListedResults results;
        results.Group({{"/k/x", false}, {"/a/x", true}});
        TSettings settings;
        settings.PerformAction = paDelete;
        TScriptedQuestions questions;
        questions.AnswerDialog(Recommendation(result, true));
        questions.AnswerConfirm(false);
        TScopedQuestions scoped(questions);
        CheckPerformAction(results.Finder, settings, Prompts());
        EXPECT_FALSE(settings.ShowMoveWarning);
    }
}

TEST(PerformChecks, TheTargetFolderIsPickedCreatedOrRefused)
{
    TTempTree tree;
    tree.AddFile("file", "");
    struct TCase {
        const char* Name;
        std::string Folder;
        std::vector<std::string> Answers; // "pick:<folder>", "yes", "no"
        std::vector<std::string> Expected;
        bool Runs;
        bool FolderMade;
    };
    const std::string missing = tree.Path("new/deeper/");
    const std::vector<TCase> cases = {
        {"empty, picker cancelled", "  ", {"pick:"},
            {"folder: Select target folder", "error: Please choose target folder first!"}, false,
            false},
        {"empty, a folder picked", "", {"pick:" + tree.Root(), "yes"},
            {"folder: Select target folder",
                "confirm: Do you really want to copy all selected files(s)\r\nfrom all duplicate "
                "groups to " +
                    tree.Root() + " ?"},
            true, true},
        {"relative", "photos/backup", {},
            {"error: Target folder photos/backup is not a full path!"}, false, false},
        {"missing, made", missing, {"yes", "yes"},
            {"confirm: Target folder doesn't exist! Do you want to create it?",
                "confirm: Do you really want to copy all selected files(s)\r\nfrom all duplicate "
                "groups to " +
                    missing + " ?"},
            true, true},
        {"missing, not made", missing, {"no"},
            {"confirm: Target folder doesn't exist! Do you want to create it?"}, false, false},
        {"cannot be made", tree.Path("file/sub"), {"yes"},
            {"confirm: Target folder doesn't exist! Do you want to create it?",
                "error: Unable to create the target folder directory!"},
            false, false},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        ::rmdir(tree.Path("new/deeper").c_str());
        ::rmdir(tree.Path("new").c_str());
        TListedResults results;
        results.Group({{"/k/x", false}, {"/a/x", true}});
        TSettings settings;
        settings.PerformAction = paCopy;
        settings.MoveToFolder = test.Folder;
        TScriptedQuestions questions;
        for (const std::string& answer : test.Answers) {
            if (answer.rfind("pick:", 0) == 0) {
                questions.AnswerFolder(answer.substr(5));
            } else {
                questions.AnswerConfirm(answer == "yes");
            }
        }
        TScopedQuestions scoped(questions);
        TPerformRequest request = CheckPerformAction(results.Finder, settings, Prompts());
        EXPECT_EQ(AskedInOrder(questions), test.Expected);
        EXPECT_EQ(request.Run, test.Runs);
        if (test.FolderMade) {
            EXPECT_TRUE(::access(settings.MoveToFolder.c_str(), F_OK) == 0);
        }
    }
}

TEST(YesNoForm, YesAndNoEndItWithTheirResultsAndEscIsNo)
{
    struct TCase {
        const char* Action;
        int Expected;
    };
    for (const TCase& test : std::vector<TCase> {{"YesButton", TYesNoForm::mrYes},
             {"NoButton", TYesNoForm::mrNo}, {"Escape", QDialog::Rejected}}) {
        SCOPED_TRACE(test.Action);
        TYesNoForm form;
        form.SetText("line one\r\nline two");
        EXPECT_EQ(form.Text(), "line one\nline two");
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Confirm"));
        EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
        form.show();
        int result = -1;
        QObject::connect(&form, &QDialog::finished, &form, [&result](int code) { result = code; });
        if (std::string(test.Action) == "Escape") {
            QTest::keyClick(&form, Qt::Key_Escape);
        } else {
            QTest::mouseClick(
                form.findChild<QPushButton*>(QString::fromLatin1(test.Action)), Qt::LeftButton);
        }
        EXPECT_EQ(result, test.Expected);
    }
}

TEST(YesNoForm, TheButtonsStayCentredTwelvePixelsApart)
{
    TYesNoForm form;
    for (int width : {566, 401, 1000}) {
        form.resize(width, 238);
        form.show();
        auto* yes = form.findChild<QPushButton*>(QStringLiteral("YesButton"));
        auto* no = form.findChild<QPushButton*>(QStringLiteral("NoButton"));
        EXPECT_EQ(yes->x(), form.width() / 2 - 75 - 6);
        EXPECT_EQ(no->x(), form.width() / 2 + 6);
    }
}

} // namespace
