#pragma once

#include "cloud/CloudRecords.h"

#include <QDateTime>
#include <QObject>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>
#include <optional>

namespace pelorin {

class CloudAPI;
class SettingsStore;
class TokenStore;

// The user's Pelorin Cloud session for the whole application: who is signed in, the latest
// account summary, sign-in in progress, and the status line under the account controls.
// All state changes on the main thread; `changed()` follows every change.
class AccountService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString accountEmail READ accountEmailText NOTIFY changed)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY changed)
    Q_PROPERTY(bool isWaitingForGoogle READ isWaitingForGoogle NOTIFY changed)
    Q_PROPERTY(QString statusMessage READ statusMessageText NOTIFY changed)

public:
    static constexpr std::chrono::seconds googlePollInterval{2};
    static constexpr std::chrono::seconds googleDeadline{600};
    static constexpr std::chrono::seconds activationThrottle{120};

    // The application's service on the shared client, keyring and settings. Load the keyring
    // before calling start().
    static AccountService& shared();

    AccountService(CloudAPI& api, TokenStore& tokens, SettingsStore& settings, QObject* parent = nullptr);
    ~AccountService() override;

    // Start-up: a quiet refresh when a token is stored, and a throttled one each time the
    // application becomes active.
    void start();

    std::optional<QString> accountEmail() const { return m_accountEmail; }
    const std::optional<CloudMe>& me() const { return m_me; }
    bool isBusy() const { return m_isBusy; }
    bool isWaitingForGoogle() const { return m_googleFlow != 0; }
    std::optional<QString> statusMessage() const { return m_statusMessage; }
    std::optional<QDateTime> lastRefreshAt() const { return m_lastRefreshAt; }

    QCoro::Task<void> signIn(QString email, QString password);
    QCoro::Task<void> signUp(QString email, QString password);
    // Opens the browser and polls until the sign-in is ready; does nothing while a flow runs.
    void signInWithGoogle();
    // Ends the browser flow without a message.
    void cancelGoogleSignIn();
    // Signs out locally even when the service cannot be told.
    QCoro::Task<void> signOut();
    // Another part of the app found the token rejected: the session is over now. The address
    // is kept, to be offered for the next sign-in.
    void sessionRejected();
    // Reloads the account summary; `quiet` keeps the busy flag and every message out of it.
    QCoro::Task<void> refresh(bool quiet);
    // A quiet refresh unless one succeeded within the last two minutes.
    void refreshOnActivation();

    // For tests: the clock, the pause between polls and the browser.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    void setSleep(std::function<QCoro::Task<void>(std::chrono::milliseconds)> sleep) { m_sleep = std::move(sleep); }
    void setBrowser(std::function<void(const QUrl&)> open) { m_openUrl = std::move(open); }

Q_SIGNALS:
    void changed();

private:
    QString accountEmailText() const { return m_accountEmail.value_or(QString()); }
    QString statusMessageText() const { return m_statusMessage.value_or(QString()); }

    QCoro::Task<void> authenticate(QCoro::Task<CloudAuthResponse> operation);
    void adopt(const CloudAuthResponse& auth);
    QCoro::Task<void> runGoogleFlow(quint64 flow);
    void endGoogleFlow(quint64 flow, std::optional<QString> message);
    void startQuietRefresh();

    CloudAPI& m_api;
    TokenStore& m_tokens;
    SettingsStore& m_settings;

    std::optional<QString> m_accountEmail;
    std::optional<CloudMe> m_me;
    bool m_isBusy = false;
    std::optional<QString> m_statusMessage;
    std::optional<QDateTime> m_lastRefreshAt;
    // The running browser flow; 0 when none. Each flow gets a new number, so a cancelled
    // flow that wakes up later can tell it no longer counts.
    quint64 m_googleFlow = 0;
    quint64 m_lastGoogleFlow = 0;

    std::function<QDateTime()> m_now;
    std::function<QCoro::Task<void>(std::chrono::milliseconds)> m_sleep;
    std::function<void(const QUrl&)> m_openUrl;
};

} // namespace pelorin
