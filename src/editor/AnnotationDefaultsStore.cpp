#include "editor/AnnotationDefaultsStore.h"

#include "core/AppConstants.h"
#include "core/Color.h"
#include "platform/SettingsStore.h"

#include <QVariantList>

#include <algorithm>
#include <array>
#include <utility>

namespace pelorin {

namespace {

namespace Keys = AnnotationDefaultKeys;

const std::array<std::pair<const char*, double>, 9> numberDefaults{{
    {Keys::textFontSize, AppConstants::defaultTextSize},
    {Keys::textStrokeWidth, AppConstants::defaultTextStrokeWidth},
    {Keys::arrowStrokeWidth, AppConstants::defaultArrowWidth},
    {Keys::shapeStrokeWidth, AppConstants::defaultShapeStrokeWidth},
    {Keys::shapeCornerRadius, 8},
    {Keys::redactCornerRadius, 4},
    {Keys::penStrokeWidth, AppConstants::defaultPenWidth},
    {Keys::highlighterStrokeWidth, AppConstants::defaultHighlighterWidth},
    {Keys::stepSize, AppConstants::defaultStepSize},
}};

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

} // namespace

AnnotationDefaultsStore::AnnotationDefaultsStore(SettingsStore& settings)
    : m_settings(settings)
{
}

double AnnotationDefaultsStore::number(QAnyStringView key, double fallback) const
{
    const QVariant stored = m_settings.storedValue(key.toString());
    return isNumber(stored) ? stored.toDouble() : fallback;
}

double AnnotationDefaultsStore::number(QAnyStringView key) const
{
    for (const auto& [name, fallback] : numberDefaults) {
        if (QAnyStringView::equal(key, name))
            return number(key, fallback);
    }
    return number(key, 0);
}

void AnnotationDefaultsStore::setNumber(QAnyStringView key, double value)
{
    write(key.toString(), value);
}

bool AnnotationDefaultsStore::flag(QAnyStringView key) const
{
    return m_settings.boolValue(key.toString(), false);
}

void AnnotationDefaultsStore::setString(QAnyStringView key, const QString& value)
{
    write(key.toString(), value);
}

void AnnotationDefaultsStore::setFlag(QAnyStringView key, bool value)
{
    write(key.toString(), value);
}

std::optional<QColor> AnnotationDefaultsStore::color(QAnyStringView key) const
{
    const QVariant stored = m_settings.storedValue(key.toString());
    if (stored.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    const QVariantList components = stored.toList();
    if (components.size() != 4 || !std::all_of(components.begin(), components.end(), isNumber))
        return std::nullopt;
    // Components beyond 0–1 are wide-gamut colour and stay; an alpha beyond it is no colour.
    const QColor color = CodableColor{components[0].toDouble(), components[1].toDouble(),
                                      components[2].toDouble(), components[3].toDouble()}
                             .toColor();
    return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
}

void AnnotationDefaultsStore::setColor(const QColor& color, QAnyStringView key)
{
    if (!color.isValid())
        return;
    const CodableColor srgb = CodableColor::fromColor(color);
    write(key.toString(), QVariantList{srgb.red, srgb.green, srgb.blue, srgb.alpha});
}

template <typename E>
E AnnotationDefaultsStore::enumeration(QAnyStringView key, E fallback) const
{
    const QVariant stored = m_settings.storedValue(key.toString());
    if (stored.typeId() != QMetaType::QString)
        return fallback;
    return fromRawValue<E>(stored.toString()).value_or(fallback);
}

FontWeight AnnotationDefaultsStore::textFontWeight() const
{
    const QVariant stored = m_settings.storedValue(QString::fromLatin1(Keys::textFontWeight));
    if (stored.typeId() == QMetaType::QString) {
        if (stored.toString() == u"regular")
            return FontWeight::regular;
        if (stored.toString() == u"bold")
            return FontWeight::bold;
    }
    return FontWeight::semibold;
}

void AnnotationDefaultsStore::setTextFontWeight(FontWeight weight)
{
    const char* encoded = weight == FontWeight::regular ? "regular" : weight == FontWeight::bold ? "bold" : "semibold";
    setString(Keys::textFontWeight, QString::fromLatin1(encoded));
}

TextDesign AnnotationDefaultsStore::textDesign() const
{
    return enumeration(Keys::textDesign, TextDesign::standard);
}

void AnnotationDefaultsStore::setTextDesign(TextDesign design)
{
    setString(Keys::textDesign, rawValue(design));
}

ArrowStyle AnnotationDefaultsStore::arrowStyle() const
{
    return enumeration(Keys::arrowStyle, ArrowStyle::single);
}

void AnnotationDefaultsStore::setArrowStyle(ArrowStyle style)
{
    setString(Keys::arrowStyle, rawValue(style));
}

ShapeType AnnotationDefaultsStore::shapeType() const
{
    return enumeration(Keys::shapeType, ShapeType::roundedRectangle);
}

void AnnotationDefaultsStore::setShapeType(ShapeType type)
{
    setString(Keys::shapeType, rawValue(type));
}

QColor AnnotationDefaultsStore::textStrokeColor() const
{
    return color(Keys::textStrokeColor).value_or(QColor::fromRgbF(1, 1, 1, 1));
}

QColor AnnotationDefaultsStore::highlighterColor() const
{
    return color(Keys::highlighterColor).value_or(AppConstants::defaultHighlighterColor());
}

void AnnotationDefaultsStore::write(const QString& key, const QVariant& value)
{
    if (m_batch)
        m_batch->insert(key, value);
    else
        m_settings.setValue(key, value);
}

void AnnotationDefaultsStore::record(const Annotation& annotation)
{
    // Every canvas commit records a style: one write of the settings file, not one per key.
    QVariantMap batch;
    m_batch = &batch;
    recordEach(annotation);
    m_batch = nullptr;
    // Moving an annotation records the style it already had: nothing to write then.
    for (auto it = batch.begin(); it != batch.end();)
        it = m_settings.storedValue(it.key()) == it.value() ? batch.erase(it) : std::next(it);
    if (!batch.isEmpty())
        m_settings.setValues(batch);
}

void AnnotationDefaultsStore::recordEach(const Annotation& annotation)
{
    if (const auto* text = std::get_if<TextAnnotation>(&annotation)) {
        setNumber(Keys::textFontSize, text->fontSize);
        setTextFontWeight(text->fontWeight);
        setTextDesign(text->design);
        setFlag(Keys::textIsItalic, text->isItalic);
        setNumber(Keys::textStrokeWidth, text->strokeWidth);
        setColor(text->strokeColor, Keys::textStrokeColor);
    } else if (const auto* arrow = std::get_if<ArrowAnnotation>(&annotation)) {
        setNumber(Keys::arrowStrokeWidth, arrow->strokeWidth);
        setArrowStyle(arrow->style);
    } else if (const auto* shape = std::get_if<ShapeAnnotation>(&annotation)) {
        setNumber(Keys::shapeStrokeWidth, shape->strokeWidth);
        setShapeType(shape->shapeType);
        setNumber(Keys::shapeCornerRadius, shape->cornerRadius);
        setFlag(Keys::shapeIsFilled, shape->fillColor.has_value());
    } else if (const auto* redact = std::get_if<RedactAnnotation>(&annotation)) {
        setNumber(Keys::redactCornerRadius, redact->cornerRadius);
    } else if (const auto* stroke = std::get_if<StrokeAnnotation>(&annotation)) {
        if (stroke->kind == StrokeKind::pen) {
            setNumber(Keys::penStrokeWidth, stroke->strokeWidth);
        } else {
            setNumber(Keys::highlighterStrokeWidth, stroke->strokeWidth);
            setColor(stroke->color, Keys::highlighterColor);
        }
    } else if (const auto* step = std::get_if<StepAnnotation>(&annotation)) {
        setNumber(Keys::stepSize, step->size);
    }
}

} // namespace pelorin
