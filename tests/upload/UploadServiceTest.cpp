#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/CloudAPI.h"
#include "cloud/CloudAPIError.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "net/ServiceError.h"
#include "upload/S3Signer.h"
#include "upload/UploadError.h"
#include "upload/UploadFilesCommand.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace pelorin;
using test::CloudTestServer;

namespace {

const QByteArray pngBytes = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'p');

// The uploader against the stand-in service: the cloud API at its /v2 endpoints, and its
// catch-all paths as the "S3" endpoint whose requests the tests inspect.
class Uploads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }
    Uploads()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl());
        settings.store().setValue(QLatin1String(SettingsKeys::s3EndpointURL), server.baseUrl());
        server.addSession(QStringLiteral("tok-1"), QStringLiteral("me@example.com"));
        service.setTimeout(std::chrono::seconds(10));
        api.setTimeout(std::chrono::seconds(10));
    }

    void useBucket(UploadConfig config = {QStringLiteral("acct"), QStringLiteral("AKID"), QStringLiteral("secret"),
                                          QStringLiteral("shots"), QStringLiteral("https://cdn.example")})
    {
        service.updateConfig(config);
    }
    QByteArray historyFile() const { return test::readBytes(dir.filePath(QStringLiteral("uploads.json"))); }
    void seedHistory()
    {
        history.add({QUuid::createUuid(), QStringLiteral("earlier.png"), QStringLiteral("k0"), QStringLiteral("u0"),
                     QDateTime::currentDateTimeUtc(), 1, std::nullopt});
    }

    CloudTestServer server;
    test::TempSettings settings;
    MemoryTokenStore tokens{QStringLiteral("tok-1")};
    CloudAPI api{settings.store(), tokens};
    QTemporaryDir dir;
    UploadHistoryStore history{dir.filePath(QStringLiteral("uploads.json")), QString()};
    UploadService service{settings.store(), api, history,
                          UploadConfigFile(dir.filePath(QStringLiteral("upload-config.json")), QString())};
};

} // namespace

TEST_F(Uploads, OwnBucketUploadSendsTheSignedRequestAndDeleteRemovesTheEntryOnlyOnSuccess)
{
    useBucket(); // with a complete bucket and no choice made, uploads go there
    const QString fileName = QStringLiteral("Screenshot 2026-12-05 at 16.10.24 (ü+&=%).png");
    const auto result = test::outcome(service.upload(pngBytes, fileName));
    ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
    const UploadedFile file = *result.value;
    EXPECT_TRUE(file.key.endsWith(u'-' + fileName));
    EXPECT_TRUE(QUuid::fromString(file.key.left(36)) != QUuid() && file.key.left(36) == file.key.left(36).toUpper());
    const QString path = QStringLiteral("/shots/") + QString::fromLatin1(QUrl::toPercentEncoding(file.key, "/"));
    EXPECT_EQ(file.publicUrl, QStringLiteral("https://cdn.example") + path.mid(6));
    EXPECT_EQ(file.fileSize, pngBytes.size());
    EXPECT_EQ(file.source, std::nullopt);

    const QJsonObject request = server.lastRequest(QStringLiteral("PUT"), path);
    ASSERT_FALSE(request.isEmpty()) << "the raw request path must be exactly the signed one";
    EXPECT_EQ(CloudTestServer::body(request), pngBytes);
    const QString authorization = CloudTestServer::header(request, QStringLiteral("Authorization"));
    EXPECT_TRUE(authorization.startsWith(QStringLiteral("AWS4-HMAC-SHA256 Credential=AKID/"))
                && authorization.contains(QStringLiteral("/auto/s3/aws4_request, SignedHeaders=content-disposition;"
                                                         "content-type;host;x-amz-content-sha256;x-amz-date, Signature=")))
        << authorization.toStdString();
    EXPECT_EQ(decodeUploadHistory(historyFile()), QList<UploadedFile>{file});

    // A refused delete, or one with settings now incomplete, keeps the entry. A region of the
    // bucket's own is what the request is signed for.
    UploadConfig regional = service.config();
    regional.region = QStringLiteral("eu-central-1");
    service.updateConfig(regional);
    server.script({QStringLiteral("DELETE"), QStringLiteral("/shots/"), 403, "<Error>denied</Error>", {}, 0, 1, true});
    EXPECT_EQ(test::outcome(service.deleteFile(file)).error, QStringLiteral("Upload failed (403): <Error>denied</Error>"));
    EXPECT_TRUE(CloudTestServer::header(server.lastRequest(QStringLiteral("DELETE"), path), QStringLiteral("Authorization"))
                    .contains(QStringLiteral("/eu-central-1/s3/aws4_request")));
    UploadConfig incomplete = service.config();
    incomplete.secretAccessKey.clear();
    service.updateConfig(incomplete);
    EXPECT_EQ(test::outcome(service.deleteFile(file)).error, UploadError::notConfigured().description());
    EXPECT_EQ(history.files().size(), 1);

    useBucket();
    ASSERT_TRUE(test::outcome(service.deleteFile(file)).succeeded());
    EXPECT_TRUE(decodeUploadHistory(historyFile())->isEmpty());
    const QJsonObject deleted = server.lastRequest(QStringLiteral("DELETE"), path);
    EXPECT_TRUE(CloudTestServer::header(deleted, QStringLiteral("Authorization"))
                    .contains(QStringLiteral("SignedHeaders=host;x-amz-content-sha256;x-amz-date,")));
    EXPECT_TRUE(CloudTestServer::body(deleted).isEmpty());
}

