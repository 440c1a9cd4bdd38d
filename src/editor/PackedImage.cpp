#include "editor/PackedImage.h"

#include <QtConcurrent>

#include <cstring>

namespace pelorin {

PackedImage::PackedImage(const QImage& image)
    : m_size(image.size())
    , m_format(image.format())
    , m_bytesPerLine(image.bytesPerLine())
    , m_devicePixelRatio(image.devicePixelRatio())
    , m_dotsPerMeterX(image.dotsPerMeterX())
    , m_dotsPerMeterY(image.dotsPerMeterY())
    , m_colorSpace(image.colorSpace())
{
    if (image.isNull())
        return;
    m_bits = QtConcurrent::run([image] {
        return qCompress(reinterpret_cast<const uchar*>(image.constBits()), image.sizeInBytes(), 1);
    });
}

QImage PackedImage::unpack() const
{
    if (isNull())
        return {};
    const QByteArray bits = qUncompress(m_bits.result());
    QImage image(m_size, m_format);
    // A failed allocation or damaged bytes give no image rather than a wrong one.
    if (image.isNull() || image.bytesPerLine() != m_bytesPerLine || bits.size() != image.sizeInBytes())
        return {};
    std::memcpy(image.bits(), bits.constData(), size_t(bits.size()));
    image.setDevicePixelRatio(m_devicePixelRatio);
    image.setDotsPerMeterX(m_dotsPerMeterX);
    image.setDotsPerMeterY(m_dotsPerMeterY);
    image.setColorSpace(m_colorSpace);
    return image;
}

} // namespace pelorin
