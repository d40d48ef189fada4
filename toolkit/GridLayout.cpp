#include "toolkit/GridLayout.h"

#include "engine/RegistryAccess.h"

#include <QHeaderView>

#include <vector>

namespace {

const std::string SortKindKey = "\\Columns Sort Kind";
const std::string VisibleKey = "\\Visible Columns";
const std::string SortedKey = "\\Sorted";
const std::string PositionsKey = "\\Positions";
const std::string SizesKey = "\\Columns Sizes";
const std::string CommonKey = "\\Common";
const std::string CountName = "Count";
const std::string Ascending = "Ascending";
const std::string Descending = "Descending";

// Wider than any screen: a stored width beyond it is damage, not a choice.
constexpr int MaxColumnWidth = 20000;

std::string ColumnName(int column)
{
    return "Column" + std::to_string(column);
}

bool IsSortedBy(const QHeaderView& header, int column)
{
    return header.isSortIndicatorShown() && header.sortIndicatorSection() == column;
}

} // namespace

bool SaveGridLayout(const QHeaderView& header, const std::string& section)
{
    TRegBatch batch;
    const int count = header.count();
    bool stored = RegWriteInteger(section + CommonKey, CountName, count);
    for (int column = 0; column < count; ++column) {
        const std::string name = ColumnName(column);
        const bool sorted = IsSortedBy(header, column);
        const bool descending = sorted && header.sortIndicatorOrder() == Qt::DescendingOrder;
        stored &= RegWriteString(section + SortKindKey, name, descending ? Descending : Ascending);
        stored &= RegWriteBool(section + VisibleKey, name, !header.isSectionHidden(column));
        stored &= RegWriteBool(section + SortedKey, name, sorted);
        stored &= RegWriteInteger(section + PositionsKey, name, header.visualIndex(column));
        stored &= RegWriteInteger(section + SizesKey, name, header.sectionSize(column));
    }
    return batch.Commit() && stored;
}

void LoadGridLayout(QHeaderView& header, const std::string& section)
{
    const int count = header.count();
    const int storedCount = RegReadInteger(section + CommonKey, CountName, count);

    std::vector<int> positions(std::size_t(count), -1);
    bool positionsUsable = storedCount == count;
    std::vector<bool> placed(std::size_t(count), false);
    for (int column = 0; column < count; ++column) {
        const std::string name = ColumnName(column);
        const int width = RegReadInteger(section + SizesKey, name, header.sectionSize(column));
        if (width > 0 && width <= MaxColumnWidth) {
            header.resizeSection(column, width);
        }
        header.setSectionHidden(
            column, !RegReadBool(section + VisibleKey, name, !header.isSectionHidden(column)));
        if (RegReadBool(section + SortedKey, name, false)) {
            const bool descending =
                RegReadString(section + SortKindKey, name, Ascending) == Descending;
            header.setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        }
        const int position =
            RegReadInteger(section + PositionsKey, name, header.visualIndex(column));
        if (position < 0 || position >= count || placed[std::size_t(position)]) {
            positionsUsable = false;
        } else {
            placed[std::size_t(position)] = true;
            positions[std::size_t(column)] = position;
        }
    }
    if (!positionsUsable) {
        return;
    }
    // Fill the places from the left: the column meant for place p is moved there.
    for (int place = 0; place < count; ++place) {
        for (int column = 0; column < count; ++column) {
            if (positions[std::size_t(column)] == place) {
                header.moveSection(header.visualIndex(column), place);
                break;
            }
        }
    }
}
