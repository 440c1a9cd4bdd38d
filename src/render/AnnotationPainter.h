#pragma once

#include "core/Annotation.h"

class QPainter;
class QPainterPath;
class QImage;
class QColor;

namespace pelorin {

// Paints annotations into a raster. Coordinates are document points multiplied by `scale`;
// the painter's own transform maps them to pixels. Arrows are painted at their stored end
// points, so resolve attachments first.
void paintTextAnnotation(QPainter& painter, const TextAnnotation& text, double scale);
void paintArrowAnnotation(QPainter& painter, const ArrowAnnotation& arrow, double scale);
void paintShapeAnnotation(QPainter& painter, const ShapeAnnotation& shape, double scale);
// Pixelate and blur redactions show `screenshot`'s own pixels made unreadable; without a
// screenshot (or outside it) every style is an opaque fill of the redaction's colour.
void paintRedactAnnotation(QPainter& painter, const RedactAnnotation& redact, double scale,
                           const QImage* screenshot = nullptr);
void paintStrokeAnnotation(QPainter& painter, const StrokeAnnotation& stroke, double scale);
void paintStepAnnotation(QPainter& painter, const StepAnnotation& step, double scale);
void paintAnnotation(QPainter& painter, const Annotation& annotation, double scale, const QImage* screenshot = nullptr);

// The smoothed line through a stroke's points: quadratic curves through the midpoints of
// successive points, so a line drawn by hand shows no corners where the pointer was sampled.
QPainterPath strokeLine(const StrokeAnnotation& stroke, double scale);
// A highlighter band is drawn at this opacity, so the text under it stays readable.
inline constexpr double highlighterOpacity = 0.4;
// The digit of a step: white on dark colours, near-black on light ones.
QColor stepDigitColor(const QColor& fill);

// The outline of a shape: rectangle, rounded rectangle, inscribed ellipse, or the largest
// circle centred in the frame.
QPainterPath shapePath(const ShapeAnnotation& shape, double scale);

// Head size of an arrow drawn with `strokeWidth`: four times the width, at least 10 points.
double arrowHeadSize(double strokeWidth);

} // namespace pelorin
