#include "detection/VisionAnalysisService.h"

#include "net/HttpClient.h"
#include "platform/TokenStore.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "platform/AppPaths.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

#include <algorithm>

namespace pelorin {

namespace {

// Answers are lists of boxes; a reply this large is not one.
constexpr qint64 maxReplyBytes = 32 << 20;

// The "detail" member when the body is a JSON object whose members are all strings.
std::optional<QString> jsonDetail(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (!std::all_of(object.begin(), object.end(), [](const QJsonValue& v) { return v.isString(); }))
        return std::nullopt;
    if (!object.contains(QLatin1String("detail")))
        return std::nullopt;
    return object.value(QLatin1String("detail")).toString();
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

// Formats whose rows end on a whole byte; others are converted first (a rare case).
bool hashesRowsAsTheyAre(QImage::Format format)
{
    return format != QImage::Format_Invalid && QImage::toPixelFormat(format).bitsPerPixel() % 8 == 0;
}

// Names the pixels, not their encoding, so a screenshot is looked up before anything is
// encoded. BLAKE2b over the image's own bits (no converted copy) is several times quicker
// than SHA-256 over an ARGB copy, which kept the user waiting a third of a second on a
// 5-megapixel screenshot; 128 bits are plenty to tell screenshots apart.
QString pixelDigest(const QImage& original)
{
    const QImage image = hashesRowsAsTheyAre(original.format()) ? original : original.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    const qint32 header[3] = {image.width(), image.height(), qint32(image.format())};
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(header), sizeof header));
    const qsizetype rowBytes = qsizetype(image.width()) * image.depth() / 8;
    if (rowBytes == image.bytesPerLine()) {
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    } else { // the padding at the end of each row is no part of the picture
        for (int y = 0; y < image.height(); ++y)
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes));
    }
    return QString::fromLatin1(hash.result().first(16).toHex());
}

} // namespace

VisionAnalysisService::VisionAnalysisService(SettingsStore& settings, TokenStore& tokens, QString cacheDirectory)
    : m_settings(settings)
    , m_tokens(tokens)
    , m_cacheDirectory(cacheDirectory.isEmpty() ? pelorin::cacheDirectory() + QStringLiteral("/AnalysisCache")
                                                : std::move(cacheDirectory))
{
}

QString VisionAnalysisService::baseURL() const
{
    for (const char* key : {SettingsKeys::analysisServerURL, SettingsKeys::cloudServerURL}) {
        const QVariant value = m_settings.value(QLatin1String(key));
        if (value.isValid() && !value.isNull())
            return value.toString();
    }
    return QString::fromLatin1(defaultBaseURL);
}

QString VisionAnalysisService::cacheKey(const char* prefix, const QImage& image)
{
    return QLatin1String(prefix) + pixelDigest(image);
}

QByteArray VisionAnalysisService::multipartBody(const QByteArray& boundary, const QByteArray& png)
{
    QByteArray body;
    body.reserve(png.size() + 2 * boundary.size() + 160);
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"screenshot.png\"\r\n";
    body += "Content-Type: image/png\r\n\r\n";
    body += png;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

std::optional<ComponentAnalysisResponse> VisionAnalysisService::cached(const QString& key)
{
    if (const auto it = m_memoryCache.find(key); it != m_memoryCache.end())
        return it->second;
    QFile file(m_cacheDirectory + u'/' + key + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        ComponentAnalysisResponse response = decodeComponentAnalysisResponse(file.readAll());
        m_memoryCache[key] = response;
        return response;
    } catch (const DecodingError&) {
        // A damaged entry is asked for again and then overwritten.
        return std::nullopt;
    }
}

void VisionAnalysisService::store(const QString& key, const ComponentAnalysisResponse& response)
{
    m_memoryCache[key] = response;
    // Failures to write only cost a later request.
    (void)writeStateFile(m_cacheDirectory + u'/' + key + QStringLiteral(".json"), encodeComponentAnalysisResponse(response));
}

QCoro::Task<ComponentAnalysisResponse> VisionAnalysisService::analyzeScreenshot(QImage image)
{
    if (image.isNull())
        throw VisionError::imageConversionFailed();
    // Hashing and encoding a full-screen image take long enough to stall the window; an
    // answer already known needs no PNG at all. (Futures are named before awaiting: GCC 12
    // destroys temporaries of a co_await expression twice.)
    QFuture<QString> keying = QtConcurrent::run([image] { return cacheKey(serverKeyPrefix, image); });
    const QString key = co_await keying;
    if (std::optional<ComponentAnalysisResponse> hit = cached(key))
        co_return *hit;
    QFuture<QByteArray> encoding = QtConcurrent::run([image] { return pngBytes(image); });
    const QByteArray png = co_await encoding;
    if (png.isEmpty())
        throw VisionError::imageConversionFailed();

    const QString address = baseURL() + QStringLiteral("/analyze");
    const QUrl url(address, QUrl::StrictMode);
    if (!isHttpUrl(url))
        throw ServiceError(QStringLiteral("The analysis server address is not a valid web address: ") + address);

    HttpRequest request;
    request.url = url;
    request.method = "POST";
    request.timeout = m_timeout;
    request.maxReplyBytes = maxReplyBytes;
    if (const std::optional<QString> token = m_tokens.token())
        request.headers.emplace_back("Authorization", "Bearer " + token->toUtf8());
    const QByteArray boundary = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toUtf8();
    request.headers.emplace_back("Content-Type", "multipart/form-data; boundary=" + boundary);
    request.body = multipartBody(boundary, png);

    const HttpReply reply = co_await sendHttpRequest(std::move(request));
    if (!reply.status)
        throw VisionError::invalidResponse();
    const int status = *reply.status;
    if (status == 200) {
        if (reply.oversized)
            throw VisionError::invalidResponse();
        ComponentAnalysisResponse response = decodeComponentAnalysisResponse(reply.body);
        store(key, response);
        co_return response;
    }
    const QByteArray body = reply.oversized ? QByteArray() : reply.body;
    if (status == 429)
        throw VisionError::rateLimited(jsonDetail(body).value_or(QStringLiteral("Daily Analyze limit reached — try again later.")));
    if (status == 401)
        throw VisionError::notAuthenticated();
    QString detail = jsonDetail(body).value_or(strictUtf8(body).value_or(QString()));
    if (detail.isEmpty())
        detail = QStringLiteral("Unknown error");
    throw VisionError::serverError(status, detail);
}

QCoro::Task<ComponentAnalysisResponse> VisionAnalysisService::analyzeOnDevice(QImage image)
{
    if (image.isNull())
        throw VisionError::imageConversionFailed();
    QFuture<QString> keying = QtConcurrent::run([image] { return cacheKey(deviceKeyPrefix, image); });
    const QString key = co_await keying;
    if (std::optional<ComponentAnalysisResponse> hit = cached(key))
        co_return *hit;
    // Exceptions do not cross the worker pool intact; the error comes back as a value.
    QFuture<std::pair<ComponentAnalysisResponse, QString>> analysing = QtConcurrent::run([image] {
        try {
            return std::pair(DeviceComponentAnalyzer::analyze(image), QString());
        } catch (const std::exception& error) {
            return std::pair(ComponentAnalysisResponse{}, QString::fromUtf8(error.what()));
        }
    });
    auto [response, failure] = co_await analysing;
    if (!failure.isEmpty())
        throw ServiceError(failure);
    store(key, response);
    co_return response;
}

} // namespace pelorin
