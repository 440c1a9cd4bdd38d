#include "CloudTestServer.h"

#include "net/ServiceError.h"
#include "upload/S3Signer.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

using namespace pelorin;

// The vectors come from botocore's S3SigV4Auth, an implementation independent of ours.
TEST(S3Signature, MatchesAnIndependentImplementation)
{
    QProcess botocore;
    botocore.start(test::python(), {QStringLiteral(PELORIN_TEST_SCRIPTS "/upload/make_s3_signature_vectors.py")});
    ASSERT_TRUE(botocore.waitForFinished(60'000));
    const QJsonArray vectors = QJsonDocument::fromJson(botocore.readAllStandardOutput()).array();
    ASSERT_GE(vectors.size(), 8);
    for (const QJsonValue& v : vectors) {
        const auto text = [&](const char* name) { return v[QLatin1String(name)].toString(); };
        SCOPED_TRACE(text("name").toStdString());
        S3SigningInput input;
        input.method = text("method").toLatin1();
        input.path = u'/' + encodeUnreserved(text("bucket"), false) + u'/' + encodeUnreserved(text("key"), true);
        EXPECT_EQ(input.path, text("path"));
        input.host = text("host");
        const QJsonObject headers = v[QLatin1String("headers")].toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it)
            input.extraHeaders.emplace_back(it.key(), it.value().toString());
        input.body = QByteArray::fromBase64(text("body").toLatin1());
        input.accessKeyId = text("accessKeyId");
        input.secretAccessKey = text("secretAccessKey");
        input.time = QDateTime::fromString(text("time"), Qt::ISODate);

        const S3SignedRequest out = signS3Request(input);
        EXPECT_EQ(out.authorization, text("authorization"));
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
