#include "app/AppIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace pelorin {

namespace {

// Symbol name → freedesktop icon name.
const QHash<QByteArray, QString>& themeNames()
{
    static const QHash<QByteArray, QString> names{
        {"scope", QStringLiteral("camera-photo")},
        {"macwindow", QStringLiteral("window-new")},
        {"arrow.up.forward.app", QStringLiteral("window")},
        {"clock.arrow.circlepath", QStringLiteral("document-open-recent")},
        {"tray.and.arrow.up", QStringLiteral("go-up")},
        {"curlybraces", QStringLiteral("text-x-script")},
        {"gearshape", QStringLiteral("preferences-system")},
        {"arrow.triangle.2.circlepath", QStringLiteral("view-refresh")},
        {"power", QStringLiteral("application-exit")},
    };
    return names;
}

// The app's mark: a viewfinder, drawn so the tray has an icon on every desktop.
QPixmap drawnScope(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    QPen pen(QColor(122, 104, 246), s * 0.1, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawEllipse(QRectF(s * 0.2, s * 0.2, s * 0.6, s * 0.6));
    painter.drawLine(QPointF(s * 0.5, s * 0.05), QPointF(s * 0.5, s * 0.28));
    painter.drawLine(QPointF(s * 0.5, s * 0.72), QPointF(s * 0.5, s * 0.95));
    painter.drawLine(QPointF(s * 0.05, s * 0.5), QPointF(s * 0.28, s * 0.5));
    painter.drawLine(QPointF(s * 0.72, s * 0.5), QPointF(s * 0.95, s * 0.5));
    painter.setBrush(QColor(122, 104, 246));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(s * 0.5, s * 0.5), s * 0.08, s * 0.08);
    return pixmap;
}

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawnScope(size));
    return icon;
}

QIcon themedIcon(const char* symbol)
{
    if (qstrcmp(symbol, "scope") == 0)
        return applicationIcon();
    const QString name = themeNames().value(symbol);
    return name.isEmpty() ? QIcon() : QIcon::fromTheme(name);
}

} // namespace pelorin
