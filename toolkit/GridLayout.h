#pragma once

#include <string>

class QHeaderView;

// The column layout of a grid, kept in the registry store: the width, position, visibility
// and sort direction of each column. A grid's layout lives in one section below RegistryRoot
// ("Grid" for the results grid), with a subkey per kind of value and one value per column,
// named "Column" followed by the column's logical index:
//   "Columns Sort Kind"  string "Ascending" or "Descending"
//   "Visible Columns"    Boolean, default true
//   "Sorted"             Boolean, default false (the column the grid is sorted by)
//   "Positions"          integer, the column's place from the left, default its index
//   "Columns Sizes"      integer, the width in pixels, default the current width
// and the column count as "Count" in the subkey "Common". Everything here runs on the main
// thread.

// Writes the header's layout in one batch of the store. False when it could not be stored.
bool SaveGridLayout(const QHeaderView& header, const std::string& section);

// Applies the stored layout to the header. A missing or unreadable value keeps the column as
// it is. Widths must be positive and sensible; the positions are applied only when the stored
// column count matches the header's and they place every column once. The sort indicator is
// set on the column stored as sorted.
void LoadGridLayout(QHeaderView& header, const std::string& section);
