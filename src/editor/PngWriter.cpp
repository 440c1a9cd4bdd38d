#include "editor/PngWriter.h"

#include "core/AtomicFile.h"
#include "core/ImageFile.h"

#include <QFileDevice>
#include <QIODevice>
#include <QRgb>
#include <QSysInfo>

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace pelorin::png {

namespace {

// What the libpng callbacks need; it outlives the setjmp frame.
struct WriteState {
    QIODevice* device = nullptr;
    QString error;
};

void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    errno = 0;
    if (state->device->write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length)) {
        const int systemError = errno;
        const auto* file = qobject_cast<const QFileDevice*>(state->device);
        state->error = file ? fileErrorText(*file, systemError) : state->device->errorString();
        png_error(png, "write failed");
    }
}

void flushData(png_structp) {}

void onError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<WriteState*>(png_get_error_ptr(png));
    if (state->error.isEmpty())
        state->error = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

int filterFlags(Filter filter)
{
    switch (filter) {
    case Filter::none:
        return PNG_FILTER_NONE;
    case Filter::sub:
        return PNG_FILTER_SUB;
    case Filter::up:
        return PNG_FILTER_UP;
    case Filter::paeth:
        return PNG_FILTER_PAETH;
    case Filter::adaptive:
        return PNG_ALL_FILTERS;
    }
    return PNG_FILTER_NONE;
}

// The straight-alpha copy of one premultiplied row. Each pixel is read as a 32-bit word, in
// which alpha is the top byte for both byte orders on a little-endian machine, so Qt's own
// unpremultiply applies.
void unpremultiplyRow(const uchar* in, uchar* out, int width)
{
    for (int x = 0; x < width; ++x) {
        quint32 pixel;
        std::memcpy(&pixel, in + 4 * x, 4);
        const quint32 alpha = pixel >> 24;
        if (alpha != 255 && alpha != 0)
            pixel = qUnpremultiply(pixel);
        else if (alpha == 0)
            pixel = 0;
        std::memcpy(out + 4 * x, &pixel, 4);
    }
}

// Everything between setjmp and the end of the write lives in `state` or in plain locals that
// are not changed after setjmp, as longjmp requires.
bool encode(png_structp png, png_infop info, const RowSource& source, const Options& options, uchar* rowBuffer)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, png_get_io_ptr(png), writeData, flushData);
    png_set_compression_level(png, options.compressionLevel);
    // Larger zlib output chunks: fewer IDAT chunks and write calls for a large frame.
    png_set_compression_buffer_size(png, 1 << 17);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filterFlags(options.filter));
    png_set_IHDR(png, info, png_uint_32(source.size.width()), png_uint_32(source.size.height()), 8,
                 source.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (source.dotsPerMeterX > 0 && source.dotsPerMeterY > 0)
        png_set_pHYs(png, info, png_uint_32(source.dotsPerMeterX), png_uint_32(source.dotsPerMeterY),
                     PNG_RESOLUTION_METER);
    std::vector<QByteArray> textBytes;
    std::vector<png_text> texts;
    for (const auto& [key, value] : source.text) {
        textBytes.push_back(key.left(79).toLatin1());
        textBytes.push_back(value.toUtf8());
    }
    for (std::size_t i = 0; i + 1 < textBytes.size(); i += 2) {
        png_text text{};
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = textBytes[i].data();
        text.text = textBytes[i + 1].data();
        text.itxt_length = std::size_t(textBytes[i + 1].size());
        texts.push_back(text);
    }
    if (!texts.empty())
        png_set_text(png, info, texts.data(), int(texts.size()));
    png_write_info(png, info);
    if (source.order == ByteOrder::bgra)
        png_set_bgr(png);
    if (source.opaque)
        png_set_filler(png, 0, PNG_FILLER_AFTER); // the fourth byte of each pixel is dropped
    const int width = source.size.width();
    const bool unpremultiply = source.premultiplied && !source.opaque;
    for (int y = 0; y < source.size.height(); ++y) {
        const uchar* row = source.row(y);
        if (!row)
            png_error(png, "the pixels could not be read");
        if (unpremultiply) {
            unpremultiplyRow(row, rowBuffer, width);
            row = rowBuffer;
        }
        png_write_row(png, const_cast<png_bytep>(row));
    }
    png_write_end(png, info);
    return true;
}

} // namespace

bool write(QIODevice& device, const RowSource& source, const Options& options, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (source.size.width() < 1 || source.size.height() < 1 || !source.row)
        return fail(QStringLiteral("There are no pixels to write"));
    WriteState state;
    state.device = &device;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!png)
        return fail(QStringLiteral("The PNG encoder could not start"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail(QStringLiteral("The PNG encoder could not start"));
    }
    png_set_write_fn(png, &state, writeData, flushData);
    std::vector<uchar> rowBuffer(std::size_t(source.size.width()) * 4);
    const bool written = encode(png, info, source, options, rowBuffer.data());
    png_destroy_write_struct(&png, &info);
    if (!written)
        return fail(state.error.isEmpty() ? QStringLiteral("The PNG encoder failed") : state.error);
    return true;
}

bool writesDirectly(const QImage& image)
{
    // The row handling reads pixels as little-endian words.
    if (QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        return false;
    switch (image.format()) {
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB32:
        return true;
    default:
        return false;
    }
}

RowSource rowsOf(const QImage& image)
{
    RowSource source;
    source.size = image.size();
    const QImage::Format format = image.format();
    source.order = (format == QImage::Format_RGBA8888 || format == QImage::Format_RGBA8888_Premultiplied
                    || format == QImage::Format_RGBX8888)
        ? ByteOrder::rgba
        : ByteOrder::bgra;
    source.premultiplied =
        format == QImage::Format_RGBA8888_Premultiplied || format == QImage::Format_ARGB32_Premultiplied;
    source.opaque = isOpaque(image);
    source.dotsPerMeterX = image.dotsPerMeterX();
    source.dotsPerMeterY = image.dotsPerMeterY();
    for (const QString& key : image.textKeys())
        source.text.append({key, image.text(key)});
    source.row = [&image](int y) { return image.constScanLine(y); };
    return source;
}

bool write(QIODevice& device, const QImage& input, const Options& options, QString* error)
{
    const QImage image = writesDirectly(input) ? input : input.convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("There are no pixels to write");
        return false;
    }
    return write(device, rowsOf(image), options, error);
}

} // namespace pelorin::png
