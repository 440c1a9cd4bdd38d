#include "cloud/AccountService.h"

#include "cloud/CloudAPI.h"
#include "cloud/CloudAPIError.h"
#include "cloud/KeychainStore.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPointer>

#include <QCoro/QCoroTimer>

namespace pelorin {

namespace {

QString emailKey()
{
    return QLatin1String(SettingsKeys::cloudAccountEmail);
}

} // namespace

AccountService& AccountService::shared()
{
    static AccountService* service = new AccountService(CloudAPI::shared(), KeychainStore::shared(), SettingsStore::shared());
    return *service;
}

AccountService::AccountService(CloudAPI& api, TokenStore& tokens, SettingsStore& settings, QObject* parent)
    : QObject(parent)
    , m_api(api)
    , m_tokens(tokens)
    , m_settings(settings)
    , m_now([] { return QDateTime::currentDateTimeUtc(); })
    , m_sleep([](std::chrono::milliseconds duration) { return QCoro::sleepFor(duration); })
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    const QString stored = m_settings.stringValue(emailKey());
    if (m_settings.contains(emailKey()))
        m_accountEmail = stored;
}

AccountService::~AccountService() = default;

void AccountService::start()
{
    if (m_tokens.token())
        startQuietRefresh();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                refreshOnActivation();
        });
    }
}

void AccountService::startQuietRefresh()
{
    [](QPointer<AccountService> self) -> QCoro::Task<void> {
        if (self)
            co_await self->refresh(true);
    }(QPointer<AccountService>(this));
}

void AccountService::refreshOnActivation()
{
    if (!m_tokens.token())
        return;
    if (m_lastRefreshAt && m_lastRefreshAt->msecsTo(m_now()) < std::chrono::milliseconds(activationThrottle).count())
        return;
    startQuietRefresh();
}

QCoro::Task<void> AccountService::refresh(bool quiet)
{
    const std::optional<QString> token = m_tokens.token();
    if (!token)
        co_return;
    QPointer<AccountService> self(this);
    if (!quiet) {
        m_isBusy = true;
        Q_EMIT changed();
    }
    std::optional<CloudMe> me;
    std::optional<QString> failure;
    bool sessionOver = false;
    try {
        me = co_await m_api.me();
    } catch (const CloudAPIError& error) {
        sessionOver = error.kind() == CloudAPIError::Kind::notSignedIn;
        failure = error.description();
    } catch (const ServiceError& error) {
        failure = error.description();
    }
    if (!self)
        co_return;
    // The session may have changed while the summary was on its way (sign-out, or a new
    // sign-in). The answer is about the old token then: it neither shows an account that
    // is gone nor ends the session that replaced it.
    if (m_tokens.token() != token) {
        if (!quiet) {
            m_isBusy = false;
            Q_EMIT changed();
        }
        co_return;
    }
    if (me) {
        m_accountEmail = me->email;
        m_me = std::move(me);
        m_lastRefreshAt = m_now();
    } else if (sessionOver) {
        m_tokens.setToken(std::nullopt);
        m_me.reset();
        m_accountEmail.reset();
        if (!quiet)
            m_statusMessage = QStringLiteral("Your session expired — sign in again.");
    } else if (!quiet) {
        m_statusMessage = failure;
    }
    if (!quiet)
        m_isBusy = false;
    Q_EMIT changed();
}

QCoro::Task<void> AccountService::authenticate(QCoro::Task<CloudAuthResponse> operation)
{
    QPointer<AccountService> self(this);
    m_isBusy = true;
    m_statusMessage.reset();
    Q_EMIT changed();
    std::optional<CloudAuthResponse> auth;
    QString failure;
    try {
        auth = co_await std::move(operation);
    } catch (const ServiceError& error) {
        failure = error.description();
    }
    if (!self)
        co_return;
    if (auth)
        adopt(*auth);
    else
        m_statusMessage = failure;
    m_isBusy = false;
    Q_EMIT changed();
}

QCoro::Task<void> AccountService::signIn(QString email, QString password)
{
    co_await authenticate(m_api.login(email, password));
}

QCoro::Task<void> AccountService::signUp(QString email, QString password)
{
    co_await authenticate(m_api.signup(email, password));
}

void AccountService::adopt(const CloudAuthResponse& auth)
{
    m_tokens.setToken(auth.token);
    m_accountEmail = auth.email;
    m_settings.setValue(emailKey(), auth.email);
    m_statusMessage.reset();
    Q_EMIT changed();
    startQuietRefresh();
}

void AccountService::signInWithGoogle()
{
    if (m_googleFlow != 0)
        return;
    m_statusMessage.reset();
    m_googleFlow = ++m_lastGoogleFlow;
    Q_EMIT changed();
    runGoogleFlow(m_googleFlow);
}

void AccountService::cancelGoogleSignIn()
{
    if (m_googleFlow == 0)
        return;
    m_googleFlow = 0;
    Q_EMIT changed();
}

void AccountService::endGoogleFlow(quint64 flow, std::optional<QString> message)
{
    if (m_googleFlow != flow)
        return;
    if (message)
        m_statusMessage = std::move(message);
    m_googleFlow = 0;
    Q_EMIT changed();
}

QCoro::Task<void> AccountService::runGoogleFlow(quint64 flow)
{
    QPointer<AccountService> self(this);
    const auto current = [&] { return self && self->m_googleFlow == flow; };
    std::optional<QString> failure;
    try {
        const GoogleStart start = co_await m_api.googleStart();
        if (!current())
            co_return;
        m_openUrl(start.authUrl);
        m_statusMessage = QStringLiteral("Finish signing in with Google in your browser…");
        Q_EMIT changed();

        const QDateTime deadline = m_now().addSecs(googleDeadline.count());
        while (current() && m_now() < deadline) {
            co_await m_sleep(googlePollInterval);
            if (!current())
                co_return;
            const std::optional<CloudAuthResponse> auth = co_await m_api.googlePoll(start.flowId);
            if (!current())
                co_return;
            if (auth) {
                adopt(*auth);
                endGoogleFlow(flow, std::nullopt);
                co_return;
            }
        }
    } catch (const ServiceError& error) {
        failure = error.description();
    }
    if (!current())
        co_return; // cancelled: the user knows, no message
    endGoogleFlow(flow, failure ? failure : QStringLiteral("Google sign-in timed out — try again."));
}

QCoro::Task<void> AccountService::signOut()
{
    QPointer<AccountService> self(this);
    cancelGoogleSignIn();
    try {
        co_await m_api.logout();
    } catch (const std::exception&) {
        // The service may be unreachable or the session already gone; signing out here
        // must not depend on it.
    }
    if (!self)
        co_return;
    m_tokens.setToken(std::nullopt);
    m_settings.remove(emailKey());
    m_accountEmail.reset();
    m_me.reset();
    m_statusMessage.reset();
    Q_EMIT changed();
}

} // namespace pelorin

namespace pelorin {

void AccountService::sessionRejected()
{
    m_tokens.setToken(std::nullopt);
    m_me.reset();
    m_statusMessage = QStringLiteral("Your session expired — sign in again.");
    Q_EMIT changed();
}

} // namespace pelorin
