// Uploads to a real S3-compatible server that verifies every signature: moto in server mode
// with authentication on, run by the cloud stand-in (cloud_service.py --moto).
#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/CloudAPI.h"
#include "platform/TokenStore.h"
#include "upload/UploadFilesCommand.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace pelorin;

namespace {

QByteArray decoded(const QJsonValue& value)
{
    return QByteArray::fromBase64(value.toString().toLatin1());
}

} // namespace

TEST(Moto, UploadsAreStoredFetchedByTheirLinkDeletedAndRefusedWithAWrongSecret)
{
    test::CloudTestServer moto({QStringLiteral("--moto")});
    ASSERT_TRUE(moto.isRunning());
    const QJsonObject info = moto.control(QStringLiteral("/_control/moto")).object();
    const auto s3 = [&](const char* command, const char* member, const QString& value) {
        return moto.control(QStringLiteral("/_control/moto/") + QLatin1String(command), {{QLatin1String(member), value}}).object();
    };
    test::TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    QTemporaryDir dir;
    const QString historyPath = dir.filePath(QStringLiteral("uploads.json"));
    UploadHistoryStore history{historyPath, QString()};
    UploadService service{settings.store(), api, history, UploadConfigFile(dir.filePath(QStringLiteral("c.json")), QString())};
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
        const QJsonObject stored = s3("get", "key", result.value->key);
        EXPECT_EQ(decoded(stored[QLatin1String("body")]), c.data);
        EXPECT_EQ(stored[QLatin1String("contentType")].toString(), QLatin1String(c.type));
        EXPECT_EQ(stored[QLatin1String("contentDisposition")].toString(), QLatin1String(c.disposition));
        const QJsonObject fetched = s3("fetch", "url", result.value->publicUrl);
        EXPECT_EQ(fetched[QLatin1String("status")].toInt(), 200);
        EXPECT_EQ(decoded(fetched[QLatin1String("body")]), c.data);
    }
    EXPECT_EQ(history.files(), uploaded);

    const UploadedFile gone = uploaded.takeAt(1);
    ASSERT_TRUE(test::outcome(service.deleteFile(gone)).succeeded());
    EXPECT_FALSE(s3("get", "key", gone.key)[QLatin1String("found")].toBool());
    EXPECT_TRUE(s3("get", "key", uploaded[0].key)[QLatin1String("found")].toBool());
    EXPECT_EQ(UploadHistoryStore(historyPath, QString()).files(), uploaded);

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
    EXPECT_EQ(decoded(s3("fetch", "url", out.trimmed())[QLatin1String("body")]), first.toUtf8());

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
