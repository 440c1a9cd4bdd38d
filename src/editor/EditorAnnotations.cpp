#include "editor/EditorViewModel.h"

namespace pelorin {

void EditorViewModel::setSelectedTool(std::optional<AnnotationTool> tool)
{
    if (tool == m_selectedTool)
        return;
    m_selectedTool = tool;
    if (tool == AnnotationTool::quick)
        prepareQuickAnnotationElements();
    Q_EMIT selectedToolChanged();
}

void EditorViewModel::setSelectedAnnotationId(const QUuid& id)
{
    if (id == m_selectedAnnotationId)
        return;
    m_selectedAnnotationId = id;
    Q_EMIT selectedAnnotationIdChanged();
}

void EditorViewModel::setAnnotationColor(const QColor& color)
{
    m_annotationColor = color;
    // Every change of the colour is remembered for the next start.
    m_annotationDefaults.setColor(color, AnnotationDefaultsStore::colorKey());
    Q_EMIT annotationColorChanged();
}

} // namespace pelorin
