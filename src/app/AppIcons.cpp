#include "app/AppIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pelorin {

namespace {

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

// Small line drawings of the menu icons, used where the desktop's icon theme has none.
QPixmap drawnSymbol(const QByteArray& name, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    p.setPen(QPen(QColor(220, 220, 228), std::max(1.2, s * 0.09), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const auto at = [s](double x, double y) { return QPointF(x * s, y * s); };
    if (name == "window-new" || name == "window") {
        p.drawRoundedRect(QRectF(at(0.12, 0.2), at(0.88, 0.82)), s * 0.08, s * 0.08);
        p.drawLine(at(0.12, 0.36), at(0.88, 0.36));
    } else if (name == "document-open-recent") {
        p.drawEllipse(QRectF(at(0.15, 0.15), at(0.85, 0.85)));
        p.drawPolyline(QPolygonF{at(0.5, 0.3), at(0.5, 0.5), at(0.66, 0.6)});
    } else if (name == "go-up") {
        p.drawPolyline(QPolygonF{at(0.15, 0.6), at(0.15, 0.85), at(0.85, 0.85), at(0.85, 0.6)});
        p.drawLine(at(0.5, 0.15), at(0.5, 0.65));
        p.drawPolyline(QPolygonF{at(0.32, 0.32), at(0.5, 0.15), at(0.68, 0.32)});
    } else if (name == "text-x-script") {
        QFont font = p.font();
        font.setPixelSize(static_cast<int>(s * 0.8));
        font.setBold(true);
        p.setFont(font);
        p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("{}"));
    } else if (name == "preferences-system") {
        for (int i = 0; i < 8; ++i) {
            const double a = i * 3.14159265 / 4;
            p.drawLine(at(0.5 + 0.28 * std::cos(a), 0.5 + 0.28 * std::sin(a)), at(0.5 + 0.42 * std::cos(a), 0.5 + 0.42 * std::sin(a)));
        }
        p.drawEllipse(QRectF(at(0.24, 0.24), at(0.76, 0.76)));
        p.drawEllipse(QRectF(at(0.41, 0.41), at(0.59, 0.59)));
    } else if (name == "view-refresh") {
        p.drawArc(QRectF(at(0.15, 0.15), at(0.85, 0.85)), 30 * 16, 150 * 16);
        p.drawArc(QRectF(at(0.15, 0.15), at(0.85, 0.85)), 210 * 16, 150 * 16);
        p.drawPolyline(QPolygonF{at(0.62, 0.1), at(0.8, 0.28), at(0.6, 0.34)});
    } else if (name == "application-exit") {
        p.drawArc(QRectF(at(0.15, 0.2), at(0.85, 0.9)), 120 * 16, 300 * 16);
        p.drawLine(at(0.5, 0.1), at(0.5, 0.5));
    } else {
        return {};
    }
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

QIcon themedIcon(const char* name)
{
    if (qstrcmp(name, "camera-photo") == 0)
        return applicationIcon();
    QIcon fallback;
    for (int size : {16, 24, 32, 48}) {
        const QPixmap drawn = drawnSymbol(name, size);
        if (!drawn.isNull())
            fallback.addPixmap(drawn);
    }
    return QIcon::fromTheme(QString::fromLatin1(name), fallback);
}

} // namespace pelorin
