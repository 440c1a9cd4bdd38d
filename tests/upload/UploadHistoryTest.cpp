#include "TestSupport.h"

#include "upload/UploadHistoryStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

QByteArray entry(const char* id, double date, const char* extra = "")
{
    return QStringLiteral(R"({"id":"%1","fileName":"f-%1.png","key":"k\/%1","publicUrl":"https:\/\/cdn\/%1","uploadDate":%2,"fileSize":10%3})")
        .arg(QLatin1String(id))
        .arg(date, 0, 'f', 3)
        .arg(QLatin1String(extra))
        .toUtf8();
}

QByteArray array(std::initializer_list<QByteArray> entries)
{
    return '[' + QByteArrayList(entries).join(',') + ']';
}

const char* const A = "00000000-0000-0000-0000-00000000000A";
const char* const B = "00000000-0000-0000-0000-00000000000B";
const char* const C = "00000000-0000-0000-0000-00000000000C";
const char* const D = "00000000-0000-0000-0000-00000000000D";

class History : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Pelorin/uploads.json")); }
    QString legacyPath() const { return m_dir.filePath(QStringLiteral("Ostrafel/files.json")); }

    static QStringList ids(const UploadHistoryStore& store)
    {
        QStringList out;
        for (const UploadedFile& f : store.files())
            out << uuidString(f.id).right(1);
        return out;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(History, LoadsNewestFirstAndWritesBackOnlyWhatChanged)
{
    const QByteArray stored = array({entry(A, 100), entry(B, 300.5), entry(C, 100, ",\"source\":\"cloud\""), entry(D, 200), entry(A, 0)});
    ASSERT_TRUE(test::writeBytes(path(), stored));
    UploadHistoryStore store(path(), legacyPath());
    EXPECT_EQ(ids(store), (QStringList{"B", "D", "A", "C", "A"})) << "equal dates keep the file's order";
    EXPECT_EQ(test::readBytes(path()), stored) << "loading writes nothing back";
    EXPECT_EQ(store.files()[3].source, QStringLiteral("cloud"));
    EXPECT_EQ(store.files()[3].uploadDate, QDateTime(QDate(2001, 1, 1), QTime(0, 1, 40), Qt::UTC));
    EXPECT_EQ(store.files()[0].source, std::nullopt);
    EXPECT_EQ(store.files()[0].publicUrl, QStringLiteral("https://cdn/") + QLatin1String(B));

    const UploadedFile a = store.files()[2];
    UploadedFile fresh{QUuid::createUuid(), QStringLiteral("new.png"), QStringLiteral("k"), QStringLiteral("u"),
                       QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 5, std::nullopt};
    store.add(fresh);
    EXPECT_EQ(store.files().first(), fresh) << "the newest upload goes first whatever its date";
    store.remove(a); // which the hand-edited file holds twice
    QStringList rest = ids(store).mid(1);
    rest.sort();
    EXPECT_EQ(rest, (QStringList{"B", "C", "D"}));
    // Written back, an absent source stays absent rather than becoming null.
    const QJsonArray written = QJsonDocument::fromJson(test::readBytes(path())).array();
    for (const QJsonValue& e : written) {
        const bool isC = e[QLatin1String("id")].toString().compare(QLatin1String(C), Qt::CaseInsensitive) == 0;
        EXPECT_EQ(e[QLatin1String("source")].toString(), isC ? QStringLiteral("cloud") : QString());
        EXPECT_EQ(e.toObject().contains(QStringLiteral("source")), isC);
        EXPECT_TRUE(!isC || e[QLatin1String("uploadDate")].toDouble() == 100.0) << "seconds since 2001";
    }
    // Reloaded, the list is sorted by date again: the 1970 entry goes last.
    UploadHistoryStore reloaded(path(), legacyPath());
    EXPECT_EQ(ids(reloaded).mid(0, 3), (QStringList{"B", "D", "C"}));
    EXPECT_EQ(reloaded.files().value(3), fresh);
}

// An unreadable file loads empty; its bytes are set aside before the first write replaces it.
TEST_F(History, UnreadableFilesLoadEmptyAndAreSetAsideBeforeTheFirstWrite)
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
    const QDir folder = QFileInfo(path()).absoluteDir();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::writeBytes(path(), c.bytes));
        UploadHistoryStore store(path(), legacyPath());
        EXPECT_TRUE(store.files().isEmpty());
        store.add({QUuid::createUuid(), QStringLiteral("n.png"), QStringLiteral("k"), QStringLiteral("u"),
                   QDateTime::currentDateTimeUtc(), 1, std::nullopt});
        const QStringList aside = folder.entryList({QStringLiteral("uploads.unreadable-*.json")});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(test::readBytes(folder.filePath(aside[0])), c.bytes);
        EXPECT_EQ(UploadHistoryStore(path(), legacyPath()).files().size(), 1);
        QFile::remove(folder.filePath(aside[0]));
    }
}

TEST_F(History, LegacyBytesAreCopiedVerbatimBeforeDecoding)
{
    const struct {
        QByteArray bytes;
        QStringList ids;
    } cases[] = {
        {array({entry(A, 1), entry(B, 2)}) + "\n  ", {"B", "A"}}, // valid, with trailing blanks
        {"[{\"id\": \"broken\"}]", {}},                         // does not decode
    };
    for (const auto& c : cases) {
        QFile::remove(path());
        ASSERT_TRUE(test::writeBytes(legacyPath(), c.bytes));
        UploadHistoryStore store(path(), legacyPath());
        EXPECT_EQ(ids(store), c.ids);
        EXPECT_EQ(test::readBytes(path()), c.bytes);
        EXPECT_EQ(test::readBytes(legacyPath()), c.bytes);
    }
}

// Another process (`pelorin upload` beside the tray app) adds entries to the same file; the
// child side of this test is the same program run with PELORIN_HISTORY_CHILD set.
TEST_F(History, TwoProcessesWritingLoseNothing)
{
    if (qEnvironmentVariableIsSet("PELORIN_HISTORY_CHILD"))
        GTEST_SKIP() << "this process is the child";
    UploadHistoryStore store(path(), legacyPath()); // loaded before the other process writes
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELORIN_HISTORY_CHILD"), path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=HistoryChild.*")});
    ASSERT_TRUE(child.waitForStarted());
    for (int i = 0; i < 25; ++i)
        store.add({QUuid::createUuid(), QStringLiteral("app-%1.png").arg(i), QStringLiteral("k"), QStringLiteral("u"),
                   QDateTime::currentDateTimeUtc(), 1, std::nullopt});
    ASSERT_TRUE(child.waitForFinished(30'000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    // The Uploads window follows this store: the other process's entries reach it without a
    // write of this one.
    EXPECT_TRUE(test::waitUntil([&] { return store.files().size() == 50; })) << store.files().size();
    store.remove(store.files().last()); // one more write after the child is done
    EXPECT_EQ(store.files().size(), 49);
    EXPECT_EQ(UploadHistoryStore(path(), legacyPath()).files().size(), 49);
}

TEST(HistoryChild, AddsItsEntries)
{
    const QString path = qEnvironmentVariable("PELORIN_HISTORY_CHILD");
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the other process of TwoProcessesWritingLoseNothing";
    UploadHistoryStore store(path, QString());
    for (int i = 0; i < 25; ++i)
        store.add({QUuid::createUuid(), QStringLiteral("command-%1.png").arg(i), QStringLiteral("k"), QStringLiteral("u"),
                   QDateTime::currentDateTimeUtc(), 1, std::nullopt});
}
