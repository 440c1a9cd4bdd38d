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

TEST_F(Account, RefreshFillsTheSummaryAndEndsARevokedSessionLoudlyOnlyWhenAsked)
{
    ASSERT_TRUE(server.isRunning());
    const QString me = QStringLiteral("me@example.com");
    const struct {
        const char* name;
        bool explicitly; // refresh(false) rather than the quiet one of start()
        int status; // of /v2/me; 0: the service's own answer
        std::optional<QString> message;
    } cases[] = {
        {"at start-up", false, 0, std::nullopt},
        {"revoked at start-up", false, 401, std::nullopt},
        {"explicit, service down", true, 500, QStringLiteral("Pelorin Cloud error (500): db down")},
        {"explicit, revoked", true, 401, QStringLiteral("Your session expired — sign in again.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        signedInAs(QStringLiteral("tok-a"), me);
        if (c.status)
            server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), c.status, R"({"detail":"db down"})"});
        if (c.explicitly)
            test::outcome(service->refresh(false));
        else
            service->start();
        ASSERT_TRUE(test::waitUntil([&] { return service->me().has_value() || !tokens.token() || c.explicitly; }));
        EXPECT_EQ(service->me() ? service->me()->email : QString(), c.status ? QString() : me);
        EXPECT_EQ(service->lastRefreshAt(), c.status ? std::nullopt : std::optional(now));
        EXPECT_EQ(service->accountEmail(), c.status == 401 ? std::nullopt : std::optional(me));
        EXPECT_EQ(tokens.token().has_value(), c.status != 401);
        EXPECT_EQ(service->statusMessage(), c.message);
        EXPECT_FALSE(service->isBusy());
        // The stored address stays for the next start.
        EXPECT_EQ(settings.store().stringValue(QLatin1String(SettingsKeys::cloudAccountEmail)), me);
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

TEST_F(Account, PasswordSignInAndAccountCreation)
{
    ASSERT_TRUE(server.isRunning());
    const QString email = QStringLiteral("new@example.com");
    const struct {
        const char* name;
        bool signUp;
        const char* password;
        std::optional<QString> message; // none: signed in with a new token
    } steps[] = {
        {"new account", true, "pw", std::nullopt},
        {"existing account", true, "pw", QStringLiteral("Pelorin Cloud error (409): An account with this email already exists.")},
        {"wrong password", false, "nope", QStringLiteral("Pelorin Cloud error (403): Wrong email or password.")},
        {"right password", false, "pw", std::nullopt},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const std::optional<QString> token = tokens.token();
        test::outcome(s.signUp ? service->signUp(email, QLatin1String(s.password)) : service->signIn(email, QLatin1String(s.password)));
        EXPECT_EQ(service->statusMessage(), s.message);
        EXPECT_FALSE(service->isBusy());
        EXPECT_EQ(tokens.token() != token, !s.message) << "a failed attempt changes nothing";
        ASSERT_TRUE(tokens.token().has_value());
        EXPECT_EQ(service->accountEmail(), email);
        EXPECT_EQ(settings.store().stringValue(QLatin1String(SettingsKeys::cloudAccountEmail)), email);
        EXPECT_TRUE(test::waitUntil([&] { return service->me().has_value(); })) << "sign-in is followed by a refresh";
    }
}

TEST_F(Account, GoogleSignInPollsEveryTwoSecondsUntilItEnds)
{
    ASSERT_TRUE(server.isRunning());
    const QString pollPath = QStringLiteral("/v2/auth/google/poll"), startPath = QStringLiteral("/v2/auth/google/start");
    const CloudTestServer::Script pending{QStringLiteral("GET"), pollPath, 200, R"({"status":"pending"})"};
    const auto times = [](CloudTestServer::Script script, int n) {
        script.times = n;
        return script;
    };
    const struct {
        const char* name;
        QList<CloudTestServer::Script> scripts; // without: ready at the first poll
        std::optional<QString> message; // none: signed in as google@example.com
        int polls;
    } cases[] = {
        {"ready after three pending polls", {times(pending, 3)}, std::nullopt, 4},
        {"link expired", {pending, {QStringLiteral("GET"), pollPath, 200, R"({"status":"expired"})"}},
         QStringLiteral("Pelorin Cloud error (410): Sign-in link expired — try again."), 2},
        {"ready without address", {{QStringLiteral("GET"), pollPath, 200, R"({"status":"ready","token":"tok-g"})"}},
         QStringLiteral("Unexpected response from Pelorin Cloud."), 1},
        {"start refused", {{QStringLiteral("POST"), startPath, 503, "busy"}}, QStringLiteral("Pelorin Cloud error (503): busy"), 0},
        {"no answer for ten minutes", {times(pending, 100000)}, QStringLiteral("Google sign-in timed out — try again."), 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(std::nullopt);
        const int pollsBefore = server.count(QStringLiteral("GET"), pollPath);
        const int starts = server.count(QStringLiteral("POST"), startPath);
        const int opens = int(opened.size());
        for (const auto& script : c.scripts)
            server.script(script);
        service->signInWithGoogle();
        service->signInWithGoogle(); // a second press while waiting does nothing
        ASSERT_TRUE(test::waitUntil([&] { return !service->isWaitingForGoogle(); }, 60'000));
        EXPECT_EQ(service->statusMessage(), c.message);
        EXPECT_EQ(server.count(QStringLiteral("GET"), pollPath) - pollsBefore, c.polls);
        EXPECT_EQ(server.count(QStringLiteral("POST"), startPath), starts + 1);
        EXPECT_EQ(tokens.token().has_value(), !c.message);
        if (!c.message) {
            EXPECT_EQ(service->accountEmail(), QStringLiteral("google@example.com"));
        }
        if (c.polls) {
            ASSERT_EQ(opened.size(), opens + 1);
            EXPECT_EQ(opened.last().path(), QStringLiteral("/google/consent"));
            EXPECT_EQ(openedAt.secsTo(now), 2 * c.polls) << "first poll 2 s after the browser opened, then every 2 s";
        }
    }
}

// Signing out never depends on the service, cancels a waiting Google flow, and nothing still
// on its way for the old session comes back to change the state.
TEST_F(Account, SignOutEndsEverythingOfTheOldSession)
{
    ASSERT_TRUE(server.isRunning());
    signedInAs(QStringLiteral("tok-a"), QStringLiteral("me@example.com"));
    service->setSleep([](std::chrono::milliseconds) { return QCoro::sleepFor(std::chrono::milliseconds(50)); });
    service->setBrowser([](const QUrl&) {});
    const QString poll = QStringLiteral("/v2/auth/google/poll");
    server.script({QStringLiteral("GET"), poll, 200, R"({"status":"pending"})", {}, 0, 100000});
    service->signInWithGoogle();
    ASSERT_TRUE(test::waitUntil([&] { return server.count(QStringLiteral("GET"), poll) > 0; }));
    server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 200,
                   R"({"email":"me@example.com","email_verified":true,"storage":{"configured":true,"used_bytes":1,"quota_bytes":2,"object_count":3},"ai":{"used_today":1,"daily_limit":2}})",
                   QStringLiteral("application/json"), 1.0});
    auto refresh = service->refresh(true);

    server.script({QStringLiteral("POST"), QStringLiteral("/v2/auth/logout"), 500, "down"});
    ASSERT_TRUE(test::outcome(service->signOut()).succeeded());
    test::outcome(std::move(refresh));
    const int polls = server.count(QStringLiteral("GET"), poll);
    QTest::qWait(400);
    EXPECT_LE(server.count(QStringLiteral("GET"), poll), polls + 1) << "the cancelled flow stops polling";
    EXPECT_FALSE(service->isWaitingForGoogle());
    EXPECT_FALSE(tokens.token().has_value());
    EXPECT_EQ(service->accountEmail(), std::nullopt) << "a late summary does not sign the user back in";
    EXPECT_EQ(service->me(), std::nullopt);
    EXPECT_EQ(service->statusMessage(), std::nullopt);
    EXPECT_FALSE(settings.store().contains(QLatin1String(SettingsKeys::cloudAccountEmail)));

    // Likewise a late 401 for an old token leaves a newer session alone.
    signedInAs(QStringLiteral("tok-b"), QStringLiteral("me@example.com"));
    server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), 401, "{}", QStringLiteral("application/json"), 1.0});
    auto stale = service->refresh(false);
    tokens.setToken(QStringLiteral("tok-c"));
    test::outcome(std::move(stale));
    EXPECT_EQ(tokens.token(), QStringLiteral("tok-c"));
    EXPECT_FALSE(service->isBusy());
}
