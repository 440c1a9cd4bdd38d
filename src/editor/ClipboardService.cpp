#include "editor/ClipboardService.h"

#include "editor/FileExportService.h"
#include "platform/Pasteboard.h"

namespace pelorin {

void ClipboardService::copyImageToClipboard(const QImage& image)
{
    m_pasteboard->clear();
    // The encoders hold the image (shared, not copied) until a program pastes. PNG goes
    // through the export's own encoder, so a pasted image keeps its point size as a saved one.
    m_pasteboard->writeImageOnDemand([image] { return FileExportService::encode(image, ImageFileType::png); },
                                     [image] { return FileExportService::encode(image, ImageFileType::tiff); });
}

void ClipboardService::copyText(const QString& text)
{
    m_pasteboard->clear();
    m_pasteboard->writeText(text);
}

} // namespace pelorin
