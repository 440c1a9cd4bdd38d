#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/AccountService.h"
#include "cloud/CloudAPI.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QCoro/QCoroTimer>
#include <QTest>

using namespace pelorin;
using test::CloudTestServer;

namespace {

// The account service against the stand-in service, on a clock the test moves: each pause of
// the service advances it at once, so ten minutes of polling take a moment.
class Account : public ::testing::Test {
protected:
    Account()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl());
        api.setTimeout(std::chrono::seconds(10));
        createService();
    }

    void createService()
    {
        service = std::make_unique<AccountService>(api, tokens, settings.store());
        service->setClock([this] { return now; });
        service->setSleep([this](std::chrono::milliseconds duration) -> QCoro::Task<void> {
            now = now.addMSecs(duration.count());
            co_await QCoro::sleepFor(std::chrono::milliseconds(1));
        });
        service->setBrowser([this](const QUrl& url) {
            opened.append(url);
            openedAt = now;
        });
    }

    // A session that exists at the service and was stored by an earlier run.
    void signedInAs(const QString& token, const QString& email)
    {
        server.addSession(token, email);
        tokens.setToken(token);
        settings.store().setValue(QLatin1String(SettingsKeys::cloudAccountEmail), email);
        createService();
    }
    int meRequests() { return server.count(QStringLiteral("GET"), QStringLiteral("/v2/me")); }
    bool settle() { return test::waitUntil([this] { return !service->isBusy(); }); }

    CloudTestServer server;
    test::TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    std::unique_ptr<AccountService> service;
    QDateTime now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    QList<QUrl> opened;
    QDateTime openedAt;
};

} // namespace

TEST_F(Account, StartUpRefreshFillsTheSummaryOrEndsARevokedSessionSilently)
{
    ASSERT_TRUE(server.isRunning());
    for (const bool revoked : {false, true}) {
        SCOPED_TRACE(revoked ? "revoked" : "valid");
        signedInAs(QStringLiteral("tok-a"), QStringLiteral("me@example.com"));
        EXPECT_EQ(service->accountEmail(), QStringLiteral("me@example.com"));
        if (revoked)
            server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 401, R"({"detail":"revoked"})"});
        service->start();
        ASSERT_TRUE(test::waitUntil([&] { return service->me().has_value() || !tokens.token(); }));
        EXPECT_EQ(service->me() ? service->me()->email : QString(), revoked ? QString() : QStringLiteral("me@example.com"));
        EXPECT_EQ(service->lastRefreshAt(), revoked ? std::nullopt : std::optional(now));
        EXPECT_EQ(service->accountEmail(), revoked ? std::nullopt : std::optional(QStringLiteral("me@example.com")));
        EXPECT_EQ(service->statusMessage(), std::nullopt);
        // The stored address stays for the next start.
        EXPECT_EQ(settings.store().stringValue(QLatin1String(SettingsKeys::cloudAccountEmail)), QStringLiteral("me@example.com"));
    }
}

TEST_F(Account, ActivationRefreshIsThrottledByTheLastSuccess)
{
    ASSERT_TRUE(server.isRunning());
    signedInAs(QStringLiteral("tok-a"), QStringLiteral("me@example.com"));
    const struct {
        const char* step;
        int secondsLater;
        bool fails;
        int expectedRequests;
    } steps[] = {
        {"first activation", 0, false, 1},
        {"again within two minutes", 119, false, 1},
        {"after two minutes", 2, true, 2}, // 121 s after the success; this refresh fails
        {"a failure does not throttle", 1, false, 3},
        {"the success does", 60, false, 3},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        now = now.addSecs(s.secondsLater);
        if (s.fails)
            server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 503, "down"});
        service->refreshOnActivation();
        test::waitUntil([&] { return meRequests() >= s.expectedRequests; }, 3000);
        QTest::qWait(100);
        EXPECT_EQ(meRequests(), s.expectedRequests);
    }
    EXPECT_EQ(service->statusMessage(), std::nullopt) << "activation refreshes are quiet";
    EXPECT_TRUE(tokens.token().has_value());
}

