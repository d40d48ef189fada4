#include "toolkit/NextGrid.h"

#include "engine/DFinder.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"
#include "toolkit/NextGridDelegates.h"

#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

namespace {

// The columns' initial widths, by index.
constexpr int ColumnWidths[DupGridColumnCount] = {40, 100, 140, 75, 110, 110, 110, 90, 50};
// Room for the file-type icon (16 pixels at one pixel below the row's top) in every row.
constexpr int MinimumRowHeight = 18;

} // namespace

TNextGrid::TNextGrid(QWidget* parent)
    : QTableView(parent)
    , FModel(new TNextGridModel(this))
{
    setObjectName(QStringLiteral("DupGrid"));
    setAccessibleName(QStringLiteral("Duplicate files"));
    setModel(FModel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setShowGrid(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(fontMetrics().height() + 4, MinimumRowHeight));

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsMovable(true);
    columns->setSectionsClickable(true);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignCenter);
    columns->setStretchLastSection(false);
    columns->setSortIndicatorShown(true);
    columns->setSortIndicator(-1, Qt::AscendingOrder);
    for (int column = 0; column < DupGridColumnCount; ++column) {
        columns->resizeSection(column, ColumnWidths[column]);
    }

    setItemDelegate(new TGridCellDelegate(*FModel, *columns, this));
    setItemDelegateForColumn(CheckBoxColumn, new TCheckBoxCellDelegate(*FModel, *columns, this));
    setItemDelegateForColumn(
        FileNameColumn, new TFileNameCellDelegate(*FModel, *columns, FIcons, this));
    setItemDelegateForColumn(
        SimilarityColumn, new TSimilarityCellDelegate(*FModel, *columns, this));

    connect(columns, &QHeaderView::sectionPressed, this, [this, columns](int) {
        FIndicatorColumn = SortedColumnOf(*columns);
        FIndicatorOrder = columns->sortIndicatorOrder();
    });
    connect(columns, &QHeaderView::sectionClicked, this, &TNextGrid::HeaderClicked);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && Record(index.row()) != nullptr) {
            Q_EMIT CellDblClick(index.column(), index.row());
        }
    });
    connect(FModel, &TNextGridModel::CheckCellChanged, this, [this](int row) {
        viewport()->update();
        Q_EMIT Change(CheckBoxColumn, row);
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current, const QModelIndex&) {
            if (current.isValid()) {
                Q_EMIT SelectCell(current.column(), current.row());
            }
        });
}

void TNextGrid::SetSettings(const TSettings* settings)
{
    FModel->SetSettings(settings);
    viewport()->update();
}

void TNextGrid::SetRows(std::vector<TGridRow> rows, std::int32_t fileCount)
{
    FModel->SetRows(std::move(rows), fileCount);
}

void TNextGrid::ClearRows()
{
    FModel->ClearRows();
}

std::int32_t TNextGrid::RemoveRowsIf(const std::function<bool(TDImage*)>& doomed)
{
    return FModel->RemoveRowsIf(doomed);
}

std::int32_t TNextGrid::GroupNumber(std::int32_t row) const
{
    return row >= 0 && row < RowCount() ? FModel->Row(row).GroupNumber : 0;
}

std::int32_t TNextGrid::SelectedRow() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->hasSelection()) {
        return -1;
    }
    return current.row();
}

std::vector<std::int32_t> TNextGrid::SelectedRows() const
{
    std::vector<std::int32_t> selected;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            selected.push_back(row);
        }
    }
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    return selected;
}

int TNextGrid::CurrentColumnOrFirst() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : CheckBoxColumn;
}

