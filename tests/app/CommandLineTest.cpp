#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

using namespace pelorin;

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
