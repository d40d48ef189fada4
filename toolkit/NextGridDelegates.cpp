#include "toolkit/NextGridDelegates.h"

#include "engine/DImage.h"
#include "toolkit/FileIconCache.h"
#include "toolkit/NextGridModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <cmath>

namespace {

// Text stands this far from the cell's left and right edges.
constexpr int TextMargin = 2;
// The file-type icon's size, and the room the name leaves for it after the gutter.
constexpr int IconSize = 16;
constexpr int IconRoom = 18;

const QColor BarBackground(160, 160, 164); // medium grey
const QColor BarNormal(255, 128, 64); // orange
const QColor BarLow(255, 0, 0);
const QColor BarHigh(0, 128, 0);

bool IsSelected(const QStyleOptionViewItem& option)
{
    return option.state.testFlag(QStyle::State_Selected);
}

} // namespace

int SortedColumnOf(const QHeaderView& header)
{
    if (!header.isSortIndicatorShown()) {
        return -1;
    }
    const int section = header.sortIndicatorSection();
    return section >= 0 && section < header.count() ? section : -1;
}

QColor CellBackground(
    const QColor& own, bool selected, const QColor& highlight, bool sortedColumn, bool tinted)
{
    QColor colour = selected ? highlight : own;
    if (sortedColumn) {
        colour = Blend(QColor::fromRgb(SortedColumnShade), colour, SortedColumnShadeAmount);
    }
    if (tinted) {
        colour = Blend(QColor::fromRgb(HandCheckTint), colour, HandCheckTintAmount);
    }
    return colour;
}

int GutterWidth(const QFontMetrics& metrics, int fileCount)
{
    const qsizetype digits = QString::number(std::max(fileCount, 0)).size();
    return metrics.horizontalAdvance(QString(digits, u'0')) + 2;
}

// ---- text cells ------------------------------------------------------------------------------

TGridCellDelegate::TGridCellDelegate(
    const TNextGridModel& model, const QHeaderView& header, QObject* parent)
    : QStyledItemDelegate(parent)
    , FModel(model)
    , FHeader(header)
{ }

void TGridCellDelegate::PaintBackground(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TNextGridModel::TCellLook look = FModel.CellLook(index.row(), index.column());
    const bool selected = IsSelected(option);
    const QColor highlight = option.palette.color(QPalette::Active, QPalette::Highlight);
    painter->fillRect(option.rect,
        CellBackground(look.Background, selected, highlight,
            SortedColumnOf(FHeader) == index.column(), look.Tinted));
    painter->setPen(selected ? option.palette.color(QPalette::Active, QPalette::HighlightedText)
                             : QColor(Qt::black));
    QFont font = option.font;
    font.setBold(look.Bold);
    painter->setFont(font);
}

QRect TGridCellDelegate::TextRect(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return option.rect.adjusted(TextMargin, 0, -TextMargin, 0);
}

void TGridCellDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    PaintBackground(painter, option, index);
    const QRect room = TextRect(option, index);
    const QString text = FModel.CellText(index.row(), index.column());
    const QFontMetrics metrics(painter->font());
    painter->drawText(room, index.data(Qt::TextAlignmentRole).toInt(),
        metrics.elidedText(text, Qt::ElideRight, room.width()));
    painter->restore();
}

bool TGridCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event == nullptr || event->type() != QEvent::ToolTip) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QString text = index.data(Qt::ToolTipRole).toString();
    QFont font = option.font;
    font.setBold(FModel.CellLook(index.row(), index.column()).Bold);
    if (text.isEmpty() ||
        QFontMetrics(font).horizontalAdvance(text) <= TextRect(option, index).width()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view, option.rect);
    return true;
}

QWidget* TGridCellDelegate::createEditor(
    QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const
{
    return nullptr;
}

// ---- the check box ---------------------------------------------------------------------------

QRect TCheckBoxCellDelegate::BoxRect(const QStyleOptionViewItem& option)
{
    const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    const int width = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
    const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
    return QStyle::alignedRect(
        option.direction, Qt::AlignCenter, QSize(width, height), option.rect);
}

void TCheckBoxCellDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    PaintBackground(painter, option, index);
    if (FModel.Record(index.row()) != nullptr) {
        QStyleOptionViewItem box(option);
        box.rect = BoxRect(option);
        box.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange);
        box.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                           : QStyle::State_Off;
        const QStyle* style =
            option.widget != nullptr ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, option.widget);
    }
    painter->restore();
}

bool TCheckBoxCellDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton ||
        !BoxRect(option).contains(mouse->position().toPoint())) {
        return false;
    }
    if (type != QEvent::MouseButtonRelease) {
        return true;
    }
    const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

// ---- the file name ---------------------------------------------------------------------------

TFileNameCellDelegate::TFileNameCellDelegate(
    const TNextGridModel& model, const QHeaderView& header, TFileIconCache& icons, QObject* parent)
    : TGridCellDelegate(model, header, parent)
    , FIcons(icons)
{ }

QRect TFileNameCellDelegate::TextRect(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int gutter = GutterWidth(QFontMetrics(option.font), FModel.GutterFileCount());
    return option.rect.adjusted(gutter + IconRoom, 1, -TextMargin, 0);
}

void TFileNameCellDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TDImage* image = FModel.Record(index.row());
    painter->save();
    PaintBackground(painter, option, index);
    if (image != nullptr) {
        const QRect cell = option.rect;
        const QFontMetrics metrics(painter->font());
        const int gutter = GutterWidth(QFontMetrics(option.font), FModel.GutterFileCount());
        // The row number ends one pixel before the gutter's end, centred in the row's height.
        const QString number = QString::number(index.row() + 1);
        const int numberTop =
            cell.top() + int(std::nearbyint((cell.height() - metrics.height()) / 2.0));
        painter->drawText(QPoint(cell.left() + gutter - metrics.horizontalAdvance(number) - 1,
                              numberTop + metrics.ascent()),
            number);
        FIcons.IconFor(image->Ext.Str())
            .paint(painter, QRect(cell.left() + gutter + 1, cell.top() + 1, IconSize, IconSize),
                Qt::AlignCenter, IsSelected(option) ? QIcon::Selected : QIcon::Normal);
        const QRect room = TextRect(option, index);
        painter->drawText(QPoint(room.left(), room.top() + metrics.ascent()),
            metrics.elidedText(
                FModel.CellText(index.row(), index.column()), Qt::ElideRight, room.width()));
    }
    painter->restore();
}

// ---- the similarity bar ----------------------------------------------------------------------

QColor TSimilarityCellDelegate::BarColor(int percent, int lowBound, int highBound)
{
    if (percent < lowBound) {
        return BarLow;
    }
    return percent > highBound ? BarHigh : BarNormal;
}

void TSimilarityCellDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    PaintBackground(painter, option, index);
    if (FModel.Record(index.row()) != nullptr) {
        const int percent = FModel.SimilarityPercent(index.row());
        const QRect bar = option.rect.adjusted(2, 2, -2, -2);
        painter->fillRect(bar, BarBackground);
        QRect filled = bar;
        filled.setWidth(bar.width() * std::clamp(percent, 0, 100) / 100);
        painter->fillRect(
            filled, BarColor(percent, FModel.SimilarityLowBound(), FModel.SimilarityHighBound()));
        painter->setPen(Qt::black);
        painter->drawRect(bar.adjusted(0, 0, -1, -1));
        QFont font(QStringLiteral("Verdana"));
        font.setPixelSize(8);
        painter->setFont(font);
        painter->setPen(Qt::white);
        painter->drawText(bar, Qt::AlignCenter, QString::number(percent));
    }
    painter->restore();
}
