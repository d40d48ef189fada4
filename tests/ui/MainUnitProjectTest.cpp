// The main window's project commands: a scanned, checked and saved project opened again in a
// new window, Save and Save As with their failures, opening over shown results and a damaged
// file, the last project at start, and Export.
#include "engine/DFinder.h"
#include "engine/Project.h"
#include "engine/Questions.h"
#include "engine/RegistryAccess.h"
#include "engine/SettingsUnit.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/NextGrid.h"
#include "ui/MruUnit.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using testing_support::TTestMainForm;

using ProjectCommands = TScanWindowTest;

QAction* Action(TMainForm& form, const char* name)
{
    return form.findChild<QAction*>(QString::fromLatin1(name));
}

std::string Caption(TMainForm& form)
{
    const std::string title = form.windowTitle().toStdString();
    return title.substr(title.find(" - [") + 3);
}

std::vector<std::string> ListedFolders(TMainForm& form)
{
    auto* grid = form.findChild<QTableWidget*>(QStringLiteral("FoldersGrid"));
    std::vector<std::string> folders;
    for (int row = 0; row < grid->rowCount(); ++row) {
        folders.push_back((grid->item(row, 0)->checkState() == Qt::Checked ? "x " : "- ") +
            grid->item(row, 2)->text().toStdString());
    }
    return folders;
}

TEST_F(ProjectCommands, AScannedCheckedAndSavedProjectOpensAgainWithTheSameRowsAndChecks)
{
    const std::string saved = FTree.Path("results.twrk");
    std::vector<std::string> rows;
    {
        TTestMainForm& form = Open();
        MakeTree(form);
        auto* folders = form.findChild<QTableWidget*>(QStringLiteral("FoldersGrid"));
        folders->item(0, 0)->setCheckState(Qt::Checked); // excluded from the autocheck
        AppSettings.FindMode = 3;
        form.findChild<QComboBox*>(QStringLiteral("CompareMethod"))->setCurrentIndex(3);
        ScanAndWait(form);
        // A check by hand on the last row.
        form.DupGrid->SelectRow(form.DupGrid->RowCount() - 1);
        form.DupGrid->ToggleSelectedCheck();
        rows = Rows(form);
        ASSERT_EQ(rows.size(), 7u);
        EXPECT_EQ(rows.back().back(), '2');

        FQuestions.AnswerSaveFile(saved);
        Action(form, "ActionSaveProject")->trigger();
        EXPECT_EQ(Caption(form), "[" + saved + "]");
        EXPECT_EQ(form.MRU->FileList().front(), saved);
        FForm->close();
        FForm.reset();
    }
    AppSettings = TSettings::Defaults();
    FQuestions = TScriptedQuestions();
    TTestMainForm& form = Open();
    FQuestions.AnswerOpenFile(saved);
    Action(form, "ActionOpenProject")->trigger();
    EXPECT_EQ(Rows(form), rows);
    EXPECT_EQ(ListedFolders(form), std::vector<std::string> {"x " + FScanRoot});
    EXPECT_EQ(Finder->Folders.front().Flags, 1);
    EXPECT_EQ(form.findChild<QComboBox*>(QStringLiteral("CompareMethod"))->currentIndex(), 3);
    EXPECT_EQ(Caption(form), "[" + saved + "]");
    EXPECT_EQ(Status(form), "");
    EXPECT_EQ(form.MRU->FileList().front(), saved);
    EXPECT_TRUE(Action(form, "ActionStartScan")->isEnabled());
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).empty());
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkError).empty());

    // "Reopen" over shown results asks first; No keeps everything.
    form.DupGrid->SelectRow(0);
    form.DupGrid->ToggleSelectedCheck();
    const std::vector<std::string> changed = Rows(form);
    FQuestions.AnswerConfirm(false);
    form.findChild<QMenu*>(QStringLiteral("MenuFileReopen"))->actions().at(0)->trigger();
    EXPECT_EQ(Rows(form), changed);
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm),
        std::vector<std::string> {
            "Opening a project will clear the current results.\r\nDo you want to continue?"});
    FQuestions.AnswerConfirm(true);
    form.findChild<QMenu*>(QStringLiteral("MenuFileReopen"))->actions().at(0)->trigger();
    EXPECT_EQ(Rows(form), rows);
}

