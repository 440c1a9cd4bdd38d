#include "render/MatrixMath.h"

#include <gtest/gtest.h>

#include <QVector4D>

namespace pelorin {
namespace {

void expectNear(const QVector3D& actual, const QVector3D& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-5f);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-5f);
    EXPECT_NEAR(actual.z(), expected.z(), 1e-5f);
}

QVector3D project(const QMatrix4x4& m, const QVector3D& p)
{
    const QVector4D clip = m * QVector4D(p, 1);
    return clip.toVector3D() / clip.w();
}

// Rotations, the camera and the sides of the projections show in every rendered card (the
// scene's tests); the depth range shows only near the clipping planes, so it is checked here.
TEST(MatrixMath, ProjectionsMapTheVisibleDepthRangeToZeroOne)
{
    const float nearZ = 0.5f, farZ = 50;
    const QMatrix4x4 perspective = MatrixMath::makePerspective(45, 1.6f, nearZ, farZ);
    const QMatrix4x4 orthographic = MatrixMath::makeOrthographic(8, 5, nearZ, farZ);
    struct Case { const char* name; QMatrix4x4 matrix; QVector3D input; QVector3D expected; } cases[] = {
        {"perspective near plane", perspective, {0, 0, -nearZ}, {0, 0, 0}},
        {"perspective far plane", perspective, {0, 0, -farZ}, {0, 0, 1}},
        // Depth is hyperbolic in distance: far / (far − near) × (1 − near / distance).
        {"perspective between", perspective, {0, 0, -10}, {0, 0, farZ / (farZ - nearZ) * (1 - nearZ / 10)}},
        {"orthographic near corner", orthographic, {4, 2.5f, -nearZ}, {1, 1, 0}},
        {"orthographic far corner", orthographic, {-4, -2.5f, -farZ}, {-1, -1, 1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        expectNear(project(k.matrix, k.input), k.expected);
    }
}

} // namespace
} // namespace pelorin
