// The results grid's popup menu and its commands: the items, shortcuts and enabling rule, the
// removals (with and without groups of one file), Delete from Disk with a file that cannot go
// to the trash, renaming, the check commands, opening, locating and the file's properties.
#include "engine/DFinder.h"
#include "engine/Questions.h"
#include "engine/SettingsUnit.h"
#include "platform/SysCalls.h"
#include "tests/support/ResultsBuilder.h"
#include "tests/ui/PrivateSessionBus.h"
#include "tests/ui/ScanWindowFixture.h"
#include "toolkit/FileManager.h"
#include "toolkit/FilePropertiesForm.h"
#include "toolkit/HelpLinks.h"
#include "toolkit/NextGrid.h"
#include "ui/RenameFileUnit.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using testing_support::AddResultGroup;
using testing_support::TFakeFileManager;
using testing_support::TPrivateSessionBus;
using testing_support::TResultFile;
using testing_support::TTestMainForm;

// Every rename of one file fails with the error.
class TFailingRename : public platform::TSysCalls {
public:
    TFailingRename(std::string path, int error)
        : FPath(std::move(path))
        , FError(error)
    { }
    int Rename(const char* from, const char* to, unsigned flags) override
    {
        if (FPath == from) {
            errno = FError;
            return -1;
        }
        return TSysCalls::Rename(from, to, flags);
    }

private:
    std::string FPath;
    int FError;
};

// The results of every test, as real files under r/ (a file's group, folder, name and check
// state); each group's files have content of their own.
struct TPut {
    int Group;
    const char* Path;
    std::uint8_t State;
};
const std::vector<TPut> Standard = {
    {1, "Photos/a.jpg", 0},
    {1, "Photos/2019/a.jpg", 1},
    {1, "Photos2/a.jpg", 0},
    {1, "photos/a.jpg", 0},
    {2, "Photos/b.txt", 0},
    {2, "x/b.txt", 0},
    {3, "y/c.bin", 2},
    {3, "z/c.bin", 0},
};

// A window showing the standard results; every address the window opens is recorded, and
// the file manager is asked on a bus of the test's own when one is given.
class GridCommands : public TScanWindowTest {
protected:
    void SetUp() override
    {
        TScanWindowTest::SetUp();
        SetUrlOpener([this](const QUrl& url) {
            FOpened.push_back(url.toString(QUrl::FullyEncoded).toStdString());
            return true;
        });
        // No test reaches the desktop's session bus.
        SetFileManagerBus(QDBusConnection(QStringLiteral("no bus")));
    }
    void TearDown() override
    {
        TScanWindowTest::TearDown();
        SetFileManagerBus(std::nullopt);
        SetUrlOpener(nullptr);
    }

    TTestMainForm& OpenWithResults(const std::vector<TPut>& files = Standard)
    {
        TTestMainForm& form = Open();
        FScanRoot = FTree.Path("r/");
        std::vector<std::vector<TResultFile>> groups;
        for (const TPut& put : files) {
            const std::string path = FTree.AddFile(
                "r/" + std::string(put.Path), "content of group " + std::to_string(put.Group));
            TResultFile file;
            file.Folder = path.substr(0, path.rfind('/') + 1);
            file.Name = path.substr(path.rfind('/') + 1);
            file.Size = std::int64_t(FTree.ReadFile("r/" + std::string(put.Path)).size());
            file.CheckState = put.State;
            groups.resize(std::size_t(std::max<int>(int(groups.size()), put.Group)));
            groups[std::size_t(put.Group - 1)].push_back(file);
        }
        for (const auto& group : groups) {
            AddResultGroup(*Finder, group);
        }
        Finder->Folders = {{FScanRoot, 0}};
        form.DoAutoSelect2(TMainForm::TAutoCheckCaller::accRefill);
        form.UpdateCaption(false);
        return form;
    }

