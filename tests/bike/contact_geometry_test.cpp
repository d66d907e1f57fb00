// Curve interpolation, contact softness, and torus and sphere penetration
// into hand-made ground: flat, sloped, a sharp ridge, and beyond the edge.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "bike_test_util.h"

namespace {

TEST(SurfaceCurves, FrictionInterpolatesInSquaredSpeed) {
    gr::SurfaceType s;
    for (int i = 0; i < gr::CURVE_POINTS; i++) s.friction_key[i] = 0, s.friction_value[i] = 0;
    const float keys[3] = {2, 6, 10}, values[3] = {1.2f, 1.0f, 0.6f};
    for (int i = 0; i < 3; i++) s.friction_key[i] = keys[i], s.friction_value[i] = values[i];
    struct Case {
        double slip, mu;
    };
    const Case cases[] = {
        {0, 1.2}, {2, 1.2}, {4, 1.2 - 0.2 * 12.0 / 32.0}, {6, 1.0}, {8, 1.0 - 0.4 * 28.0 / 64.0}, {10, 0.6}, {500, 0.6},
    };
    for (const Case& c : cases) EXPECT_NEAR(gr::surface_friction(s, c.slip), c.mu, 1e-6) << c.slip;

    // A full curve without an end marker keeps its last value.
    for (int i = 0; i < gr::CURVE_POINTS; i++) s.friction_key[i] = float(i + 1), s.friction_value[i] = float(10 - i);
    EXPECT_NEAR(gr::surface_friction(s, 100), 3, 1e-6);
    // The default surface: one point.
    EXPECT_EQ(gr::surface_friction(gr::SurfaceType{}, 0), 1);
    EXPECT_EQ(gr::surface_friction(gr::SurfaceType{}, 40), 1);
}

TEST(SurfaceCurves, RollingResistanceInterpolatesInSpeed) {
    gr::SurfaceType s;
    for (int i = 0; i < gr::CURVE_POINTS; i++) s.roll_key[i] = 0;
    s.roll_key[0] = 2, s.roll_key[1] = 10;
    s.roll_resist[0][0] = 4, s.roll_resist[0][1] = 12;
    s.roll_resist[1][0] = 8, s.roll_resist[1][1] = 20;
    struct Case {
        double speed, r0, r1;
    };
    const Case cases[] = {{0, 4, 12}, {6, 6, 16}, {10, 8, 20}, {40, 8, 20}};
    for (const Case& c : cases) {
        double r[2];
        gr::surface_rolling_resistance(s, c.speed, r);
        EXPECT_NEAR(r[0], c.r0, 1e-9) << c.speed;
        EXPECT_NEAR(r[1], c.r1, 1e-9) << c.speed;
    }
}

TEST(ContactSoftness, TyreStiffnessAndSpringDamperMapping) {
    struct Case {
        double depth, K, D;
    };
    const double tube = 0.3333;
    const Case cases[] = {{0, 1000, 200}, {tube / 2, 4000, 487.5}, {tube, 25000, 2500}, {3 * tube, 25000, 2500}};
    for (const Case& c : cases) {
        double K, D;
        gr::tyre_stiffness(c.depth, tube, &K, &D);
        EXPECT_NEAR(K, c.K, 1e-6) << c.depth;
        EXPECT_NEAR(D, c.D, 1e-6) << c.depth;
    }
    gr::ContactSoftness s = gr::contact_softness(25000, 2500);
    double hk = 25000.0 / 128;
    EXPECT_NEAR(s.erp, hk / (hk + 2500), 1e-12);
    EXPECT_NEAR(s.cfm, 1 / (hk + 2500), 1e-12);
}

class GroundShapes : public ::testing::Test {
protected:
    void TearDown() override { gr::terrain_free(); }
    const double ring = 0.8333, tube = 0.3333;
    const double x_axle[3] = {1, 0, 0};
};

TEST_F(GroundShapes, UprightAndLeaningTyreOnFlatGround) {
    biketest::make_terrain(5, 2, [](double, double) { return 3.0; });
    // Cell interiors of both diagonal directions, a cell edge, a vertex,
    // and points off the field (clamped to the edge heights).
    const double spots[][2] = {{11.3, 21.7}, {13.1, 21.7}, {12, 21.3}, {12, 20}, {-30, 50}, {200, 300}};
    for (auto& p : spots) {
        SCOPED_TRACE(testing::Message() << p[0] << "," << p[1]);
        double centre[3] = {p[0], 3 + ring + tube - 0.125, p[1]};
        double point[3], normal[3], depth;
        ASSERT_TRUE(gr::tyre_ground_penetration(gr::terrain, centre, x_axle, ring, tube, point, normal, &depth));
        EXPECT_NEAR(depth, 0.125, 1e-9);
        EXPECT_NEAR(normal[1], 1, 1e-9);
        EXPECT_NEAR(point[0], p[0], 1e-9);
        EXPECT_NEAR(point[1], 3, 1e-9);
        EXPECT_NEAR(point[2], p[1], 1e-9);
    }
    // Leaning 30 degrees: the core circle's lowest point is ring * cos 30 below the centre.
    double a = M_PI / 6, axle[3] = {std::cos(a), std::sin(a), 0};
    double centre[3] = {11.3, 3.5, 21.7};
    double point[3], normal[3], depth;
    ASSERT_TRUE(gr::tyre_ground_penetration(gr::terrain, centre, axle, ring, tube, point, normal, &depth));
    EXPECT_NEAR(depth, tube - (0.5 - ring * std::cos(a)), 1e-9);
    EXPECT_NEAR(point[0], 11.3 + ring * std::sin(a), 1e-9);
    // Clear of the ground: no contact.
    centre[1] = 3 + ring + tube + 0.01;
    EXPECT_FALSE(gr::tyre_ground_penetration(gr::terrain, centre, x_axle, ring, tube, point, normal, &depth));
    EXPECT_EQ(depth, 0);
}

TEST_F(GroundShapes, TyreAndSphereOnASlope) {
    const double k = 0.25;
    biketest::make_terrain(5, 2, [k](double, double z) { return k * z; });
    const double len = std::sqrt(1 + k * k);
    const double z_axle[3] = {0, 0, 1};
    for (double z : {21.3, 22.9, 24.0}) {
        SCOPED_TRACE(z);
        double centre[3] = {13.7, k * z + 1.0, z};
        double d0 = (centre[1] - k * z) / len;  // centre's distance from the plane
        double point[3], normal[3], depth;
        // Rolling up the slope: the circle lies across the plane's tilt.
        ASSERT_TRUE(gr::tyre_ground_penetration(gr::terrain, centre, x_axle, ring, tube, point, normal, &depth));
        EXPECT_NEAR(depth, tube - (d0 - ring), 1e-9);
        EXPECT_NEAR(normal[1], 1 / len, 1e-9);
        EXPECT_NEAR(normal[2], -k / len, 1e-9);
        // Riding across the slope: the lowest circle point is straight down.
        ASSERT_TRUE(gr::tyre_ground_penetration(gr::terrain, centre, z_axle, ring, tube, point, normal, &depth));
        EXPECT_NEAR(depth, tube - (centre[1] - ring - k * z) / len, 1e-9);
        // A sphere.
        ASSERT_TRUE(gr::sphere_ground_penetration(gr::terrain, centre, 1.25, point, normal, &depth));
        EXPECT_NEAR(depth, 1.25 - d0, 1e-9);
        EXPECT_NEAR(k * point[2], point[1], 1e-9);  // on the ground
    }
}

// A roof-shaped ridge along a grid row: the nearest ground is the crest
// line itself, found through the triangles' edges.
TEST_F(GroundShapes, TyreAndSphereOnARidge) {
    const double crest = 32;
    biketest::make_terrain(5, 2, [crest](double, double z) { return 2 - 0.5 * std::fabs(z - crest); });
    double centre[3] = {13.7, 2 + ring + tube - 0.1, crest};
    double point[3], normal[3], depth;
    ASSERT_TRUE(gr::tyre_ground_penetration(gr::terrain, centre, x_axle, ring, tube, point, normal, &depth));
    EXPECT_NEAR(depth, 0.1, 1e-6);
    EXPECT_NEAR(point[1], 2, 1e-6);
    EXPECT_NEAR(point[2], crest, 1e-4);
    EXPECT_NEAR(normal[1], 1, 1e-6);

    centre[1] = 2 + 0.9;
    ASSERT_TRUE(gr::sphere_ground_penetration(gr::terrain, centre, 1.0, point, normal, &depth));
    EXPECT_NEAR(depth, 0.1, 1e-9);
    EXPECT_NEAR(normal[1], 1, 1e-9);
}

TEST(TriangleContacts, SphereBesideATriangleTouchesItsEdge) {
    const double a[3] = {0, 0, 0}, b[3] = {2, 0, 0}, c[3] = {0, 0, 2};
    // Beyond the edge from b to c, level with the triangle.
    const double centre[3] = {1.5, 0, 1.5};
    double point[3], normal[3], depth;
    ASSERT_TRUE(gr::sphere_triangle_penetration(a, b, c, centre, 1, point, normal, &depth));
    EXPECT_NEAR(depth, 1 - std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(point[0], 1, 1e-12);
    EXPECT_NEAR(point[2], 1, 1e-12);
    EXPECT_NEAR(normal[0], std::sqrt(0.5), 1e-12);
    // Far away: negative depth, no contact.
    const double far[3] = {9, 0, 9};
    EXPECT_FALSE(gr::sphere_triangle_penetration(a, b, c, far, 1, point, normal, &depth));
}

}  // namespace