TEST_F(Uploads, FailuresGiveTheirErrorAndRecordNothing)
{
    seedHistory();
    const QByteArray before = historyFile();
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    QTemporaryDir target;
    const QString localFile = target.filePath(QStringLiteral("written-by-upload"));
    const UploadConfig good{QStringLiteral("acct"), QStringLiteral("AKID"), QStringLiteral("secret"), QStringLiteral("shots"),
                            QStringLiteral("https://cdn.example")};
    UploadConfig space = good, slash = good, incomplete = good;
    space.accountId = QStringLiteral("my account");
    slash.accountId = QStringLiteral("acct/evil.example");
    incomplete.publicUrl.clear();
    const QString xml = QStringLiteral("<?xml version=\"1.0\"?><Error><Code>SignatureDoesNotMatch</Code><Message>")
        + QString(300, u'm') + QStringLiteral("</Message></Error>");
    const QString bad = UploadError::badRequest().description();
    const QString own = server.baseUrl(), uploads = QStringLiteral("/v2/storage/uploads"), put = QStringLiteral("PUT");
    const QString complete = QStringLiteral("/v2/storage/uploads/complete"), post = QStringLiteral("POST");
    using Script = CloudTestServer::Script;
    const auto shots = [&](int status, const QByteArray& body, double delay = 0) {
        return Script{put, QStringLiteral("/shots/"), status, body, QStringLiteral("application/xml"), delay, 1, true};
    };
    const struct {
        const char* name;
        bool cloud;
        std::optional<Script> script;
        QString expected;
        UploadConfig config = {};
        QString endpoint = {}; // empty: the provider's own endpoint
        QString fileName = QStringLiteral("x.png");
    } cases[] = {
        // An S3 refusal says its code and message, not its XML.
        {"403 with an XML body", false, shots(403, xml.toUtf8()),
         (QStringLiteral("Upload failed (403): SignatureDoesNotMatch: ") + QString(300, u'm')).left(21 + 200), good, own},
        {"500 with a body that is not UTF-8", false, shots(500, "\xff\xfe\x80oops"), "Upload failed (500): ", good, own},
        {"502 with an oversized body", false, shots(502, QByteArray(3 << 20, 'x')), "Upload failed (502): ", good, own},
        {"a reply slower than the time-out", false, shots(200, {}, 3.0), "The request timed out.", good, own},
        {"incomplete settings", false, {}, UploadError::notConfigured().description(), incomplete, own},
        {"account id with a space", false, {}, bad, space},
        {"account id with a slash", false, {}, bad, slash},
        {"endpoint that is not http", false, {}, bad, good, "file:///tmp"},
        {"nobody listening", false, {}, "Connection refused", good, refused},
        // The signed path must be the one sent: segments a URL would resolve away are refused.
        {"parent segment", false, {}, bad, good, own, "a/../b.png"},
        {"dot segment", false, {}, bad, good, own, "a/./b.png"},
        {"cloud init refused", true, Script{post, uploads, 500, R"({"detail":"Storage is not enabled."})"},
         QStringLiteral("Pelorin Cloud error (500): Storage is not enabled.")},
        {"cloud init 401", true, Script{post, uploads, 401, R"({"detail":"expired"})"}, CloudAPIError::notSignedIn().description()},
        {"cloud init reply without headers", true, Script{post, uploads, 200, R"({"key":"k","upload_url":"http://127.0.0.1:1/x"})"},
         QStringLiteral("The reply from Pelorin Cloud could not be read: CloudUploadInit has no \"headers\".")},
        {"presigned URL to a local file", true,
         Script{post, uploads, 200, QStringLiteral(R"({"key":"k","upload_url":"file://%1","headers":{}})").arg(localFile).toUtf8()},
         bad},
        {"presigned URL that does not parse", true,
         Script{post, uploads, 200, R"({"key":"k","upload_url":"http://exa mple.com/%zz","headers":{}})"}, bad},
        {"header with a line break", true,
         Script{post, uploads, 200, R"({"key":"k","upload_url":"http://127.0.0.1:1/x","headers":{"X-A":"a\r\nX-B: b"}})"}, bad},
        {"storage refuses the PUT", true,
         Script{put, QStringLiteral("/put/"), 403, "<Error><Code>SignatureDoesNotMatch</Code></Error>", "application/xml", 0, 1, true},
         QStringLiteral("Upload failed (403): SignatureDoesNotMatch")},
        {"completion 401", true, Script{post, complete, 401, "{}"}, CloudAPIError::notSignedIn().description()},
        {"completion reply not JSON", true, Script{post, complete, 200, "<html>"},
         QStringLiteral("The reply from Pelorin Cloud could not be read: it is not a JSON object.")},
    };
    service.setTimeout(std::chrono::milliseconds(700));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.store().setValue(QLatin1String(SettingsKeys::s3EndpointURL), c.endpoint);
        service.updateConfig(c.config);
        if (c.script)
            server.script(*c.script);
        auto result = c.cloud ? service.uploadToCloud(pngBytes, c.fileName) : service.uploadToCustomS3(pngBytes, c.fileName);
        EXPECT_EQ(test::outcome(std::move(result)).error, c.expected);
        EXPECT_EQ(history.files().size(), 1);
        EXPECT_EQ(historyFile(), before);
    }
    EXPECT_FALSE(QFile::exists(localFile)) << "a presigned file: URL must never be written to";

    // Signed out, nothing is sent at all.
    tokens.setToken(std::nullopt);
    const qsizetype sent = server.requests().size();
    EXPECT_EQ(test::outcome(service.uploadToCloud(pngBytes, QStringLiteral("x.png"))).error,
              CloudAPIError::notSignedIn().description());
    EXPECT_EQ(server.requests().size(), sent);
}

TEST_F(Uploads, CloudUploadPutsWithExactlyTheGivenHeadersAndDeleteDropsTheEntryOnlyOnSuccess)
{
    useBucket();
    settings.store().setValue(QLatin1String(SettingsKeys::uploadDestination), QStringLiteral("cloud"));
    const auto result = test::outcome(service.upload(pngBytes, QStringLiteral("Shot 1.png")));
    ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
    const UploadedFile file = *result.value;
    const QJsonObject init = server.lastRequest(QStringLiteral("POST"), QStringLiteral("/v2/storage/uploads"));
    EXPECT_EQ(QJsonDocument::fromJson(CloudTestServer::body(init)).object(),
              (QJsonObject{{QStringLiteral("filename"), QStringLiteral("Shot 1.png")},
                           {QStringLiteral("content_type"), QStringLiteral("image/png")},
                           {QStringLiteral("size_bytes"), pngBytes.size()}}));
    // The stand-in stores the PUT, and completes the upload, only with exactly the headers it
    // handed out.
    const QJsonObject put = server.lastRequest(QStringLiteral("PUT"), QStringLiteral("/put/") + QUrl::toPercentEncoding(file.key, "/"));
    EXPECT_EQ(CloudTestServer::body(put), pngBytes);
    EXPECT_TRUE(CloudTestServer::header(put, QStringLiteral("Authorization")).isEmpty())
        << "the bearer token never goes to the storage host";
    EXPECT_EQ(file.publicUrl, QStringLiteral("https://share.example/") + QUrl::toPercentEncoding(file.key, "/"));
    EXPECT_EQ(file.fileSize, pngBytes.size());
    EXPECT_EQ(file.source, QStringLiteral("cloud"));
    EXPECT_EQ(decodeUploadHistory(historyFile()), QList<UploadedFile>{file});

    const QString del = QStringLiteral("/v2/storage/objects/delete");
    server.script({QStringLiteral("POST"), del, 500, "overloaded", QStringLiteral("text/plain")});
    EXPECT_EQ(test::outcome(service.deleteFile(file)).error, QStringLiteral("Pelorin Cloud error (500): overloaded"));
    EXPECT_EQ(history.files().size(), 1);
    ASSERT_TRUE(test::outcome(service.deleteFile(file)).succeeded());
    EXPECT_TRUE(decodeUploadHistory(historyFile())->isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(CloudTestServer::body(server.lastRequest(QStringLiteral("POST"), del))).object(),
              (QJsonObject{{QStringLiteral("key"), file.key}}));
}

// Uploads to a real S3-compatible server that verifies every signature: moto in server mode
// with authentication on, run by the cloud stand-in.
TEST_F(Uploads, MotoStoresUploadsServesTheirLinksDeletesThemAndRefusesAWrongSecret)
{
    test::CloudTestServer moto({QStringLiteral("--moto")});
    ASSERT_TRUE(moto.isRunning());
    const QJsonObject info = moto.control(QStringLiteral("/_control/moto")).object();
    const auto fetch = [&](const QString& url) {
        return moto.control(QStringLiteral("/_control/moto/fetch"), {{QStringLiteral("url"), url}}).object();
    };
    const auto decoded = [](const QJsonValue& value) { return QByteArray::fromBase64(value.toString().toLatin1()); };
    service.setTimeout(std::chrono::seconds(20));
    // Another provider than R2: its own endpoint and a real region, which the signature covers.
    const QString endpoint = info[QLatin1String("endpoint")].toString();
    const QString bucket = info[QLatin1String("bucket")].toString();
    UploadConfig config{QString(), info[QLatin1String("accessKeyId")].toString(), info[QLatin1String("secretAccessKey")].toString(),
                        bucket, endpoint + u'/' + bucket, endpoint, QStringLiteral("eu-central-1")};
    service.updateConfig(config);

    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, '\x42');
    const struct {
        QString fileName;
        QByteArray data;
        const char* type;
        const char* disposition;
    } cases[] = {
        {QStringLiteral("Screenshot 2026-12-05 at 16.10.24.png"), png, "image/png", "inline"},
        {QStringLiteral("folder/notes without extension"), QByteArray("plain bytes"), "application/octet-stream", "attachment"},
        // moto's own signer cannot check non-ASCII keys; the signature vectors cover those.
        {QStringLiteral("Quarterly report 2026.pdf"), QByteArray("%PDF-1.4 tiny"), "application/pdf", "inline"},
    };
    QList<UploadedFile> uploaded;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName.toStdString());
        const auto result = test::outcome(service.uploadToCustomS3(c.data, c.fileName));
        ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
        uploaded.prepend(*result.value);
        const QJsonObject fetched = fetch(result.value->publicUrl);
        EXPECT_EQ(fetched[QLatin1String("status")].toInt(), 200);
        EXPECT_EQ(decoded(fetched[QLatin1String("body")]), c.data);
        EXPECT_EQ(fetched[QLatin1String("contentType")].toString(), QLatin1String(c.type));
        EXPECT_EQ(fetched[QLatin1String("contentDisposition")].toString(), QLatin1String(c.disposition));
    }
    EXPECT_EQ(history.files(), uploaded);

    const UploadedFile gone = uploaded.takeAt(1);
    ASSERT_TRUE(test::outcome(service.deleteFile(gone)).succeeded());
    EXPECT_EQ(fetch(gone.publicUrl)[QLatin1String("status")].toInt(), 404);
    EXPECT_EQ(fetch(uploaded[0].publicUrl)[QLatin1String("status")].toInt(), 200);
    EXPECT_EQ(decodeUploadHistory(historyFile()), uploaded);

    // `pelorin upload` prints each link, says which file it could not read, and exits 1.
    const QString first = dir.filePath(QStringLiteral("first shot.png"));
    const QString missing = dir.filePath(QStringLiteral("missing.png"));
    ASSERT_TRUE(test::writeBytes(first, first.toUtf8()));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const auto code = test::outcome(uploadFilesCommand(service, {first, missing}, outStream, errStream), 60'000);
    EXPECT_EQ(code.value, 1);
    EXPECT_EQ(err, QStringLiteral("pelorin: cannot read %1: no such file\n").arg(missing));
    ASSERT_TRUE(out.endsWith(QStringLiteral("-first%20shot.png\n"))) << out.toStdString();
    EXPECT_EQ(decoded(fetch(out.trimmed())[QLatin1String("body")]), first.toUtf8());

    // A wrong secret is refused by the server; the message names the file and the server's
    // reason, cut to 200 characters, and nothing is recorded.
    config.secretAccessKey = QStringLiteral("wrong");
    service.updateConfig(config);
    out.clear();
    err.clear();
    EXPECT_EQ(test::outcome(uploadFilesCommand(service, {first}, outStream, errStream), 60'000).value, 1);
    EXPECT_TRUE(out.isEmpty());
    const QString prefix = QStringLiteral("pelorin: %1: Upload failed (403): ").arg(first);
    EXPECT_TRUE(err.startsWith(prefix) && err.contains(QStringLiteral("SignatureDoesNotMatch"))) << err.toStdString();
    EXPECT_LE(err.size(), prefix.size() + 200 + 1);
    EXPECT_EQ(history.files().size(), 3);
}

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