    // Selects the rows; the first one is the current row.
    static void Select(TMainForm& form, const std::vector<int>& rows)
    {
        TNextGrid& grid = *form.DupGrid;
        grid.clearSelection();
        if (rows.empty()) {
            grid.selectionModel()->clearCurrentIndex();
            return;
        }
        grid.SelectRow(rows.front());
        for (const int row : rows) {
            grid.selectionModel()->select(grid.Model().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    static std::string States(TMainForm& form)
    {
        std::string states;
        for (std::int32_t row = 0; row < form.DupGrid->RowCount(); ++row) {
            states += char('0' + form.DupGrid->Record(row)->CheckState);
        }
        return states;
    }

    // The groups in the finder's list: "number:file count", blank-separated.
    static std::string Groups()
    {
        std::string groups;
        for (const TDGroup* group : Finder->Groups) {
            groups += (groups.empty() ? "" : " ") + std::to_string(group->GroupNumber) + ":" +
                std::to_string(group->Count());
        }
        return groups;
    }

    static bool Modified(TMainForm& form)
    {
        return form.windowTitle().endsWith(QStringLiteral(" *"));
    }

    static std::string Counts(TMainForm& form)
    {
        return form.findChild<QLabel*>(QStringLiteral("DupListPanel"))->text().toStdString();
    }

    std::string Path(const std::string& relative) const { return FTree.Path("r/" + relative); }

    std::vector<std::string> FOpened;
};

std::string ManualQuestion(const std::string& what)
{
    return "You have checked some files manually.\r\nThis operation may uncheck some of "
           "them.\r\n\r\nAre you sure that you want to " +
        what + "?";
}

// ---- the menu ----------------------------------------------------------------------------------

TEST_F(GridCommands, TheMenuHoldsEveryItemInOrderWithItsShortcut)
{
    TTestMainForm& form = OpenWithResults();
    std::vector<std::string> items;
    std::function<void(QMenu*, const std::string&)> walk = [&](QMenu* menu,
                                                               const std::string& indent) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) {
                items.push_back(indent + "-");
                continue;
            }
            std::string line = indent + action->objectName().toStdString() + " \"" +
                action->text().toStdString() + "\"";
            for (const QKeySequence& key : action->shortcuts()) {
                line += " " + key.toString().toStdString();
            }
            items.push_back(line);
            if (action->menu() != nullptr) {
                walk(action->menu(), indent + "  ");
            }
        }
    };
    walk(form.DupGridPopupMenu, "");
    const std::vector<std::string> expected = {
        "OpenMenu \"View\"",
        "OpenShellMenu \"Open with Associated Program\"",
        "-",
        "RenameFileMenu \"Rename...\" F2",
        "-",
        "RemoveFromListMenu \"Remove from List...\" Del",
        "RemoveGroupMenu \"Remove Group from List...\"",
        "-",
        "DeleteImageMenu \"Delete from Disk...\" Shift+Del",
        "-",
        "ExploreFolderMenu \"Locate in Explorer\"",
        "-",
        "Check1Item \"Check\"",
        "  CheckAllExceptExcluded \"All Except Excluded\" Ctrl+E",
        "  CheckSelectedMenu \"Selected\" Ctrl+K",
        "  -",
        "  CheckAllInCurrentFolder \"All in This Folder\"",
        "  CheckAllInCurrentFolderandSubfoldersMenuClick \"All in This Folder and Subfolders\"",
        "MenuInvertSelected \"Invert Selected\" Ctrl+I",
        "UncheckSelectedMenu \"Uncheck Selected\" Ctrl+U",
        "-",
        "PropertiesPopupMenu \"Properties\" Alt+Enter Alt+Return",
    };
    EXPECT_EQ(items, expected);
    EXPECT_EQ(form.DupGridPopupMenu->defaultAction(), form.OpenMenu);
    EXPECT_TRUE(form.OpenMenu->font().bold());
}

