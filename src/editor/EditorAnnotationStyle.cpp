#include "editor/EditorViewModel.h"

#include "core/AppConstants.h"

#include <algorithm>

namespace pelorin {

namespace {

namespace Keys = AnnotationDefaultKeys;

const Annotation* findAnnotation(const std::optional<ScreenshotDocument>& document, const QUuid& id)
{
    if (!document || id.isNull())
        return nullptr;
    const auto& list = document->annotations;
    const auto found = std::find_if(list.begin(), list.end(), [&](const Annotation& a) { return annotationId(a) == id; });
    return found == list.end() ? nullptr : &*found;
}

// A record of the tool's kind carrying everything the defaults store remembers for it, so
// that the inspector can show and edit the style the next annotation will be made with.
std::optional<Annotation> defaultsRecord(AnnotationTool tool, const AnnotationDefaultsStore& store, const QColor& color)
{
    switch (tool) {
    case AnnotationTool::text: {
        TextAnnotation text = TextAnnotation::make({}, color);
        text.fontSize = store.number(Keys::textFontSize);
        text.fontWeight = store.textFontWeight();
        text.design = store.textDesign();
        text.isItalic = store.flag(Keys::textIsItalic);
        text.strokeWidth = store.number(Keys::textStrokeWidth);
        text.strokeColor = store.textStrokeColor();
        return text;
    }
    case AnnotationTool::arrow: {
        ArrowAnnotation arrow = ArrowAnnotation::make({}, {}, color);
        arrow.strokeWidth = store.number(Keys::arrowStrokeWidth);
        arrow.style = store.arrowStyle();
        return arrow;
    }
    case AnnotationTool::shape: {
        ShapeAnnotation shape = ShapeAnnotation::make({}, color);
        shape.shapeType = store.shapeType();
        shape.strokeWidth = store.number(Keys::shapeStrokeWidth);
        shape.cornerRadius = store.number(Keys::shapeCornerRadius);
        if (store.flag(Keys::shapeIsFilled)) {
            QColor fill = color;
            fill.setAlphaF(0.25f);
            shape.fillColor = fill;
        }
        return shape;
    }
    case AnnotationTool::redact:
    case AnnotationTool::pixelate: {
        RedactAnnotation redact = RedactAnnotation::make({}, color);
        redact.cornerRadius = store.number(Keys::redactCornerRadius);
        if (tool == AnnotationTool::pixelate)
            redact.redactStyle = RedactStyle::pixelate;
        return redact;
    }
    case AnnotationTool::pen:
        return StrokeAnnotation::make(StrokeKind::pen, {}, color, store.number(Keys::penStrokeWidth));
    case AnnotationTool::highlighter:
        return StrokeAnnotation::make(StrokeKind::highlighter, {}, store.highlighterColor(),
                                      store.number(Keys::highlighterStrokeWidth));
    case AnnotationTool::step:
        return StepAnnotation::make({}, 1, color, store.number(Keys::stepSize));
    case AnnotationTool::quick:
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<Annotation> EditorViewModel::inspectedAnnotation() const
{
    if (const Annotation* selected = findAnnotation(m_document, m_selectedAnnotationId))
        return *selected;
    if (!m_selectedTool)
        return std::nullopt;
    return defaultsRecord(*m_selectedTool, m_annotationDefaults, m_annotationColor);
}

void EditorViewModel::editInspectedAnnotation(const std::function<void(Annotation&)>& change)
{
    std::optional<Annotation> annotation = inspectedAnnotation();
    if (!annotation)
        return;
    change(*annotation);
    const bool inDocument = findAnnotation(m_document, annotationId(*annotation)) != nullptr;
    if (inDocument && m_selection.size() > 1) {
        // The same change to every selected annotation it applies to, as one step.
        std::vector<Annotation> list = m_document->annotations;
        for (Annotation& each : list) {
            if (isAnnotationSelected(annotationId(each)))
                change(each);
        }
        if (list != m_document->annotations)
            commitAnnotations(std::move(list));
    } else if (inDocument) {
        updateDocumentAnnotation(*annotation);
    }
    m_annotationDefaults.record(*annotation);
    if (!inDocument)
        Q_EMIT annotationDefaultsChanged();
}

void EditorViewModel::resetInspectedAnnotationStyle()
{
    editInspectedAnnotation(&EditorViewModel::resetAnnotationStyle);
    clearLiveDimHole();
}

bool EditorViewModel::annotationStyleIsDirty(const Annotation& annotation)
{
    Annotation reset = annotation;
    resetAnnotationStyle(reset);
    // The text outline colour is reset along with the rest but alone does not offer a reset.
    if (auto* text = std::get_if<TextAnnotation>(&reset))
        text->strokeColor = std::get<TextAnnotation>(annotation).strokeColor;
    return reset != annotation;
}

void EditorViewModel::resetAnnotationStyle(Annotation& annotation)
{
    // Colour, text plate and padding, a shape's corner radius and a redaction's style are kept.
    if (auto* text = std::get_if<TextAnnotation>(&annotation)) {
        text->design = TextDesign::standard;
        text->isItalic = false;
        text->fontWeight = FontWeight::semibold;
        text->fontSize = AppConstants::defaultTextSize;
        text->strokeWidth = AppConstants::defaultTextStrokeWidth;
        text->strokeColor = QColor::fromRgbF(1, 1, 1, 1);
    } else if (auto* arrow = std::get_if<ArrowAnnotation>(&annotation)) {
        arrow->style = ArrowStyle::single;
        arrow->strokeWidth = AppConstants::defaultArrowWidth;
    } else if (auto* shape = std::get_if<ShapeAnnotation>(&annotation)) {
        shape->shapeType = ShapeType::roundedRectangle;
        shape->strokeWidth = AppConstants::defaultShapeStrokeWidth;
        shape->fillColor.reset();
    } else if (auto* redact = std::get_if<RedactAnnotation>(&annotation)) {
        redact->cornerRadius = 4;
    } else if (auto* stroke = std::get_if<StrokeAnnotation>(&annotation)) {
        // A pen keeps the shared colour; the highlighter's colour is part of its style.
        if (stroke->kind == StrokeKind::pen) {
            stroke->strokeWidth = AppConstants::defaultPenWidth;
        } else {
            stroke->strokeWidth = AppConstants::defaultHighlighterWidth;
            stroke->color = AppConstants::defaultHighlighterColor();
        }
    } else if (auto* step = std::get_if<StepAnnotation>(&annotation)) {
        step->size = AppConstants::defaultStepSize;
    }
}

} // namespace pelorin
