#pragma once

#include <QString>

#include <QSize>

// What the tool knows of the screens: the outputs' largest scale, and the whole desktop's size
// in points (empty when unknown).
struct ScreenScale {
    double largest = 1.0;
    QSize desktopPoints;
};

// Asks the desktop portal for a screenshot (interactive: the desktop lets the user choose what;
// otherwise the whole screen) and writes it to `output` as PNG, stamped with its pixels per
// point. Reports every failure on standard error. Returns the exit code: 0 written,
// 1 cancelled, 2 the portal is unavailable or failed.
int portalScreenshot(const QString& output, bool interactive, const ScreenScale& screens);
