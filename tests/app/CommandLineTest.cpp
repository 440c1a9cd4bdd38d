#include "app/ApplicationMenu.h"
#include "app/CommandLine.h"

#include "RunPelorin.h"
#include "TestSupport.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QTemporaryDir>

using namespace pelorin;

// Found only once the program would start, so with a display; --help and --version are
// the launcher's (LauncherTest).
TEST(CommandLine, AnUnknownOptionIsOneLineOfError)
{
    const test::PelorinRun run = test::runPelorin({QStringLiteral("--frobnicate")}, {}, true);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(test::lastLine(run.err).startsWith(QLatin1String("pelorin: unknown option --frobnicate (see pelorin --help)")))
        << run.err.constData();
}

// Files named on the command line; what is not a file is set apart (the app then exits 2).
TEST(CommandLine, FilesAreMadeAbsoluteAndMissingOnesSetApart)
{
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("a.png"))).open(QIODevice::WriteOnly);
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QString unknown;
    QStringList notFiles;
    const QStringList files = filesFromArguments(
        {QStringLiteral("--background"), QStringLiteral("a.png"), QStringLiteral("missing.png"),
         QUrl::fromLocalFile(dir.filePath(QStringLiteral("a.png"))).toString(), QStringLiteral("-x"), QStringLiteral(".")},
        &unknown, &notFiles);
    QDir::setCurrent(here);
    EXPECT_EQ(files, (QStringList{dir.filePath(QStringLiteral("a.png")), dir.filePath(QStringLiteral("a.png"))}));
    EXPECT_EQ(notFiles, (QStringList{dir.filePath(QStringLiteral("missing.png")), dir.path()}));
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
