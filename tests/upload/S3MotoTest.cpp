// Uploads to a real S3-compatible server that verifies every signature: moto in server mode
// with authentication on, set up by moto_s3.py.
#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "cloud/CloudAPI.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "upload/UploadFilesCommand.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

class MotoS3 {
public:
    MotoS3()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(test::python(), {QStringLiteral(PELORIN_TEST_SCRIPTS "/upload/moto_s3.py")});
        m_info = readAnswer(60'000);
    }
    ~MotoS3()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10'000))
            m_process.kill();
        m_process.waitForFinished(5'000);
    }

    bool isRunning() const { return !m_info.isEmpty(); }
    QString endpoint() const { return m_info[QLatin1String("endpoint")].toString(); }
    QString bucket() const { return m_info[QLatin1String("bucket")].toString(); }
    UploadConfig config(const QString& secret = {}) const
    {
        // Another provider than R2: its own endpoint and a real region, which the signature covers.
        return {QString(), m_info[QLatin1String("accessKeyId")].toString(),
                secret.isEmpty() ? m_info[QLatin1String("secretAccessKey")].toString() : secret, bucket(),
                endpoint() + u'/' + bucket(), endpoint(), QStringLiteral("eu-central-1")};
    }

    // The object as moto holds it.
    QJsonObject get(const QString& key) { return ask({{QStringLiteral("op"), QStringLiteral("get")}, {QStringLiteral("key"), key}}); }
    // A GET of exactly this URL (signed, since moto lets nothing through unsigned).
    QJsonObject fetch(const QString& url) { return ask({{QStringLiteral("op"), QStringLiteral("fetch")}, {QStringLiteral("url"), url}}); }

private:
    QJsonObject ask(const QJsonObject& command)
    {
        m_process.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return readAnswer(20'000);
    }
    QJsonObject readAnswer(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        return QJsonDocument::fromJson(m_process.readLine()).object();
    }

    QProcess m_process;
    QJsonObject m_info;
};

class Moto : public ::testing::Test {
protected:
    Moto() { service.setTimeout(std::chrono::seconds(20)); }

    MotoS3 moto;
    test::TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    QTemporaryDir dir;
    UploadHistoryStore history{dir.filePath(QStringLiteral("uploads.json")), QString()};
    UploadService service{settings.store(), api, history,
                          UploadConfigFile(dir.filePath(QStringLiteral("upload-config.json")), QString())};
};

const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, '\x42');

} // namespace

TEST_F(Moto, UploadStoresTheObjectItsLinkFetchesItAndDeleteRemovesIt)
{
    ASSERT_TRUE(moto.isRunning());
    service.updateConfig(moto.config());
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

        const QJsonObject stored = moto.get(result.value->key);
        ASSERT_TRUE(stored[QLatin1String("found")].toBool());
        EXPECT_EQ(QByteArray::fromBase64(stored[QLatin1String("body")].toString().toLatin1()), c.data);
        EXPECT_EQ(stored[QLatin1String("contentType")].toString(), QLatin1String(c.type));
        EXPECT_EQ(stored[QLatin1String("contentDisposition")].toString(), QLatin1String(c.disposition));

        const QJsonObject fetched = moto.fetch(result.value->publicUrl);
        EXPECT_EQ(fetched[QLatin1String("status")].toInt(), 200);
        EXPECT_EQ(QByteArray::fromBase64(fetched[QLatin1String("body")].toString().toLatin1()), c.data);
    }
    EXPECT_EQ(history.files(), uploaded);

    const UploadedFile gone = uploaded[1];
    const auto deleted = test::outcome(service.deleteFile(gone));
    ASSERT_TRUE(deleted.succeeded()) << deleted.error.toStdString();
    EXPECT_FALSE(moto.get(gone.key)[QLatin1String("found")].toBool());
    EXPECT_TRUE(moto.get(uploaded[0].key)[QLatin1String("found")].toBool());
    uploaded.removeAt(1);
    EXPECT_EQ(UploadHistoryStore(dir.filePath(QStringLiteral("uploads.json")), QString()).files(), uploaded);
}

TEST_F(Moto, CommandUploadsEachFileAndPrintsItsLink)
{
    ASSERT_TRUE(moto.isRunning());
    service.updateConfig(moto.config());
    QTemporaryDir files;
    const QString first = files.filePath(QStringLiteral("first shot.png"));
    const QString second = files.filePath(QStringLiteral("second.txt"));
    for (const QString& path : {first, second}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(path.toUtf8());
    }
    const QString missing = files.filePath(QStringLiteral("missing.png"));

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const auto code = test::outcome(uploadFilesCommand(service, {first, missing, second}, outStream, errStream), 60'000);
    ASSERT_TRUE(code.succeeded());
    EXPECT_EQ(*code.value, 1) << "one file could not be read";
    EXPECT_EQ(err, QStringLiteral("pelorin: cannot read %1: no such file\n").arg(missing));

    const QStringList links = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(links.size(), 2);
    EXPECT_TRUE(links[0].endsWith(QStringLiteral("-first%20shot.png")));
    for (int i = 0; i < 2; ++i) {
        const QJsonObject fetched = moto.fetch(links[i]);
        EXPECT_EQ(fetched[QLatin1String("status")].toInt(), 200);
        EXPECT_EQ(QByteArray::fromBase64(fetched[QLatin1String("body")].toString().toLatin1()),
                  (i == 0 ? first : second).toUtf8());
    }

    // A wrong secret is refused by the server; the message names the file and the server's
    // reason, cut to 200 characters, the exit code says so and nothing is recorded.
    service.updateConfig(moto.config(QStringLiteral("wrong")));
    out.clear();
    err.clear();
    const auto refused = test::outcome(uploadFilesCommand(service, {first}, outStream, errStream), 60'000);
    ASSERT_TRUE(refused.succeeded());
    EXPECT_EQ(*refused.value, 1);
    EXPECT_TRUE(out.isEmpty());
    const QString prefix = QStringLiteral("pelorin: %1: Upload failed (403): ").arg(first);
    EXPECT_TRUE(err.startsWith(prefix)) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("SignatureDoesNotMatch"))) << err.toStdString();
    EXPECT_LE(err.size(), prefix.size() + 200 + 1);
    EXPECT_EQ(history.files().size(), 2);
}
