#include "toolkit/GridLayout.h"

#include "engine/RegistryAccess.h"
#include "engine/ZYGlobals.h"
#include "tests/toolkit/RegistryFixture.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

namespace {

const std::string Grid = "Grid";

// A grid with five columns of known widths.
struct TGrid {
    QStandardItemModel Model {0, 5};
    QTableView View;
    TGrid()
    {
        View.setModel(&Model);
        for (int column = 0; column < 5; ++column) {
            View.horizontalHeader()->resizeSection(column, 50 + 10 * column);
        }
    }
    QHeaderView& Header() { return *View.horizontalHeader(); }
};

using GridLayout = TToolkitRegistryTest;

TEST_F(GridLayout, WidthsPositionsVisibilityAndSortComeBackInAFreshGrid)
{
    {
        TGrid grid;
        grid.Header().resizeSection(1, 222);
        grid.Header().moveSection(4, 0); // column 4 goes first
        grid.Header().setSectionHidden(2, true);
        grid.Header().setSortIndicatorShown(true);
        grid.Header().setSortIndicator(3, Qt::DescendingOrder);
        ASSERT_TRUE(SaveGridLayout(grid.Header(), Grid));
    }
    // The values are where the layout's format puts them.
    EXPECT_EQ(RegReadInteger("Grid\\Columns Sizes", "Column1", 0), 222);
    EXPECT_EQ(RegReadInteger("Grid\\Positions", "Column4", -1), 0);
    EXPECT_FALSE(RegReadBool("Grid\\Visible Columns", "Column2", true));
    EXPECT_TRUE(RegReadBool("Grid\\Sorted", "Column3", false));
    EXPECT_EQ(RegReadString("Grid\\Columns Sort Kind", "Column3", ""), "Descending");
    EXPECT_EQ(RegReadString("Grid\\Columns Sort Kind", "Column0", ""), "Ascending");
    EXPECT_EQ(RegReadInteger("Grid\\Common", "Count", 0), 5);

    TGrid fresh;
    fresh.Header().setSortIndicatorShown(true);
    LoadGridLayout(fresh.Header(), Grid);
    EXPECT_EQ(fresh.Header().sectionSize(1), 222);
    EXPECT_EQ(fresh.Header().sectionSize(3), 80);
    EXPECT_EQ(fresh.Header().visualIndex(4), 0);
    EXPECT_EQ(fresh.Header().logicalIndex(1), 0);
    EXPECT_TRUE(fresh.Header().isSectionHidden(2));
    EXPECT_FALSE(fresh.Header().isSectionHidden(1));
    EXPECT_EQ(fresh.Header().sortIndicatorSection(), 3);
    EXPECT_EQ(fresh.Header().sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(GridLayout, DamagedOrForeignValuesLeaveTheColumnsAsTheyAre)
{
    struct TCase {
        const char* Label;
        std::function<void()> Store;
        std::vector<int> Widths;
        std::vector<int> Order; // logical index at each place
    };
    const std::vector<int> designed = {50, 60, 70, 80, 90};
    const std::vector<int> natural = {0, 1, 2, 3, 4};
    const std::vector<TCase> cases = {
        {"nothing stored", [] {}, designed, natural},
        {"negative and huge widths",
            [] {
                RegWriteInteger("Grid\\Columns Sizes", "Column0", -5);
                RegWriteInteger("Grid\\Columns Sizes", "Column1", 900000);
                RegWriteInteger("Grid\\Columns Sizes", "Column2", 33);
            },
            {50, 60, 33, 80, 90}, natural},
        {"two columns in one place",
            [] {
                for (int c = 0; c < 5; ++c) {
                    RegWriteInteger(
                        "Grid\\Positions", "Column" + std::to_string(c), c == 4 ? 0 : c);
                }
            },
            designed, natural},
        {"positions of a grid with other columns",
            [] {
                RegWriteInteger("Grid\\Common", "Count", 9);
                RegWriteInteger("Grid\\Positions", "Column0", 1);
                RegWriteInteger("Grid\\Positions", "Column1", 0);
            },
            designed, natural},
        {"a width stored as text", [] { RegWriteString("Grid\\Columns Sizes", "Column3", "120"); },
            designed, natural},
    };
    for (const TCase& c : cases) {
        ASSERT_TRUE(RegClearKey("Grid\\Columns Sizes"));
        ASSERT_TRUE(RegClearKey("Grid\\Positions"));
        ASSERT_TRUE(RegClearKey("Grid\\Common"));
        c.Store();
        TGrid grid;
        LoadGridLayout(grid.Header(), Grid);
        for (int column = 0; column < 5; ++column) {
            EXPECT_EQ(grid.Header().sectionSize(column), c.Widths[std::size_t(column)])
                << c.Label << ", column " << column;
            EXPECT_EQ(grid.Header().logicalIndex(column), c.Order[std::size_t(column)])
                << c.Label << ", place " << column;
        }
    }
}

} // namespace
