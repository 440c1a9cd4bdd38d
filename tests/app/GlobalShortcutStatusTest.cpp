#include "TestSupport.h"

#include "app/GlobalShortcut.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace pelorin;

namespace {

// A desktop's hot-key service that answers each registration with a set status.
class ScriptedHotKeys : public GlobalHotKeys {
public:
    int answer = Registered;
    int registerHotKey(const CaptureShortcut&) override { return answer; }
    void unregisterHotKey() override {}
    bool isRegistered() const override { return answer == Registered; }
    void refuseLater(int status) { Q_EMIT registrationFailed(status); }
};

} // namespace

// Settings tells the user to bind `pelorin --capture` only where the desktop has no shortcuts
// for apps at all, not where it merely refused this one.
TEST(GlobalShortcut, ReportsADesktopWithoutShortcuts)
{
    test::TempSettings settings;
    NotificationCenter notifications;
    auto owned = std::make_unique<ScriptedHotKeys>();
    ScriptedHotKeys& hotKeys = *owned;
    hotKeys.answer = GlobalHotKeys::Unavailable;
    GlobalShortcut shortcut(settings.store(), notifications, std::move(owned));
    EXPECT_TRUE(shortcut.desktopHasNoShortcuts());

    QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
    hotKeys.answer = GlobalHotKeys::Registered;
    notifications.post(Notifications::shortcutChanged);
    EXPECT_FALSE(shortcut.desktopHasNoShortcuts());
    EXPECT_EQ(changed.count(), 1);

    hotKeys.refuseLater(GlobalHotKeys::Refused);
    EXPECT_FALSE(shortcut.desktopHasNoShortcuts()) << "the user said no to this shortcut";
    hotKeys.refuseLater(GlobalHotKeys::Unavailable);
    EXPECT_TRUE(shortcut.desktopHasNoShortcuts()) << "the portal has no GlobalShortcuts";
    EXPECT_EQ(changed.count(), 3);
}

// Each way a registration fails is told apart; only a key another client holds is "taken".
TEST(GlobalShortcut, FailureReasonsSayWhichCase)
{
    const struct {
        int status;
        const char* reason;
    } cases[] = {
        {GlobalHotKeys::Registered, ""},
        {GlobalHotKeys::Unavailable, "this desktop does not offer apps global shortcuts"},
        {GlobalHotKeys::Refused, "the desktop refused the shortcut"},
        {GlobalHotKeys::NoAnswer, "the desktop did not answer"},
        {10, "shortcut may be taken by another app"},
        {11, "the X server refused the shortcut"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shortcutFailureReason(c.status), QLatin1String(c.reason)) << c.status;
}
