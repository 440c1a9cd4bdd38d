#pragma once

// The picture the image targets make of their input: two bytes of size, then grey pixels, so
// thin strips and odd shapes are reached at once. Pixels the input does not reach stay white.

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pelorin::fuzz {

inline std::optional<QImage> greyPicture(const uint8_t* data, size_t size)
{
    if (size < 2)
        return std::nullopt;
    const int width = 1 + data[0] % 96;
    const int height = 1 + data[1] % 96;
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(255);
    for (size_t i = 2; i < size && int(i - 2) < width * height; ++i)
        image.bits()[(int(i - 2) / width) * image.bytesPerLine() + (int(i - 2) % width)] = data[i];
    return image;
}

} // namespace pelorin::fuzz
