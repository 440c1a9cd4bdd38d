#include "CloudTestServer.h"
#include "TaskOutcome.h"

#include "cloud/CloudAPI.h"
#include "platform/SettingsKeys.h"
#include "platform/TokenStore.h"
#include "upload/S3Signer.h"
#include "upload/UploadError.h"
#include "upload/UploadFilesCommand.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace pelorin;
using namespace Qt::StringLiterals;
using test::CloudTestServer;

namespace {

const QByteArray pngBytes = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'p');
const UploadConfig complete{u"acct"_s, u"AKID"_s, u"s3cr3t"_s, u"shots"_s, u"https://cdn.example"_s};
const UploadConfig legacy{u"old-acct"_s, u"OLDKEY"_s, u"old-secret"_s, u"old-bucket"_s, u"https://old.example"_s};
const QByteArray legacyJson =
    R"({"publicUrl":"https://old.example","bucketName":"old-bucket","secretAccessKey":"old-secret","accessKeyId":"OLDKEY","accountId":"old-acct"})";

// `complete` as upload-config.json holds it, with `changes` made (an undefined value drops the member).
QByteArray completeJson(std::initializer_list<std::pair<const char*, QJsonValue>> changes = {})
{
    QJsonObject object{{u"accountId"_s, u"acct"_s}, {u"accessKeyId"_s, u"AKID"_s}, {u"secretAccessKey"_s, u"s3cr3t"_s},
                       {u"bucketName"_s, u"shots"_s}, {u"publicUrl"_s, u"https://cdn.example"_s}};
    for (const auto& [name, value] : changes) {
        if (value.isUndefined())
            object.remove(QLatin1String(name));
        else
            object.insert(QLatin1String(name), value);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray entry(const char* id, double date, const char* extra = "")
{
    return uR"({"id":"%1","fileName":"f-%1.png","key":"k\/%1","publicUrl":"https:\/\/cdn\/%1","uploadDate":%2,"fileSize":10%3})"_s
        .arg(QLatin1String(id))
        .arg(date, 0, 'f', 3)
        .arg(QLatin1String(extra))
        .toUtf8();
}

QByteArray array(std::initializer_list<QByteArray> entries)
{
    return '[' + QByteArrayList(entries).join(',') + ']';
}

UploadedFile upload(const QString& fileName, const QDateTime& date = QDateTime::currentDateTimeUtc())
{
    return {QUuid::createUuid(), fileName, u"k"_s, u"u"_s, date, 5, std::nullopt};
}

const char* const A = "00000000-0000-0000-0000-00000000000A";
const char* const B = "00000000-0000-0000-0000-00000000000B";
const char* const C = "00000000-0000-0000-0000-00000000000C";
const char* const D = "00000000-0000-0000-0000-00000000000D";

// The application's folder and the legacy application's in a temporary folder, for the upload
// settings and the upload history.
class Stored : public ::testing::Test {
protected:
    UploadConfigFile file() const { return UploadConfigFile(configPath, legacyConfigPath); }
    static mode_t mode(const QString& path)
    {
        struct stat info {};
        ::stat(QFile::encodeName(path).constData(), &info);
        return info.st_mode & 0777;
    }
    static QStringList ids(const UploadHistoryStore& store)
    {
        QStringList out;
        for (const UploadedFile& f : store.files())
            out << uuidString(f.id).right(1);
        return out;
    }

    QTemporaryDir m_dir;
    const QString configPath = m_dir.filePath(u"Pelorin/upload-config.json"_s);
    const QString legacyConfigPath = m_dir.filePath(u"Ostrafel/config.json"_s);
    const QString historyPath = m_dir.filePath(u"Pelorin/uploads.json"_s), legacyHistoryPath = m_dir.filePath(u"Ostrafel/files.json"_s);
    test::TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    UploadHistoryStore history{m_dir.filePath(u"uploads.json"_s), QString()};
};

using ConfigFiles = Stored;
using History = Stored;

// The uploader against the stand-in service: the cloud API at its /v2 endpoints, and its
// catch-all paths as the "S3" endpoint whose requests the tests inspect.
class Uploads : public Stored {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }
    Uploads()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server.baseUrl());
        settings.store().setValue(QLatin1String(SettingsKeys::s3EndpointURL), server.baseUrl());
        server.addSession(u"tok-1"_s, u"me@example.com"_s);
        tokens.setToken(u"tok-1"_s);
        service.setTimeout(std::chrono::seconds(10));
        api.setTimeout(std::chrono::seconds(10));
    }
    QByteArray historyFile() const { return test::readBytes(m_dir.filePath(u"uploads.json"_s)); }

    CloudTestServer server;
    UploadService service{settings.store(), api, history, UploadConfigFile(configPath, QString())};
};

} // namespace

