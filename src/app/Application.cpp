#include "app/Application.h"

#include "app/AppIcons.h"
#include "app/DarkPalette.h"
#include "app/FormatJsonCommand.h"
#include "app/MenuBarDrop.h"
#include "app/RenderCommand.h"
#include "app/SingleInstance.h"
#include "app/ApplicationMenu.h"
#include "app/GlobalShortcut.h"
#include "app/TrayMenu.h"
#include "app/UploadCommand.h"
#include "cloud/AccountService.h"
#include "cloud/KeychainStore.h"
#include "editor/UploadServiceUploader.h"
#include "upload/UploadService.h"
#include "app/WindowManager.h"
#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "platform/AppPaths.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "ui/EditorWindow.h"
#include "ui/FileDialogSavePanel.h"
#include "ui/SettingsWindow.h"
#include "ui/ShortcutRecorderView.h"
#include "ui/UploadHistoryWindow.h"
#include "ui/UploadSettingsSections.h"
#include "cloud/CloudAPI.h"
#include "upload/UploadHistoryStore.h"
#include "core/CaptureShortcut.h"
#include "platform/ClipboardJsonService.h"
#include "platform/GlobalHotKeys.h"

#include <QLayout>
#include <QMenuBar>
#include <QShortcut>

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QUrl>

#include <cstdio>

namespace pelorin {

namespace {

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

class MessageBoxAlerts : public AlertPresenter {
public:
    void warning(const QString& message, const QString& informativeText) override
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Pelorin"), message, QMessageBox::Ok);
        box.setInformativeText(informativeText);
        box.exec();
    }
};

QStringList absoluteFiles(const QStringList& arguments)
{
    QStringList files;
    for (const QString& argument : arguments) {
        const QString path = argument.startsWith(QLatin1String("file://")) ? QUrl(argument).toLocalFile() : argument;
        if (QFileInfo(path).isFile())
            files << QFileInfo(path).absoluteFilePath();
    }
    return files;
}

int runCommand(int argc, char** argv)
{
    if (!haveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A command's standard error carries its own message only; Qt's chatter about the session
    // (missing runtime folder and the like) is kept for PELORIN_DEBUG=1.
    if (qEnvironmentVariableIsEmpty("PELORIN_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        });
    QGuiApplication app(argc, argv);
    return runRenderCommand(QGuiApplication::arguments().mid(2));
}

} // namespace

int runPelorin(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "render") == 0)
        return runCommand(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "upload") == 0) {
        QCoreApplication app(argc, argv);
        return runUploadCommand(QCoreApplication::arguments().mid(2));
    }
    // A plain filter: no Qt application, so it runs anywhere and starts quickly.
    if (argc > 1 && qstrcmp(argv[1], "format-json") == 0)
        return runFormatJsonCommand(argc - 2, argv + 2);
    if (!haveDisplay()) {
        std::fputs("pelorin: no display (set DISPLAY or WAYLAND_DISPLAY to start the app)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorin"));
    QApplication::setApplicationVersion(QStringLiteral(PELORIN_VERSION));
    QApplication::setDesktopFileName(QString::fromLatin1(applicationId));
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start hands its files to the running app and ends.
    SingleInstance instance;
    const QStringList files = absoluteFiles(QApplication::arguments().mid(1));
    if (instance.sendToRunningInstance(files))
        return 0;
    if (!instance.listen())
        std::fputs("pelorin: could not claim the single-instance socket; running anyway\n", stderr);

    // Start-up, in order: (a staged update would be installed here), dark appearance,
    // registered defaults, global shortcut, tray, clipboard watcher, shortcut observer.
    applyDarkAppearance(app);
    QApplication::setWindowIcon(applicationIcon());
    loadBundledFonts();
    SettingsStore& settings = SettingsStore::shared();
    settings.registerDefaults(registeredDefaults());
    NotificationCenter& notifications = NotificationCenter::defaultCenter();

    WindowManager windows;
    EditorViewModel editor(settings, notifications);
    editor.setWindowHost(&windows);
    EditorWindow window(editor);
    windows.setMainWindow(&window);
    FileDialogSavePanel savePanel(&window);
    editor.setSavePanel(&savePanel);
    UploadServiceUploader uploader(UploadService::shared());
    editor.setUploader(&uploader);
    // The account needs the keyring's token first; both answer asynchronously.
    [](KeychainStore& keychain) -> QCoro::Task<void> {
        co_await keychain.load();
        AccountService::shared().start();
    }(KeychainStore::shared());

    MessageBoxAlerts alerts;
    MenuBarDrop drop(notifications, uploader, systemPasteboard(), alerts);
    QObject::connect(&instance, &SingleInstance::filesReceived, &app, [&](const QStringList& received) {
        if (received.isEmpty())
            windows.showEditorWindow();
        else
            drop.handleFiles(received);
    });

    // The global shortcut and the clipboard watcher run for the whole session.
    GlobalShortcut shortcut(settings, notifications, createGlobalHotKeys());
    ClipboardJsonService jsonWatcher(systemPasteboard(), settings);
    jsonWatcher.start();

    window.layout()->setMenuBar(buildApplicationMenu(editor, {}, &window));
    // The menu's actions carry Copy, Save and Save As; a second binding of the same keys in
    // the window would make both ambiguous.
    for (QShortcut* duplicate : window.findChildren<QShortcut*>()) {
        const QKeySequence keys = duplicate->key();
        if (keys == QKeySequence::Copy || keys == QKeySequence(QStringLiteral("Ctrl+S"))
            || keys == QKeySequence(QStringLiteral("Ctrl+Shift+S")))
            delete duplicate;
    }

    SettingsWindow settingsWindow(settings);
    auto* recorder = new ShortcutRecorderView(settings, notifications);
    settingsWindow.shortcutSection()->addWidget(recorder);
    const auto showShortcut = [&] {
        settingsWindow.setShortcutDisplay(displayString(effectiveShortcut(
            settings.stringValue(QLatin1String(SettingsKeys::captureShortcutKey)),
            static_cast<qint64>(settings.doubleValue(QLatin1String(SettingsKeys::captureShortcutModifiers), 3)))));
    };
    showShortcut();
    notifications.observe(Notifications::shortcutChanged, &settingsWindow, [&](const QVariant&) { showShortcut(); });
    installUploadSettingsSections(settingsWindow, settings, AccountService::shared(), KeychainStore::shared(),
                                  UploadService::shared());

    // The Uploads window is made once; closing it only hides it.
    MessageBoxHistoryAlerts historyAlerts(nullptr);
    UploadHistoryWindow historyWindow({UploadHistoryStore::shared(), UploadService::shared(), CloudAPI::shared(),
                                       systemPasteboard(), historyAlerts});
    historyAlerts.setParent(&historyWindow);
    historyWindow.setDropHandler([&drop](const QStringList& paths) { drop.handleFiles(paths); });
    const auto openSettings = [&] {
        settingsWindow.show();
        settingsWindow.raise();
        settingsWindow.activateWindow();
    };
    TrayMenu tray(notifications, settings,
                  {[&] { windows.showEditorWindow(); }, [&] { historyWindow.present(); }, openSettings, {},
                   [] { QApplication::quit(); }});
    tray.show();

    // Started with the session (--background), the app waits in the tray.
    if (!QApplication::arguments().contains(QLatin1String("--background")))
        windows.showEditorWindow();
    if (!files.isEmpty())
        drop.handleFiles(files);
    return QApplication::exec();
}

} // namespace pelorin
