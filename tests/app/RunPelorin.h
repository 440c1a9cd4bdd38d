#pragma once

#include <QProcess>

namespace pelorin::test {

struct PelorinRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built `pelorin` as a script or a server does: with no display unless `display`,
// `input` on its standard input, and `extra` added to the environment.
inline PelorinRun runPelorin(const QStringList& arguments, const QByteArray& input = {}, bool display = false,
                             const QProcessEnvironment& extra = {}, const QString& binary = QStringLiteral(PELORIN_BINARY))
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!display) {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    }
    env.insert(extra);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binary, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60'000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// The last line of a program's error output: Qt may warn about the session first.
inline QString lastLine(const QByteArray& text)
{
    return QString::fromUtf8(text).trimmed().section(u'\n', -1);
}

} // namespace pelorin::test
