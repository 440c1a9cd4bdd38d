#pragma once

#include "core/Annotation.h"

class QPainter;
class QPainterPath;

namespace pelorin {

// Paints annotations into a raster. Coordinates are document points multiplied by `scale`;
// the painter's own transform maps them to pixels. Arrows are painted at their stored end
// points, so resolve attachments first.
void paintTextAnnotation(QPainter& painter, const TextAnnotation& text, double scale);
void paintArrowAnnotation(QPainter& painter, const ArrowAnnotation& arrow, double scale);
void paintShapeAnnotation(QPainter& painter, const ShapeAnnotation& shape, double scale);
void paintRedactAnnotation(QPainter& painter, const RedactAnnotation& redact, double scale);
void paintAnnotation(QPainter& painter, const Annotation& annotation, double scale);

// The outline of a shape: rectangle, rounded rectangle, inscribed ellipse, or the largest
// circle centred in the frame.
QPainterPath shapePath(const ShapeAnnotation& shape, double scale);

// Head size of an arrow drawn with `strokeWidth`: four times the width, at least 10 points.
double arrowHeadSize(double strokeWidth);

} // namespace pelorin
