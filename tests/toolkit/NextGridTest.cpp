#include "toolkit/NextGrid.h"

#include "engine/DFinder.h"
#include "engine/SettingsUnit.h"
#include "tests/support/ResultsBuilder.h"
#include "toolkit/NextGridDelegates.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCollator>
#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testing_support::AddResultGroup;
using testing_support::FileTimeOfUnixMs;
using testing_support::TResultFile;

TResultFile File(const std::string& name, std::int64_t size = 1, std::uint8_t checkState = 0)
{
    TResultFile file;
    file.Name = name;
    file.Size = size;
    file.CheckState = checkState;
    return file;
}

constexpr std::int64_t GB = 1024LL * 1024 * 1024;

// A finder with results, a grid showing them and the options the grid reads.
class GridTest : public ::testing::Test {
protected:
    GridTest()
    {
        Settings.PreserveGroupOrder = false;
        Grid.SetSettings(&Settings);
        Grid.resize(900, 300);
    }

    void Fill() { Grid.SetRows(ListGridRows(Finder), Finder.Files.Count()); }

    // The file names of the rows, top to bottom, joined by blanks.
    std::string Names() const
    {
        std::string names;
        for (std::int32_t row = 0; row < Grid.RowCount(); ++row) {
            names += (row > 0 ? " " : "") + Grid.Record(row)->FileName;
        }
        return names;
    }

    // A point inside the cell, in the viewport's coordinates.
    QPoint CellCentre(int row, int column) const
    {
        return Grid.visualRect(Grid.Model().index(row, column)).center();
    }

