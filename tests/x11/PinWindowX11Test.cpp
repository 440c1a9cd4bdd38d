// A pinned shot under a real window manager, handled with the real pointer: it stays above a
// window raised after it, drags, zooms with the wheel, fades with Ctrl+wheel, copies from its
// menu, and Escape closes it.

#include "TestSupport.h"
#include "platform/Pasteboard.h"
#include "ui/PinWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
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

    const auto xdotool = [](const QString& arguments) { QProcess::execute(QStringLiteral("xdotool"), arguments.split(u' ')); };
    const QPoint from = pin->pos();
    xdotool(QStringLiteral("mousemove 350 300 mousedown 1 mousemove 400 330 mousemove 450 350 mouseup 1"));
    EXPECT_TRUE(test::waitUntil([&] { return pin->pos() == from + QPoint(100, 50); }, 5000)) << "dragged";
    xdotool(QStringLiteral("mousemove 500 400 click 4"));
    EXPECT_TRUE(test::waitUntil([&] { return pin->size() == QSize(330, 220); }, 5000)) << "the wheel zooms";
    xdotool(QStringLiteral("keydown ctrl click 5 click 5 keyup ctrl"));
    EXPECT_TRUE(test::waitUntil([&] { return qAbs(pin->windowOpacity() - 0.8) < 0.02; }, 5000)) << "Ctrl+wheel fades";

    QGuiApplication::clipboard()->clear();
    xdotool(QStringLiteral("click 3"));
    ASSERT_TRUE(test::waitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, 5000));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QStringList items;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            items << action->text();
    EXPECT_EQ(items, QStringList({QStringLiteral("Copy"), QStringLiteral("Save As…"), QStringLiteral("Close")}));
    menu->actions().constFirst()->trigger();
    menu->close();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_EQ(QImage::fromData(copied->data(QStringLiteral("image/png"))).pixelColor(150, 100), QColor(250, 120, 0)) << "copied";

    pin->activateWindow();
    ASSERT_TRUE(test::waitUntil([&] { return pin->isActiveWindow(); }, 5000));
    xdotool(QStringLiteral("key Escape"));
    EXPECT_TRUE(test::waitUntil([&] { return pin.isNull(); }, 5000)) << "Escape closed the pin";
}
