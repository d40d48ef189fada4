#pragma once

#include "toolkit/NextGridRows.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class TDImage;
class TSettings;

// The columns of the results grid, by index; the index is also the column's initial position
// and the sort kind that TDFinder::SortGroups takes.
enum TDupGridColumn : int {
    CheckBoxColumn = 0,
    FileNameColumn = 1,
    FolderColumn = 2,
    FileSizeColumn = 3,
    CreatedColumn = 4,
    ModifiedColumn = 5,
    AccessedColumn = 6,
    SimilarityColumn = 7,
    GroupColumn = 8,
};
inline constexpr int DupGridColumnCount = 9;

// The background of the rows of the first, third, ... group and of the second, fourth, ...
inline constexpr QRgb GroupBandColors[2] = {0xFFE0E0E0u, 0xFFCCCCDDu};
// Blended over a cell of a file checked by hand, and over the cells of the sorted column.
inline constexpr QRgb HandCheckTint = 0xFF008000u;
inline constexpr int HandCheckTintAmount = 25;
inline constexpr QRgb SortedColumnShade = 0xFF000000u;
inline constexpr int SortedColumnShadeAmount = 15;

// Each channel is (a * channel of c1 + (255 - a) * channel of c2) div 256.
QColor Blend(const QColor& c1, const QColor& c2, int a);

// The model of the results grid: one small entry per row (TGridRow), the texts and check
// states read from the rows' records whenever a view asks. Columns are TDupGridColumn.
//
// The rows point to records that the finder owns: whoever frees records clears the rows
// first. Options (ShowUserCheckedColor, ShowUserCheckedBold, PreserveGroupOrder) are read from
// the settings given, AppSettings unless told otherwise. Main thread only.
class TNextGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TNextGridModel(QObject* parent = nullptr);

    // The options read when painting and sorting; null restores AppSettings. Not owned.
    void SetSettings(const TSettings* settings);
    const TSettings& Settings() const { return *FSettings; }

    // Replaces every row at once (one model reset). fileCount is the number of files in the
    // finder's file list, which sets the width of the row-number gutter.
    void SetRows(std::vector<TGridRow> rows, std::int32_t fileCount);
    // Lets go of every row.
    void ClearRows();
    // Takes out the rows whose record the predicate picks, in one model reset; the other rows
    // keep their order, group numbers and bands. Returns how many rows went.
    std::int32_t RemoveRowsIf(const std::function<bool(TDImage*)>& doomed);
    std::int32_t RowCount() const { return std::int32_t(FRows.size()); }
    // The row's entry; the row must exist.
    const TGridRow& Row(std::int32_t row) const { return FRows[std::size_t(row)]; }
    // The row's record, or null for a row that does not exist.
    TDImage* Record(std::int32_t row) const;
    std::int32_t GutterFileCount() const { return FGutterFileCount; }

    // Puts the rows in the order of the column's comparison (the check state, the names and
    // folders in the user's collation with letter case ignored, the 64-bit sizes, the times to
    // the millisecond, the similarity percentage, the group number), ascending or descending;
    // rows that compare equal keep their order. One model reset.
    void SortRows(int column, bool descending);

    // What a cell is painted with: its band colour, the hand-check tint to blend over it, and
    // bold type, as the options and the record's check state say.
    struct TCellLook {
        QColor Background;
        bool Tinted = false;
        bool Bold = false;
    };
    TCellLook CellLook(std::int32_t row, int column) const;
    // The text a cell shows (empty for the check-box column and for a row without a record).
    QString CellText(std::int32_t row, int column) const;
    // The similarity percentage the row shows and sorts by.
    std::int32_t SimilarityPercent(std::int32_t row) const;

    // Values below the low bound are drawn in red, above the high bound in green.
    void SetSimilarityBounds(int low, int high);
    int SimilarityLowBound() const { return FSimilarityLow; }
    int SimilarityHighBound() const { return FSimilarityHigh; }

    // A check set or cleared by the user: CheckState 2 or 0; the row is repainted.
    void SetUserCheck(std::int32_t row, bool checked);
    // Repaints the check cells, tints and bold of the rows (of every row) after check states
    // were changed in the records.
    void RefreshRows(std::int32_t first, std::int32_t last);
    void RefreshChecks() { RefreshRows(0, RowCount() - 1); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    // The user changed the check cell of the row through the view (a click on the box).
    void CheckCellChanged(int row);

private:
    std::vector<TGridRow> FRows;
    std::int32_t FGutterFileCount = 0;
    const TSettings* FSettings;
    int FSimilarityLow = 96;
    int FSimilarityHigh = 99;
};
