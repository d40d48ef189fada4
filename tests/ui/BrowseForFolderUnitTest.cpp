#include "ui/BrowseForFolderUnit.h"

#include "engine/RegistryAccess.h"
#include "engine/ZYGlobals.h"
#include "tests/ui/DialogTestSupport.h"
#include "toolkit/FolderCheckModel.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>

#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace dialog_tests;

namespace {

class BrowseForFolders : public TDialogTest {
protected:
    // Marks a folder in the picker's tree as the user's click would.
    static void SetChecked(QObject* dialog, const std::string& folder, bool checked)
    {
        auto& form = *static_cast<TBrowseForFoldersForm*>(dialog);
        TFolderCheckProxy& model = form.CheckModel();
        ASSERT_TRUE(model.setData(
            model.IndexOf(folder), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
    }
    static void ClearSelection(QObject* dialog)
    {
        Control<QTreeView>(dialog, "VET")->selectionModel()->clearSelection();
    }
};

TEST(CheckedFolders, AreReducedToTheTopmostExistingOnesInCaseFoldedOrder)
{
    testing_support::TTempTree tree;
    for (const char* folder : {"d/sub", "d2", "a", "a/c", "a b", "x/Foo", "x/foo", "B"}) {
        tree.AddFolder(folder);
    }
    tree.AddFile("file", "not a folder");
    const std::string r = tree.Root();
    struct TCase {
        const char* Label;
        std::vector<std::string> Checked;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"a folder and its subfolder", {r + "d", r + "d/sub"}, {r + "d"}},
        {"the subfolder given first", {r + "d/sub/", r + "d/"}, {r + "d"}},
        {"a folder and another that only begins like it", {r + "d", r + "d2"}, {r + "d", r + "d2"}},
        {"a name with a blank sorts between", {r + "a", r + "a b", r + "a/c"},
            {r + "a", r + "a b"}},
        {"a missing folder and a file are dropped", {r + "gone", r + "file", r + "d2"}, {r + "d2"}},
        {"two folders that differ in case", {r + "x/foo", r + "x/Foo"}, {r + "x/Foo", r + "x/foo"}},
        {"case folded first", {r + "d2", r + "B", r + "a"}, {r + "a", r + "B", r + "d2"}},
        {"duplicates", {r + "d2", r + "d2/"}, {r + "d2"}},
        {"the root holds everything", {r + "d", "/"}, {"/"}},
        {"nothing", {}, {}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ReduceCheckedFolders(c.Checked), c.Expected) << c.Label;
    }
}

TEST_F(BrowseForFolders, OkTakesTheCheckedFoldersElseTheSelectedOneElseSaysWhatIsMissing)
{
    const std::string data = FTree.AddFolder("data");
    const std::string sub = FTree.AddFolder("data/sub");
    const std::string music = FTree.AddFolder("music");
    const std::string noSlash = data.substr(0, data.size() - 1);
    struct TCase {
        const char* Label;
        std::function<void(QObject*)> Act;
        bool Accepted;
        std::vector<std::string> Folders;
        std::vector<std::string> Errors;
    };
    const std::vector<TCase> cases = {
        {"a checked folder and its checked subfolder",
            [&](QObject* d) {
                SetChecked(d, sub, true);
                SetChecked(d, data, true);
            },
            true, {noSlash}, {}},
        {"nothing checked: the selected folder",
            [&](QObject* d) { static_cast<TBrowseForFoldersForm*>(d)->SelectFolder(music); }, true,
            {music.substr(0, music.size() - 1)}, {}},
        {"nothing checked, nothing selected", [&](QObject* d) { ClearSelection(d); }, false, {},
            {"Please check or select at least one folder that you want to add."}},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        FQuestions.AnswerDialog([&c](QObject* dialog) {
            c.Act(dialog);
            Click(dialog, "OKButton");
            auto* form = static_cast<QDialog*>(dialog);
            // Still open: the test closes it.
            if (form->result() != QDialog::Accepted) {
                form->reject();
            }
            return form->result();
        });
        std::vector<std::string> folders;
        EXPECT_EQ(TBrowseForFoldersForm::Execute(nullptr, data, folders), c.Accepted) << c.Label;
        EXPECT_EQ(folders, c.Folders) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError), c.Errors) << c.Label;
    }
}

TEST_F(BrowseForFolders, OpensAtTheStartFolderOrTheHomeFolder)
{
    const std::string start = FTree.AddFolder("start/here");
    TBrowseForFoldersForm atHome;
    EXPECT_EQ(atHome.SelectedPath(), QDir::homePath().toStdString());
    TBrowseForFoldersForm atStart;
    atStart.SelectFolder(start);
    EXPECT_EQ(atStart.SelectedPath() + "/", start);
    EXPECT_EQ(Control<QLineEdit>(&atStart, "FolderEdit")->text().toStdString() + "/", start);
    // A path that names no folder leaves the tree as it is.
    atStart.SelectFolder(FTree.AddFile("start/file", "x"));
    atStart.SelectFolder("");
    EXPECT_EQ(atStart.SelectedPath() + "/", start);
}

