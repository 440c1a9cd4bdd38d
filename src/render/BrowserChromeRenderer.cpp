#include "render/BrowserChromeRenderer.h"

#include "core/Fonts.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace pelorin {

namespace {

struct Palette {
    QColor strip, tab, field, text, icon, hairline;
};

Palette palette(BrowserChromeStyle style)
{
    if (style == BrowserChromeStyle::dark) {
        return {QColor::fromRgbF(0.118f, 0.122f, 0.133f), QColor::fromRgbF(0.169f, 0.176f, 0.192f),
                QColor::fromRgbF(0.235f, 0.247f, 0.267f), QColor::fromRgbF(0.91f, 0.918f, 0.929f),
                QColor::fromRgbF(0.604f, 0.627f, 0.651f), QColor::fromRgbF(0, 0, 0, 0.35f)};
    }
    return {QColor::fromRgbF(0.871f, 0.882f, 0.902f), QColor::fromRgbF(1, 1, 1),
            QColor::fromRgbF(0.945f, 0.953f, 0.957f), QColor::fromRgbF(0.125f, 0.129f, 0.141f),
            QColor::fromRgbF(0.373f, 0.388f, 0.408f), QColor::fromRgbF(0, 0, 0, 0.12f)};
}

QFont uiFont(double size)
{
    return QFont(textFont(TextDesign::standard, FontWeight::regular, false, size), pointResolutionDevice());
}

QPen roundPen(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// One line of text, truncated at the end with an ellipsis to fit maxWidth.
void drawText(QPainter& painter, const QString& text, const QFont& font, const QColor& color, double x,
              double baseline, double maxWidth)
{
    if (text.isEmpty() || maxWidth <= 4)
        return;
    const QFontMetricsF metrics(font, pointResolutionDevice());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, maxWidth);
    QPainterPath path;
    path.addText(QPointF(x, baseline), font, shown);
    painter.fillPath(path, color);
}

void drawTrafficLights(QPainter& painter, double u, double s)
{
    const QColor colors[] = {QColor::fromRgbF(1.0f, 0.373f, 0.341f), QColor::fromRgbF(0.996f, 0.737f, 0.18f),
                             QColor::fromRgbF(0.157f, 0.784f, 0.251f)};
    const double xs[] = {22, 42, 62};
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(colors[i]);
        painter.drawEllipse(QPointF(xs[i] * u, s / 2), 6 * u, 6 * u);
    }
}

void drawTab(QPainter& painter, double u, double width, double s, const BrowserChromeSettings& settings,
             const Palette& colors)
{
    const double x0 = 84 * u;
    const double x1 = x0 + std::min(width * 0.35, 230 * u);
    const double tabHeight = std::min(s, 34 * u);
    const double t = s - tabHeight;
    const double m = t + tabHeight / 2;
    const double flare = 7 * u;
    const double top = 9 * u;

    QPainterPath outline;
    outline.moveTo(x0 - flare, s);
    outline.arcTo(QRectF(x0 - 2 * flare, s - 2 * flare, 2 * flare, 2 * flare), 270, 90); // flare into the strip
    outline.lineTo(x0, t + top);
    outline.arcTo(QRectF(x0, t, 2 * top, 2 * top), 180, -90);
    outline.lineTo(x1 - top, t);
    outline.arcTo(QRectF(x1 - 2 * top, t, 2 * top, 2 * top), 90, -90);
    outline.lineTo(x1, s - flare);
    outline.arcTo(QRectF(x1, s - 2 * flare, 2 * flare, 2 * flare), 180, 90);
    outline.closeSubpath();
    painter.fillPath(outline, colors.tab);

    const QFont font = uiFont(12 * u);
    const double capHeight = QFontMetricsF(font, pointResolutionDevice()).capHeight();
    drawText(painter, BrowserChromeRenderer::tabTitle(settings), font, colors.text, x0 + 16 * u, m + capHeight / 2,
             (x1 - 16 * u - 10 * u) - (x0 + 16 * u));

    painter.setPen(roundPen(colors.icon, 1.4 * u));
    const QPointF close(x1 - 16 * u, m);
    const double half = 3.8 * u;
    painter.drawLine(close + QPointF(-half, -half), close + QPointF(half, half));
    painter.drawLine(close + QPointF(-half, half), close + QPointF(half, -half));

    const double c = x1 + 7 * u + 18 * u;
    if (c + 8 * u < width) {
        painter.setPen(roundPen(colors.icon, 1.7 * u));
        painter.drawLine(QPointF(c - 5.5 * u, m), QPointF(c + 5.5 * u, m));
        painter.drawLine(QPointF(c, m - 5.5 * u), QPointF(c, m + 5.5 * u));
    }
}

void drawReload(QPainter& painter, double u, QPointF centre, const QColor& color)
{
    const double rho = 6.5 * u;
    const auto onCircle = [&](double degrees) {
        const double radians = degrees * std::numbers::pi / 180;
        return centre + rho * QPointF(std::cos(radians), std::sin(radians));
    };
    QPolygonF arc;
    for (int i = 0; i <= 28; ++i)
        arc << onCircle(-15 + i * 300.0 / 28);
    painter.setPen(roundPen(color, 1.8 * u));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(arc);

    const QPointF end = onCircle(285);
    const QPointF along(0.9659, 0.2588);
    const QPointF across(-0.2588, 0.9659);
    const QPointF base = end - 1.5 * u * along;
    QPainterPath head;
    head.moveTo(end + 5 * u * along);
    head.lineTo(base + 3.2 * u * across);
    head.lineTo(base - 3.2 * u * across);
    head.closeSubpath();
    painter.fillPath(head, color);
}

