#include "upload/UploadService.h"

#include "cloud/CloudAPI.h"
#include "cloud/CloudAPIError.h"
#include "net/HttpClient.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "upload/S3Signer.h"
#include "upload/UploadError.h"
#include "upload/UploadHistoryStore.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QUuid>

namespace pelorin {

namespace {

// Error replies of a storage server are short XML documents.
constexpr qint64 maxReplyBytes = 1 << 20;

QString bodyText(const HttpReply& reply)
{
    if (reply.oversized)
        return {};
    return strictUtf8(reply.body).value_or(QString());
}

// The Host header Qt sends for `url`: the host (brackets around IPv6), and the port when the
// URL names one.
QString hostHeader(const QUrl& url)
{
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(u':'))
        host = u'[' + host + u']';
    if (url.port() != -1)
        host += u':' + QString::number(url.port());
    return host;
}

bool isHeaderSafe(const QString& text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

} // namespace

UploadService& UploadService::shared()
{
    static UploadService service(SettingsStore::shared(), CloudAPI::shared(), UploadHistoryStore::shared(),
                                 UploadConfigFile::standard());
    return service;
}

UploadService::UploadService(SettingsStore& settings, CloudAPI& cloud, UploadHistoryStore& history,
                             UploadConfigFile configFile)
    : m_settings(settings)
    , m_cloud(cloud)
    , m_history(history)
    , m_configFile(std::move(configFile))
    , m_config(m_configFile.load())
    , m_now([] { return QDateTime::currentDateTimeUtc(); })
{
    // The endpoint once lived in the settings file; it moves next to the keys it goes with.
    const QString legacyEndpoint = m_settings.stringValue(QLatin1String(SettingsKeys::s3EndpointURL));
    if (m_config.endpointURL.isEmpty() && !legacyEndpoint.isEmpty() && m_config != UploadConfig{}) {
        m_config.endpointURL = legacyEndpoint;
        m_configFile.save(m_config);
    }
}

void UploadService::updateConfig(const UploadConfig& config)
{
    m_config = config;
    m_configFile.save(config);
}

UploadDestination UploadService::currentDestination() const
{
    return currentUploadDestination(m_settings, m_config);
}

bool UploadService::isConfigured() const
{
    return uploadsConfigured(m_settings, m_config, m_cloud.tokens().token().has_value());
}

QString UploadService::mimeType(const QString& fileName)
{
    const QString lastComponent = fileName.section(u'/', -1);
    const qsizetype dot = lastComponent.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : lastComponent.mid(dot + 1);
    if (!extension.isEmpty()) {
        static const QMimeDatabase database;
        // Only the extension decides: whole-name patterns ("Makefile", "README") do not apply.
        const QList<QMimeType> types = database.mimeTypesForFileName(QStringLiteral("x.") + extension);
        for (const QMimeType& type : types) {
            if (type.isValid() && !type.name().startsWith(QLatin1String("inode/")))
                return type.name();
        }
    }
    return QStringLiteral("application/octet-stream");
}

QString UploadService::contentDisposition(const QString& contentType)
{
    static const char* const shown[] = {"image/", "video/", "audio/", "text/"};
    for (const char* prefix : shown) {
        if (contentType.startsWith(QLatin1String(prefix)))
            return QStringLiteral("inline");
    }
    return contentType == QLatin1String("application/pdf") ? QStringLiteral("inline") : QStringLiteral("attachment");
}

QString UploadService::publicLink(const QString& base, const QString& key)
{
    return base + u'/' + encodeUnreserved(key, true);
}

QCoro::Task<UploadedFile> UploadService::upload(QByteArray data, QString fileName)
{
    if (currentDestination() == UploadDestination::customS3)
        co_return co_await uploadToCustomS3(std::move(data), std::move(fileName));
    co_return co_await uploadToCloud(std::move(data), std::move(fileName));
}

QCoro::Task<UploadedFile> UploadService::uploadToCustomS3(QByteArray data, QString fileName)
{
    // One configuration for the whole upload: a Save in Settings meanwhile must not give a
    // link into a different bucket than the one the object went to.
    const UploadConfig config = m_config;
    if (!config.isConfigured())
        throw UploadError::notConfigured(configProblem());
    const QString key = uuidString(QUuid::createUuid()) + u'-' + fileName;
    const QString contentType = mimeType(fileName);
    QList<std::pair<QString, QString>> headers;
    headers.emplace_back(QStringLiteral("content-type"), contentType);
    headers.emplace_back(QStringLiteral("content-disposition"), contentDisposition(contentType));
    co_await send(config, QByteArrayLiteral("PUT"), key, data, std::move(headers));
    const UploadedFile file{QUuid::createUuid(), fileName, key, publicLink(config.publicUrl, key), m_now(),
                            data.size(), std::nullopt};
    m_history.add(file);
    co_return file;
}

QCoro::Task<UploadedFile> UploadService::uploadToCloud(QByteArray data, QString fileName)
{
    if (!m_cloud.tokens().token())
        throw CloudAPIError::notSignedIn();
    const CloudUploadInit init = co_await m_cloud.uploadInit(fileName, mimeType(fileName), data.size());

    const QUrl url(init.uploadUrl, QUrl::StrictMode);
    // Only a web address: a file: URL would have the bytes written onto this machine.
    if (!isHttpUrl(url))
        throw UploadError::badRequest();
    HttpRequest request;
    request.url = url;
    request.method = "PUT";
    request.body = data;
    request.timeout = m_timeout;
    request.maxReplyBytes = maxReplyBytes;
    for (const auto& [name, value] : init.headers) {
        if (name.isEmpty() || !isHeaderSafe(name) || !isHeaderSafe(value))
            throw UploadError::badRequest();
        request.headers.emplace_back(name.toUtf8(), value.toUtf8());
    }
    const HttpReply reply = co_await sendHttpRequest(std::move(request));
    if (!reply.status)
        throw UploadError::badResponse();
    if (!reply.succeeded())
        throw UploadError::server(*reply.status, bodyText(reply));

    const CloudUploadComplete complete = co_await m_cloud.uploadComplete(init.key);
    const UploadedFile file{QUuid::createUuid(), fileName,      complete.key, complete.shareUrl,
                            m_now(),             complete.sizeBytes, QStringLiteral("cloud")};
    m_history.add(file);
    co_return file;
}

QCoro::Task<void> UploadService::deleteFile(UploadedFile file)
{
    if (file.isCloud()) {
        co_await m_cloud.deleteObject(file.key);
    } else {
        const UploadConfig config = m_config;
        if (!config.isConfigured())
            throw UploadError::notConfigured(configProblem());
        co_await send(config, QByteArrayLiteral("DELETE"), file.key, std::nullopt, {});
    }
    m_history.remove(file);
}

QCoro::Task<void> UploadService::send(UploadConfig config, QByteArray method, QString key,
                                      std::optional<QByteArray> body, QList<std::pair<QString, QString>> extraHeaders)
{
    const QString path = u'/' + encodeUnreserved(config.bucketName, false) + u'/' + encodeUnreserved(key, true);

    QUrl url;
    const QString endpoint = !config.endpointURL.isEmpty()
        ? config.endpointURL
        : m_settings.stringValue(QLatin1String(SettingsKeys::s3EndpointURL));
    if (!endpoint.isEmpty()) {
        // Another S3-compatible provider: its scheme, host and port, the same path.
        const QUrl given(endpoint, QUrl::StrictMode);
        if (!isHttpUrl(given))
            throw UploadError::badRequest();
        url.setScheme(given.scheme());
        url.setHost(given.host(QUrl::FullyEncoded), QUrl::StrictMode);
        url.setPort(given.port());
    } else {
        url.setScheme(QStringLiteral("https"));
        url.setHost(config.accountId + QLatin1String(endpointHostSuffix), QUrl::StrictMode);
    }
    url.setPath(path, QUrl::StrictMode);
    // The HTTP client sends the path with "//", "." and ".." segments resolved; a key with
    // such segments would go out under another path than the one signed.
    const QByteArray wirePath =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded | QUrl::NormalizePathSegments);
    if (!url.isValid() || url.host().isEmpty() || QString::fromLatin1(wirePath) != path)
        throw UploadError::badRequest();

    const S3SignedRequest signedRequest = signS3Request({method, path, hostHeader(url), extraHeaders,
                                                         body.value_or(QByteArray()), config.accessKeyId,
                                                         config.secretAccessKey, m_now(), config.signingRegion()});
    HttpRequest request;
    request.url = url;
    request.method = method;
    request.body = body;
    request.timeout = m_timeout;
    request.maxReplyBytes = maxReplyBytes;
    for (const auto& [name, value] : signedRequest.headers) {
        if (name != "host")
            request.headers.emplace_back(name, value.toUtf8());
    }
    request.headers.emplace_back("Authorization", signedRequest.authorization.toUtf8());

    const HttpReply reply = co_await sendHttpRequest(std::move(request));
    if (!reply.status)
        throw UploadError::badResponse();
    if (!reply.succeeded())
        throw UploadError::server(*reply.status, bodyText(reply));
}

} // namespace pelorin