TEST_F(BrowseForFolders, AFolderBeingTypedIsNotReplacedByTheTreesSelection)
{
    const std::string other = FTree.AddFolder("other");
    TBrowseForFoldersForm form;
    form.show();
    QApplication::setActiveWindow(&form);
    auto* edit = Control<QLineEdit>(&form, "FolderEdit");
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([edit] { return edit->hasFocus(); }));
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("/typed/so/far"));
    // The tree selects another folder (its folders loaded and sorted) while the user types.
    auto* tree = Control<QTreeView>(&form, "VET");
    tree->setCurrentIndex(form.CheckModel().IndexOf(other.substr(0, other.size() - 1)));
    EXPECT_EQ(edit->text(), QStringLiteral("/typed/so/far"));
    // A folder chosen in the tree itself still shows in the edit.
    tree->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([tree] { return tree->hasFocus(); }));
    form.SelectFolder(QDir::homePath().toStdString());
    EXPECT_EQ(edit->text(), QDir::homePath());
}

TEST_F(BrowseForFolders, AMixedFolderDoesNotEnableOkButAFullyCheckedOneOrASelectionDoes)
{
    const std::string only = FTree.AddFolder("parent/only");
    const std::string parent = FTree.Path("parent");
    TBrowseForFoldersForm form;
    auto* ok = Control<QPushButton>(&form, "OKButton");
    EXPECT_TRUE(ok->isEnabled());
    ClearSelection(&form);
    SetChecked(&form, parent, true);
    EXPECT_TRUE(ok->isEnabled());
    SetChecked(&form, only, false);
    EXPECT_EQ(form.CheckModel().data(form.CheckModel().IndexOf(parent), Qt::CheckStateRole),
        Qt::PartiallyChecked);
    EXPECT_FALSE(ok->isEnabled());
    form.SelectFolder(parent);
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(BrowseForFolders, EnterGoesToTheTypedFolderAndNeverConfirmsEscCancels)
{
    const std::string target = FTree.AddFolder("target");
    struct TCase {
        const char* Label;
        QString Typed;
        const char* KeyIn;
        std::vector<std::string> Errors;
        std::string Selected; // "" : the home folder stays selected
    };
    const std::vector<TCase> cases = {
        {"empty edit", QStringLiteral("  "), "FolderEdit", {}, ""},
        {"an existing folder", QString::fromStdString(target), "FolderEdit", {}, target},
        {"Enter on the focused OK button", QString::fromStdString(target), "OKButton", {}, target},
        {"Enter in the tree", QString::fromStdString(target), "VET", {}, target},
        {"a missing folder", QString::fromStdString(target + "gone"), "FolderEdit",
            {"Folder doesn't exist!"}, ""},
    };
    for (const TCase& c : cases) {
        FQuestions = TScriptedQuestions();
        TBrowseForFoldersForm form;
        form.show();
        Control<QLineEdit>(&form, "FolderEdit")->setText(c.Typed);
        QTest::keyClick(Control<QWidget>(&form, c.KeyIn), Qt::Key_Return);
        EXPECT_TRUE(form.isVisible()) << c.Label;
        EXPECT_NE(form.result(), QDialog::Accepted) << c.Label;
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkError), c.Errors) << c.Label;
        const std::string expected =
            c.Selected.empty() ? QDir::homePath().toStdString() + "/" : c.Selected;
        EXPECT_EQ(form.SelectedPath() + "/", expected) << c.Label;
        // Esc cancels, also from the edit.
        QTest::keyClick(Control<QWidget>(&form, "FolderEdit"), Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible()) << c.Label;
        EXPECT_EQ(form.result(), QDialog::Rejected) << c.Label;
    }
}

TEST_F(BrowseForFolders, ThePlacementIsStoredAtEveryCloseAndRestoredWhenMade)
{
    {
        TBrowseForFoldersForm form;
        form.setGeometry(120, 90, 520, 410);
        form.reject();
    }
    platform::TRegValue value;
    ASSERT_FALSE(FStore.ReadValue(RegistryRoot + "BrowseForm", "BrowseForFoldersForm", value));
    const auto record = DecodePlacementRecord(value);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Right - record->Left, 520);
    EXPECT_EQ(record->Bottom - record->Top, 410);
    TBrowseForFoldersForm again;
    EXPECT_EQ(again.size(), QSize(520, 410));
    EXPECT_GE(again.minimumWidth(), 280);
    EXPECT_GE(again.minimumHeight(), 150);
}

