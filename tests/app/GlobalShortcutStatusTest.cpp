#include "TestSupport.h"

#include "app/GlobalShortcut.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <functional>

using namespace pelorin;

namespace {

// A desktop's hot-key service that answers each registration with a set status.
class ScriptedHotKeys : public GlobalHotKeys {
public:
    int answer = Registered;
    int registerHotKey(const CaptureShortcut&) override { return answer; }
    void unregisterHotKey() override {}
    bool isRegistered() const override { return answer == Registered; }
    void answerLater(int status) { Q_EMIT registrationChanged(status); }
};

} // namespace

// Settings tells the user to bind `pelorin --capture` where the desktop has no shortcuts for
// apps at all, and where to assign the key where it took the shortcut without one; not where it
// merely refused this one.
TEST(GlobalShortcut, SettingsNoteAndFailureReasonsFollowTheDesktopsAnswer)
{
    test::TempSettings settings;
    NotificationCenter notifications;
    auto owned = std::make_unique<ScriptedHotKeys>();
    ScriptedHotKeys& hotKeys = *owned;
    hotKeys.answer = GlobalHotKeys::Unavailable;
    GlobalShortcut shortcut(settings.store(), notifications, std::move(owned));
    QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
    // note: the phrases the note holds; none: no note.
    const struct { const char* name; std::function<void()> event; const char* desktop; QStringList note; } steps[] = {
        {"no GlobalShortcuts at all", [] {}, "sway", {"does not let apps", "pelorin --capture"}},
        {"bound", [&] { hotKeys.answer = GlobalHotKeys::Registered; notifications.post(Notifications::shortcutChanged); },
         "GNOME", {}},
        {"the user said no", [&] { hotKeys.answerLater(GlobalHotKeys::Refused); }, "GNOME", {"the desktop refused"}},
        {"KDE left the key to the user", [&] { hotKeys.answerLater(GlobalHotKeys::NotBound); }, "KDE",
         {"System Settings \u2192 Shortcuts, under Pelorin", "pelorin --capture"}},
        {"another desktop did", [] {}, "Hyprland", {"shortcut settings", "pelorin --capture"}},
        {"the user assigned a key", [&] { hotKeys.answerLater(GlobalHotKeys::Registered); }, "KDE", {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.event();
        const QString note = shortcutNote(shortcut.status(), QLatin1String(step.desktop));
        EXPECT_EQ(note.isEmpty(), step.note.isEmpty()) << note.toStdString();
        for (const QString& phrase : step.note)
            EXPECT_TRUE(note.contains(phrase)) << note.toStdString();
    }
    EXPECT_EQ(changed.count(), 4);

    // Each way a registration fails is told apart; only a key another client holds is "taken".
    const struct { int status; const char* reason; } cases[] = {
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
