#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <map>
#include <utility>

namespace pelorin {

// Percent-encodes the UTF-8 bytes of `text` (two upper-case hex digits each), leaving only
// A–Z a–z 0–9 - . _ ~ as they are, and "/" too when `keepSlash`.
QString encodeUnreserved(const QString& text, bool keepSlash);

// AWS Signature Version 4 for one path-style S3 request, service "s3".
struct S3SigningInput {
    QByteArray method;
    // Already encoded, exactly as it goes on the wire.
    QString path;
    // The Host header the HTTP client will send ("host" or "host:port").
    QString host;
    // Lower-case names; values as they will be sent.
    QList<std::pair<QString, QString>> extraHeaders;
    QByteArray body;
    QString accessKeyId;
    QString secretAccessKey;
    QDateTime time;
    // "auto" is what R2 expects; AWS needs the bucket's own region.
    QString region = QStringLiteral("auto");
};

struct S3SignedRequest {
    QString amzDate;   // yyyyMMddTHHmmssZ
    QString payloadHash;
    // Every signed header by UTF-8 name (so in code-point order), values untrimmed;
    // "host" included although the HTTP client sends that one itself.
    std::map<QByteArray, QString> headers;
    QString canonicalRequest;
    QString stringToSign;
    QString signedHeaders;
    QString signature;
    QString authorization;
};

S3SignedRequest signS3Request(const S3SigningInput& input);

} // namespace pelorin
