#include "cloud/CloudAPI.h"

#include "cloud/CloudAPIError.h"
#include "net/HttpClient.h"
#include "cloud/KeychainStore.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QJsonDocument>

#include <algorithm>

namespace pelorin {

namespace {

// Replies of this API are small records; anything larger is not one of them.
constexpr qint64 maxReplyBytes = 1 << 20;

// The "detail" member when the body is a JSON object of string members, else the body as
// text, else nothing.
QString errorDetail(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        const QJsonObject object = document.object();
        const bool allStrings = std::all_of(object.begin(), object.end(), [](const QJsonValue& v) { return v.isString(); });
        if (allStrings && object.contains(QLatin1String("detail")))
            return object.value(QLatin1String("detail")).toString();
    }
    return strictUtf8(body).value_or(QString());
}

QUrl parsedUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return isHttpUrl(url) ? url : QUrl();
}

} // namespace

CloudAPI& CloudAPI::shared()
{
    static CloudAPI api(SettingsStore::shared(), KeychainStore::shared());
    return api;
}

CloudAPI::CloudAPI(SettingsStore& settings, TokenStore& tokens)
    : m_settings(settings)
    , m_tokens(tokens)
{
}

QString CloudAPI::baseURL() const
{
    // An emptied field in Settings means "the hosted service", not "no server".
    const QString stored = m_settings.stringValue(QLatin1String(SettingsKeys::cloudServerURL));
    return stored.isEmpty() ? QString::fromLatin1(defaultBaseURL) : stored;
}

QCoro::Task<QJsonObject> CloudAPI::request(QByteArray method, QString path, std::optional<QJsonObject> body,
                                           bool authenticated)
{
    // Plain concatenation: a base with a trailing slash gives a double slash, as configured.
    const QUrl url = parsedUrl(baseURL() + path);
    if (!url.isValid())
        throw CloudAPIError::invalidResponse();

    HttpRequest request;
    request.url = url;
    request.method = method;
    request.timeout = m_timeout;
    request.maxReplyBytes = maxReplyBytes;
    if (body) {
        request.headers.emplace_back("Content-Type", "application/json");
        request.body = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    } else if (method == "POST") {
        // A body-less POST still states its length; some front ends refuse it otherwise.
        request.body = QByteArray();
    }
    if (authenticated) {
        const std::optional<QString> token = m_tokens.token();
        if (!token)
            throw CloudAPIError::notSignedIn();
        request.headers.emplace_back("Authorization", "Bearer " + token->toUtf8());
    }

    const HttpReply reply = co_await sendHttpRequest(std::move(request));
    if (!reply.status || (reply.succeeded() && reply.oversized))
        throw CloudAPIError::invalidResponse();
    if (reply.succeeded())
        co_return decodeReplyObject(reply.body);
    if (*reply.status == 401)
        throw CloudAPIError::notSignedIn();
    // An error page too large to read still tells its status.
    throw CloudAPIError::server(*reply.status, reply.oversized ? QString() : errorDetail(reply.body));
}

QCoro::Task<CloudAuthResponse> CloudAPI::signup(QString email, QString password)
{
    const QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    co_return decodeCloudAuthResponse(co_await request("POST", QStringLiteral("/v2/auth/signup"), body, false));
}

QCoro::Task<CloudAuthResponse> CloudAPI::login(QString email, QString password)
{
    const QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    co_return decodeCloudAuthResponse(co_await request("POST", QStringLiteral("/v2/auth/login"), body, false));
}

QCoro::Task<GoogleStart> CloudAPI::googleStart()
{
    GoogleStart start = decodeGoogleStart(co_await request("POST", QStringLiteral("/v2/auth/google/start"), std::nullopt, false));
    // The page opens in the user's browser: only a web address qualifies.
    if (!isHttpUrl(start.authUrl))
        throw CloudAPIError::invalidResponse();
    co_return start;
}

QCoro::Task<std::optional<CloudAuthResponse>> CloudAPI::googlePoll(QString flowId)
{
    // Every character outside the unreserved set is escaped, '+' and '&' included, so the
    // identifier arrives as it was issued.
    QUrl url = parsedUrl(baseURL() + QStringLiteral("/v2/auth/google/poll"));
    if (!url.isValid())
        throw CloudAPIError::invalidResponse();
    url.setQuery(QStringLiteral("flow_id=") + QString::fromLatin1(QUrl::toPercentEncoding(flowId)), QUrl::StrictMode);

    HttpRequest request;
    request.url = url;
    request.timeout = m_pollTimeout;
    // The service may hold the poll open until it has news.
    request.deadline = m_pollTimeout + std::chrono::seconds(15);
    request.maxReplyBytes = maxReplyBytes;
    const HttpReply reply = co_await sendHttpRequest(std::move(request));
    if (!reply.status || reply.oversized || *reply.status != 200)
        throw CloudAPIError::invalidResponse();

    const GooglePoll poll = decodeGooglePoll(decodeReplyObject(reply.body));
    if (poll.status == QLatin1String("ready")) {
        if (!poll.token || !poll.email)
            throw CloudAPIError::invalidResponse();
        co_return CloudAuthResponse{*poll.token, *poll.email};
    }
    if (poll.status == QLatin1String("pending"))
        co_return std::nullopt;
    throw CloudAPIError::server(410, QStringLiteral("Sign-in link expired — try again."));
}

QCoro::Task<CloudMe> CloudAPI::me()
{
    co_return decodeCloudMe(co_await request("GET", QStringLiteral("/v2/me"), std::nullopt, true));
}

QCoro::Task<void> CloudAPI::logout()
{
    decodeOKResponse(co_await request("POST", QStringLiteral("/v2/auth/logout"), std::nullopt, true));
}

QCoro::Task<CloudUploadInit> CloudAPI::uploadInit(QString filename, QString contentType, qint64 sizeBytes)
{
    const QJsonObject body{{QStringLiteral("filename"), filename},
                           {QStringLiteral("content_type"), contentType},
                           {QStringLiteral("size_bytes"), sizeBytes}};
    co_return decodeCloudUploadInit(co_await request("POST", QStringLiteral("/v2/storage/uploads"), body, true));
}

QCoro::Task<CloudUploadComplete> CloudAPI::uploadComplete(QString key)
{
    const QJsonObject body{{QStringLiteral("key"), key}};
    co_return decodeCloudUploadComplete(co_await request("POST", QStringLiteral("/v2/storage/uploads/complete"), body, true));
}

QCoro::Task<QUrl> CloudAPI::objectLink(QString key, qint64 expiresSeconds)
{
    const QJsonObject body{{QStringLiteral("key"), key}, {QStringLiteral("expires_seconds"), expiresSeconds}};
    const QString link = decodeURLResponseBody(co_await request("POST", QStringLiteral("/v2/storage/objects/link"), body, true));
    const QUrl url = parsedUrl(link);
    if (!url.isValid())
        throw CloudAPIError::invalidResponse();
    co_return url;
}

QCoro::Task<void> CloudAPI::deleteObject(QString key)
{
    const QJsonObject body{{QStringLiteral("key"), key}};
    decodeOKResponse(co_await request("POST", QStringLiteral("/v2/storage/objects/delete"), body, true));
}

} // namespace pelorin
