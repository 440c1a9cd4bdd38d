#include "app/TrayMenu.h"
#include "app/WindowManager.h"

#include "TestSupport.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

using namespace pelorin;

namespace {

// The X window that holds the tray icon: Qt's own top-level on an XEmbed tray.
QWidget* trayIconWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QSystemTrayIconSys"))
            return widget;
    return nullptr;
}

// Whether the tray host holds the icon: its window is mapped inside a window other than the root.
bool embedded(QWidget* window)
{
    if (!window || !window->isVisible())
        return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const auto tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window->winId()), nullptr);
    const auto attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window->winId()), nullptr);
    const bool result = tree && attributes && tree->parent != tree->root && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(tree);
    free(attributes);
    xcb_disconnect(connection);
    return result;
}

class TrayDuringCapture : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        trayHost.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                                 QStringLiteral("right"), QStringLiteral("--widthtype"),
                                                 QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24")});
        ASSERT_TRUE(trayHost.waitForStarted());
        ASSERT_TRUE(test::waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    }
    void TearDown() override
    {
        trayHost.kill();
        trayHost.waitForFinished();
    }

    QProcess trayHost;
    QTemporaryDir dir;
    test::TempSettings settings;
    NotificationCenter notifications;
};

} // namespace

// A capture hides the app's windows; the tray icon must stay in the tray host, whether the
// capture produced an image or the user pressed Esc.
TEST_P(TrayDuringCapture, TheTrayIconStaysEmbedded)
{
    const QString tool = dir.filePath(QStringLiteral("capture.sh"));
    QFile script(tool);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QByteArray("#!/bin/sh\neval out=\\${$#}\n") + GetParam() + "\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    settings.store().setValues({{QLatin1String(SettingsKeys::captureToolPath), tool},
                                {QLatin1String(SettingsKeys::hideWindowDuringCapture), true}});

    TrayMenu tray(notifications, settings.store(), {});
    tray.show();
    QWidget* icon = nullptr;
    ASSERT_TRUE(test::waitUntil([&] { return embedded(icon = trayIconWindow()); }, 10000)) << "the tray host took the icon";

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

    notifications.post(Notifications::triggerScreenCapture);
    ASSERT_TRUE(test::waitUntil([&] { return editor.isCapturing(); }));
    EXPECT_FALSE(settingsWindow.isVisible()) << "the app's own windows are hidden";
    ASSERT_TRUE(test::waitUntil([&] { return !editor.isCapturing(); }, 10000));
    EXPECT_TRUE(editorWindow.isVisible());
    EXPECT_TRUE(embedded(trayIconWindow()));
}

INSTANTIATE_TEST_SUITE_P(Outcomes, TrayDuringCapture,
                         ::testing::Values("cp '" PELORIN_TEST_DATA "/capture.png' \"$out\"", "exit 1"),
                         [](const ::testing::TestParamInfo<const char*>& param) { return param.index == 0 ? "Captured" : "Cancelled"; });
