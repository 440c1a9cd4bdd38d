#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/AccountService.h"
#include "cloud/CloudAPI.h"
#include "cloud/CloudAPIError.h"
#include "platform/SettingsKeys.h"
#include "platform/TokenStore.h"

#include <gtest/gtest.h>

#include <QCoro/QCoroTimer>
#include <QJsonDocument>
#include <QTest>

#include <functional>

using namespace pelorin;
using test::CloudTestServer;

namespace {

// The cloud API and the account service against the stand-in service, signed in as tok-1; the
// service on a clock the test moves: each of its pauses advances it at once, so ten minutes of
// polling take a moment.
class Cloud : public ::testing::Test {
protected:
    Cloud()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl());
        server.addSession(QStringLiteral("tok-1"), QStringLiteral("me@example.com"));
        api.setTimeout(std::chrono::seconds(10));
        createService();
    }
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }

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
    MemoryTokenStore tokens{QStringLiteral("tok-1")};
    CloudAPI api{settings.store(), tokens};
    std::unique_ptr<AccountService> service;
    QDateTime now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    QList<QUrl> opened;
    QDateTime openedAt;
};

using Account = Cloud;

} // namespace

TEST_F(Cloud, EveryEndpointSendsItsMethodPathTokenAndBody)
{
    const auto ok = [](auto task) { return test::outcome(std::move(task)).error; };
    const QString email = QStringLiteral("new@example.com"), password = QStringLiteral("pw 1"), key = QStringLiteral("u/a b");
    QString flow;
    // Uploading needs the presigned PUT in between, so only its first API end is asked here.
    const struct {
        const char* method;
        const char* path;
        bool token;
        QJsonObject body; // empty: none
        std::function<QString()> call; // the error; empty when it succeeded
    } cases[] = {
        {"POST", "/v2/auth/signup", false, {{"email", email}, {"password", password}}, [&] { return ok(api.signup(email, password)); }},
        {"POST", "/v2/auth/login", false, {{"email", email}, {"password", password}}, [&] { return ok(api.login(email, password)); }},
        {"POST", "/v2/auth/google/start", false, {}, [&] {
             const auto start = test::outcome(api.googleStart());
             flow = start.value ? start.value->flowId : QString();
             return start.error;
         }},
        {"GET", "/v2/auth/google/poll", false, {}, [&] { return ok(api.googlePoll(flow)); }},
        {"GET", "/v2/me", true, {}, [&] { return ok(api.me()); }},
        {"POST", "/v2/storage/objects/link", true, {{"key", key}, {"expires_seconds", 604800}}, [&] {
             const auto link = test::outcome(api.objectLink(key, 604800));
             return link.value && link.value->toEncoded() != "https://share.example/u/a%20b?expires=604800" ? QStringLiteral("wrong link") : link.error;
         }},
        {"POST", "/v2/storage/objects/delete", true, {{"key", key}}, [&] { return ok(api.deleteObject(key)); }},
        {"POST", "/v2/storage/uploads", true, {{"filename", "f.png"}, {"content_type", "image/png"}, {"size_bytes", 12}}, [&] {
             // Header names are used exactly as given: never case-converted.
             const auto init = test::outcome(api.uploadInit(QStringLiteral("f.png"), QStringLiteral("image/png"), 12));
             const QList<std::pair<QString, QString>> headers{{QStringLiteral("Content-Type"), QStringLiteral("image/png")},
                                                              {QStringLiteral("x-amz-meta-origin"), QStringLiteral("pelorin")}};
             return init.value && init.value->headers != headers ? QStringLiteral("wrong headers") : init.error;
         }},
        {"POST", "/v2/auth/logout", true, {}, [&] { return ok(api.logout()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.call(), QString());
        const QJsonObject request = server.lastRequest(QLatin1String(c.method), QLatin1String(c.path));
        ASSERT_FALSE(request.isEmpty());
        EXPECT_EQ(CloudTestServer::header(request, QStringLiteral("Authorization")), c.token ? QStringLiteral("Bearer tok-1") : QString());
        if (c.body.isEmpty()) {
            EXPECT_TRUE(CloudTestServer::body(request).isEmpty());
        } else {
            EXPECT_EQ(CloudTestServer::header(request, QStringLiteral("Content-Type")), QStringLiteral("application/json"));
            EXPECT_EQ(QJsonDocument::fromJson(CloudTestServer::body(request)).object(), c.body);
            EXPECT_FALSE(CloudTestServer::body(request).contains('\n')) << "compact JSON";
        }
    }
    // Signed out, the endpoints that need a token send nothing.
    tokens.setToken(std::nullopt);
    const qsizetype sent = server.requests().size();
    for (const auto& c : cases) {
        if (c.token) {
            EXPECT_EQ(c.call(), CloudAPIError::notSignedIn().description()) << c.path;
        }
    }
    EXPECT_EQ(server.requests().size(), sent);
}

TEST_F(Cloud, RepliesDecodeInEitherMemberStyleAndFailuresAreClassified)
{
    const QString longDetail = QString(150, u'a') + QString(150, u'b');
    const CloudMe summary{QStringLiteral("a"), true, {true, 1, 2, 3}, {4, 5}};
    const struct {
        const char* name;
        int status;
        QByteArray body;
        QString expected; // the error; empty: `summary`
        double delaySeconds = 0;
    } cases[] = {
        {"snake_case", 200,
         R"({"email":"a","email_verified":true,"storage":{"configured":true,"used_bytes":1,"quota_bytes":2,"object_count":3},"ai":{"used_today":4,"daily_limit":5}})", {}},
        {"camelCase", 200,
         R"({"email":"a","emailVerified":true,"storage":{"configured":true,"usedBytes":1,"quotaBytes":2,"objectCount":3},"ai":{"usedToday":4,"dailyLimit":5}})", {}},
        {"detail member", 500, R"({"detail":"Boom"})", QStringLiteral("Pelorin Cloud error (500): Boom")},
        {"detail that is a number", 500, R"({"detail":5})", QStringLiteral("Pelorin Cloud error (500): {\"detail\":5}")},
        {"object with a non-string member", 422, R"({"detail":"x","code":1})",
         QStringLiteral("Pelorin Cloud error (422): {\"detail\":\"x\",\"code\":1}")},
        {"object without detail", 400, R"({"error":"bad"})", QStringLiteral("Pelorin Cloud error (400): {\"error\":\"bad\"}")},
        {"plain text", 429, "Too Many Requests", QStringLiteral("Pelorin Cloud error (429): Too Many Requests")},
        {"not UTF-8", 500, "\xff\xfe", QStringLiteral("Pelorin Cloud error (500): ")},
        {"empty", 503, "", QStringLiteral("Pelorin Cloud error (503): ")},
        {"long detail is cut", 500, QJsonDocument(QJsonObject{{QStringLiteral("detail"), longDetail}}).toJson(),
         QStringLiteral("Pelorin Cloud error (500): ") + longDetail.left(200)},
        {"oversized error page", 502, QByteArray(2 << 20, '<'), QStringLiteral("Pelorin Cloud error (502): ")},
        {"401", 401, R"({"detail":"token expired"})", CloudAPIError::notSignedIn().description()},
        {"success that is not JSON", 200, "<html>", QStringLiteral("The reply from Pelorin Cloud could not be read: it is not a JSON object.")},
        {"success lacking a member", 200, R"({"email":"a","email_verified":true,"storage":{}})",
         QStringLiteral("The reply from Pelorin Cloud could not be read: CloudMe.Storage has no \"configured\".")},
        {"success of the wrong type", 200,
         R"({"email":"a","emailVerified":"yes","storage":{"configured":true,"usedBytes":1,"quotaBytes":2,"objectCount":3},"ai":{"usedToday":1,"dailyLimit":2}})",
         QStringLiteral("The reply from Pelorin Cloud could not be read: \"emailVerified\" of CloudMe has the wrong type.")},
        {"oversized success", 200, QByteArray(2 << 20, ' '), CloudAPIError::invalidResponse().description()},
        {"slower than the time-out", 200, "{}", QStringLiteral("The request timed out."), 3.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        api.setTimeout(c.delaySeconds > 0 ? std::chrono::milliseconds(500) : std::chrono::milliseconds(10'000));
        server.script({QStringLiteral("GET"), QStringLiteral("/v2/me"), c.status, c.body, QStringLiteral("application/json"),
                       c.delaySeconds});
        const auto result = test::outcome(api.me());
        EXPECT_EQ(result.error, c.expected);
        if (c.expected.isEmpty()) {
            EXPECT_EQ(result.value, summary);
        }
        if (c.delaySeconds > 0) {
            ASSERT_NE(result.errorAs<TransportError>(), nullptr);
            EXPECT_TRUE(result.errorAs<TransportError>()->isTimeout());
        }
    }
}

TEST_F(Cloud, BaseUrlIsUsedAsConfigured)
{
    // A trailing slash gives "//v2/…"; the HTTP client folds the double slash, and the request
    // reaches the service.
    settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl() + u'/');
    EXPECT_TRUE(test::outcome(api.googleStart()).succeeded());

    settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), QString());
    EXPECT_EQ(api.baseURL(), QStringLiteral("https://api.pelorin.app"));
    settings.store().remove(QLatin1String(SettingsKeys::cloudServerURL));
    EXPECT_EQ(api.baseURL(), QStringLiteral("https://api.pelorin.app"));

    settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), QStringLiteral("not a url"));
    EXPECT_EQ(test::outcome(api.me()).error, CloudAPIError::invalidResponse().description());
}

