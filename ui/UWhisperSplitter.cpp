#include "ui/UWhisperSplitter.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QSplitterHandle>

#include <algorithm>

QRect WhisperGripZone(int barWidth, int barHeight, int gripCount)
{
    const int margin = (barHeight - 4 * gripCount) / 2;
    return QRect(QPoint(0, margin), QPoint(barWidth, barHeight - margin));
}

TWhisperSplitter::TWhisperSplitter(QSplitter* splitter, QWidget* panel)
    : Splitter(splitter)
    , Panel(panel)
{
    const int index = splitter->indexOf(panel);
    if (index > 0 && index < splitter->count()) {
        FBar = splitter->handle(index); // the bar before the panel
    } else if (index == 0 && splitter->count() > 1) {
        FBar = splitter->handle(1); // the bar after it
    }
    NormalColor = FBar != nullptr ? FBar->palette().color(QPalette::Window) : QColor(Qt::gray);
    FColor = NormalColor;
    SavedSize = PanelSize();
    TargetSize = SavedSize;
    if (FBar != nullptr) {
        FBar->installEventFilter(this);
        FBar->setAttribute(Qt::WA_Hover);
        FBar->setToolTip(tr("Click the grip to hide or show the panel"));
    }
}

TWhisperSplitter::~TWhisperSplitter()
{
    if (FBar != nullptr) {
        FBar->removeEventFilter(this);
    }
}

bool TWhisperSplitter::PanelAfterBar() const
{
    return Splitter->indexOf(Panel) > 0;
}

int TWhisperSplitter::PanelSize() const
{
    return Splitter->orientation() == Qt::Horizontal ? Panel->width() : Panel->height();
}

int TWhisperSplitter::MinSize() const
{
    const int minimum =
        Splitter->orientation() == Qt::Horizontal ? Panel->minimumWidth() : Panel->minimumHeight();
    return std::max(minimum, 0);
}

void TWhisperSplitter::SplitterMouseEnter()
{
    FColor = HotColor;
    if (FBar != nullptr) {
        FBar->update();
    }
    if (HoverRestore) {
        RestoreIfCollapsed();
    }
}

void TWhisperSplitter::SplitterMouseLeave()
{
    FColor = NormalColor;
    if (FBar != nullptr) {
        FBar->update();
    }
}

void TWhisperSplitter::RestoreIfCollapsed()
{
    if (MinSize() >= PanelSize()) {
        TargetSize = SavedSize;
        Collapsed = false;
        SplitterMoved();
    }
}

void TWhisperSplitter::SplitterMoved()
{
    const int size = PanelSize();
    if (size != SavedSize && size != MinSize()) {
        TargetSize = size;
    }
    SetPanelSize(TargetSize);
    Collapsed = MinSize() >= PanelSize();
    Panel->update();
}

void TWhisperSplitter::Toggle()
{
    if (PanelSize() > MinSize()) {
        SavedSize = PanelSize();
        TargetSize = MinSize();
        Collapsed = true;
    } else {
        TargetSize = SavedSize;
        Collapsed = false;
    }
}

bool TWhisperSplitter::SplitterClick(const QPoint& position)
{
    if (FBar == nullptr ||
        !WhisperGripZone(FBar->width(), FBar->height(), GripCount).contains(position)) {
        return false;
    }
    Toggle();
    return true;
}

void TWhisperSplitter::SplitterDblClick()
{
    Toggle();
}

void TWhisperSplitter::SetPanelSize(int size)
{
    QList<int> sizes = Splitter->sizes();
    const int index = Splitter->indexOf(Panel);
    const int neighbour = PanelAfterBar() ? index - 1 : index + 1;
    if (index < 0 || neighbour < 0 || neighbour >= sizes.size()) {
        return;
    }
    const int both = sizes[index] + sizes[neighbour];
    const int wanted = std::clamp(size, 0, both);
    sizes[neighbour] = both - wanted;
    sizes[index] = wanted;
    Splitter->setSizes(sizes);
}

void TWhisperSplitter::PaintBar()
{
    QPainter painter(FBar);
    const QRect area = FBar->rect();
    const bool across = Splitter->orientation() == Qt::Horizontal; // a left or right bar
    QLinearGradient gradient(area.topLeft(), across ? area.topRight() : area.bottomLeft());
    const QColor half(FColor.red() / 2, FColor.green() / 2, FColor.blue() / 2);
    gradient.setColorAt(0.0, FColor);
    gradient.setColorAt(1.0, half);
    painter.fillRect(area, gradient);
    if (GripBitmap.isNull()) {
        return;
    }
    const int w = GripBitmap.width();
    const int h = GripBitmap.height();
    for (int k = 0; k < GripCount; ++k) {
        if (across) {
            painter.drawPixmap(
                (area.width() - w) / 2, (area.height() - h * GripCount) / 2 + k * h, GripBitmap);
        } else {
            painter.drawPixmap(
                (area.width() - w * GripCount) / 2 + k * h, (area.height() - h) / 2, GripBitmap);
        }
    }
}

bool TWhisperSplitter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != FBar) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::Paint:
        PaintBar();
        return true;
    case QEvent::Enter:
        SplitterMouseEnter();
        break;
    case QEvent::Leave:
        SplitterMouseLeave();
        break;
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            FPressSize = PanelSize();
        }
        break;
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            // The first click of the pair may have toggled already; a double click toggles once.
            const bool toggledByFirstClick = FToggledAt >= 0 &&
                qint64(mouse->timestamp()) - FToggledAt <= QApplication::doubleClickInterval();
            if (!toggledByFirstClick) {
                SplitterDblClick();
                SplitterMoved();
            }
            FToggledAt = -1;
            FAfterDoubleClick = true;
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) {
            break;
        }
        // Let the splitter finish a drag first (without coming back here).
        FBar->removeEventFilter(this);
        QCoreApplication::sendEvent(FBar, event);
        FBar->installEventFilter(this);
        if (FAfterDoubleClick) {
            FAfterDoubleClick = false;
        } else if (PanelSize() == FPressSize) {
            if (SplitterClick(mouse->position().toPoint())) {
                FToggledAt = qint64(mouse->timestamp());
            }
        }
        FPressSize = -1;
        SplitterMoved();
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
