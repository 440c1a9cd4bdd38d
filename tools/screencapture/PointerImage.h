#pragma once

#include <QImage>
#include <QPoint>

// Draws the X server's current mouse pointer into `desktopPicture`, a picture of the desktop
// whose top-left is `desktopOrigin` in points. Without the XFixes extension it draws nothing
// and says so on standard error.
void drawPointer(QImage& desktopPicture, QPoint desktopOrigin);
