#pragma once

#include <QStringList>

#include <optional>

namespace pelorin {

// The commands that run without the tray app: --help, --version, render, detect, upload, format-json.
// Returns their exit code, or nothing when the arguments start the app.
std::optional<int> runCommandLine(int argc, char** argv);

// The files named on the command line that starts (or hands over to) the app, as absolute
// paths. A name that is not a file is reported on standard error and goes to `notFiles`
// instead (the caller then exits with an error); `unknownOption` gets the first option it
// does not know.
QStringList filesFromArguments(const QStringList& arguments, QString* unknownOption = nullptr,
                               QStringList* notFiles = nullptr);

bool haveDisplay();

} // namespace pelorin
