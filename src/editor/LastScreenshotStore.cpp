#include "editor/LastScreenshotStore.h"

#include "core/ImageFile.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

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
    QImage stamped = image;
    setResolutionFromScale(stamped); // reopening keeps the point size
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "png");
    if (!writer.write(stamped)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QImage> LastScreenshotStore::load() const
{
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return std::nullopt;
    return readImageFile(m_path);
}

} // namespace pelorin
