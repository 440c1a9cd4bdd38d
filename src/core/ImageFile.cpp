#include "core/ImageFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pelorin {

namespace {

constexpr double metersPerInch = 0.0254;
constexpr double pointsPerInch = 72.0;

// QImage's own default resolution, which a decoder leaves in place when the file has none.
int defaultDotsPerMeter()
{
    static const int dpm = QImage(1, 1, QImage::Format_ARGB32).dotsPerMeterX();
    return dpm;
}

std::optional<QImage> read(QImageReader& reader, QString* error)
{
    // A few bytes of header can claim a strip millions of pixels long that fits the memory
    // limit yet takes the decoder minutes to fill; no screen is that large.
    // (The bitmap reader gives a top-down bitmap's height as stored: negative.)
    const QSize stored = reader.size();
    const qint64 width = std::abs(qint64(stored.width()));
    const qint64 height = std::abs(qint64(stored.height()));
    if (width > maxImageSide || height > maxImageSide) {
        if (error)
            *error = QStringLiteral("The image is too large (%1 × %2 pixels; at most %3 on a side)")
                         .arg(width)
                         .arg(height)
                         .arg(maxImageSide);
        return std::nullopt;
    }
    reader.setAllocationLimit(maxDecodedImageMegabytes);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        // A picture small on disk can unpack to gigabytes; the reader only says it failed.
        const qint64 megabytes = width * height * 4 / (1024 * 1024);
        if (error && megabytes > maxDecodedImageMegabytes)
            *error = QStringLiteral("The image is too large to open (%1 × %2 pixels would take %3 MB; at most %4 MB)")
                         .arg(width)
                         .arg(height)
                         .arg(megabytes)
                         .arg(maxDecodedImageMegabytes);
        else if (error)
            *error = reader.errorString();
        return std::nullopt;
    }
    if (image.dotsPerMeterX() != defaultDotsPerMeter())
        image.setDevicePixelRatio(scaleFromDotsPerMeter(image.dotsPerMeterX()));
    else
        image.setDevicePixelRatio(1.0);
    return image;
}

} // namespace

double scaleFromDotsPerMeter(int dotsPerMeter)
{
    if (dotsPerMeter <= 0)
        return 1.0;
    const double dpi = dotsPerMeter * metersPerInch;
    // Resolutions are stored as whole dots per metre, so 144 dpi reads back as 143.99: round to
    // hundredths. Absurd claims (a 1-dpi file would open 72 times its pixel size) are ignored.
    const double scale = std::round(dpi / pointsPerInch * 100.0) / 100.0;
    return (scale >= 0.5 && scale <= 8.0) ? scale : 1.0;
}

int dotsPerMeterForScale(double scale)
{
    return static_cast<int>(std::lround(scale * pointsPerInch / metersPerInch));
}

void setResolutionFromScale(QImage& image)
{
    const int dpm = dotsPerMeterForScale(image.devicePixelRatio());
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
}

std::optional<QImage> readImageFile(const QString& path, QString* error)
{
    // The reader says "File not found" for anything it cannot open; say what is really there.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = info.isDir() ? QStringLiteral("is a folder, not an image file") : QStringLiteral("not a regular file");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = info.exists() || info.isSymLink() ? file.errorString() : QStringLiteral("No such file");
        return std::nullopt;
    }
    // A PNG cut short mid-transfer is said to be so here, before the decoder prints its own
    // complaint on the terminal.
    const bool png = file.peek(8) == QByteArrayLiteral("\x89PNG\r\n\x1a\n");
    if (png) {
        const qint64 size = file.size();
        file.seek(std::max<qint64>(0, size - 65536));
        const bool ends = file.read(65536).contains("IEND");
        file.seek(0);
        if (!ends) {
            if (error)
                *error = QStringLiteral("The PNG file is incomplete (cut short after %1 bytes)").arg(size);
            return std::nullopt;
        }
    }
    // Named, a PNG goes straight to Qt's own decoder; left to be recognised, every image
    // plugin (and the libraries behind it) is loaded first to be asked whether it knows the file.
    QImageReader reader(&file, png ? QByteArrayLiteral("png") : QByteArray());
    if (png)
        reader.setAutoDetectImageFormat(false);
    return read(reader, error);
}

std::optional<QImage> readImageData(const QByteArray& data, QString* error)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return read(reader, error);
}

bool isOpaque(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return true;
    if (image.depth() != 32)
        return isOpaque(image.convertToFormat(QImage::Format_ARGB32));
    // Alpha is the top byte of the word in every 32-bit format with alpha.
    for (int y = 0; y < image.height(); ++y)
        if (!isOpaque(image.constScanLine(y), image.width()))
            return false;
    return true;
}

bool isOpaque(const uchar* pixels, qsizetype count)
{
    quint32 all = 0xff000000u;
    for (qsizetype i = 0; i < count; ++i) {
        quint32 pixel;
        std::memcpy(&pixel, pixels + 4 * i, 4);
        all &= pixel;
    }
    return (all & 0xff000000u) == 0xff000000u;
}

} // namespace pelorin