void drawLock(QPainter& painter, double u, QPointF centre, const QColor& color)
{
    const double y0 = centre.y() - 2 * u;
    QPolygonF shackle;
    for (int degrees = 180; degrees <= 360; degrees += 15) {
        const double radians = degrees * std::numbers::pi / 180;
        shackle << QPointF(centre.x() + 2.9 * u * std::cos(radians), y0 + 2.9 * u * std::sin(radians));
    }
    painter.setPen(roundPen(color, 1.5 * u));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(shackle);
    QPainterPath body;
    body.addRoundedRect(QRectF(centre.x() - 4.3 * u, y0, 8.6 * u, 6.4 * u), 1.6 * u, 1.6 * u);
    painter.fillPath(body, color);
}

void drawToolbar(QPainter& painter, double u, double width, double top, double height,
                 const BrowserChromeSettings& settings, const Palette& colors)
{
    const double m = top + height / 2;
    painter.setBrush(Qt::NoBrush);

    painter.setPen(roundPen(colors.icon, 1.8 * u));
    const double back = 26 * u;
    painter.drawLine(QPointF(back - 7 * u, m), QPointF(back + 7 * u, m));
    painter.drawPolyline(QPolygonF{QPointF(back - 7 * u + 5.5 * u, m - 5.5 * u), QPointF(back - 7 * u, m),
                                   QPointF(back - 7 * u + 5.5 * u, m + 5.5 * u)});

    QColor disabled = colors.icon;
    disabled.setAlphaF(0.4f);
    painter.setPen(roundPen(disabled, 1.8 * u));
    const double forward = 58 * u;
    painter.drawLine(QPointF(forward - 7 * u, m), QPointF(forward + 7 * u, m));
    painter.drawPolyline(QPolygonF{QPointF(forward + 7 * u - 5.5 * u, m - 5.5 * u), QPointF(forward + 7 * u, m),
                                   QPointF(forward + 7 * u - 5.5 * u, m + 5.5 * u)});

    drawReload(painter, u, QPointF(90 * u, m), colors.icon);

    const double a = 112 * u;
    const double r = width - 16 * u;
    if (r - a <= 40 * u)
        return;
    QPainterPath field;
    field.addRoundedRect(QRectF(a, m - 14 * u, r - a, 28 * u), 14 * u, 14 * u);
    painter.fillPath(field, colors.field);
    const QString url = BrowserChromeRenderer::displayURL(settings.urlText);
    if (url.isEmpty())
        return;
    drawLock(painter, u, QPointF(a + 16 * u, m), colors.icon);
    const QFont font = uiFont(12.5 * u);
    const double capHeight = QFontMetricsF(font, pointResolutionDevice()).capHeight();
    drawText(painter, url, font, colors.text, a + 27 * u, m + capHeight / 2, (r - 12 * u) - (a + 27 * u));
}

} // namespace

double BrowserChromeRenderer::unit(double widthPoints)
{
    return std::max(0.5, widthPoints / 1280);
}

double BrowserChromeRenderer::barHeight(double widthPoints, bool showsAddressBar)
{
    return unit(widthPoints) * (tabStripHeight + (showsAddressBar ? toolbarHeight : 0));
}

QString BrowserChromeRenderer::displayURL(const QString& text)
{
    QString shown = text.trimmed();
    if (shown.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        shown.remove(0, 8);
    if (shown.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        shown.remove(0, 7);
    if (shown.endsWith(u'/'))
        shown.chop(1);
    return shown;
}

QString BrowserChromeRenderer::tabTitle(const BrowserChromeSettings& settings)
{
    const QString shown = displayURL(settings.urlText);
    if (shown.isEmpty())
        return QStringLiteral("New Tab");
    const qsizetype slash = shown.indexOf(u'/');
    return slash < 0 ? shown : shown.left(slash);
}

void BrowserChromeRenderer::drawBar(QPainter& painter, double width, double height,
                                    const BrowserChromeSettings& settings, double devicePixel)
{
    const double u = unit(width);
    const Palette colors = palette(settings.style);
    const double s = settings.showsAddressBar ? u * tabStripHeight : height;
    painter.fillRect(QRectF(0, 0, width, s), colors.strip);
    if (settings.showsAddressBar)
        painter.fillRect(QRectF(0, s, width, height - s), colors.tab);
    drawTrafficLights(painter, u, s);
    drawTab(painter, u, width, s, settings, colors);
    if (settings.showsAddressBar)
        drawToolbar(painter, u, width, s, height - s, settings, colors);
    painter.fillRect(QRectF(0, height - devicePixel, width, devicePixel), colors.hairline);
}

QImage BrowserChromeRenderer::composited(const QImage& base, const BrowserChromeSettings& settings)
{
    if (!settings.isEnabled || base.isNull())
        return base;
    const double k = base.devicePixelRatio();
    const double w = base.width() / k;
    if (!(w > 0))
        return base;
    const int barPixels = std::max(1, static_cast<int>(std::floor(k * barHeight(w, settings.showsAddressBar))));
    QImage framed(base.width(), base.height() + barPixels, QImage::Format_RGBA8888_Premultiplied);
    if (framed.isNull())
        return base;
    framed.fill(Qt::transparent);
    framed.setDevicePixelRatio(k);
    QPainter painter(&framed);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    {
        // The screenshot's own pixels, copied one to one below the bar.
        QImage unscaled = base;
        unscaled.setDevicePixelRatio(k);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPointF(0, barPixels / k), unscaled);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    drawBar(painter, w, barPixels / k, settings, 1 / k);
    painter.end();
    return framed;
}

} // namespace pelorin
