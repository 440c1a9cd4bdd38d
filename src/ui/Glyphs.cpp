#include "ui/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pelorin {

namespace {

// Every glyph is drawn on a 24 × 24 grid.
constexpr double grid = 24;

QPainterPath roundedRect(double x, double y, double w, double h, double r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        if (first)
            path.moveTo(point);
        else
            path.lineTo(point);
        first = false;
    }
    if (closed)
        path.closeSubpath();
    return path;
}

// Four corner brackets of a square from `inset` to 24 − inset, each `arm` long.
QPainterPath brackets(double inset, double arm)
{
    const double a = inset;
    const double b = grid - inset;
    QPainterPath path;
    path.addPath(polyline({{a, a + arm}, {a, a}, {a + arm, a}}));
    path.addPath(polyline({{b - arm, a}, {b, a}, {b, a + arm}}));
    path.addPath(polyline({{b, b - arm}, {b, b}, {b - arm, b}}));
    path.addPath(polyline({{a + arm, b}, {a, b}, {a, b - arm}}));
    return path;
}

QPainterPath arrowHead(QPointF tip, double angle, double size)
{
    const double spread = 0.55;
    return polyline({tip + size * QPointF(std::cos(angle + M_PI - spread), std::sin(angle + M_PI - spread)), tip,
                     tip + size * QPointF(std::cos(angle + M_PI + spread), std::sin(angle + M_PI + spread))});
}

QPainterPath magnifier()
{
    QPainterPath path;
    path.addEllipse(QPointF(10.5, 10.5), 6.5, 6.5);
    path.addPath(polyline({{15.2, 15.2}, {20, 20}}));
    return path;
}

struct Drawing {
    QPainterPath stroke;
    QPainterPath fill;
};

