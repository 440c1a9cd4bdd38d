#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/CloudAPI.h"
#include "cloud/CloudAPIError.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <QUrlQuery>

#include <functional>

using namespace pelorin;
using test::CloudTestServer;

namespace {

class Cloud : public ::testing::Test {
protected:
    Cloud()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl());
        server.addSession(QStringLiteral("tok-1"), QStringLiteral("me@example.com"));
        api.setTimeout(std::chrono::seconds(10));
    }
    QJsonObject lastBody(const QString& method, const QString& path)
    {
        return QJsonDocument::fromJson(CloudTestServer::body(server.lastRequest(method, path))).object();
    }

    CloudTestServer server;
    test::TempSettings settings;
    MemoryTokenStore tokens{QStringLiteral("tok-1")};
    CloudAPI api{settings.store(), tokens};
};

} // namespace

TEST_F(Cloud, EveryEndpointSendsItsMethodPathTokenAndBody)
{
    ASSERT_TRUE(server.isRunning());
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
    ASSERT_TRUE(server.isRunning());
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
    ASSERT_TRUE(server.isRunning());
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

TEST_F(Cloud, GooglePollStates)
{
    ASSERT_TRUE(server.isRunning());
    const QString poll = QStringLiteral("/v2/auth/google/poll");
    const struct {
        const char* name;
        int status;
        QByteArray body;
        QString expectedError; // empty: success
        std::optional<CloudAuthResponse> expected;
    } cases[] = {
        {"pending", 200, R"({"status":"pending"})", {}, std::nullopt},
        {"ready", 200, R"({"status":"ready","token":"t","email":"e@x"})", {}, CloudAuthResponse{"t", "e@x"}},
        {"ready in camelCase with extras", 200, R"({"status":"ready","token":"t","email":"e@x","flowId":"z"})", {},
         CloudAuthResponse{"t", "e@x"}},
        {"ready without email", 200, R"({"status":"ready","token":"t"})", CloudAPIError::invalidResponse().description(), {}},
        {"ready without token", 200, R"({"status":"ready","email":"e"})", CloudAPIError::invalidResponse().description(), {}},
        {"expired", 200, R"({"status":"expired"})",
         QStringLiteral("Pelorin Cloud error (410): Sign-in link expired — try again."), {}},
        {"202 is no answer", 202, R"({"status":"pending"})", CloudAPIError::invalidResponse().description(), {}},
        {"401 is no answer either", 401, R"({"detail":"x"})", CloudAPIError::invalidResponse().description(), {}},
        {"no status member", 200, R"({"token":"t"})",
         QStringLiteral("The reply from Pelorin Cloud could not be read: GooglePoll has no \"status\"."), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.script({QStringLiteral("GET"), poll, c.status, c.body});
        const auto result = test::outcome(api.googlePoll(QStringLiteral("f")));
        EXPECT_EQ(result.error, c.expectedError);
        if (c.expectedError.isEmpty()) {
            EXPECT_EQ(*result.value, c.expected);
        }
    }
    // The identifier arrives as issued, '+' and '&' included, with no token or body.
    const QString odd = QStringLiteral("a+b&c=d é");
    test::outcome(api.googlePoll(odd));
    const QString path = server.lastRequest(QStringLiteral("GET"), poll)[QLatin1String("path")].toString();
    EXPECT_EQ(QUrlQuery(QUrl(path).query()).queryItemValue(QStringLiteral("flow_id"), QUrl::FullyDecoded), odd);
    EXPECT_EQ(path.count(u'&'), 0);
}

TEST_F(Cloud, BrowserSignInMustOpenAWebPage)
{
    ASSERT_TRUE(server.isRunning());
    const QString start = QStringLiteral("/v2/auth/google/start");
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "not a url"}) {
        SCOPED_TRACE(url);
        server.script({QStringLiteral("POST"), start, 200,
                       QJsonDocument(QJsonObject{{QStringLiteral("flow_id"), QStringLiteral("f")},
                                                 {QStringLiteral("auth_url"), QLatin1String(url)}})
                           .toJson()});
        EXPECT_EQ(test::outcome(api.googleStart()).error, CloudAPIError::invalidResponse().description());
    }
}
