#include "app/update/InstallScript.h"

#include "app/update/UpdateError.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace pelorin {

QString installScript()
{
    return QStringLiteral(
        "while kill -0 \"$PELORIN_PID\" 2>/dev/null; do /bin/sleep 0.2; done\n"
        "/bin/rm -rf \"$PELORIN_TARGET.old\"\n"
        "if /bin/mv -T \"$PELORIN_TARGET\" \"$PELORIN_TARGET.old\" 2>/dev/null || [ ! -e \"$PELORIN_TARGET\" ]; then\n"
        "  if /bin/cp -a --no-target-directory \"$PELORIN_STAGED\" \"$PELORIN_TARGET\"; then\n"
        "    /bin/rm -rf \"$PELORIN_TARGET.old\"\n"
        "  elif [ -e \"$PELORIN_TARGET.old\" ]; then\n"
        "    /bin/rm -rf \"$PELORIN_TARGET\"\n"
        "    /bin/mv -T \"$PELORIN_TARGET.old\" \"$PELORIN_TARGET\"\n"
        "  fi\n"
        "fi\n"
        "cd / && exec /usr/bin/setsid -f \"$PELORIN_TARGET/bin/pelorin\" </dev/null");
}

void launchInstallScript(qint64 pid, const QString& target, const QString& staged)
{
    QProcess process;
    process.setProgram(QStringLiteral("/bin/bash"));
    process.setArguments({QStringLiteral("-c"), installScript()});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELORIN_PID"), QString::number(pid));
    environment.insert(QStringLiteral("PELORIN_TARGET"), target);
    environment.insert(QStringLiteral("PELORIN_STAGED"), staged);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 scriptPid = 0;
    if (!process.startDetached(&scriptPid))
        throw UpdateError(QStringLiteral("Couldn't start the installer: %1").arg(process.errorString()));
}

} // namespace pelorin
