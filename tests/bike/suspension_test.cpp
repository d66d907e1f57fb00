// Suspension: setup formulas, the air spring, the linkage curve, damper
// bounds, the fork's fade-in near full extension, and telemetry at rest.
#include <gtest/gtest.h>

#include <cmath>

#include "app/app.h"
#include "bike/bike.h"
#include "bike_test_util.h"

namespace {

using biketest::BikeWorld;

TEST_F(BikeWorld, SetupFormulas) {
    gr::Bike* b = make("cr250(2007)");
    const gr::BikeModel& m = b->model;
    struct Case {
        double key, multiplier, offset, fraction;
    };
    const Case cases[] = {{50, 1, 0, 0.5}, {0, 0.25, -1, 0}, {100, 4, 1, 1}, {25, 0.5, -0.5, 0.25},
                          {-40, 0.25, -1, 0}, {170, 4, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        gr::BikeSetup s;
        s.fork_compression = s.fork_slow_compression = s.fork_rebound = s.fork_slow_rebound = c.key;
        s.fork_spring_rate = s.fork_preload = s.fork_oil_level = c.key;
        s.shock_compression = s.shock_slow_compression = s.shock_rebound = s.shock_slow_rebound = c.key;
        s.shock_spring_rate = s.shock_preload = c.key;
        gr::apply_suspension_setup(b, s);
        EXPECT_NEAR(b->fork_compression, c.multiplier * 60, 1e-9);
        EXPECT_NEAR(b->fork_slow_compression, c.offset * 60, 1e-9);
        EXPECT_NEAR(b->fork_rebound, c.multiplier * 30, 1e-9);
        EXPECT_NEAR(b->fork_slow_rebound, c.offset * 30, 1e-9);
        EXPECT_NEAR(b->shock_compression, c.multiplier * 800, 1e-9);
        EXPECT_NEAR(b->shock_slow_compression, c.offset * 200, 1e-9);
        EXPECT_NEAR(b->shock_rebound, c.multiplier * 600, 1e-9);
        EXPECT_NEAR(b->shock_slow_rebound, c.offset * 150, 1e-9);
        EXPECT_NEAR(b->fork_spring, 322.5 + c.fraction * 537.6, 1e-3);
        EXPECT_NEAR(b->fork_preload, c.fraction * 0.0833, 1e-6);
        EXPECT_NEAR(b->fork_air_gap, 0.4167 + c.fraction * (0.25 - 0.4167), 1e-6);
        EXPECT_NEAR(b->shock_spring, m.shock_spring_min + c.fraction * (m.shock_spring_max - m.shock_spring_min), 1e-3);
        EXPECT_NEAR(b->shock_preload, c.fraction * 0.3333, 1e-6);
    }
}

// The default setup held by the settings: multipliers 1, offsets 0, springs
// and preloads at mid range, and the drivetrain defaults.
TEST_F(BikeWorld, DefaultSettingsSetup) {
    gr::settings_reset();
    gr::BikeSetup s = gr::bike_setup_from_settings(gr::settings);
    gr::Bike* b = make("yz250f(2016)");
    const gr::BikeModel& m = b->model;
    gr::apply_suspension_setup(b, s);
    gr::apply_drivetrain_setup(b, s);
    EXPECT_DOUBLE_EQ(b->fork_compression, m.fork_damping[0]);
    EXPECT_DOUBLE_EQ(b->fork_rebound, m.fork_damping[2]);
    EXPECT_DOUBLE_EQ(b->shock_compression, m.shock_damping[0]);
    EXPECT_DOUBLE_EQ(b->shock_rebound, m.shock_damping[2]);
    EXPECT_EQ(b->fork_slow_compression, 0);
    EXPECT_EQ(b->fork_slow_rebound, 0);
    EXPECT_EQ(b->shock_slow_compression, 0);
    EXPECT_EQ(b->shock_slow_rebound, 0);
    EXPECT_NEAR(b->fork_spring, 0.5 * (m.fork_spring_min + m.fork_spring_max), 1e-9);
    EXPECT_NEAR(b->shock_spring, 0.5 * (m.shock_spring_min + m.shock_spring_max), 1e-9);
    EXPECT_NEAR(b->fork_preload, 0.5 * m.fork_preload_max, 1e-9);
    EXPECT_NEAR(b->shock_preload, 0.5 * m.shock_preload_max, 1e-9);
    EXPECT_DOUBLE_EQ(b->sprocket_ratio, 50.0 / 13);
    EXPECT_EQ(b->front_brake_torque, 250);
    EXPECT_EQ(b->flags & (gr::BIKE_AUTO_SHIFT | gr::BIKE_FRONT_ANTILOCK | gr::BIKE_REAR_ANTILOCK),
              gr::BIKE_AUTO_SHIFT | gr::BIKE_FRONT_ANTILOCK);
    EXPECT_EQ(gr::stop_wheelies_mode(b->flags), 0);
    EXPECT_TRUE(s.arcade);
    EXPECT_EQ(s.roll_damping, 80);
    EXPECT_NEAR(s.rider_mass_distribution, 0.33, 1e-9);

    gr::setting_set_choice(&gr::settings.stop_wheelies, "Front Only");
    gr::setting_set_choice(&gr::settings.rear_brake, "Antilock");
    gr::setting_set_number(&gr::settings.rear_sprocket_adjustment, 2);
    s = gr::bike_setup_from_settings(gr::settings);
    gr::apply_drivetrain_setup(b, s);
    EXPECT_EQ(gr::stop_wheelies_mode(b->flags), 2);
    EXPECT_TRUE(b->flags & gr::BIKE_REAR_ANTILOCK);
    EXPECT_DOUBLE_EQ(b->sprocket_ratio, 52.0 / 13);
    gr::settings_reset();
}

TEST(Suspension, AirSpringAtFullCompression) {
    EXPECT_NEAR(gr::fork_air_force(1, 0.25, 1), 702, 1);
    EXPECT_NEAR(gr::fork_air_force(1, 0.25, 1), 82.4616928100586 * (std::pow(5.0, 1.4) - 1), 1e-9);
    EXPECT_NEAR(gr::fork_air_force(1, 0.4167, 1), 375, 1);
    EXPECT_EQ(gr::fork_air_force(1, 0.25, 0), 0);
    EXPECT_EQ(gr::fork_air_force(1, 0.25, -0.5), 0);                            // above full extension
    EXPECT_EQ(gr::fork_air_force(1, 0.25, 2), gr::fork_air_force(1, 0.25, 1));  // past the stop
}

TEST(Suspension, LinkageCurve) {
    const gr::BikeModel& m = gr::bike_models()[0];
    double y, dy;
    gr::linkage(m, 0, &y, &dy);
    EXPECT_NEAR(y, 0, 1e-12);
    EXPECT_NEAR(dy, 0.3150, 1e-6);
    gr::linkage(m, 0.75, &y, &dy);
    EXPECT_NEAR(y, 0.2837, 1e-6);
    gr::linkage(m, 1, &y, &dy);
    EXPECT_NEAR(y, 0.4134, 1e-6);
    EXPECT_NEAR(dy, 0.6070, 1e-6);

    // Continuous, with a continuous slope, at the breakpoint; rising throughout.
    const double e = 1e-7;
    double y0, d0, y1, d1;
    gr::linkage(m, 0.75 - e, &y0, &d0);
    gr::linkage(m, 0.75 + e, &y1, &d1);
    EXPECT_NEAR(y0, y1, 1e-6);
    EXPECT_NEAR(d0, d1, 1e-5);
    EXPECT_NEAR(d0, 0.4605, 1e-5);
    double prev = -1;
    for (int i = 0; i <= 100; i++) {
        gr::linkage(m, i / 100.0, &y, &dy);
        EXPECT_GT(y, prev);
        EXPECT_GT(dy, 0);
        // The slope is the curve's derivative.
        double ya, yb, da;
        gr::linkage(m, std::fmax(0, i / 100.0 - 1e-6), &ya, &da);
        gr::linkage(m, std::fmin(1, i / 100.0 + 1e-6), &yb, &da);
        EXPECT_NEAR((yb - ya) / (std::fmin(1, i / 100.0 + 1e-6) - std::fmax(0, i / 100.0 - 1e-6)), dy, 1e-4);
        prev = y;
    }
}

TEST(Suspension, DamperForceStaysWithinItsBounds) {
    struct Case {
        double speed, slow_c, slow_r, expected;
    };
    // Coefficients 60 (compression) and 30 (rebound).
    const Case cases[] = {
        {1, 0, 0, 60},         // pure high-speed compression
        {1, 60, 0, 120},       // plus the low-speed part
        {0.01, 60, 0, 4.8},    // slow: the low-speed part is held to 8 times the high-speed one
        {1, -600, 0, 7.5},     // a negative offset cannot reverse it: at least 1/8
        {-1, 0, 30, -60},      // rebound
        {-10, 0, 3000, -2400}, // very fast rebound, huge offset: at most 8 times
        {-1, 0, -300, -3.75},  // never pushing the wrong way
        {0, 60, 30, 0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(gr::damper_force(c.speed, 60, c.slow_c, 30, c.slow_r), c.expected, 1e-9) << c.speed << " " << c.slow_c;
}

// The fork at full extension pushes nothing; 1/64 of the travel in, half
// of its spring, preload and air force.
TEST_F(BikeWorld, ForkFadesInNearFullExtension) {
    gr::Bike* b = make();
    EXPECT_EQ(gr::fork_force(b), 0);
    EXPECT_EQ(dJointGetSliderParam(b->fork_slider, dParamFMax), 0);

    dVector3 axis;
    dJointGetSliderAxis(b->fork_slider, axis);
    const dReal* p = dBodyGetPosition(b->fork_lower);
    double x = 1.0 / 64;
    dBodySetPosition(b->fork_lower, p[0] + axis[0] * x, p[1] + axis[1] * x, p[2] + axis[2] * x);
    ASSERT_NEAR(dJointGetSliderPosition(b->fork_slider), -x, 1e-12);
    double full = b->fork_spring * (b->fork_preload + x) + gr::fork_air_force(1, b->fork_air_gap, x);
    EXPECT_NEAR(gr::fork_force(b), 0.5 * full, 1e-9);
    EXPECT_EQ(dJointGetSliderParam(b->fork_slider, dParamVel), 100);
    EXPECT_NEAR(dJointGetSliderParam(b->fork_slider, dParamFMax), 0.5 * full, 1e-9);

    // The shock at full extension gives nothing either.
    EXPECT_EQ(gr::shock_torque(b), 0);

    float t[6];
    gr::suspension_telemetry(b, t);
    EXPECT_NEAR(t[0], x, 1e-6);
    EXPECT_NEAR(t[1], 0, 1e-6);
    EXPECT_NEAR(t[2], 1, 1e-6);  // at rest the low-speed part is everything
    EXPECT_NEAR(t[3], 0, 1e-6);
    EXPECT_NEAR(t[5], 1, 1e-6);
}

// A swingarm turned into its travel: the shock pushes back through the
// linkage, and the telemetry reports where it is.
TEST_F(BikeWorld, ShockTorqueFollowsTheLinkage) {
    gr::Bike* b = make();
    const gr::BikeModel& m = b->model;
    double a = -0.5 * m.swingarm_max_angle;
    dMatrix3 R;
    dRFromAxisAndAngle(R, 1, 0, 0, a);
    dBodySetRotation(b->swingarm, R);
    double rel[3] = {m.swingarm_pos[0] - m.swingarm_pivot[0], m.swingarm_pos[1] - m.swingarm_pivot[1],
                     m.swingarm_pos[2] - m.swingarm_pivot[2]};
    dVector3 w;
    dMultiply0_331(w, R, rel);
    dBodySetPosition(b->swingarm, m.swingarm_pivot[0] + w[0], m.swingarm_pivot[1] + w[1], m.swingarm_pivot[2] + w[2]);
    ASSERT_NEAR(dJointGetHingeAngle(b->swingarm_pivot), a, 1e-9);
    double y, dy;
    gr::linkage(m, 0.5, &y, &dy);
    double expected = b->shock_spring * (y + b->shock_preload) * dy / m.swingarm_max_angle;
    EXPECT_NEAR(gr::shock_torque(b), expected, 1e-6);
    EXPECT_EQ(dJointGetHingeParam(b->swingarm_pivot, dParamVel), 100);
    float t[6];
    gr::suspension_telemetry(b, t);
    EXPECT_NEAR(t[3], 0.5, 1e-6);
}

}  // namespace
