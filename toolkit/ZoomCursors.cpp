#include "toolkit/ZoomCursors.h"

#include <QPainter>
#include <QPixmap>

namespace {

// A magnifying glass 32 x 32 with its hot spot at the lens's centre; plus adds the vertical
// stroke of the sign.
QCursor MagnifierCursor(bool plus)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(12.0, 12.0);
    // The handle, dark with a light edge so it shows on any background.
    painter.setPen(QPen(Qt::white, 6.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(19.0, 19.0), QPointF(28.0, 28.0));
    painter.setPen(QPen(Qt::black, 4.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(19.0, 19.0), QPointF(28.0, 28.0));
    // The lens.
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.setPen(QPen(Qt::black, 2.0));
    painter.drawEllipse(centre, 8.0, 8.0);
    // The sign.
    painter.setPen(QPen(Qt::black, 2.0));
    painter.drawLine(QPointF(8.0, 12.0), QPointF(16.0, 12.0));
    if (plus) {
        painter.drawLine(QPointF(12.0, 8.0), QPointF(12.0, 16.0));
    }
    painter.end();
    return QCursor(pixmap, 12, 12);
}

} // namespace

QCursor ZoomInCursor()
{
    return MagnifierCursor(true);
}

QCursor ZoomOutCursor()
{
    return MagnifierCursor(false);
}
