#pragma once

#include <QString>

namespace pelorin {

// The script that replaces the application folder once this process has ended: it waits for
// PELORIN_PID to exit, moves PELORIN_TARGET aside to "<target>.old", copies PELORIN_STAGED to
// the target, removes the old folder, and starts the target's bin/pelorin in a session of its
// own. When the copy fails the old folder is put back (and started) instead; when the old
// folder cannot be moved aside nothing is touched.
QString installScript();

// Starts the script with /bin/bash, detached from this process. Throws UpdateError with the
// launcher's message when bash cannot be started.
void launchInstallScript(qint64 pid, const QString& target, const QString& staged);

} // namespace pelorin
