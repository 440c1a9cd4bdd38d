#pragma once

#include "detection/ComponentAnalysis.h"

#include <QImage>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <map>

namespace pelorin {

class SettingsStore;
class TokenStore;

// Turns a screenshot into labelled components, through the analysis server or on this
// computer. Answers are cached in memory and on disk under a key made from the pixels, so
// the same pixels are never analysed twice.
//
// Runs on the main thread; the operations throw VisionError, TransportError or DecodingError.
class VisionAnalysisService {
public:
    static constexpr const char* defaultBaseURL = "https://api.pelorin.app";
    // Cache keys: the server's answers, and those made on this computer (which differ).
    // (v1 keys hashed the PNG or a converted copy of the pixels; those files are no longer read.)
    static constexpr const char* serverKeyPrefix = "v2-";
    static constexpr const char* deviceKeyPrefix = "device-v2-";

    // `cacheDirectory` empty: the application's cache folder + "/AnalysisCache".
    VisionAnalysisService(SettingsStore& settings, TokenStore& tokens, QString cacheDirectory = {});

    // "analysisServerURL", else "cloudServerURL", else the hosted service.
    QString baseURL() const;
    QString cacheDirectory() const { return m_cacheDirectory; }

    // The server's answer in pixels of the PNG made from `image`.
    QCoro::Task<ComponentAnalysisResponse> analyzeScreenshot(QImage image);
    // The same form, found by the on-device detector and text recognition on a worker thread.
    QCoro::Task<ComponentAnalysisResponse> analyzeOnDevice(QImage image);

    const std::map<QString, ComponentAnalysisResponse>& memoryCache() const { return m_memoryCache; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The prefix and a 128-bit hash of the image's size, format and pixels (32 hex digits).
    static QString cacheKey(const char* prefix, const QImage& image);
    // The request body: one form field "file" holding the PNG.
    static QByteArray multipartBody(const QByteArray& boundary, const QByteArray& png);

private:
    QByteArray encodePng(const QImage& image) const;
    std::optional<ComponentAnalysisResponse> cached(const QString& key);
    void store(const QString& key, const ComponentAnalysisResponse& response);

    SettingsStore& m_settings;
    TokenStore& m_tokens;
    QString m_cacheDirectory;
    std::map<QString, ComponentAnalysisResponse> m_memoryCache;
    std::chrono::milliseconds m_timeout{60'000};
};

} // namespace pelorin
