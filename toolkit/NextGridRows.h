#pragma once

#include <cstdint>
#include <vector>

class TDFinder;
class TDImage;

// One row of the results grid: the file it shows, its group's number and its band, copied in
// when the grid is filled, so that painting and sorting read no group. The record is not
// owned: the finder owns it, and whoever frees records empties the grid first.
struct TGridRow {
    TDImage* Image = nullptr;
    std::int32_t GroupNumber = 0;
    // Which of the two band colours the row's group has: 0 for the first, third, ... group
    // that has files, 1 for the second, fourth, ...
    std::uint8_t Band = 0;
};

// The rows of a fill: the groups in the finder's list order, each group's files in its order.
// A group without files gets no rows and does not advance the band.
std::vector<TGridRow> ListGridRows(const TDFinder& finder);
