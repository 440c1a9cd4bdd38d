#pragma once

#include <QHash>
#include <QWidget>

class QFormLayout;
class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace pelorin {

class SettingsStore;

// The settings window: one scrolling form of sections. Every control writes its key at once,
// and follows changes of that key made anywhere else (the tray's JSON toggle, say).
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(SettingsStore& settings, QWidget* parent = nullptr);

    // Where the account, upload and bucket sections go once they exist.
    QVBoxLayout* accountSection() const { return m_account; }
    QVBoxLayout* uploadsSection() const { return m_uploads; }
    QVBoxLayout* storageSection() const { return m_storage; }
    QVBoxLayout* shortcutSection() const { return m_shortcut; }

    void setShortcutDisplay(const QString& text);
    // A note under the shortcut section; empty hides it.
    void setShortcutNote(const QString& text);
    void setUpdateStatus(const QString& text);
    // Scrolls the section with this title ("Account", "Uploads", …) to the top of the window;
    // an unknown title leaves the view where it is.
    void showSection(const QString& title);

Q_SIGNALS:
    void checkForUpdatesRequested();

private:
    QVBoxLayout* addSection(const QString& title, const QString& footer = {});

    SettingsStore& m_settings;
    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_sections = nullptr;
    QHash<QString, QLabel*> m_headers;
    QVBoxLayout* m_account = nullptr;
    QVBoxLayout* m_shortcut = nullptr;
    QVBoxLayout* m_uploads = nullptr;
    QVBoxLayout* m_storage = nullptr;
    QLabel* m_shortcutDisplay = nullptr;
    QLabel* m_shortcutNote = nullptr;
    QLabel* m_updateStatus = nullptr;
};

} // namespace pelorin
