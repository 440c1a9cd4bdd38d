#include "editor/EditorViewModel.h"

#include "core/ViewState.h"

#include <algorithm>

namespace pelorin {

namespace AK = AnnotationDefaultKeys;

void EditorViewModel::setSelectedTool(std::optional<AnnotationTool> tool)
{
    if (tool == m_selectedTool)
        return;
    m_selectedTool = tool;
    if (tool == AnnotationTool::quick)
        prepareQuickAnnotationElements();
    Q_EMIT selectedToolChanged();
}

void EditorViewModel::selectTool(std::optional<AnnotationTool> tool)
{
    if (tool && m_sceneState.isPerspective) {
        // Annotations are edited on a flat card only.
        m_rotationTargets = {};
        setSceneState(SceneState{});
        Q_EMIT redrawRequested();
    }
    setSelectedTool(tool);
    // Detection of the quick chain's elements belongs to the detection side; it reacts to
    // selectedToolChanged and finds the elements for the current document.
    setSelectedAnnotationId({});
}

void EditorViewModel::setSelectedAnnotationId(const QUuid& id)
{
    if (id == m_selectedAnnotationId && m_selection.size() == (id.isNull() ? 0u : 1u))
        return;
    const bool sameId = id == m_selectedAnnotationId;
    m_selectedAnnotationId = id;
    m_selection = id.isNull() ? std::vector<QUuid>{} : std::vector<QUuid>{id};
    Q_EMIT selectedAnnotationIdChanged();
    if (sameId)
        return;
    const std::optional<Annotation> selected = selectedAnnotation();
    // A highlighter's colour is its own; adopting it would turn the next text yellow.
    const auto* stroke = selected ? std::get_if<StrokeAnnotation>(&*selected) : nullptr;
    if (selected && !(stroke && stroke->kind == StrokeKind::highlighter)) {
        const QColor color = pelorin::annotationColor(*selected);
        if (color != m_annotationColor)
            setAnnotationColor(color);
    }
}

std::optional<Annotation> EditorViewModel::selectedAnnotation() const
{
    if (!m_document || m_selectedAnnotationId.isNull())
        return std::nullopt;
    for (const Annotation& annotation : m_document->annotations) {
        if (annotationId(annotation) == m_selectedAnnotationId)
            return annotation;
    }
    return std::nullopt;
}

void EditorViewModel::setAnnotationColor(const QColor& color)
{
    m_annotationColor = color;
    updateSelectedAnnotationColor();
    // Every change of the colour is remembered for the next start.
    m_annotationDefaults.setColor(color, AnnotationDefaultsStore::colorKey());
    Q_EMIT annotationColorChanged();
}

void EditorViewModel::updateSelectedAnnotationColor()
{
    if (!m_document)
        return;
    // Every selected annotation, as one step. A shape's fill is its colour at a quarter
    // opacity, as when it was drawn; it follows.
    std::vector<Annotation> list = m_document->annotations;
    for (Annotation& annotation : list) {
        if (!isAnnotationSelected(annotationId(annotation)))
            continue;
        pelorin::setAnnotationColor(annotation, m_annotationColor);
        if (auto* shape = std::get_if<ShapeAnnotation>(&annotation); shape && shape->fillColor) {
            QColor fill = m_annotationColor;
            fill.setAlphaF(0.25f);
            shape->fillColor = fill;
        }
    }
    if (list != m_document->annotations)
        commitAnnotations(std::move(list));
}

TextAnnotation EditorViewModel::makeTextAnnotation(QPointF at) const
{
    TextAnnotation text = TextAnnotation::make(at, m_annotationColor);
    const AnnotationDefaultsStore& d = m_annotationDefaults;
    text.fontSize = d.number(AK::textFontSize, AppConstants::defaultTextSize);
    text.fontWeight = d.textFontWeight();
    text.design = d.textDesign();
    text.isItalic = d.flag(AK::textIsItalic);
    text.strokeWidth = d.number(AK::textStrokeWidth, AppConstants::defaultTextStrokeWidth);
    text.strokeColor = d.textStrokeColor();
    return text;
}

ArrowAnnotation EditorViewModel::makeArrowAnnotation(QPointF from, QPointF to) const
{
    ArrowAnnotation arrow = ArrowAnnotation::make(from, to, m_annotationColor);
    arrow.strokeWidth = m_annotationDefaults.number(AK::arrowStrokeWidth, AppConstants::defaultArrowWidth);
    arrow.style = m_annotationDefaults.arrowStyle();
    return arrow;
}

ShapeAnnotation EditorViewModel::makeShapeAnnotation(const QRectF& rect) const
{
    ShapeAnnotation shape = ShapeAnnotation::make(rect, m_annotationColor);
    const AnnotationDefaultsStore& d = m_annotationDefaults;
    shape.shapeType = d.shapeType();
    shape.strokeWidth = d.number(AK::shapeStrokeWidth, AppConstants::defaultShapeStrokeWidth);
    shape.cornerRadius = d.number(AK::shapeCornerRadius, 8);
    if (d.flag(AK::shapeIsFilled)) {
        QColor fill = m_annotationColor;
        fill.setAlphaF(0.25f);
        shape.fillColor = fill;
    }
    return shape;
}

RedactAnnotation EditorViewModel::makeRedactAnnotation(const QRectF& rect, RedactStyle style) const
{
    RedactAnnotation redact = RedactAnnotation::make(rect, m_annotationColor);
    redact.cornerRadius = m_annotationDefaults.number(AK::redactCornerRadius, 4);
    redact.redactStyle = style;
    return redact;
}

StrokeAnnotation EditorViewModel::makeStrokeAnnotation(StrokeKind kind, const std::vector<QPointF>& points) const
{
    if (kind == StrokeKind::highlighter)
        return StrokeAnnotation::make(kind, points, m_annotationDefaults.highlighterColor(),
                                      m_annotationDefaults.number(AK::highlighterStrokeWidth));
    return StrokeAnnotation::make(kind, points, m_annotationColor, m_annotationDefaults.number(AK::penStrokeWidth));
}

StepAnnotation EditorViewModel::makeStepAnnotation(QPointF centre) const
{
    return StepAnnotation::make(centre, m_document ? nextStepNumber(m_document->annotations) : 1, m_annotationColor,
                                m_annotationDefaults.number(AK::stepSize));
}

void EditorViewModel::addAnnotation(const Annotation& annotation, bool keepToolArmed)
{
    if (!m_document)
        return;
    std::vector<Annotation> list = m_document->annotations;
    list.push_back(annotation);
    commitAnnotations(std::move(list));
    setSelectedAnnotationId(annotationId(annotation));
    if (!keepToolArmed)
        setSelectedTool(std::nullopt);
    clearLiveDimHole();
}

void EditorViewModel::removeAnnotation(const QUuid& id)
{
    if (!m_document || id.isNull())
        return;
    std::vector<Annotation> list = m_document->annotations;
    const TargetBounds bounds = [this](const QUuid& target) { return attachmentBounds(target); };
    for (Annotation& annotation : list) {
        auto* arrow = std::get_if<ArrowAnnotation>(&annotation);
        if (!arrow)
            continue;
        const bool fromIt = arrow->startAttachment && arrow->startAttachment->targetId == id;
        const bool toIt = arrow->endAttachment && arrow->endAttachment->targetId == id;
        if (!fromIt && !toIt)
            continue;
        // Pinned where it is drawn now, while the target is still there to measure.
        const ArrowEndpoints drawn = resolvedEndpoints(*arrow, bounds);
        arrow->position = drawn.start;
        arrow->endPoint = drawn.end;
        if (fromIt)
            arrow->startAttachment.reset();
        if (toIt)
            arrow->endAttachment.reset();
    }
    pelorin::removeAnnotation(list, id);
    if (list.size() == m_document->annotations.size())
        return;
    commitAnnotations(std::move(list));
    if (m_selectedAnnotationId == id)
        setSelectedAnnotationId({});
    else if (isAnnotationSelected(id))
        toggleAnnotationSelected(id);
}

void EditorViewModel::updateDocumentAnnotation(const Annotation& annotation)
{
    if (!m_document)
        return;
    std::vector<Annotation> list = m_document->annotations;
    pelorin::updateAnnotation(list, annotation);
    if (list == m_document->annotations)
        return;
    commitAnnotations(std::move(list));
    m_annotationDefaults.record(annotation);
    clearLiveDimHole();
}

void EditorViewModel::commitAnnotations(std::vector<Annotation> annotations)
{
    if (!m_document)
        return;
    const bool couldUndo = canUndoAnnotationChange();
    const bool couldRedo = canRedoAnnotationChange();
    m_annotationHistory.recordChange(m_document->annotations);
    setAnnotations(std::move(annotations));
    if (couldUndo != canUndoAnnotationChange() || couldRedo != canRedoAnnotationChange())
        Q_EMIT annotationHistoryChanged();
}

void EditorViewModel::setAnnotations(std::vector<Annotation> annotations)
{
    m_document->annotations = std::move(annotations);
    annotationTextureDirty = true;
    Q_EMIT annotationsChanged();
}

void EditorViewModel::beginAnnotationEditRun(const QUuid& id)
{
    m_annotationHistory.beginRun(id);
}

void EditorViewModel::endAnnotationEditRun()
{
    m_annotationHistory.endRun();
}

void EditorViewModel::undoAnnotationChange()
{
    if (!m_document)
        return;
    if (const std::optional<AnnotationHistory::Step> previous =
            m_annotationHistory.undo(m_document->annotations, styleSnapshot()))
        applyHistoryStep(*previous);
}

void EditorViewModel::redoAnnotationChange()
{
    if (!m_document)
        return;
    if (const std::optional<AnnotationHistory::Step> next = m_annotationHistory.redo(m_document->annotations, styleSnapshot()))
        applyHistoryStep(*next);
}

void EditorViewModel::applyHistoryStep(const AnnotationHistory::Step& step)
{
    if (step.annotations) {
        setAnnotations(*step.annotations);
        dropVanishedFromSelection();
    }
    if (step.style)
        applyStyleParts(*step.style, step.styleParts);
    Q_EMIT annotationHistoryChanged();
}

void EditorViewModel::dropAnnotationHistory()
{
    const bool had = canUndoAnnotationChange() || canRedoAnnotationChange();
    m_annotationHistory.clear();
    m_liveAnnotationRects.clear();
    if (had)
        Q_EMIT annotationHistoryChanged();
}

void EditorViewModel::nudgeSelectedAnnotation(QPointF delta)
{
    if (m_selection.size() > 1) {
        moveSelectionBy(delta);
        return;
    }
    std::optional<Annotation> selected = selectedAnnotation();
    if (!selected)
        return;
    if (auto* arrow = std::get_if<ArrowAnnotation>(&*selected))
        *selected = arrowMovedBy(*arrow, delta);
    else
        setAnnotationPosition(*selected, annotationPosition(*selected) + delta);
    updateDocumentAnnotation(*selected);
}

bool EditorViewModel::deleteSelectedAnnotation()
{
    return deleteSelection();
}

} // namespace pelorin
