#pragma once

#include "core/AppConstants.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <variant>
#include <vector>

namespace pelorin {

// Enumerations are persisted and compared by their raw value strings. Every enumeration below
// has `rawValue(E)`, `fromRawValue<E>(raw)` (none for an unknown string) and `allCases<E>()`
// (in declaration order).
template <typename E>
std::optional<E> fromRawValue(const QString& raw);
template <typename E>
std::span<const E> allCases();

enum class TextDesign { standard, serif, rounded, mono };
enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
// `double_` because `double` is a keyword; its raw value is "double".
enum class ArrowStyle { single, double_, line };
enum class ShapeType { rectangle, roundedRectangle, ellipse, circle };
enum class ShapeHandlePosition { topLeft, topRight, bottomLeft, bottomRight, top, bottom, left, right };
enum class RedactStyle { solid, blur, pixelate };
enum class RedactHandlePosition { topLeft, topRight, bottomLeft, bottomRight };
// A freehand pen line, or a wide translucent highlighter band.
enum class StrokeKind { pen, highlighter };
// The editor's drawing tool; no tool at all is the pointer (select and move) mode. The digit
// keys 1–9 choose them in this order; `pixelate` draws redactions of the pixelate style.
enum class AnnotationTool { text, arrow, shape, redact, quick, pixelate, pen, highlighter, step };

QString rawValue(TextDesign value);
QString rawValue(FontWeight value);
QString rawValue(ArrowStyle value);
QString rawValue(ShapeType value);
QString rawValue(ShapeHandlePosition value);
QString rawValue(RedactStyle value);
QString rawValue(RedactHandlePosition value);
QString rawValue(StrokeKind value);
QString rawValue(AnnotationTool value);

// The tool selected by the digit keys "1" to "9".
std::optional<AnnotationTool> annotationToolForDigit(const QString& digit);
QString shortcutDigit(AnnotationTool tool);

// Coordinates are document points, origin top-left, y down. Geometry takes a `scale` and
// answers in coordinates multiplied by it (1 is document space; export passes its pixels per
// point).

struct TextAnnotation {
    QUuid id;
    QPointF position; // top-left of the first line; the padding lies outside it
    QColor color;
    bool isSelected = false;
    QDateTime createdAt;
    QString text; // lines separated by "\n"
    double fontSize = AppConstants::defaultTextSize;
    FontWeight fontWeight = FontWeight::semibold;
    TextDesign design = TextDesign::standard;
    bool isItalic = false;
    std::optional<QColor> backgroundColor;
    double padding = 8;
    QColor strokeColor = QColor::fromRgbF(1, 1, 1, 1);
    double strokeWidth = AppConstants::defaultTextStrokeWidth; // glyph outline; 0 draws none

    bool operator==(const TextAnnotation&) const = default;

    // A new, selected, empty text with the built-in style.
    static TextAnnotation make(QPointF position, const QColor& color);
};

// Ties an arrow end to another annotation. `anchor` is in unit coordinates of the target's
// bounding rectangle ((0.5, 0.5) is its centre).
struct ArrowAttachment {
    QUuid targetId;
    QPointF anchor{0.5, 0.5};

    bool operator==(const ArrowAttachment&) const = default;
};

struct ArrowAnnotation {
    QUuid id;
    QPointF position; // start
    QColor color;
    bool isSelected = false;
    QDateTime createdAt;
    QPointF endPoint; // where a single arrow has its head
    double strokeWidth = AppConstants::defaultArrowWidth;
    ArrowStyle style = ArrowStyle::single;
    // While an end is attached its stored point is only the fallback for a vanished target.
    std::optional<ArrowAttachment> startAttachment;
    std::optional<ArrowAttachment> endAttachment;

    bool operator==(const ArrowAnnotation&) const = default;

    static ArrowAnnotation make(QPointF start, QPointF end, const QColor& color);
};

struct ShapeAnnotation {
    QUuid id;
    QPointF position; // top-left
    QColor color;     // stroke
    bool isSelected = false;
    QDateTime createdAt;
    QSizeF size;
    ShapeType shapeType = ShapeType::roundedRectangle;
    double strokeWidth = AppConstants::defaultShapeStrokeWidth;
    std::optional<QColor> fillColor;
    double cornerRadius = 8; // roundedRectangle only

    bool operator==(const ShapeAnnotation&) const = default;

    static ShapeAnnotation make(const QRectF& rect, const QColor& color);
};

struct RedactAnnotation {
    QUuid id;
    QPointF position; // top-left
    QColor color;     // fill
    bool isSelected = false;
    QDateTime createdAt;
    QSizeF size;
    RedactStyle redactStyle = RedactStyle::solid;
    double cornerRadius = 4;

    bool operator==(const RedactAnnotation&) const = default;

