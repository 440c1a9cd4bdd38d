#include "editor/ClipboardService.h"

#include "editor/FileExportService.h"
#include "platform/Pasteboard.h"

#include <memory>

namespace pelorin {

void ClipboardService::copyImageToClipboard(const QImage& image)
{
    m_pasteboard->clear();
    // The encoders hold the image (shared, not copied) until a program pastes. PNG goes
    // through the export's own encoder, so a pasted image keeps its point size as a saved one.
    m_pasteboard->writeImageOnDemand([image] { return FileExportService::encode(image, ImageFileType::png); },
                                     [image] { return FileExportService::encode(image, ImageFileType::tiff); });
}

void ClipboardService::copyImageRenderedOnDemand(Render render)
{
    // Shared by both types' encoders; the render (and what it holds) goes once it has run,
    // the image once both types are made.
    struct Once {
        Render render;
        std::optional<QImage> image;
        const std::optional<QImage>& get()
        {
            if (render) {
                image = render();
                render = nullptr;
            }
            return image;
        }
    };
    auto once = std::make_shared<Once>(Once{std::move(render), std::nullopt});
    const auto encoder = [once](ImageFileType type) {
        return [once, type] {
            const std::optional<QImage>& image = once->get();
            return image ? FileExportService::encode(*image, type) : QByteArray();
        };
    };
    m_pasteboard->clear();
    m_pasteboard->writeImageOnDemand(encoder(ImageFileType::png), encoder(ImageFileType::tiff));
}

void ClipboardService::copyText(const QString& text)
{
    m_pasteboard->clear();
    m_pasteboard->writeText(text);
}

} // namespace pelorin
