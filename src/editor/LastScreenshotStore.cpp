#include "editor/LastScreenshotStore.h"

#include "core/ImageFile.h"
#include "editor/FileExportService.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>

namespace pelorin {

LastScreenshotStore::LastScreenshotStore()
    : m_path(appSupportURL(QStringLiteral("LastScreenshot.png")))
{
}

LastScreenshotStore::LastScreenshotStore(QString path)
    : m_path(std::move(path))
{
}

bool LastScreenshotStore::save(const QImage& image) const
{
    if (m_path.isEmpty() || image.isNull())
        return false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    try {
        FileExportService::saveImage(image, m_path); // PNG by name, resolution kept, atomic
        return true;
    } catch (const ExportError&) {
        return false;
    }
}

std::optional<QImage> LastScreenshotStore::load() const
{
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return std::nullopt;
    return readImageFile(m_path);
}

} // namespace pelorin
