// The tray app's shell: the editor window as the shell assembles it (its menu bar, the tray's
// menu and the keys of both), a drop on the tray icon, the shortcut notes in Settings, and the
// single running instance a later start hands its request to.

#include "MemoryPasteboard.h"
#include "TestSupport.h"

#include "app/ApplicationMenu.h"
#include "app/GlobalShortcut.h"
#include "app/MenuBarDrop.h"
#include "app/SingleInstance.h"
#include "app/TrayMenu.h"
#include "app/WindowPlacement.h"
#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "editor/Uploader.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "ui/EditorWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QShortcut>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include <unistd.h>

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

class Alerts : public AlertPresenter {
public:
    QStringList shown;
    void warning(const QString& message, const QString& informative) override { shown << message + u'|' + informative; }
};

class FakeUploader : public Uploader {
public:
    bool configured = false;
    bool fails = false;
    QStringList uploaded;
    bool isConfigured() const override { return configured; }
    QCoro::Task<UploadedFile> upload(QByteArray, QString fileName) override
    {
        if (fails)
            throw ServiceError(QStringLiteral("Upload failed (500): boom"));
        uploaded << fileName;
        UploadedFile file;
        file.fileName = fileName;
        file.publicUrl = QStringLiteral("https://files.example/") + fileName;
        co_return file;
    }
};

// A desktop's hot-key service that answers each registration with a set status.
class ScriptedHotKeys : public GlobalHotKeys {
public:
    int answer = Registered;
    int registerHotKey(const CaptureShortcut&) override { return answer; }
    void unregisterHotKey() override {}
    bool isRegistered() const override { return answer == Registered; }
    void answerLater(int status) { Q_EMIT registrationChanged(status); }
};

// Sends from a thread of its own, which blocks as a later process would, while the running
// instance answers from this thread's event loop; true once `arrived` and the send succeeded.
bool sendFromALaterStart(const std::function<bool()>& send, const std::function<bool()>& arrived)
{
    std::atomic<bool> delivered = false;
    std::thread later([&] { delivered = send(); });
    const bool received = test::waitUntil(arrived, 8000);
    test::waitUntil([&] { return delivered.load(); }, 3000);
    later.join();
    return received && delivered;
}

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
    for (const bool formats : {false, true}) {
        titled(tray.menu()->actions(), QStringLiteral("Format Copied JSON"))->trigger();
        EXPECT_EQ(settings.store().boolValue(key, !formats), formats);
    }
    EXPECT_FALSE(tray.icon()->icon().isNull()) << "the tray shows an icon";
}

// A drop on the tray icon: without uploads a mixed drop does nothing but warn; with them,
// images open in the editor and other files upload, their link on the clipboard.
TEST(MenuBarDrop, ImagesOpenAndOtherFilesUploadWhereUploadsAreSetUp)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    for (const char* name : {"shot.png", "photo.JPG", "report.pdf", "notes"})
        test::writeBytes(path(name), "x");
    NotificationCenter notifications;
    QStringList opened;
    notifications.observe(Notifications::openDroppedFile, &notifications,
                          [&](const QVariant& url) { opened << url.toUrl().fileName(); });
    Alerts alerts;
    test::MemoryPasteboard board;
    FakeUploader uploader;
    MenuBarDrop drop{notifications, uploader, board, alerts};
    drop.handleFiles({path("shot.png"), path("report.pdf")});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(alerts.shown, QStringList{QStringLiteral("Uploads Not Configured|Add your S3/R2 storage details in Pelorin's Settings to upload files.")});
    drop.handleFiles({path("shot.png"), path("photo.JPG")});
    EXPECT_EQ(opened, (QStringList{QStringLiteral("shot.png"), QStringLiteral("photo.JPG")})) << "images alone still open";

    opened.clear();
    alerts.shown.clear();
    uploader.configured = true;
    drop.handleFiles({path("shot.png"), path("report.pdf")});
    ASSERT_TRUE(test::waitUntil([&] { return !board.string.isEmpty(); }));
    EXPECT_EQ(opened, QStringList{QStringLiteral("shot.png")});
    EXPECT_EQ(uploader.uploaded, QStringList{QStringLiteral("report.pdf")});
    EXPECT_EQ(board.string, QStringLiteral("https://files.example/report.pdf"));

    uploader.fails = true;
    QCoro::waitFor(drop.uploadDroppedFile(path("notes")));
    EXPECT_EQ(alerts.shown, QStringList{QStringLiteral("Upload Failed|Upload failed (500): boom")});
    QCoro::waitFor(drop.uploadDroppedFile(path("gone.bin")));
    EXPECT_EQ(alerts.shown.size(), 2) << "an unreadable file is an upload failure too";
}

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

    // Each way a registration fails is told apart (a key another X client holds: see the X11 tests).
    const struct { int status; const char* reason; } cases[] = {
        {GlobalHotKeys::Registered, ""},
        {GlobalHotKeys::Unavailable, "this desktop does not offer apps global shortcuts"},
        {GlobalHotKeys::Refused, "the desktop refused the shortcut"},
        {GlobalHotKeys::NoAnswer, "the desktop did not answer"},
        {11, "the X server refused the shortcut"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shortcutFailureReason(c.status), QLatin1String(c.reason)) << c.status;
}

