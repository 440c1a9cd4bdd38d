#include "net/ServiceError.h"
#include "upload/S3Signer.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace pelorin;

// Vectors computed by botocore's S3SigV4Auth (tests/upload/make_s3_signature_vectors.py).
TEST(S3Signature, MatchesAnIndependentImplementation)
{
    QFile file(QStringLiteral(PELORIN_TEST_DATA "/s3-signature-vectors.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray vectors = QJsonDocument::fromJson(file.readAll()).array();
    ASSERT_GE(vectors.size(), 8);
    for (const QJsonValue& value : vectors) {
        const QJsonObject v = value.toObject();
        SCOPED_TRACE(v[QLatin1String("name")].toString().toStdString());
        const QString path = u'/' + encodeUnreserved(v[QLatin1String("bucket")].toString(), false) + u'/'
            + encodeUnreserved(v[QLatin1String("key")].toString(), true);
        EXPECT_EQ(path, v[QLatin1String("path")].toString());

        S3SigningInput input;
        input.method = v[QLatin1String("method")].toString().toLatin1();
        input.path = path;
        input.host = v[QLatin1String("host")].toString();
        const QJsonObject headers = v[QLatin1String("headers")].toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it)
            input.extraHeaders.emplace_back(it.key(), it.value().toString());
        input.body = QByteArray::fromBase64(v[QLatin1String("body")].toString().toLatin1());
        input.accessKeyId = v[QLatin1String("accessKeyId")].toString();
        input.secretAccessKey = v[QLatin1String("secretAccessKey")].toString();
        input.time = QDateTime::fromString(v[QLatin1String("time")].toString(), Qt::ISODate);

        const S3SignedRequest out = signS3Request(input);
        EXPECT_EQ(out.canonicalRequest, v[QLatin1String("canonicalRequest")].toString());
        EXPECT_EQ(out.stringToSign, v[QLatin1String("stringToSign")].toString());
        EXPECT_EQ(out.authorization, v[QLatin1String("authorization")].toString());
        // Values go out as given; only the signature sees them trimmed.
        for (auto it = headers.begin(); it != headers.end(); ++it)
            EXPECT_EQ(out.headers.at(it.key().toUtf8()), it.value().toString());
    }
}

TEST(UploadNaming, ContentTypeAndDisposition)
{
    const struct {
        const char* fileName;
        const char* type;
        const char* disposition;
    } cases[] = {
        {"Screenshot 2026-12-05 at 16.10.24.png", "image/png", "inline"},
        {"SHOUTING.PNG", "image/png", "inline"},
        {"report.pdf", "application/pdf", "inline"},
        {"notes.txt", "text/plain", "inline"},
        {"clip.mp4", "video/mp4", "inline"},
        {"song.mp3", "audio/mpeg", "inline"},
        {"bundle.zip", "application/zip", "attachment"},
        {"Makefile", "application/octet-stream", "attachment"}, // only an extension decides
        {"trailing-dot.", "application/octet-stream", "attachment"},
        {"file.zz-no-such-type", "application/octet-stream", "attachment"},
        {"folder.png/inner", "application/octet-stream", "attachment"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        const QString type = UploadService::mimeType(QString::fromUtf8(c.fileName));
        EXPECT_EQ(type, QLatin1String(c.type));
        EXPECT_EQ(UploadService::contentDisposition(type), QLatin1String(c.disposition));
    }
}

TEST(UploadNaming, PublicLinkEncodesTheKeyButKeepsSlashesAndTheBaseAsTyped)
{
    const struct {
        const char* base;
        const char* key;
        const char* link;
    } cases[] = {
        {"https://cdn.example", "ID-Screenshot at 16.10.24.png", "https://cdn.example/ID-Screenshot%20at%2016.10.24.png"},
        {"https://cdn.example/", "ID-a.png", "https://cdn.example//ID-a.png"},
        {"https://cdn.example/sub", "ID-dir/a b.png", "https://cdn.example/sub/ID-dir/a%20b.png"},
        {"https://cdn.example", "ID-ä+&?#.png", "https://cdn.example/ID-%C3%A4%2B%26%3F%23.png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UploadService::publicLink(QString::fromUtf8(c.base), QString::fromUtf8(c.key)), QString::fromUtf8(c.link));
}

TEST(UploadNaming, ErrorDetailIsCutAtWholeCharacters)
{
    // 199 letters and a family emoji of several code points: the emoji is the 200th character.
    const QString family = QStringLiteral("👨‍👩‍👧");
    const QString detail = QString(199, u'x') + family + QStringLiteral("tail");
    EXPECT_EQ(leadingCharacters(detail, 200), QString(199, u'x') + family);
    EXPECT_EQ(leadingCharacters(QStringLiteral("short"), 200), QStringLiteral("short"));
}
