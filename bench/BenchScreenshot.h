#pragma once

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

// A 2880 × 1800 screenshot of a 1440 × 900-point screen: a soft gradient under rows of
// coloured bars, like text lines. PELORIN_BENCH_SCREENSHOT=FILE measures a real capture
// instead (read at two pixels per point).
inline QImage benchScreenshot()
{
    if (const QString file = qEnvironmentVariable("PELORIN_BENCH_SCREENSHOT"); !file.isEmpty()) {
        QImage real(file);
        if (!real.isNull()) {
            real.setDevicePixelRatio(2.0);
            return real;
        }
    }
    QImage image(2880, 1800, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 2880, 1800);
    gradient.setColorAt(0, QColor(240, 242, 246));
    gradient.setColorAt(1, QColor(210, 218, 230));
    painter.fillRect(image.rect(), gradient);
    for (int y = 40; y < 1800; y += 36)
        for (int x = 80; x < 2800; x += 170)
            painter.fillRect(x, y, 60 + (x * 7 + y * 3) % 90, 14, QColor(60 + x % 80, 70, 90 + y % 60));
    painter.end();
    image.setDevicePixelRatio(2.0);
    return image;
}