TEST_F(Uploads, EachDestinationStoresTheFileDeleteDropsItOnlyOnSuccessAndFailuresRecordNothing)
{
    service.updateConfig(complete); // with a complete bucket and no choice made, uploads go there
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

    history.add(upload(u"earlier.png"_s));
    const QByteArray before = historyFile();
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = u"http://127.0.0.1:%1"_s.arg(closed.serverPort());
    closed.close();
    QTemporaryDir target;
    const QString localFile = target.filePath(u"written-by-upload"_s);
    UploadConfig space = complete, slash = complete, incomplete = complete;
    space.accountId = u"my account"_s;
    slash.accountId = u"acct/evil.example"_s;
    incomplete.publicUrl.clear();
    const QByteArray xml = "<?xml version=\"1.0\"?><Error><Code>SignatureDoesNotMatch</Code><Message>" + QByteArray(300, 'm')
        + "</Message></Error>";
    const QString bad = UploadError::badRequest().description();
    const QString own = server.baseUrl(), uploads = u"/v2/storage/uploads"_s, completion = u"/v2/storage/uploads/complete"_s;
    const QString put = u"PUT"_s, post = u"POST"_s, unreadable = u"The reply from Pelorin Cloud could not be read: "_s;
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
    } failures[] = {
        // An S3 refusal says its code and message, not its XML.
        {"403 with an XML body", false, shots(403, xml), u"Upload failed (403): SignatureDoesNotMatch: "_s + QString(177, u'm'), complete, own},
        {"500 with a body that is not UTF-8", false, shots(500, "\xff\xfe\x80oops"), "Upload failed (500): ", complete, own},
        {"502 with an oversized body", false, shots(502, QByteArray(3 << 20, 'x')), "Upload failed (502): ", complete, own},
        {"a reply slower than the time-out", false, shots(200, {}, 3.0), "The request timed out.", complete, own},
        {"incomplete settings", false, {}, UploadError::notConfigured().description(), incomplete, own},
        {"account id with a space", false, {}, bad, space},
        {"account id with a slash", false, {}, bad, slash},
        {"endpoint that is not http", false, {}, bad, complete, "file:///tmp"},
        {"nobody listening", false, {}, "Connection refused", complete, refused},
        // The signed path must be the one sent: segments a URL would resolve away are refused.
        {"parent segment", false, {}, bad, complete, own, "a/../b.png"},
        {"dot segment", false, {}, bad, complete, own, "a/./b.png"},
        {"cloud init reply without headers", true, Script{post, uploads, 200, R"({"key":"k","upload_url":"http://127.0.0.1:1/x"})"},
         unreadable + u"CloudUploadInit has no \"headers\"."_s},
        {"presigned URL to a local file", true, init(u"file://"_s + localFile), bad},
        {"presigned URL that does not parse", true, init(u"http://exa mple.com/%zz"_s), bad},
        {"header with a line break", true, init(u"http://127.0.0.1:1/x"_s, R"({"X-A":"a\r\nX-B: b"})"), bad},
        {"storage refuses the PUT", true,
         Script{put, u"/put/"_s, 403, "<Error><Code>SignatureDoesNotMatch</Code></Error>", "application/xml", 0, 1, true},
         u"Upload failed (403): SignatureDoesNotMatch"_s},
        {"completion reply not JSON", true, Script{post, completion, 200, "<html>"}, unreadable + u"it is not a JSON object."_s},
    };
    service.setTimeout(std::chrono::milliseconds(700));
    for (const auto& c : failures) {
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
    const auto fetch = [&](const QString& url) { return moto.control(u"/_control/moto/fetch"_s, {{u"url"_s, url}}).object(); };
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

    const UploadedFile gone = uploaded.takeAt(1);
    ASSERT_TRUE(test::outcome(service.deleteFile(gone)).succeeded());
    EXPECT_EQ(fetch(gone.publicUrl)[u"status"].toInt(), 404);
    EXPECT_EQ(fetch(uploaded[0].publicUrl)[u"status"].toInt(), 200);
    EXPECT_EQ(decodeUploadHistory(historyFile()), uploaded);

    // `pelorin upload` prints each link, says which file it could not read, and exits 1.
    const QString first = m_dir.filePath(u"first shot.png"_s), missing = m_dir.filePath(u"missing.png"_s);
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

TEST(UploadNaming, ContentTypeDispositionLinkErrorDetailAndSignature)
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

    // Signatures match those of botocore's S3SigV4Auth, an implementation independent of ours.
    QProcess botocore;
    botocore.start(u"python3"_s, {QStringLiteral(PELORIN_TEST_SCRIPTS "/upload/make_s3_signature_vectors.py")});
    ASSERT_TRUE(botocore.waitForFinished(60'000));
    const QJsonArray vectors = QJsonDocument::fromJson(botocore.readAllStandardOutput()).array();
    ASSERT_GE(vectors.size(), 8);
    for (const QJsonValue& v : vectors) {
        const auto text = [&](const char* name) { return v[QLatin1String(name)].toString(); };
        SCOPED_TRACE(text("name").toStdString());
        const QString path = u'/' + encodeUnreserved(text("bucket"), false) + u'/' + encodeUnreserved(text("key"), true);
        EXPECT_EQ(path, text("path"));
        const QJsonObject headers = v[QLatin1String("headers")].toObject();
        QList<std::pair<QString, QString>> extraHeaders;
        for (auto it = headers.begin(); it != headers.end(); ++it)
            extraHeaders.emplace_back(it.key(), it.value().toString());
        const S3SignedRequest out = signS3Request({text("method").toLatin1(), path, text("host"), extraHeaders,
                                                   QByteArray::fromBase64(text("body").toLatin1()), text("accessKeyId"),
                                                   text("secretAccessKey"), QDateTime::fromString(text("time"), Qt::ISODate)});
        EXPECT_EQ(out.authorization, text("authorization"));
        // Values go out as given; only the signature sees them trimmed.
        for (auto it = headers.begin(); it != headers.end(); ++it)
            EXPECT_EQ(out.headers.at(it.key().toUtf8()), it.value().toString());
    }
}

// Loading reads the file, migrates the legacy one or starts empty; saving writes compact JSON
// for the owner only, which the next start reads back.
TEST_F(ConfigFiles, LoadsMigratesAndSavesForTheOwnerOnly)
{
    const QByteArray withoutPublicUrl = completeJson({{"publicUrl", QJsonValue::Undefined}});
    const struct {
        const char* name;
        QByteArray current; // empty: no file
        QByteArray legacyFile;
        UploadConfig expected;
        bool fileWritten; // "upload-config.json" holds `expected` afterwards
        bool unreadable = false; // the file is there but damaged: kept, and the user told
    } cases[] = {
        {"fresh installation", {}, {}, UploadConfig{}, false},
        {"both files", completeJson(), legacyJson, complete, true},
        // A damaged file never brings back the old bucket and keys of the legacy one.
        {"file lacks publicUrl, legacy valid", withoutPublicUrl, legacyJson, UploadConfig{}, false, true},
        {"file lacks publicUrl, no legacy", withoutPublicUrl, {}, UploadConfig{}, false, true},
        {"member of the wrong type", completeJson({{"accountId", 7}}), {}, UploadConfig{}, false, true},
        {"optional members of the wrong type", completeJson({{"region", 1}}), {}, UploadConfig{}, false, true},
        {"own endpoint and region, no account",
         completeJson({{"accountId", u""_s}, {"endpointURL", u"https://s3.example"_s}, {"region", u"eu-west-1"_s}}),
         {},
         {{}, u"AKID"_s, u"s3cr3t"_s, u"shots"_s, u"https://cdn.example"_s, u"https://s3.example"_s, u"eu-west-1"_s},
         true},
        {"file is not JSON, legacy valid", "{not json", legacyJson, UploadConfig{}, false, true},
        {"legacy file is not a config", {}, "[1,2,3]", UploadConfig{}, false},
        {"only the legacy file", {}, legacyJson, legacy, true}, // last: the saving below starts from here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        ASSERT_TRUE(c.current.isEmpty() || test::writeBytes(configPath, c.current));
        ASSERT_TRUE(c.legacyFile.isEmpty() || test::writeBytes(legacyConfigPath, c.legacyFile));

        const UploadConfigFile loaded = file();
        EXPECT_EQ(loaded.load(), c.expected);
        EXPECT_EQ(!loaded.problem().isEmpty(), c.unreadable) << loaded.problem().toStdString();
        if (c.fileWritten) {
            EXPECT_EQ(decodeUploadConfig(test::readBytes(configPath)), c.expected);
        } else {
            EXPECT_EQ(test::readBytes(configPath), c.current);
            EXPECT_EQ(QFile::exists(configPath), !c.current.isEmpty());
        }
        EXPECT_EQ(test::readBytes(legacyConfigPath), c.legacyFile) << "the legacy file stays as it was";
    }

    EXPECT_EQ(mode(configPath), 0600u) << "as migrated";
    EXPECT_EQ(mode(legacyConfigPath), 0600u) << "the old copy of the secret too";
    // Someone widened the permissions; the next save narrows them again.
    QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    const UploadConfig typed{u" acct "_s, u"AKID"_s, u"se\"cr/et ü"_s, u"b"_s, u"https://cdn.example/"_s};
    UploadService(settings.store(), api, history, file()).updateConfig(typed);
    const QByteArray bytes = test::readBytes(configPath);
    EXPECT_FALSE(bytes.contains('\n'));
    EXPECT_EQ(QJsonDocument::fromJson(bytes).object().size(), 5);
    EXPECT_EQ(mode(configPath), 0600u);
    EXPECT_EQ(UploadService(settings.store(), api, history, file()).config(), typed);

    // The endpoint moves from the settings file into upload-config.json, so a damaged settings
    // file can no longer send the access key to another host.
    const QString minio = u"https://minio.example:9000"_s, endpointKey = QLatin1String(SettingsKeys::s3EndpointURL);
    settings.store().setValue(endpointKey, minio);
    UploadService(settings.store(), api, history, file());
    EXPECT_EQ(file().load().endpointURL, minio);
    settings.store().remove(endpointKey); // the settings file lost it
    EXPECT_EQ(UploadService(settings.store(), api, history, file()).config().endpointURL, minio);

    // Without an application folder only memory changes.
    UploadService memoryOnly(settings.store(), api, history, UploadConfigFile(QString(), legacyConfigPath));
    EXPECT_EQ(memoryOnly.config(), legacy);
    memoryOnly.updateConfig(complete);
    EXPECT_EQ(memoryOnly.config(), complete);
    EXPECT_EQ(test::readBytes(legacyConfigPath), legacyJson);
}

TEST(UploadDestinationRules, ResolutionAndWhetherAnUploadCanBeAttempted)
{
    using D = UploadDestination;
    const UploadConfig spaces{u" "_s, u" "_s, u" "_s, u" "_s, u" "_s}; // nothing is trimmed
    const struct {
        const char* stored; // nullptr: never picked
        UploadConfig config;
        bool token;
        UploadDestination destination;
        bool uploadsPossible;
    } cases[] = {
        {nullptr, {}, false, D::pelorinCloud, false}, // fresh installation
        {nullptr, {}, true, D::pelorinCloud, true},
        {nullptr, complete, false, D::customS3, true},
        {nullptr, spaces, false, D::customS3, true},
        {nullptr, complete, true, D::customS3, true},
        {"custom", {}, true, D::customS3, false}, // stays custom; a token does not help
        {"custom", complete, false, D::customS3, true},
        {"cloud", complete, false, D::pelorinCloud, false},
        {"cloud", {}, true, D::pelorinCloud, true},
        {"Cloud", complete, false, D::customS3, true}, // unknown values act as no choice
        {"s3", {}, true, D::pelorinCloud, true},
        {"", {}, false, D::pelorinCloud, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.stored ? c.stored : "(absent)") << " config " << c.config.accountId.toStdString()
                                        << " token " << c.token);
        test::TempSettings settings;
        if (c.stored)
            settings.store().setValue(QLatin1String(SettingsKeys::uploadDestination), QString::fromLatin1(c.stored));
        EXPECT_EQ(currentUploadDestination(settings.store(), c.config), c.destination);
        EXPECT_EQ(uploadsConfigured(settings.store(), c.config, c.token), c.uploadsPossible);
    }
    // All five fields are needed; an endpoint of its own stands in for the account id only.
    for (QString UploadConfig::*field : {&UploadConfig::accountId, &UploadConfig::accessKeyId, &UploadConfig::secretAccessKey,
                                         &UploadConfig::bucketName, &UploadConfig::publicUrl}) {
        UploadConfig missingOne = complete;
        missingOne.*field = QString();
        EXPECT_FALSE(missingOne.isConfigured());
        missingOne.endpointURL = u"https://s3.example"_s;
        EXPECT_EQ(missingOne.isConfigured(), field == &UploadConfig::accountId);
    }
}

TEST_F(History, LoadsNewestFirstWritesBackOnlyWhatChangedAndSetsUnreadableFilesAside)
{
    const QByteArray stored = array({entry(A, 100), entry(B, 300.5), entry(C, 100, ",\"source\":\"cloud\""), entry(D, 200), entry(A, 0)});
    ASSERT_TRUE(test::writeBytes(historyPath, stored));
    UploadHistoryStore store(historyPath, legacyHistoryPath);
    EXPECT_EQ(ids(store), (QStringList{"B", "D", "A", "C", "A"})) << "equal dates keep the file's order";
    EXPECT_EQ(test::readBytes(historyPath), stored) << "loading writes nothing back";
    EXPECT_EQ(store.files()[3].source, u"cloud"_s);
    EXPECT_EQ(store.files()[3].uploadDate, QDateTime(QDate(2001, 1, 1), QTime(0, 1, 40), Qt::UTC));
    EXPECT_EQ(store.files()[0].source, std::nullopt);
    EXPECT_EQ(store.files()[0].publicUrl, u"https://cdn/"_s + QLatin1String(B));

    const UploadedFile a = store.files()[2], fresh = upload(u"new.png"_s, QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    store.add(fresh);
    EXPECT_EQ(store.files().first(), fresh) << "the newest upload goes first whatever its date";
    store.remove(a); // which the hand-edited file holds twice
    QStringList rest = ids(store).mid(1);
    rest.sort();
    EXPECT_EQ(rest, (QStringList{"B", "C", "D"}));
    // Written back, an absent source stays absent rather than becoming null.
    for (const QJsonValue& e : QJsonDocument::fromJson(test::readBytes(historyPath)).array()) {
        const bool isC = e[u"id"].toString().compare(QLatin1String(C), Qt::CaseInsensitive) == 0;
        EXPECT_EQ(e[u"source"].toString(), isC ? u"cloud"_s : QString());
        EXPECT_EQ(e.toObject().contains(u"source"_s), isC);
        EXPECT_TRUE(!isC || e[u"uploadDate"].toDouble() == 100.0) << "seconds since 2001";
    }
    // Reloaded, the list is sorted by date again: the 1970 entry goes last.
    UploadHistoryStore reloaded(historyPath, legacyHistoryPath);
    EXPECT_EQ(ids(reloaded).mid(0, 3), (QStringList{"B", "D", "C"}));
    EXPECT_EQ(reloaded.files().value(3), fresh);

    // An unreadable file loads empty; its bytes are set aside before the first write replaces it.
    // A legacy file is copied as it is, before it is decoded.
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"an entry without fileSize",
         array({entry(A, 1), R"({"id":"00000000-0000-0000-0000-00000000000B","fileName":"f","key":"k","publicUrl":"u","uploadDate":2})"})},
        {"a fractional fileSize", array({entry(A, 1, "").replace("\"fileSize\":10", "\"fileSize\":10.5")})},
        {"a source that is not a string", array({entry(A, 1, ",\"source\":1")})},
        {"an id that is no UUID", array({entry("not-a-uuid", 1)})},
        {"not an array", entry(A, 1)},
        {"not JSON", "[{"},
    };
    const QDir folder = QFileInfo(historyPath).absoluteDir();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::writeBytes(historyPath, c.bytes));
        UploadHistoryStore loaded(historyPath, legacyHistoryPath);
        EXPECT_TRUE(loaded.files().isEmpty());
        loaded.add(upload(u"n.png"_s));
        const QStringList aside = folder.entryList({u"uploads.unreadable-*.json"_s});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(test::readBytes(folder.filePath(aside[0])), c.bytes);
        EXPECT_EQ(UploadHistoryStore(historyPath, legacyHistoryPath).files().size(), 1);
        QFile::remove(folder.filePath(aside[0]));
    }

    const struct {
        QByteArray bytes;
        QStringList ids;
    } legacyFiles[] = {
        {array({entry(A, 1), entry(B, 2)}) + "\n  ", {"B", "A"}}, // valid, with trailing blanks
        {"[{\"id\": \"broken\"}]", {}},                         // does not decode
    };
    for (const auto& c : legacyFiles) {
        QFile::remove(historyPath);
        ASSERT_TRUE(test::writeBytes(legacyHistoryPath, c.bytes));
        UploadHistoryStore loaded(historyPath, legacyHistoryPath);
        EXPECT_EQ(ids(loaded), c.ids);
        EXPECT_EQ(test::readBytes(historyPath), c.bytes);
        EXPECT_EQ(test::readBytes(legacyHistoryPath), c.bytes);
    }
}

