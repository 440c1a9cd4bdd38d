#include "ui/AnnotationLayer.h"

#include "core/ViewState.h"
#include "editor/EditorViewModel.h"
#include "render/AnnotationPainter.h"

#include <QPainter>

#include <cmath>

namespace pelorin {

AnnotationLayer::AnnotationLayer(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_editor(editor)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    for (auto signal : {&EditorViewModel::documentChanged, &EditorViewModel::canvasTransformChanged,
                        &EditorViewModel::sceneStateChanged, &EditorViewModel::isRotatingGestureChanged})
        connect(&m_editor, signal, this, &AnnotationLayer::refresh);
    refresh();
}

bool AnnotationLayer::cardIsRotated(const EditorViewModel& editor)
{
    const SceneState& s = editor.sceneState();
    return s.isPerspective
        && (editor.isRotatingGesture() || std::fabs(s.yaw) >= CanvasLimits::tiltThreshold
            || std::fabs(s.pitch) >= CanvasLimits::tiltThreshold);
}

void AnnotationLayer::refresh()
{
    const auto& document = m_editor.document();
    const bool shows = document && !document->annotations.empty() && !cardIsRotated(m_editor);
    setVisible(shows);
    if (shows)
        update();
}

void AnnotationLayer::paintEvent(QPaintEvent*)
{
    const auto& document = m_editor.document();
    const std::optional<QRectF> card = m_editor.cardRect(QSizeF(size()));
    if (!document || !card)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(card->topLeft());
    const double zoom = m_editor.canvasTransform().zoomLevel;
    for (const Annotation& annotation : resolvingAttachments(document->annotations))
        paintAnnotation(painter, annotation, zoom);
}

} // namespace pelorin
