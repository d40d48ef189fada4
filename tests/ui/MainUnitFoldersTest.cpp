#include "engine/DFinder.h"
#include "engine/Filter.h"
#include "engine/SettingsUnit.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/DialogTestSupport.h"
#include "tests/ui/MainFormFixture.h"
#include "toolkit/FolderCheckModel.h"
#include "ui/BrowseForFolderUnit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <string>
#include <vector>

using namespace dialog_tests;

namespace {

class MainFormFolders : public TMainFormTest {
protected:
    QTableWidget* Grid() { return Find<QTableWidget>("FoldersGrid"); }
    std::vector<std::string> Listed()
    {
        std::vector<std::string> list;
        for (int row = 0; row < Grid()->rowCount(); ++row) {
            list.push_back(Grid()->item(row, 2)->text().toStdString());
            EXPECT_EQ(Finder->Folders[std::size_t(row)].Folder, list.back()) << row;
        }
        EXPECT_EQ(Finder->Folders.size(), list.size());
        return list;
    }
    std::vector<int> SelectedRows()
    {
        std::vector<int> rows;
        for (int row = 0; row < Grid()->rowCount(); ++row) {
            if (Grid()->selectionModel()->isRowSelected(row, {})) {
                rows.push_back(row);
            }
        }
        return rows;
    }
    // The folder picker's answer: the folders are checked in its tree (none: the folder it
    // opened at stays selected), then it is closed the given way. The folder it opened at is
    // noted in FStarts.
    void AnswerPicker(const std::vector<std::string>& checked, TCloseWay way = cwOK)
    {
        FQuestions.AnswerDialog([this, checked, way](QObject* object) {
            auto* picker = qobject_cast<TBrowseForFoldersForm*>(object);
            EXPECT_NE(picker, nullptr);
            if (picker == nullptr) {
                return 0;
            }
            EXPECT_EQ(picker->parent(), FForm.get());
            FStarts.push_back(picker->SelectedPath());
            TFolderCheckProxy& model = picker->CheckModel();
            for (const std::string& folder : checked) {
                EXPECT_TRUE(model.setData(model.IndexOf(folder), Qt::Checked, Qt::CheckStateRole))
                    << folder;
            }
            return CloseBy(picker, way);
        });
    }
    // Adds the folders through the Add Folder button, checked together in the picker.
    void AddThroughPicker(const std::vector<std::string>& folders)
    {
        AnswerPicker(folders);
        Find<QAbstractButton>("AddFolderButton")->click();
    }

