#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <optional>
#include <stdexcept>

namespace pelorin {

// The capture tool could not be started.
class CaptureError : public std::runtime_error {
public:
    explicit CaptureError(QString description)
        : std::runtime_error(description.toStdString())
        , m_description(std::move(description))
    {
    }
    QString description() const { return m_description; }

private:
    QString m_description;
};

// What a capture takes.
enum class CaptureMode { region, window, fullScreen, monitor, lastRegion };

struct CaptureRequest {
    CaptureMode mode = CaptureMode::region;
    int monitor = 0; // CaptureMode::monitor: 1 is the leftmost, 0 the one under the pointer
    std::optional<double> delaySeconds; // none: the stored choice ("captureDelay")
};

// The words the command line and the running app's socket use: "region", "window",
// "fullScreen", "monitor", "lastRegion".
QString captureModeName(CaptureMode mode);
std::optional<CaptureMode> captureModeFromName(const QString& name);

// Runs the interactive capture tool into a temporary PNG and reads it back.
class ScreenCaptureService {
public:
    // `toolPath` empty: pelorin-screencapture beside the running program, else on PATH.
    explicit ScreenCaptureService(QString toolPath = {});

    QString toolPath() const;

    // The captured image, or none when the user cancelled (or the tool wrote nothing usable).
    // The temporary file is removed in every case. Throws CaptureError when the tool cannot
    // be launched.
    QCoro::Task<std::optional<QImage>> runScreencapture(QStringList arguments) const;

    // Starts the built-in tool ahead, waiting for its next request, when none waits yet (a
    // tool of another name is always started for its capture).
    void prepare() const;

    // Arguments of the two interactive modes; the output path follows them.
    static QStringList regionArguments() { return {QStringLiteral("-i"), QStringLiteral("-o")}; }
    static QStringList windowArguments() { return {QStringLiteral("-i"), QStringLiteral("-w"), QStringLiteral("-o")}; }
    // The whole desktop, every monitor in one picture.
    static QStringList fullScreenArguments() { return {}; }
    // Monitor `number` (1 is the leftmost); 0: the one under the pointer.
    static QStringList monitorArguments(int number);
    // Exactly this region of the desktop, in points.
    static QStringList fixedRegionArguments(const QRect& region);
    // What goes before a mode's arguments: a delay in seconds, the pointer in the picture, no
    // magnifier in the region overlay. Nothing for the defaults.
    static QStringList optionArguments(double delaySeconds, bool includePointer, bool magnifier);

private:
    QString m_toolPath;
};

} // namespace pelorin
