#include "app/Application.h"

#include "app/AppIcons.h"
#include "app/DarkPalette.h"
#include "app/DetectCommand.h"
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
#include "ui/AnalysisProviderChoice.h"
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

// A command's standard error carries its own message only; Qt's chatter about the session
// (missing runtime folder, decoder warnings and the like) is kept for PELORIN_DEBUG=1.
void quietQtMessages()
{
    if (qEnvironmentVariableIsEmpty("PELORIN_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        });
}

int runCommand(int argc, char** argv)
{
    if (!haveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quietQtMessages();
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
    // No display and no GUI: image reading needs only the core application.
    if (argc > 1 && qstrcmp(argv[1], "detect") == 0) {
        quietQtMessages();
        QCoreApplication app(argc, argv);
        return runDetectCommand(QCoreApplication::arguments().mid(2));
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
    // registered defaults, global shortcut, tray; then the editor, the clipboard watcher and
    // the rest, so the tray icon appears as early as it can.
    applyDarkAppearance(app);
    QApplication::setWindowIcon(applicationIcon());
    SettingsStore& settings = SettingsStore::shared();
    settings.registerDefaults(registeredDefaults());
    NotificationCenter& notifications = NotificationCenter::defaultCenter();
    GlobalShortcut shortcut(settings, notifications, createGlobalHotKeys());

    // Windows the tray opens are made the first time they are asked for.
    WindowManager windows;
    MenuBarDrop* drop = nullptr;
    std::unique_ptr<SettingsWindow> settingsWindow;
    std::unique_ptr<UploadHistoryWindow> historyWindow;
    MessageBoxHistoryAlerts historyAlerts(nullptr);
    const auto openSettings = [&] {
        if (!settingsWindow) {
            settingsWindow = std::make_unique<SettingsWindow>(settings);
            SettingsWindow* created = settingsWindow.get();
            created->shortcutSection()->addWidget(new ShortcutRecorderView(settings, notifications));
            created->accountSection()->addWidget(new AnalysisProviderChoice(settings));
            const auto showShortcut = [&settings, created] {
                created->setShortcutDisplay(displayString(effectiveShortcut(
                    settings.stringValue(QLatin1String(SettingsKeys::captureShortcutKey)),
                    static_cast<qint64>(settings.doubleValue(QLatin1String(SettingsKeys::captureShortcutModifiers), 3)))));
            };
            showShortcut();
            notifications.observe(Notifications::shortcutChanged, created, [showShortcut](const QVariant&) { showShortcut(); });
            installUploadSettingsSections(*created, settings, AccountService::shared(), KeychainStore::shared(),
                                          UploadService::shared());
        }
        settingsWindow->show();
        settingsWindow->raise();
        settingsWindow->activateWindow();
    };
    const auto openUploads = [&] {
        if (!historyWindow) {
            historyWindow = std::make_unique<UploadHistoryWindow>(UploadHistoryServices{
                UploadHistoryStore::shared(), UploadService::shared(), CloudAPI::shared(), systemPasteboard(), historyAlerts});
            historyAlerts.setParent(historyWindow.get());
            historyWindow->setDropHandler([&drop](const QStringList& paths) {
                if (drop)
                    drop->handleFiles(paths);
            });
        }
        historyWindow->present();
    };
    TrayMenu tray(notifications, settings, {[&] { windows.showEditorWindow(); }, openUploads, openSettings, {},
                                            [] { QApplication::quit(); }});
    tray.show();

    loadBundledFonts();
    EditorViewModel editor(settings, notifications);
    editor.setWindowHost(&windows);
    editor.setTokenStore(&KeychainStore::shared());
    editor.setSettingsOpener([&openSettings](const QString&) { openSettings(); });
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
    MenuBarDrop menuBarDrop(notifications, uploader, systemPasteboard(), alerts);
    drop = &menuBarDrop;
    QObject::connect(&instance, &SingleInstance::filesReceived, &app, [&](const QStringList& received) {
        if (received.isEmpty())
            windows.showEditorWindow();
        else
            menuBarDrop.handleFiles(received);
    });

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

    // Started with the session (--background), the app waits in the tray.
    if (!QApplication::arguments().contains(QLatin1String("--background")))
        windows.showEditorWindow();
    if (!files.isEmpty())
        menuBarDrop.handleFiles(files);
    const int code = QApplication::exec();
    drop = nullptr;
    return code;
}

} // namespace pelorin
