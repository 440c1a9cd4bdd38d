#pragma once

#include <QImage>
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

    // Arguments of the two interactive modes; the output path follows them.
    static QStringList regionArguments() { return {QStringLiteral("-i"), QStringLiteral("-o")}; }
    static QStringList windowArguments() { return {QStringLiteral("-i"), QStringLiteral("-w"), QStringLiteral("-o")}; }

private:
    QString m_toolPath;
};

} // namespace pelorin
