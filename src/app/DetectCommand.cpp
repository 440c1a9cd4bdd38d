#include "app/DetectCommand.h"

#include "core/AtomicFile.h"
#include "core/ImageFile.h"
#include "detection/ComponentAnalysis.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "detection/ElementDetectionService.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <optional>
#include <cstdio>

namespace pelorin {

namespace {

const char* const usage = R"(Usage: pelorin detect IMAGE… [-o DIR] [--scale FACTOR] [--components]

Finds the UI elements of each screenshot on this machine (text lines, groups of text and
box-like outlines such as buttons, fields and cards), the outlines the quick annotation tool
offers, and prints them as one JSON line per image:
  {"elements": [[x, y, w, h], …]}
in points, origin top-left, largest first, at most 80.

Options:
  -o, --output DIR     write DIR/NAME.json for each IMAGE (NAME without its extension)
                       instead of printing; DIR is created when missing
  --scale FACTOR       pixels per point of the images (2 for a HiDPI screenshot); by default
                       taken from each file's resolution (144 dpi is 2), else 1
  --components         analyse instead, as Analyze does on this computer: the components
                       with the text read in them, one JSON line per image:
                         {"components": [{"label", "text", "type", "x1", "y1", "x2", "y2"}, …],
                          "image_width": W, "image_height": H}
                       in pixels of the image
  -h, --help           show this help

An image that cannot be read is reported on standard error and skipped; the others are
still processed and the exit status is then 1.
)";

void complain(const QString& message)
{
    std::fprintf(stderr, "pelorin detect: %s\n", message.toLocal8Bit().constData());
}

QByteArray number(double value)
{
    // Hundredths of a point are finer than anyone can click.
    const double rounded = std::round(value * 100) / 100;
    return QByteArray::number(rounded == 0 ? 0.0 : rounded, 'g', 12);
}

QByteArray elementsJson(const std::vector<QRectF>& elements)
{
    QByteArray json = "{\"elements\": [";
    for (size_t i = 0; i < elements.size(); ++i) {
        const QRectF& r = elements[i];
        if (i > 0)
            json += ", ";
        json += '[' + number(r.x()) + ", " + number(r.y()) + ", " + number(r.width()) + ", " + number(r.height()) + ']';
    }
    json += "]}\n";
    return json;
}

} // namespace

int runDetectCommand(const QStringList& arguments)
{
    QStringList images;
    QString outputFolder;
    double scale = 0;
    bool components = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) {
                complain(argument + QStringLiteral(" needs a value"));
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (argument == u"-h" || argument == u"--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (argument == u"-o" || argument == u"--output") {
            const std::optional<QString> folder = value();
            if (!folder)
                return 2;
            outputFolder = *folder;
        } else if (argument == u"--components") {
            components = true;
        } else if (argument == u"--scale") {
            const std::optional<QString> text = value();
            if (!text)
                return 2;
            bool ok = false;
            scale = text->toDouble(&ok);
            if (!ok || !std::isfinite(scale) || scale <= 0 || scale > 16) {
                complain(QStringLiteral("--scale expects a number above 0 (at most 16), got \"%1\"").arg(*text));
                return 2;
            }
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            complain(QStringLiteral("unknown option %1 (see pelorin detect --help)").arg(argument));
            return 2;
        } else {
            images << argument;
        }
    }
    if (images.isEmpty()) {
        complain(QStringLiteral("no image given (see pelorin detect --help)"));
        return 2;
    }
    if (!outputFolder.isEmpty() && !QDir().mkpath(outputFolder)) {
        complain(QStringLiteral("cannot create the folder %1").arg(outputFolder));
        return 1;
    }

    int status = 0;
    for (const QString& path : images) {
        QString error;
        std::optional<QImage> image = readImageFile(path, &error);
        if (!image) {
            complain(QStringLiteral("cannot read %1: %2").arg(path, error.isEmpty() ? QStringLiteral("not an image") : error));
            status = 1;
            continue;
        }
        if (scale > 0)
            image->setDevicePixelRatio(scale);
        QByteArray json;
        if (components) {
            try {
                json = encodeComponentAnalysisResponse(DeviceComponentAnalyzer::analyze(*image)) + '\n';
            } catch (const DeviceComponentAnalyzer::RecognizerUnavailable& failure) {
                complain(QStringLiteral("cannot analyse %1: %2").arg(path, QString::fromUtf8(failure.what())));
                return 1;
            } catch (const std::exception& failure) {
                complain(QStringLiteral("cannot analyse %1: %2").arg(path, QString::fromUtf8(failure.what())));
                status = 1;
                continue;
            }
        } else {
            json = elementsJson(ElementDetectionService::detect(*image, image->deviceIndependentSize()));
        }
        if (outputFolder.isEmpty()) {
            std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
            std::fflush(stdout);
            continue;
        }
        const QString target = QDir(outputFolder).filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".json"));
        if (const std::optional<QString> failed = writeFileAtomically(target, json)) {
            complain(QStringLiteral("cannot write ") + *failed);
            status = 1;
        }
    }
    return status;
}

} // namespace pelorin
