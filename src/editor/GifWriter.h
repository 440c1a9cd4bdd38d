#pragma once

#include <QByteArray>
#include <QImage>

namespace pelorin {

// A single-frame GIF of an opaque image (256 colours, median-cut quantised by Qt's 8-bit
// conversion); empty on failure.
QByteArray encodeGif(const QImage& image);

} // namespace pelorin