// The socket belongs to the user and the display. Files, capture and pin requests from a later
// `pelorin …` reach the running one, each as what it is: only files bring the editor forward.
TEST(SingleInstance, ALaterStartHandsItsRequestToTheRunningOne)
{
    QTemporaryDir runtime;
    const auto nameFor = [&](std::initializer_list<std::pair<const char*, const char*>> variables) {
        QProcessEnvironment env;
        for (const auto& [key, value] : variables)
            env.insert(QLatin1String(key), QLatin1String(value));
        return SingleInstance::defaultName(env);
    };
    const QByteArray dir = runtime.path().toLocal8Bit();
    const QString name = nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"DISPLAY", ":0"}});
    const QString wayland = nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-1"}});
    EXPECT_EQ(QFileInfo(name).path(), runtime.path());
    EXPECT_EQ(QFileInfo(wayland).path(), runtime.path());
    EXPECT_NE(name, nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"DISPLAY", ":1"}})) << "a second X display";
    EXPECT_NE(name, wayland) << "a Wayland session beside an X one";
    EXPECT_NE(wayland, nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"WAYLAND_DISPLAY", "/run/other/wayland-1x"}}));
    // Without a runtime folder the user id keeps users apart in the shared temporary folder.
    const QString fallback = nameFor({{"DISPLAY", ":0"}});
    EXPECT_EQ(QFileInfo(fallback).path(), QDir::tempPath());
    EXPECT_TRUE(fallback.endsWith(u'-' + QString::number(getuid()))) << fallback.toStdString();
    EXPECT_FALSE(SingleInstance(name).sendToRunningInstance({QStringLiteral("/tmp/a.png")}, 300)) << "nobody runs yet";
    SingleInstance running(name);
    ASSERT_TRUE(running.listen());
    EXPECT_FALSE(SingleInstance(name).listen()) << "the name is taken while the first one answers";
    QSignalSpy files(&running, &SingleInstance::filesReceived);
    QSignalSpy captures(&running, &SingleInstance::captureRequested);
    QSignalSpy pins(&running, &SingleInstance::pinRequested);
    const QStringList sent{QStringLiteral("/tmp/a b.png"), QStringLiteral("/tmp/ü.pdf")};
    ASSERT_TRUE(sendFromALaterStart([&] { return SingleInstance(name).sendToRunningInstance(sent, 5000); },
                                    [&] { return files.count() == 1; }));
    EXPECT_EQ(files.at(0).at(0).toStringList(), sent);
    const QVariantMap request{{QStringLiteral("mode"), QStringLiteral("monitor")}, {QStringLiteral("monitor"), 2},
                              {QStringLiteral("delay"), 3.5}};
    ASSERT_TRUE(sendFromALaterStart([&] { return SingleInstance(name).sendCaptureRequest(request, 5000); },
                                    [&] { return captures.count() == 1; }));
    EXPECT_EQ(captures.at(0).at(0).toMap(), request);
    ASSERT_TRUE(sendFromALaterStart([&] { return SingleInstance(name).sendPinRequest({QStringLiteral("/tmp/a.png")}, 5000); },
                                    [&] { return pins.count() == 1; }));
    EXPECT_EQ(pins.at(0).at(0).toStringList(), QStringList{QStringLiteral("/tmp/a.png")});
    EXPECT_EQ(files.count(), 1) << "neither request brings the editor forward";
}

