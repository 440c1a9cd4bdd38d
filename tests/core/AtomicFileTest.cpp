#include "TestSupport.h"
#include "core/AtomicFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace pelorin;
using test::readBytes;

// Secrets are written for their owner's eyes only. (Failures, their wording and the older file
// kept are checked where the editor, the settings and the commands write through this.)
TEST(AtomicFile, SecretsAreForTheirOwnersEyesOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.json"));
    ASSERT_FALSE(writeFileAtomically(path, "secret", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(readBytes(path), "secret");
    EXPECT_FALSE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}
