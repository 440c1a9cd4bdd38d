#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/CloudAPI.h"
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
using namespace Qt::StringLiterals;
using test::CloudTestServer;

namespace {

const QByteArray pngBytes = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'p');
const UploadConfig bucket{u"acct"_s, u"AKID"_s, u"secret"_s, u"shots"_s, u"https://cdn.example"_s};

// The uploader against the stand-in service: the cloud API at its /v2 endpoints, and its
// catch-all paths as the "S3" endpoint whose requests the tests inspect.
class Uploads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }
    Uploads()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl());
        settings.store().setValue(QLatin1String(SettingsKeys::s3EndpointURL), server.baseUrl());
        server.addSession(u"tok-1"_s, u"me@example.com"_s);
        service.setTimeout(std::chrono::seconds(10));
        api.setTimeout(std::chrono::seconds(10));
    }
    QByteArray historyFile() const { return test::readBytes(dir.filePath(u"uploads.json"_s)); }

    CloudTestServer server;
    test::TempSettings settings;
    MemoryTokenStore tokens{u"tok-1"_s};
    CloudAPI api{settings.store(), tokens};
    QTemporaryDir dir;
    UploadHistoryStore history{dir.filePath(u"uploads.json"_s), QString()};
    UploadService service{settings.store(), api, history, UploadConfigFile(dir.filePath(u"upload-config.json"_s), QString())};
};

} // namespace

// Each destination stores the bytes where its link points and records the file; a refused
// delete keeps the entry.
TEST_F(Uploads, EachDestinationStoresTheFileAndDeleteDropsTheEntryOnlyOnSuccess)
{
    service.updateConfig(bucket); // with a complete bucket and no choice made, uploads go there
    const QString fileName = u"Screenshot 2026-12-05 at 16.10.24 (ü+&=%).png"_s;
    using Script = CloudTestServer::Script;
    const struct {
        const char* destination; // nullptr: none chosen
        QString put; // the path the bytes go to, before the encoded key
        QString link;
        std::optional<QString> source;
        Script refusedDelete;
        QString refusal;
    } cases[] = {
        {nullptr, u"/shots/"_s, u"https://cdn.example/"_s, std::nullopt,
         {u"DELETE"_s, u"/shots/"_s, 403, "<Error>denied</Error>", {}, 0, 1, true}, u"Upload failed (403): <Error>denied</Error>"_s},
        {"cloud", u"/put/"_s, u"https://share.example/"_s, u"cloud"_s,
         {u"POST"_s, u"/v2/storage/objects/delete"_s, 500, "overloaded", u"text/plain"_s}, u"Pelorin Cloud error (500): overloaded"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.put.toStdString());
        if (c.destination)
            settings.store().setValue(QLatin1String(SettingsKeys::uploadDestination), QLatin1String(c.destination));
        const auto result = test::outcome(service.upload(pngBytes, fileName));
        ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
        const UploadedFile file = *result.value;
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(file.key, "/"));
        EXPECT_TRUE(file.key.endsWith(fileName));
        EXPECT_EQ(file.publicUrl, c.link + encoded);
        EXPECT_EQ(file.fileSize, pngBytes.size());
        EXPECT_EQ(file.source, c.source);
        EXPECT_EQ(decodeUploadHistory(historyFile()), QList<UploadedFile>{file});
        const QJsonObject put = server.lastRequest(u"PUT"_s, c.put + encoded);
        ASSERT_FALSE(put.isEmpty()) << "the raw request path must be exactly the signed one";
        EXPECT_EQ(CloudTestServer::body(put), pngBytes);
        const QString authorization = CloudTestServer::header(put, u"Authorization"_s);
        if (c.destination) {
            EXPECT_TRUE(authorization.isEmpty()) << "the bearer token never goes to the storage host";
            EXPECT_EQ(QJsonDocument::fromJson(CloudTestServer::body(server.lastRequest(u"POST"_s, u"/v2/storage/uploads"_s))).object(),
                      (QJsonObject{{u"filename"_s, fileName}, {u"content_type"_s, u"image/png"_s}, {u"size_bytes"_s, pngBytes.size()}}));
        } else {
            const QString id = file.key.left(36);
            EXPECT_TRUE(QUuid::fromString(id) != QUuid() && id == id.toUpper() && file.key.mid(36, 1) == u"-");
            EXPECT_TRUE(authorization.startsWith(u"AWS4-HMAC-SHA256 Credential=AKID/"_s)
                        && authorization.contains(u"/auto/s3/aws4_request, SignedHeaders=content-disposition;"
                                                  "content-type;host;x-amz-content-sha256;x-amz-date, Signature="_s))
                << authorization.toStdString();
            // A region of the bucket's own is what its requests are signed for.
            UploadConfig config = service.config();
            config.region = u"eu-central-1"_s;
            service.updateConfig(config);
        }
        server.script(c.refusedDelete);
        EXPECT_EQ(test::outcome(service.deleteFile(file)).error, c.refusal);
        ASSERT_TRUE(test::outcome(service.deleteFile(file)).succeeded());
        EXPECT_TRUE(decodeUploadHistory(historyFile())->isEmpty());
        const QJsonObject deleted = server.lastRequest(c.refusedDelete.method, c.destination ? c.refusedDelete.path : c.put + encoded);
        if (c.destination) {
            EXPECT_EQ(QJsonDocument::fromJson(CloudTestServer::body(deleted)).object(), (QJsonObject{{u"key"_s, file.key}}));
        } else {
            EXPECT_TRUE(CloudTestServer::header(deleted, u"Authorization"_s)
                            .contains(u"/eu-central-1/s3/aws4_request, SignedHeaders=host;x-amz-content-sha256;x-amz-date,"_s));
            EXPECT_TRUE(CloudTestServer::body(deleted).isEmpty());
        }
    }
}

