#include "render/MatrixMath.h"

#include <cmath>
#include <numbers>

namespace pelorin::MatrixMath {

// QMatrix4x4's sixteen-value constructor takes its values row by row, so each block below
// reads like the matrix on paper.

QMatrix4x4 makeLookAt(const QVector3D& eye, const QVector3D& center, const QVector3D& up)
{
    const QVector3D f = (center - eye).normalized();
    const QVector3D s = QVector3D::crossProduct(f, up).normalized();
    const QVector3D u = QVector3D::crossProduct(s, f);
    return QMatrix4x4(s.x(), s.y(), s.z(), -QVector3D::dotProduct(s, eye),
                      u.x(), u.y(), u.z(), -QVector3D::dotProduct(u, eye),
                      -f.x(), -f.y(), -f.z(), QVector3D::dotProduct(f, eye),
                      0, 0, 0, 1);
}

QMatrix4x4 makePerspective(float fovYDegrees, float aspect, float nearZ, float farZ)
{
    const float fovY = fovYDegrees * std::numbers::pi_v<float> / 180.0f;
    const float ys = 1.0f / std::tan(fovY * 0.5f);
    const float xs = ys / aspect;
    const float zs = farZ / (nearZ - farZ);
    return QMatrix4x4(xs, 0, 0, 0,
                      0, ys, 0, 0,
                      0, 0, zs, nearZ * zs,
                      0, 0, -1, 0);
}

QMatrix4x4 makeOrthographic(float width, float height, float nearZ, float farZ)
{
    const float zs = 1.0f / (nearZ - farZ);
    return QMatrix4x4(2.0f / width, 0, 0, 0,
                      0, 2.0f / height, 0, 0,
                      0, 0, zs, nearZ * zs,
                      0, 0, 0, 1);
}

QMatrix4x4 makeRotationY(float radians)
{
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    return QMatrix4x4(c, 0, s, 0,
                      0, 1, 0, 0,
                      -s, 0, c, 0,
                      0, 0, 0, 1);
}

QMatrix4x4 makeRotationX(float radians)
{
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    return QMatrix4x4(1, 0, 0, 0,
                      0, c, -s, 0,
                      0, s, c, 0,
                      0, 0, 0, 1);
}

} // namespace pelorin::MatrixMath