TEST_F(ProjectCommands, SaveAndSaveAsAskForANameOnceAndKeepCaptionAndRecentFilesOnFailure)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    ScanAndWait(form);
    const std::string blocked = FTree.AddFile("blocked", "a file, not a folder");
    const std::string unwritable = blocked + "/results.twrk";

    // Untitled: Save asks for a name, proposing untitled.twrk; Cancel changes nothing.
    FQuestions = TScriptedQuestions();
    FQuestions.AnswerSaveFile("");
    Action(form, "ActionSaveProject")->trigger();
    ASSERT_EQ(FQuestions.Asked().size(), 1u);
    EXPECT_EQ(FQuestions.Asked()[0].Kind, TScriptedQuestions::qkSaveFile);
    EXPECT_EQ(FQuestions.Asked()[0].Text, "Save Project As");
    EXPECT_EQ(FQuestions.Asked()[0].Initial, "untitled.twrk");
    EXPECT_EQ(Caption(form), "[untitled.twrk] *");

    // A name that cannot be written: one error; caption and recent files as they were.
    FQuestions = TScriptedQuestions();
    FQuestions.AnswerSaveFile(unwritable);
    Action(form, "ActionSaveAsProject")->trigger();
    std::vector<std::string> errors = FQuestions.AskedTexts(TScriptedQuestions::qkError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error while saving " + unwritable, 0), 0u) << errors[0];
    EXPECT_EQ(Caption(form), "[untitled.twrk] *");
    EXPECT_TRUE(form.MRU->FileList().empty());
    // Save tries the chosen name again without asking.
    Action(form, "ActionSaveProject")->trigger();
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError).size(), 2u);
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkSaveFile).size(), 1u);
    EXPECT_EQ(form.StatusProgressBar->maximum(), 100); // the busy display is over

    // A good name: the caption names it without the mark, and it heads the recent files.
    const std::string good = FTree.Path("good.twrk");
    FQuestions = TScriptedQuestions();
    FQuestions.AnswerSaveFile(good);
    Action(form, "ActionSaveAsProject")->trigger();
    EXPECT_TRUE(FQuestions.AskedTexts(TScriptedQuestions::qkError).empty());
    EXPECT_EQ(Caption(form), "[" + good + "]");
    EXPECT_EQ(form.MRU->FileList().front(), good);
    form.DupGrid->SelectRow(0);
    form.DupGrid->ToggleSelectedCheck();
    EXPECT_EQ(Caption(form), "[" + good + "] *");
    Action(form, "ActionSaveProject")->trigger();
    EXPECT_EQ(Caption(form), "[" + good + "]");
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkSaveFile).size(), 1u);
}

TEST_F(ProjectCommands, AProjectThatCannotBeReadLeavesTheResultsAsTheyWere)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    ScanAndWait(form);
    const std::vector<std::string> rows = Rows(form);
    const std::string damaged = FTree.AddFile("damaged.twrk", "not a project at all");
    form.UpdateCaption(false);
    FQuestions.AnswerConfirm(true);
    EXPECT_FALSE(form.OpenProjectFile(damaged));
    const std::vector<std::string> errors = FQuestions.AskedTexts(TScriptedQuestions::qkError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error while opening " + damaged, 0), 0u) << errors[0];
    EXPECT_EQ(Rows(form), rows);
    EXPECT_EQ(Caption(form), "[untitled.twrk]");
    EXPECT_TRUE(form.MRU->FileList().empty());
}

TEST_F(ProjectCommands, TheLastProjectOpensAtStartWhenTheOptionsAskForIt)
{
    const std::string saved = FTree.Path("last.twrk");
    {
        TTestMainForm& form = Open();
        MakeTree(form);
        ScanAndWait(form);
        FQuestions.AnswerSaveFile(saved);
        Action(form, "ActionSaveAsProject")->trigger();
        FForm->close();
        FForm.reset();
    }
    struct TCase {
        const char* Label;
        bool Option;
        bool Present;
        std::size_t Rows;
    };
    const std::vector<TCase> cases = {
        {"asked for", true, true, 7},
        {"not asked for", false, true, 0},
        {"asked for, but gone", true, false, 0},
    };
    const std::string kept = FTree.Path("kept.twrk");
    std::filesystem::copy_file(saved, kept);
    for (const TCase& c : cases) {
        std::filesystem::remove(saved);
        if (c.Present) {
            std::filesystem::copy_file(kept, saved);
        }
        ASSERT_TRUE(RegWriteBool("Settings", "LoadLastProject", c.Option));
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = Open();
        EXPECT_EQ(form.DupGrid->RowCount(), 0) << c.Label; // not before the window shows
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        if (c.Rows > 0) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return form.DupGrid->RowCount() > 0; }));
        } else {
            QCoreApplication::sendPostedEvents();
        }
        EXPECT_EQ(std::size_t(form.DupGrid->RowCount()), c.Rows) << c.Label;
        EXPECT_TRUE(FQuestions.Asked().empty()) << c.Label;
        FForm->close();
        FForm.reset();
    }
}

TEST_F(ProjectCommands, ExportWritesTheResultsAsXmlOrCsv)
{
    TTestMainForm& form = Open();
    MakeTree(form);
    ScanAndWait(form);
    struct TCase {
        const char* Chosen;
        bool Written;
        std::size_t Errors;
    };
    const std::vector<TCase> cases = {
        {"found.csv", true, 0},
        {"found.XML", true, 0},
        {"found.txt", false, 1},
        {"", false, 0},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        const std::string path = *c.Chosen ? FTree.Path(c.Chosen) : "";
        FQuestions.AnswerSaveFile(path);
        form.findChild<QAction*>(QStringLiteral("MenuFileExport"))->trigger();
        EXPECT_EQ(!path.empty() && FTree.Exists(c.Chosen), c.Written) << c.Chosen;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError).size(), c.Errors) << c.Chosen;
    }
    EXPECT_NE(FTree.ReadFile("found.csv").find("beach copy.jpg"), std::string::npos);
    EXPECT_EQ(FTree.ReadFile("found.XML").rfind("<?xml", 0), 0u);
    EXPECT_EQ(Caption(form), "[untitled.twrk] *"); // an export is no save
}

} // namespace
