#include "core/Annotation.h"

#include <algorithm>
#include <array>

namespace pelorin {

namespace {

// Raw values of each enumeration, in declaration order.
template <typename E>
struct RawValues;

template <>
struct RawValues<TextDesign> {
    static constexpr std::array names{"standard", "serif", "rounded", "mono"};
};
template <>
struct RawValues<FontWeight> {
    static constexpr std::array names{"ultraLight", "thin",     "light", "regular", "medium",
                                      "semibold",   "bold",     "heavy", "black"};
};
template <>
struct RawValues<ArrowStyle> {
    static constexpr std::array names{"single", "double", "line"};
};
template <>
struct RawValues<ShapeType> {
    static constexpr std::array names{"rectangle", "roundedRectangle", "ellipse", "circle"};
};
template <>
struct RawValues<ShapeHandlePosition> {
    static constexpr std::array names{"topLeft", "topRight", "bottomLeft", "bottomRight",
                                      "top",     "bottom",   "left",       "right"};
};
template <>
struct RawValues<RedactStyle> {
    static constexpr std::array names{"solid", "blur", "pixelate"};
};
template <>
struct RawValues<RedactHandlePosition> {
    static constexpr std::array names{"topLeft", "topRight", "bottomLeft", "bottomRight"};
};
template <>
struct RawValues<StrokeKind> {
    static constexpr std::array names{"pen", "highlighter"};
};
template <>
struct RawValues<AnnotationTool> {
    static constexpr std::array names{"text",     "arrow", "shape",       "redact", "quick",
                                      "pixelate", "pen",   "highlighter", "step"};
};

template <typename E>
constexpr auto makeCases()
{
    std::array<E, RawValues<E>::names.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i)
        cases[i] = static_cast<E>(i);
    return cases;
}

template <typename E>
constexpr auto enumCases = makeCases<E>();

template <typename E>
QString rawValueOf(E value)
{
    return QString::fromLatin1(RawValues<E>::names[static_cast<std::size_t>(value)]);
}

} // namespace

template <typename E>
std::optional<E> fromRawValue(const QString& raw)
{
    const auto& names = RawValues<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (raw == QLatin1String(names[i]))
            return static_cast<E>(i);
    }
    return std::nullopt;
}

template <typename E>
std::span<const E> allCases()
{
    return enumCases<E>;
}

template std::optional<TextDesign> fromRawValue<TextDesign>(const QString&);
template std::optional<FontWeight> fromRawValue<FontWeight>(const QString&);
template std::optional<ArrowStyle> fromRawValue<ArrowStyle>(const QString&);
template std::optional<ShapeType> fromRawValue<ShapeType>(const QString&);
template std::optional<ShapeHandlePosition> fromRawValue<ShapeHandlePosition>(const QString&);
template std::optional<RedactStyle> fromRawValue<RedactStyle>(const QString&);
template std::optional<RedactHandlePosition> fromRawValue<RedactHandlePosition>(const QString&);
template std::optional<StrokeKind> fromRawValue<StrokeKind>(const QString&);
template std::optional<AnnotationTool> fromRawValue<AnnotationTool>(const QString&);
template std::span<const TextDesign> allCases<TextDesign>();
template std::span<const FontWeight> allCases<FontWeight>();
template std::span<const ArrowStyle> allCases<ArrowStyle>();
template std::span<const ShapeType> allCases<ShapeType>();
template std::span<const ShapeHandlePosition> allCases<ShapeHandlePosition>();
template std::span<const RedactStyle> allCases<RedactStyle>();
template std::span<const RedactHandlePosition> allCases<RedactHandlePosition>();
template std::span<const StrokeKind> allCases<StrokeKind>();
template std::span<const AnnotationTool> allCases<AnnotationTool>();

QString rawValue(TextDesign value) { return rawValueOf(value); }
QString rawValue(FontWeight value) { return rawValueOf(value); }
QString rawValue(ArrowStyle value) { return rawValueOf(value); }
QString rawValue(ShapeType value) { return rawValueOf(value); }
QString rawValue(ShapeHandlePosition value) { return rawValueOf(value); }
QString rawValue(RedactStyle value) { return rawValueOf(value); }
QString rawValue(RedactHandlePosition value) { return rawValueOf(value); }
QString rawValue(StrokeKind value) { return rawValueOf(value); }
QString rawValue(AnnotationTool value) { return rawValueOf(value); }

std::optional<AnnotationTool> annotationToolForDigit(const QString& digit)
{
    const auto& tools = enumCases<AnnotationTool>;
    if (digit.size() != 1)
        return std::nullopt;
    const int index = int(digit[0].unicode()) - int(u'1');
    if (index < 0 || index >= int(tools.size()))
        return std::nullopt;
    return tools[std::size_t(index)];
}

