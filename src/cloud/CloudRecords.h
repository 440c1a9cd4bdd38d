#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

namespace pelorin {

// Reply records of the cloud service. Members may arrive in snake_case or camelCase; unknown
// members are ignored; a missing or mistyped required member fails with DecodingError.

struct CloudAuthResponse {
    QString token;
    QString email;
    bool operator==(const CloudAuthResponse&) const = default;
};

struct GoogleStart {
    QString flowId;
    QUrl authUrl;
};

struct GooglePoll {
    QString status;
    std::optional<QString> token;
    std::optional<QString> email;
};

struct CloudUploadInit {
    QString key;
    QString uploadUrl;
    // Header fields the PUT must carry, names exactly as the service spelt them.
    QList<std::pair<QString, QString>> headers;
};

struct CloudUploadComplete {
    QString key;
    qint64 sizeBytes = 0;
    QString shareUrl;
};

struct CloudMe {
    struct Storage {
        bool configured = false;
        qint64 usedBytes = 0;
        qint64 quotaBytes = 0;
        qint64 objectCount = 0;
        bool operator==(const Storage&) const = default;
    };
    struct AI {
        qint64 usedToday = 0;
        qint64 dailyLimit = 0;
        bool operator==(const AI&) const = default;
    };
    QString email;
    bool emailVerified = false;
    Storage storage;
    AI ai;
    bool operator==(const CloudMe&) const = default;
};

// "upload_url" → "uploadUrl": every underscore removed and the letter after it capitalised.
QString camelCaseMemberName(const QString& name);

// The body as a JSON object, or DecodingError.
QJsonObject decodeReplyObject(const QByteArray& body);

CloudAuthResponse decodeCloudAuthResponse(const QJsonObject& object);
GoogleStart decodeGoogleStart(const QJsonObject& object); // authUrl kept as text; see CloudAPI
GooglePoll decodeGooglePoll(const QJsonObject& object);
CloudUploadInit decodeCloudUploadInit(const QJsonObject& object);
CloudUploadComplete decodeCloudUploadComplete(const QJsonObject& object);
QString decodeURLResponseBody(const QJsonObject& object);
void decodeOKResponse(const QJsonObject& object);
CloudMe decodeCloudMe(const QJsonObject& object);

} // namespace pelorin
