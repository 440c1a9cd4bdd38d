#include "TestSupport.h"

#include "app/TrayMenu.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>

using namespace pelorin;

namespace {

QAction* actionTitled(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->text() == title)
            return action;
    return nullptr;
}

} // namespace

TEST(TrayMenu, ItemsInOrderPostTheirMessagesOrCallBack)
{
    test::TempSettings settings;
    NotificationCenter notifications;
    QStringList posted;
    QObject context;
    for (const QString& name : {Notifications::triggerScreenCapture, Notifications::triggerWindowCapture,
                                Notifications::openLastScreenshot, Notifications::triggerCapture,
                                Notifications::reopenClosedScreenshot})
        notifications.observe(name, &context, [&posted, name](const QVariant& object) {
            posted << name + object.toMap().value(QStringLiteral("mode")).toString();
        });
    QStringList called;
    TrayMenu tray(notifications, settings.store(),
                  {[&] { called << QStringLiteral("open"); }, [&] { called << QStringLiteral("uploads"); },
                   [&] { called << QStringLiteral("settings"); }, [&] { called << QStringLiteral("updates"); },
                   [&] { called << QStringLiteral("quit"); }});
    QStringList titles;
    for (QAction* action : tray.menu()->actions()) {
        titles << (action->isSeparator() ? QStringLiteral("—") : action->text());
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        EXPECT_FALSE(action->isChecked());
        if (!action->isSeparator() && !action->menu() && !action->isCheckable() && action->text() != u"Format Copied JSON")
            action->trigger();
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Capture Region"), QStringLiteral("Capture Window"), QStringLiteral("Capture Full Screen"),
                                   QStringLiteral("Capture Last Region"), QStringLiteral("Delay"), QStringLiteral("Include Mouse Pointer"),
                                   QStringLiteral("—"),
                                   QStringLiteral("Open Pelorin"), QStringLiteral("Open Last Screenshot"),
                                   QStringLiteral("Reopen Closed Screenshot"),
                                   QStringLiteral("Uploads..."), QStringLiteral("Format Copied JSON"),
                                   QStringLiteral("Settings..."), QStringLiteral("Check for Updates…"), QStringLiteral("—"),
                                   QStringLiteral("Quit Pelorin")}));
    EXPECT_EQ(actionTitled(tray.menu(), QStringLiteral("Settings..."))->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(actionTitled(tray.menu(), QStringLiteral("Quit Pelorin"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(posted, (QStringList{Notifications::triggerScreenCapture, Notifications::triggerWindowCapture,
                                   Notifications::triggerCapture + QStringLiteral("fullScreen"),
                                   Notifications::triggerCapture + QStringLiteral("lastRegion"), Notifications::openLastScreenshot,
                                   Notifications::reopenClosedScreenshot}));
    EXPECT_EQ(called, (QStringList{QStringLiteral("open"), QStringLiteral("uploads"), QStringLiteral("settings"),
                                   QStringLiteral("updates"), QStringLiteral("quit")}));

    // The delay and the pointer are settings the marks follow.
    QMenu* delay = actionTitled(tray.menu(), QStringLiteral("Delay"))->menu();
    actionTitled(delay, QStringLiteral("5 Seconds"))->trigger();
    EXPECT_EQ(settings.store().doubleValue(QLatin1String(SettingsKeys::captureDelay), 0), 5.0);
    settings.store().setValue(QLatin1String(SettingsKeys::captureDelay), 10.0);
    EXPECT_TRUE(actionTitled(delay, QStringLiteral("10 Seconds"))->isChecked());
    EXPECT_FALSE(actionTitled(delay, QStringLiteral("5 Seconds"))->isChecked());
    actionTitled(tray.menu(), QStringLiteral("Include Mouse Pointer"))->trigger();
    EXPECT_TRUE(settings.store().boolValue(QLatin1String(SettingsKeys::captureIncludesPointer)));

    const QString key = QLatin1String(SettingsKeys::formatCopiedJSON);
    settings.store().registerDefaults({{key, true}});
    actionTitled(tray.menu(), QStringLiteral("Format Copied JSON"))->trigger();
    EXPECT_FALSE(settings.store().boolValue(key, true));
    actionTitled(tray.menu(), QStringLiteral("Format Copied JSON"))->trigger();
    EXPECT_TRUE(settings.store().boolValue(key, false));
}

TEST(TrayMenu, IconAppearsInARealTray)
{
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "needs an X server";
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    ASSERT_FALSE(trayer.isEmpty()) << "install trayer (scripts/deps.txt)";
    QProcess host;
    host.start(trayer, {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
                        QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24")});
    ASSERT_TRUE(host.waitForStarted());
    EXPECT_TRUE(test::waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    test::TempSettings settings;
    NotificationCenter notifications;
    TrayMenu tray(notifications, settings.store(), {});
    tray.show();
    EXPECT_TRUE(tray.icon()->isVisible());
    EXPECT_FALSE(tray.icon()->icon().isNull());
    EXPECT_TRUE(test::waitUntil([&] { return tray.icon()->geometry().width() > 0; }, 5000)) << "the host embedded the icon";
    host.terminate();
    host.waitForFinished(3000);
}
