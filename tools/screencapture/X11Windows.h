#pragma once

#include <QImage>
#include <QList>
#include <QRect>

// Top-level windows of an X11 desktop, front-most first, with the area a window capture
// takes: the window with its frame, without the shadow margins client-side decorations add.
QList<QRect> x11WindowRects();

// The root window's pixels in `area` (device pixels), handed over in shared memory: the
// server writes them straight into the tool's memory instead of sending megabytes over the
// socket. A null image where shared memory cannot be used (a remote display, an unusual
// pixel layout); the caller then asks Qt.
QImage x11GrabRootShared(const QRect& area);
