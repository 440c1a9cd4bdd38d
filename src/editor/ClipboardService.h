#pragma once

#include <QImage>

namespace pelorin {

class Pasteboard;

class ClipboardService {
public:
    explicit ClipboardService(Pasteboard& pasteboard)
        : m_pasteboard(&pasteboard)
    {
    }

    // Replaces the clipboard with the image as PNG and TIFF, each encoded when first pasted; a
    // representation that cannot be encoded is left out.
    void copyImageToClipboard(const QImage& image);
    void copyText(const QString& text);

    Pasteboard& pasteboard() { return *m_pasteboard; }

private:
    Pasteboard* m_pasteboard;
};

} // namespace pelorin
