#pragma once

#include <QImage>
#include <QStringList>

namespace pelorin {

// `pelorin render IN -o OUT [style options]`: frames a screenshot the way the editor exports
// it, without a display. Returns the exit code; errors go to standard error as one line.
int runRenderCommand(const QStringList& arguments);
// The same as a whole program: `argv` is the command line from "pelorin" on. Ends the process
// with the exit code once the output is written.
int runRenderProgram(int argc, char** argv);

// For commands that frame an image of their own (`capture`): the style options of render
// (everything but IN and -o) checked, with the error, or empty when they are good; and the
// image framed with them into `output`, its path printed, errors after "pelorin COMMAND: ".
QString renderStyleError(const QStringList& styleArguments);
int renderFramedImage(const QImage& image, const QStringList& styleArguments, const QString& output, const char* command);

} // namespace pelorin
