#include "app/update/UpdateDownload.h"

#include "app/update/UpdateError.h"
#include "net/HttpClient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <QCoro/QCoroNetworkReply>

#include <algorithm>
#include <memory>

namespace pelorin {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

} // namespace

QCoro::Task<DownloadResult> downloadToFile(QUrl url, QString path, qint64 maxBytes)
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

    // The reply keeps at most this much in memory: the rest waits in the socket until written.
    raw->setReadBufferSize(qint64(1) << 20);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    bool writeFailed = false;
    bool tooLarge = false;
    qint64 received = 0;
    const auto limit = [&] {
        const QVariant announced = raw->header(QNetworkRequest::ContentLengthHeader);
        return announced.isValid() ? std::min(maxBytes, announced.toLongLong()) : maxBytes;
    };
    const auto take = [&](const QByteArray& chunk) {
        received += chunk.size();
        if (received > limit())
            tooLarge = true;
        if (tooLarge || writeFailed)
            return;
        hash.addData(chunk);
        writeFailed = file.write(chunk) != chunk.size();
    };
    QObject::connect(raw, &QNetworkReply::metaDataChanged, raw, [&] {
        const QVariant announced = raw->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > maxBytes) {
            tooLarge = true;
            raw->abort();
        }
    });
    QObject::connect(raw, &QNetworkReply::readyRead, raw, [&] {
        take(raw->readAll());
        if (tooLarge || writeFailed)
            raw->abort();
    });
    co_await raw;
    // Bytes that arrived with the finished signal; an aborted reply is closed and has none.
    if (raw->isOpen())
        take(raw->readAll());

    if (tooLarge)
        throw UpdateError(QStringLiteral("The update download is larger than %1; it was refused.")
                              .arg(QLocale::c().formattedDataSize(maxBytes, 0)));
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