void TNextGrid::SelectRow(std::int32_t row)
{
    if (row < 0 || row >= RowCount()) {
        return;
    }
    const QModelIndex target = FModel->index(row, CurrentColumnOrFirst());
    selectionModel()->setCurrentIndex(
        target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(target);
}

int TNextGrid::SortedColumn() const
{
    return SortedColumnOf(*horizontalHeader());
}

bool TNextGrid::SortedDescending() const
{
    return horizontalHeader()->sortIndicatorOrder() == Qt::DescendingOrder;
}

void TNextGrid::HeaderClicked(int column)
{
    QHeaderView* columns = horizontalHeader();
    if (column == CheckBoxColumn) {
        // The check-box column does not sort: the header's click moved the indicator there.
        columns->setSortIndicator(FIndicatorColumn, FIndicatorOrder);
        return;
    }
    SortByColumn(column, columns->sortIndicatorOrder() == Qt::DescendingOrder);
}

void TNextGrid::SortByColumn(int column, bool descending)
{
    if (column < 0 || column >= DupGridColumnCount) {
        return;
    }
    horizontalHeader()->setSortIndicator(
        column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (FModel->Settings().PreserveGroupOrder) {
        // Every pair of rows compares equal: the rows stay, and the finder's groups are sorted.
        if (column >= FileNameColumn) {
            Q_EMIT AfterSort(column, descending);
        }
        return;
    }
    const TDImage* current = Record(SelectedRow());
    const int currentColumn = CurrentColumnOrFirst();
    FModel->SortRows(column, descending);
    if (current != nullptr) {
        for (std::int32_t row = 0; row < RowCount(); ++row) {
            if (Record(row) == current) {
                const QModelIndex target = FModel->index(row, currentColumn);
                selectionModel()->setCurrentIndex(
                    target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                scrollTo(target);
                break;
            }
        }
    }
}

void TNextGrid::ResortResults()
{
    const int column = SortedColumn();
    if (column < 0) {
        return;
    }
    SortByColumn(column == CheckBoxColumn ? FileNameColumn : column, SortedDescending());
}

bool TNextGrid::SameGroup(std::int32_t a, std::int32_t b) const
{
    const TDImage* first = Record(a);
    const TDImage* second = Record(b);
    if (first == nullptr || second == nullptr) {
        return false;
    }
    if (first == second) {
        return true;
    }
    const TDGroup* group = first->Group.load();
    return group != nullptr && group == second->Group.load();
}

bool TNextGrid::IsFirstMember(std::int32_t row, const TDGroup* group) const
{
    const TDImage* image = Record(row);
    if (image == nullptr) {
        return false;
    }
    if (group == nullptr) {
        group = image->Group.load();
    }
    return group != nullptr && group->Count() > 0 && (*group)[0] == image;
}

void TNextGrid::ToggleSelectedCheck()
{
    const std::int32_t row = SelectedRow();
    const TDImage* image = Record(row);
    if (image == nullptr) {
        return;
    }
    FModel->SetUserCheck(row, image->CheckState == 0);
    viewport()->update();
    Q_EMIT Change(CurrentColumnOrFirst(), row);
}

bool TNextGrid::UncheckSelectedGroup()
{
    const std::int32_t row = SelectedRow();
    if (Record(row) == nullptr) {
        return false;
    }
    std::int32_t first = row;
    while (first > 0 && SameGroup(first - 1, row)) {
        --first;
    }
    std::int32_t last = row;
    while (last + 1 < RowCount() && SameGroup(last + 1, row)) {
        ++last;
    }
    for (std::int32_t at = first; at <= last; ++at) {
        Record(at)->CheckState = 0;
    }
    FModel->RefreshRows(first, last);
    viewport()->update();
    Q_EMIT Change(CurrentColumnOrFirst(), row);
    return true;
}

void TNextGrid::SelectPreviousGroup()
{
    const std::int32_t row = SelectedRow();
    if (row <= 0) {
        return;
    }
    std::int32_t at = row;
    while (at > 0 && SameGroup(at, row)) {
        --at;
    }
    const TDImage* image = Record(at);
    const TDGroup* target = image != nullptr ? image->Group.load() : nullptr;
    while (at > 0 && !IsFirstMember(at, target)) {
        --at;
    }
    SelectRow(at);
}

void TNextGrid::SelectNextGroup()
{
    const std::int32_t row = SelectedRow();
    const std::int32_t last = RowCount() - 1;
    if (row < 0 || row >= last) {
        return;
    }
    std::int32_t at = row;
    while (at < last && SameGroup(at, row)) {
        ++at;
    }
    while (at < last && !IsFirstMember(at)) {
        ++at;
    }
    SelectRow(at);
}

void TNextGrid::ApplyColumnVisibility(std::int32_t mask)
{
    setColumnHidden(CheckBoxColumn, false);
    for (int column = 1; column < DupGridColumnCount; ++column) {
        setColumnHidden(column, !IsBitSet(mask, std::uint8_t(column)));
    }
}

void TNextGrid::SetSimilarityLowBound(int bound)
{
    FModel->SetSimilarityBounds(bound, FModel->SimilarityHighBound());
}

void TNextGrid::RefreshChecks()
{
    FModel->RefreshChecks();
    viewport()->update();
}

void TNextGrid::keyPressEvent(QKeyEvent* event)
{
    const bool plain =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
        Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (SelectedRow() >= 0 && Record(SelectedRow()) != nullptr) {
            Q_EMIT CellDblClick(CurrentColumnOrFirst(), SelectedRow());
        }
        event->accept();
        return;
    case Qt::Key_Space:
        if (plain) {
            ToggleSelectedCheck();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Left:
        SelectPreviousGroup();
        event->accept();
        return;
    case Qt::Key_Right:
        SelectNextGroup();
        event->accept();
        return;
    case Qt::Key_B:
        if (plain) {
            SelectPreviousGroup();
            event->accept();
            return;
        }
        break;
    case Qt::Key_F:
        if (plain) {
            SelectNextGroup();
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void TNextGrid::keyboardSearch(const QString&)
{
    // Typed letters are the window's keys ("U") or the grid's own ("B", "F"): no search.
}

std::string CheckedCountsCaption(const TDFinder& finder)
{
    std::int64_t checkedSize = 0;
    std::int64_t checkedCount = 0;
    std::int64_t totalSize = 0;
    std::int64_t groupedCount = 0;
    finder.GetCheckedTotals(checkedSize, checkedCount, totalSize, groupedCount);
    return "Check the files to be moved/deleted: " + std::to_string(checkedCount) +
        " files checked (" + FormatByteSize(checkedSize) +
        ") / Duplicated files: " + std::to_string(groupedCount) + " (" + FormatByteSize(totalSize) +
        ")";
}
