#include "app/GlobalShortcut.h"

#include "TestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/X11HotKeys.h"
#include "ui/ShortcutRecorderView.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace pelorin;

namespace {

const QString keyKey = QString::fromLatin1(SettingsKeys::captureShortcutKey);
const QString modifiersKey = QString::fromLatin1(SettingsKeys::captureShortcutModifiers);
constexpr uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

// Types keys through the X server, as a user would: grabs and focus apply.
void press(const char* keys)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)});
    ASSERT_TRUE(xdotool.waitForFinished(10000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

struct Fixture {
    test::TempSettings settings;
    NotificationCenter notifications;
    int captures = 0;
    QObject context;
    std::unique_ptr<GlobalShortcut> shortcut;

    Fixture()
    {
        notifications.observe(Notifications::triggerScreenCapture, &context, [this](const QVariant&) { ++captures; });
        auto hotKeys = X11HotKeys::create();
        EXPECT_NE(hotKeys, nullptr);
        shortcut = std::make_unique<GlobalShortcut>(settings.store(), notifications, std::move(hotKeys));
    }
    X11HotKeys& hotKeys() { return static_cast<X11HotKeys&>(shortcut->hotKeys()); }
    void store(const char* key, qint64 modifiers)
    {
        settings.store().setValues({{keyKey, QString::fromUtf8(key)}, {modifiersKey, modifiers}});
        notifications.post(Notifications::shortcutChanged);
    }

    // Presses `keys`, then a combination known to trigger: key events arrive in order, so
    // once the second has counted, the first has had its chance.
    int capturesFrom(const char* keys, const char* sentinel)
    {
        const int before = captures;
        press(keys);
        press(sentinel);
        EXPECT_TRUE(test::waitUntil([&] { return captures > before; }));
        test::waitUntil([] { return false; }, 100);
        return captures - before - 1;
    }
};

// A second X client that holds a key grab of its own while it lives.
struct OtherGrabber {
    explicit OtherGrabber(xcb_keycode_t keyCode)
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_generic_error_t* error = xcb_request_check(
            connection, xcb_grab_key_checked(connection, 1, root, ctrlShift, keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        grabbed = error == nullptr;
        std::free(error);
    }
    ~OtherGrabber() { xcb_disconnect(connection); }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    bool grabbed = false;
};

} // namespace

// The stored shortcut, pressed anywhere, starts a capture, with Caps Lock or Num Lock on too; one
// recorded in the settings field replaces it, and the old one is free again for other clients.
// One another client holds is logged, and the app runs on without a shortcut.
TEST(GlobalShortcutX11, PressingTheShortcutAnywhereStartsACaptureUntilANewOneIsRecorded)
{
    // The stored key and modifiers, keys pressed, then a sentinel known to trigger; `lock` is on
    // around them.
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
    Fixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys) + (c.lock ? c.lock : ""));
        f.store(c.key, c.modifiers);
        ASSERT_TRUE(f.shortcut->hotKeys().isRegistered());
        if (c.lock)
            press(c.lock);
        EXPECT_EQ(f.capturesFrom(c.keys, c.sentinel), c.captures);
        if (c.lock)
            press(c.lock);
    }

    ShortcutRecorderView view(f.settings.store(), f.notifications);
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
    EXPECT_EQ(f.capturesFrom("ctrl+shift+1", "ctrl+shift+4"), 0);
    EXPECT_TRUE(OtherGrabber(f.hotKeys().keyCodeFor('1')).grabbed);

    OtherGrabber other(f.hotKeys().keyCodeFor('3'));
    ASSERT_TRUE(other.grabbed);
    testing::internal::CaptureStderr();
    f.store("3", 3);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "Pelorin: RegisterEventHotKey failed (10) — shortcut may be taken by another app\n");
    EXPECT_FALSE(f.hotKeys().isRegistered());
    EXPECT_TRUE(OtherGrabber(f.hotKeys().keyCodeFor('4')).grabbed);
}
