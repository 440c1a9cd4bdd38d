#include "app/update/UpdateDownload.h"

#include "app/update/UpdateError.h"
#include "net/HttpClient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <QCoro/QCoroNetworkReply>

#include <memory>

namespace pelorin {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

} // namespace

QCoro::Task<DownloadResult> downloadToFile(QUrl url, QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw UpdateError(QStringLiteral("Couldn't write %1: %2").arg(path, file.errorString()));

    QNetworkRequest request(url);
    request.setTransferTimeout(60'000);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(networkManager()->get(request));
    QNetworkReply* raw = reply.get();

    QCryptographicHash hash(QCryptographicHash::Sha256);
    bool writeFailed = false;
    QObject::connect(raw, &QNetworkReply::readyRead, raw, [&] {
        const QByteArray chunk = raw->readAll();
        hash.addData(chunk);
        if (!writeFailed && file.write(chunk) != chunk.size()) {
            writeFailed = true;
            raw->abort();
        }
    });
    co_await raw;
    // Bytes that arrived with the finished signal.
    const QByteArray rest = raw->readAll();
    hash.addData(rest);
    if (!writeFailed && file.write(rest) != rest.size())
        writeFailed = true;

    if (writeFailed)
        throw UpdateError(QStringLiteral("Couldn't write %1: %2").arg(path, file.errorString()));
    const QNetworkReply::NetworkError error = raw->error();
    if (error != QNetworkReply::NoError && (error < 200 || error == QNetworkReply::ProtocolFailure)) {
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            throw UpdateError(QStringLiteral("The download timed out."));
        throw UpdateError(raw->errorString());
    }
    if (!file.flush())
        throw UpdateError(QStringLiteral("Couldn't write %1: %2").arg(path, file.errorString()));
    co_return DownloadResult{raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), hash.result().toHex()};
}

} // namespace pelorin
