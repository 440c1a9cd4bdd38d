#include "core/CaptureRegion.h"

#include <QStringList>

#include <algorithm>

namespace pelorin {

QString captureRegionText(const QRect& region)
{
    return QStringLiteral("%1,%2,%3,%4").arg(region.x()).arg(region.y()).arg(region.width()).arg(region.height());
}

std::optional<QRect> parseCaptureRegion(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

QList<QRect> monitorsInReadingOrder(QList<QRect> monitors)
{
    std::stable_sort(monitors.begin(), monitors.end(), [](const QRect& a, const QRect& b) {
        return a.x() != b.x() ? a.x() < b.x() : a.y() < b.y();
    });
    return monitors;
}

QString screenLayoutKey(const QList<QRect>& monitors)
{
    QStringList parts;
    for (const QRect& monitor : monitorsInReadingOrder(monitors))
        parts << captureRegionText(monitor);
    return parts.join(u';');
}

} // namespace pelorin
