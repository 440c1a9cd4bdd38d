// The app's parts that meet the X server and other X clients: the clipboard shared with other
// applications, the global shortcut, a pinned shot under a real window manager and the tray
// icon in a real tray host. Keys and the pointer are driven by xdotool, as a user would.

#include "TestSupport.h"
#include "app/GlobalShortcut.h"
#include "app/TrayMenu.h"
#include "app/WindowManager.h"
#include "editor/EditorViewModel.h"
#include "platform/ClipboardJsonService.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsKeys.h"
#include "platform/X11HotKeys.h"
#include "ui/PinWindow.h"
#include "ui/ShortcutRecorderView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace pelorin;

namespace {

// Grabs and focus apply, as to a user's keys and clicks.
void xdotool(const QString& arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments.split(u' '));
    ASSERT_TRUE(process.waitForFinished(10000));
    ASSERT_EQ(process.exitCode(), 0) << arguments.toStdString() << process.readAllStandardError().toStdString();
}

void press(const char* keys)
{
    xdotool(QStringLiteral("key ") + QLatin1String(keys));
}

// Another program on the display (a window manager, a tray host) while it lives.
struct Beside {
    Beside(const char* program, const char* arguments)
    {
        process.start(QLatin1String(program), QString::fromLatin1(arguments).split(u' '));
        EXPECT_TRUE(process.waitForStarted()) << program;
    }
    ~Beside()
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
};

// A second X client that holds a key grab of its own while it lives.
struct OtherGrabber {
    explicit OtherGrabber(xcb_keycode_t keyCode)
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const auto cookie = xcb_grab_key_checked(connection, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT, keyCode,
                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(connection, cookie);
        grabbed = error == nullptr;
        std::free(error);
    }
    ~OtherGrabber() { xcb_disconnect(connection); }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    bool grabbed = false;
};

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

// The running service rewrites a copy once, taking the clipboard over; one it must leave alone
// (the types the other application offers say so) keeps its owner and its text.
TEST(ClipboardJsonX11, CopiesFromOtherApplicationsAreRewrittenOrLeftAlone)
{
    const QString compact = QStringLiteral(R"({"b":1,"a":[true,{}],"s":"x, y: {z}"})");
    const QString formatted = QStringLiteral("{\n  \"b\": 1,\n  \"a\": [\n    true,\n    {}\n  ],\n  \"s\": \"x, y: {z}\"\n}");
    const struct { const char* name; QStringList extraTypes; bool rewritten; } cases[] = {
        {"plain JSON", {}, true},
        {"JSON from a password manager", {QStringLiteral("x-kde-passwordManagerHint")}, false},
        {"JSON next to a file list", {QStringLiteral("text/uri-list")}, false},
        {"JSON with an unrelated extra type", {QStringLiteral("application/x-test")}, true},
    };
    Pasteboard& pasteboard = systemPasteboard();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempSettings settings;
        ClipboardJsonService service(pasteboard, settings.store());
        service.start();
        // The other application holds the clipboard until another client takes over.
        const int before = pasteboard.changeCount();
        QProcess other;
        other.start(QStringLiteral(CLIPBOARD_OWNER), QStringList{compact} + c.extraTypes);
        ASSERT_TRUE(test::waitUntil([&] { return pasteboard.changeCount() != before && pasteboard.text() == compact; }));
        const int seen = pasteboard.changeCount();
        if (c.rewritten) {
            ASSERT_TRUE(test::waitUntil([&] { return pasteboard.text() == formatted; }));
            EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard()) << "the other application's offer is gone";
        } else {
            service.tick();
            EXPECT_EQ(pasteboard.text(), compact);
            EXPECT_EQ(pasteboard.changeCount(), seen);
            EXPECT_EQ(other.state(), QProcess::Running);
        }
    }
}

// The app's global shortcut with its settings; the test presses keys through the X server.
class GlobalShortcutX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        notifications.observe(Notifications::triggerScreenCapture, &context, [&](const QVariant&) { ++captures; });
        std::unique_ptr<X11HotKeys> created = X11HotKeys::create();
        ASSERT_NE(created, nullptr);
        hotKeys = created.get();
        shortcut = std::make_unique<GlobalShortcut>(settings.store(), notifications, std::move(created));
    }
    void store(const char* key, qint64 modifiers)
    {
        settings.store().setValues({{QLatin1String(SettingsKeys::captureShortcutKey), QString::fromUtf8(key)},
                                    {QLatin1String(SettingsKeys::captureShortcutModifiers), modifiers}});
        notifications.post(Notifications::shortcutChanged);
    }
    // Presses `keys`, then a combination known to trigger: key events arrive in order, so once
    // the second has counted, the first has had its chance.
    int capturesFrom(const char* keys, const char* sentinel)
    {
        const int before = captures;
        press(keys);
        press(sentinel);
        EXPECT_TRUE(test::waitUntil([&] { return captures > before; }));
        test::waitUntil([] { return false; }, 100);
        return captures - before - 1;
    }

    test::TempSettings settings;
    NotificationCenter notifications;
    int captures = 0;
    QObject context;
    X11HotKeys* hotKeys = nullptr;
    std::unique_ptr<GlobalShortcut> shortcut;
};