    std::vector<std::string> FStarts;
};

TEST_F(MainFormFolders, AddingAppendsTheFoldersPickedAndSelectsOneListedAlready)
{
    const std::string a = FTree.AddFolder("a");
    const std::string upperA = FTree.AddFolder("A");
    const std::string b = FTree.AddFolder("B");
    const std::string sub = FTree.AddFolder("a/sub");
    const std::string noSlash = a.substr(0, a.size() - 1);
    struct TCase {
        const char* Label;
        std::vector<std::string> Listed;
        std::vector<std::string> Checked;
        TCloseWay Way;
        std::vector<std::string> Expected;
        std::vector<int> Selected;
        std::string LastFolder; // "": as it was
    };
    const std::vector<TCase> cases = {
        {"two new ones, in the picker's order", {}, {b, a}, cwOK, {a, b}, {}, b},
        {"one listed without its trailing slash and a new one", {a}, {noSlash, b}, cwOK, {a, b},
            {0}, b},
        {"one listed and one differing from it in letter case", {a}, {a, upperA}, cwOK, {a, upperA},
            {0}, a},
        {"a folder inside a listed one is a row of its own", {a}, {sub}, cwOK, {a, sub}, {}, sub},
        {"cancelled", {a}, {b}, cwCancel, {a}, {}, ""},
        {"closed with Esc", {a}, {b}, cwEsc, {a}, {}, ""},
    };
    for (const TCase& c : cases) {
        Open();
        if (!c.Listed.empty()) {
            AddThroughPicker(c.Listed);
        }
        const std::string lastBefore = AppSettings.LastFolder;
        Grid()->clearSelection();
        AnswerPicker(c.Checked, c.Way);
        Find<QAbstractButton>("AddFolderButton")->click();
        EXPECT_EQ(Listed(), c.Expected) << c.Label;
        EXPECT_EQ(SelectedRows(), c.Selected) << c.Label;
        EXPECT_EQ(AppSettings.LastFolder, c.LastFolder.empty() ? lastBefore : c.LastFolder)
            << c.Label;
        for (const TFinderFolder& entry : Finder->Folders) {
            EXPECT_EQ(entry.Flags, 0) << c.Label;
        }
        EXPECT_EQ(
            FQuestions.AskedTexts(TScriptedQuestions::qkDialog).back(), "BrowseForFoldersForm")
            << c.Label;
        CloseForm();
    }
    EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(MainFormFolders, ThePickerStartsInTheLastFolderChosenElseTheLastListedElseAtHome)
{
    const std::string first = FTree.AddFolder("first");
    const std::string second = FTree.AddFolder("second");
    const std::string home = testing_support::TTestEnvironment::Home();
    auto withoutSlash = [](const std::string& folder) {
        return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1)
                                                         : folder;
    };
    Open();
    // An empty list and no folder chosen before, as New Project leaves it: the home folder.
    AnswerPicker({first, second});
    // The tool bar's button runs the same command.
    Find<QToolButton>("AddFolderToolButton")->click();
    // The last chosen folder exists: it is the start.
    AnswerPicker({}, cwCancel);
    Find<QAbstractButton>("AddFolderButton")->click();
    // It has gone: the last listed folder is the start.
    AppSettings.LastFolder = FTree.Path("vanished/");
    AnswerPicker({}, cwCancel);
    Find<QAbstractButton>("AddFolderButton")->click();
    AppSettings.LastFolder = first;
    AnswerPicker({}, cwCancel);
    Find<QAbstractButton>("AddFolderButton")->click();
    EXPECT_EQ(FStarts,
        (std::vector<std::string> {
            withoutSlash(home), withoutSlash(second), withoutSlash(second), withoutSlash(first)}));
    // Nothing checked: the folder the picker opened at is taken.
    AnswerPicker({});
    Find<QAbstractButton>("AddFolderButton")->click();
    EXPECT_EQ(Listed(), (std::vector<std::string> {first, second}));
    EXPECT_EQ(SelectedRows(), std::vector<int> {0});
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(MainFormFolders, RemovingSelectsTheRowThatMovedIntoTheTopmostPlace)
{
    std::vector<std::string> five;
    for (const char* name : {"f1", "f2", "f3", "f4", "f5"}) {
        five.push_back(FTree.AddFolder(name));
    }
    struct TCase {
        const char* Label;
        int Count;
        std::vector<int> Selected;
        std::vector<int> Kept;
        std::vector<int> SelectedAfter;
    };
    const std::vector<TCase> cases = {
        {"the last of three", 3, {2}, {0, 1}, {1}},
        {"the second and fourth of five", 5, {1, 3}, {0, 2, 4}, {1}},
        {"every row", 4, {0, 1, 2, 3}, {}, {}},
        {"nothing selected", 2, {}, {0, 1}, {}},
    };
    for (const TCase& c : cases) {
        TMainForm& form = Open();
        AddThroughPicker(std::vector<std::string>(five.begin(), five.begin() + c.Count));
        Grid()->clearSelection();
        for (int row : c.Selected) {
            Grid()->selectionModel()->select(Grid()->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        Find<QAbstractButton>("RemoveFolderButton")->click();
        std::vector<std::string> kept;
        for (int row : c.Kept) {
            kept.push_back(five[std::size_t(row)]);
        }
        EXPECT_EQ(Listed(), kept) << c.Label;
        EXPECT_EQ(SelectedRows(), c.SelectedAfter) << c.Label;
        (void)form;
        CloseForm();
    }
}

TEST_F(MainFormFolders, TheDeleteKeyRemovesAndTheBoxesSetTheFolderFlags)
{
    const std::string a = FTree.AddFolder("a");
    const std::string b = FTree.AddFolder("b");
    Open();
    AddThroughPicker({a, b});
    struct TCase {
        const char* Label;
        int Row, Column;
        Qt::CheckState State;
        std::int32_t FlagsA, FlagsB;
    };
    const std::vector<TCase> cases = {
        {"exclude b from autocheck", 1, 0, Qt::Checked, 0, 1},
        {"no self-scan for b", 1, 1, Qt::Checked, 0, 3},
        {"no self-scan for a", 0, 1, Qt::Checked, 2, 3},
        {"b back in the autocheck", 1, 0, Qt::Unchecked, 2, 2},
    };
    for (const TCase& c : cases) {
        Grid()->item(c.Row, c.Column)->setCheckState(c.State);
        EXPECT_EQ(Finder->Folders[0].Flags, c.FlagsA) << c.Label;
        EXPECT_EQ(Finder->Folders[1].Flags, c.FlagsB) << c.Label;
    }
    // The flags move with their folder when a row above goes.
    Grid()->selectRow(0);
    Grid()->setFocus();
    QTest::keyClick(Grid(), Qt::Key_Delete);
    EXPECT_EQ(Listed(), std::vector<std::string> {b});
    EXPECT_EQ(Finder->Folders[0].Flags, 2);
    EXPECT_EQ(Grid()->item(0, 1)->checkState(), Qt::Checked);
}

TEST_F(MainFormFolders, TheMethodDecidesTheSimilarityTheNameRuleAndTheAutocheckRule)
{
    struct TCase {
        const char* Label;
        int From, To;
        std::uint8_t RuleBefore;
        std::uint8_t RuleAfter;
        bool SpinEnabled;
        bool ExtensionsBoxEnabled;
    };
    const std::vector<TCase> cases = {
        {"names with longer paths to equal files", 2, 0, 8, 3, false, false},
        {"sizes with smaller sizes to equal files", 3, 0, 1, 3, false, false},
        {"bigger sizes", 1, 0, 2, 3, false, false},
        {"shorter paths", 2, 0, 7, 3, false, false},
        {"shorter names stay", 2, 0, 5, 5, false, false},
        {"no rule stays", 1, 0, 0, 0, false, false},
        {"similar files keep any rule", 0, 1, 8, 8, true, false},
        {"similar names", 0, 2, 1, 1, true, true},
        {"equal sizes", 2, 3, 2, 2, false, false},
    };
    for (const TCase& c : cases) {
        TMainForm& form = Open();
        auto* method = Find<QComboBox>("CompareMethod");
        auto* names = Find<QCheckBox>("DoNotCompareExt");
        method->setCurrentIndex(c.From);
        Q_EMIT method->activated(c.From);
        if (names->isEnabled()) {
            names->setChecked(true);
        }
        AppSettings.AutoCheckType = c.RuleBefore;
        method->setCurrentIndex(c.To);
        Q_EMIT method->activated(c.To);
        EXPECT_EQ(AppSettings.FindMode, c.To) << c.Label;
        EXPECT_EQ(AppSettings.AutoCheckType, c.RuleAfter) << c.Label;
        if (c.RuleAfter != c.RuleBefore) {
            EXPECT_EQ(Find<QComboBox>("AutoCheckCombo")->currentIndex(), 3) << c.Label;
            EXPECT_EQ(
                Find<QComboBox>("AutoCheckCombo")->toolTip(), QStringLiteral("Older file dates"))
                << c.Label;
            EXPECT_FALSE(Find<QWidget>("DateType")->isHidden()) << c.Label;
        }
        EXPECT_EQ(Find<QDoubleSpinBox>("SimilaritySpinEdit")->isEnabled(), c.SpinEnabled)
            << c.Label;
        EXPECT_EQ(names->isEnabled(), c.ExtensionsBoxEnabled) << c.Label;
        if (!c.ExtensionsBoxEnabled) {
            EXPECT_FALSE(names->isChecked()) << c.Label;
            EXPECT_FALSE(AppSettings.DoNotCompareExt) << c.Label;
        }
        (void)form;
        CloseForm();
    }
}

TEST_F(MainFormFolders, EveryOptionControlWritesItsOptionAtOnce)
{
    Open();
    Find<QCheckBox>("ScanSubFolders")->setChecked(false);
    EXPECT_FALSE(AppSettings.Recurse);
    Find<QCheckBox>("ScanEqualExtOnly")->setChecked(true);
    EXPECT_TRUE(AppSettings.ScanEqualExtOnly);
    auto* method = Find<QComboBox>("CompareMethod");
    method->setCurrentIndex(1);
    Q_EMIT method->activated(1);
    auto* spin = Find<QDoubleSpinBox>("SimilaritySpinEdit");
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("72.3"));
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_FLOAT_EQ(AppSettings.Similarity, 72.3f);
    auto* afterScan = Find<QComboBox>("AfterScan");
    afterScan->setCurrentIndex(6);
    Q_EMIT afterScan->activated(6);
    EXPECT_EQ(AppSettings.AfterScan, 6);
    // A drop-down list set from code does not run its handler.
    afterScan->setCurrentIndex(2);
    EXPECT_EQ(AppSettings.AfterScan, 6);
}

TEST_F(MainFormFolders, TheFilterButtonOpensTheFilterAndShowsWhetherItStaysOn)
{
    // Switching the filter on opens the dialog, which ticks the size rule and closes; Cancel
    // switches the filter off again, Esc and the close box leave it on, and only OK keeps the
    // rule.
    struct TCase {
        TCloseWay Way;
        bool On;
        const char* Caption;
        bool RuleKept;
    };
    const std::vector<TCase> cases = {
        {cwOK, true, "Filter is ON", true},
        {cwEsc, true, "Filter is ON", false},
        {cwCloseBox, true, "Filter is ON", false},
        {cwCancel, false, "Filter is OFF", false},
    };
    for (const TCase& c : cases) {
        const char* label = CloseWayName(c.Way);
        Open();
        AppSettings.Filter = TFilter();
        auto* button = Find<QToolButton>("FilterToolButton");
        FQuestions.AnswerDialog([this, &c, label, button](QObject* object) {
            auto* dialog = static_cast<QDialog*>(object);
            EXPECT_EQ(dialog->parent(), FForm.get()) << label;
            // The switch is on, and shown so, while the dialog is open.
            EXPECT_TRUE(AppSettings.Filter.EnableFilter) << label;
            EXPECT_TRUE(button->isChecked()) << label;
            EXPECT_EQ(button->text(), QStringLiteral("Filter is ON")) << label;
            Click(dialog, "DoNotMarkSmallerFileSize");
            return CloseBy(dialog, c.Way, "OKButton", "CancelButton", "ExtEdit");
        });
        button->click();
        EXPECT_EQ(FQuestions.AskedTexts(TScriptedQuestions::qkDialog).back(), "FilterForm")
            << label;
        EXPECT_EQ(AppSettings.Filter.EnableFilter, c.On) << label;
        EXPECT_EQ(button->isChecked(), c.On) << label;
        EXPECT_EQ(button->text().toStdString(), c.Caption) << label;
        EXPECT_EQ(AppSettings.Filter.FiltDoNotMarkSmallerFileSize, c.RuleKept) << label;
        CloseForm();
    }
    EXPECT_EQ(FQuestions.AnswersLeft(), 0u);
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(MainFormFolders, ThePressedFilterButtonSwitchesTheFilterOffWithoutADialog)
{
    Open();
    auto* button = Find<QToolButton>("FilterToolButton");
    FQuestions.AnswerDialog(
        [](QObject* dialog) { return CloseBy(static_cast<QDialog*>(dialog), cwOK); });
    button->click();
    ASSERT_TRUE(button->isChecked());
    const std::size_t asked = FQuestions.Asked().size();
    button->click();
    EXPECT_EQ(FQuestions.Asked().size(), asked);
    EXPECT_FALSE(AppSettings.Filter.EnableFilter);
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(button->text(), QStringLiteral("Filter is OFF"));
    // Switched on again and left on, it shows so at the next start.
    FQuestions.AnswerDialog(
        [](QObject* dialog) { return CloseBy(static_cast<QDialog*>(dialog), cwOK); });
    button->click();
    CloseForm();
    Open();
    EXPECT_EQ(Find<QToolButton>("FilterToolButton")->text(), QStringLiteral("Filter is ON"));
    EXPECT_TRUE(Find<QToolButton>("FilterToolButton")->isChecked());
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

} // namespace
