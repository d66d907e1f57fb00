// Engine, clutch, gearbox and brakes on a built bike, one drivetrain step at
// a time (no world step): torque table, wheelie limiter, shifting, clutch
// lever and automatic clutch, idling, automatic shifting, brakes.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "bike_test_util.h"

namespace {

using biketest::BikeWorld;

TEST(Drivetrain, SprocketRatio) {
    gr::BikeModel m = *gr::bike_model_exact("rs50yz");  // 12 / 55
    struct Case {
        double front_adj, rear_adj, ratio;
    };
    const Case cases[] = {{0, 0, 55.0 / 12}, {-2, 0, 55.0 / 10}, {-5, 2, 57.0 / 10}, {1.7, -0.5, 54.0 / 13}};
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(gr::sprocket_ratio_for(m, c.front_adj, c.rear_adj), c.ratio);
    m.front_sprocket = 4;
    m.rear_sprocket = 2;
    EXPECT_DOUBLE_EQ(gr::sprocket_ratio_for(m, -2, -2), 1.0);  // never below 3 teeth
}

TEST_F(BikeWorld, EngineTorqueTable) {
    gr::Bike* b = make();
    const gr::BikeModel& m = b->model;
    struct Case {
        double rpm, throttle, torque;
    };
    const Case cases[] = {
        {0, 0, 2}, {0, 1, 5}, {2250, 1, 0.5 * (5 + 8.648)}, {2250, 0.5, 0.5 * (0.5 * (5 + 8.648) + 0.5 * (-1 - 1))},
        {12000, 1, 0}, {30000, 1, -34}, {30000, 0, -23},
    };
    for (const Case& c : cases) {
        b->engine_speed = c.rpm / gr::RPM_PER_RAD_S;
        gr::set_throttle(b, c.throttle);
        EXPECT_NEAR(gr::engine_torque(b), c.torque, 1e-4) << c.rpm << " " << c.throttle;
    }
    (void)m;
}

// Stop wheelies ("Yes"): no drive while only the rear wheel touches, unless
// the nose is already coming down.
TEST_F(BikeWorld, WheelieLimiter) {
    gr::Bike* b = make();
    gr::BikeSetup s;
    s.stop_wheelies = 3;
    gr::apply_drivetrain_setup(b, s);
    b->engine_speed = 7000 / gr::RPM_PER_RAD_S;
    gr::set_throttle(b, 1);
    struct Case {
        double front_depth, rear_depth, pitch_rate;
        bool drive;
    };
    const Case cases[] = {{0, 0.1, 0, false}, {0, 0.1, 0.5, false}, {0, 0.1, -0.5, true},
                          {0.1, 0.1, 0, true}, {0, 0, 0, true}};
    for (const Case& c : cases) {
        b->front_contact.depth = c.front_depth;
        b->rear_contact.depth = c.rear_depth;
        dBodySetAngularVel(b->frame, c.pitch_rate, 0, 0);
        EXPECT_EQ(gr::engine_torque(b) > 0, c.drive) << c.front_depth << " " << c.rear_depth << " " << c.pitch_rate;
    }
    s.stop_wheelies = 0;
    gr::apply_drivetrain_setup(b, s);
    b->front_contact.depth = 0;
    dBodySetAngularVel(b->frame, 0, 0, 0);
    EXPECT_GT(gr::engine_torque(b), 0);
}

TEST_F(BikeWorld, ShiftLeverIsEdgeTriggered) {
    gr::Bike* b = make("crf450(2016)");  // five gears
    for (int i = 0; i < 500; i++) gr::shift(b, 1);
    EXPECT_EQ(b->gear, 1);
    gr::shift(b, 0);
    gr::shift(b, 1);
    EXPECT_EQ(b->gear, 2);
    for (int i = 0; i < 6; i++) gr::shift(b, 0), gr::shift(b, 1);
    EXPECT_EQ(b->gear, 4);  // fifth: the model has no sixth
    gr::shift(b, 2);
    EXPECT_EQ(b->gear, 4);
    gr::shift(b, -1);
    EXPECT_EQ(b->gear, 3);
    for (int i = 0; i < 8; i++) gr::shift(b, 0), gr::shift(b, -1);
    EXPECT_EQ(b->gear, 0);
    gr::eject_rider(b);
    gr::shift(b, 0);
    gr::shift(b, 1);
    EXPECT_EQ(b->gear, 0);  // ignored while crashed
    gr::set_throttle(b, 1);
    EXPECT_EQ(b->throttle, 0);

    gr::Bike* six = make("yz125");
    for (int i = 0; i < 8; i++) gr::shift(six, 0), gr::shift(six, 1);
    EXPECT_EQ(six->gear, 5);
}

TEST_F(BikeWorld, ClutchLever) {
    gr::Bike* b = make();
    gr::set_clutch_engagement(b, 1);
    gr::set_clutch_lever(b, 0.9);  // past 7/8: fully out at once
    EXPECT_EQ(b->clutch, 0);
    int ticks = 0;
    while (b->clutch < 1 && ticks < 100) gr::set_clutch_lever(b, 0), ticks++;
    EXPECT_EQ(ticks, 32);  // a quarter second to re-engage
    gr::set_clutch_engagement(b, 0);
    gr::set_clutch_lever(b, 0.5);
    EXPECT_NEAR(b->clutch, 4 * gr::TICK, 1e-6);
    gr::set_clutch_engagement(b, 1);
    gr::set_clutch_lever(b, 0.5);
    EXPECT_NEAR(b->clutch, 1 - 0.5 * 8 / 7, 1e-6);
    gr::set_clutch_engagement(b, 7);
    EXPECT_EQ(b->clutch, 1);
}

// With the lever released, the automatic clutch slips below 7000 rpm:
// closed at 5000, half at 6000, full at 7000; never under engine braking.
TEST_F(BikeWorld, AutomaticClutch) {
    gr::Bike* b = make();
    gr::set_clutch_engagement(b, 1);
    struct Case {
        double rpm, wind_up, engagement;
    };
    const Case cases[] = {{4000, 0.01, 0}, {6000, 0.01, 0.5}, {7000, 0.01, 1}, {9000, 0.01, 1}, {6000, -0.2, 1}};
    const double N = gr::drive_ratio(b);
    for (const Case& c : cases) {
        dBodySetTorque(b->rear_wheel, 0, 0, 0);
        dBodySetTorque(b->frame, 0, 0, 0);
        b->engine_speed = c.rpm / gr::RPM_PER_RAD_S;
        b->crank_angle = c.wind_up;
        gr::drivetrain_step(b, 1);
        double Tk = 7500 * c.wind_up + std::fmax(-500, std::fmin(500, c.rpm / gr::RPM_PER_RAD_S * 0.75));
        double Tt = c.engagement * c.engagement * Tk;
        EXPECT_NEAR(dBodyGetTorque(b->rear_wheel)[0], -Tt, 1e-6) << c.rpm;
        EXPECT_NEAR(dBodyGetTorque(b->frame)[0], Tt, 1e-6) << c.rpm;
        (void)N;
    }
}

TEST_F(BikeWorld, EngineIdlesWithTheClutchPulled) {
    gr::Bike* b = make();
    EXPECT_EQ(gr::engine_torque(b), 2);
    for (int i = 0; i < 512; i++) gr::drivetrain_step(b, i + 1);
    EXPECT_NEAR(gr::engine_rpm(b), 1500, 50);
}

// Automatic shifting acts four times a second, with the rear suspension
// loaded and the rear tyre gripping.
TEST_F(BikeWorld, AutomaticShifting) {
    gr::Bike* b = make();
    const gr::BikeModel& m = b->model;
    gr::BikeSetup s;
    s.auto_shift = true;
    gr::apply_drivetrain_setup(b, s);
    // Load the rear suspension a little.
    dMatrix3 R;
    dRFromAxisAndAngle(R, 1, 0, 0, -0.05);
    dBodySetRotation(b->swingarm, R);
    auto wheel_at = [&](double rpm) {
        double rate = rpm / (gr::drive_ratio(b) * gr::RPM_PER_RAD_S);
        dBodySetAngularVel(b->rear_wheel, -rate, 0, 0);
        dBodySetAngularVel(b->swingarm, 0, 0, 0);
    };
    wheel_at(m.shift_up_rpm + 500);
    gr::drivetrain_step(b, 33);
    EXPECT_EQ(b->gear, 0);  // not a shifting tick
    gr::drivetrain_step(b, 64);
    EXPECT_EQ(b->gear, 1);
    wheel_at(m.shift_up_rpm + 500);
    b->rear_contact.depth = 0.1;
    b->rear_contact.velocity[2] = 3;  // spinning the tyre: hold the gear
    gr::drivetrain_step(b, 96);
    EXPECT_EQ(b->gear, 1);
    b->rear_contact.velocity[2] = 1;
    gr::drivetrain_step(b, 128);
    EXPECT_EQ(b->gear, 2);
    wheel_at(m.shift_down_rpm - 500);
    gr::drivetrain_step(b, 160);
    EXPECT_EQ(b->gear, 1);
    // Suspension unloaded: no shifting.
    dRSetIdentity(R);
    dBodySetRotation(b->swingarm, R);
    gr::drivetrain_step(b, 192);
    EXPECT_EQ(b->gear, 1);
}

// Brakes are the axle motors; anti-lock frees a wheel that touches and
// slides, and the front-only wheelie rule frees the front brake.
TEST_F(BikeWorld, BrakesAndAntiLock) {
    gr::Bike* b = make();
    gr::set_front_brake(b, 0.5);
    gr::set_rear_brake(b, 1);
    struct Case {
        bool front_abs, rear_abs;
        int stop_wheelies;
        double front_depth, front_slip, rear_depth, rear_slip;
        double front_torque, rear_torque;
    };
    const Case cases[] = {
        {true, false, 0, 0.1, 0.5, 0.1, 5, 125, 250},  // gripping: full front; rear slides but has no anti-lock
        {true, false, 0, 0.1, 5, 0.1, 5, 0, 250},      // front slides: released
        {true, true, 0, 0.1, 5, 0.1, 5, 0, 0},
        {true, true, 0, 0, 5, 0, 5, 125, 250},         // in the air anti-lock does nothing
        {false, false, 2, 0.1, 0, 0, 0, 0, 250},       // only the front touches: front brake off
        {false, false, 2, 0.1, 0, 0.1, 0, 125, 250},
        {false, false, 0, 0.1, 0, 0, 0, 125, 250},
    };
    for (const Case& c : cases) {
        gr::BikeSetup s;
        s.front_antilock = c.front_abs;
        s.rear_antilock = c.rear_abs;
        s.stop_wheelies = c.stop_wheelies;
        gr::apply_drivetrain_setup(b, s);
        b->front_contact.depth = c.front_depth;
        b->front_contact.velocity[0] = c.front_slip;
        b->rear_contact.depth = c.rear_depth;
        b->rear_contact.velocity[0] = c.rear_slip;
        gr::drivetrain_step(b, 1);
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(dJointGetHingeParam(b->front_axle, dParamFMax), c.front_torque);
        EXPECT_EQ(dJointGetHingeParam(b->front_axle, dParamVel), 0);
        EXPECT_EQ(dJointGetHingeParam(b->rear_axle, dParamFMax), c.rear_torque);
    }
    gr::BikeSetup s;
    s.brake_torque = 900;
    s.rear_brake_torque = -5;
    s.auto_clutch_rpm = 9000;
    gr::apply_drivetrain_setup(b, s);
    EXPECT_EQ(b->front_brake_torque, 500);
    EXPECT_EQ(b->rear_brake_torque, 0);
    EXPECT_EQ(b->auto_clutch_rpm, 5000);
}

}  // namespace
