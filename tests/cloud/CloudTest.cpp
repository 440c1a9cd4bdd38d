#include "CloudTestServer.h"
#include "TaskOutcome.h"

#include "cloud/AccountService.h"
#include "cloud/CloudAPI.h"
#include "cloud/CloudAPIError.h"
#include "cloud/KeychainStore.h"
#include "platform/AppPaths.h"
#include "platform/SettingsKeys.h"
#include "platform/TokenStore.h"

#include <gtest/gtest.h>

#include <QCoro/QCoroTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace pelorin;
using namespace Qt::StringLiterals;
using test::CloudTestServer;

namespace {

const QString serverKey = QLatin1String(SettingsKeys::cloudServerURL), emailKey = QLatin1String(SettingsKeys::cloudAccountEmail);
const QString invalid = CloudAPIError::invalidResponse().description(), signedOut = CloudAPIError::notSignedIn().description();

// The cloud API and the account service against the stand-in service, signed in as tok-1; the
// service on a clock the test moves: each of its pauses advances it at once, so ten minutes of
// polling take a moment.
class Cloud : public ::testing::Test {
protected:
    Cloud()
    {
        settings.store().setValue(serverKey, server.baseUrl());
        server.addSession(u"tok-1"_s, u"me@example.com"_s);
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
    void signedInAs(const QString& token)
    {
        server.addSession(token, me);
        tokens.setToken(token);
        settings.store().setValue(emailKey, me);
        createService();
    }

    const QString me = u"me@example.com"_s;
    CloudTestServer server;
    test::TempSettings settings;
    MemoryTokenStore tokens{u"tok-1"_s};
    CloudAPI api{settings.store(), tokens};
    std::unique_ptr<AccountService> service;
    QDateTime now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    QList<QUrl> opened;
    QDateTime openedAt;
};

using Account = Cloud;

const QString keyringService = QString::fromLatin1(applicationId);

std::optional<QString> readBack()
{
    KeychainStore fresh(keyringService);
    EXPECT_TRUE(test::outcome(fresh.load()).succeeded());
    return fresh.token();
}

} // namespace

TEST_F(Cloud, EveryEndpointSendsItsMethodPathTokenAndBodyAndRepliesDecodeOrFailClassified)
{
    const auto ok = [](auto task) { return test::outcome(std::move(task)).error; };
    const QString email = u"new@example.com"_s, password = u"pw 1"_s, key = u"u/a b"_s;
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
             return link.value && link.value->toEncoded() != "https://share.example/u/a%20b?expires=604800" ? u"wrong link"_s : link.error;
         }},
        {"POST", "/v2/storage/objects/delete", true, {{"key", key}}, [&] { return ok(api.deleteObject(key)); }},
        {"POST", "/v2/storage/uploads", true, {{"filename", "f.png"}, {"content_type", "image/png"}, {"size_bytes", 12}}, [&] {
             // Header names are used exactly as given: never case-converted.
             const auto init = test::outcome(api.uploadInit(u"f.png"_s, u"image/png"_s, 12));
             const QList<std::pair<QString, QString>> headers{{u"Content-Type"_s, u"image/png"_s}, {u"x-amz-meta-origin"_s, u"pelorin"_s}};
             return init.value && init.value->headers != headers ? u"wrong headers"_s : init.error;
         }},
        {"POST", "/v2/auth/logout", true, {}, [&] { return ok(api.logout()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.call(), QString());
        const QJsonObject request = server.lastRequest(QLatin1String(c.method), QLatin1String(c.path));
        ASSERT_FALSE(request.isEmpty());
        EXPECT_EQ(CloudTestServer::header(request, u"Authorization"_s), c.token ? u"Bearer tok-1"_s : QString());
        const QByteArray body = CloudTestServer::body(request);
        EXPECT_EQ(QJsonDocument::fromJson(body).object(), c.body);
        EXPECT_TRUE(c.body.isEmpty() ? body.isEmpty() : !body.contains('\n')) << "compact JSON";
        EXPECT_EQ(CloudTestServer::header(request, u"Content-Type"_s), c.body.isEmpty() ? QString() : u"application/json"_s);
    }
    // Signed out, the endpoints that need a token send nothing.
    tokens.setToken(std::nullopt);
    const qsizetype sent = server.requests().size();
    for (const auto& c : cases) {
        EXPECT_EQ(c.token ? c.call() : signedOut, signedOut) << c.path;
    }
    EXPECT_EQ(server.requests().size(), sent);


    // Replies decode in either member style; failures are classified.
    tokens.setToken(u"tok-1"_s);
    const QString longDetail = QString(150, u'a') + QString(150, u'b'), error = u"Pelorin Cloud error "_s;
    const QString unreadable = u"The reply from Pelorin Cloud could not be read: "_s;
    const CloudMe summary{u"a"_s, true, {true, 1, 2, 3}, {4, 5}};
    const struct {
        const char* name;
        int status;
        QByteArray body;
        QString expected; // the error; empty: `summary`
        double delaySeconds = 0;
    } replies[] = {
        {"snake_case", 200,
         R"({"email":"a","email_verified":true,"storage":{"configured":true,"used_bytes":1,"quota_bytes":2,"object_count":3},"ai":{"used_today":4,"daily_limit":5}})", {}},
        {"camelCase", 200,
         R"({"email":"a","emailVerified":true,"storage":{"configured":true,"usedBytes":1,"quotaBytes":2,"objectCount":3},"ai":{"usedToday":4,"dailyLimit":5}})", {}},
        {"detail member", 500, R"({"detail":"Boom"})", error + u"(500): Boom"_s},
        {"detail that is a number", 500, R"({"detail":5})", error + u"(500): {\"detail\":5}"_s},
        {"object with a non-string member", 422, R"({"detail":"x","code":1})", error + u"(422): {\"detail\":\"x\",\"code\":1}"_s},
        {"object without detail", 400, R"({"error":"bad"})", error + u"(400): {\"error\":\"bad\"}"_s},
        {"plain text", 429, "Too Many Requests", error + u"(429): Too Many Requests"_s},
        {"not UTF-8", 500, "\xff\xfe", error + u"(500): "_s},
        {"empty", 503, "", error + u"(503): "_s},
        {"long detail is cut", 500, QJsonDocument(QJsonObject{{u"detail"_s, longDetail}}).toJson(),
         error + u"(500): "_s + longDetail.left(200)},
        {"oversized error page", 502, QByteArray(2 << 20, '<'), error + u"(502): "_s},
        {"401", 401, R"({"detail":"token expired"})", signedOut},
        {"success that is not JSON", 200, "<html>", unreadable + u"it is not a JSON object."_s},
        {"success lacking a member", 200, R"({"email":"a","email_verified":true,"storage":{}})",
         unreadable + u"CloudMe.Storage has no \"configured\"."_s},
        {"success of the wrong type", 200,
         R"({"email":"a","emailVerified":"yes","storage":{"configured":true,"usedBytes":1,"quotaBytes":2,"objectCount":3},"ai":{"usedToday":1,"dailyLimit":2}})",
         unreadable + u"\"emailVerified\" of CloudMe has the wrong type."_s},
        {"slower than the time-out", 200, "{}", u"The request timed out."_s, 3.0},
        {"oversized success", 200, QByteArray(2 << 20, ' '), invalid},
    };
    for (const auto& c : replies) {
        SCOPED_TRACE(c.name);
        api.setTimeout(std::chrono::milliseconds(c.delaySeconds > 0 ? 500 : 10'000));
        server.script({u"GET"_s, u"/v2/me"_s, c.status, c.body, u"application/json"_s, c.delaySeconds});
        const auto result = test::outcome(api.me());
        EXPECT_EQ(result.error, c.expected);
        EXPECT_TRUE(!c.expected.isEmpty() || result.value == summary);
        const auto* transport = result.errorAs<TransportError>();
        EXPECT_EQ(transport && transport->isTimeout(), c.delaySeconds > 0);
    }

    // A trailing slash gives "//v2/…", which the HTTP client folds; no address is the real service's.
    settings.store().setValue(serverKey, server.baseUrl() + u'/');
    EXPECT_TRUE(test::outcome(api.googleStart()).succeeded());
    settings.store().setValue(serverKey, QString());
    EXPECT_EQ(api.baseURL(), u"https://api.pelorin.app"_s);
    settings.store().remove(serverKey);
    EXPECT_EQ(api.baseURL(), u"https://api.pelorin.app"_s);
    settings.store().setValue(serverKey, u"not a url"_s);
    EXPECT_EQ(test::outcome(api.me()).error, invalid);
}

// A refresh fills the summary and ends a revoked session, loudly only when asked. Refreshes on
// activation are quiet and throttled by the last success.
TEST_F(Account, RefreshFillsTheSummaryEndsARevokedSessionAndIsThrottledOnActivation)
{
    const struct {
        const char* name;
        bool explicitly; // refresh(false) rather than the quiet one of start()
        int status; // of /v2/me; 0: the service's own answer
        std::optional<QString> message;
    } cases[] = {
        {"at start-up", false, 0, std::nullopt},
        {"revoked at start-up", false, 401, std::nullopt},
        {"explicit, service down", true, 500, u"Pelorin Cloud error (500): db down"_s},
        {"explicit, revoked", true, 401, u"Your session expired — sign in again."_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        signedInAs(u"tok-a"_s);
        if (c.status)
            server.script({u"GET"_s, u"/v2/me"_s, c.status, R"({"detail":"db down"})"});
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
        EXPECT_EQ(settings.store().stringValue(emailKey), me) << "the stored address stays for the next start";
    }

    signedInAs(u"tok-a"_s);
    const auto refreshes = [&, before = server.count(u"GET"_s, u"/v2/me"_s)] { return server.count(u"GET"_s, u"/v2/me"_s) - before; };
    const struct {
        const char* step;
        int secondsLater;
        bool fails;
        int expectedRequests;
    } steps[] = {
        {"first activation", 0, false, 1},
        {"again within two minutes", 119, false, 1},
        {"two minutes after it", 1, true, 2}, // this refresh fails
        {"a failure does not throttle", 1, false, 3},
        {"the success does", 60, false, 3},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        now = now.addSecs(s.secondsLater);
        if (s.fails)
            server.script({u"GET"_s, u"/v2/me"_s, 503, "down"});
        service->refreshOnActivation();
        test::waitUntil([&] { return refreshes() >= s.expectedRequests; }, 3000);
        QTest::qWait(100);
        EXPECT_EQ(refreshes(), s.expectedRequests);
    }
    EXPECT_EQ(service->statusMessage(), std::nullopt);
    EXPECT_TRUE(tokens.token().has_value());
}

TEST_F(Account, GoogleSignInPollsEveryTwoSecondsUntilItEndsOrTheUserSignsOut)
{
    const QString pollPath = u"/v2/auth/google/poll"_s, startPath = u"/v2/auth/google/start"_s;
    const auto answer = [&](int status, const QByteArray& body, int times = 1) {
        return CloudTestServer::Script{u"GET"_s, pollPath, status, body, u"application/json"_s, 0, times};
    };
    const auto started = [&](const char* page) {
        return CloudTestServer::Script{u"POST"_s, startPath, 200, R"({"flow_id":"f","auth_url":")" + QByteArray(page) + "\"}"};
    };
    const QByteArray pending = R"({"status":"pending"})";
    const struct {
        const char* name;
        QList<CloudTestServer::Script> scripts; // without: ready at the first poll
        std::optional<QString> message; // none: signed in as google@example.com
        int polls;
    } cases[] = {
        {"ready after three pending polls", {answer(200, pending, 3)}, std::nullopt, 4},
        {"link expired", {answer(200, pending), answer(200, R"({"status":"expired"})")},
         u"Pelorin Cloud error (410): Sign-in link expired — try again."_s, 2},
        {"ready without address", {answer(200, R"({"status":"ready","token":"tok-g"})")}, invalid, 1},
        {"ready without token", {answer(200, R"({"status":"ready","email":"e"})")}, invalid, 1},
        {"202 is no answer", {answer(202, pending)}, invalid, 1},
        {"401 is no answer either", {answer(401, R"({"detail":"x"})")}, invalid, 1},
        {"no status member", {answer(200, R"({"token":"t"})")},
         u"The reply from Pelorin Cloud could not be read: GooglePoll has no \"status\"."_s, 1},
        {"start refused", {{u"POST"_s, startPath, 503, "busy"}}, u"Pelorin Cloud error (503): busy"_s, 0},
        // The browser opens web pages only.
        {"sign-in page in a file", {started("file:///etc/passwd")}, invalid, 0},
        {"sign-in page that is a script", {started("javascript:alert(1)")}, invalid, 0},
        {"sign-in page that is no address", {started("not a url")}, invalid, 0},
        {"no answer for ten minutes", {answer(200, pending, 100000)}, u"Google sign-in timed out — try again."_s, 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(std::nullopt);
        const int polls = server.count(u"GET"_s, pollPath), starts = server.count(u"POST"_s, startPath);
        const int opens = int(opened.size());
        for (const auto& script : c.scripts)
            server.script(script);
        service->signInWithGoogle();
        service->signInWithGoogle(); // a second press while waiting does nothing
        ASSERT_TRUE(test::waitUntil([&] { return !service->isWaitingForGoogle(); }, 60'000));
        EXPECT_EQ(service->statusMessage(), c.message);
        EXPECT_EQ(server.count(u"GET"_s, pollPath) - polls, c.polls);
        EXPECT_EQ(server.count(u"POST"_s, startPath), starts + 1);
        EXPECT_EQ(tokens.token().has_value(), !c.message);
        EXPECT_TRUE(c.message || service->accountEmail() == u"google@example.com"_s);
        ASSERT_EQ(opened.size(), opens + (c.polls ? 1 : 0));
        if (c.polls) {
            EXPECT_EQ(opened.last().path(), u"/google/consent"_s);
            EXPECT_EQ(openedAt.secsTo(now), 2 * c.polls) << "first poll 2 s after the browser opened, then every 2 s";
        }
    }

    // Signing out never depends on the service, cancels a waiting Google flow, and nothing still
    // on its way for the old session comes back to change the state.
    signedInAs(u"tok-a"_s);
    service->setSleep([](std::chrono::milliseconds) { return QCoro::sleepFor(std::chrono::milliseconds(50)); });
    server.script({u"GET"_s, pollPath, 200, R"({"status":"pending"})", {}, 0, 100000});
    service->signInWithGoogle();
    ASSERT_TRUE(test::waitUntil([&] { return server.count(u"GET"_s, pollPath) > 0; }));
    // The service's own summary, late.
    server.script({u"GET"_s, u"/v2/me"_s, 0, {}, {}, 1.0});
    auto refresh = service->refresh(true);

    server.script({u"POST"_s, u"/v2/auth/logout"_s, 500, "down"});
    ASSERT_TRUE(test::outcome(service->signOut()).succeeded());
    test::outcome(std::move(refresh));
    const int polls = server.count(u"GET"_s, pollPath);
    QTest::qWait(400);
    EXPECT_LE(server.count(u"GET"_s, pollPath), polls + 1) << "the cancelled flow stops polling";
    EXPECT_FALSE(service->isWaitingForGoogle());
    EXPECT_FALSE(tokens.token().has_value());
    EXPECT_EQ(service->accountEmail(), std::nullopt) << "a late summary does not sign the user back in";
    EXPECT_EQ(service->me(), std::nullopt);
    EXPECT_EQ(service->statusMessage(), std::nullopt);
    EXPECT_FALSE(settings.store().contains(emailKey));

    // Likewise a late 401 for an old token leaves a newer session alone.
    signedInAs(u"tok-b"_s);
    server.script({u"GET"_s, u"/v2/me"_s, 401, "{}", u"application/json"_s, 1.0});
    auto stale = service->refresh(false);
    tokens.setToken(u"tok-c"_s);
    test::outcome(std::move(stale));
    EXPECT_EQ(tokens.token(), u"tok-c"_s);
    EXPECT_FALSE(service->isBusy());
}

// Servers that misbehave in ways the user must be told about in words, quickly. Each reads the
// whole request and answers `reply`: closing the connection after an HTTP/1.0 answer only, and
// with `drip` sending its body one byte at a time, each well inside the silence limit, so only
// the overall deadline ends the exchange.
TEST(HttpClient, MisbehavingServersFailFastAndTheDefaultDeadlineGrowsOnlyWithTheBody)
{
    const struct {
        const char* name;
        QByteArray reply;
        QString error;
        bool drip = false;
        bool oversized = false;
    } cases[] = {
        {"redirect loop", "HTTP/1.0 307 Temporary Redirect\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n",
         u"The server redirected the request too many times."_s},
        {"reply larger than allowed", "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\nxxxx", {}, false, true},
        {"reply dripped", "HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n", u"The server took too long to answer."_s, true},
    };
    const QByteArray body(200'000, 'p'); // an upload: sent again on each redirect
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QTimer drip;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            auto received = std::make_shared<qint64>(0);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, received, &c, &body, &drip] {
                const qint64 before = *received;
                *received += socket->readAll().size();
                if (before > body.size() || *received <= body.size())
                    return;
                socket->write(c.reply);
                if (c.reply.startsWith("HTTP/1.0"))
                    socket->disconnectFromHost();
                if (c.drip) {
                    QObject::connect(&drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
                    drip.start(50);
                }
            });
        });
        HttpRequest request{QUrl(u"http://127.0.0.1:%1/loop"_s.arg(server.serverPort())), "PUT", {{"Authorization", "AWS4 …"}}, body,
                            std::chrono::milliseconds(c.drip ? 400 : 20'000), std::nullopt, 1000};
        if (c.drip)
            request.deadline = std::chrono::milliseconds(1200);
        const auto result = test::outcome(sendHttpRequest(request));
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.value && result.value->oversized, c.oversized);
        EXPECT_EQ(result.errorAs<TransportError>() && result.errorAs<TransportError>()->isTimeout(), c.drip);
    }

    // Without a deadline of its own, an exchange waits a bounded time for the answer plus its
    // body's time at a slow but working upload speed: a stalled screenshot upload fails within
    // about a minute, a large one on a slow line still gets through.
    using std::chrono::seconds;
    EXPECT_LT(exchangeDeadline(0), seconds(60));
    EXPECT_LT(exchangeDeadline(300'000), seconds(70));
    EXPECT_GT(exchangeDeadline(qint64(20) << 20), seconds(20 * 1024 / 40));
}

// With a Secret Service (CTest runs this once more through tests/cloud/run-keyring-test.sh)
// the token goes to the keyring. Without a session bus at all the keyring cannot answer: the
// token reads as signed out and writes still count for this run.
TEST(KeychainIntegration, TokenIsWrittenReplacedAndDeletedInTheKeyring)
{
    const bool keyring = !qEnvironmentVariableIsEmpty("PELORIN_KEYRING_SESSION");
    if (!keyring)
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/pelorin-test-bus");
    EXPECT_EQ(readBack(), std::nullopt);

    KeychainStore store(keyringService);
    ASSERT_TRUE(test::outcome(store.load()).succeeded());
    EXPECT_TRUE(store.isLoaded());
    store.setToken(u"tok-first"_s); // replaced before it is written
    const std::optional<QString> tokens[] = {u"tok-ünï ✓"_s, u"tok-second"_s, std::nullopt};
    for (const auto& token : tokens) {
        store.setToken(token);
        EXPECT_EQ(store.token(), token);
        ASSERT_TRUE(test::outcome(store.flush()).succeeded());
        EXPECT_EQ(readBack(), keyring ? token : std::nullopt);
    }
}
