#include "EditorFixture.h"

#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace pelorin;

namespace {

// Fake capture tools: shell scripts that log their arguments and then behave one way.
class EditorCapture : public test::EditorFixture {
protected:
    QString tool(const char* name, const QString& body)
    {
        const QString path = dir.filePath(QLatin1String(name));
        // Logs its arguments; the last one is the output path.
        EXPECT_TRUE(test::writeScript(path, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\neval out=\\${$#}\n%2\n")
                                                .arg(logPath(), body)
                                                .toUtf8()));
        settings.store().setValue(QLatin1String(SettingsKeys::captureToolPath), path);
        return path;
    }
    QString logPath() const { return dir.filePath(QStringLiteral("calls.log")); }
    QStringList loggedArguments() const
    {
        return QString::fromUtf8(test::readBytes(logPath())).split(u'\n', Qt::SkipEmptyParts);
    }
    QString writesPng() const
    {
        return QStringLiteral("cp '%1' \"$out\"").arg(QStringLiteral(PELORIN_TEST_DATA "/capture.png"));
    }
    void finish()
    {
        ASSERT_TRUE(test::waitUntil([&] { return !editor->isCapturing(); }, 10000));
    }
    QStringList leftoverCaptures() const
    {
        QStringList files;
        for (const QString& logged : loggedArguments())
            if (logged.endsWith(QLatin1String(".png")) && QFile::exists(logged))
                files << logged;
        return files;
    }
};

} // namespace

TEST_F(EditorCapture, ACaptureBecomesTheDocument)
{
    tool("ok.sh", writesPng());
    notifications.post(Notifications::triggerScreenCapture);
    notifications.post(Notifications::triggerScreenCapture); // ignored while the first runs
    finish();
    const QStringList args = loggedArguments();
    ASSERT_EQ(args.size(), 3) << args.join(u' ').toStdString() << ": the tool ran once";
    EXPECT_EQ(args[0], QStringLiteral("-i"));
    EXPECT_EQ(args[1], QStringLiteral("-o"));
    EXPECT_TRUE(args[2].startsWith(QDir::tempPath()) && args[2].endsWith(QLatin1String(".png")));
    ASSERT_TRUE(editor->hasDocument());
    EXPECT_EQ(editor->document()->sourceType, SourceType::screenCapture);
    EXPECT_TRUE(leftoverCaptures().isEmpty());
    EXPECT_EQ(host.visible, (QStringList{QStringLiteral("editor"), QStringLiteral("settings")}))
        << "Settings, open before the capture, comes back with the editor";
    EXPECT_EQ(host.shown, 1) << "the editor is brought forward";
    editor->pendingLastScreenshotSave().waitForFinished();
    EXPECT_TRUE(QFile::exists(lastScreenshotPath()));

    // A window capture asks the tool for a window.
    QFile::remove(logPath());
    notifications.post(Notifications::triggerWindowCapture);
    finish();
    EXPECT_EQ(loggedArguments().mid(0, 3), (QStringList{QStringLiteral("-i"), QStringLiteral("-w"), QStringLiteral("-o")}));
}

TEST_F(EditorCapture, CancelledOrUnusableCapturesChangeNothing)
{
    struct Case {
        const char* name;
        QString body;
    };
    const Case cases[] = {
        {"cancel", QStringLiteral("exit 1")},
        {"garbage file", QStringLiteral("echo garbage > \"$out\"; exit 0")},
        {"file but failure", writesPng() + QStringLiteral("; exit 2")},
        {"success without a file", QStringLiteral("exit 0")},
    };
    editor->loadImage(solidImage({50, 50}), SourceType::clipboard, false);
    const QUuid before = editor->document()->id;
    for (const Case& c : cases) {
        QFile::remove(logPath());
        tool("fake.sh", c.body);
        editor->captureNewScreenshot();
        finish();
        EXPECT_EQ(editor->document()->id, before) << c.name;
        EXPECT_TRUE(editor->errorMessage().isEmpty()) << c.name;
        EXPECT_TRUE(leftoverCaptures().isEmpty()) << c.name << ": the temporary file is removed";
        EXPECT_EQ(host.visible.size(), 2) << c.name << ": both hidden windows come back";
    }
}

TEST_F(EditorCapture, AMissingToolIsReportedAndTheWindowsComeBack)
{
    settings.store().setValue(QLatin1String(SettingsKeys::captureToolPath), dir.filePath(QStringLiteral("no-such-tool")));
    editor->captureWindow();
    finish();
    EXPECT_TRUE(editor->errorMessage().startsWith(QStringLiteral("Window capture failed: "))) << editor->errorMessage().toStdString();
    EXPECT_EQ(host.visible.size(), 2);
}

TEST_F(EditorCapture, WithoutHidingNoWindowIsTouched)
{
    settings.store().setValue(QLatin1String(SettingsKeys::hideWindowDuringCapture), false);
    host.visible = {QStringLiteral("settings")};
    tool("ok.sh", writesPng());
    editor->captureNewScreenshot();
    finish();
    EXPECT_TRUE(editor->hasDocument());
    EXPECT_EQ(host.visible, QStringList{QStringLiteral("settings")});
    EXPECT_EQ(host.shown, 0);
}

TEST_F(EditorCapture, SelfCaptureCopiesAndWritesATimestampedFile)
{
    editor->captureSelf();
    EXPECT_EQ(editor->errorMessage(), QStringLiteral("Debug capture: no visible window to capture."));
    editor->clearErrorMessage();
    host.grab = solidImage({64, 48});
    QString revealed;
    editor->setFileRevealer([&](const QString& path) { revealed = path; });
    const QDateTime before = QDateTime::currentDateTime();
    editor->captureSelf();
    EXPECT_TRUE(editor->errorMessage().isEmpty());
    const QStringList written = QDir::temp().entryList({QStringLiteral("Pelorin-debug-*.png")});
    ASSERT_FALSE(written.isEmpty());
    EXPECT_TRUE(written.contains(QStringLiteral("Pelorin-debug-%1.png").arg(before.toString(QStringLiteral("yyyy-MM-dd-HHmmss"))))
                || written.contains(QStringLiteral("Pelorin-debug-%1.png").arg(before.addSecs(1).toString(QStringLiteral("yyyy-MM-dd-HHmmss")))));
    EXPECT_TRUE(revealed.startsWith(QDir::tempPath() + QStringLiteral("/Pelorin-debug-")));
    EXPECT_TRUE(QFile::exists(revealed));
    for (const QString& name : written)
        QFile::remove(QDir::temp().filePath(name));
}
