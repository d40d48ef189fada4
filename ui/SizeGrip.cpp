#include "ui/SizeGrip.h"

#include <QEvent>

TSizeGrip::TSizeGrip(QWidget* parent)
    : QSizeGrip(parent)
{
    setObjectName(QStringLiteral("SizeGrip"));
    setAccessibleName(tr("Size grip"));
    setFixedSize(sizeHint());
    setCursor(Qt::SizeFDiagCursor);
    parent->installEventFilter(this);
    KeepInCorner();
}

bool TSizeGrip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        KeepInCorner();
    }
    return QSizeGrip::eventFilter(watched, event);
}

void TSizeGrip::KeepInCorner()
{
    const QWidget* owner = parentWidget();
    move(owner->width() - width(), owner->height() - height());
    raise();
}
