#include "net/HttpClient.h"

#include "net/ServiceError.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <QCoro/QCoroNetworkReply>

#include <memory>

namespace pelorin {

namespace {

} // namespace

QNetworkAccessManager* networkManager()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
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

constexpr const char* oversizedProperty = "pelorinOversized";
constexpr const char* deadlineProperty = "pelorinPastDeadline";

} // namespace

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

QCoro::Task<HttpReply> sendHttpRequest(HttpRequest request)
{
    HttpReply result;
    if (!isHttpUrl(request.url))
        co_return result;

    QNetworkRequest networkRequest(request.url);
    networkRequest.setTransferTimeout(int(request.timeout.count()));
    bool carriesCredentials = false;
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
        carriesCredentials = carriesCredentials || name.compare("authorization", Qt::CaseInsensitive) == 0;
    }
    // A redirect to another origin must not take the bearer token or the signature along.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                carriesCredentials ? QNetworkRequest::SameOriginRedirectPolicy
                                                   : QNetworkRequest::NoLessSafeRedirectPolicy);

    QNetworkAccessManager* manager = networkManager();
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        request.body ? manager->sendCustomRequest(networkRequest, request.method, *request.body)
                     : manager->sendCustomRequest(networkRequest, request.method));
    const qint64 limit = request.maxReplyBytes;
    QNetworkReply* raw = reply.get();
    QObject::connect(raw, &QNetworkReply::downloadProgress, raw, [raw, limit](qint64 received, qint64 total) {
        if ((received > limit || total > limit) && !raw->property(oversizedProperty).toBool()) {
            raw->setProperty(oversizedProperty, true);
            raw->abort();
        }
    });

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, raw, [raw] {
        raw->setProperty(deadlineProperty, true);
        raw->abort();
    });
    deadline.start(request.deadline);

    co_await raw;
    deadline.stop();

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (raw->property(oversizedProperty).toBool()) {
        result.oversized = true;
        if (status.isValid())
            result.status = status.toInt();
        co_return result;
    }
    if (isTransportFailure(raw->error())) {
        if (raw->property(deadlineProperty).toBool())
            throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The server took too long to answer."));
        if (raw->error() == QNetworkReply::OperationCanceledError || raw->error() == QNetworkReply::TimeoutError)
            throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
        throw TransportError(raw->error(), raw->errorString());
    }
    if (status.isValid()) {
        result.status = status.toInt();
        result.body = raw->readAll();
        if (result.body.size() > limit) {
            result.oversized = true;
            result.body.clear();
        }
    }
    co_return result;
}

} // namespace pelorin
