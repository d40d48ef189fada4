#pragma once

#include <QColor>
#include <QStyledItemDelegate>

class QFontMetrics;
class QHeaderView;
class TFileIconCache;
class TNextGridModel;

// The painters of the results grid's cells. Every cell gets the same background: its band
// colour, or the highlight colour when it is selected; then, in the sorted column, a darker
// shade; then, for a file checked by hand (with ShowUserCheckedColor), a green tint. Text is
// black on the bands, the palette's highlighted text on a selection, bold where the model
// says. Cells whose text does not fit show it whole in a hint. The delegates keep no state of
// their own but the model, the grid's header and the icon cache they are given.

// The column whose sort indicator the header shows, or -1.
int SortedColumnOf(const QHeaderView& header);

// The background of a cell as described above.
QColor CellBackground(
    const QColor& own, bool selected, const QColor& highlight, bool sortedColumn, bool tinted);

// The width of the row-number gutter: as many "0" characters as the file count has decimal
// digits, plus 2 pixels.
int GutterWidth(const QFontMetrics& metrics, int fileCount);

// Text cells: the folder, size, time and group columns.
class TGridCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    TGridCellDelegate(const TNextGridModel& model, const QHeaderView& header, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;

protected:
    // Fills the cell's background and sets the painter's pen and font for its text.
    void PaintBackground(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The room the cell's text has.
    virtual QRect TextRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    const TNextGridModel& FModel;
    const QHeaderView& FHeader;
};

// The check-box column: a box centred in the cell, on when the file's check state is not 0;
// a click on the box sets the state through the model.
class TCheckBoxCellDelegate : public TGridCellDelegate {
    Q_OBJECT

public:
    using TGridCellDelegate::TGridCellDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;
    // Where the box is drawn in the cell.
    static QRect BoxRect(const QStyleOptionViewItem& option);
};

// The file-name column: the row number right-aligned in a gutter, the file type's icon, the
// name.
class TFileNameCellDelegate : public TGridCellDelegate {
    Q_OBJECT

public:
    TFileNameCellDelegate(const TNextGridModel& model, const QHeaderView& header,
        TFileIconCache& icons, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;

protected:
    QRect TextRect(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TFileIconCache& FIcons;
};

// The similarity column: a solid bar on medium grey with a black border and the percentage
// inside in white; orange, red below the model's low bound, green above its high bound.
class TSimilarityCellDelegate : public TGridCellDelegate {
    Q_OBJECT

public:
    using TGridCellDelegate::TGridCellDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    // The bar's colour for a percentage.
    static QColor BarColor(int percent, int lowBound, int highBound);
};