TEST_F(GridCommands, ShortcutsRunTheirCommandsWhileTheGridHasTheFocus)
{
    struct TCase {
        QKeyCombination Key;
        const char* Action;
    };
    const std::vector<TCase> cases = {
        {Qt::Key_F2, "RenameFileMenu"},
        {Qt::Key_Delete, "RemoveFromListMenu"},
        {Qt::SHIFT | Qt::Key_Delete, "DeleteImageMenu"},
        {Qt::CTRL | Qt::Key_E, "CheckAllExceptExcluded"},
        {Qt::CTRL | Qt::Key_K, "CheckSelectedMenu"},
        {Qt::CTRL | Qt::Key_I, "MenuInvertSelected"},
        {Qt::CTRL | Qt::Key_U, "UncheckSelectedMenu"},
        {Qt::ALT | Qt::Key_Return, "PropertiesPopupMenu"},
    };
    TTestMainForm& form = OpenWithResults();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    for (const TCase& c : cases) {
        auto* action = form.findChild<QAction*>(QString::fromLatin1(c.Action));
        ASSERT_NE(action, nullptr) << c.Action;
        QSignalSpy triggered(action, &QAction::triggered);
        form.DupGrid->setFocus();
        Select(form, {0});
        QTest::keyClick(form.DupGrid, c.Key.key(), c.Key.keyboardModifiers());
        EXPECT_EQ(triggered.count(), 1) << c.Action;
        // Elsewhere in the window the keys are not the grid's.
        form.findChild<QWidget*>(QStringLiteral("AutoCheckCombo"))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), c.Key.key(), c.Key.keyboardModifiers());
        EXPECT_EQ(triggered.count(), 1) << c.Action;
    }
}

TEST_F(GridCommands, OpeningTheMenuEnablesItsItemsExactlyWhenARowIsSelected)
{
    struct TCase {
        const char* Label;
        std::vector<int> Selected;
        bool Enabled;
    };
    const std::vector<TCase> cases = {
        {"nothing selected", {}, false},
        {"one row", {2}, true},
        {"several rows", {0, 5, 6}, true},
    };
    TTestMainForm& form = OpenWithResults();
    for (const TCase& c : cases) {
        Select(form, c.Selected);
        form.DupGridPopupMenu->popup(form.DupGrid->mapToGlobal(QPoint(10, 10)));
        for (QAction* action : form.DupGridPopupMenu->actions()) {
            if (!action->isSeparator()) {
                EXPECT_EQ(action->isEnabled(), c.Enabled)
                    << c.Label << " " << action->objectName().toStdString();
            }
        }
        // The submenu is enabled or not as a whole; its own items are left alone.
        for (QAction* action : form.Check1->actions()) {
            EXPECT_TRUE(action->isEnabled())
                << c.Label << " " << action->objectName().toStdString();
        }
        form.DupGridPopupMenu->hide();
        // Once the menu has gone, the shortcuts work again whatever it showed.
        EXPECT_TRUE(QTest::qWaitFor([&form] { return form.RemoveFromListMenu->isEnabled(); }))
            << c.Label;
    }
}

// ---- removing rows -----------------------------------------------------------------------------

