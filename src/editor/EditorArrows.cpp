#include "editor/EditorViewModel.h"

namespace pelorin {

namespace {

// An arrow end released this close outside an annotation's bounds still attaches to it.
constexpr double attachReach = 8;
constexpr QPointF centreAnchor{0.5, 0.5};

} // namespace

std::optional<EditorViewModel::ArrowAttachCandidate>
EditorViewModel::arrowAttachCandidate(QPointF point, const QUuid& excludingArrowId,
                                      const std::optional<QUuid>& excludingTarget) const
{
    if (!m_document)
        return std::nullopt;
    const auto& list = m_document->annotations;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        const QUuid id = annotationId(*it);
        if (id == excludingArrowId || (excludingTarget && id == *excludingTarget)
            || std::holds_alternative<ArrowAnnotation>(*it))
            continue;
        const QRectF bounds = boundingRect(*it, 1);
        if (bounds.adjusted(-attachReach, -attachReach, attachReach, attachReach).contains(point))
            return ArrowAttachCandidate{id, bounds};
    }
    return std::nullopt;
}

std::vector<Annotation> EditorViewModel::hitTestAnnotations() const
{
    if (!m_document)
        return {};
    return resolvingAttachments(m_document->annotations);
}

std::optional<QRectF> EditorViewModel::attachmentBounds(const QUuid& id) const
{
    if (!m_document)
        return std::nullopt;
    for (const Annotation& annotation : m_document->annotations) {
        if (annotationId(annotation) == id && !std::holds_alternative<ArrowAnnotation>(annotation))
            return boundingRect(annotation, 1);
    }
    return std::nullopt;
}

std::optional<QRectF> EditorViewModel::liveAttachmentBounds(const QUuid& id) const
{
    if (const auto live = m_liveAnnotationRects.find(id); live != m_liveAnnotationRects.end())
        return live->second;
    return attachmentBounds(id);
}

ArrowEndpoints EditorViewModel::liveEndpoints(const ArrowAnnotation& arrow) const
{
    return resolvedEndpoints(arrow, [this](const QUuid& id) { return liveAttachmentBounds(id); });
}

void EditorViewModel::setLiveAnnotationRect(const QUuid& id, const std::optional<QRectF>& rect)
{
    if (rect) {
        m_liveAnnotationRects[id] = *rect;
    } else if (m_liveAnnotationRects.erase(id) == 0) {
        return;
    }
    Q_EMIT liveDragChanged();
}

ArrowAnnotation EditorViewModel::arrowWithMovedEnd(const ArrowAnnotation& arrow, bool start, QPointF translation) const
{
    ArrowAnnotation moved = arrow;
    const ArrowEndpoints drawn = resolvedEndpoints(arrow, [this](const QUuid& id) { return attachmentBounds(id); });
    moved.position = drawn.start;
    moved.endPoint = drawn.end;
    QPointF& end = start ? moved.position : moved.endPoint;
    end += translation;
    // Both ends never attach to the same annotation.
    const std::optional<ArrowAttachment>& other = start ? arrow.endAttachment : arrow.startAttachment;
    const std::optional<QUuid> otherTarget = other ? std::optional(other->targetId) : std::nullopt;
    std::optional<ArrowAttachment> attachment;
    if (const auto candidate = arrowAttachCandidate(end, arrow.id, otherTarget))
        attachment = ArrowAttachment{candidate->id, centreAnchor};
    (start ? moved.startAttachment : moved.endAttachment) = attachment;
    return moved;
}

ArrowAnnotation EditorViewModel::arrowMovedBy(const ArrowAnnotation& arrow, QPointF translation) const
{
    ArrowAnnotation moved = arrow;
    const ArrowEndpoints drawn = resolvedEndpoints(arrow, [this](const QUuid& id) { return attachmentBounds(id); });
    moved.position = drawn.start + translation;
    moved.endPoint = drawn.end + translation;
    const auto keep = [&](std::optional<ArrowAttachment>& attachment, QPointF at) {
        if (!attachment)
            return;
        const auto candidate = arrowAttachCandidate(at, arrow.id, std::nullopt);
        if (!candidate || candidate->id != attachment->targetId)
            attachment.reset();
    };
    keep(moved.startAttachment, moved.position);
    keep(moved.endAttachment, moved.endPoint);
    return moved;
}

void EditorViewModel::setLocalDetectedElements(std::vector<QRectF> elements)
{
    m_localDetectedElements = std::move(elements);
    // They stand for this document's detection: choosing the quick tool does not start another.
    if (m_document)
        m_localDetectionDocumentId = m_document->id;
    if (m_isDetectingElements) {
        m_isDetectingElements = false;
        Q_EMIT isDetectingElementsChanged();
    }
    Q_EMIT localDetectedElementsChanged();
}

} // namespace pelorin
