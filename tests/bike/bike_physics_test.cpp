// The bike on hand-made ground, stepped tick by tick as a race steps it:
// resting sag, acceleration, shifting, braking, a spinning tyre's friction.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "bike_test_util.h"

namespace {

using biketest::BikeWorld;

const double X = 33, Z = 200;  // where the bikes stand (odd spacing multiples avoid cell edges)

// The fork compression x at which spring, preload and air spring carry `F`.
double fork_sag_for(const gr::Bike* b, double F) {
    double lo = 0, hi = b->model.fork_travel;
    for (int i = 0; i < 60; i++) {
        double x = 0.5 * (lo + hi);
        double f = b->fork_spring * (b->fork_preload + x) + gr::fork_air_force(b->model.fork_travel, b->fork_air_gap, x);
        (f < F ? lo : hi) = x;
    }
    return 0.5 * (lo + hi);
}

TEST_F(BikeWorld, RestsUprightAtTheSagOfItsSprings) {
    biketest::set_friction({{1, 0.1f}});  // slippery, so the tyres carry no side loads
    gr::Bike* b = make();
    hold_rider(b);
    place(b, X, Z, 0);
    gr::move_bike(b, 0, 0.5, 0);
    for (int i = 0; i < 512; i++) tick(b);

    // Loads from the masses: each wheel carries its share of the weight by
    // the centre of mass between the axles.
    const gr::BikeModel& m = b->model;
    dBodyID bodies[7] = {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
    double M = 0, mz = 0;
    for (dBodyID body : bodies) {
        dMass mass;
        dBodyGetMass(body, &mass);
        M += mass.mass;
        mz += mass.mass * dBodyGetPosition(body)[2];
    }
    double zc = mz / M;
    const dReal* pf = dBodyGetPosition(b->front_wheel);
    const dReal* pr = dBodyGetPosition(b->rear_wheel);
    double W = M * gr::GRAVITY;
    double Nf = W * (pr[2] - zc) / (pr[2] - pf[2]);
    double Nr = W - Nf;
    auto body_mass = [](dBodyID body) {
        dMass mass;
        dBodyGetMass(body, &mass);
        return mass.mass;
    };

    // Fork: what the front wheel and lower fork pass up the fork's axis.
    double axis[3] = {0, m.steering_head_pos[1] - m.lower_fork_pos[1], m.steering_head_pos[2] - m.lower_fork_pos[2]};
    double ay = axis[1] / std::hypot(axis[1], axis[2]);
    double fork_load = (Nf - (body_mass(b->front_wheel) + body_mass(b->fork_lower)) * gr::GRAVITY) * ay;
    double fork_expected = fork_sag_for(b, fork_load);
    double fork_sag = -dJointGetSliderPosition(b->fork_slider);
    EXPECT_NEAR(fork_sag, fork_expected, 0.05 * fork_expected);

    // Shock: the torque about the pivot from the rear tyre's load and the
    // swingarm's and wheel's weight, against the shock through its linkage.
    double wheel_g = body_mass(b->rear_wheel) * gr::GRAVITY, arm_g = body_mass(b->swingarm) * gr::GRAVITY;
    auto needed = [&](double a) {
        double ry = m.rear_wheel_pos[1] - m.swingarm_pivot[1], rz = m.rear_wheel_pos[2] - m.swingarm_pivot[2];
        double sy = m.swingarm_pos[1] - m.swingarm_pivot[1], sz = m.swingarm_pos[2] - m.swingarm_pivot[2];
        double wheel_arm = ry * std::sin(a) + rz * std::cos(a), arm_arm = sy * std::sin(a) + sz * std::cos(a);
        return wheel_arm * (Nr - wheel_g) - arm_arm * arm_g;
    };
    auto shock = [&](double s) {
        double y, dy;
        gr::linkage(m, s, &y, &dy);
        return b->shock_spring * (y + b->shock_preload) * dy / m.swingarm_max_angle * std::fmin(32 * s, 1.0);
    };
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; i++) {
        double s = 0.5 * (lo + hi);
        (shock(s) < needed(-s * m.swingarm_max_angle) ? lo : hi) = s;
    }
    double travel_expected = 0.5 * (lo + hi);
    double travel = -dJointGetHingeAngle(b->swingarm_pivot) / m.swingarm_max_angle;
    EXPECT_NEAR(travel, travel_expected, 0.05 * travel_expected);

    // Upright, on both wheels, at rest.
    double up[3];
    const dReal* R = dBodyGetRotation(b->frame);
    up[1] = R[5];
    EXPECT_GT(up[1], 0.99);
    EXPECT_GT(b->front_contact.depth, 0);
    EXPECT_GT(b->rear_contact.depth, 0);
    EXPECT_LT(speed(b), 0.05);
    EXPECT_FALSE(b->ground_touched);
}


// Full throttle in first gear with the clutch out: the bike accelerates and
// the engine is held below its red line by the torque curve alone.
TEST_F(BikeWorld, FullThrottleInFirstGear) {
    gr::Bike* b = make();
    hold_rider(b);
    place(b, X, Z, 0);
    for (int i = 0; i < 128; i++) tick(b);
    ASSERT_FALSE(b->flags & gr::BIKE_AUTO_SHIFT);
    gr::set_clutch_engagement(b, 1);
    gr::set_throttle(b, 1);
    double max_rpm = 0;
    for (int i = 0; i < 384; i++) {
        tick(b);
        max_rpm = std::fmax(max_rpm, gr::engine_rpm(b));
    }
    EXPECT_EQ(b->gear, 0);
    EXPECT_GT(speed(b), 20);
    EXPECT_GT(max_rpm, 0.8 * b->model.redline_rpm);
    EXPECT_LT(max_rpm, b->model.redline_rpm);
    EXPECT_GT(dBodyGetRotation(b->frame)[5], 0.9);  // still on its wheels
}


// Shifting up at speed: the clutch pulls the engine down to the rear
// wheel's speed through the new gear. Part throttle keeps the tyre hooked up.
TEST_F(BikeWorld, ShiftingUpDropsEngineSpeedByTheRatio) {
    gr::Bike* b = make();
    hold_rider(b);
    place(b, X, Z, 0);
    gr::set_clutch_engagement(b, 1);
    gr::set_throttle(b, 1);
    for (int i = 0; i < 320; i++) tick(b);
    gr::set_throttle(b, 0.3);
    for (int i = 0; i < 64; i++) tick(b);
    double rpm_before = gr::engine_rpm(b), wheel_before = dJointGetHingeAngleRate(b->rear_axle);
    ASSERT_GT(rpm_before, 8000);
    gr::shift(b, 1);
    ASSERT_EQ(b->gear, 1);
    // The engine swings about the wheel's speed for a few ticks; average
    // over the next quarter second.
    double rpm_after = 0, wheel_after = 0;
    for (int i = 0; i < 40; i++) {
        tick(b);
        if (i >= 8) rpm_after += gr::engine_rpm(b) / 32, wheel_after += dJointGetHingeAngleRate(b->rear_axle) / 32;
    }
    const float* g = b->model.gear_ratio;
    EXPECT_LT(rpm_after, 0.9 * rpm_before);
    EXPECT_NEAR((rpm_after / rpm_before) / (wheel_after / wheel_before), g[1] / g[0], 0.01);
}

// Rolling at 30 mph with the clutch pulled, both brakes on: the distance
// to a stop, and how the front tyre rolled (its rolling speed over the
// bike's speed) while the bike was faster than 15 feet per second. Below
// that a wheel stops within one tick, so anti-lock can only catch it after.
struct StopResult {
    double distance = 0;
    double min_front_roll = 1e9;
    double locked_share = 0;  // of the fast ticks, those with the front wheel stopped
    double seconds = 0;
};

StopResult brake_from_30(BikeWorld* w, gr::Bike* b, bool front_antilock) {
    const double v = 44;  // 30 mph
    const gr::BikeModel& m = b->model;
    dBodyID bodies[7] = {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
    for (dBodyID body : bodies) dBodySetLinearVel(body, 0, 0, -v);
    dBodySetAngularVel(b->front_wheel, -v / (m.front_ring_radius + m.front_tube_radius), 0, 0);
    dBodySetAngularVel(b->rear_wheel, -v / (m.rear_ring_radius + m.rear_tube_radius), 0, 0);
    gr::BikeSetup setup;
    setup.brake_torque = 500;
    setup.front_antilock = front_antilock;
    setup.rear_antilock = false;
    setup.auto_shift = false;
    gr::apply_drivetrain_setup(b, setup);
    gr::set_clutch_engagement(b, 0);
    gr::set_front_brake(b, 1);
    gr::set_rear_brake(b, 1);
    double z0 = dBodyGetPosition(b->frame)[2];
    StopResult r;
    int ticks = 0, fast = 0, locked = 0;
    for (; ticks < 8 * 128; ticks++) {
        w->tick_once(b);
        double s = w->frame_speed(b);
        if (s > 15) {
            double roll = dJointGetHingeAngleRate(b->front_axle) * (m.front_ring_radius + m.front_tube_radius) / s;
            r.min_front_roll = std::fmin(r.min_front_roll, roll);
            fast++;
            if (roll < 0.05) locked++;
        }
        if (s < 0.25) break;
    }
    r.distance = z0 - dBodyGetPosition(b->frame)[2];
    r.seconds = ticks * gr::TICK;
    r.locked_share = fast ? double(locked) / fast : 0;
    return r;
}

TEST_F(BikeWorld, BrakesStopFrom30Mph) {
    // Grip falls off as the tyre slides, as on loose dirt.
    biketest::set_friction({{2, 0.9f}, {8, 0.4f}});
    gr::Bike* locked = make();
    hold_rider(locked);
    place(locked, X, Z, 0);
    for (int i = 0; i < 128; i++) tick(locked);
    StopResult plain = brake_from_30(this, locked, false);

    gr::Bike* abs = make();
    hold_rider(abs);
    place(abs, X + 20, Z, 0);
    gr::move_bike(locked, -20, 0, 0);  // out of the way: bikes do not collide here anyway
    for (int i = 0; i < 128; i++) tick(abs);
    StopResult antilock = brake_from_30(this, abs, true);

    EXPECT_LT(plain.seconds, 6);
    EXPECT_LT(antilock.seconds, 6);
    EXPECT_GT(plain.locked_share, 0.8);  // without anti-lock the front wheel locks
    EXPECT_GT(antilock.min_front_roll, 0.1);
    EXPECT_EQ(antilock.locked_share, 0);
    EXPECT_LE(antilock.distance, plain.distance);
    EXPECT_GT(dBodyGetRotation(abs->frame)[5], 0.9);
}

// A tyre spinning in place slides at the high-slip end of the friction
// curve, and with no ground speed there is no rolling resistance.
TEST_F(BikeWorld, SpinningTyreTakesHighSlipFriction) {
    biketest::set_friction({{1, 1.2f}, {8, 1.0f}, {20, 0.5f}});
    dBodyID wheel = dBodyCreate(gr::physics.world);
    dMass mass;
    dMassSetSphereTotal(&mass, 1, 1);
    dBodySetMass(wheel, &mass);
    gr::WheelContact wc;
    wc.body = wheel;
    wc.ring_radius = 0.75;
    wc.tube_radius = 0.3333;
    dBodySetPosition(wheel, X, 0.75 + 0.3333 - 0.1, Z);
    dBodySetAngularVel(wheel, -60, 0, 0);
    ASSERT_TRUE(gr::wheel_ground_contact(gr::terrain, &wc, 1));
    EXPECT_NEAR(wc.depth, 0.1, 1e-6);
    EXPECT_NEAR(std::hypot(wc.velocity[0], wc.velocity[2]), 60 * (0.75 + 0.3333 - 0.1), 1e-6);
    const dReal* f = dBodyGetForce(wheel);
    EXPECT_EQ(f[0], 0);
    EXPECT_EQ(f[2], 0);
    gr::physics_world_step();
    const dReal* fb = wc.feedback.f1;
    ASSERT_GT(fb[1], 0);
    EXPECT_NEAR(std::hypot(fb[0], fb[2]) / fb[1], 0.5, 0.02);
    dBodyDestroy(wheel);
}

// Landing on the rider's head throws him off only above 5 feet per second,
// and never while the collision timer says he was just hit.
TEST_F(BikeWorld, HeadFirstLandingEjectsTheRider) {
    grtest::write_file(dirs_.program + "generic_rider.shp", "1\n0 0 0 1 0.5 2500 250\n");
    struct Case {
        double speed;
        double collision_timer;
        bool ejected;
    };
    const Case cases[] = {{6, 0, true}, {4, 0, false}, {6, -10, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        gr::Bike* b = make();
        ASSERT_NE(b->rider_shape, nullptr);
        const double z_axis[3] = {0, 0, 1};
        gr::rotate_bike(b, z_axis, M_PI);  // upside down: the rider is now below the frame
        const dReal* rp = dBodyGetPosition(b->rider);
        gr::move_bike(b, X - rp[0], 0.9 - rp[1], Z - rp[2]);
        b->collision_timer = c.collision_timer;
        dBodySetLinearVel(b->rider, 0, -c.speed, 0);
        EXPECT_TRUE(gr::collide_bike_with_ground(b));
        EXPECT_TRUE(b->ground_touched);
        EXPECT_EQ(gr::bike_crashed(b), c.ejected);
        EXPECT_EQ(b->crash_count, c.ejected ? 1 : 0);
        if (c.ejected) {
            EXPECT_EQ(b->crash_timer, 512);
            EXPECT_EQ(dJointGetBody(b->rider_mount, 0), nullptr);  // the mount holds nothing
        }
        dJointGroupEmpty(gr::physics.contacts);
    }
}

TEST_F(BikeWorld, ArcadeGripFallsWithLean) {
    gr::Bike* b = make();
    const double forward[3] = {0, 0, 1};
    struct Case {
        double lean;
        double grip;
    };
    const Case cases[] = {{0, 1}, {M_PI / 8, 0.8125}, {-M_PI / 4, 0.625}, {M_PI / 3, 0.625}};
    for (const Case& c : cases) {
        gr::reset_bike_pose(b);
        gr::rotate_bike(b, forward, c.lean);
        EXPECT_NEAR(gr::bike_lean(b), c.lean, 1e-9);
        b->flags2 = 0;
        EXPECT_EQ(gr::bike_ground_grip(b), 1);
        b->flags2 = gr::BIKE_ARCADE;
        EXPECT_NEAR(gr::bike_ground_grip(b), c.grip, 1e-9) << c.lean;
    }
}

// Rolling resistance opposes the ground speed, grows with tyre compression
// and fades out below 1 foot per second.
TEST_F(BikeWorld, RollingResistance) {
    dBodyID wheel = dBodyCreate(gr::physics.world);
    dMass mass;
    dMassSetSphereTotal(&mass, 1, 1);
    dBodySetMass(wheel, &mass);
    gr::WheelContact wc;
    wc.body = wheel;
    wc.ring_radius = 0.75;
    wc.tube_radius = 0.3333;
    struct Case {
        double depth, speed, force;  // default surface: 5 uncompressed, 15 fully compressed
    };
    const Case cases[] = {{0.3333 / 2, 10, 10}, {0.3333, 10, 15}, {0.5, 10, 15}, {0.3333, 0.5, 7.5}, {0.3333, 0, 0}};
    for (const Case& c : cases) {
        dBodySetForce(wheel, 0, 0, 0);
        dBodySetPosition(wheel, X, 0.75 + 0.3333 - c.depth, Z);
        dBodySetLinearVel(wheel, 0, 0, -c.speed);
        dBodySetAngularVel(wheel, -c.speed / (0.75 + 0.3333 - c.depth), 0, 0);
        ASSERT_TRUE(gr::wheel_ground_contact(gr::terrain, &wc, 1));
        EXPECT_NEAR(std::hypot(wc.velocity[0], wc.velocity[2]), 0, 1e-9);  // rolling: no slip
        const dReal* f = dBodyGetForce(wheel);
        EXPECT_NEAR(f[2], c.force, 1e-9) << c.depth << " " << c.speed;
        EXPECT_NEAR(f[0], 0, 1e-12);
        dJointGroupEmpty(gr::physics.contacts);
    }
    dBodyDestroy(wheel);
}

}  // namespace

