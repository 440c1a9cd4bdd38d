#pragma once

#include "cloud/CloudRecords.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>

namespace pelorin {

class SettingsStore;
class TokenStore;

// Client of the Pelorin Cloud REST service. Keeps no state of its own: the base URL is read
// from the settings and the token from the token store at every request.
//
// Every operation may throw CloudAPIError, TransportError or DecodingError.
class CloudAPI {
public:
    static constexpr const char* defaultBaseURL = "https://api.pelorin.app";

    // The application's client: the shared settings and the keyring.
    static CloudAPI& shared();

    CloudAPI(SettingsStore& settings, TokenStore& tokens);

    // "cloudServerURL" when set, else the hosted service.
    QString baseURL() const;
    TokenStore& tokens() const { return m_tokens; }

    QCoro::Task<CloudAuthResponse> signup(QString email, QString password);
    QCoro::Task<CloudAuthResponse> login(QString email, QString password);
    QCoro::Task<GoogleStart> googleStart();
    // Nothing while the browser sign-in is still pending.
    QCoro::Task<std::optional<CloudAuthResponse>> googlePoll(QString flowId);
    QCoro::Task<CloudMe> me();
    QCoro::Task<void> logout();
    QCoro::Task<CloudUploadInit> uploadInit(QString filename, QString contentType, qint64 sizeBytes);
    QCoro::Task<CloudUploadComplete> uploadComplete(QString key);
    QCoro::Task<QUrl> objectLink(QString key, qint64 expiresSeconds);
    QCoro::Task<void> deleteObject(QString key);

    // Silence allowed per request; the poll of the browser sign-in has its own.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    void setPollTimeout(std::chrono::milliseconds timeout) { m_pollTimeout = timeout; }

private:
    QCoro::Task<QJsonObject> request(QByteArray method, QString path, std::optional<QJsonObject> body,
                                     bool authenticated);

    SettingsStore& m_settings;
    TokenStore& m_tokens;
    std::chrono::milliseconds m_timeout{30'000};
    std::chrono::milliseconds m_pollTimeout{60'000};
};

} // namespace pelorin
