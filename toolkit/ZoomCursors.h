#pragma once

#include <QCursor>

// The magnifier pointers of the zoomable picture view: with a plus for zooming in (the view's
// pointer at rest and while the left button is down) and with a minus for zooming out (while
// the right button is down). Drawn by the program, so no theme is needed.
QCursor ZoomInCursor();
QCursor ZoomOutCursor();
