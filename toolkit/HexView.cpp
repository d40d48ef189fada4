#include "toolkit/HexView.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace {

const char HexDigits[] = "0123456789ABCDEF";

} // namespace

THexView::THexView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Hex"));
}

bool THexView::LoadFile(const QString& path)
{
    Clear();
    FFile.setFileName(path);
    if (!FFile.open(QIODevice::ReadOnly)) {
        return false;
    }
    FSize = FFile.size();
    FOffsetDigits = 8;
    for (std::int64_t rest = FSize >> 32; rest > 0; rest >>= 4) {
        ++FOffsetDigits;
    }
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
    return true;
}

void THexView::Clear()
{
    FFile.close();
    FSize = 0;
    FRowsFirst = -1;
    FRowsCount = 0;
    FRows.clear();
    UpdateScrollBars();
    viewport()->update();
}

std::int64_t THexView::RowCount() const
{
    return (FSize + BytesPerRow - 1) / BytesPerRow;
}

int THexView::VisibleRows() const
{
    return std::max(1, viewport()->height() / std::max(1, fontMetrics().height()));
}

std::int64_t THexView::TopRow() const
{
    return std::int64_t(verticalScrollBar()->value()) * FRowScale;
}

void THexView::UpdateScrollBars()
{
    const std::int64_t lastTop = std::max<std::int64_t>(0, RowCount() - VisibleRows());
    FRowScale = lastTop / INT_MAX + 1;
    verticalScrollBar()->setRange(0, int((lastTop + FRowScale - 1) / FRowScale));
    verticalScrollBar()->setPageStep(std::max(1, int(VisibleRows() / FRowScale)));
    verticalScrollBar()->setSingleStep(1);
    const int width = fontMetrics().horizontalAdvance(QString(FOffsetDigits + 4 * BytesPerRow + 6, u'0'));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

const QByteArray& THexView::ReadRows(std::int64_t first, int count)
{
    if (first == FRowsFirst && count == FRowsCount) {
        return FRows;
    }
    FRowsFirst = first;
    FRowsCount = count;
    FRows.clear();
    if (FFile.isOpen() && FFile.seek(first * BytesPerRow)) {
        FRows = FFile.read(qint64(count) * BytesPerRow);
    }
    return FRows;
}

QString THexView::FormatRow(std::int64_t offset, const char* bytes, int count) const
{
    QString text;
    text.reserve(FOffsetDigits + 4 * BytesPerRow + 6);
    for (int shift = (FOffsetDigits - 1) * 4; shift >= 0; shift -= 4) {
        text += QLatin1Char(HexDigits[(offset >> shift) & 0xF]);
    }
    text += u"  ";
    for (int i = 0; i < BytesPerRow; ++i) {
        if (i < count) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            text += QLatin1Char(HexDigits[byte >> 4]);
            text += QLatin1Char(HexDigits[byte & 0xF]);
        } else {
            text += u"  ";
        }
        text += i == BytesPerRow / 2 - 1 ? u'-' : u' ';
    }
    text += u' ';
    for (int i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += byte >= 0x20 && byte < 0x7F ? QLatin1Char(char(byte)) : QLatin1Char('.');
    }
    return text;
}

QString THexView::RowText(std::int64_t row)
{
    if (row < 0 || row >= RowCount()) {
        return {};
    }
    QByteArray bytes;
    if (!FFile.isOpen() || !FFile.seek(row * BytesPerRow)) {
        return {};
    }
    bytes = FFile.read(BytesPerRow);
    if (bytes.isEmpty()) {
        return {};
    }
    return FormatRow(row * BytesPerRow, bytes.constData(), int(bytes.size()));
}

void THexView::paintEvent(QPaintEvent*)
{
    if (!FFile.isOpen()) {
        return;
    }
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const int lineHeight = std::max(1, fontMetrics().height());
    const std::int64_t top = TopRow();
    const int rows = int(std::min<std::int64_t>(VisibleRows() + 1, RowCount() - top));
    if (rows <= 0) {
        return;
    }
    const QByteArray& bytes = ReadRows(top, rows);
    const int left = 4 - horizontalScrollBar()->value();
    for (int i = 0; i < rows; ++i) {
        const qsizetype start = qsizetype(i) * BytesPerRow;
        if (start >= bytes.size()) {
            break;
        }
        const int count = int(std::min<qsizetype>(BytesPerRow, bytes.size() - start));
        painter.drawText(left, i * lineHeight + fontMetrics().ascent(),
            FormatRow((top + i) * BytesPerRow, bytes.constData() + start, count));
    }
}

void THexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}
