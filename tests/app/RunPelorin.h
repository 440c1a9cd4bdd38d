#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>

namespace pelorin::test {

struct PelorinRun { int exitCode = -1; QByteArray out; QByteArray err; };

// Runs `program` (the built `pelorin` unless told) as a script or a server does: with no
// display nor runtime folder, `input` on its standard input and `extra` added to the environment.
inline PelorinRun runPelorin(const QStringList& arguments, const QByteArray& input = {}, const QProcessEnvironment& extra = {},
                             const QString& program = QStringLiteral(PELORIN_BINARY))
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(QLatin1String(name));
    env.insert(extra);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60'000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// `pelorin ARGUMENTS` started by a shell that runs `prelude` first (a file-size limit, what
// standard input holds).
inline PelorinRun runPelorinAfter(const QString& prelude, const QStringList& arguments)
{
    return runPelorin(QStringList{QStringLiteral("-c"), prelude + QStringLiteral("\nexec \"$0\" \"$@\""),
                                  QStringLiteral(PELORIN_BINARY)} + arguments,
                      {}, {}, QStringLiteral("/bin/sh"));
}

// Copies of the built launcher and the program it hands over to, laid out under `root` as installed.
inline bool installPelorin(const QString& root)
{
    const QString program = root + QStringLiteral("/" PELORIN_PROGRAM_DIR "/pelorin-app");
    return QDir().mkpath(root + QStringLiteral("/bin")) && QDir().mkpath(QFileInfo(program).path())
        && QFile::copy(QStringLiteral(PELORIN_BINARY), root + QStringLiteral("/bin/pelorin"))
        && QFile::copy(QStringLiteral(PELORIN_PROGRAM), program);
}

// The environment of a program started with a home of its own under `root`: HOME, the XDG
// folders (the runtime one private) and the temporary folder, where a single-instance socket
// may fall back to.
inline QProcessEnvironment ownHome(const QString& root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), root);
    for (const auto& [variable, sub] : {std::pair{"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
                                        {"XDG_CACHE_HOME", "cache"}, {"XDG_RUNTIME_DIR", "runtime"}, {"TMPDIR", "tmp"}}) {
        QDir().mkpath(root + u'/' + QLatin1String(sub));
        env.insert(QLatin1String(variable), root + u'/' + QLatin1String(sub));
    }
    QFile::setPermissions(root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return env;
}

} // namespace pelorin::test