Drawing drawingFor(Glyph glyph)
{
    Drawing d;
    switch (glyph) {
    case Glyph::square:
        d.stroke = roundedRect(5, 5, 14, 14, 2.5);
        break;
    case Glyph::cube:
        d.stroke = polyline({{12, 3}, {20, 7.5}, {20, 16.5}, {12, 21}, {4, 16.5}, {4, 7.5}}, true);
        d.stroke.addPath(polyline({{4, 7.5}, {12, 12}, {20, 7.5}}));
        d.stroke.addPath(polyline({{12, 12}, {12, 21}}));
        break;
    case Glyph::arrowCounterclockwise: {
        const QRectF circle(4.5, 5, 15, 15);
        QPainterPath arc;
        arc.arcMoveTo(circle, 110);
        arc.arcTo(circle, 110, 290);
        d.stroke = arc;
        const QPointF start = arc.pointAtPercent(0);
        // The head points the way the arc runs at its start, a little left and down.
        d.stroke.addPath(arrowHead(start + QPointF(-0.4, 0.2), M_PI * 1.02, 3.6));
        break;
    }
    case Glyph::squareOnSquare:
        d.stroke = roundedRect(3.5, 9, 11.5, 11.5, 2);
        d.stroke.addPath(polyline({{9, 9}, {9, 5.5}, {9.5, 4}, {19, 3.5}, {20.5, 5}, {20.5, 14}, {19, 15}, {15, 15}}));
        break;
    case Glyph::photoOnRectangleAngled: {
        QTransform tilt;
        tilt.translate(12, 12);
        tilt.rotate(-9);
        tilt.translate(-12, -12);
        d.stroke = tilt.map(polyline({{7, 5}, {7, 3.5}, {21.5, 3.5}, {21.5, 14}, {20, 14}}));
        d.stroke.addPath(roundedRect(2.5, 7.5, 16, 12.5, 1.8));
        d.stroke.addPath(polyline({{2.8, 17.5}, {7.5, 13}, {10.5, 15.8}, {13.5, 12.5}, {18.2, 17}}));
        d.stroke.addEllipse(QPointF(7.2, 11), 1.3, 1.3);
        break;
    }
    case Glyph::viewfinder:
        d.stroke = brackets(4, 5);
        break;
    case Glyph::window:
        d.stroke = roundedRect(3, 4.5, 18, 15, 2.5);
        d.stroke.addPath(polyline({{3, 9}, {21, 9}}));
        d.fill.addEllipse(QPointF(6, 6.8), 0.9, 0.9);
        d.fill.addEllipse(QPointF(8.8, 6.8), 0.9, 0.9);
        d.fill.addEllipse(QPointF(11.6, 6.8), 0.9, 0.9);
        break;
    case Glyph::cameraViewfinder:
        d.stroke = brackets(3, 5);
        d.stroke.addEllipse(QPointF(12, 12), 4, 4);
        break;
    case Glyph::photoFill:
        d.stroke = roundedRect(3, 5, 18, 14, 2.5);
        d.stroke.addPath(polyline({{3.5, 17}, {9, 11.5}, {12.5, 15}, {15.5, 12}, {20.5, 17}}));
        d.fill.addEllipse(QPointF(8.5, 9.3), 1.6, 1.6);
        break;
    case Glyph::rectangleInsetFilled:
        d.stroke = roundedRect(3, 5, 18, 14, 2.5);
        d.fill = roundedRect(6.5, 8.5, 11, 7, 1);
        break;
    case Glyph::squareFillOnSquare:
        d.stroke = polyline({{9, 8}, {9, 4}, {20, 4}, {20, 15}, {16, 15}});
        d.fill = roundedRect(4, 9, 11, 11, 2);
        break;
    case Glyph::circleLeftHalfFilled: {
        d.stroke.addEllipse(QPointF(12, 12), 8, 8);
        QPainterPath half;
        half.moveTo(12, 4);
        half.arcTo(QRectF(4, 4, 16, 16), 90, 180);
        half.closeSubpath();
        d.fill = half;
        break;
    }
    case Glyph::trash:
        d.stroke = polyline({{4, 7}, {20, 7}});
        d.stroke.addPath(polyline({{9, 7}, {9, 4.5}, {15, 4.5}, {15, 7}}));
        d.stroke.addPath(polyline({{6, 7}, {7, 20}, {17, 20}, {18, 7}}));
        d.stroke.addPath(polyline({{10, 10.5}, {10, 16.5}}));
        d.stroke.addPath(polyline({{14, 10.5}, {14, 16.5}}));
        break;
    case Glyph::zoomOut:
        d.stroke = magnifier();
        d.stroke.addPath(polyline({{7.5, 10.5}, {13.5, 10.5}}));
        break;
    case Glyph::zoomIn:
        d.stroke = magnifier();
        d.stroke.addPath(polyline({{7.5, 10.5}, {13.5, 10.5}}));
        d.stroke.addPath(polyline({{10.5, 7.5}, {10.5, 13.5}}));
        break;
    case Glyph::fitToWindow:
        d.stroke = polyline({{4, 9}, {4, 4}, {9, 4}});
        d.stroke.addPath(polyline({{15, 4}, {20, 4}, {20, 9}}));
        d.stroke.addPath(polyline({{20, 15}, {20, 20}, {15, 20}}));
        d.stroke.addPath(polyline({{9, 20}, {4, 20}, {4, 15}}));
        d.stroke.addPath(roundedRect(8.5, 8.5, 7, 7, 1.2));
        break;
    case Glyph::copy:
        d.stroke = roundedRect(8, 8, 12, 13, 2);
        d.stroke.addPath(polyline({{5, 16}, {4, 15}, {4, 4.5}, {5, 3.5}, {14, 3.5}, {15.5, 5}}));
        break;
    case Glyph::save:
        d.stroke = polyline({{12, 3.5}, {12, 14.5}});
        d.stroke.addPath(polyline({{7.5, 10}, {12, 14.5}, {16.5, 10}}));
        d.stroke.addPath(polyline({{4, 14}, {4, 19.5}, {20, 19.5}, {20, 14}}));
        break;
    case Glyph::textTool:
        d.stroke = polyline({{5.5, 7}, {5.5, 4.5}, {18.5, 4.5}, {18.5, 7}});
        d.stroke.addPath(polyline({{12, 4.5}, {12, 19.5}}));
        d.stroke.addPath(polyline({{9, 19.5}, {15, 19.5}}));
        break;
    case Glyph::arrowTool:
        d.stroke = polyline({{5, 19}, {18.5, 5.5}});
        d.stroke.addPath(polyline({{10, 5}, {19, 5}, {19, 14}}));
        break;
    case Glyph::shapeTool:
        d.stroke = roundedRect(3.5, 3.5, 11, 11, 1.5);
        d.stroke.addEllipse(QPointF(14.5, 14.5), 6, 6);
        break;
    case Glyph::redactTool:
        d.stroke = roundedRect(3, 6, 18, 12, 2.5);
        d.fill = roundedRect(6, 9.5, 12, 5, 1.2);
        break;
    case Glyph::quickTool: {
        QPainterPath star;
        star.moveTo(10, 3);
        star.quadTo(10.8, 9.2, 17, 10);
        star.quadTo(10.8, 10.8, 10, 17);
        star.quadTo(9.2, 10.8, 3, 10);
        star.quadTo(9.2, 9.2, 10, 3);
        d.fill = star;
        QPainterPath small;
        small.moveTo(18, 13);
        small.quadTo(18.4, 16.6, 22, 17);
        small.quadTo(18.4, 17.4, 18, 21);
        small.quadTo(17.6, 17.4, 14, 17);
        small.quadTo(17.6, 16.6, 18, 13);
        d.fill.addPath(small);
        break;
    }
    case Glyph::pixelateTool:
        // A checkerboard of blocks in a frame.
        d.stroke = roundedRect(3.5, 3.5, 17, 17, 2.5);
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                if ((row + column) % 2 == 0)
                    d.fill.addRect(QRectF(6.5 + column * 4, 6.5 + row * 4, 3.5, 3.5));
            }
        }
        break;
    case Glyph::penTool: {
        QPainterPath line;
        line.moveTo(3.5, 17);
        line.cubicTo(7, 9, 10, 21, 13.5, 14);
        d.stroke = line;
        d.stroke.addPath(polyline({{14, 13}, {19.5, 7.5}, {21.5, 9.5}, {16, 15}, {13.5, 15.5}}, true));
        break;
    }
    case Glyph::highlighterTool:
        d.stroke = polyline({{9, 15}, {17, 4.5}, {21, 7.5}, {13, 18}}, true);
        d.stroke.addPath(polyline({{9, 15}, {7.5, 19}, {13, 18}}));
        d.fill = roundedRect(3, 20, 18, 2.5, 1);
        break;
    case Glyph::stepTool: {
        d.stroke.addEllipse(QPointF(12, 12), 8.5, 8.5);
        d.stroke.addPath(polyline({{10, 9}, {12.5, 7.5}, {12.5, 16.5}}));
        d.stroke.addPath(polyline({{10, 16.5}, {15, 16.5}}));
        break;
    }
    case Glyph::checkmark:
        d.stroke = polyline({{5, 12.5}, {10, 17.5}, {19, 6.5}});
        break;
    }
    return d;
}

} // namespace

void paintGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& color, double weight)
{
    const double side = std::min(box.width(), box.height());
    if (side <= 0)
        return;
    const Drawing drawing = drawingFor(glyph);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(side / 2, side / 2));
    painter.scale(side / grid, side / grid);
    if (!drawing.fill.isEmpty())
        painter.fillPath(drawing.fill, color);
    if (!drawing.stroke.isEmpty()) {
        // Thin lines stay at least about a device pixel wide at small sizes.
        const double width = std::max(1.7 * weight, 1.0 * grid / side);
        painter.strokePath(drawing.stroke, QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    painter.restore();
}

} // namespace pelorin
