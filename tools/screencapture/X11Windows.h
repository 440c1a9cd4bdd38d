#pragma once

#include <QList>
#include <QRect>

// Top-level windows of an X11 desktop, front-most first, with the area a window capture
// takes: the window with its frame, without the shadow margins client-side decorations add.
QList<QRect> x11WindowRects();
