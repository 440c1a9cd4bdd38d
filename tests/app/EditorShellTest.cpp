// The editor window as the shell assembles it: its menu bar, the tray's menu and the keys
// of both.

#include "TestSupport.h"

#include "app/ApplicationMenu.h"
#include "app/TrayMenu.h"
#include "app/WindowPlacement.h"
#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "ui/EditorWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>
#include <set>

using namespace pelorin;

namespace {

class EditorShell : public ::testing::Test {
protected:
    EditorShell()
    {
        loadBundledFonts();
        editor->setScreenScaleProvider([] { return 1.0; });
        const ApplicationMenuActions actions{{}, [this] { ++settingsOpened; }, quitApplication, [this] { ++pins; }};
        window->layout()->setMenuBar(buildApplicationMenu(*editor, actions, window.get()));
    }
    void openImage()
    {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        editor->loadImage(image, SourceType::file, false);
    }

    static QAction* titled(const QList<QAction*>& actions, const QString& title)
    {
        for (QAction* action : actions) {
            if (action->text() == title)
                return action;
            if (action->menu())
                if (QAction* inner = titled(action->menu()->actions(), title))
                    return inner;
        }
        return nullptr;
    }
    QAction* menuAction(const QString& title) const { return titled(window->findChild<QMenuBar*>()->actions(), title); }

    test::TempSettings settings;
    NotificationCenter notifications;
    std::unique_ptr<EditorViewModel> editor = std::make_unique<EditorViewModel>(settings.store(), notifications);
    std::unique_ptr<EditorWindow> window = std::make_unique<EditorWindow>(*editor);
    int settingsOpened = 0;
    int pins = 0;
};

} // namespace

TEST_F(EditorShell, EveryQuitEndsTheAppTheFirstTime)
{
    // As in the app, closing the last window is no quitting.
    QApplication::setQuitOnLastWindowClosed(false);
    const auto restore = qScopeGuard([] { QApplication::setQuitOnLastWindowClosed(true); });
    TrayMenu tray(notifications, settings.store(), {{}, {}, {}, {}, quitApplication});
    QWidget other; // Settings or Uploads, open beside the editor
    openImage();
    const struct { const char* name; std::function<void()> quit; } entries[] = {
        {"tray Quit Pelorin", [&] { titled(tray.menu()->actions(), QStringLiteral("Quit Pelorin"))->trigger(); }},
        {"File > Quit", [&] { menuAction(QStringLiteral("Quit"))->trigger(); }},
        {"Ctrl+Q in the editor", [&] { QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier); }},
    };
    for (const auto& entry : entries) {
        window->show();
        other.show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTimer::singleShot(0, entry.quit);
        QObject guard; // ends with this round, and its timer with it
        QTimer::singleShot(5000, &guard, [] { QCoreApplication::exit(7); });
        EXPECT_EQ(QApplication::exec(), 0) << entry.name << ": the app stayed after one Quit";
        EXPECT_TRUE(editor->hasDocument()) << entry.name;
    }
}

