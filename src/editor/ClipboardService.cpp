#include "editor/ClipboardService.h"

#include "platform/Pasteboard.h"

#include <QBuffer>
#include <QImageWriter>

namespace pelorin {

namespace {

QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Qt 6.4 maps small setCompression() values to zlib level 0 (an uncompressed file many
    // times larger for no gain in speed), so the default level is kept.
    QImageWriter writer(&buffer, format);
    return writer.write(image) ? bytes : QByteArray();
}

} // namespace

void ClipboardService::copyImageToClipboard(const QImage& image)
{
    m_pasteboard->clear();
    m_pasteboard->writeImage(encode(image, "png"), encode(image, "tiff"));
}

void ClipboardService::copyText(const QString& text)
{
    m_pasteboard->clear();
    m_pasteboard->writeText(text);
}

} // namespace pelorin