QString shortcutDigit(AnnotationTool tool)
{
    return QString::number(static_cast<int>(tool) + 1);
}

TextAnnotation TextAnnotation::make(QPointF position, const QColor& color)
{
    TextAnnotation text;
    text.id = QUuid::createUuid();
    text.position = position;
    text.color = color;
    text.isSelected = true;
    text.createdAt = QDateTime::currentDateTimeUtc();
    return text;
}

ArrowAnnotation ArrowAnnotation::make(QPointF start, QPointF end, const QColor& color)
{
    ArrowAnnotation arrow;
    arrow.id = QUuid::createUuid();
    arrow.position = start;
    arrow.color = color;
    arrow.isSelected = true;
    arrow.createdAt = QDateTime::currentDateTimeUtc();
    arrow.endPoint = end;
    return arrow;
}

ShapeAnnotation ShapeAnnotation::make(const QRectF& rect, const QColor& color)
{
    ShapeAnnotation shape;
    shape.id = QUuid::createUuid();
    shape.position = rect.topLeft();
    shape.color = color;
    shape.isSelected = true;
    shape.createdAt = QDateTime::currentDateTimeUtc();
    shape.size = rect.size();
    return shape;
}

RedactAnnotation RedactAnnotation::make(const QRectF& rect, const QColor& color)
{
    RedactAnnotation redact;
    redact.id = QUuid::createUuid();
    redact.position = rect.topLeft();
    redact.color = color;
    redact.isSelected = true;
    redact.createdAt = QDateTime::currentDateTimeUtc();
    redact.size = rect.size();
    return redact;
}

StrokeAnnotation StrokeAnnotation::make(StrokeKind kind, const std::vector<QPointF>& points, const QColor& color,
                                        double strokeWidth)
{
    StrokeAnnotation stroke;
    stroke.id = QUuid::createUuid();
    stroke.color = color;
    stroke.isSelected = true;
    stroke.createdAt = QDateTime::currentDateTimeUtc();
    stroke.kind = kind;
    stroke.strokeWidth = strokeWidth;
    if (points.empty())
        return stroke;
    QPointF topLeft = points.front();
    for (const QPointF& p : points)
        topLeft = QPointF(std::min(topLeft.x(), p.x()), std::min(topLeft.y(), p.y()));
    stroke.position = topLeft;
    stroke.points.reserve(points.size());
    for (const QPointF& p : points)
        stroke.points.push_back(p - topLeft);
    return stroke;
}

StepAnnotation StepAnnotation::make(QPointF centre, int number, const QColor& color, double size)
{
    StepAnnotation step;
    step.id = QUuid::createUuid();
    step.position = centre - QPointF(size / 2, size / 2);
    step.color = color;
    step.isSelected = true;
    step.createdAt = QDateTime::currentDateTimeUtc();
    step.number = number;
    step.size = size;
    return step;
}

QUuid annotationId(const Annotation& annotation)
{
    return std::visit([](const auto& a) { return a.id; }, annotation);
}

QDateTime annotationCreatedAt(const Annotation& annotation)
{
    return std::visit([](const auto& a) { return a.createdAt; }, annotation);
}

QPointF annotationPosition(const Annotation& annotation)
{
    return std::visit([](const auto& a) { return a.position; }, annotation);
}

void setAnnotationPosition(Annotation& annotation, QPointF position)
{
    std::visit([position](auto& a) { a.position = position; }, annotation);
}

void translateAnnotation(Annotation& annotation, QPointF delta)
{
    setAnnotationPosition(annotation, annotationPosition(annotation) + delta);
    if (auto* arrow = std::get_if<ArrowAnnotation>(&annotation))
        arrow->endPoint += delta;
}

QColor annotationColor(const Annotation& annotation)
{
    return std::visit([](const auto& a) { return a.color; }, annotation);
}

void setAnnotationColor(Annotation& annotation, const QColor& color)
{
    std::visit([&color](auto& a) { a.color = color; }, annotation);
}

bool isSelected(const Annotation& annotation)
{
    return std::visit([](const auto& a) { return a.isSelected; }, annotation);
}

void setSelected(Annotation& annotation, bool selected)
{
    std::visit([selected](auto& a) { a.isSelected = selected; }, annotation);
}

void updateAnnotation(std::vector<Annotation>& annotations, const Annotation& annotation)
{
    const QUuid id = annotationId(annotation);
    const auto it = std::find_if(annotations.begin(), annotations.end(),
                                 [&id](const Annotation& a) { return annotationId(a) == id; });
    if (it != annotations.end())
        *it = annotation;
}

void removeAnnotation(std::vector<Annotation>& annotations, const QUuid& id)
{
    std::erase_if(annotations, [&id](const Annotation& a) { return annotationId(a) == id; });
}

} // namespace pelorin
