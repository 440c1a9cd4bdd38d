#include "TestSupport.h"

#include "cloud/CloudAPI.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "upload/UploadConfig.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace pelorin;
using namespace Qt::StringLiterals;

namespace {

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

} // namespace

TEST_F(ConfigFiles, LoadsTheFileOrMigratesTheLegacyOneOrStartsEmpty)
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
        {"only the legacy file", {}, legacyJson, legacy, true},
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
}

TEST_F(ConfigFiles, SavedSettingsAreCompactForTheOwnerOnlyAndReachTheNextStart)
{
    ASSERT_TRUE(test::writeBytes(legacyConfigPath, legacyJson));
    file().load(); // migration creates the file
    EXPECT_EQ(mode(configPath), 0600u);
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

TEST_F(History, LoadsNewestFirstAndWritesBackOnlyWhatChanged)
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
}

// An unreadable file loads empty; its bytes are set aside before the first write replaces it.
// A legacy file is copied as it is, before it is decoded.
TEST_F(History, UnreadableFilesAreSetAsideAndLegacyFilesCopiedAsTheyAre)
{
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
        UploadHistoryStore store(historyPath, legacyHistoryPath);
        EXPECT_TRUE(store.files().isEmpty());
        store.add(upload(u"n.png"_s));
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
        UploadHistoryStore store(historyPath, legacyHistoryPath);
        EXPECT_EQ(ids(store), c.ids);
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
