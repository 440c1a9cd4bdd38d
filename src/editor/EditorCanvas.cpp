#include "editor/EditorViewModel.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

using namespace CanvasLimits;

namespace {

double clampZoom(double zoom)
{
    return std::clamp(zoom, minZoom, maxZoom);
}

} // namespace

void EditorViewModel::setTransform(const CanvasTransform& transform)
{
    if (transform == m_canvasTransform)
        return;
    m_canvasTransform = transform;
    Q_EMIT canvasTransformChanged();
    Q_EMIT redrawRequested();
}

void EditorViewModel::setZoomLevel(double zoom)
{
    CanvasTransform t = m_canvasTransform;
    t.zoomLevel = clampZoom(zoom);
    setTransform(t);
}

void EditorViewModel::setCanvasOffset(const QSizeF& offset)
{
    CanvasTransform t = m_canvasTransform;
    t.canvasOffset = offset;
    setTransform(t);
}

void EditorViewModel::updateViewportSize(const QSizeF& size)
{
    m_viewportSize = size;
    if (m_needsZoomToFit && size.width() > 0) {
        m_needsZoomToFit = false;
        zoomToFit();
    }
    // The export frame is kept inside the card by the composition layer once it is attached.
}

void EditorViewModel::zoomIn()
{
    setZoomLevel(std::min(m_canvasTransform.zoomLevel * zoomStep, maxZoom));
}

void EditorViewModel::zoomOut()
{
    setZoomLevel(std::max(m_canvasTransform.zoomLevel / zoomStep, minZoom));
}

void EditorViewModel::zoomToFit()
{
    CanvasTransform t;
    t.canvasOffset = QSizeF(0, 0);
    if (!m_document) {
        t.zoomLevel = 1.0;
    } else if (m_viewportSize.width() <= 0 || m_viewportSize.height() <= 0) {
        // Fit again once the canvas has a size.
        m_needsZoomToFit = true;
        t.zoomLevel = 1.0;
    } else {
        const QSizeF image = m_document->imagePointSize();
        const double p = m_styling.padding;
        t.zoomLevel = clampZoom(std::min(m_viewportSize.width() * fitMargin / (image.width() + 2 * p),
                                         m_viewportSize.height() * fitMargin / (image.height() + 2 * p)));
    }
    setTransform(t);
}

void EditorViewModel::fitPaddedFrameIfNeeded()
{
    if (!m_document || m_viewportSize.width() <= 1 || m_viewportSize.height() <= 1)
        return;
    const QSizeF image = m_document->imagePointSize();
    const double p = m_styling.padding;
    const double fit = std::min(m_viewportSize.width() * paddedFitMargin / (image.width() + 2 * p),
                                m_viewportSize.height() * paddedFitMargin / (image.height() + 2 * p));
    if (fit < m_canvasTransform.zoomLevel)
        setZoomLevel(std::max(minZoom, fit));
}

void EditorViewModel::setSceneState(const SceneState& state)
{
    if (state == m_sceneState)
        return;
    m_sceneState = state;
    Q_EMIT sceneStateChanged();
    Q_EMIT stylingIsDirtyChanged();
    Q_EMIT redrawRequested();
}

void EditorViewModel::beginRotationGesture()
{
    // The whole gesture is one undo step, recorded when it ends.
    m_styleBeforeRotation = m_document ? std::optional<StyleSnapshot>(styleSnapshot()) : std::nullopt;
    m_isRotatingGesture = true;
    Q_EMIT isRotatingGestureChanged();
    if (!m_sceneState.isPerspective) {
        SceneState s = m_sceneState;
        s.isPerspective = true;
        setSceneState(s);
    }
    Q_EMIT textureRefreshRequested();
}

void EditorViewModel::rotateBy(float deltaYaw, float deltaPitch)
{
    // The scene state follows only when the gesture ends; the renderer eases towards the targets.
    m_rotationTargets.yaw = std::clamp(m_rotationTargets.yaw + deltaYaw, -yawLimit, yawLimit);
    m_rotationTargets.pitch = std::clamp(m_rotationTargets.pitch + deltaPitch, -pitchLimit, pitchLimit);
    Q_EMIT redrawRequested();
}

void EditorViewModel::endRotationGesture()
{
    SceneState s = m_sceneState;
    if (std::fabs(m_rotationTargets.yaw) < snapBackThreshold && std::fabs(m_rotationTargets.pitch) < snapBackThreshold) {
        m_rotationTargets = {};
        s.isPerspective = false;
    }
    s.yaw = m_rotationTargets.yaw;
    s.pitch = m_rotationTargets.pitch;
    setSceneState(s);
    if (m_styleBeforeRotation && m_document && m_styleStepDepth == 0)
        recordStyleStep(*m_styleBeforeRotation);
    m_styleBeforeRotation.reset();
    m_isRotatingGesture = false;
    Q_EMIT isRotatingGestureChanged();
    Q_EMIT redrawRequested();
}

void EditorViewModel::toggleProjection()
{
    const StyleStep step(*this);
    SceneState s = m_sceneState;
    s.isPerspective = !s.isPerspective;
    if (s.isPerspective) {
        setSceneState(s);
        Q_EMIT textureRefreshRequested();
        return;
    }
    s.yaw = 0;
    s.pitch = 0;
    m_rotationTargets = {};
    setSceneState(s);
    Q_EMIT redrawRequested();
}

void EditorViewModel::resetRotation()
{
    const StyleStep step(*this);
    SceneState s = m_sceneState;
    s.yaw = 0;
    s.pitch = 0;
    m_rotationTargets = {};
    setSceneState(s);
    Q_EMIT redrawRequested();
}

void EditorViewModel::restorePreAnnotateSceneState()
{
    if (!m_preAnnotateSceneState)
        return;
    const SceneState saved = *m_preAnnotateSceneState;
    setSceneState(saved);
    m_rotationTargets.yaw = std::clamp(saved.yaw, -yawLimit, yawLimit);
    m_rotationTargets.pitch = std::clamp(saved.pitch, -pitchLimit, pitchLimit);
    Q_EMIT redrawRequested();
    m_preAnnotateSceneState.reset();
}

void EditorViewModel::setExportFrameRect(const std::optional<QRectF>& rect)
{
    if (rect == m_exportFrameRect)
        return;
    m_exportFrameRect = rect;
    Q_EMIT exportFrameRectChanged();
}

} // namespace pelorin
