#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace pelorin {

// Largest decoded image we accept; a larger claim is refused before any pixel is decoded,
// so a decompression bomb costs nothing. 512 MB holds an 11 000-pixel square screenshot.
inline constexpr int maxDecodedImageMegabytes = 512;
// Longest side we accept, the largest an X11 screen can have.
inline constexpr int maxImageSide = 32767;

// Reads an image file. The result's devicePixelRatio is its pixels per point, taken from the
// file's resolution (144 dpi is a 2× image); a file without a usable resolution is 1×.
std::optional<QImage> readImageFile(const QString& path, QString* error = nullptr);
std::optional<QImage> readImageData(const QByteArray& data, QString* error = nullptr);

// Pixels per point for a resolution in dots per metre; 1 when the resolution says nothing usable.
double scaleFromDotsPerMeter(int dotsPerMeter);

// Dots per metre that record `scale` pixels per point.
int dotsPerMeterForScale(double scale);

// Stamps the image's resolution from its devicePixelRatio so a written file keeps its point size.
void setResolutionFromScale(QImage& image);

// True when every pixel's alpha is 255 (or the format has no alpha).
bool isOpaque(const QImage& image);
// The same for `count` 4-byte pixels whose alpha is the top byte of each little-endian word.
bool isOpaque(const uchar* pixels, qsizetype count);

} // namespace pelorin
