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

// Files named on the command line, made absolute; what is not a file is set apart (the app
// then exits 2). Capture options become the running app's message.
TEST(CommandLine, StartArguments)
{
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("a.png"))).open(QIODevice::WriteOnly);
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QString a = dir.filePath(QStringLiteral("a.png"));
    const auto map = [](std::initializer_list<std::pair<QString, QVariant>> members) {
        QVariantMap result;
        for (const auto& [key, value] : members)
            result.insert(key, value);
        return result;
    };
    const QString mode = QStringLiteral("mode");
    const struct {
        QStringList arguments;
        QStringList files;
        QVariantMap capture;
        QStringList pins;
        const char* error;
        QStringList notFiles = {};
    } cases[] = {
        {{QStringLiteral("--background"), QStringLiteral("a.png"), QStringLiteral("missing.png"), QUrl::fromLocalFile(a).toString(),
          QStringLiteral(".")},
         {a, a}, {}, {}, "", {dir.filePath(QStringLiteral("missing.png")), dir.path()}},
        {{QStringLiteral("-x")}, {}, {}, {}, "unknown option -x (see pelorin --help)"},
        {{QStringLiteral("--capture-screen")}, {}, map({{mode, QStringLiteral("fullScreen")}}), {}, ""},
        {{QStringLiteral("--capture-screen"), QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("1.5")}, {},
         map({{mode, QStringLiteral("monitor")}, {QStringLiteral("monitor"), 2}, {QStringLiteral("delay"), 1.5}}), {}, ""},
        {{QStringLiteral("--capture-screen"), QStringLiteral("pointer")}, {},
         map({{mode, QStringLiteral("monitor")}, {QStringLiteral("monitor"), 0}}), {}, ""},
        {{QStringLiteral("--delay"), QStringLiteral("3"), QStringLiteral("--capture-last-region")}, {},
         map({{mode, QStringLiteral("lastRegion")}, {QStringLiteral("delay"), 3.0}}), {}, ""},
        {{QStringLiteral("--capture-screen"), QStringLiteral("0")}, {}, {}, {}, "--capture-screen takes a monitor number"},
        {{QStringLiteral("--capture"), QStringLiteral("--delay"), QStringLiteral("soon")}, {}, {}, {}, "--delay takes a number"},
        {{QStringLiteral("--delay"), QStringLiteral("3")}, {}, {}, {}, "--delay goes with one of the --capture options"},
        {{QStringLiteral("--capture"), QStringLiteral("--capture-window")}, {}, {}, {}, "only one --capture option at a time"},
        {{QStringLiteral("--pin"), QStringLiteral("a.png"), QStringLiteral("--pin"), a}, {}, {}, {a, a}, ""},
        {{QStringLiteral("--pin"), QStringLiteral("missing.png")}, {}, {}, {}, "--pin: missing.png: no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const StartArguments start = parseStartArguments(c.arguments);
        if (*c.error) {
            EXPECT_TRUE(start.error.startsWith(QLatin1String(c.error))) << start.error.toStdString();
            continue;
        }
        EXPECT_TRUE(start.error.isEmpty()) << start.error.toStdString();
        EXPECT_EQ(start.files, c.files);
        EXPECT_EQ(start.notFiles, c.notFiles);
        EXPECT_EQ(start.capture, c.capture);
        EXPECT_EQ(start.pins, c.pins);
    }
    QDir::setCurrent(here);
}

TEST(ApplicationMenu, SettingsQuitOpenAndZoomHaveTheirKeys)
{
    test::TempSettings settings;
    NotificationCenter notifications;
    EditorViewModel editor(settings.store(), notifications);
    int settingsOpened = 0, quits = 0, pins = 0;
    QWidget window;
    QMenuBar* bar = buildApplicationMenu(editor, {{}, [&] { ++settingsOpened; }, [&] { ++quits; }, [&] { ++pins; }}, &window);
    QHash<QString, QAction*> byKey;
    for (QAction* action : bar->findChildren<QAction*>())
        for (const QKeySequence& keys : action->shortcuts())
            byKey.insert(keys.toString(), action);
    for (const char* keys : {"Ctrl+O", "Ctrl+,", "Ctrl+Q", "Ctrl+=", "Ctrl+-", "Ctrl+0", "Ctrl+S", "Ctrl+C", "Ctrl+P"})
        EXPECT_TRUE(byKey.contains(QLatin1String(keys))) << keys;
    byKey.value(QStringLiteral("Ctrl+,"))->trigger();
    byKey.value(QStringLiteral("Ctrl+Q"))->trigger();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(byKey.value(QStringLiteral("Ctrl+0"))->isEnabled()) << "nothing to zoom without a document";
    EXPECT_FALSE(byKey.value(QStringLiteral("Ctrl+P"))->isEnabled()) << "nothing to pin without a document";
    editor.loadImage(QImage(8, 8, QImage::Format_RGB32), SourceType::file, false);
    byKey.value(QStringLiteral("Ctrl+P"))->trigger();
    EXPECT_EQ(pins, 1);
}
