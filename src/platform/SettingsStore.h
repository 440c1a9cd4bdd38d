#pragma once

#include <QObject>
#include <QSettings>
#include <QVariant>

#include <memory>

namespace pelorin {

// The user-defaults store: a flat JSON file of typed values, registered defaults that apply
// while a key holds nothing, and one change signal for every write made through any handle.
class SettingsStore : public QObject {
    Q_OBJECT
public:
    // The application's store at $XDG_CONFIG_HOME/Pelorin/Pelorin.json.
    static SettingsStore& shared();

    explicit SettingsStore(const QString& filePath, QObject* parent = nullptr);
    ~SettingsStore() override;

    QString filePath() const;

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant value(const QString& key) const;
    // Only the stored value (no registered default).
    QVariant storedValue(const QString& key) const;
    bool contains(const QString& key) const;

    void setValue(const QString& key, const QVariant& value);
    // Several keys in one write of the file.
    void setValues(const QVariantMap& values);
    void remove(const QString& key);

    // Typed reads with the platform's lenient conversions: a missing key or a value of
    // another kind reads as the fallback.
    bool boolValue(const QString& key, bool fallback = false) const;
    double doubleValue(const QString& key, double fallback) const;
    QString stringValue(const QString& key, const QString& fallback = {}) const;
    QByteArray bytesValue(const QString& key) const;

    void registerDefaults(const QVariantMap& defaults);

    // Flushes pending writes to disk (writes are also flushed at once by setValue).
    void sync();

    // Registered QSettings format: one flat JSON object, bytes as {"base64": "..."}.
    static QSettings::Format jsonFormat();

Q_SIGNALS:
    void changed(const QString& key);

private:
    // Copies a settings file that could not be read beside it, once, before the first write
    // replaces it: a damaged file may only need a hand repair to give the settings back.
    void keepUnreadableAside();
    // False, with one log line, when the file is a link out of Pelorin's folders.
    bool mayWrite();
    // Syncs and logs why a write failed; the old file then stays as it was.
    void writePending();

    std::unique_ptr<QSettings> m_settings;
    QByteArray m_unreadable;
    bool m_refusalLogged = false;
    QVariantMap m_defaults;
};

} // namespace pelorin