// Another process (`pelorin upload` beside the tray app) adds entries to the same file: this
// test run again with PELORIN_HISTORY_CHILD naming the file.
TEST_F(History, TwoProcessesWritingLoseNothing)
{
    const QString childPath = qEnvironmentVariable("PELORIN_HISTORY_CHILD");
    UploadHistoryStore store(childPath.isEmpty() ? historyPath : childPath, legacyHistoryPath); // loaded before the other writes
    const auto add25 = [&](const QString& who) {
        for (int i = 0; i < 25; ++i)
            store.add(upload(who + QString::number(i)));
    };
    if (!childPath.isEmpty())
        return add25(u"command-"_s);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PELORIN_HISTORY_CHILD"_s, historyPath);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {u"--gtest_filter=History.TwoProcessesWritingLoseNothing"_s});
    ASSERT_TRUE(child.waitForStarted());
    add25(u"app-"_s);
    ASSERT_TRUE(child.waitForFinished(30'000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    // The Uploads window follows this store: the other process's entries reach it without a
    // write of this one.
    EXPECT_TRUE(test::waitUntil([&] { return store.files().size() == 50; })) << store.files().size();
    store.remove(store.files().last()); // one more write after the child is done
    EXPECT_EQ(store.files().size(), 49);
    EXPECT_EQ(UploadHistoryStore(historyPath, legacyHistoryPath).files().size(), 49);
}
