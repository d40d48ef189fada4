#include "toolkit/NextGridModel.h"

#include "engine/DFinder.h"
#include "engine/FileTimeHelper.h"
#include "engine/SettingsUnit.h"
#include "engine/ZYUtils.h"

#include <QFont>

#include <algorithm>

namespace {

const char* const HeaderTexts[DupGridColumnCount] = {"", "File name", "Folder", "File size",
    "Created", "Modified", "Accessed", "Similarity", "Group"};

Qt::Alignment ColumnAlignment(int column)
{
    switch (column) {
    case FileNameColumn:
    case FolderColumn:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case FileSizeColumn:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignCenter;
    }
}

// The cell shows a hint with its whole text when the text does not fit.
bool ColumnHasHint(int column)
{
    return column != CheckBoxColumn && column != SimilarityColumn;
}

// A time's sort key: whole milliseconds since 1601, the order of CompareFileTimes.
std::int64_t TimeKey(const platform::TFileTime& time)
{
    return std::int64_t(time.Ticks() / 10000u);
}

} // namespace

QColor Blend(const QColor& c1, const QColor& c2, int a)
{
    const auto channel = [a](int x, int y) { return (a * x + (255 - a) * y) / 256; };
    return QColor(channel(c1.red(), c2.red()), channel(c1.green(), c2.green()),
        channel(c1.blue(), c2.blue()));
}

TNextGridModel::TNextGridModel(QObject* parent)
    : QAbstractTableModel(parent)
    , FSettings(&AppSettings)
{ }

void TNextGridModel::SetSettings(const TSettings* settings)
{
    FSettings = settings != nullptr ? settings : &AppSettings;
}

void TNextGridModel::SetRows(std::vector<TGridRow> rows, std::int32_t fileCount)
{
    beginResetModel();
    FRows = std::move(rows);
    FRows.shrink_to_fit();
    FGutterFileCount = fileCount;
    endResetModel();
}

void TNextGridModel::ClearRows()
{
    beginResetModel();
    std::vector<TGridRow>().swap(FRows);
    endResetModel();
}

std::int32_t TNextGridModel::RemoveRowsIf(const std::function<bool(TDImage*)>& doomed)
{
    const auto first = std::find_if(
        FRows.begin(), FRows.end(), [&doomed](const TGridRow& row) { return doomed(row.Image); });
    if (first == FRows.end()) {
        return 0;
    }
    beginResetModel();
    const auto end = std::remove_if(
        first, FRows.end(), [&doomed](const TGridRow& row) { return doomed(row.Image); });
    const auto removed = std::int32_t(FRows.end() - end);
    FRows.erase(end, FRows.end());
    endResetModel();
    return removed;
}

TDImage* TNextGridModel::Record(std::int32_t row) const
{
    return row >= 0 && row < RowCount() ? FRows[std::size_t(row)].Image : nullptr;
}

void TNextGridModel::SortRows(int column, bool descending)
{
    struct TKeyed {
        std::int64_t Key;
        std::uint32_t Index;
    };
    const std::size_t count = FRows.size();
    std::vector<TKeyed> keyed(count);
    for (std::size_t i = 0; i < count; ++i) {
        keyed[i].Index = std::uint32_t(i);
    }
    if (column == FileNameColumn || column == FolderColumn) {
        std::vector<const std::string*> texts(count);
        for (std::size_t i = 0; i < count; ++i) {
            const TDImage* image = FRows[i].Image;
            texts[i] = column == FileNameColumn ? &image->FileName : &image->Folder.Str();
        }
        const std::vector<std::int32_t> ranks = CollationRanks(texts);
        for (std::size_t i = 0; i < count; ++i) {
            keyed[i].Key = ranks[i];
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const TGridRow& row = FRows[i];
            const TDImage& image = *row.Image;
            std::int64_t key = 0;
            switch (column) {
            case CheckBoxColumn:
                key = image.CheckState;
                break;
            case FileSizeColumn:
                key = image.Size;
                break;
            case CreatedColumn:
                key = TimeKey(image.CreationTime);
                break;
            case ModifiedColumn:
                key = TimeKey(image.LastWriteTime);
                break;
            case AccessedColumn:
                key = TimeKey(image.LastAccessTime);
                break;
            case SimilarityColumn:
                key = SimilarityKey(image.Similarity);
                break;
            case GroupColumn:
                key = row.GroupNumber;
                break;
            default:
                break;
            }
            keyed[i].Key = key;
        }
    }
    std::sort(keyed.begin(), keyed.end(), [descending](const TKeyed& a, const TKeyed& b) {
        if (a.Key != b.Key) {
            return descending ? a.Key > b.Key : a.Key < b.Key;
        }
        return a.Index < b.Index;
    });

    beginResetModel();
    std::vector<TGridRow> sorted(count);
    for (std::size_t i = 0; i < count; ++i) {
        sorted[i] = FRows[keyed[i].Index];
    }
    FRows = std::move(sorted);
    endResetModel();
}