TEST_F(EditorShell, EveryKeyIsBoundOnceAndReachesItsAction)
{
    EXPECT_FALSE(menuAction(QStringLiteral("Zoom to Fit"))->isEnabled()) << "nothing to zoom without a document";
    EXPECT_FALSE(menuAction(QStringLiteral("Pin to Screen"))->isEnabled()) << "nothing to pin without a document";
    openImage();
    // Every key a window of the editor reacts to, with what takes it. Qt gives a key bound
    // twice in one window to neither ("Ambiguous shortcut overload").
    std::map<QString, QStringList> owners;
    const auto add = [&](const QKeySequence& keys, const QString& owner) {
        if (!keys.isEmpty())
            owners[keys.toString(QKeySequence::PortableText)] << owner;
    };
    std::set<QAction*> seen; // an action in a menu and in the window is one binding
    std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            if (!seen.insert(action).second)
                continue;
            if (action->menu())
                walk(action->menu()->actions());
            for (const QKeySequence& keys : action->shortcuts())
                add(keys, action->text());
        }
    };
    walk(window->findChild<QMenuBar*>()->actions());
    walk(window->actions());
    for (const QShortcut* shortcut : window->findChildren<QShortcut*>())
        add(shortcut->key(), QStringLiteral("shortcut"));
    // The editor's own keys (tool digits, Esc, Ctrl+W) and the canvas's (Delete, arrows, Space).
    for (const char* keys : {"1", "2", "3", "4", "5", "Esc", "Ctrl+W", "Del", "Backspace", "Left", "Space"})
        add(QKeySequence(QString::fromLatin1(keys)), QStringLiteral("editor keys"));
    for (const auto& [keys, takers] : owners)
        EXPECT_EQ(takers.size(), 1) << keys.toStdString() << " is bound to " << takers.join(u", ").toStdString();
    EXPECT_GE(owners.size(), 20u) << "the walk found the menus";
    for (const char* keys : {"Ctrl+O", "Ctrl+,", "Ctrl+Q", "Ctrl+=", "Ctrl+-", "Ctrl+0", "Ctrl+S", "Ctrl+C", "Ctrl+P"})
        EXPECT_TRUE(owners.count(QLatin1String(keys))) << keys;

    // The View menu's keys reach their actions.
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const double zoom = editor->canvasTransform().zoomLevel;
    QTest::keyClick(window.get(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_LT(editor->canvasTransform().zoomLevel, zoom) << "Ctrl+- zooms out";
    QTest::keyClick(window.get(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, zoom) << "Ctrl+= zooms back in";
    QTest::keyClick(window.get(), Qt::Key_Comma, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(pins, 1);
}

TEST_F(EditorShell, TheWindowKeepsItsPlaceAcrossHidesAndRestarts)
{
    openImage();
    const QString key = QStringLiteral("editorWindowGeometry");
    new WindowPlacement(*window, settings.store(), key);
    window->setGeometry(310, 220, 900, 640);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QRect placed = window->geometry();
    window->hide(); // a copy, a save, Esc, a capture
    window->move(0, 0);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->geometry(), placed);
    window->close();

    // The next start: a new window over the same settings.
    SettingsStore restarted(settings.path());
    EditorWindow next(*editor);
    new WindowPlacement(next, restarted, key);
    next.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
    EXPECT_EQ(next.geometry(), placed);
}

TEST_F(EditorShell, TrayMenuItemsInOrderPostTheirMessagesOrCallBack)
{
    QStringList posted;
    QObject context;
    for (const QString& name : {Notifications::triggerScreenCapture, Notifications::triggerWindowCapture,
                                Notifications::openLastScreenshot, Notifications::triggerCapture,
                                Notifications::reopenClosedScreenshot})
        notifications.observe(name, &context, [&posted, name](const QVariant& object) {
            posted << name + object.toMap().value(QStringLiteral("mode")).toString();
        });
    QStringList called;
    const auto call = [&called](const char* name) { return [&called, name] { called << QLatin1String(name); }; };
    TrayMenu tray(notifications, settings.store(), {call("open"), call("uploads"), call("settings"), call("updates"), call("quit")});
    QStringList titles;
    for (QAction* action : tray.menu()->actions()) {
        titles << (action->isSeparator() ? QStringLiteral("—") : action->text());
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        EXPECT_FALSE(action->isChecked());
        if (!action->isSeparator() && !action->menu() && !action->isCheckable() && action->text() != u"Format Copied JSON")
            action->trigger();
    }
    EXPECT_EQ(titles.join(u'|'), QStringLiteral("Capture Region|Capture Window|Capture Full Screen|Capture Last Region|Delay|"
                                                "Include Mouse Pointer|—|Open Pelorin|Open Last Screenshot|"
                                                "Reopen Closed Screenshot|Uploads...|Format Copied JSON|Settings...|"
                                                "Check for Updates…|—|Quit Pelorin"));
    EXPECT_EQ(titled(tray.menu()->actions(), QStringLiteral("Settings..."))->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(titled(tray.menu()->actions(), QStringLiteral("Quit Pelorin"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(posted, (QStringList{Notifications::triggerScreenCapture, Notifications::triggerWindowCapture,
                                   Notifications::triggerCapture + QStringLiteral("fullScreen"),
                                   Notifications::triggerCapture + QStringLiteral("lastRegion"), Notifications::openLastScreenshot,
                                   Notifications::reopenClosedScreenshot}));
    EXPECT_EQ(called.join(u'|'), QStringLiteral("open|uploads|settings|updates|quit"));

    // The delay and the pointer are settings the marks follow.
    QMenu* delay = titled(tray.menu()->actions(), QStringLiteral("Delay"))->menu();
    titled(delay->actions(), QStringLiteral("5 Seconds"))->trigger();
    EXPECT_EQ(settings.store().doubleValue(QLatin1String(SettingsKeys::captureDelay), 0), 5.0);
    settings.store().setValue(QLatin1String(SettingsKeys::captureDelay), 10.0);
    EXPECT_TRUE(titled(delay->actions(), QStringLiteral("10 Seconds"))->isChecked());
    EXPECT_FALSE(titled(delay->actions(), QStringLiteral("5 Seconds"))->isChecked());
    titled(tray.menu()->actions(), QStringLiteral("Include Mouse Pointer"))->trigger();
    EXPECT_TRUE(settings.store().boolValue(QLatin1String(SettingsKeys::captureIncludesPointer)));

    const QString key = QLatin1String(SettingsKeys::formatCopiedJSON);
    settings.store().registerDefaults({{key, true}});
    titled(tray.menu()->actions(), QStringLiteral("Format Copied JSON"))->trigger();
    EXPECT_FALSE(settings.store().boolValue(key, true));
    titled(tray.menu()->actions(), QStringLiteral("Format Copied JSON"))->trigger();
    EXPECT_TRUE(settings.store().boolValue(key, false));
    EXPECT_FALSE(tray.icon()->icon().isNull()) << "the tray shows an icon";
}