TEST_F(GridCommands, RemovalsTakeTheirRowsAndTheGroupsLeftWithOneFile)
{
    const std::string removeQuestion =
        "Do you want to remove the selected items from the list (no files will be deleted)?";
    const std::string groupQuestion = "Do you want to remove the selected item's group from the "
                                      "list (no files will be deleted)?";
    struct TCase {
        const char* Label;
        bool RemoveSingleFileGroups;
        std::vector<int> Selected;
        bool Group; // "Remove Group from List..." instead of "Remove from List..."
        bool Yes;
        std::vector<std::string> Rows;
        std::string Groups;
        int Files; // records left in the finder
        int SelectedAfter;
    };
    const std::vector<TCase> cases = {
        {"both rows of a pair leave an empty group", true, {5, 4}, false, true,
            {"1: Photos/a.jpg 0", "1: Photos/2019/a.jpg 1", "1: Photos2/a.jpg 0",
                "1: photos/a.jpg 0", "3: y/c.bin 2", "3: z/c.bin 0"},
            "1:4 2:0 3:2", 8, 5},
        {"one row of a pair takes its partner along", true, {6}, false, true,
            {"1: Photos/a.jpg 0", "1: Photos/2019/a.jpg 1", "1: Photos2/a.jpg 0",
                "1: photos/a.jpg 0", "2: Photos/b.txt 0", "2: x/b.txt 0"},
            "1:4 2:2", 7, 5},
        {"without the option the partner stays", false, {6}, false, true,
            {"1: Photos/a.jpg 0", "1: Photos/2019/a.jpg 1", "1: Photos2/a.jpg 0",
                "1: photos/a.jpg 0", "2: Photos/b.txt 0", "2: x/b.txt 0", "3: z/c.bin 0"},
            "1:4 2:2 3:1", 8, 6},
        {"rows of several groups, the last row selected", true, {7, 0, 2}, false, true,
            {"1: Photos/2019/a.jpg 1", "1: photos/a.jpg 0", "2: Photos/b.txt 0", "2: x/b.txt 0"},
            "1:2 2:2", 7, 3},
        {"No removes nothing", true, {6}, false, false,
            {"1: Photos/a.jpg 0", "1: Photos/2019/a.jpg 1", "1: Photos2/a.jpg 0",
                "1: photos/a.jpg 0", "2: Photos/b.txt 0", "2: x/b.txt 0", "3: y/c.bin 2",
                "3: z/c.bin 0"},
            "1:4 2:2 3:2", 8, 6},
        {"remove group takes the unselected rows too", false, {4, 1}, true, true,
            {"3: y/c.bin 2", "3: z/c.bin 0"}, "3:2", 2, 1},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = OpenWithResults();
        AppSettings.RemoveSingleFileGroups = c.RemoveSingleFileGroups;
        Select(form, c.Selected);
        std::vector<TDImage*> selected;
        for (const int row : c.Selected) {
            selected.push_back(form.DupGrid->Record(row));
        }
        FQuestions.AnswerConfirm(c.Yes);
        (c.Group ? form.RemoveGroupMenu : form.RemoveFromListMenu)->trigger();
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm),
            std::vector<std::string> {c.Group ? groupQuestion : removeQuestion})
            << c.Label;
        EXPECT_EQ(Rows(form), c.Rows) << c.Label;
        EXPECT_EQ(Groups(), c.Groups) << c.Label;
        EXPECT_EQ(Finder->Files.Count(), c.Files) << c.Label;
        EXPECT_EQ(form.DupGrid->SelectedRow(), c.SelectedAfter) << c.Label;
        EXPECT_EQ(Modified(form), c.Yes) << c.Label;
        EXPECT_EQ(Counts(form), CheckedCountsCaption(*Finder)) << c.Label;
        if (c.Yes && !c.Group) {
            // The removed records stay in the file list, in no group.
            for (const TDImage* image : selected) {
                EXPECT_EQ(image->Group.load(), nullptr) << c.Label;
            }
        }
        FForm->close();
        FForm.reset();
    }
}

