#include "net/HttpClient.h"

#include "net/ServiceError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <QCoro/QCoroSignal>

#include <memory>

namespace pelorin {

QNetworkAccessManager* networkManager()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        // Gone before the application is: its connections close while the TLS backend they
        // need on the way out still exists.
        qAddPostRoutine([] { delete manager.data(); });
    }
    return manager;
}

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Errors below HTTP; the codes from 200 on describe HTTP statuses, which callers classify
// themselves from the status code.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && (error < 200 || error == QNetworkReply::ProtocolFailure);
}

constexpr int maxRedirects = 10;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(-1) == b.port(-1);
}

} // namespace

// Ends the wait for one reply: when it finishes, or at once when it is cut off for its size
// or the deadline. An aborted reply whose server keeps the connection open finishes only at
// the silence limit.
class ReplyWait : public QObject {
    Q_OBJECT
public:
    enum class Cut { none, oversized, pastDeadline, managerGone };
    void end(Cut why)
    {
        if (ended)
            return;
        ended = true;
        cut = why;
        Q_EMIT done();
    }
    bool ended = false;
    Cut cut = Cut::none;

Q_SIGNALS:
    void done();
};

std::chrono::milliseconds exchangeDeadline(qint64 bodyBytes)
{
    // Just inside the usual one-minute silence limit, so a silent server is reported as slow.
    constexpr std::chrono::milliseconds answerWait{55'000};
    constexpr qint64 slowestBytesPerSecond = 32 * 1024;
    return answerWait + std::chrono::milliseconds(bodyBytes * 1000 / slowestBytesPerSecond);
}

bool isHttpUrl(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

std::optional<QString> strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

namespace {

// One request without following redirects: Qt cannot send a request body again on a
// redirect (the exchange ends in "Unknown error"), so sendHttpRequest follows them itself.
QCoro::Task<HttpReply> exchange(const HttpRequest& request, const QUrl& url, const QByteArray& method,
                                const std::optional<QByteArray>& body, const QDeadlineTimer& deadline,
                                QUrl* location)
{
    HttpReply result;
    QNetworkRequest networkRequest(url);
    networkRequest.setTransferTimeout(int(request.timeout.count()));
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (const auto& [name, value] : request.headers)
        networkRequest.setRawHeader(name, value);

    QNetworkAccessManager* manager = networkManager();
    std::unique_ptr<QNetworkReply, DeleteLater> reply(body ? manager->sendCustomRequest(networkRequest, method, *body)
                                                           : manager->sendCustomRequest(networkRequest, method));
    QNetworkReply* raw = reply.get();
    ReplyWait wait;
    const qint64 limit = request.maxReplyBytes;
    QObject::connect(raw, &QNetworkReply::finished, &wait, [&wait] { wait.end(ReplyWait::Cut::none); });
    // The network manager takes its replies along when the application ends; the request
    // ends then too, instead of waiting for ever.
    QObject::connect(raw, &QObject::destroyed, &wait, [&wait] { wait.end(ReplyWait::Cut::managerGone); });
    // The length a server announces decides at once; Qt emits downloadProgress at most every
    // 100 ms, so the body read so far is checked as it comes in.
    QObject::connect(raw, &QNetworkReply::metaDataChanged, &wait, [raw, &wait, limit] {
        if (raw->header(QNetworkRequest::ContentLengthHeader).toLongLong() > limit)
            wait.end(ReplyWait::Cut::oversized);
    });
    QObject::connect(raw, &QNetworkReply::readyRead, &wait, [raw, &wait, limit] {
        if (raw->bytesAvailable() > limit)
            wait.end(ReplyWait::Cut::oversized);
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &wait, [&wait] { wait.end(ReplyWait::Cut::pastDeadline); });
    timer.start(std::max<qint64>(0, deadline.remainingTime()));

    if (!wait.ended && !raw->isFinished())
        co_await qCoro(&wait, &ReplyWait::done);
    timer.stop();
    if (wait.cut == ReplyWait::Cut::managerGone) {
        (void)reply.release();
        throw TransportError(QNetworkReply::OperationCanceledError, QStringLiteral("The application is closing."));
    }
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (wait.cut != ReplyWait::Cut::none)
        raw->abort();
    if (wait.cut == ReplyWait::Cut::pastDeadline)
        throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The server took too long to answer."));
    if (wait.cut == ReplyWait::Cut::oversized) {
        result.oversized = true;
        if (status.isValid())
            result.status = status.toInt();
        co_return result;
    }
    if (isTransportFailure(raw->error())) {
        if (raw->error() == QNetworkReply::OperationCanceledError || raw->error() == QNetworkReply::TimeoutError)
            throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
        throw TransportError(raw->error(), raw->errorString());
    }
    if (status.isValid()) {
        result.status = status.toInt();
        if (isRedirect(*result.status))
            *location = raw->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        result.body = raw->readAll();
        if (result.body.size() > limit) {
            result.oversized = true;
            result.body.clear();
        }
    }
    co_return result;
}

} // namespace

QCoro::Task<HttpReply> sendHttpRequest(HttpRequest request)
{
    if (!isHttpUrl(request.url))
        co_return HttpReply{};

    bool carriesCredentials = false;
    for (const auto& [name, value] : request.headers)
        carriesCredentials = carriesCredentials || name.compare("authorization", Qt::CaseInsensitive) == 0;

    const QDeadlineTimer deadline(request.deadline.value_or(exchangeDeadline(request.body ? request.body->size() : 0)));
    QUrl url = request.url;
    QByteArray method = request.method;
    std::optional<QByteArray> body = request.body;
    for (int redirects = 0;; ++redirects) {
        QUrl location;
        HttpReply reply = co_await exchange(request, url, method, body, deadline, &location);
        if (location.isEmpty() || !reply.status || !isRedirect(*reply.status))
            co_return reply;
        if (redirects == maxRedirects)
            throw TransportError(QNetworkReply::TooManyRedirectsError,
                                 QStringLiteral("The server redirected the request too many times."));
        const QUrl target = url.resolved(location);
        // A redirect to another origin must not take the bearer token or the signature along,
        // and none may go from https to plain http.
        const bool downgrade = url.scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https");
        if (!isHttpUrl(target) || downgrade || (carriesCredentials && !sameOrigin(url, target)))
            throw TransportError(QNetworkReply::InsecureRedirectError,
                                 QStringLiteral("The server redirected the request to %1, which is not followed.")
                                     .arg(target.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)));
        // After a 303, and after a 301 or 302 of a POST, the new address is fetched with GET.
        if (*reply.status == 303 || ((*reply.status == 301 || *reply.status == 302) && method == "POST")) {
            method = *reply.status == 303 && method == "HEAD" ? method : QByteArray("GET");
            body.reset();
        }
        url = target;
    }
}

} // namespace pelorin

#include "HttpClient.moc"
