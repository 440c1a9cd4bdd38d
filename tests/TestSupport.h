#pragma once

#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>

namespace pelorin::test {

// A settings file of its own in a temporary folder; reopen() simulates a restart.
class TempSettings {
public:
    SettingsStore& store() { return *m_store; }
    QString path() const { return m_dir.filePath(QStringLiteral("Pelorin.json")); }
    SettingsStore& reopen()
    {
        m_store->sync();
        m_store = std::make_unique<SettingsStore>(path());
        return *m_store;
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store = std::make_unique<SettingsStore>(path());
};

// Writes `bytes` to `path`, making its folder first; false when that fails.
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes a script its owner may run to `path`; false when that fails.
inline bool writeScript(const QString& path, const QByteArray& text)
{
    return writeBytes(path, text) && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The file's contents; empty when it cannot be read.
inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the event loop until `predicate` holds or `timeoutMs` passes.
inline bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace pelorin::test