TEST_F(Account, RefreshFillsTheSummaryAndEndsARevokedSessionLoudlyOnlyWhenAsked)
{
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
    const QString pollPath = QStringLiteral("/v2/auth/google/poll"), startPath = QStringLiteral("/v2/auth/google/start");
    const auto answer = [&](int status, const QByteArray& body, int times = 1) {
        return CloudTestServer::Script{QStringLiteral("GET"), pollPath, status, body, QStringLiteral("application/json"), 0, times};
    };
    const auto started = [&](const char* page) {
        return CloudTestServer::Script{QStringLiteral("POST"), startPath, 200,
                                       R"({"flow_id":"f","auth_url":")" + QByteArray(page) + "\"}"};
    };
    const QByteArray pending = R"({"status":"pending"})";
    const QString unexpected = CloudAPIError::invalidResponse().description();
    const struct {
        const char* name;
        QList<CloudTestServer::Script> scripts; // without: ready at the first poll
        std::optional<QString> message; // none: signed in as google@example.com
        int polls;
    } cases[] = {
        {"ready after three pending polls", {answer(200, pending, 3)}, std::nullopt, 4},
        {"link expired", {answer(200, pending), answer(200, R"({"status":"expired"})")},
         QStringLiteral("Pelorin Cloud error (410): Sign-in link expired — try again."), 2},
        {"ready without address", {answer(200, R"({"status":"ready","token":"tok-g"})")}, unexpected, 1},
        {"ready without token", {answer(200, R"({"status":"ready","email":"e"})")}, unexpected, 1},
        {"202 is no answer", {answer(202, pending)}, unexpected, 1},
        {"401 is no answer either", {answer(401, R"({"detail":"x"})")}, unexpected, 1},
        {"no status member", {answer(200, R"({"token":"t"})")},
         QStringLiteral("The reply from Pelorin Cloud could not be read: GooglePoll has no \"status\"."), 1},
        {"start refused", {{QStringLiteral("POST"), startPath, 503, "busy"}}, QStringLiteral("Pelorin Cloud error (503): busy"), 0},
        // The browser opens web pages only.
        {"sign-in page in a file", {started("file:///etc/passwd")}, unexpected, 0},
        {"sign-in page that is a script", {started("javascript:alert(1)")}, unexpected, 0},
        {"sign-in page that is no address", {started("not a url")}, unexpected, 0},
        {"no answer for ten minutes", {answer(200, pending, 100000)}, QStringLiteral("Google sign-in timed out — try again."), 300},
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
        ASSERT_EQ(opened.size(), opens + (c.polls ? 1 : 0));
        if (c.polls) {
            EXPECT_EQ(opened.last().path(), QStringLiteral("/google/consent"));
            EXPECT_EQ(openedAt.secsTo(now), 2 * c.polls) << "first poll 2 s after the browser opened, then every 2 s";
        }
    }
}

// Signing out never depends on the service, cancels a waiting Google flow, and nothing still
// on its way for the old session comes back to change the state.
TEST_F(Account, SignOutEndsEverythingOfTheOldSession)
{
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
