#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

namespace pelorin {

class Pasteboard;
class SettingsStore;

// Watches the clipboard twice a second and rewrites copied JSON objects and arrays neatly
// indented (see prettyPrintedJSON), while the setting "formatCopiedJSON" is on. Contents
// marked as files, passwords, transient or machine-generated are left alone.
class ClipboardJsonService : public QObject {
    Q_OBJECT
public:
    // Texts longer than this many UTF-8 bytes are not examined.
    static constexpr qsizetype maxTextBytes = 2'000'000;
    // A rewrite is abandoned if the formatted text would be longer than this many UTF-16
    // code units: indentation grows with nesting, so a short copy could otherwise become a
    // huge clipboard.
    static constexpr qsizetype maxFormattedLength = 32 * 1024 * 1024;
    static constexpr int intervalMs = 500;

    // Clipboard types whose presence means "leave this copy alone".
    static const QStringList& skippedTypes();

    // The application's instance over the system clipboard and the shared settings.
    static ClipboardJsonService& shared();

    // Whatever is on the clipboard now is taken as seen and never reformatted.
    ClipboardJsonService(Pasteboard& pasteboard, SettingsStore& settings, QObject* parent = nullptr);

    // Starts the polling timer on the calling (main) thread; calling it again does nothing.
    void start();
    void stop();
    bool isRunning() const;

    // One look at the clipboard.
    void tick();

private:
    Pasteboard& m_pasteboard;
    SettingsStore& m_settings;
    int m_lastChangeCount;
    QPointer<QTimer> m_timer;
};

} // namespace pelorin