    void ClickHeader(int column)
    {
        QHeaderView* header = Grid.horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    TDFinder Finder;
    TSettings Settings = TSettings::Defaults();
    TNextGrid Grid;
};

TEST(ListGridRows, GivesGroupsInOrderWithAlternatingBandsSkippingEmptyGroups)
{
    TDFinder finder;
    AddResultGroup(finder, {File("a"), File("b")});
    AddResultGroup(finder, {});
    AddResultGroup(finder, {File("c")});
    AddResultGroup(finder, {File("d"), File("e")});
    const std::vector<TGridRow> rows = ListGridRows(finder);
    std::string seen;
    for (const TGridRow& row : rows) {
        seen +=
            row.Image->FileName + std::to_string(row.GroupNumber) + std::to_string(row.Band) + " ";
    }
    EXPECT_EQ(seen, "a10 b10 c31 d40 e40 ");
}

TEST_F(GridTest, ModelPassesTheItemModelTesterThroughFillSortCheckAndClear)
{
    AddResultGroup(Finder, {File("b", 3, 2), File("a", 5)});
    AddResultGroup(Finder, {File("c", 1, 1), File("d", 1)});
    QAbstractItemModelTester tester(
        &Grid.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Fill();
    for (int column = 0; column < DupGridColumnCount; ++column) {
        Grid.Model().SortRows(column, column % 2 == 1);
    }
    Grid.Model().setData(Grid.Model().index(1, CheckBoxColumn), Qt::Checked, Qt::CheckStateRole);
    Grid.Model().SetSimilarityBounds(90, 99);
    Grid.RefreshChecks();
    Grid.ClearRows();
    EXPECT_EQ(Grid.Model().rowCount(), 0);
}

TEST_F(GridTest, RemovingRowsKeepsTheOthersInOrderWithTheirGroups)
{
    AddResultGroup(Finder, {File("a"), File("b"), File("c")});
    AddResultGroup(Finder, {File("d"), File("e")});
    QAbstractItemModelTester tester(
        &Grid.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Fill();
    Grid.SelectRow(1);
    const auto named = [](const char* names) {
        return [names](TDImage* image) {
            return std::string(names).find(image->FileName) != std::string::npos;
        };
    };
    EXPECT_EQ(Grid.RemoveRowsIf(named("xyz")), 0);
    EXPECT_EQ(Grid.SelectedRow(), 1) << "nothing removed, nothing reset";
    EXPECT_EQ(Grid.RemoveRowsIf(named("ad")), 2);
    EXPECT_EQ(Names(), "b c e");
    EXPECT_EQ(Grid.GroupNumber(0), 1);
    EXPECT_EQ(Grid.GroupNumber(2), 2);
    EXPECT_EQ(Grid.SelectedRow(), -1);
    EXPECT_EQ(Grid.RemoveRowsIf(named("bce")), 3);
    EXPECT_EQ(Grid.RowCount(), 0);
}

TEST_F(GridTest, CellsShowTheRecordsFields)
{
    struct TCase {
        float Similarity;
        const char* Shown;
    };
    // The similarity is the whole percentage by the one rule of the results; 0 (not worked out)
    // is 100.
    const std::vector<TCase> cases = {{0.0f, "100"}, {1.0f, "100"}, {0.9f, "90"}, {0.95f, "95"},
        {0.29f, "29"}, {0.999f, "99"}, {0.5f, "50"}};
    std::vector<TResultFile> files;
    for (const TCase& c : cases) {
        TResultFile file = File("n", 1340, 1);
        file.Similarity = c.Similarity;
        files.push_back(file);
    }
    AddResultGroup(Finder, {File("x")});
    AddResultGroup(Finder, files);
    Fill();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const std::int32_t row = std::int32_t(i) + 1;
        EXPECT_EQ(Grid.Model().CellText(row, SimilarityColumn).toStdString(), cases[i].Shown);
    }
    const TNextGridModel& model = Grid.Model();
    EXPECT_EQ(model.CellText(1, FileNameColumn), QStringLiteral("n"));
    EXPECT_EQ(model.CellText(1, FolderColumn), QStringLiteral("/d/"));
    EXPECT_EQ(model.CellText(1, FileSizeColumn), QStringLiteral("1.30 KB"));
    EXPECT_EQ(model.CellText(1, GroupColumn), QStringLiteral("2"));
    EXPECT_EQ(model.data(model.index(1, CheckBoxColumn), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(
        model.data(model.index(0, CheckBoxColumn), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model.data(model.index(0, FileSizeColumn), Qt::TextAlignmentRole).toInt(),
        int(Qt::AlignRight | Qt::AlignVCenter));
}

TEST_F(GridTest, SortsRowsByEachColumnWhenGroupsAreNotKeptTogether)
{
    auto timed = [](const std::string& name, std::int64_t unixMs) {
        TResultFile file = File(name);
        file.Created = FileTimeOfUnixMs(unixMs);
        file.Modified = FileTimeOfUnixMs(-unixMs);
        file.Accessed = FileTimeOfUnixMs(unixMs);
        return file;
    };
    TResultFile big = File("Big", 5 * GB, 2);
    big.Similarity = 0.0f; // counts as 100
    TResultFile mid = File("mid", 3 * GB);
    mid.Similarity = 0.9f;
    TResultFile small = File("small", 3);
    small.Similarity = 1.0f;
    TResultFile tiny = File("Tiny", 2, 1);
    tiny.Similarity = 0.95f;
    AddResultGroup(Finder, {big, mid});
    AddResultGroup(Finder, {small, tiny});
    AddResultGroup(Finder, {timed("t3", 3000), timed("t1", 1000), timed("t2", 1000)});
    // Times equal to the millisecond keep their order.
    struct TCase {
        int Column;
        bool Descending;
        const char* Expected;
    };
    const std::vector<TCase> cases = {
        {CheckBoxColumn, false, "mid small t3 t1 t2 Tiny Big"},
        {FileNameColumn, false, "Big mid small t1 t2 t3 Tiny"},
        {FileNameColumn, true, "Tiny t3 t2 t1 small mid Big"},
        {FileSizeColumn, false, "t3 t1 t2 Tiny small mid Big"},
        {FileSizeColumn, true, "Big mid small Tiny t3 t1 t2"},
        {CreatedColumn, false, "t1 t2 t3 Big mid small Tiny"},
        {ModifiedColumn, false, "t3 t1 t2 Big mid small Tiny"},
        {SimilarityColumn, false, "mid Tiny Big small t3 t1 t2"},
        {SimilarityColumn, true, "Big small t3 t1 t2 Tiny mid"},
        {GroupColumn, true, "t3 t1 t2 small Tiny Big mid"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Column);
        Fill();
        Grid.SortByColumn(c.Column, c.Descending);
        EXPECT_EQ(Names(), c.Expected);
        EXPECT_EQ(Grid.SortedColumn(), c.Column);
        EXPECT_EQ(Grid.SortedDescending(), c.Descending);
    }
}

TEST_F(GridTest, ALargeSortByNameFollowsTheCollationAndKeepsTiesInOrder)
{
    // Enough distinct names that their collation keys are made on several threads.
    std::vector<TResultFile> files;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 60000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        std::string name;
        for (int letter = 0; letter < 3; ++letter) {
            const std::uint32_t pick = (seed >> (8 * letter)) % 52;
            name += char(pick < 26 ? 'a' + pick : 'A' + pick - 26);
        }
        files.push_back(File(name + std::to_string(seed % 7) + ".txt", i));
    }
    AddResultGroup(Finder, files);
    Fill();
    Grid.SortByColumn(FileNameColumn, false);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const bool plain = collator.locale().language() == QLocale::C;
    auto key = [&](std::int32_t row) {
        const QString name = QString::fromStdString(Grid.Record(row)->FileName);
        return plain ? name.toCaseFolded() : name;
    };
    int disorders = 0;
    for (std::int32_t row = 1; row < Grid.RowCount(); ++row) {
        const int order = collator.compare(key(row - 1), key(row));
        // Equal names keep their fill order, which the sizes record.
        if (order > 0 || (order == 0 && Grid.Record(row - 1)->Size > Grid.Record(row)->Size)) {
            ++disorders;
        }
    }
    EXPECT_EQ(disorders, 0);
}

TEST_F(GridTest, WithGroupOrderKeptAHeaderClickSortsTheFindersGroupsAndKeepsChecks)
{
    Settings.PreserveGroupOrder = true;
    AddResultGroup(Finder, {File("b", 3 * GB, 2), File("a", 3 * GB, 1)});
    AddResultGroup(Finder, {File("d", 5 * GB), File("c", 5 * GB, 2)});
    AddResultGroup(Finder, {File("e", 1), File("f", 1)});
    Fill();
    Grid.show();
    std::vector<std::pair<int, bool>> requests;
    QObject::connect(&Grid, &TNextGrid::AfterSort, [&](int column, bool descending) {
        requests.emplace_back(column, descending);
        Finder.SortGroups(std::uint8_t(column), descending);
        Fill();
    });

    ClickHeader(FileSizeColumn);
    EXPECT_EQ(Names(), "e f b a d c");
    ClickHeader(FileSizeColumn);
    EXPECT_EQ(Names(), "d c b a e f");
    ClickHeader(FileNameColumn);
    EXPECT_EQ(Names(), "a b c d e f");
    const std::vector<std::pair<int, bool>> expected = {
        {FileSizeColumn, false}, {FileSizeColumn, true}, {FileNameColumn, false}};
    EXPECT_EQ(requests, expected);
    std::string states;
    for (std::int32_t row = 0; row < Grid.RowCount(); ++row) {
        states += char('0' + Grid.Record(row)->CheckState);
    }
    EXPECT_EQ(states, "122000");

    // The check-box column's header does not sort, and the indicator stays where it was.
    ClickHeader(CheckBoxColumn);
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_EQ(Grid.SortedColumn(), FileNameColumn);
}

TEST_F(GridTest, ResortingSortsAgainAndTheCheckBoxColumnGivesWayToTheName)
{
    AddResultGroup(Finder, {File("b", 2, 2), File("a", 1), File("c", 3, 1)});
    Fill();
    Grid.ResortResults();
    EXPECT_EQ(Names(), "b a c");
    Grid.SortByColumn(CheckBoxColumn, false);
    EXPECT_EQ(Names(), "a c b");
    Grid.ResortResults();
    EXPECT_EQ(Grid.SortedColumn(), FileNameColumn);
    EXPECT_EQ(Names(), "a b c");
    Grid.SortByColumn(FileSizeColumn, true);
    Fill();
    Grid.ResortResults();
    EXPECT_EQ(Names(), "c b a");
}

TEST_F(GridTest, SortingKeepsTheCurrentFileCurrent)
{
    AddResultGroup(Finder, {File("b", 2), File("a", 1), File("c", 3)});
    Fill();
    Grid.SelectRow(0);
    Grid.SortByColumn(FileSizeColumn, false);
    EXPECT_EQ(Grid.SelectedRow(), 1);
    EXPECT_EQ(Grid.Record(1)->FileName, "b");
}

TEST_F(GridTest, PaintsBandsHandCheckTintsSortShadeAndBold)
{
    Settings.ShowUserCheckedColor = true;
    Settings.ShowUserCheckedBold = true;
    AddResultGroup(Finder, {File("WWWW", 1, 2), File("WWWW", 1, 1), File("WWWW", 1, 0)});
    AddResultGroup(Finder, {File("WWWW", 1, 2), File("WWWW", 1, 0)});
    Fill();
    Grid.show();
    const QImage image = Grid.viewport()->grab().toImage();
    // A pixel near the right end of a cell, where no text reaches.
    auto colourAt = [&](int row, int column) {
        const QRect cell = Grid.visualRect(Grid.Model().index(row, column));
        return QColor(image.pixel(cell.right() - 3, cell.center().y())).toRgb();
    };
    struct TCase {
        int Row;
        QColor Expected;
    };
    const std::vector<TCase> cases = {
        {0, QColor(201, 213, 201)}, // checked by hand, first group
        {1, QColor(224, 224, 224)}, // checked by the rule: the band alone
        {2, QColor(224, 224, 224)},
        {3, QColor(183, 195, 198)}, // checked by hand, second group
        {4, QColor(204, 204, 221)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Row);
        for (int column : {CheckBoxColumn, FileNameColumn, FolderColumn, GroupColumn}) {
            SCOPED_TRACE(column);
            EXPECT_EQ(colourAt(c.Row, column), c.Expected);
        }
    }

    // Bold type in every column but the check box and "Accessed", for hand checks only: the
    // same text takes more ink (measured without the tint, which shifts the edges' shades).
    Settings.ShowUserCheckedColor = false;
    const QImage untinted = Grid.viewport()->grab().toImage();
    auto inkIn = [&](const QImage& picture, int row, int column) {
        const QRect cell = Grid.visualRect(Grid.Model().index(row, column));
        int ink = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                ink += qGray(picture.pixel(x, y)) < 128 ? 1 : 0;
            }
        }
        return ink;
    };
    EXPECT_GT(inkIn(untinted, 0, FolderColumn), inkIn(untinted, 2, FolderColumn));
    EXPECT_GT(inkIn(untinted, 0, GroupColumn), inkIn(untinted, 2, GroupColumn));
    EXPECT_EQ(inkIn(untinted, 1, FolderColumn), inkIn(untinted, 2, FolderColumn));
    EXPECT_EQ(inkIn(untinted, 0, AccessedColumn), inkIn(untinted, 2, AccessedColumn));
    Settings.ShowUserCheckedColor = true;

    // The sorted column is shaded darker: Blend(black, band, 15).
    Grid.SortByColumn(GroupColumn, false);
    const QImage sorted = Grid.viewport()->grab().toImage();
    const QRect cell = Grid.visualRect(Grid.Model().index(2, GroupColumn));
    EXPECT_EQ(
        QColor(sorted.pixel(cell.right() - 3, cell.center().y())).toRgb(), QColor(210, 210, 210));

    // With the options off, no tint and no bold.
    Settings.ShowUserCheckedColor = false;
    Settings.ShowUserCheckedBold = false;
    Grid.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    const QImage plain = Grid.viewport()->grab().toImage();
    const QRect folder = Grid.visualRect(Grid.Model().index(0, FolderColumn));
    EXPECT_EQ(QColor(plain.pixel(folder.right() - 3, folder.center().y())).toRgb(),
        QColor(224, 224, 224));
    EXPECT_EQ(inkIn(plain, 0, FolderColumn), inkIn(plain, 2, FolderColumn));
}

TEST_F(GridTest, GroupKeysSelectTheFirstFileOfTheNextOrPreviousGroupWithinTheRows)
{
    // Groups kept together: rows a1 a2 a3 | b1 b2 | c1 c2.
    AddResultGroup(Finder, {File("a1", 5), File("a2", 1), File("a3", 9)});
    AddResultGroup(Finder, {File("b1", 3), File("b2", 2)});
    AddResultGroup(Finder, {File("c1", 7), File("c2", 8)});
    struct TCase {
        const char* Label;
        int SortColumn; // -1: the fill's order
        std::int32_t From;
        Qt::Key Key;
        const char* Expected;
    };
    const std::vector<TCase> cases = {
        {"Right from the first group", -1, 1, Qt::Key_Right, "b1"},
        {"F from the middle group", -1, 4, Qt::Key_F, "c1"},
        {"Right in the last group: the last row", -1, 5, Qt::Key_Right, "c2"},
        {"Left from the last group", -1, 6, Qt::Key_Left, "b1"},
        {"B from the middle group's first file", -1, 3, Qt::Key_B, "a1"},
        {"Left in the first group: row 0", -1, 2, Qt::Key_Left, "a1"},
        // Sorted by size the groups mix: a2 b2 b1 a1 c1 c2 a3.
        {"mixed: Right finds the next first member", FileSizeColumn, 0, Qt::Key_Right, "b1"},
        {"mixed: Left finds the previous group's first member", FileSizeColumn, 3, Qt::Key_Left,
            "b1"},
        {"mixed: Left stops at row 0 when the first member lies below", FileSizeColumn, 1,
            Qt::Key_Left, "a2"},
        {"mixed: Right stops at the last row", FileSizeColumn, 5, Qt::Key_Right, "a3"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        Fill();
        if (c.SortColumn >= 0) {
            Grid.SortByColumn(c.SortColumn, false);
        }
        Grid.SelectRow(c.From);
        QTest::keyClick(&Grid, c.Key);
        ASSERT_GE(Grid.SelectedRow(), 0);
        EXPECT_EQ(Grid.Record(Grid.SelectedRow())->FileName, c.Expected);
        EXPECT_EQ(Grid.SelectedRows().size(), 1u);
    }
}

TEST_F(GridTest, SpaceTheCheckBoxAndUncheckingAGroupReportAChange)
{
    AddResultGroup(Finder, {File("a1", 1, 1), File("a2", 1, 2), File("a3", 1, 0)});
    AddResultGroup(Finder, {File("b1", 1, 2), File("b2", 1, 1)});
    Fill();
    Grid.show();
    QSignalSpy changes(&Grid, &TNextGrid::Change);
    auto states = [&] {
        std::string text;
        for (std::int32_t row = 0; row < Grid.RowCount(); ++row) {
            text += char('0' + Grid.Record(row)->CheckState);
        }
        return text;
    };

    // Nothing selected: the keys do nothing.
    QTest::keyClick(&Grid, Qt::Key_Space);
    EXPECT_FALSE(Grid.UncheckSelectedGroup());
    EXPECT_EQ(changes.count(), 0);

    Grid.SelectRow(2);
    QTest::keyClick(&Grid, Qt::Key_Space);
    EXPECT_EQ(states(), "12221");
    QTest::keyClick(&Grid, Qt::Key_Space);
    EXPECT_EQ(states(), "12021");
    Grid.SelectRow(0);
    QTest::keyClick(&Grid, Qt::Key_Space);
    EXPECT_EQ(states(), "02021");
    EXPECT_EQ(changes.count(), 3);

    const QRect box = TCheckBoxCellDelegate::BoxRect([&] {
        QStyleOptionViewItem option;
        option.initFrom(&Grid);
        option.rect = Grid.visualRect(Grid.Model().index(4, CheckBoxColumn));
        return option;
    }());
    // A box checked by the rule is on: a click clears it, the next one checks it by hand.
    QTest::mouseClick(Grid.viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(Grid.Record(4)->CheckState, 0);
    QTest::mouseClick(Grid.viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(Grid.Record(4)->CheckState, 2);
    ASSERT_EQ(changes.count(), 5);
    EXPECT_EQ(changes.at(4).at(0).toInt(), CheckBoxColumn);
    EXPECT_EQ(changes.at(4).at(1).toInt(), 4);

    Grid.SelectRow(1);
    EXPECT_TRUE(Grid.UncheckSelectedGroup());
    EXPECT_EQ(states(), "00022");
    EXPECT_EQ(changes.count(), 6);
}

TEST_F(GridTest, EnterAndDoubleClickAskForThePreviewAndCtrlASelectsAll)
{
    AddResultGroup(Finder, {File("a"), File("b")});
    AddResultGroup(Finder, {File("c"), File("d")});
    Fill();
    Grid.show();
    QSignalSpy previews(&Grid, &TNextGrid::CellDblClick);
    QTest::keyClick(&Grid, Qt::Key_Return);
    EXPECT_EQ(previews.count(), 0);
    Grid.SelectRow(1);
    QTest::keyClick(&Grid, Qt::Key_Return);
    ASSERT_EQ(previews.count(), 1);
    EXPECT_EQ(previews.at(0).at(1).toInt(), 1);
    // A double click: the press and release of the first click, then the double click.
    QTest::mouseClick(Grid.viewport(), Qt::LeftButton, {}, CellCentre(3, FolderColumn));
    QTest::mouseDClick(Grid.viewport(), Qt::LeftButton, {}, CellCentre(3, FolderColumn));
    ASSERT_EQ(previews.count(), 2);
    EXPECT_EQ(previews.at(1).at(1).toInt(), 3);

    QTest::keyClick(&Grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Grid.SelectedRows(), (std::vector<std::int32_t> {0, 1, 2, 3}));
}

TEST_F(GridTest, ColumnMaskHidesColumnsButNeverTheCheckBox)
{
    struct TCase {
        std::int32_t Mask;
        const char* Shown; // per column
    };
    const std::vector<TCase> cases = {
        {0x7FFFFFFF, "111111111"},
        {0x7FFFFFF9, "100111111"},
        {0x7FFFFE00, "100000000"},
        {0x00000180, "100000011"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mask);
        Grid.ApplyColumnVisibility(c.Mask);
        std::string shown;
        for (int column = 0; column < DupGridColumnCount; ++column) {
            shown += Grid.isColumnHidden(column) ? '0' : '1';
        }
        EXPECT_EQ(shown, c.Shown);
    }
}

TEST(GutterWidth, IsAsWideAsTheFileCountsDigitsOfZeroPlusTwo)
{
    const QFontMetrics metrics(QApplication::font());
    struct TCase {
        int FileCount;
        const char* Zeros;
    };
    for (const TCase& c :
        std::vector<TCase> {{0, "0"}, {9, "0"}, {10, "00"}, {1234, "0000"}, {100000, "000000"}}) {
        EXPECT_EQ(GutterWidth(metrics, c.FileCount),
            metrics.horizontalAdvance(QString::fromLatin1(c.Zeros)) + 2);
    }
}

TEST(CheckedCountsCaption, CountsCheckedAndGroupedFilesWithTheirSizes)
{
    TDFinder finder;
    EXPECT_EQ(CheckedCountsCaption(finder),
        "Check the files to be moved/deleted: 0 files checked (0 bytes) / Duplicated files: 0 "
        "(0 bytes)");
    AddResultGroup(finder, {File("a", 1024, 1), File("b", 1024, 0)});
    AddResultGroup(finder, {File("c", 1024, 2), File("d", 1024, 0)});
    EXPECT_EQ(CheckedCountsCaption(finder),
        "Check the files to be moved/deleted: 2 files checked (2.00 KB) / Duplicated files: 4 "
        "(4.00 KB)");
}

TEST(FileIconCache, GivesAnIconForEveryExtensionAndLooksEachUpOnce)
{
    TFileIconCache icons;
    for (const std::string extension : {".txt", ".jpg", ".no-such-type", ""}) {
        SCOPED_TRACE(extension);
        EXPECT_FALSE(icons.IconFor(extension).isNull());
    }
    const std::size_t looked = icons.Count();
    icons.IconFor(".txt");
    EXPECT_EQ(icons.Count(), looked);
}

} // namespace
