#include "app/ApplicationMenu.h"
#include "app/CommandLine.h"

#include "TestSupport.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>

using namespace pelorin;

TEST(CommandLine, HelpAndVersionPrintAndExitWithoutADisplay)
{
    const struct {
        QStringList arguments;
        int exitCode;
        const char* out;
        const char* err;
    } cases[] = {
        {{QStringLiteral("--help")}, 0, "Usage: pelorin [--background] [FILE...]", ""},
        {{QStringLiteral("--version")}, 0, PELORIN_VERSION "\n", ""},
        {{QStringLiteral("--frobnicate")}, 2, "", "pelorin: unknown option --frobnicate (see pelorin --help)"},
    };
    for (const auto& c : cases) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (c.exitCode == 0) { // the unknown option is only found once the app would start
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        }
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PELORIN_BINARY), c.arguments);
        ASSERT_TRUE(process.waitForFinished(20'000));
        EXPECT_EQ(process.exitCode(), c.exitCode) << c.arguments.join(u' ').toStdString();
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        // (A null QString starts with no string at all, not even an empty one.)
        EXPECT_TRUE(*c.out ? out.startsWith(QLatin1String(c.out)) : out.isEmpty()) << out.toStdString();
        // Qt may warn about the session first (no runtime folder); the message is the last line.
        EXPECT_TRUE(*c.err ? err.trimmed().section(u'\n', -1).startsWith(QLatin1String(c.err)) : err.isEmpty())
            << err.toStdString();
    }
}

// Files named on the command line: missing ones are still handed on, so the app shows its
// "Failed to load image from …" for them.
TEST(CommandLine, FilesAreMadeAbsoluteAndMissingOnesKept)
{
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("a.png"))).open(QIODevice::WriteOnly);
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QString unknown;
    const QStringList files = filesFromArguments(
        {QStringLiteral("--background"), QStringLiteral("a.png"), QStringLiteral("missing.png"),
         QUrl::fromLocalFile(dir.filePath(QStringLiteral("a.png"))).toString(), QStringLiteral("-x")},
        &unknown);
    QDir::setCurrent(here);
    EXPECT_EQ(files, (QStringList{dir.filePath(QStringLiteral("a.png")), dir.filePath(QStringLiteral("missing.png")),
                                  dir.filePath(QStringLiteral("a.png"))}));
    EXPECT_EQ(unknown, QStringLiteral("-x"));
}

TEST(ApplicationMenu, SettingsQuitOpenAndZoomHaveTheirKeys)
{
    test::TempSettings settings;
    NotificationCenter notifications;
    EditorViewModel editor(settings.store(), notifications);
    int settingsOpened = 0, quits = 0;
    QWidget window;
    QMenuBar* bar = buildApplicationMenu(editor, {{}, [&] { ++settingsOpened; }, [&] { ++quits; }}, &window);
    QHash<QString, QAction*> byKey;
    for (QAction* action : bar->findChildren<QAction*>())
        for (const QKeySequence& keys : action->shortcuts())
            byKey.insert(keys.toString(), action);
    for (const char* keys : {"Ctrl+O", "Ctrl+,", "Ctrl+Q", "Ctrl+=", "Ctrl+-", "Ctrl+0", "Ctrl+S", "Ctrl+C"})
        EXPECT_TRUE(byKey.contains(QLatin1String(keys))) << keys;
    byKey.value(QStringLiteral("Ctrl+,"))->trigger();
    byKey.value(QStringLiteral("Ctrl+Q"))->trigger();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(byKey.value(QStringLiteral("Ctrl+0"))->isEnabled()) << "nothing to zoom without a document";
}
