#include "cloud/KeychainStore.h"

#include "net/HttpClient.h"
#include "platform/AppPaths.h"
#include "platform/SystemLog.h"

#include <QPointer>

#include <QCoro/QCoroSignal>
#include <qt6keychain/keychain.h>

namespace pelorin {

namespace {

// Runs one keyring job; false when it failed or did not finish in time. The job deletes
// itself once it finishes, even after a time-out.
QCoro::Task<bool> runJob(QKeychain::Job* job, std::chrono::milliseconds timeout, const char* what)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a plain-text copy of the token on disk
    QPointer<QKeychain::Job> guard(job);
    job->start();
    const auto finished = co_await qCoro(job, &QKeychain::Job::finished, timeout);
    if (!finished) {
        systemLog(QStringLiteral("keyring %1 timed out").arg(QLatin1String(what)));
        co_return false;
    }
    if (!guard)
        co_return false;
    if (guard->error() != QKeychain::NoError) {
        // The job's own message names the item, never its contents.
        if (guard->error() != QKeychain::EntryNotFound)
            systemLog(QStringLiteral("keyring %1 failed: %2").arg(QLatin1String(what), guard->errorString()));
        co_return false;
    }
    co_return true;
}

} // namespace

KeychainStore& KeychainStore::shared()
{
    static KeychainStore* store = new KeychainStore(QString::fromLatin1(applicationId));
    return *store;
}

KeychainStore::KeychainStore(QString service, QString key, QObject* parent)
    : QObject(parent)
    , m_service(std::move(service))
    , m_key(std::move(key))
{
}

KeychainStore::~KeychainStore() = default;

QCoro::Task<void> KeychainStore::load()
{
    QPointer<KeychainStore> self(this);
    const quint64 writesBefore = m_writeCount;
    auto* job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(m_key);
    // Keep the job alive until its result is read.
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    QPointer<QKeychain::ReadPasswordJob> guard(job);
    job->start();
    const auto finished = co_await qCoro(job, &QKeychain::Job::finished, m_timeout);
    std::optional<QString> read;
    if (!finished) {
        systemLog(QStringLiteral("keyring read timed out"));
        if (guard)
            guard->setAutoDelete(true); // it goes once it finishes after all
    } else if (guard) {
        if (guard->error() == QKeychain::NoError) {
            // Bytes that are not UTF-8 are no token.
            read = strictUtf8(guard->binaryData());
        } else if (guard->error() != QKeychain::EntryNotFound) {
            systemLog(QStringLiteral("keyring read failed: %1").arg(guard->errorString()));
        }
        guard->deleteLater();
    }
    if (!self)
        co_return;
    if (m_writeCount == writesBefore)
        m_token = read;
    m_loaded = true;
}

void KeychainStore::setToken(const std::optional<QString>& token)
{
    m_token = token;
    ++m_writeCount;
    m_pendingWrite = token;
    if (!m_writing)
        writePending();
}

QCoro::Task<void> KeychainStore::writePending()
{
    QPointer<KeychainStore> self(this);
    m_writing = true;
    // Later writes replace earlier ones that have not started yet; the keyring only ever
    // needs to end up with the newest value.
    while (self && m_pendingWrite) {
        const std::optional<QString> value = *m_pendingWrite;
        m_pendingWrite.reset();
        const QString service = m_service;
        const QString key = m_key;
        const auto timeout = m_timeout;

        auto* remove = new QKeychain::DeletePasswordJob(service);
        remove->setKey(key);
        co_await runJob(remove, timeout, "delete");
        if (value) {
            auto* add = new QKeychain::WritePasswordJob(service);
            add->setKey(key);
            add->setTextData(*value); // stored as its UTF-8 bytes
            co_await runJob(add, timeout, "write");
        }
    }
    if (!self)
        co_return;
    m_writing = false;
    Q_EMIT writesFinished();
}

QCoro::Task<void> KeychainStore::flush()
{
    if (!m_writing)
        co_return;
    co_await qCoro(this, &KeychainStore::writesFinished);
}

} // namespace pelorin