TEST_F(Uploads, FailuresGiveTheirErrorAndRecordNothing)
{
    history.add({QUuid::createUuid(), u"earlier.png"_s, u"k0"_s, u"u0"_s, QDateTime::currentDateTimeUtc(), 1, std::nullopt});
    const QByteArray before = historyFile();
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = u"http://127.0.0.1:%1"_s.arg(closed.serverPort());
    closed.close();
    QTemporaryDir target;
    const QString localFile = target.filePath(u"written-by-upload"_s);
    UploadConfig space = bucket, slash = bucket, incomplete = bucket;
    space.accountId = u"my account"_s;
    slash.accountId = u"acct/evil.example"_s;
    incomplete.publicUrl.clear();
    const QByteArray xml = "<?xml version=\"1.0\"?><Error><Code>SignatureDoesNotMatch</Code><Message>" + QByteArray(300, 'm')
        + "</Message></Error>";
    const QString bad = UploadError::badRequest().description();
    const QString own = server.baseUrl(), uploads = u"/v2/storage/uploads"_s, complete = u"/v2/storage/uploads/complete"_s;
    const QString put = u"PUT"_s, post = u"POST"_s, unreadable = u"The reply from Pelorin Cloud could not be read: "_s;
    using Script = CloudTestServer::Script;
    const auto shots = [&](int status, const QByteArray& body, double delay = 0) {
        return Script{put, u"/shots/"_s, status, body, u"application/xml"_s, delay, 1, true};
    };
    const auto init = [&](const QString& url, const char* headers = "{}") {
        return Script{post, uploads, 200, R"({"key":"k","upload_url":")" + url.toUtf8() + R"(","headers":)" + headers + '}'};
    };
    const struct {
        const char* name;
        bool cloud;
        std::optional<Script> script;
        QString expected;
        UploadConfig config = {};
        QString endpoint = {}; // empty: the provider's own endpoint
        QString fileName = u"x.png"_s;
    } cases[] = {
        // An S3 refusal says its code and message, not its XML.
        {"403 with an XML body", false, shots(403, xml), u"Upload failed (403): SignatureDoesNotMatch: "_s + QString(177, u'm'), bucket, own},
        {"500 with a body that is not UTF-8", false, shots(500, "\xff\xfe\x80oops"), "Upload failed (500): ", bucket, own},
        {"502 with an oversized body", false, shots(502, QByteArray(3 << 20, 'x')), "Upload failed (502): ", bucket, own},
        {"a reply slower than the time-out", false, shots(200, {}, 3.0), "The request timed out.", bucket, own},
        {"incomplete settings", false, {}, UploadError::notConfigured().description(), incomplete, own},
        {"account id with a space", false, {}, bad, space},
        {"account id with a slash", false, {}, bad, slash},
        {"endpoint that is not http", false, {}, bad, bucket, "file:///tmp"},
        {"nobody listening", false, {}, "Connection refused", bucket, refused},
        // The signed path must be the one sent: segments a URL would resolve away are refused.
        {"parent segment", false, {}, bad, bucket, own, "a/../b.png"},
        {"dot segment", false, {}, bad, bucket, own, "a/./b.png"},
        {"cloud init reply without headers", true, Script{post, uploads, 200, R"({"key":"k","upload_url":"http://127.0.0.1:1/x"})"},
         unreadable + u"CloudUploadInit has no \"headers\"."_s},
        {"presigned URL to a local file", true, init(u"file://"_s + localFile), bad},
        {"presigned URL that does not parse", true, init(u"http://exa mple.com/%zz"_s), bad},
        {"header with a line break", true, init(u"http://127.0.0.1:1/x"_s, R"({"X-A":"a\r\nX-B: b"})"), bad},
        {"storage refuses the PUT", true,
         Script{put, u"/put/"_s, 403, "<Error><Code>SignatureDoesNotMatch</Code></Error>", "application/xml", 0, 1, true},
         u"Upload failed (403): SignatureDoesNotMatch"_s},
        {"completion reply not JSON", true, Script{post, complete, 200, "<html>"}, unreadable + u"it is not a JSON object."_s},
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
}

// Uploads to a real S3-compatible server that verifies every signature: moto in server mode
// with authentication on, run by the cloud stand-in.
TEST_F(Uploads, MotoStoresUploadsServesTheirLinksDeletesThemAndRefusesAWrongSecret)
{
    test::CloudTestServer moto({u"--moto"_s});
    ASSERT_TRUE(moto.isRunning());
    const QJsonObject info = moto.control(u"/_control/moto"_s).object();
    const auto fetch = [&](const QString& url) {
        return moto.control(u"/_control/moto/fetch"_s, {{u"url"_s, url}}).object();
    };
    const auto decoded = [](const QJsonValue& value) { return QByteArray::fromBase64(value.toString().toLatin1()); };
    service.setTimeout(std::chrono::seconds(20));
    // Another provider than R2: its own endpoint and a real region, which the signature covers.
    const QString endpoint = info[u"endpoint"].toString(), name = info[u"bucket"].toString();
    UploadConfig config{QString(), info[u"accessKeyId"].toString(), info[u"secretAccessKey"].toString(), name, endpoint + u'/' + name,
                        endpoint, u"eu-central-1"_s};
    service.updateConfig(config);

    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, '\x42');
    const struct {
        QString fileName;
        QByteArray data;
        const char* type;
        const char* disposition;
    } cases[] = {
        {u"Screenshot 2026-12-05 at 16.10.24.png"_s, png, "image/png", "inline"},
        {u"folder/notes without extension"_s, QByteArray("plain bytes"), "application/octet-stream", "attachment"},
        // moto's own signer cannot check non-ASCII keys; the signature vectors cover those.
        {u"Quarterly report 2026.pdf"_s, QByteArray("%PDF-1.4 tiny"), "application/pdf", "inline"},
    };
    QList<UploadedFile> uploaded;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName.toStdString());
        const auto result = test::outcome(service.uploadToCustomS3(c.data, c.fileName));
        ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
        uploaded.prepend(*result.value);
        const QJsonObject fetched = fetch(result.value->publicUrl);
        EXPECT_EQ(fetched[u"status"].toInt(), 200);
        EXPECT_EQ(decoded(fetched[u"body"]), c.data);
        EXPECT_EQ(fetched[u"contentType"].toString(), QLatin1String(c.type));
        EXPECT_EQ(fetched[u"contentDisposition"].toString(), QLatin1String(c.disposition));
    }
    EXPECT_EQ(history.files(), uploaded);

    const UploadedFile gone = uploaded.takeAt(1);
    ASSERT_TRUE(test::outcome(service.deleteFile(gone)).succeeded());
    EXPECT_EQ(fetch(gone.publicUrl)[u"status"].toInt(), 404);
    EXPECT_EQ(fetch(uploaded[0].publicUrl)[u"status"].toInt(), 200);
    EXPECT_EQ(decodeUploadHistory(historyFile()), uploaded);

    // `pelorin upload` prints each link, says which file it could not read, and exits 1.
    const QString first = dir.filePath(u"first shot.png"_s), missing = dir.filePath(u"missing.png"_s);
    ASSERT_TRUE(test::writeBytes(first, first.toUtf8()));
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const auto code = test::outcome(uploadFilesCommand(service, {first, missing}, outStream, errStream), 60'000);
    EXPECT_EQ(code.value, 1);
    EXPECT_EQ(err, u"pelorin: cannot read %1: no such file\n"_s.arg(missing));
    ASSERT_TRUE(out.endsWith(u"-first%20shot.png\n"_s)) << out.toStdString();
    EXPECT_EQ(decoded(fetch(out.trimmed())[u"body"]), first.toUtf8());

    // A wrong secret is refused by the server; the message names the file and the server's
    // reason, cut to 200 characters, and nothing is recorded.
    config.secretAccessKey = u"wrong"_s;
    service.updateConfig(config);
    out.clear();
    err.clear();
    EXPECT_EQ(test::outcome(uploadFilesCommand(service, {first}, outStream, errStream), 60'000).value, 1);
    EXPECT_TRUE(out.isEmpty());
    const QString prefix = u"pelorin: %1: Upload failed (403): "_s.arg(first);
    EXPECT_TRUE(err.startsWith(prefix) && err.contains(u"SignatureDoesNotMatch"_s)) << err.toStdString();
    EXPECT_LE(err.size(), prefix.size() + 200 + 1);
    EXPECT_EQ(history.files().size(), 3);
}

// The vectors come from botocore's S3SigV4Auth, an implementation independent of ours.
TEST(S3Signature, MatchesAnIndependentImplementation)
{
    QProcess botocore;
    botocore.start(u"python3"_s, {QStringLiteral(PELORIN_TEST_SCRIPTS "/upload/make_s3_signature_vectors.py")});
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

TEST(UploadNaming, ContentTypeDispositionLinkAndErrorDetail)
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

    // A public link encodes the key but keeps its slashes, and the base as typed.
    const struct {
        const char* base;
        const char* key;
        const char* link;
    } links[] = {
        {"https://cdn.example", "ID-Screenshot at 16.10.24.png", "https://cdn.example/ID-Screenshot%20at%2016.10.24.png"},
        {"https://cdn.example/", "ID-a.png", "https://cdn.example//ID-a.png"},
        {"https://cdn.example/sub", "ID-dir/a b.png", "https://cdn.example/sub/ID-dir/a%20b.png"},
        {"https://cdn.example", "ID-ä+&?#.png", "https://cdn.example/ID-%C3%A4%2B%26%3F%23.png"},
    };
    for (const auto& c : links)
        EXPECT_EQ(UploadService::publicLink(QString::fromUtf8(c.base), QString::fromUtf8(c.key)), QString::fromUtf8(c.link));

    // An error detail is cut at whole characters: after 199 letters, a family emoji of several
    // code points is the 200th.
    const QString family = u"👨‍👩‍👧"_s;
    EXPECT_EQ(leadingCharacters(QString(199, u'x') + family + u"tail"_s, 200), QString(199, u'x') + family);
    EXPECT_EQ(leadingCharacters(u"short"_s, 200), u"short"_s);
}
