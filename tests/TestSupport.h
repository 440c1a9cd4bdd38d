#pragma once

#include "platform/SettingsStore.h"

#include <QTemporaryDir>

#include <memory>

namespace pelorin::test {

// A settings file of its own in a temporary folder; reopen() simulates a restart.
class TempSettings {
public:
    TempSettings();
    SettingsStore& store() { return *m_store; }
    QString path() const { return m_dir.filePath(QStringLiteral("Pelorin.json")); }
    SettingsStore& reopen();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

// Writes `bytes` to `path`, making its folder first; false when that fails.
bool writeBytes(const QString& path, const QByteArray& bytes);
// Writes a script its owner may run to `path`; false when that fails.
bool writeScript(const QString& path, const QByteArray& text);
// The file's contents; empty when it cannot be read.
QByteArray readBytes(const QString& path);

// Runs the event loop until `predicate` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);

} // namespace pelorin::test
