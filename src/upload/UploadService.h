#pragma once

#include "upload/UploadConfig.h"
#include "upload/UploadDestination.h"
#include "upload/UploadedFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace pelorin {

class CloudAPI;
class SettingsStore;
class UploadHistoryStore;

// Turns bytes and a file name into a stored object with a public link, to the user's own
// S3-compatible bucket (requests signed here) or through the cloud service (a presigned PUT),
// records it at the top of the upload history, and deletes such objects again.
//
// Uploads and deletes may throw UploadError, CloudAPIError, TransportError or DecodingError;
// a failure records nothing and leaves the history as it was.
class UploadService {
public:
    // Host of the "S3 / R2" endpoint after the account id.
    static constexpr const char* endpointHostSuffix = ".r2.cloudflarestorage.com";

    static UploadService& shared();

    UploadService(SettingsStore& settings, CloudAPI& cloud, UploadHistoryStore& history, UploadConfigFile configFile);

    const UploadConfig& config() const { return m_config; }
    // Why the stored upload settings could not be read, for Settings to show; empty when they
    // could (or when there are none yet).
    QString configProblem() const { return m_configFile.problem(); }
    // Replaces the configuration and writes it; a failed write changes only memory.
    void updateConfig(const UploadConfig& config);

    UploadDestination currentDestination() const;
    // Whether an upload can be attempted now.
    bool isConfigured() const;

    // Either road, by the current destination.
    QCoro::Task<UploadedFile> upload(QByteArray data, QString fileName);
    QCoro::Task<UploadedFile> uploadToCustomS3(QByteArray data, QString fileName);
    QCoro::Task<UploadedFile> uploadToCloud(QByteArray data, QString fileName);
    // Deletes the object behind a history entry, then every entry with its id.
    QCoro::Task<void> deleteFile(UploadedFile file);

    static QString mimeType(const QString& fileName);
    // "inline" for what a browser shows (images, video, audio, text, PDF), else "attachment".
    static QString contentDisposition(const QString& contentType);
    // `base` as typed, "/", and the key encoded with its slashes kept.
    static QString publicLink(const QString& base, const QString& key);

    // For tests: the clock of the request time stamps, and the silence allowed per request.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

private:
    QCoro::Task<void> send(UploadConfig config, QByteArray method, QString key, std::optional<QByteArray> body,
                           QList<std::pair<QString, QString>> extraHeaders);

    SettingsStore& m_settings;
    CloudAPI& m_cloud;
    UploadHistoryStore& m_history;
    UploadConfigFile m_configFile;
    UploadConfig m_config;
    std::function<QDateTime()> m_now;
    std::chrono::milliseconds m_timeout{60'000};
};

} // namespace pelorin
