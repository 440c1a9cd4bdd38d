#include "editor/FileExportService.h"

#include "core/AtomicFile.h"
#include "core/ImageFile.h"
#include "editor/GifWriter.h"
#include "editor/PngWriter.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <cerrno>

namespace pelorin {

QString ExportError::description() const
{
    switch (m_kind) {
    case Kind::failedToCreateImage:
        return QStringLiteral("Failed to create image for export");
    case Kind::failedToEncode:
        return QStringLiteral("Failed to encode image");
    case Kind::failedToWrite:
        return m_message.isEmpty() ? QStringLiteral("Failed to write file") : m_message;
    }
    return {};
}

ImageFileType FileExportService::imageFileType(const QString& path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == u"jpg" || extension == u"jpeg")
        return ImageFileType::jpeg;
    if (extension == u"tiff" || extension == u"tif")
        return ImageFileType::tiff;
    if (extension == u"gif")
        return ImageFileType::gif;
    if (extension == u"bmp")
        return ImageFileType::bmp;
    return ImageFileType::png;
}

QString FileExportService::generateFilename(const QString& templ, const QString& format, const QDateTime& now)
{
    QString name = templ;
    name.replace(QLatin1String("{date}"), now.toString(QStringLiteral("yyyy-MM-dd")));
    name.replace(QLatin1String("{time}"), now.toString(QStringLiteral("HH.mm.ss")));
    return name + u'.' + format;
}

QString FileExportService::defaultSaveURL(const std::optional<QString>& filename)
{
    return defaultSaveFolder() + u'/'
        + filename.value_or(generateFilename(QLatin1String(defaultTemplate), QStringLiteral("png")));
}

bool FileExportService::hasDesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && desktop != QDir::homePath() && QFileInfo(desktop).isDir();
}

QString FileExportService::defaultSaveFolder()
{
    // Many Linux desktops have no desktop folder at all; the pictures folder is the other
    // place people look for screenshots.
    if (hasDesktopFolder())
        return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QDir().mkpath(pictures))
        return pictures;
    return QDir::homePath();
}

QString FileExportService::withSuffixFor(const QString& path, const QString& mimeType, const QStringList& allowedTypes)
{
    const QMimeDatabase types;
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const QString& allowed : allowedTypes)
        if (!suffix.isEmpty() && types.mimeTypeForName(allowed).suffixes().contains(suffix))
            return path;
    const QString preferred = types.mimeTypeForName(mimeType).preferredSuffix();
    return preferred.isEmpty() ? path : path + u'.' + preferred;
}

QString FileExportService::uniqueURL(const QString& path)
{
    if (!QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QString folder = info.path();
    const QString base = info.completeBaseName();
    const QString extension = info.suffix();
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1/%2 (%3).%4").arg(folder, base).arg(n).arg(extension);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

namespace {

QImage flattenedOverWhite(const QImage& image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return image;
    flat.fill(Qt::white);
    flat.setDevicePixelRatio(image.devicePixelRatio());
    QPainter painter(&flat);
    painter.drawImage(QPointF(0, 0), image);
    painter.end();
    return flat;
}

} // namespace

namespace {

// 8-bit frames go to libpng row by row; deeper or grey images keep Qt's writer, which keeps
// their depth, and so do images with a colour profile, which it records.
bool encodesDirectly(const QImage& image, ImageFileType type)
{
    return type == ImageFileType::png && png::writesDirectly(image) && !image.colorSpace().isValid();
}

png::RowSource directRows(const QImage& image)
{
    png::RowSource source = png::rowsOf(image);
    // The file keeps the image's point size; stamping the image itself would copy its pixels.
    source.dotsPerMeterX = source.dotsPerMeterY = dotsPerMeterForScale(image.devicePixelRatio());
    return source;
}

} // namespace

QByteArray FileExportService::encode(const QImage& source, ImageFileType type)
{
    if (source.isNull())
        return {};
    if (encodesDirectly(source, type)) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        return png::write(buffer, directRows(source)) ? bytes : QByteArray();
    }
    QImage image = source;
    setResolutionFromScale(image); // the file keeps the image's point size
    if (type == ImageFileType::jpeg || type == ImageFileType::gif || type == ImageFileType::bmp) {
        image = flattenedOverWhite(image);
        setResolutionFromScale(image);
    }
    if (type == ImageFileType::gif)
        return encodeGif(image);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const char* format = type == ImageFileType::jpeg ? "jpeg"
        : type == ImageFileType::tiff               ? "tiff"
        : type == ImageFileType::bmp                ? "bmp"
                                                    : "png";
    QImageWriter writer(&buffer, format);
    if (type == ImageFileType::jpeg)
        writer.setQuality(90);
    return writer.write(image) ? bytes : QByteArray();
}

void FileExportService::saveImage(const QImage& image, const QString& path)
{
    if (image.isNull())
        throw ExportError(ExportError::Kind::failedToCreateImage);
    const ImageFileType type = imageFileType(path);
    if (encodesDirectly(image, type)) {
        savePng(directRows(image), path);
        return;
    }
    const QByteArray bytes = encode(image, type);
    if (bytes.isEmpty())
        throw ExportError(ExportError::Kind::failedToEncode);
    // A failed save leaves neither a partial file nor a damaged older one, and names the whole
    // path: "No such file or directory" alone does not say which.
    if (const std::optional<QString> error = writeFileAtomically(path, bytes))
        throw ExportError(ExportError::Kind::failedToWrite, *error);
}

void FileExportService::savePng(const png::RowSource& rows, const QString& path)
{
    // Streamed into a QSaveFile: the encoded bytes are never held whole, and a failure (a full
    // disk, pixels that cannot be read) discards the temporary instead of leaving half a file.
    QSaveFile file(path);
    const auto failure = [&path](const QString& why) {
        return ExportError(ExportError::Kind::failedToWrite, path + QStringLiteral(": ") + why);
    };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throw failure(fileErrorText(file, errno));
    QString why;
    if (!png::write(file, rows, {}, &why)) {
        file.cancelWriting();
        throw failure(why);
    }
    if (const std::optional<QString> error = commitAtomically(file))
        throw ExportError(ExportError::Kind::failedToWrite, *error);
}

} // namespace pelorin
