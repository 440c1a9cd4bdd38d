#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

#include <functional>

class QIODevice;

namespace pelorin {

// 8-bit PNG encoding straight from pixel rows, so an export needs neither a converted copy of
// the frame nor the whole file in memory. With the Up or no filter, bands of rows are
// compressed side by side on the thread pool.
namespace png {

// How the 4-byte pixels lie in memory.
enum class ByteOrder {
    rgba, // QImage::Format_RGBA8888*, and GL's RGBA read-back
    bgra, // QImage::Format_ARGB32* on a little-endian machine
};

// The Up filter at zlib level 3. Measured on 2880 × 1800 framed screenshots (BM_EncodePng):
// Up is the cheapest filter that still finds the rows repeated by flat areas and gradients,
// and compresses better than None or Sub there; zlib's fast levels (1–3) take about half the
// time of the default level 6 for files 5–60 % larger, and level 3 is as fast as level 1 here
// with slightly smaller files. Adaptive filtering (what Qt's writer does) costs more than
// filtering and compressing together.
enum class Filter { none, sub, up, paeth, adaptive };
inline constexpr int defaultCompressionLevel = 3;
inline constexpr Filter defaultFilter = Filter::up;

struct Options {
    int compressionLevel = defaultCompressionLevel;
    Filter filter = defaultFilter;
};

struct RowSource {
    QSize size;
    ByteOrder order = ByteOrder::rgba;
    bool premultiplied = true;
    // An opaque frame is written as RGB: a quarter fewer bytes to filter and compress.
    bool opaque = false;
    int dotsPerMeterX = 0; // 0 writes no resolution
    int dotsPerMeterY = 0;
    QList<QPair<QString, QString>> text;
    // Row y (top-down, asked for in order 0 … height − 1); null aborts the write.
    std::function<const uchar*(int y)> row;
};

// Writes the whole file to `device`. On failure says why (the device's own error for a failed
// write) and returns false; what was written so far is the caller's to discard.
bool write(QIODevice& device, const RowSource& source, const Options& options = {}, QString* error = nullptr);

// Whether write(QImage) takes this image without a converted copy.
bool writesDirectly(const QImage& image);
// The rows of an image that writesDirectly() takes, read in place: `image` must outlive the
// source. Resolution and text keys come along.
RowSource rowsOf(const QImage& image);
// An image of any 8-bit-per-channel 32-bit format, with its resolution and text keys. Other
// formats (16-bit, grey, indexed) are converted to RGBA first.
bool write(QIODevice& device, const QImage& image, const Options& options = {}, QString* error = nullptr);

} // namespace png

} // namespace pelorin
