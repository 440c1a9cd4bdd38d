#pragma once

#include <QMatrix4x4>
#include <QVector3D>

// Camera and rotation matrices of the card scene. Every projection here is right-handed
// (x right, y up, the camera looking down −z) and maps the visible depth range to 0 … 1:
// the near plane to 0 and the far plane to 1.
namespace pelorin::MatrixMath {

QMatrix4x4 makeLookAt(const QVector3D& eye, const QVector3D& center, const QVector3D& up);

// Vertical field of view in degrees; `aspect` is width ÷ height.
QMatrix4x4 makePerspective(float fovYDegrees, float aspect, float nearZ, float farZ);

// A box of `width` × `height` centred on the view axis.
QMatrix4x4 makeOrthographic(float width, float height, float nearZ, float farZ);

// Maps (1, 0, 0) to (cos θ, 0, −sin θ) and (0, 0, 1) to (sin θ, 0, cos θ).
QMatrix4x4 makeRotationY(float radians);
// Maps (0, 1, 0) to (0, cos θ, sin θ) and (0, 0, 1) to (0, −sin θ, cos θ).
QMatrix4x4 makeRotationX(float radians);

} // namespace pelorin::MatrixMath