// The stored shortcut, pressed anywhere, starts a capture, with Caps Lock or Num Lock on too.
TEST_F(GlobalShortcutX11, PressingTheShortcutAnywhereStartsACapture)
{
    // The stored key and modifiers, keys pressed, then the sentinel; `lock` is on around them.
    struct Case { const char* key; qint64 modifiers; const char* keys, *sentinel; int captures; const char* lock = nullptr; };
    const Case cases[] = {
        {"1", 3, "ctrl+shift+1", "ctrl+shift+1", 1},
        {"1", 3, "ctrl+1", "ctrl+shift+1", 0},
        {"1", 3, "ctrl+shift+alt+1", "ctrl+shift+1", 0},
        {"1", 3, "1", "ctrl+shift+1", 0},
        {"k", 8, "super+k", "super+k", 1},
        {"K", 1 | 4, "ctrl+alt+k", "ctrl+alt+k", 1},
        {"1", 3, "ctrl+shift+1", "ctrl+shift+1", 1, "Caps_Lock"},
        {"1", 3, "ctrl+shift+1", "ctrl+shift+1", 1, "Num_Lock"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys) + (c.lock ? c.lock : ""));
        store(c.key, c.modifiers);
        if (c.lock)
            press(c.lock);
        EXPECT_EQ(capturesFrom(c.keys, c.sentinel), c.captures);
        if (c.lock)
            press(c.lock);
    }
}

// One recorded in the settings field replaces it, and the old one is free again for other
// clients. One another client holds is logged, and the app runs on without a shortcut.
TEST_F(GlobalShortcutX11, RecordingANewShortcutReplacesTheOldOne)
{
    ShortcutRecorderView view(settings.store(), notifications);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    EXPECT_EQ(view.text(), QStringLiteral("Ctrl+Shift+1"));
    QTest::mouseClick(&view, Qt::LeftButton);
    ASSERT_TRUE(view.isRecording());
    // Swallowed and ignored: recording goes on.
    press("Escape");
    press("alt+shift+k");
    press("ctrl+shift+4");
    ASSERT_TRUE(test::waitUntil([&] { return !view.isRecording(); }));
    EXPECT_EQ(view.text(), QStringLiteral("Ctrl+Shift+4"));
    EXPECT_EQ(capturesFrom("ctrl+shift+1", "ctrl+shift+4"), 0);
    EXPECT_TRUE(OtherGrabber(hotKeys->keyCodeFor('1')).grabbed);

    OtherGrabber other(hotKeys->keyCodeFor('3'));
    ASSERT_TRUE(other.grabbed);
    testing::internal::CaptureStderr();
    store("3", 3);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "Pelorin: RegisterEventHotKey failed (10) — shortcut may be taken by another app\n");
    EXPECT_FALSE(hotKeys->isRegistered());
    EXPECT_TRUE(OtherGrabber(hotKeys->keyCodeFor('4')).grabbed);
}

// A pinned shot under a real window manager, handled with the real pointer: it stays above a
// window raised after it, drags, zooms with the wheel, fades with Ctrl+wheel, copies from its
// menu, and Escape closes it.
TEST(PinWindow, StaysAboveOtherWindowsAndEscapeClosesIt)
{
    // Windows mapped while openbox starts up can be lost: they go up once it has run its
    // start-up command.
    QTemporaryDir dir;
    const QString ready = dir.filePath(QStringLiteral("ready"));
    ASSERT_TRUE(test::writeScript(ready, "#!/bin/sh\ntouch \"$0.done\"\n"));
    const Beside windowManager("openbox", ("--sm-disable --startup " + ready).toUtf8().constData());
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(ready + QStringLiteral(".done")); }, 10'000));

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
    press("Escape");
    EXPECT_TRUE(test::waitUntil([&] { return pin.isNull(); }, 5000)) << "Escape closed the pin";
}

// A capture hides the app's windows; the tray icon must stay in the tray host, whether the
// capture produced an image or the user pressed Esc.
TEST(TrayDuringCapture, TheTrayIconStaysEmbedded)
{
    const Beside trayHost("trayer", "--edge top --align right --widthtype request --height 24");
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