    static RedactAnnotation make(const QRectF& rect, const QColor& color);
};

// A freehand line. The points are offsets from `position`, the top-left corner of their box,
// so that moving the stroke moves one point only; resizing scales the offsets with the box.
struct StrokeAnnotation {
    QUuid id;
    QPointF position; // top-left of the points' box
    QColor color;
    bool isSelected = false;
    QDateTime createdAt;
    StrokeKind kind = StrokeKind::pen;
    std::vector<QPointF> points;
    double strokeWidth = AppConstants::defaultPenWidth;

    bool operator==(const StrokeAnnotation&) const = default;

    // A new, selected stroke through `points` (document points).
    static StrokeAnnotation make(StrokeKind kind, const std::vector<QPointF>& points, const QColor& color,
                                 double strokeWidth);
};

// A numbered step marker: a filled circle of diameter `size` with its number in it.
struct StepAnnotation {
    QUuid id;
    QPointF position; // top-left of the circle's box
    QColor color;
    bool isSelected = false;
    QDateTime createdAt;
    int number = 1;
    double size = AppConstants::defaultStepSize;

    bool operator==(const StepAnnotation&) const = default;

    // A new, selected step centred on `centre`.
    static StepAnnotation make(QPointF centre, int number, const QColor& color, double size);
};

// The document keeps its annotations in drawing order: later entries are drawn on top.
using Annotation = std::variant<TextAnnotation, ArrowAnnotation, ShapeAnnotation, RedactAnnotation, StrokeAnnotation,
                                StepAnnotation>;

QUuid annotationId(const Annotation& annotation);
QDateTime annotationCreatedAt(const Annotation& annotation);
QPointF annotationPosition(const Annotation& annotation);
void setAnnotationPosition(Annotation& annotation, QPointF position);
// Moves the whole annotation (both ends of an arrow; its attachments stay as they are).
void translateAnnotation(Annotation& annotation, QPointF delta);
QColor annotationColor(const Annotation& annotation);
void setAnnotationColor(Annotation& annotation, const QColor& color);
bool isSelected(const Annotation& annotation);
void setSelected(Annotation& annotation, bool selected);

QRectF boundingRect(const TextAnnotation& text, double scale);
QRectF boundingRect(const ArrowAnnotation& arrow, double scale);
QRectF boundingRect(const ShapeAnnotation& shape, double scale);
QRectF boundingRect(const RedactAnnotation& redact, double scale);
// A stroke's points' box grown by half its width; a step's circle box.
QRectF boundingRect(const StrokeAnnotation& stroke, double scale);
QRectF boundingRect(const StepAnnotation& step, double scale);
QRectF boundingRect(const Annotation& annotation, double scale);
// `point` is already in scaled space.
bool hitTest(const Annotation& annotation, QPointF point, double scale);

// The font that measures and draws the text at `scale` (size fontSize × scale points).
QFont font(const TextAnnotation& text, double scale);
// The same font for on-screen display at the unscaled size.
QFont displayFont(const TextAnnotation& text);

double distanceFromPointToLine(QPointF point, QPointF lineStart, QPointF lineEnd);

// Where an attached arrow end meets its target: the point at which the ray from `from`
// towards `toward` enters `targetBounds`, pulled back towards `from` by `gap` (never by more
// than half the way to the entry point). `toward` itself when `from` is inside the target.
QPointF attachedPoint(QPointF from, QPointF toward, const QRectF& targetBounds, double gap);

struct ArrowEndpoints {
    QPointF start;
    QPointF end;
};

// The rectangle of a target annotation, none when there is no such target.
using TargetBounds = std::function<std::optional<QRectF>(const QUuid&)>;

// The end points to draw: attached ends run to the target's edge along the line joining the
// two reference points; an end whose target is gone falls back to its stored point.
ArrowEndpoints resolvedEndpoints(const ArrowAnnotation& arrow, const TargetBounds& boundsFor);

// The list with every arrow's stored points replaced by its resolved ones. Only non-arrow
// annotations can be targets.
std::vector<Annotation> resolvingAttachments(std::vector<Annotation> annotations);

// The shaft between `start` and `end`, shortened so that it ends under the heads of size
// `headSize` at the ends that carry one.
ArrowEndpoints shaftEndpoints(QPointF start, QPointF end, double headSize, bool atStart, bool atEnd);

// The box the stroke's points span, in document points (what its resize handles frame).
QRectF strokeBox(const StrokeAnnotation& stroke);
// The stroke with its points mapped from their box onto `box`; a side of no extent (a straight
// horizontal or vertical line) is moved, not stretched.
StrokeAnnotation strokeFittedTo(StrokeAnnotation stroke, const QRectF& box);
// The number a new step gets: one more than the highest on the document (1 on none).
int nextStepNumber(const std::vector<Annotation>& annotations);

// Replaces the first entry with the annotation's id; nothing happens when none has it.
void updateAnnotation(std::vector<Annotation>& annotations, const Annotation& annotation);
// Removes every entry with this id.
void removeAnnotation(std::vector<Annotation>& annotations, const QUuid& id);

} // namespace pelorin
