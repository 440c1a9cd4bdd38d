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
    QImageWriter writer(&buffer, format);
    if (qstrcmp(format, "png") == 0)
        writer.setCompression(1); // the clipboard wants speed, not the smallest file
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