TEST_F(GridCommands, DeleteFromDiskKeepsTheRowOfAFileThatCouldNotGoToTheTrashAndNamesIt)
{
    TTestMainForm& form = OpenWithResults();
    AppSettings.RemoveSingleFileGroups = true;
    Select(form, {0, 1, 2, 6});
    TFailingRename failing(Path("Photos2/a.jpg"), EACCES);
    platform::TScopedSysCalls installed(failing);
    FQuestions.AnswerConfirm(true);
    form.DeleteImageMenu->trigger();

    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm),
        std::vector<std::string> {"Do you want to delete the selected file(s) from disk?"});
    EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
        std::vector<std::string> {
            "This file could not be moved to the trash and stays in the list:\r\n\r\n" +
            Path("Photos2/a.jpg") + ": Permission denied\r\n"});
    const std::vector<std::string> rows = {
        "1: Photos2/a.jpg 0", "1: photos/a.jpg 0", "2: Photos/b.txt 0", "2: x/b.txt 0"};
    EXPECT_EQ(Rows(form), rows) << "z/c.bin went with its partner";
    for (const char* gone : {"Photos/a.jpg", "Photos/2019/a.jpg", "y/c.bin"}) {
        EXPECT_FALSE(FTree.Exists(std::string("r/") + gone)) << gone;
    }
    EXPECT_TRUE(FTree.Exists("r/Photos2/a.jpg"));
    EXPECT_TRUE(FTree.Exists("r/z/c.bin"));
    std::set<std::string> trashed;
    const std::string trash = testing_support::TTestEnvironment::DataHome() + "Trash/files/";
    for (const char* name : {"a.jpg", "a.jpg.2", "c.bin"}) {
        if (std::filesystem::exists(trash + name)) {
            trashed.insert(name);
        }
    }
    EXPECT_EQ(trashed, (std::set<std::string> {"a.jpg", "a.jpg.2", "c.bin"}));
    EXPECT_TRUE(Modified(form));
    EXPECT_EQ(Counts(form), CheckedCountsCaption(*Finder));
}

// ---- renaming ----------------------------------------------------------------------------------

TEST(RenameFileForm, SplitsTheNameAtItsLastDotAndRefusesNamesThatCannotBeUsed)
{
    struct TSplit {
        const char* Path;
        const char* Name;
        const char* Ext;
    };
    for (const TSplit& c : std::vector<TSplit> {{"/d/Report.final.pdf", "Report.final", ".pdf"},
             {"/d/README", "README", ""}, {"/d/.bashrc", ".bashrc", ""},
             {"/d/.config.old", ".config", ".old"}, {"/d/x.", "x", "."}}) {
        TRenameFileForm form;
        form.SetFile(c.Path);
        EXPECT_EQ(form.FileFolder, "/d/") << c.Path;
        EXPECT_EQ(form.OldFileName->text().toStdString(), c.Name) << c.Path;
        EXPECT_EQ(form.NewFileName->text().toStdString(), c.Name) << c.Path;
        EXPECT_EQ(form.OldExt->text().toStdString(), c.Ext) << c.Path;
        EXPECT_EQ(form.NewExt->text().toStdString(), c.Ext) << c.Path;
        EXPECT_EQ(form.NewPath(), c.Path) << c.Path;
        EXPECT_FALSE(form.OldFileName->isEnabled());
        EXPECT_TRUE(form.OldExt->isReadOnly());
    }
    struct TName {
        std::string Name;
        bool Usable;
    };
    for (const TName& c : std::vector<TName> {{"", false}, {".", false}, {"..", false},
             {"a/b", false}, {std::string("a\0b", 3), false}, {"...", true}, {".a", true},
             {"a b", true}, {"a\\b", true}}) {
        EXPECT_EQ(TRenameFileForm::InvalidNameReason(c.Name).empty(), c.Usable) << c.Name;
    }
}

