// The controls the exclusion, quick-check and filter dialogs share: the extension check-list,
// the size and date rows, and the folder list.
#include "toolkit/DateRow.h"
#include "toolkit/ExtensionList.h"
#include "toolkit/FolderListBox.h"
#include "toolkit/SizeRow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Texts(const TExtCheckListBox& list)
{
    return list.Extensions();
}

// ---- extension check-list ------------------------------------------------------------------

TEST(ExtensionList, TheAddRuleTakesOnlyNewTrimmedStarDotPatternsWithoutBars)
{
    struct TCase {
        const char* Typed;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"*.JPG", {"*.jpg"}}, // listed already, letter case ignored
        {"jpg", {"*.jpg"}},
        {"*jpg", {"*.jpg"}},
        {".jpg", {"*.jpg"}},
        {"*.", {"*.jpg"}},
        {"", {"*.jpg"}},
        {"*.a|b", {"*.jpg"}}, // would come back as two items from the stored text
        {"  *.j ", {"*.jpg", "*.j"}},
        {"*.png", {"*.jpg", "*.png"}},
    };
    for (const TCase& c : cases) {
        TExtCheckListBox list;
        list.SetExtensions("*.jpg");
        list.AddExtension(QString::fromUtf8(c.Typed));
        EXPECT_EQ(Texts(list), c.Expected) << c.Typed;
        // What is added is added checked.
        EXPECT_EQ(list.CheckedText(), [&] {
            std::string joined;
            for (const std::string& item : c.Expected) {
                joined += (joined.empty() ? "" : "|") + item;
            }
            return joined;
        }()) << c.Typed;
    }
}

TEST(ExtensionList, ItemsAreCheckedFromTheirListAndOnlyCheckedOnesAreStored)
{
    TExtCheckListBox list;
    list.SetExtensions("*.a|*.B|*.c", {"*.b", "*.c"});
    EXPECT_EQ(Texts(list), (std::vector<std::string> {"*.a", "*.B", "*.c"}));
    EXPECT_EQ(list.CheckedText(), "*.B|*.c");
    list.item(2)->setCheckState(Qt::Unchecked);
    list.item(0)->setCheckState(Qt::Checked);
    EXPECT_EQ(list.CheckedText(), "*.a|*.B");
    for (int row = 0; row < list.count(); ++row) {
        list.item(row)->setCheckState(Qt::Unchecked);
    }
    EXPECT_EQ(list.CheckedText(), "");
}

TEST(ExtensionList, DelDeletesTheSelectedItemAndNothingWithoutASelection)
{
    TExtCheckListBox list;
    list.SetExtensions("*.a|*.b|*.c");
    list.setCurrentRow(1, QItemSelectionModel::NoUpdate);
    list.clearSelection();
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(list.count(), 3);
    list.setCurrentRow(1);
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(Texts(list), (std::vector<std::string> {"*.a", "*.c"}));
}

// ---- size row ------------------------------------------------------------------------------

struct TSizeControls {
    QCheckBox Box;
    QSpinBox Limit;
    QComboBox Unit;
    TSizeRow* Row = new TSizeRow(&Box, &Limit, &Unit);
};

TEST(SizeRow, StoredValuesAreShownWithoutBeingReportedAndKeptUntilTheUserChangesThem)
{
    struct TCase {
        const char* Label;
        std::int64_t Stored;
        int Shown;
    };
    const std::vector<TCase> cases = {
        {"a limit above the spin box's first range", 500, 500},
        {"the largest 32-bit limit", 2147483647, 2147483647},
        {"a limit beyond 32 bits", 3000000000LL, 2147483647},
        {"a negative limit", -5, 0},
    };
    for (const TCase& c : cases) {
        TSizeControls controls;
        QSignalSpy toggled(controls.Row, &TSizeRow::Toggled);
        QSignalSpy limits(controls.Row, &TSizeRow::LimitChanged);
        QSignalSpy units(controls.Row, &TSizeRow::UnitChanged);
        controls.Row->Fill(true, c.Stored, 2);
        EXPECT_EQ(controls.Limit.value(), c.Shown) << c.Label;
        EXPECT_EQ(controls.Row->Limit(), c.Stored) << c.Label;
        EXPECT_EQ(controls.Unit.currentText(), QStringLiteral("MBytes")) << c.Label;
        EXPECT_EQ(toggled.count() + limits.count() + units.count(), 0) << c.Label;

        controls.Limit.setValue(700);
        EXPECT_EQ(controls.Row->Limit(), 700) << c.Label;
        ASSERT_EQ(limits.count(), 1) << c.Label;
        EXPECT_EQ(limits.at(0).at(0).value<std::int64_t>(), 700) << c.Label;
    }
}

