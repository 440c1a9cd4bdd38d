#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QFuture>
#include <QImage>

namespace pelorin {

// An image kept compressed in memory, for pixels that are only kept in case they are asked
// for again (the closed screenshot): a screenshot's own bits through zlib's fastest level
// take a few percent of their size and come back exactly as they were. Packing runs on a
// worker thread; unpack() waits for it if it is still running.
class PackedImage {
public:
    PackedImage() = default;
    explicit PackedImage(const QImage& image);

    bool isNull() const { return m_size.isEmpty(); }
    QImage unpack() const;
    // Finishes when the image is packed (at once for a null one).
    QFuture<void> packing() const { return QFuture<void>(m_bits); }

private:
    QFuture<QByteArray> m_bits;
    QSize m_size;
    QImage::Format m_format = QImage::Format_Invalid;
    qsizetype m_bytesPerLine = 0;
    double m_devicePixelRatio = 1;
    int m_dotsPerMeterX = 0;
    int m_dotsPerMeterY = 0;
    QColorSpace m_colorSpace;
};

} // namespace pelorin
