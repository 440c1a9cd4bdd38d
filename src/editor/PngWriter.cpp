#include "editor/PngWriter.h"

#include "core/AtomicFile.h"
#include "core/ImageFile.h"

#include <QFileDevice>
#include <QIODevice>
#include <QRgb>
#include <QSysInfo>

#include <QFuture>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <deque>
#include <vector>

namespace pelorin::png {

namespace {

// What the libpng callbacks need; it outlives the setjmp frame.
struct WriteState {
    QIODevice* device = nullptr;
    QString error;
};

// All of `data` or false, with the file system's own words for a file.
bool writeAll(QIODevice& device, const char* data, qint64 length, QString* error)
{
    errno = 0;
    if (device.write(data, length) == length)
        return true;
    const int systemError = errno;
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    *error = file ? fileErrorText(*file, systemError) : device.errorString();
    return false;
}

void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    if (!writeAll(*state->device, reinterpret_cast<const char*>(data), qint64(length), &state->error))
        png_error(png, "write failed");
}

void appendBigEndian(QByteArray& bytes, quint32 value)
{
    for (int shift : {24, 16, 8, 0})
        bytes.append(char((value >> shift) & 0xff));
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


// The image data of a frame as one zlib stream, compressed a band of rows at a time on the
// thread pool, the way parallel gzip tools do: each band is a raw deflate stream primed with
// the 32 KiB before it and closed by a sync flush, so the bands join into one stream that
// any decoder reads as if written in one go. libpng compresses on one thread only; it writes
// the chunks before and after the image data.
class ParallelImageData {
public:
    ParallelImageData(QIODevice& device, const RowSource& source, const Options& options)
        : m_device(device), m_source(source), m_options(options),
          m_channels(source.opaque ? 3 : 4), m_rowBytes(1 + std::size_t(source.size.width()) * m_channels)
    {
    }

    // Writes the IDAT chunks and the closing IEND; false with `error` set when a row or the
    // device fails.
    bool write(QString* error)
    {
        const int height = m_source.size.height();
        // About a megabyte of filtered rows per band, a few bands per thread in flight.
        const int bandRows = int(std::clamp<std::size_t>((std::size_t(1) << 20) / m_rowBytes, 1, std::size_t(height)));
        const int inFlight = std::clamp(QThread::idealThreadCount(), 1, 4) + 1;
        std::vector<uchar> previous(m_rowBytes, 0), straight(std::size_t(m_source.size.width()) * 4);
        std::deque<QFuture<Band>> pending;
        // The last 32 KiB of the band before, the window the next band's matches may reach
        // into. A band other than the last is far longer than that.
        std::vector<uchar> window;
        bool first = true;
        for (int y0 = 0; y0 < height; y0 += bandRows) {
            const int rows = std::min(bandRows, height - y0);
            std::vector<uchar> filtered(m_rowBytes * std::size_t(rows));
            for (int r = 0; r < rows; ++r) {
                const uchar* row = m_source.row(y0 + r);
                if (!row) {
                    finishPending(pending);
                    *error = QStringLiteral("the pixels could not be read");
                    return false;
                }
                uchar* out = filtered.data() + std::size_t(r) * m_rowBytes;
                pack(row, straight.data(), out + 1);
                filterRow(out, previous);
            }
            const bool last = y0 + rows >= height;
            std::vector<uchar> dictionary = std::move(window);
            window.assign(filtered.end() - std::ptrdiff_t(std::min<std::size_t>(filtered.size(), 32768)), filtered.end());
            pending.push_back(QtConcurrent::run(&ParallelImageData::compress, std::move(filtered), std::move(dictionary),
                                                m_options.compressionLevel, last));
            while (int(pending.size()) >= inFlight || (last && !pending.empty())) {
                if (!writeBand(pending.front().result(), first, last && pending.size() == 1, error)) {
                    pending.pop_front();
                    finishPending(pending);
                    return false;
                }
                first = false;
                pending.pop_front();
            }
        }
        return writeChunk("IEND", {}, error);
    }

private:
    struct Band {
        QByteArray deflated;
        uLong adler = 1;
        std::size_t length = 0;
        bool ok = false;
    };

    static Band compress(std::vector<uchar> filtered, std::vector<uchar> dictionary, int level, bool last)
    {
        Band band;
        band.length = filtered.size();
        band.adler = adler32(1, filtered.data(), uInt(filtered.size()));
        z_stream zs{};
        if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return band;
        if (!dictionary.empty())
            deflateSetDictionary(&zs, dictionary.data(), uInt(dictionary.size()));
        band.deflated.resize(qsizetype(deflateBound(&zs, uLong(filtered.size())) + 16));
        zs.next_in = filtered.data();
        zs.avail_in = uInt(filtered.size());
        zs.next_out = reinterpret_cast<Bytef*>(band.deflated.data());
        zs.avail_out = uInt(band.deflated.size());
        const int status = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
        band.ok = (last ? status == Z_STREAM_END : status == Z_OK) && zs.avail_in == 0;
        band.deflated.truncate(qsizetype(zs.total_out));
        deflateEnd(&zs);
        return band;
    }

    static void finishPending(std::deque<QFuture<Band>>& pending)
    {
        for (QFuture<Band>& future : pending)
            future.waitForFinished();
        pending.clear();
    }

    // One row's pixels as PNG stores them: RGB, or straight RGBA.
    void pack(const uchar* row, uchar* straight, uchar* out) const
    {
        const int width = m_source.size.width();
        const bool bgra = m_source.order == ByteOrder::bgra;
        if (m_channels == 3) {
            for (int x = 0; x < width; ++x, row += 4, out += 3) {
                out[0] = row[bgra ? 2 : 0];
                out[1] = row[1];
                out[2] = row[bgra ? 0 : 2];
            }
            return;
        }
        if (m_source.premultiplied) {
            unpremultiplyRow(row, straight, width);
            row = straight;
        }
        for (int x = 0; x < width; ++x, row += 4, out += 4) {
            out[0] = row[bgra ? 2 : 0];
            out[1] = row[1];
            out[2] = row[bgra ? 0 : 2];
            out[3] = row[3];
        }
    }

    // Prefixes the row's filter type and filters it in place; `previous` keeps the raw row.
    void filterRow(uchar* out, std::vector<uchar>& previous) const
    {
        if (m_options.filter == Filter::none) {
            out[0] = 0;
            return;
        }
        out[0] = 2; // Up
        for (std::size_t i = 1; i < m_rowBytes; ++i) {
            const uchar raw = out[i];
            out[i] = uchar(raw - previous[i]);
            previous[i] = raw;
        }
    }

    bool writeBand(const Band& band, bool first, bool last, QString* error)
    {
        if (!band.ok) {
            *error = QStringLiteral("The PNG encoder failed");
            return false;
        }
        QByteArray data;
        if (first) {
            // The zlib header: deflate with a 32 KiB window, the level's class, the check bits.
            const int level = m_options.compressionLevel < 0 ? 6 : m_options.compressionLevel;
            const int levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
            const int header = (0x78 << 8) | (levelClass << 6);
            data.append(char(0x78)).append(char((levelClass << 6) | (31 - header % 31) % 31));
        }
        data.append(band.deflated);
        m_adler = m_started ? adler32_combine(m_adler, band.adler, z_off_t(band.length)) : band.adler;
        m_started = true;
        if (last)
            appendBigEndian(data, quint32(m_adler));
        return writeChunk("IDAT", data, error);
    }

    bool writeChunk(const char* type, const QByteArray& data, QString* error)
    {
        QByteArray chunk;
        chunk.reserve(data.size() + 12);
        appendBigEndian(chunk, quint32(data.size()));
        chunk.append(type, 4).append(data);
        appendBigEndian(chunk, quint32(crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4),
                                             reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))));
        return writeAll(m_device, chunk.constData(), chunk.size(), error);
    }

    QIODevice& m_device;
    const RowSource& m_source;
    const Options& m_options;
    const int m_channels;
    const std::size_t m_rowBytes;
    uLong m_adler = 1;
    bool m_started = false;
};

// Everything between setjmp and the end of the write lives in `state` or in plain locals that
// are not changed after setjmp, as longjmp requires.
// With `headerOnly`, stops after the chunks before the image data.
bool encode(png_structp png, png_infop info, const RowSource& source, const Options& options, uchar* rowBuffer,
            bool headerOnly)
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
    if (headerOnly)
        return true;
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
    // The filters that look at one row at a time compress in parallel; the others, which only
    // the encoder benchmark asks for, go through libpng whole.
    const bool parallel = options.filter == Filter::up || options.filter == Filter::none;
    std::vector<uchar> rowBuffer(parallel ? 0 : std::size_t(source.size.width()) * 4);
    const bool written = encode(png, info, source, options, rowBuffer.data(), parallel);
    png_destroy_write_struct(&png, &info);
    if (!written)
        return fail(state.error.isEmpty() ? QStringLiteral("The PNG encoder failed") : state.error);
    if (parallel) {
        ParallelImageData data(device, source, options);
        QString why;
        if (!data.write(&why))
            return fail(why);
    }
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
