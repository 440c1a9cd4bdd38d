#include "TestSupport.h"
#include "core/AtomicFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace pelorin;
using test::readBytes;

// A failed write names the path and the reason in words, and leaves the older file as it was.
TEST(AtomicFile, FailuresSayWhyAndKeepTheOlderFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.json"));
    ASSERT_FALSE(writeFileAtomically(path, "older"));

    // A file-size limit cuts the write short; Qt alone calls that "Unknown error". The bytes
    // fit the file's buffer, so the failure only shows when it is committed.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::optional<QString> tooLarge = writeFileAtomically(path, QByteArray(12'000, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(tooLarge);
    EXPECT_EQ(*tooLarge, path + QStringLiteral(": File too large"));
    EXPECT_EQ(readBytes(path), "older");

    const QString nowhere = dir.filePath(QStringLiteral("missing/out.json"));
    EXPECT_EQ(writeFileAtomically(nowhere, "x").value_or(QString()), nowhere + QStringLiteral(": No such file or directory"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.json")}) << "no temporary left";

    ASSERT_FALSE(writeFileAtomically(path, "secret", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(readBytes(path), "secret");
    EXPECT_FALSE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}
