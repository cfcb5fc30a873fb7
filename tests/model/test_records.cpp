#include <gtest/gtest.h>

#include <cmath>

#include "model/oripoly.h"
#include "support/test_support.h"

TEST(Vec, NormalizeTreatsZeroDifferentlyIn2DAnd3D) {
    Vec2 a(0, 0);
    a.normalize();
    EXPECT_EQ(a.x, 1.0);
    EXPECT_EQ(a.y, 0.0);
    Vec2 tiny(0, 1e-100);
    tiny.normalize();
    EXPECT_EQ(tiny.x, 0.0);
    EXPECT_EQ(tiny.y, 1.0);

    Vec3 z(0, 0, 0);
    z.normalize();
    EXPECT_EQ(z.x, 0.0);
    EXPECT_EQ(z.y, 0.0);
    EXPECT_EQ(z.z, 0.0);
    Vec3 b(3, 0, 4);
    b.normalize();
    EXPECT_DOUBLE_EQ(b.x, 0.6);
    EXPECT_DOUBLE_EQ(b.z, 0.8);
}

TEST(Vec, RotationsAndCross) {
    Vec2 a(1, 0);
    a.rotate(M_PI / 2);
    EXPECT_NEAR(a.x, 0.0, 1e-15);
    EXPECT_NEAR(a.y, 1.0, 1e-15);
    Vec2 b(1, 0);
    b.rotateBy(Vec2(0, 1));
    EXPECT_EQ(b.x, 0.0);
    EXPECT_EQ(b.y, 1.0);
    Vec2 c(2, 1);
    c.rotateBy(Vec2(std::cos(0.3), std::sin(0.3)));
    Vec2 d(2, 1);
    d.rotate(0.3);
    EXPECT_NEAR(c.x, d.x, 1e-15);
    EXPECT_NEAR(c.y, d.y, 1e-15);
    Vec3 z = cross(Vec3(1, 0, 0), Vec3(0, 1, 0));
    EXPECT_EQ(z.x, 0.0);
    EXPECT_EQ(z.y, 0.0);
    EXPECT_EQ(z.z, 1.0);
}
