#pragma once

#include <QSizeF>

namespace pelorin {

// Zoom and pan of the canvas.
struct CanvasTransform {
    double zoomLevel = 1.0;
    QSizeF canvasOffset{0, 0}; // pan of the card's centre from the viewport centre, y down
    bool operator==(const CanvasTransform&) const = default;
};

// 3D tilt of the card.
struct SceneState {
    float yaw = 0;   // radians, about the vertical axis
    float pitch = 0; // radians, about the horizontal axis
    bool isPerspective = false;
    bool operator==(const SceneState&) const = default;
};

namespace CanvasLimits {
inline constexpr double minZoom = 0.25;
inline constexpr double maxZoom = 4.0;
inline constexpr double zoomStep = 1.25;
inline constexpr double fitMargin = 0.85;
inline constexpr double paddedFitMargin = 0.97;
inline constexpr double preciseScrollBase = 1.005;
inline constexpr double lineScrollBase = 1.05;
inline constexpr double dragZoomRate = 0.005;
inline constexpr double rotationRate = 3.14159265358979323846 / 600;
inline constexpr float yawLimit = 1.3089968f;
inline constexpr float pitchLimit = 1.0471975f;
inline constexpr float snapBackThreshold = 0.025f;
inline constexpr float tiltThreshold = 0.001f;
} // namespace CanvasLimits

} // namespace pelorin
