#include "ui/ExportFrameGeometry.h"

#include "render/OffscreenSceneRenderer.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

using namespace ExportFrameLimits;

bool movesLeftEdge(HandlePosition p)
{
    return p == HandlePosition::topLeft || p == HandlePosition::left || p == HandlePosition::bottomLeft;
}

bool movesRightEdge(HandlePosition p)
{
    return p == HandlePosition::topRight || p == HandlePosition::right || p == HandlePosition::bottomRight;
}

bool movesTopEdge(HandlePosition p)
{
    return p == HandlePosition::topLeft || p == HandlePosition::top || p == HandlePosition::topRight;
}

bool movesBottomEdge(HandlePosition p)
{
    return p == HandlePosition::bottomLeft || p == HandlePosition::bottom || p == HandlePosition::bottomRight;
}

QPointF handlePoint(const QRectF& frame, HandlePosition p)
{
    const double x = movesLeftEdge(p) ? frame.left() : movesRightEdge(p) ? frame.right() : frame.center().x();
    const double y = movesTopEdge(p) ? frame.top() : movesBottomEdge(p) ? frame.bottom() : frame.center().y();
    return {x, y};
}

QRectF resizedFrame(const QRectF& rect, HandlePosition p, QPointF delta, QSizeF viewport)
{
    double minX = std::max(0.0, movesLeftEdge(p) ? rect.left() + delta.x() : rect.left());
    double maxX = movesRightEdge(p) ? rect.right() + delta.x() : rect.right();
    double minY = std::max(0.0, movesTopEdge(p) ? rect.top() + delta.y() : rect.top());
    double maxY = movesBottomEdge(p) ? rect.bottom() + delta.y() : rect.bottom();
    // An edge dragged past the opposite one pushes it along at the minimum size, but never
    // out of the canvas: the far edge then stops at the minimum size from the canvas's edge.
    minX = std::max(0.0, std::min(minX, maxX - minSize.width()));
    minY = std::max(0.0, std::min(minY, maxY - minSize.height()));
    maxX = std::max(std::min(maxX, viewport.width()), minX + minSize.width());
    maxY = std::max(std::min(maxY, viewport.height()), minY + minSize.height());
    return {minX, minY, maxX - minX, maxY - minY};
}

QRectF movedFrame(const QRectF& anchor, QPointF delta, QSizeF viewport)
{
    QRectF moved = anchor.translated(delta);
    moved.moveLeft(std::min(std::max(0.0, moved.left()), viewport.width() - moved.width()));
    moved.moveTop(std::min(std::max(0.0, moved.top()), viewport.height() - moved.height()));
    return moved;
}

std::array<QRectF, 4> borderBand(const QRectF& rect, double band)
{
    const QRectF outer = rect.adjusted(-band / 2, -band / 2, band / 2, band / 2);
    return {
        QRectF(outer.left(), outer.top(), outer.width(), band),
        QRectF(outer.left(), outer.bottom() - band, outer.width(), band),
        QRectF(outer.left(), outer.top() + band, band, outer.height() - 2 * band),
        QRectF(outer.right() - band, outer.top() + band, band, outer.height() - 2 * band),
    };
}

QPointF tagCenter(const QRectF& frame, QSizeF viewport)
{
    return {frame.center().x(), std::min(frame.bottom() + 16, viewport.height() - 12)};
}

QSize outputPixelSize(const QRectF& frame, double exportScale)
{
    // Counted as the export counts them, so the tag names the size of the file.
    const auto whole = [](double v) { return int(std::max(0.0, OffscreenSceneRenderer::wholePixels(v))); };
    return {whole(frame.width() * exportScale), whole(frame.height() * exportScale)};
}

} // namespace pelorin
