#include "app/TrayApplication.h"

#include "app/ApplicationMenu.h"
#include "app/MenuBarDrop.h"
#include "app/WindowPlacement.h"
#include "app/update/ApplicationUpdates.h"
#include "cloud/AccountService.h"
#include "cloud/KeychainStore.h"
#include "core/Fonts.h"
#include "core/ImageFile.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "editor/EditorViewModel.h"
#include "editor/UploadServiceUploader.h"
#include "platform/ClipboardJsonService.h"
#include "platform/DesktopNotifier.h"
#include "platform/FileReveal.h"
#include "platform/GlobalHotKeys.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsKeys.h"
#include "ui/EditorWindow.h"
#include "ui/FileDialogSavePanel.h"
#include "ui/PinWindow.h"
#include "upload/UploadService.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QScreen>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace pelorin {

namespace {

// Warnings of the shell (a failed drop upload): a window of their own that does not block.
class MessageBoxAlerts : public AlertPresenter {
public:
    void warning(const QString& message, const QString& informativeText) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pelorin"), message, QMessageBox::Ok);
        box->setInformativeText(informativeText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
};

} // namespace

struct TrayApplication::Editor {
    EditorViewModel model;
    EditorWindow window;
    FileDialogSavePanel savePanel;
    UploadServiceUploader uploader;
    MessageBoxAlerts alerts;
    MenuBarDrop drop;
    ClipboardJsonService jsonWatcher;
    DesktopNotifier notifier;

    Editor(SettingsStore& settings, NotificationCenter& notifications)
        : model(settings, notifications)
        , window(model)
        , savePanel(&window)
        , uploader(UploadService::shared())
        , drop(notifications, uploader, systemPasteboard(), alerts)
        , jsonWatcher(systemPasteboard(), settings)
    {
    }
};

TrayApplication::TrayApplication(SettingsStore& settings, NotificationCenter& notifications, ApplicationUpdates& updates)
    : m_settings(settings)
    , m_notifications(notifications)
    , m_shortcut(settings, notifications, createGlobalHotKeys())
    , m_windows(settings, notifications)
    , m_tray(notifications, settings,
             {[this] { m_windows.showEditor(); }, [this] { m_windows.openUploads(); }, [this] { m_windows.openSettings(); },
              updates.checkAction(), quitApplication})
{
    m_windows.setGlobalShortcut(&m_shortcut);
    m_tray.show();

    loadBundledFonts();
    m_editor = std::make_unique<Editor>(settings, notifications);
    Editor& editor = *m_editor;
    editor.model.setWindowHost(&m_windows.manager());
    editor.model.setTokenStore(&KeychainStore::shared());
    editor.model.setAnalysisEngines({DeviceComponentAnalyzer::prepareRecognizer, DeviceComponentAnalyzer::releaseRecognizer});
    editor.model.setSettingsOpener([this](const QString& section) { m_windows.openSettings(section); });
    m_windows.manager().setMainWindow(&editor.window);
    new WindowPlacement(editor.window, settings, QLatin1String(SettingsKeys::editorWindowGeometry));
    editor.model.setSavePanel(&editor.savePanel);
    editor.model.setUploader(&editor.uploader);
    m_windows.setDropHandler([this](const QStringList& paths) { m_editor->drop.handleFiles(paths); });

    // The account needs the keyring's token first; both answer asynchronously.
    [](KeychainStore& keychain) -> QCoro::Task<void> {
        co_await keychain.load();
        AccountService::shared().start();
    }(KeychainStore::shared());

    editor.jsonWatcher.start();
    QObject::connect(&editor.model, &EditorViewModel::cloudSessionRejected, &AccountService::shared(),
                     &AccountService::sessionRejected);
    QObject::connect(&editor.model, &EditorViewModel::imageSaved, &editor.notifier,
                     [&notifier = editor.notifier](const QString& path, bool desktopMissing) {
                         const QFileInfo file(path);
                         const QString folder = file.dir().dirName();
                         QString body = file.fileName();
                         if (desktopMissing)
                             body += QStringLiteral("\nThere is no Desktop folder, so it went to %1.").arg(folder);
                         notifier.notify(QStringLiteral("Saved to %1").arg(folder), body, QStringLiteral("Show in Folder"),
                                         [path] { revealInFileManager(path); });
                     });

    ApplicationMenuActions actions;
    actions.openSettings = [this] { m_windows.openSettings(); };
    actions.checkForUpdates = updates.checkAction();
    m_windows.setSettingsWindowHook([&updates](SettingsWindow& window) { updates.attach(window); });
    actions.quit = quitApplication;
    actions.pinToScreen = [this] {
        if (const std::optional<QImage> framed = m_editor->model.renderFinalImage())
            pinImage(*framed);
        else
            m_editor->model.setErrorMessage(QStringLiteral("Failed to render image: ") + m_editor->model.renderError());
    };
    editor.window.layout()->setMenuBar(buildApplicationMenu(editor.model, std::move(actions), &editor.window));
}

TrayApplication::~TrayApplication()
{
    for (const QPointer<PinWindow>& pin : m_pins)
        delete pin.data();
}

void TrayApplication::pinFiles(const QStringList& files)
{
    for (const QString& path : files) {
        QString error;
        if (const std::optional<QImage> image = readImageFile(path, &error))
            pinImage(*image);
        else
            m_editor->alerts.warning(QStringLiteral("Cannot pin %1").arg(QFileInfo(path).fileName()), error);
    }
}

void TrayApplication::pinImage(const QImage& image)
{
    m_pins.removeAll(nullptr);
    auto* pin = new PinWindow(image, systemPasteboard());
    // In the middle of the monitor in use, each further pin a little down and to the right.
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    const int cascade = 32 * int(m_pins.size() % 8);
    pin->move(area.center() - QPoint(pin->width() / 2, pin->height() / 2) + QPoint(cascade, cascade));
    pin->show();
    pin->raise();
    pin->activateWindow();
    m_pins.append(pin);
}

QList<PinWindow*> TrayApplication::pins() const
{
    QList<PinWindow*> open;
    for (const QPointer<PinWindow>& pin : m_pins)
        if (pin)
            open << pin.data();
    return open;
}

void TrayApplication::start(bool background, const QStringList& files)
{
    // Started with the session (--background), the app waits in the tray.
    if (!background)
        m_windows.showEditor();
    openFiles(files);
    // The capture tool waits ready from shortly after start-up, without slowing the start.
    QTimer::singleShot(std::chrono::seconds(1), &m_editor->model, [this] { m_editor->model.screenCaptureService().prepare(); });
}

void TrayApplication::openFiles(const QStringList& files)
{
    QStringList existing;
    for (const QString& path : files) {
        if (QFileInfo(path).isFile())
            existing << path;
        else // the editor reports it: "Failed to load image from …"
            m_notifications.post(Notifications::openDroppedFile, QUrl::fromLocalFile(path));
    }
    m_editor->drop.handleFiles(existing);
}

} // namespace pelorin
