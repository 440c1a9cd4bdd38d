#include "render/MatrixMath.h"

#include <gtest/gtest.h>

#include <QVector4D>

#include <cmath>

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

TEST(MatrixMath, RotationsFollowTheRightHandRule)
{
    const float t = 0.7f;
    const float c = std::cos(t), s = std::sin(t);
    struct Case {
        const char* name;
        QMatrix4x4 rotation;
        QVector3D input;
        QVector3D expected;
    } cases[] = {
        {"Ry turns x", MatrixMath::makeRotationY(t), {1, 0, 0}, {c, 0, -s}},
        {"Ry turns z", MatrixMath::makeRotationY(t), {0, 0, 1}, {s, 0, c}},
        {"Ry keeps y", MatrixMath::makeRotationY(t), {0, 1, 0}, {0, 1, 0}},
        {"Rx turns y", MatrixMath::makeRotationX(t), {0, 1, 0}, {0, c, s}},
        {"Rx turns z", MatrixMath::makeRotationX(t), {0, 0, 1}, {0, -s, c}},
        {"Rx keeps x", MatrixMath::makeRotationX(t), {1, 0, 0}, {1, 0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        expectNear(k.rotation.map(k.input), k.expected);
    }
}

TEST(MatrixMath, ProjectionsMapTheVisibleDepthRangeToZeroOne)
{
    const float nearZ = 0.5f, farZ = 50, aspect = 1.6f;
    const float halfHeightAtTen = 10 * std::tan(22.5f * 3.14159265f / 180);
    const QMatrix4x4 perspective = MatrixMath::makePerspective(45, aspect, nearZ, farZ);
    const QMatrix4x4 orthographic = MatrixMath::makeOrthographic(8, 5, nearZ, farZ);
    // Depth is hyperbolic in distance: far / (far − near) × (1 − near / distance).
    const float depthAtTen = farZ / (farZ - nearZ) * (1 - nearZ / 10);
    struct Case {
        const char* name;
        QMatrix4x4 matrix;
        QVector3D input;
        QVector3D expected;
    } cases[] = {
        {"perspective near plane", perspective, {0, 0, -nearZ}, {0, 0, 0}},
        {"perspective far plane", perspective, {0, 0, -farZ}, {0, 0, 1}},
        {"perspective top edge of the field of view", perspective, {0, halfHeightAtTen, -10},
         {0, 1, depthAtTen}},
        {"perspective right edge", perspective, {halfHeightAtTen * aspect, 0, -10},
         {1, 0, depthAtTen}},
        {"orthographic near corner", orthographic, {4, 2.5f, -nearZ}, {1, 1, 0}},
        {"orthographic far corner", orthographic, {-4, -2.5f, -farZ}, {-1, -1, 1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        expectNear(project(k.matrix, k.input), k.expected);
    }
}

TEST(MatrixMath, LookAtPutsTheEyeAtTheOriginLookingDownMinusZ)
{
    const QMatrix4x4 view = MatrixMath::makeLookAt({0, 0, 7}, {0, 0, 0}, {0, 1, 0});
    expectNear(view.map(QVector3D(0, 0, 0)), {0, 0, -7});
    expectNear(view.map(QVector3D(1, 2, 0)), {1, 2, -7});

    const QMatrix4x4 side = MatrixMath::makeLookAt({5, 0, 0}, {0, 0, 0}, {0, 1, 0});
    expectNear(side.map(QVector3D(0, 0, 0)), {0, 0, -5});
    expectNear(side.map(QVector3D(0, 0, -1)), {1, 0, -5}); // −z of the world is to the right
}

} // namespace
} // namespace pelorin
