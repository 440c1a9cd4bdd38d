#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <array>

namespace pelorin {

// The eight grips of the export frame, in drawing order.
enum class HandlePosition { topLeft, top, topRight, right, bottomRight, bottom, bottomLeft, left };

inline constexpr std::array<HandlePosition, 8> allHandlePositions{
    HandlePosition::topLeft,     HandlePosition::top,    HandlePosition::topRight,   HandlePosition::right,
    HandlePosition::bottomRight, HandlePosition::bottom, HandlePosition::bottomLeft, HandlePosition::left,
};

namespace ExportFrameLimits {
inline constexpr QSizeF minSize{120, 80};
inline constexpr double handleSize = 8;
inline constexpr double handleHitGrowth = 6;
inline constexpr double borderHitWidth = 14;
} // namespace ExportFrameLimits

bool movesLeftEdge(HandlePosition p);
bool movesRightEdge(HandlePosition p);
bool movesTopEdge(HandlePosition p);
bool movesBottomEdge(HandlePosition p);

QPointF handlePoint(const QRectF& frame, HandlePosition p);
// The frame after dragging handle `p` by `delta`, kept inside the viewport and never below
// the minimum size.
QRectF resizedFrame(const QRectF& rect, HandlePosition p, QPointF delta, QSizeF viewport);
// The frame moved by `delta` and pushed back inside the viewport without changing its size.
QRectF movedFrame(const QRectF& anchor, QPointF delta, QSizeF viewport);
// The move grab area: a band of `bandWidth` centred on the frame's edge, as four rectangles.
std::array<QRectF, 4> borderBand(const QRectF& rect, double bandWidth);
// Centre of the dimensions tag: under the frame, pulled up to stay inside the canvas.
QPointF tagCenter(const QRectF& frame, QSizeF viewport);
// The exported pixels of a frame at `exportScale` pixels per point, truncated.
QSize outputPixelSize(const QRectF& frame, double exportScale);

} // namespace pelorin