TEST_F(Account, ExplicitRefreshReportsFailures)
{
    ASSERT_TRUE(server.isRunning());
    signedInAs(QStringLiteral("tok-a"), QStringLiteral("me@example.com"));
    server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 500, R"({"detail":"db down"})"});
    test::outcome(service->refresh(false));
    EXPECT_EQ(service->statusMessage(), QStringLiteral("Pelorin Cloud error (500): db down"));
    EXPECT_FALSE(service->isBusy());
    EXPECT_EQ(service->lastRefreshAt(), std::nullopt);

    server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 401, "{}"});
    test::outcome(service->refresh(false));
    EXPECT_EQ(service->statusMessage(), QStringLiteral("Your session expired — sign in again."));
    EXPECT_FALSE(tokens.token().has_value());
    EXPECT_EQ(service->accountEmail(), std::nullopt);
}

TEST_F(Account, PasswordSignInAndAccountCreation)
{
    ASSERT_TRUE(server.isRunning());
    const auto created = test::outcome(service->signUp(QStringLiteral("new@example.com"), QStringLiteral("pw")));
    ASSERT_TRUE(created.succeeded());
    EXPECT_TRUE(tokens.token().has_value());
    EXPECT_EQ(service->accountEmail(), QStringLiteral("new@example.com"));
    EXPECT_EQ(settings.store().stringValue(QLatin1String(SettingsKeys::cloudAccountEmail)), QStringLiteral("new@example.com"));
    ASSERT_TRUE(test::waitUntil([&] { return service->me().has_value(); })) << "sign-in is followed by a refresh";

    const struct {
        const char* name;
        bool signUp;
        const char* password;
        QString message;
    } failures[] = {
        {"existing account", true, "pw", QStringLiteral("Pelorin Cloud error (409): An account with this email already exists.")},
        {"wrong password", false, "nope", QStringLiteral("Pelorin Cloud error (403): Wrong email or password.")},
    };
    const std::optional<QString> token = tokens.token();
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        const QString email = QStringLiteral("new@example.com");
        test::outcome(f.signUp ? service->signUp(email, QLatin1String(f.password)) : service->signIn(email, QLatin1String(f.password)));
        EXPECT_EQ(service->statusMessage(), f.message);
        EXPECT_FALSE(service->isBusy());
        EXPECT_EQ(tokens.token(), token) << "a failed attempt changes nothing else";
    }
    test::outcome(service->signIn(QStringLiteral("new@example.com"), QStringLiteral("pw")));
    EXPECT_EQ(service->statusMessage(), std::nullopt);
    EXPECT_NE(tokens.token(), token);
}

