#include "TestSupport.h"

#include "cloud/CloudAPI.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "upload/UploadConfig.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace pelorin;

namespace {

const UploadConfig complete{QStringLiteral("acct"), QStringLiteral("AKID"), QStringLiteral("s3cr3t"),
                            QStringLiteral("shots"), QStringLiteral("https://cdn.example")};
const UploadConfig legacy{QStringLiteral("old-acct"), QStringLiteral("OLDKEY"), QStringLiteral("old-secret"),
                          QStringLiteral("old-bucket"), QStringLiteral("https://old.example")};

const char* const completeJson =
    R"({"accountId":"acct","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots","publicUrl":"https://cdn.example"})";
const char* const legacyJson =
    R"({"publicUrl":"https://old.example","bucketName":"old-bucket","secretAccessKey":"old-secret","accessKeyId":"OLDKEY","accountId":"old-acct"})";
const char* const withoutPublicUrl =
    R"({"accountId":"acct","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots"})";
const char* const withEndpoint =
    R"({"accountId":"","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots","publicUrl":"https://cdn.example","endpointURL":"https://s3.example","region":"eu-west-1"})";
const char* const numberRegion =
    R"({"accountId":"acct","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots","publicUrl":"x","region":1})";
const char* const numberMember =
    R"({"accountId":7,"accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots","publicUrl":"x"})";

class ConfigFiles : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Pelorin/upload-config.json")); }
    QString legacyPath() const { return m_dir.filePath(QStringLiteral("Ostrafel/config.json")); }
    UploadConfigFile file() const { return UploadConfigFile(path(), legacyPath()); }
    static mode_t mode(const QString& path)
    {
        struct stat info {};
        ::stat(QFile::encodeName(path).constData(), &info);
        return info.st_mode & 0777;
    }

    QTemporaryDir m_dir;
    test::TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    UploadHistoryStore history{m_dir.filePath(QStringLiteral("uploads.json")), QString()};
};

} // namespace

