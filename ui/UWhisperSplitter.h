#pragma once

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QRect>

class QSplitter;
class QSplitterHandle;
class QWidget;

// The grip zone of a splitter bar: the bar's full width, and a band of 4 pixels per grip copy
// centred in its height (computed from the height for both orientations); halves truncate
// toward zero.
QRect WhisperGripZone(int barWidth, int barHeight, int gripCount);

// Gives one bar of a splitter a painted look and a one-click collapse: the bar is filled with
// a gradient from its colour to half of it, with the grip picture drawn GripCount times in its
// middle; it turns HotColor while the mouse is over it; a click in the grip zone or a double
// click anywhere collapses the panel the bar sizes to its minimum size, and the same again
// restores the size it had. A size reached by dragging the bar becomes the size restored after
// the next collapse.
//
// The bar is the splitter's handle between the panel and its neighbour; the panel lies on the
// far side of the bar (right or bottom, when it follows the bar in the splitter) or the near
// side (left or top). The panel's minimum size in the splitter's direction is the bar's
// minimum size. The object takes over the bar's painting and mouse handling through an event
// filter; dragging still works as usual. Lives on the main thread; the creator owns it and the
// grip picture (a copy is kept).
class TWhisperSplitter : public QObject {
    Q_OBJECT

public:
    // The bar of the splitter next to the panel (one of the splitter's widgets).
    TWhisperSplitter(QSplitter* splitter, QWidget* panel);
    ~TWhisperSplitter() override;

    QSplitter* Splitter = nullptr;
    QWidget* Panel = nullptr;
    bool HoverRestore = false;
    QPixmap GripBitmap;
    int GripCount = 10;
    QColor NormalColor;
    QColor HotColor = QColor(0xFF, 0xFF, 0xFF);
    bool Collapsed = false;
    int SavedSize = 0;
    int TargetSize = 0;

    // The bar this object serves, or null when the panel is not next to a bar.
    QSplitterHandle* Bar() const { return FBar; }
    // The bar's colour now (HotColor while the mouse is over it).
    QColor CurrentColor() const { return FColor; }
    // The panel's size in the splitter's direction, and the smallest size it may have.
    int PanelSize() const;
    int MinSize() const;

    // The bar's handlers.
    void SplitterMouseEnter();
    void SplitterMouseLeave();
    // A click at a point of the bar: toggles when the point lies in the grip zone (true then).
    bool SplitterClick(const QPoint& position);
    void SplitterDblClick();
    // Takes a dragged size as the new target and gives the panel the target size.
    void SplitterMoved();
    // Restores a collapsed panel.
    void RestoreIfCollapsed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Toggle();
    void SetPanelSize(int size);
    void PaintBar();
    // The panel follows the bar (right or bottom of it).
    bool PanelAfterBar() const;

    QSplitterHandle* FBar = nullptr;
    QColor FColor;
    int FPressSize = -1;
    qint64 FToggledAt = -1;
    bool FAfterDoubleClick = false;
};