TNextGridModel::TCellLook TNextGridModel::CellLook(std::int32_t row, int column) const
{
    TCellLook look;
    if (row < 0 || row >= RowCount()) {
        return look;
    }
    const TGridRow& entry = FRows[std::size_t(row)];
    look.Background = QColor::fromRgb(GroupBandColors[entry.Band & 1]);
    if (entry.Image != nullptr && entry.Image->CheckState == 2) {
        look.Tinted = FSettings->ShowUserCheckedColor;
        look.Bold =
            FSettings->ShowUserCheckedBold && column != CheckBoxColumn && column != AccessedColumn;
    }
    return look;
}

QString TNextGridModel::CellText(std::int32_t row, int column) const
{
    const TDImage* image = Record(row);
    if (image == nullptr) {
        return {};
    }
    switch (column) {
    case FileNameColumn:
        return QString::fromStdString(image->FileName);
    case FolderColumn:
        return QString::fromStdString(image->Folder.Str());
    case FileSizeColumn:
        return QString::fromStdString(FormatByteSize(image->Size));
    case CreatedColumn:
        return QString::fromStdString(FileTimeToDisplayText(image->CreationTime));
    case ModifiedColumn:
        return QString::fromStdString(FileTimeToDisplayText(image->LastWriteTime));
    case AccessedColumn:
        return QString::fromStdString(FileTimeToDisplayText(image->LastAccessTime));
    case SimilarityColumn:
        return QString::number(SimilarityKey(image->Similarity));
    case GroupColumn:
        return QString::number(FRows[std::size_t(row)].GroupNumber);
    default:
        return {};
    }
}

std::int32_t TNextGridModel::SimilarityPercent(std::int32_t row) const
{
    const TDImage* image = Record(row);
    return image != nullptr ? SimilarityKey(image->Similarity) : 0;
}

void TNextGridModel::SetSimilarityBounds(int low, int high)
{
    FSimilarityLow = low;
    FSimilarityHigh = high;
    if (!FRows.empty()) {
        Q_EMIT dataChanged(index(0, SimilarityColumn), index(RowCount() - 1, SimilarityColumn));
    }
}

void TNextGridModel::SetUserCheck(std::int32_t row, bool checked)
{
    TDImage* image = Record(row);
    if (image == nullptr) {
        return;
    }
    image->CheckState = checked ? 2 : 0;
    RefreshRows(row, row);
}

void TNextGridModel::RefreshRows(std::int32_t first, std::int32_t last)
{
    first = std::max(first, 0);
    last = std::min(last, RowCount() - 1);
    if (first <= last) {
        Q_EMIT dataChanged(index(first, 0), index(last, DupGridColumnCount - 1));
    }
}

int TNextGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int TNextGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : DupGridColumnCount;
}

QVariant TNextGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const int row = index.row();
    const int column = index.column();
    const TDImage* image = FRows[std::size_t(row)].Image;
    switch (role) {
    case Qt::DisplayRole:
        if (column == CheckBoxColumn) {
            return {};
        }
        return CellText(row, column);
    case Qt::ToolTipRole:
        if (!ColumnHasHint(column)) {
            return {};
        }
        return CellText(row, column);
    case Qt::CheckStateRole:
        if (column != CheckBoxColumn || image == nullptr) {
            return {};
        }
        return image->CheckState != 0 ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        return int(ColumnAlignment(column));
    case Qt::BackgroundRole: {
        const TCellLook look = CellLook(row, column);
        return look.Tinted
            ? Blend(QColor::fromRgb(HandCheckTint), look.Background, HandCheckTintAmount)
            : look.Background;
    }
    case Qt::FontRole:
        if (CellLook(row, column).Bold) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

bool TNextGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != CheckBoxColumn ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        Record(index.row()) == nullptr) {
        return false;
    }
    SetUserCheck(index.row(), value.value<Qt::CheckState>() != Qt::Unchecked);
    Q_EMIT CheckCellChanged(index.row());
    return true;
}

QVariant TNextGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= DupGridColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(HeaderTexts[section]);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::InitialSortOrderRole:
        return int(Qt::AscendingOrder);
    case Qt::AccessibleTextRole:
        return section == CheckBoxColumn ? QStringLiteral("Checked")
                                         : QString::fromLatin1(HeaderTexts[section]);
    default:
        return {};
    }
}

Qt::ItemFlags TNextGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == CheckBoxColumn) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}
