#pragma once

#include "platform/TokenStore.h"

#include <QObject>

#include <QCoro/QCoroTask>

#include <chrono>

namespace pelorin {

// The cloud token in the desktop keyring (Secret Service or KWallet, through QtKeychain),
// one item under service = the application id, key = "cloud-api-token".
//
// The keyring answers asynchronously, so the token is read once by load() and then served
// from memory; writes take effect in memory at once and reach the keyring in the order they
// were made. A keyring that cannot be read reads as signed out.
class KeychainStore : public QObject, public TokenStore {
    Q_OBJECT
public:
    static KeychainStore& shared();

    explicit KeychainStore(QString service, QString key = QStringLiteral("cloud-api-token"), QObject* parent = nullptr);
    ~KeychainStore() override;

    // Reads the item. A token set meanwhile is newer and wins over what the keyring held.
    QCoro::Task<void> load();
    bool isLoaded() const { return m_loaded; }

    std::optional<QString> token() const override { return m_token; }
    // Always delete, then add when a token is given; there is no update in place.
    void setToken(const std::optional<QString>& token) override;

    // Completes once every write made so far has reached the keyring (or failed).
    QCoro::Task<void> flush();

    // How long one keyring operation may take before it counts as failed (an unlock prompt
    // left open, a keyring daemon that does not answer).
    void setOperationTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

Q_SIGNALS:
    void writesFinished();

private:
    QCoro::Task<void> writePending();

    QString m_service;
    QString m_key;
    std::optional<QString> m_token;
    bool m_loaded = false;
    quint64 m_writeCount = 0;
    std::optional<std::optional<QString>> m_pendingWrite;
    bool m_writing = false;
    std::chrono::milliseconds m_timeout{60'000};
};

} // namespace pelorin
