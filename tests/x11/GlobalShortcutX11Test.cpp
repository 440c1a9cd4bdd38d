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

// Types keys through the X server, as a user would: grabs and focus apply.
void press(const QString& keys)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
    ASSERT_TRUE(xdotool.waitForFinished(10000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

struct Fixture {
    test::TempSettings settings;
    NotificationCenter notifications;
    int captures = 0;
    QObject context;
    std::unique_ptr<GlobalShortcut> shortcut;

    explicit Fixture(const QString& key = QStringLiteral("1"), qint64 modifiers = 3)
    {
        settings.store().setValues({{keyKey, key}, {modifiersKey, modifiers}});
        notifications.observe(Notifications::triggerScreenCapture, &context, [this](const QVariant&) { ++captures; });
        auto hotKeys = X11HotKeys::create();
        EXPECT_NE(hotKeys, nullptr);
        shortcut = std::make_unique<GlobalShortcut>(settings.store(), notifications, std::move(hotKeys));
    }

    void changeShortcut(const QString& key, qint64 modifiers)
    {
        settings.store().setValues({{keyKey, key}, {modifiersKey, modifiers}});
        notifications.post(Notifications::shortcutChanged);
    }

    // Presses `keys`, then a combination known to trigger: key events arrive in order, so
    // once the second has counted, the first has had its chance.
    int capturesFrom(const QString& keys, const QString& sentinel)
    {
        const int before = captures;
        press(keys);
        press(sentinel);
        EXPECT_TRUE(test::waitUntil([&] { return captures > before; }));
        test::waitUntil([] { return false; }, 100);
        return captures - before - 1;
    }
};

// A second X client that holds a key grab of its own.
class OtherGrabber {
public:
    OtherGrabber(xcb_keycode_t keyCode, uint16_t modifiers)
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 1, m_root, modifiers, keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        m_grabbed = error == nullptr;
        std::free(error);
    }
    ~OtherGrabber() { xcb_disconnect(m_connection); }
    bool grabbed() const { return m_grabbed; }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
    bool m_grabbed = false;
};

} // namespace

TEST(GlobalShortcutX11, PressingTheShortcutAnywhereStartsACapture)
{
    struct Case {
        const char* storedKey;
        qint64 storedModifiers;
        const char* keys;
        const char* sentinel;
        int captures;
    };
    const Case cases[] = {
        {"1", 3, "ctrl+shift+1", "ctrl+shift+1", 1},
        {"1", 0, "ctrl+shift+1", "ctrl+shift+1", 1}, // nothing stored means Ctrl+Shift
        {"1", 3, "ctrl+1", "ctrl+shift+1", 0},
        {"1", 3, "ctrl+shift+alt+1", "ctrl+shift+1", 0},
        {"1", 3, "1", "ctrl+shift+1", 0},
        {"k", 8, "super+k", "super+k", 1},
        {"K", 1 | 4, "ctrl+alt+k", "ctrl+alt+k", 1},
        {"é", 3, "ctrl+shift+b", "ctrl+shift+b", 1}, // outside the table: the B key
    };
    for (const Case& c : cases) {
        Fixture f(QString::fromUtf8(c.storedKey), c.storedModifiers);
        ASSERT_TRUE(f.shortcut->hotKeys().isRegistered()) << c.keys;
        EXPECT_EQ(f.capturesFrom(QString::fromLatin1(c.keys), QString::fromLatin1(c.sentinel)), c.captures) << c.keys;
    }
}

TEST(GlobalShortcutX11, WorksWithCapsLockAndNumLockOn)
{
    Fixture f;
    for (const char* lock : {"Caps_Lock", "Num_Lock"}) {
        press(QString::fromLatin1(lock));
        EXPECT_EQ(f.capturesFrom(QStringLiteral("ctrl+shift+1"), QStringLiteral("ctrl+shift+1")), 1) << lock;
        press(QString::fromLatin1(lock));
    }
}

TEST(GlobalShortcutX11, ChangingTheShortcutReplacesTheOldOne)
{
    Fixture f;
    f.changeShortcut(QStringLiteral("2"), 3);
    EXPECT_EQ(f.capturesFrom(QStringLiteral("ctrl+shift+1"), QStringLiteral("ctrl+shift+2")), 0);
    // The old combination is free again for other clients.
    OtherGrabber other(static_cast<X11HotKeys&>(f.shortcut->hotKeys()).keyCodeFor('1'), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    EXPECT_TRUE(other.grabbed());
}

TEST(GlobalShortcutX11, ACombinationHeldByAnotherClientIsLogged)
{
    Fixture f;
    auto& hotKeys = static_cast<X11HotKeys&>(f.shortcut->hotKeys());
    OtherGrabber other(hotKeys.keyCodeFor('3'), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    ASSERT_TRUE(other.grabbed());

    testing::internal::CaptureStderr();
    f.changeShortcut(QStringLiteral("3"), 3);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "Pelorin: RegisterEventHotKey failed (10) — shortcut may be taken by another app\n");
    EXPECT_FALSE(hotKeys.isRegistered());
    // The app runs on without a shortcut: the old one was released too.
    OtherGrabber old(hotKeys.keyCodeFor('1'), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    EXPECT_TRUE(old.grabbed());
}

TEST(GlobalShortcutX11, RecordingANewShortcutInTheSettingsField)
{
    Fixture f;
    int changes = 0;
    f.notifications.observe(Notifications::shortcutChanged, &f.context, [&](const QVariant&) { ++changes; });
    ShortcutRecorderView view(f.settings.store(), f.notifications);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    EXPECT_EQ(view.text(), QStringLiteral("Ctrl+Shift+1"));

    QTest::mouseClick(&view, Qt::LeftButton);
    ASSERT_TRUE(view.isRecording());
    // Swallowed and ignored: recording goes on.
    press(QStringLiteral("Escape"));
    press(QStringLiteral("alt+shift+k"));
    press(QStringLiteral("ctrl+shift+4"));
    ASSERT_TRUE(test::waitUntil([&] { return !view.isRecording(); }));
    EXPECT_EQ(f.settings.store().value(keyKey).toString(), QStringLiteral("4"));
    EXPECT_EQ(f.settings.store().value(modifiersKey).toLongLong(), 3);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(view.text(), QStringLiteral("Ctrl+Shift+4"));

    EXPECT_EQ(f.capturesFrom(QStringLiteral("ctrl+shift+1"), QStringLiteral("ctrl+shift+4")), 0);
}