TEST_F(GridCommands, RenameRenamesTheFileAndTheRecordFollowsOrSaysWhyNot)
{
    struct TCase {
        const char* Label;
        const char* Name;
        const char* Ext;
        int FailWith; // the rename's error, 0 for none
        std::string Error; // the error box's text, "" for none
        const char* After; // the row's file name afterwards
        const char* ExtAfter; // the record's extension afterwards
    };
    const std::string from = Path("z/c.bin");
    const std::vector<TCase> cases = {
        {"a new name", "renamed", ".dat", 0, "", "renamed.dat", ".dat"},
        {"only the extension", "c", ".BIN", 0, "", "c.BIN", ".bin"},
        {"no extension", "c", "", 0, "", "c", ""},
        {"the same name", "c", ".bin", 0, "", "c.bin", ".bin"},
        {"empty", "", "", 0, "Please enter a file name.", "c.bin", ".bin"},
        {"a dot", ".", "", 0, "\".\" cannot be used as a file name.", "c.bin", ".bin"},
        {"two dots", "..", "", 0, "\"..\" cannot be used as a file name.", "c.bin", ".bin"},
        {"a slash", "../c", ".bin", 0, "A file name cannot contain \"/\".", "c.bin", ".bin"},
        {"an existing file", "taken", ".bin", 0,
            "Cannot rename \"" + from + "\" to \"taken.bin\":\r\nFile exists", "c.bin", ".bin"},
        {"the rename fails", "other", ".bin", EACCES,
            "Cannot rename \"" + from + "\" to \"other.bin\":\r\nPermission denied", "c.bin",
            ".bin"},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = OpenWithResults();
        FTree.AddFile("r/z/taken.bin", "another file");
        TFailingRename failing(c.FailWith != 0 ? from : std::string(), c.FailWith);
        platform::TScopedSysCalls installed(failing);
        Select(form, {7});
        bool shownOnRecord = false;
        FQuestions.AnswerDialog([&](QObject* dialog) {
            auto& rename = *static_cast<TRenameFileForm*>(dialog);
            shownOnRecord = rename.OldFileName->text() == QStringLiteral("c") &&
                rename.OldExt->text() == QStringLiteral(".bin") && rename.FileFolder == Path("z/");
            rename.NewFileName->setText(QString::fromUtf8(c.Name));
            rename.NewExt->setText(QString::fromUtf8(c.Ext));
            rename.OKButton->click();
            // A refused name leaves the dialog open: the user cancels then.
            return rename.result();
        });
        form.RenameFileMenu->trigger();
        EXPECT_TRUE(shownOnRecord) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError),
            c.Error.empty() ? std::vector<std::string> {} : std::vector<std::string> {c.Error})
            << c.Label;
        const TDImage* image = form.DupGrid->Record(7);
        EXPECT_EQ(image->FullPath(), Path("z/") + c.After) << c.Label;
        EXPECT_EQ(form.DupGrid->Model().CellText(7, FileNameColumn).toStdString(), c.After)
            << c.Label;
        EXPECT_TRUE(FTree.Exists(std::string("r/z/") + c.After)) << c.Label;
        const bool renamed = std::string(c.After) != "c.bin";
        EXPECT_EQ(FTree.Exists("r/z/c.bin"), !renamed) << c.Label;
        EXPECT_EQ(Modified(form), renamed) << c.Label;
        EXPECT_EQ(image->Ext.Str(), c.ExtAfter) << c.Label;
        EXPECT_EQ(FTree.ReadFile("r/z/taken.bin"), "another file") << c.Label;
        FForm->close();
        FForm.reset();
        FTree.AddFile("r/z/c.bin", "content of group 3");
    }
}

TEST_F(GridCommands, RenameWithTwoRowsSelectedAsksNothing)
{
    TTestMainForm& form = OpenWithResults();
    Select(form, {6, 7});
    form.RenameFileMenu->trigger();
    EXPECT_TRUE(FQuestions.Asked().empty());
}

// ---- checking ----------------------------------------------------------------------------------