TEST_F(ConfigFiles, LoadsTheFileOrMigratesTheLegacyOneOrStartsEmpty)
{
    const struct {
        const char* name;
        const char* current; // nullptr: no file
        const char* legacyFile;
        UploadConfig expected;
        bool fileWritten; // "upload-config.json" holds `expected` afterwards
        bool unreadable = false; // the file is there but damaged: kept, and the user told
    } cases[] = {
        {"fresh installation", nullptr, nullptr, UploadConfig{}, false},
        {"only the legacy file", nullptr, legacyJson, legacy, true},
        {"both files", completeJson, legacyJson, complete, true},
        // A damaged file never brings back the old bucket and keys of the legacy one.
        {"file lacks publicUrl, legacy valid", withoutPublicUrl, legacyJson, UploadConfig{}, false, true},
        {"file lacks publicUrl, no legacy", withoutPublicUrl, nullptr, UploadConfig{}, false, true},
        {"member of the wrong type", numberMember, nullptr, UploadConfig{}, false, true},
        {"optional members of the wrong type", numberRegion, nullptr, UploadConfig{}, false, true},
        {"own endpoint and region, no account",
         withEndpoint,
         nullptr,
         {{}, QStringLiteral("AKID"), QStringLiteral("s3cr3t"), QStringLiteral("shots"), QStringLiteral("https://cdn.example"),
          QStringLiteral("https://s3.example"), QStringLiteral("eu-west-1")},
         true},
        {"file is not JSON, legacy valid", "{not json", legacyJson, UploadConfig{}, false, true},
        {"legacy file is not a config", nullptr, "[1,2,3]", UploadConfig{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        ASSERT_TRUE(!c.current || test::writeBytes(path(), c.current));
        ASSERT_TRUE(!c.legacyFile || test::writeBytes(legacyPath(), c.legacyFile));

        const UploadConfigFile loaded = file();
        EXPECT_EQ(loaded.load(), c.expected);
        EXPECT_EQ(!loaded.problem().isEmpty(), c.unreadable) << loaded.problem().toStdString();
        if (c.fileWritten) {
            EXPECT_EQ(decodeUploadConfig(test::readBytes(path())), c.expected);
        } else if (!c.current) {
            EXPECT_FALSE(QFile::exists(path()));
        } else {
            EXPECT_EQ(test::readBytes(path()), QByteArray(c.current));
        }
        if (c.legacyFile) {
            EXPECT_EQ(test::readBytes(legacyPath()), QByteArray(c.legacyFile)) << "the legacy file stays as it was";
        }
    }
}

TEST_F(ConfigFiles, SavedSettingsAreCompactForTheOwnerOnlyAndReachTheNextStart)
{
    ASSERT_TRUE(test::writeBytes(legacyPath(), legacyJson));
    file().load(); // migration creates the file
    EXPECT_EQ(mode(path()), 0600u);
    EXPECT_EQ(mode(legacyPath()), 0600u) << "the old copy of the secret too";
    // Someone widened the permissions; the next save narrows them again.
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    const UploadConfig typed{QStringLiteral(" acct "), QStringLiteral("AKID"), QStringLiteral("se\"cr/et ü"),
                             QStringLiteral("b"), QStringLiteral("https://cdn.example/")};
    UploadService(settings.store(), api, history, file()).updateConfig(typed);
    const QByteArray bytes = test::readBytes(path());
    EXPECT_FALSE(bytes.contains('\n'));
    EXPECT_EQ(QJsonDocument::fromJson(bytes).object().size(), 5);
    EXPECT_EQ(mode(path()), 0600u);
    EXPECT_EQ(UploadService(settings.store(), api, history, file()).config(), typed);

    // The endpoint moves from the settings file into upload-config.json, so a damaged settings
    // file can no longer send the access key to another host.
    const QString minio = QStringLiteral("https://minio.example:9000");
    settings.store().setValue(QLatin1String(SettingsKeys::s3EndpointURL), minio);
    UploadService(settings.store(), api, history, file());
    EXPECT_EQ(file().load().endpointURL, minio);
    settings.store().remove(QLatin1String(SettingsKeys::s3EndpointURL)); // the settings file lost it
    EXPECT_EQ(UploadService(settings.store(), api, history, file()).config().endpointURL, minio);

    // Without an application folder only memory changes.
    UploadService memoryOnly(settings.store(), api, history, UploadConfigFile(QString(), legacyPath()));
    EXPECT_EQ(memoryOnly.config(), legacy);
    memoryOnly.updateConfig(complete);
    EXPECT_EQ(memoryOnly.config(), complete);
    EXPECT_EQ(test::readBytes(legacyPath()), QByteArray(legacyJson));
}

TEST(UploadConfigRecord, IsConfiguredNeedsAllFiveFieldsAndTrimsNothing)
{
    UploadConfig spaces{QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")};
    EXPECT_TRUE(spaces.isConfigured());
    EXPECT_TRUE(complete.isConfigured());
    for (QString UploadConfig::*field : {&UploadConfig::accountId, &UploadConfig::accessKeyId,
                                         &UploadConfig::secretAccessKey, &UploadConfig::bucketName,
                                         &UploadConfig::publicUrl}) {
        UploadConfig missingOne = complete;
        missingOne.*field = QString();
        EXPECT_FALSE(missingOne.isConfigured());
        missingOne.endpointURL = QStringLiteral("https://s3.example"); // stands in for the account id only
        EXPECT_EQ(missingOne.isConfigured(), field == &UploadConfig::accountId);
    }
}

TEST(UploadDestinationRules, ResolutionAndWhetherAnUploadCanBeAttempted)
{
    using D = UploadDestination;
    const struct {
        const char* stored; // nullptr: never picked
        bool configComplete;
        bool token;
        UploadDestination destination;
        bool uploadsPossible;
    } cases[] = {
        {nullptr, false, false, D::pelorinCloud, false}, // fresh installation
        {nullptr, false, true, D::pelorinCloud, true},
        {nullptr, true, false, D::customS3, true},
        {nullptr, true, true, D::customS3, true},
        {"custom", false, true, D::customS3, false}, // stays custom; a token does not help
        {"custom", true, false, D::customS3, true},
        {"cloud", true, false, D::pelorinCloud, false},
        {"cloud", false, true, D::pelorinCloud, true},
        {"Cloud", true, false, D::customS3, true}, // unknown values act as no choice
        {"s3", false, true, D::pelorinCloud, true},
        {"", false, false, D::pelorinCloud, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.stored ? c.stored : "(absent)") << " config " << c.configComplete
                                        << " token " << c.token);
        test::TempSettings settings;
        if (c.stored)
            settings.store().setValue(QLatin1String(SettingsKeys::uploadDestination), QString::fromLatin1(c.stored));
        const UploadConfig config = c.configComplete ? complete : UploadConfig{};
        EXPECT_EQ(currentUploadDestination(settings.store(), config), c.destination);
        EXPECT_EQ(uploadsConfigured(settings.store(), config, c.token), c.uploadsPossible);
    }
}