TEST_F(BrowseForFolders, TheSizeGripKeepsToTheBottomRightCorner)
{
    TBrowseForFoldersForm form;
    form.resize(400, 300);
    form.show();
    auto* panel = Control<QWidget>(&form, "BottomPanel");
    auto* grip = Control<QWidget>(&form, "SizeGrip");
    ASSERT_EQ(grip->parentWidget(), panel);
    for (const QSize size : {QSize(640, 480), QSize(300, 200)}) {
        form.resize(size);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return grip->geometry().bottomRight() == panel->rect().bottomRight(); }, 5000))
            << size.width();
        EXPECT_EQ(panel->width(), size.width());
    }
    EXPECT_EQ(grip->cursor().shape(), Qt::SizeFDiagCursor);
}

TEST_F(BrowseForFolders, HiddenFoldersAreShownAndTheTrashIsNot)
{
    const std::string dotted = FTree.AddFolder("shown/.dotted");
    FTree.AddFolder("shown/Old.zip.parts");
    const std::string trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() +
        "/Trash";
    QDir().mkpath(QString::fromStdString(trash));
    TBrowseForFoldersForm form;
    TFolderCheckProxy& model = form.CheckModel();
    form.SelectFolder(FTree.Path("shown"));
    const QPersistentModelIndex shown = model.IndexOf(FTree.Path("shown"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(shown) == 2; }, 10000));
    EXPECT_TRUE(model.IndexOf(dotted).isValid());
    EXPECT_TRUE(model.IsHidden(trash));
}

TEST_F(BrowseForFolders, TheFolderItOpensAtStaysInViewWhileTheTreeLoadsAndSorts)
{
    // Many folders that sort before the one opened at load after it was selected.
    for (int i = 0; i < 300; ++i) {
        FTree.AddFolder("many/a" + std::to_string(1000 + i));
    }
    const std::string target = FTree.AddFolder("many/zz/target");
    TBrowseForFoldersForm form;
    form.SelectFolder(target);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* tree = Control<QTreeView>(&form, "VET");
    TFolderCheckProxy& model = form.CheckModel();
    const QPersistentModelIndex many = model.IndexOf(FTree.Path("many"));
    const QPersistentModelIndex zz = model.IndexOf(FTree.Path("many/zz"));
    // Loaded and sorted: the last of the many.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model.rowCount(many) == 301 && zz.row() == 300; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QRect at = tree->visualRect(model.IndexOf(target));
            return at.isValid() && tree->viewport()->rect().contains(at);
        },
        5000));
    EXPECT_EQ(form.SelectedPath() + "/", target);
}

} // namespace

namespace {

// Runs the action on the modal dialog that the next question opens, from inside its event
// loop; a dialog the action leaves open is rejected, so a failing test cannot hang.
void OnNextModal(std::function<void(TBrowseForFoldersForm*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* form = qobject_cast<TBrowseForFoldersForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        action(form);
        if (form->isVisible()) {
            form->reject();
        }
    });
}

TEST_F(BrowseForFolders, TheProgramsFolderQuestionIsThePickerForOneFolder)
{
    const std::string target = FTree.AddFolder("target");
    const std::string outside = FTree.AddFolder("outside");
    TPickerQuestions questions;
    TScopedQuestions scope(questions);
    struct TCase {
        const char* Label;
        std::string Root;
        std::string Initial;
        std::string Typed; // "" : OK on what is selected
        bool Ok;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"a typed folder", "", "", target, true, target},
        {"the initial folder", "", outside, "", true, outside},
        {"cancelled", "", target, "", false, ""},
        {"an initial folder outside the root", target, outside, "", true, target},
    };
    for (const TCase& c : cases) {
        OnNextModal([&c](TBrowseForFoldersForm* form) {
            EXPECT_EQ(form->windowTitle(), QStringLiteral("Select target folder")) << c.Label;
            const QModelIndex shown = form->CheckModel().IndexOf(form->SelectedPath());
            EXPECT_FALSE(form->CheckModel().flags(shown) & Qt::ItemIsUserCheckable) << c.Label;
            if (!c.Typed.empty()) {
                auto* edit = Control<QLineEdit>(form, "FolderEdit");
                edit->setText(QString::fromStdString(c.Typed));
                QTest::keyClick(edit, Qt::Key_Return);
            }
            Click(form, c.Ok ? "OKButton" : "CancelButton");
        });
        EXPECT_EQ(::BrowseForFolder("Select target folder", c.Root, c.Initial), c.Expected)
            << c.Label;
    }
}

} // namespace