TEST(SizeRow, TheLimitAndItsUnitAreEnabledExactlyWhileTheBoxIsChecked)
{
    TSizeControls controls;
    QSignalSpy toggled(controls.Row, &TSizeRow::Toggled);
    controls.Row->Fill(false, 10, 1);
    EXPECT_FALSE(controls.Limit.isEnabled());
    EXPECT_FALSE(controls.Unit.isEnabled());
    controls.Box.click();
    EXPECT_TRUE(controls.Limit.isEnabled());
    EXPECT_TRUE(controls.Unit.isEnabled());
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_TRUE(toggled.at(0).at(0).toBool());
    EXPECT_EQ(controls.Unit.count(), 3);
}

// ---- date row ------------------------------------------------------------------------------

struct TDateControls {
    QCheckBox Box;
    QDateEdit Date;
    QComboBox Kind;
    TDateRow* Row;
    explicit TDateControls(const QString& format)
        : Row(new TDateRow(&Box, &Date, &Kind, format))
    { }
};

TEST(DateRow, TheKindNamesTheBoxAndIsReportedAsItsIndex)
{
    struct TCase {
        const char* Format;
        int Kind;
        const char* Caption;
    };
    const std::vector<TCase> cases = {
        {"%1 before:", 0, "Created before:"},
        {"%1 before:", 1, "Modified before:"},
        {"%1 before:", 2, "Accessed before:"},
        {"%1 after:", 2, "Accessed after:"},
    };
    for (const TCase& c : cases) {
        TDateControls controls(QString::fromUtf8(c.Format));
        // A stored kind shows its caption at once, unreported.
        QSignalSpy kinds(controls.Row, &TDateRow::KindChanged);
        controls.Row->Fill(true, 40000.0, std::uint8_t(c.Kind));
        EXPECT_EQ(controls.Box.text(), QString::fromUtf8(c.Caption));
        EXPECT_EQ(kinds.count(), 0);
        // The user's choice renames the box and is reported.
        controls.Row->Fill(true, 40000.0, std::uint8_t((c.Kind + 1) % 3));
        controls.Kind.setCurrentIndex(c.Kind);
        EXPECT_EQ(controls.Box.text(), QString::fromUtf8(c.Caption));
        ASSERT_EQ(kinds.count(), 1);
        EXPECT_EQ(kinds.at(0).at(0).value<std::uint8_t>(), c.Kind);
        EXPECT_EQ(controls.Row->Kind(), c.Kind);
    }
}

TEST(DateRow, ADateTheUserDidNotTouchKeepsItsTimeOfDayAndAPickedDateKeepsItToo)
{
    TDateControls controls(QStringLiteral("%1 after:"));
    QSignalSpy dates(controls.Row, &TDateRow::DateChanged);
    const double stored = 45000.75; // 2023-03-15 18:00
    controls.Row->Fill(true, stored, 1);
    EXPECT_EQ(controls.Date.date(), QDate(2023, 3, 15));
    controls.Kind.setCurrentIndex(2);
    controls.Box.setChecked(false);
    EXPECT_EQ(controls.Row->Date(), stored);
    EXPECT_EQ(dates.count(), 0);

    controls.Date.setDate(QDate(2023, 3, 16));
    EXPECT_DOUBLE_EQ(controls.Row->Date(), 45001.75);
    ASSERT_EQ(dates.count(), 1);
    EXPECT_DOUBLE_EQ(dates.at(0).at(0).toDouble(), 45001.75);
}