TEST_F(Account, GoogleSignInPollsEveryTwoSecondsUntilItEnds)
{
    ASSERT_TRUE(server.isRunning());
    const QString pollPath = QStringLiteral("/v2/auth/google/poll");
    const struct {
        const char* name;
        QJsonObject config;
        std::optional<CloudTestServer::Script> script;
        std::optional<QString> message; // none: signed in as google@example.com
        int polls;
    } cases[] = {
        {"ready after three pending polls", {{"googlePendingPolls", 3}, {"googleFinal", "ready"}}, {}, std::nullopt, 4},
        {"no answer for ten minutes", {{"googlePendingPolls", 100000}}, {}, QStringLiteral("Google sign-in timed out — try again."), 300},
        {"link expired", {{"googlePendingPolls", 1}, {"googleFinal", "expired"}}, {},
         QStringLiteral("Pelorin Cloud error (410): Sign-in link expired — try again."), 2},
        {"ready without address", {{"googlePendingPolls", 0}, {"googleFinal", "ready-without-email"}}, {},
         QStringLiteral("Unexpected response from Pelorin Cloud."), 1},
        {"start refused", {}, CloudTestServer::Script{QStringLiteral("POST"), QStringLiteral("/v2/auth/google/start"), 503, "busy"},
         QStringLiteral("Pelorin Cloud error (503): busy"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(std::nullopt);
        const int pollsBefore = server.count(QStringLiteral("GET"), pollPath);
        const int starts = server.count(QStringLiteral("POST"), QStringLiteral("/v2/auth/google/start"));
        const int opens = int(opened.size());
        server.configure(c.config);
        if (c.script)
            server.script(*c.script);
        service->signInWithGoogle();
        service->signInWithGoogle(); // a second press while waiting does nothing
        ASSERT_TRUE(test::waitUntil([&] { return !service->isWaitingForGoogle(); }, 60'000));
        EXPECT_EQ(service->statusMessage(), c.message);
        EXPECT_EQ(server.count(QStringLiteral("GET"), pollPath) - pollsBefore, c.polls);
        EXPECT_EQ(server.count(QStringLiteral("POST"), QStringLiteral("/v2/auth/google/start")), starts + 1);
        EXPECT_EQ(tokens.token().has_value(), !c.message);
        if (c.polls) {
            ASSERT_EQ(opened.size(), opens + 1);
            EXPECT_EQ(opened.last().path(), QStringLiteral("/google/consent"));
            EXPECT_EQ(openedAt.secsTo(now), 2 * c.polls) << "first poll 2 s after the browser opened, then every 2 s";
        }
        if (!c.message) {
            EXPECT_EQ(service->accountEmail(), QStringLiteral("google@example.com"));
        }
    }
}

TEST_F(Account, SignOutCancelsAWaitingGoogleFlowAndNeverDependsOnTheService)
{
    ASSERT_TRUE(server.isRunning());
    signedInAs(QStringLiteral("tok-a"), QStringLiteral("me@example.com"));
    service->setSleep([](std::chrono::milliseconds) { return QCoro::sleepFor(std::chrono::milliseconds(50)); });
    service->setBrowser([](const QUrl&) {});
    server.configure({{QStringLiteral("googlePendingPolls"), 100000}});
    service->signInWithGoogle();
    ASSERT_TRUE(test::waitUntil([&] { return server.count(QStringLiteral("GET"), QStringLiteral("/v2/auth/google/poll")) > 0; }));

    server.script({QStringLiteral("POST"), QStringLiteral("/v2/auth/logout"), 500, "down"});
    ASSERT_TRUE(test::outcome(service->signOut()).succeeded());
    EXPECT_FALSE(service->isWaitingForGoogle());
    EXPECT_FALSE(tokens.token().has_value());
    EXPECT_EQ(service->accountEmail(), std::nullopt);
    EXPECT_EQ(service->statusMessage(), std::nullopt);
    EXPECT_FALSE(settings.store().contains(QLatin1String(SettingsKeys::cloudAccountEmail)));

    // The cancelled flow stops polling and never comes back with a message.
    const int polls = server.count(QStringLiteral("GET"), QStringLiteral("/v2/auth/google/poll"));
    QTest::qWait(400);
    EXPECT_LE(server.count(QStringLiteral("GET"), QStringLiteral("/v2/auth/google/poll")), polls + 1);
    EXPECT_EQ(service->statusMessage(), std::nullopt);
}

TEST_F(Account, ARefreshThatOutlivesItsSessionChangesNothing)
{
    ASSERT_TRUE(server.isRunning());
    signedInAs(QStringLiteral("tok-a"), QStringLiteral("me@example.com"));
    server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 200,
                   R"({"email":"me@example.com","email_verified":true,"storage":{"configured":true,"used_bytes":1,"quota_bytes":2,"object_count":3},"ai":{"used_today":1,"daily_limit":2}})",
                   QStringLiteral("application/json"), 1.0});
    auto refresh = service->refresh(true);
    ASSERT_TRUE(test::outcome(service->signOut()).succeeded());
    test::outcome(std::move(refresh));
    EXPECT_EQ(service->accountEmail(), std::nullopt) << "a late summary does not sign the user back in";
    EXPECT_EQ(service->me(), std::nullopt);

    // Likewise a late 401 for an old token leaves a newer session alone.
    signedInAs(QStringLiteral("tok-b"), QStringLiteral("me@example.com"));
    server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 401, "{}", QStringLiteral("application/json"), 1.0});
    auto stale = service->refresh(false);
    tokens.setToken(QStringLiteral("tok-c"));
    test::outcome(std::move(stale));
    EXPECT_EQ(tokens.token(), QStringLiteral("tok-c"));
    EXPECT_FALSE(service->isBusy());
}
