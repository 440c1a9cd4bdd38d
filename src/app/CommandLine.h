#pragma once

#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace pelorin {

// The commands that run without the tray app: --help, --version, render, detect, upload, format-json.
// Returns their exit code, or nothing when the arguments start the app.
std::optional<int> runCommandLine(int argc, char** argv);

// What the command line that starts (or hands over to) the app asks for.
struct StartArguments {
    bool background = false;
    QVariantMap capture; // the "triggerCapture" message; empty: no capture
    QStringList pins;    // images to pin to the screen, absolute paths
    // Files to open, as absolute paths.
    QStringList files;
    // Names that are not files, reported on standard error: the run then fails, and nothing
    // starts or is handed over.
    QStringList notFiles;
    QString error; // the first usage error, as printed after "pelorin: "
};

StartArguments parseStartArguments(const QStringList& arguments);

} // namespace pelorin
