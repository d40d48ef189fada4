#pragma once

#include "toolkit/FileIconCache.h"
#include "toolkit/NextGridModel.h"

#include <QTableView>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDFinder;
class TDGroup;
class TDImage;
class TSettings;

// The results grid: one row per file of every duplicate group, on a model of its own
// (TNextGridModel) whose rows are small entries filled in one step, so a million files fill,
// sort and scroll quickly. Rows have one fixed height; the user may move and resize the
// columns; several rows may be selected, always whole rows.
//
// What the user does in the grid and what the main window answers:
// - a click on a check box, Space, and UncheckSelectedGroup ("U") set check states 2 or 0 in
//   the records and Q_EMIT Change, for the modified mark and the counts caption;
// - a double click and Enter Q_EMIT CellDblClick (the preview window);
// - a new current row emits SelectCell (the preview pane);
// - Left or "B" and Right or "F" select the first file of the previous or next group;
// - a click on a column header (not the check-box column) sorts. With PreserveGroupOrder on,
//   the rows stay as they are and AfterSort asks for the finder's groups to be sorted and the
//   grid refilled; with it off the grid sorts its rows itself.
// Nothing done to the grid by code emits Change. Main thread only.
class TNextGrid : public QTableView {
    Q_OBJECT

public:
    explicit TNextGrid(QWidget* parent = nullptr);

    TNextGridModel& Model() { return *FModel; }
    const TNextGridModel& Model() const { return *FModel; }
    // The options read when painting and sorting; null restores AppSettings. Not owned.
    void SetSettings(const TSettings* settings);

    // Shows the rows (a refill: one model reset, nothing selected). fileCount is the number of
    // files in the finder's file list (the row-number gutter is as wide as its digits).
    void SetRows(std::vector<TGridRow> rows, std::int32_t fileCount);
    // Removes every row: the grid holds no record afterwards.
    void ClearRows();
    // Removes the rows whose record the predicate picks (nothing is selected afterwards); the
    // others keep their order. Returns how many rows went.
    std::int32_t RemoveRowsIf(const std::function<bool(TDImage*)>& doomed);
    std::int32_t RowCount() const { return FModel->RowCount(); }
    // The row's record, or null.
    TDImage* Record(std::int32_t row) const { return FModel->Record(row); }
    // The row's group number as it was filled in.
    std::int32_t GroupNumber(std::int32_t row) const;

    // The current row when some row is selected, else -1.
    std::int32_t SelectedRow() const;
    // Every selected row, in ascending order.
    std::vector<std::int32_t> SelectedRows() const;
    // Makes the row the current and only selected row and scrolls to it.
    void SelectRow(std::int32_t row);

    // The column the rows were last sorted by (as the header's sort indicator shows), or -1.
    int SortedColumn() const;
    bool SortedDescending() const;
    // Sorts by the column as a header click does: the indicator moves there; with
    // PreserveGroupOrder on, AfterSort follows, else the rows are put in the column's order.
    // The current row's file stays current.
    void SortByColumn(int column, bool descending);
    // Sorts again by the sorted column in its direction (the check-box column gives way to the
    // file-name column); nothing when no column is sorted.
    void ResortResults();

    // Space: the current row's check state becomes 0 when it was set, else 2; Change follows.
    void ToggleSelectedCheck();
    // "U": unchecks (state 0) the rows above and below the current row that belong to its
    // group, with it; Change follows. False, nothing done, when no row is selected.
    bool UncheckSelectedGroup();
    // Left / "B": the first file of the previous group (row 0 from the first group).
    void SelectPreviousGroup();
    // Right / "F": the first file of the next group, never past the last row.
    void SelectNextGroup();

    // Column i (1 to 8) is shown when bit i of the mask is set; the check-box column always is.
    void ApplyColumnVisibility(std::int32_t mask);
    // Values below the bound are drawn in red in the similarity column.
    void SetSimilarityLowBound(int bound);
    // Repaints the check cells, tints and bold after check states changed in the records.
    void RefreshChecks();

    // The delegates' icon cache (per extension, kept for the grid's life).
    TFileIconCache& FileIcons() { return FIcons; }

Q_SIGNALS:
    // The user changed check states: a click on a box (column 0), Space or "U".
    void Change(int column, int row);
    // A double click on a row, or Enter.
    void CellDblClick(int column, int row);
    // Another row became the current one.
    void SelectCell(int column, int row);
    // A header click sorted with PreserveGroupOrder on: the finder's groups are to be sorted
    // by the column (TDFinder::SortGroups) and the grid refilled.
    void AfterSort(int column, bool descending);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;

private:
    void HeaderClicked(int column);
    // True when both rows' files are in one group (a file in no group is in none with
    // another).
    bool SameGroup(std::int32_t a, std::int32_t b) const;
    // True when the row's file is the first member of the group (of its own group when null).
    bool IsFirstMember(std::int32_t row, const TDGroup* group = nullptr) const;
    // The column a row selected by a key or by code is made current in.
    int CurrentColumnOrFirst() const;

    TNextGridModel* FModel;
    TFileIconCache FIcons;
    // The sort indicator before the last header click, for a click that must not sort.
    int FIndicatorColumn = -1;
    Qt::SortOrder FIndicatorOrder = Qt::AscendingOrder;
};

// The caption above the grid: the checked files of all groups and their size, and all files
// in groups and their size.
std::string CheckedCountsCaption(const TDFinder& finder);
