// A pinned shot under a real window manager: it stays above a window raised after it, and
// Escape closes it.

#include "TestSupport.h"
#include "platform/Pasteboard.h"
#include "ui/PinWindow.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QThread>
#include <QStandardPaths>
#include <QWidget>

using namespace pelorin;

TEST(PinWindow, StaysAboveOtherWindowsAndEscapeClosesIt)
{
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        GTEST_SKIP() << "needs openbox, a window manager that keeps windows above (scripts/deps.sh installs it)";
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    ASSERT_TRUE(windowManager.waitForStarted());
    const auto stop = qScopeGuard([&] {
        windowManager.terminate();
        windowManager.waitForFinished(5000);
    });
    QThread::msleep(500); // openbox takes over the screen before our windows map

    QImage shot(300, 200, QImage::Format_RGB32);
    shot.fill(QColor(250, 120, 0));
    QPointer<PinWindow> pin = new PinWindow(shot, systemPasteboard());
    pin->move(200, 200);
    pin->show();
    QWidget other;
    other.setStyleSheet(QStringLiteral("background: #2040c0"));
    other.setGeometry(100, 100, 600, 500);
    other.show();
    other.raise();
    other.activateWindow();
    const auto colourAt = [](int x, int y) { return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixelColor(0, 0); };
    // The other window is up when its colour shows beside the pin.
    ASSERT_TRUE(test::waitUntil([&] { return colourAt(150, 150) == QColor(0x20, 0x40, 0xc0); }, 10'000))
        << "the other window shows " << colourAt(150, 150).name().toStdString();
    EXPECT_EQ(colourAt(350, 300), QColor(250, 120, 0)) << "the pin is above the window raised after it";
    EXPECT_EQ(pin->size(), QSize(300, 200)) << "at its point size";

    pin->activateWindow();
    ASSERT_TRUE(test::waitUntil([&] { return pin->isActiveWindow(); }, 5000));
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    EXPECT_TRUE(test::waitUntil([&] { return pin.isNull(); }, 5000)) << "Escape closed the pin";
}