TEST(DateRow, DateTimesBeforeTheEpochSplitIntoTheirDayAndTimeOfDay)
{
    struct TCase {
        double DateTime;
        QDate Date;
    };
    const std::vector<TCase> cases = {
        {0.0, QDate(1899, 12, 30)},
        {0.999, QDate(1899, 12, 30)},
        {-0.25, QDate(1899, 12, 29)},
        {-1.25, QDate(1899, 12, 28)},
        {45000.5, QDate(2023, 3, 15)},
        {std::numeric_limits<double>::quiet_NaN(), QDate(1899, 12, 30)},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(DateOfDateTime(c.DateTime), c.Date) << c.DateTime;
        if (!std::isnan(c.DateTime)) {
            EXPECT_DOUBLE_EQ(WithDate(c.DateTime, c.Date), c.DateTime) << c.DateTime;
        }
    }
}

// ---- folder list ---------------------------------------------------------------------------

std::vector<std::string> Folders(int count)
{
    std::vector<std::string> folders;
    for (int i = 1; i <= count; ++i) {
        folders.push_back("/f" + std::to_string(i) + "/");
    }
    return folders;
}

TEST(FolderListBox, RemovingSelectsTheItemNowAtTheTopmostRemovedPlace)
{
    struct TCase {
        const char* Label;
        int Count;
        std::vector<int> Selected;
        std::vector<std::string> Left;
        std::string SelectedAfter;
    };
    const std::vector<TCase> cases = {
        {"the last of three", 3, {2}, {"/f1/", "/f2/"}, "/f2/"},
        {"the second and third of five", 5, {1, 2}, {"/f1/", "/f4/", "/f5/"}, "/f4/"},
        {"the second and fourth of five", 5, {1, 3}, {"/f1/", "/f3/", "/f5/"}, "/f3/"},
        {"every item", 3, {0, 1, 2}, {}, ""},
        {"nothing selected", 3, {}, {"/f1/", "/f2/", "/f3/"}, ""},
    };
    for (const TCase& c : cases) {
        for (bool byKey : {false, true}) {
            TFolderListBox list;
            list.SetFolders(Folders(c.Count));
            for (int row : c.Selected) {
                list.item(row)->setSelected(true);
            }
            if (byKey) {
                QTest::keyClick(&list, Qt::Key_Delete);
            } else {
                list.RemoveSelected();
            }
            EXPECT_EQ(list.Folders(), c.Left) << c.Label;
            const QList<QListWidgetItem*> selected = list.selectedItems();
            const std::string after =
                selected.size() == 1 ? selected.first()->text().toStdString() : std::string();
            EXPECT_LE(selected.size(), 1) << c.Label;
            EXPECT_EQ(after, c.SelectedAfter) << c.Label;
        }
    }
}

TEST(FolderListBox, FoldersCompareExactlyAndGetATrailingSlash)
{
    TFolderListBox list;
    struct TCase {
        const char* Folder;
        bool Added;
    };
    const std::vector<TCase> cases = {
        {"/x/Photos", true},
        {"/x/photos/", true}, // another folder on this system
        {"/x/Photos/", false},
        {"/data", true},
        {"/data2", true},
        {"/data/", false},
        {"", false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(list.AddFolder(c.Folder), c.Added) << c.Folder;
    }
    EXPECT_EQ(list.Folders(),
        (std::vector<std::string> {"/x/Photos/", "/x/photos/", "/data/", "/data2/"}));
}

TEST(FolderListBox, AnItemTooLongForTheListShowsInFullAsItsToolTip)
{
    TFolderListBox list;
    const std::string longFolder = "/" + std::string(200, 'a') + "/";
    list.SetFolders({"/s/", longFolder});
    list.resize(160, 120);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QPoint shortItem = list.visualItemRect(list.item(0)).center();
    const QPoint longItem = list.visualItemRect(list.item(1)).center();
    EXPECT_EQ(list.ToolTipAt(shortItem), QString());
    EXPECT_EQ(list.ToolTipAt(longItem), QString::fromStdString(longFolder));
    EXPECT_EQ(list.ToolTipAt(QPoint(5, list.viewport()->height() - 2)), QString());
}

} // namespace