TEST_F(GridCommands, CheckCommandsSetTheStatesAndTheModifiedMarkOnlyWhereTheyShould)
{
    // Rows: Photos/a.jpg, Photos/2019/a.jpg, Photos2/a.jpg, photos/a.jpg, Photos/b.txt,
    // x/b.txt, y/c.bin, z/c.bin; states 0 1 0 0 0 0 2 0.
    enum TCommand { Invert, Uncheck, CheckSelected, CheckAll, ExceptExcluded, Folder, Subfolders };
    struct TCase {
        const char* Label;
        TCommand Command;
        std::vector<int> Selected;
        std::vector<bool> Answers; // to the question about hand checks
        std::string Question; // what is asked, "" for nothing
        std::string After;
        bool Modified;
    };
    const std::string invert = ManualQuestion("invert the checked state of the selected files");
    const std::string uncheck = ManualQuestion("uncheck the selected files");
    const std::string except = ManualQuestion("check all except the excluded files");
    const std::vector<TCase> cases = {
        {"invert", Invert, {0, 1}, {}, "", "20000020", true},
        {"invert over a hand check, No", Invert, {6, 0}, {false}, invert, "01000020", false},
        {"invert over a hand check, Yes", Invert, {6, 7}, {true}, invert, "01000002", true},
        {"uncheck what is unchecked", Uncheck, {2, 3}, {}, "", "01000020", false},
        {"uncheck a rule's check", Uncheck, {1, 2}, {}, "", "00000020", true},
        {"uncheck a hand check, Yes", Uncheck, {6}, {true}, uncheck, "01000000", true},
        {"selected turns a rule's check into a hand check", CheckSelected, {1}, {}, "", "02000020",
            true},
        {"selected, already hand-checked", CheckSelected, {6}, {}, "", "01000020", false},
        {"check all (no sender), nothing selected", CheckAll, {}, {}, "", "22222222", true},
        {"all except excluded", ExceptExcluded, {0}, {}, "", "22222022", true},
        {"all except excluded, a hand check selected, No", ExceptExcluded, {6}, {false}, except,
            "01000020", false},
        {"this folder: Photos/ only, not photos/ or Photos2/ or Photos/2019/", Folder, {0}, {}, "",
            "21002020", true},
        {"this folder and subfolders: not the sibling Photos2/", Subfolders, {0}, {}, "",
            "22002020", true},
        {"this folder: photos/", Folder, {3}, {}, "", "01020020", true},
        {"a command that needs a selection, nothing selected", Invert, {}, {}, "", "01000020",
            false},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TTestMainForm& form = OpenWithResults();
        // x/ is left out of the autocheck.
        Finder->Folders.push_back({Path("x/"), 1});
        Select(form, c.Selected);
        for (const bool answer : c.Answers) {
            FQuestions.AnswerConfirm(answer);
        }
        switch (c.Command) {
        case Invert:
            form.MenuInvertSelected->trigger();
            break;
        case Uncheck:
            form.UncheckSelectedMenu->trigger();
            break;
        case CheckSelected:
            form.CheckSelectedMenu->trigger();
            break;
        case CheckAll:
            form.CheckAllRows();
            break;
        case ExceptExcluded:
            form.CheckAllExceptExcluded->trigger();
            break;
        case Folder:
            form.CheckAllInCurrentFolder->trigger();
            break;
        case Subfolders:
            form.CheckAllInCurrentFolderandSubfoldersMenuClick->trigger();
            break;
        }
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm),
            c.Question.empty() ? std::vector<std::string> {}
                               : std::vector<std::string> {c.Question})
            << c.Label;
        EXPECT_EQ(States(form), c.After) << c.Label;
        EXPECT_EQ(Modified(form), c.Modified) << c.Label;
        EXPECT_EQ(Counts(form), CheckedCountsCaption(*Finder)) << c.Label;
        FForm->close();
        FForm.reset();
    }
}

// ---- opening, locating, properties ----------------------------------------------------------

TEST_F(GridCommands, OpenAsksFirstWhenTheFileIsAProgram)
{
    struct TCase {
        const char* Label;
        const char* Name; // renamed to before opening
        unsigned Mode;
        std::vector<bool> Answers;
        bool Asked;
        bool Opened;
    };
    const std::vector<TCase> cases = {
        {"a document", "c.bin", 0644, {}, false, true},
        {"an executable, No", "c.bin", 0755, {false}, true, false},
        {"an executable, Yes", "c.bin", 0700, {true}, true, true},
        {"a desktop entry", "c.Desktop", 0644, {false}, true, false},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        FOpened.clear();
        TTestMainForm& form = OpenWithResults();
        TDImage* image = form.DupGrid->Record(7);
        ASSERT_EQ(
            std::rename(image->FullPath().c_str(), Path(std::string("z/") + c.Name).c_str()), 0);
        image->SetFullPath(Path(std::string("z/") + c.Name));
        FTree.SetMode(std::string("r/z/") + c.Name, c.Mode);
        for (const bool answer : c.Answers) {
            FQuestions.AnswerConfirm(answer);
        }
        Select(form, {7});
        form.OpenShellMenu->trigger();
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm).size(), c.Asked ? 1u : 0u)
            << c.Label;
        if (c.Asked) {
            EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkConfirm).front(),
                "This file is a program. Opening it runs it.\r\nDo you want to open it?");
        }
        EXPECT_EQ(FOpened,
            c.Opened ? std::vector<std::string> {"file://" + Path(std::string("z/") + c.Name)}
                     : std::vector<std::string> {})
            << c.Label;
        FForm->close();
        FForm.reset();
        std::remove(Path(std::string("z/") + c.Name).c_str());
        FTree.AddFile("r/z/c.bin", "content of group 3");
    }
}

