#pragma once

#include <QString>

// Asks the desktop portal for an interactive screenshot and writes it to `output` as PNG.
// Returns the exit code: 0 written, 1 cancelled, 2 the portal is unavailable or failed.
int portalScreenshot(const QString& output);
