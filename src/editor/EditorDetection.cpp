#include "editor/EditorViewModel.h"

#include "detection/ElementDetectionService.h"

namespace pelorin {

std::vector<QRectF> EditorViewModel::quickAnnotationElements() const
{
    if (m_detectedComponents.empty())
        return m_localDetectedElements;
    std::vector<QRectF> boxes;
    boxes.reserve(m_detectedComponents.size());
    for (const DetectedComponent& c : m_detectedComponents)
        boxes.emplace_back(c.x1, c.y1, c.x2 - c.x1, c.y2 - c.y1);
    return boxes;
}

void EditorViewModel::prepareQuickAnnotationElements()
{
    if (!m_document || !m_detectedComponents.empty() || m_localDetectionDocumentId == m_document->id)
        return;
    m_localDetectionDocumentId = m_document->id;
    if (!m_localDetectedElements.empty()) {
        m_localDetectedElements.clear();
        Q_EMIT localDetectedElementsChanged();
    }
    if (!m_isDetectingElements) {
        m_isDetectingElements = true;
        Q_EMIT isDetectingElementsChanged();
    }
    startElementDetection();
}

void EditorViewModel::startElementDetection()
{
    const QUuid documentId = m_document->id;
    const qint64 imageKey = m_document->image.cacheKey();
    QPointer<EditorViewModel> self(this);
    m_elementDetection =
        ElementDetectionService::detectElements(m_document->image, m_document->imagePointSize())
            .then(this, [self, documentId, imageKey](std::vector<QRectF> elements) {
                // A later document, or a reset, owns the cache now.
                if (!self || !self->m_document || self->m_document->id != documentId ||
                    self->m_localDetectionDocumentId != documentId)
                    return;
                // The browser frame went on or off while we looked: the points moved, look again.
                if (self->m_document->image.cacheKey() != imageKey) {
                    self->startElementDetection();
                    return;
                }
                self->m_localDetectedElements = std::move(elements);
                Q_EMIT self->localDetectedElementsChanged();
                self->m_isDetectingElements = false;
                Q_EMIT self->isDetectingElementsChanged();
            });
}

void EditorViewModel::resetQuickAnnotationElements()
{
    if (!m_localDetectedElements.empty()) {
        m_localDetectedElements.clear();
        Q_EMIT localDetectedElementsChanged();
    }
    if (m_isDetectingElements) {
        m_isDetectingElements = false;
        Q_EMIT isDetectingElementsChanged();
    }
    m_localDetectionDocumentId.reset();
    m_quickChainEscapeHandler = nullptr;
}

} // namespace pelorin