TEST_F(GridCommands, LocateAndPropertiesAskTheFileManagerWithTheFilesUriOrFallBack)
{
    TPrivateSessionBus bus;
    ASSERT_FALSE(bus.Address.isEmpty()) << "dbus-daemon did not start";
    struct TCase {
        const char* Label;
        bool Properties;
        bool Served;
        std::vector<std::string> Requests;
        std::vector<std::string> Opened;
        bool Dialog;
    };
    const std::vector<TPut> files = {{1, "y/Été #1.txt", 0}, {1, "z/b.txt", 0}};
    const std::string uri = "file://" + Path("y/") + "%C3%89t%C3%A9%20%231.txt";
    const std::vector<TCase> cases = {
        {"locate, a file manager answers", false, true, {"ShowItems " + uri}, {}, false},
        {"locate, none answers: the folder opens", false, false, {}, {"file://" + Path("y/")},
            false},
        {"properties, a file manager answers", true, true, {"ShowItemProperties " + uri}, {},
            false},
        {"properties, none answers: our window", true, false, {}, {}, true},
    };
    int serial = 0;
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        FOpened.clear();
        TFakeFileManager fake;
        QDBusConnection service = bus.Connect(QStringLiteral("service %1").arg(++serial));
        if (c.Served) {
            ASSERT_TRUE(fake.Serve(service)) << c.Label;
        }
        SetFileManagerBus(bus.Connect(QStringLiteral("client %1").arg(serial)));
        TTestMainForm& form = OpenWithResults(files);
        FTree.SetMode("r/y/Été #1.txt", 0640);
        std::string name;
        std::string permissions;
        if (c.Dialog) {
            FQuestions.AnswerDialog([&](QObject* dialog) {
                auto& properties = *static_cast<TFilePropertiesForm*>(dialog);
                name = properties.FieldText("NameEdit").toStdString();
                permissions = properties.FieldText("PermissionsEdit").toStdString();
                return 0;
            });
        }
        Select(form, {0});
        (c.Properties ? form.PropertiesPopupMenu : form.ExploreFolderMenu)->trigger();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return !fake.Requests.empty() || !FOpened.empty() || !FQuestions.Asked().empty();
            },
            20000))
            << c.Label;
        std::vector<std::string> requests;
        for (const QString& request : fake.Requests) {
            requests.push_back(request.toStdString());
        }
        EXPECT_EQ(requests, c.Requests) << c.Label;
        EXPECT_EQ(FOpened, c.Opened) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog),
            c.Dialog ? std::vector<std::string> {"FilePropertiesForm"}
                     : std::vector<std::string> {})
            << c.Label;
        if (c.Dialog) {
            EXPECT_EQ(name, "Été #1.txt");
            EXPECT_EQ(permissions, "rw-r----- (0640)");
        }
        FForm->close();
        FForm.reset();
        service.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    }
}

TEST_F(GridCommands, WithoutABusLocateOpensTheFolder)
{
    TTestMainForm& form = OpenWithResults();
    Select(form, {5});
    form.ExploreFolderMenu->trigger();
    EXPECT_EQ(FOpened, std::vector<std::string> {"file://" + Path("x/")});
}

} // namespace
