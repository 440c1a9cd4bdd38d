#include "app/TrayMenu.h"
#include "app/WindowManager.h"

#include "TestSupport.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>

#include <xcb/xcb.h>

using namespace pelorin;

namespace {

// Whether the tray host holds the icon: the X window Qt gives it on an XEmbed tray is mapped
// inside a window other than the root.
bool trayIconEmbedded()
{
    const auto widgets = QApplication::topLevelWidgets();
    const auto icon = std::find_if(widgets.begin(), widgets.end(), [](QWidget* w) { return w->inherits("QSystemTrayIconSys"); });
    if (icon == widgets.end() || !(*icon)->isVisible())
        return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const xcb_window_t window = (*icon)->winId();
    const auto tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    const auto attributes = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    const bool result = tree && attributes && tree->parent != tree->root && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(tree);
    free(attributes);
    xcb_disconnect(connection);
    return result;
}

} // namespace

// A capture hides the app's windows; the tray icon must stay in the tray host, whether the
// capture produced an image or the user pressed Esc.
TEST(TrayDuringCapture, TheTrayIconStaysEmbedded)
{
    QProcess trayHost;
    trayHost.start(QStringLiteral("trayer"), QStringLiteral("--edge top --align right --widthtype request --height 24").split(u' '));
    ASSERT_TRUE(trayHost.waitForStarted());
    const auto stop = qScopeGuard([&] {
        trayHost.kill();
        trayHost.waitForFinished();
    });
    ASSERT_TRUE(test::waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    QTemporaryDir dir;
    test::TempSettings settings;
    NotificationCenter notifications;
    const QString tool = dir.filePath(QStringLiteral("capture.sh"));
    settings.store().setValues({{QLatin1String(SettingsKeys::captureToolPath), tool},
                                {QLatin1String(SettingsKeys::hideWindowDuringCapture), true}});
    TrayMenu tray(notifications, settings.store(), {});
    tray.show();
    ASSERT_TRUE(test::waitUntil(trayIconEmbedded, 10000)) << "the tray host took the icon";

    WindowManager windows;
    QWidget editorWindow;
    editorWindow.setWindowTitle(QStringLiteral("Pelorin"));
    QWidget settingsWindow;
    windows.setMainWindow(&editorWindow);
    windows.addWindow(&settingsWindow);
    editorWindow.show();
    settingsWindow.show();
    EditorViewModel editor(settings.store(), notifications);
    editor.setWindowHost(&windows);

    for (const char* outcome : {"cp '" PELORIN_TEST_DATA "/capture.png' \"$out\"", "exit 1"}) {
        SCOPED_TRACE(outcome);
        ASSERT_TRUE(test::writeScript(tool, QByteArray("#!/bin/sh\neval out=\\${$#}\n") + outcome + "\n"));
        notifications.post(Notifications::triggerScreenCapture);
        ASSERT_TRUE(test::waitUntil([&] { return editor.isCapturing(); }));
        EXPECT_FALSE(settingsWindow.isVisible()) << "the app's own windows are hidden";
        ASSERT_TRUE(test::waitUntil([&] { return !editor.isCapturing(); }, 10000));
        EXPECT_TRUE(editorWindow.isVisible());
        EXPECT_TRUE(trayIconEmbedded());
        settingsWindow.show();
    }
}
