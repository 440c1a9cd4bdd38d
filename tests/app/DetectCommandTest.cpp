#include "RunPelorin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

// `pelorin detect` with no display: a readable screenshot gets its JSON file, an unreadable
// one a message, and the run says that not everything went through.
TEST(DetectCommand, WritesOneFilePerImageAndReportsTheUnreadable)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    ASSERT_TRUE(pelorin::test::writeBytes(broken, "not a picture"));
    const QString out = dir.filePath(QStringLiteral("out"));

    const auto run = pelorin::test::runPelorin(
        {QStringLiteral("detect"), broken, QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), out});
    EXPECT_EQ(run.exitCode, 1);
    const QString err = QString::fromUtf8(run.err);
    EXPECT_TRUE(err.contains(QStringLiteral("pelorin detect: cannot read ") + broken)) << err.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(out).filePath(QStringLiteral("broken.json"))));

    QFile json(QDir(out).filePath(QStringLiteral("sample-screenshot.json")));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonArray elements = QJsonDocument::fromJson(json.readAll()).object().value(QStringLiteral("elements")).toArray();
    ASSERT_FALSE(elements.isEmpty());
    EXPECT_LE(elements.size(), 80);
    for (const QJsonValue& element : elements)
        EXPECT_EQ(element.toArray().size(), 4);
}
