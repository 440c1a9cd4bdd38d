#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

// `pelorin detect` with no display: a readable screenshot gets its JSON file, an unreadable
// one a message, and the run says that not everything went through.
TEST(DetectCommand, WritesOneFilePerImageAndReportsTheUnreadable)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    const QString out = dir.filePath(QStringLiteral("out"));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PELORIN_BINARY),
                  {QStringLiteral("detect"), broken, QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), out});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
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
