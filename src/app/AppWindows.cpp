#include "app/AppWindows.h"

#include "app/GlobalShortcut.h"

#include "cloud/AccountService.h"
#include "cloud/CloudAPI.h"
#include "cloud/KeychainStore.h"
#include "core/CaptureShortcut.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "ui/AnalysisProviderChoice.h"
#include "ui/SettingsWindow.h"
#include "ui/ShortcutRecorderView.h"
#include "ui/UploadSettingsSections.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace pelorin {

const QString noGlobalShortcutsNote = QStringLiteral(
    "This desktop does not let apps set global shortcuts. To capture with a key, bind it in your desktop's "
    "keyboard settings (or its configuration file) to the command \u201Cpelorin --capture\u201D, or "
    "\u201Cpelorin --capture-window\u201D for a window.");

AppWindows::AppWindows(SettingsStore& settings, NotificationCenter& notifications)
    : m_settings(settings)
    , m_notifications(notifications)
{
}

AppWindows::~AppWindows() = default;

void AppWindows::openSettings(const QString& section)
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindow>(m_settings);
        SettingsWindow* created = m_settingsWindow.get();
        auto* shortcutRow = new QHBoxLayout;
        shortcutRow->addWidget(new QLabel(QStringLiteral("Capture Screenshot")));
        shortcutRow->addStretch();
        shortcutRow->addWidget(new ShortcutRecorderView(m_settings, m_notifications));
        created->shortcutSection()->addLayout(shortcutRow);
        created->accountSection()->addWidget(new AnalysisProviderChoice(m_settings));
        const auto showShortcut = [this, created] {
            created->setShortcutDisplay(displayString(effectiveShortcut(
                m_settings.stringValue(QLatin1String(SettingsKeys::captureShortcutKey)),
                static_cast<qint64>(m_settings.doubleValue(QLatin1String(SettingsKeys::captureShortcutModifiers), 3)))));
        };
        showShortcut();
        m_notifications.observe(Notifications::shortcutChanged, created, [showShortcut](const QVariant&) { showShortcut(); });
        if (GlobalShortcut* shortcut = m_globalShortcut) {
            const auto showNote = [shortcut, created] {
                const int status = shortcut->status();
                QString note;
                if (shortcut->desktopHasNoShortcuts())
                    note = noGlobalShortcutsNote;
                else if (status != GlobalHotKeys::Registered)
                    note = QStringLiteral("The capture shortcut is not active: %1. Choose another one, or bind "
                                          "\u201Cpelorin --capture\u201D in your desktop's keyboard settings.")
                               .arg(shortcutFailureReason(status));
                created->setShortcutNote(note);
            };
            showNote();
            QObject::connect(shortcut, &GlobalShortcut::statusChanged, created, showNote);
        }
        installUploadSettingsSections(*created, m_settings, AccountService::shared(), KeychainStore::shared(),
                                      UploadService::shared());
        if (m_settingsWindowHook)
            m_settingsWindowHook(*created);
        m_manager.addWindow(created);
        // Centred on the screen it opens on, not wherever the window manager drops it.
        created->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = created->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            created->move(frame.topLeft().y() < screen->availableGeometry().top()
                              ? QPoint(frame.left(), screen->availableGeometry().top())
                              : frame.topLeft());
        }
    }
    m_settingsWindow->show();
    if (!section.isEmpty())
        m_settingsWindow->showSection(section);
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

void AppWindows::openUploads()
{
    if (!m_historyWindow) {
        m_historyWindow = std::make_unique<UploadHistoryWindow>(UploadHistoryServices{
            UploadHistoryStore::shared(), UploadService::shared(), CloudAPI::shared(), systemPasteboard(), m_historyAlerts});
        m_historyAlerts.setParent(m_historyWindow.get());
        m_historyWindow->setDropHandler([this](const QStringList& paths) {
            if (m_dropHandler)
                m_dropHandler(paths);
        });
        m_manager.addWindow(m_historyWindow.get());
    }
    m_historyWindow->present();
}

} // namespace pelorin
