#pragma once

#include <QImage>

#include <functional>
#include <optional>

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
    // The same with the image itself made when a program first asks for it (once, for both
    // types): the clipboard offers it at once, and what is pasted is what `render` gives.
    // Nothing is pasted if it gives none.
    using Render = std::function<std::optional<QImage>()>;
    void copyImageRenderedOnDemand(Render render);
    void copyText(const QString& text);

    Pasteboard& pasteboard() { return *m_pasteboard; }

private:
    Pasteboard* m_pasteboard;
};

} // namespace pelorin
