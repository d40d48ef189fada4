#include "engine/DFinder.h"
#include "engine/SettingsUnit.h"
#include "tests/ui/MainFormFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <string>
#include <vector>

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
    // Adds the folders through the Add Folder button, the picker answering each one.
    void AddThroughPicker(const std::vector<std::string>& folders)
    {
        for (const std::string& folder : folders) {
            FQuestions.AnswerFolder(folder);
            Find<QAbstractButton>("AddFolderButton")->click();
        }
    }
};

TEST_F(MainFormFolders, AddingAppendsNewFoldersAndSelectsOneListedAlready)
{
    const std::string a = FTree.AddFolder("a");
    const std::string b = FTree.AddFolder("B");
    TMainForm& form = Open();
    AddThroughPicker({a, b});
    EXPECT_EQ(Listed(), (std::vector<std::string> {a, b}));
    EXPECT_EQ(AppSettings.LastFolder, b);
    for (const TFinderFolder& entry : Finder->Folders) {
        EXPECT_EQ(entry.Flags, 0);
    }

    // Again, spelt without its trailing slash: nothing is added, its row is selected.
    Grid()->clearSelection();
    FQuestions.AnswerFolder(a.substr(0, a.size() - 1));
    form.AddFolderButtonClick();
    EXPECT_EQ(Listed(), (std::vector<std::string> {a, b}));
    EXPECT_EQ(SelectedRows(), std::vector<int> {0});
    // In another letter case it is another folder.
    const std::string upper = FTree.AddFolder("A");
    AddThroughPicker({upper});
    EXPECT_EQ(Listed(), (std::vector<std::string> {a, b, upper}));
    // The tool bar's button runs the same command; a cancelled picker changes nothing.
    FQuestions.AnswerFolder("");
    Find<QToolButton>("AddFolderToolButton")->click();
    EXPECT_EQ(Listed().size(), 3u);
    EXPECT_EQ(AppSettings.LastFolder, upper);
    EXPECT_EQ(FQuestions.Unexpected(), 0);
}

TEST_F(MainFormFolders, ThePickerStartsInTheLastFolderChosenElseTheLastListed)
{
    const std::string first = FTree.AddFolder("first");
    const std::string second = FTree.AddFolder("second");
    Open();
    AddThroughPicker({first, second});
    // The last chosen folder exists: it is the start.
    FQuestions.AnswerFolder("");
    Find<QAbstractButton>("AddFolderButton")->click();
    // It has gone: the last listed folder is the start.
    AppSettings.LastFolder = FTree.Path("vanished/");
    FQuestions.AnswerFolder("");
    Find<QAbstractButton>("AddFolderButton")->click();
    std::vector<std::string> starts;
    for (const auto& asked : FQuestions.Asked()) {
        starts.push_back(asked.Initial);
    }
    ASSERT_EQ(starts.size(), 4u);
    EXPECT_EQ(starts[2], second);
    EXPECT_EQ(starts[3], second);
    AppSettings.LastFolder = first;
    FQuestions.AnswerFolder("");
    Find<QAbstractButton>("AddFolderButton")->click();
    EXPECT_EQ(FQuestions.Asked().back().Initial, first);
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

TEST_F(MainFormFolders, TheFilterButtonSwitchesTheFilterAndSaysSo)
{
    Open();
    auto* button = Find<QToolButton>("FilterToolButton");
    struct TStep {
        bool On;
        const char* Caption;
    };
    const std::vector<TStep> steps = {
        {true, "Filter is ON"}, {false, "Filter is OFF"}, {true, "Filter is ON"}};
    for (const TStep& step : steps) {
        button->click();
        EXPECT_EQ(AppSettings.Filter.EnableFilter, step.On) << step.Caption;
        EXPECT_EQ(button->isChecked(), step.On) << step.Caption;
        EXPECT_EQ(button->text().toStdString(), step.Caption);
    }
    CloseForm();
    // A filter left on shows so at the next start.
    Open();
    EXPECT_EQ(Find<QToolButton>("FilterToolButton")->text(), QStringLiteral("Filter is ON"));
    EXPECT_TRUE(Find<QToolButton>("FilterToolButton")->isChecked());
}

} // namespace
