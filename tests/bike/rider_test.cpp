// The rider on a real bike: setup refusal, mass distribution, where the seat
// springs hold the rider, ejection on landing, the hit rider who cannot be
// thrown, the return after a crash, walking pace, standing up after a fall.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "rider_test_util.h"
#include "track/track.h"

namespace {

using biketest::RideWorld;

int message_count_since(int before) { return (gr::messages.next - before + gr::MESSAGE_RING) % gr::MESSAGE_RING; }

const char* last_message() { return gr::messages.lines[(gr::messages.next - 1 + gr::MESSAGE_RING) % gr::MESSAGE_RING]; }

double body_mass(dBodyID b) {
    dMass m;
    dBodyGetMass(b, &m);
    return m.mass;
}

// The rider body's offset from the seat point in the frame's axes (positive
// y: below the seat, positive z: in front of it).
void seat_offset(const gr::Bike* b, double* dy, double* dz) {
    double seat[3];
    gr::rider_seat_point(b, seat);
    const dReal* p = dBodyGetPosition(b->rider);
    const dReal* R = dBodyGetRotation(b->frame);
    double d[3] = {seat[0] - p[0], seat[1] - p[1], seat[2] - p[2]};
    *dy = d[0] * R[1] + d[1] * R[5] + d[2] * R[9];
    *dz = d[0] * R[2] + d[1] * R[6] + d[2] * R[10];
}

TEST_F(RideWorld, SetupWhileMovingIsRefusedAndSaysSoOnTheSecondTry) {
    gr::Bike* b = make_ridden(gr::BikeSetup{});
    roll(b, 10);
    gr::BikeSetup s;
    s.roll_damping = 10;
    int before = gr::messages.next;
    struct Try {
        double now;
        int messages;  // shown so far
    };
    // The first refusal after a quiet spell is silent; one within 10 seconds
    // of the last refusal speaks; every refusal restarts the spell.
    const Try tries[] = {{100, 0}, {105, 1}, {114.9, 2}, {130, 2}, {139, 3}};
    for (const Try& t : tries) {
        EXPECT_FALSE(gr::apply_setup(b, s, t.now)) << t.now;
        EXPECT_EQ(message_count_since(before), t.messages) << t.now;
    }
    EXPECT_STREQ(last_message(), "Settings not applied.  Mechanic can't keep up error.");
    EXPECT_NE(b->roll_damping, 10);
    roll(b, 0);
    EXPECT_TRUE(gr::apply_setup(b, s, 140));
    EXPECT_EQ(b->roll_damping, 10);
}

TEST_F(RideWorld, MassDistributionSplitsTheRider) {
    gr::Bike* b = make();
    const double total = gr::bike_total_mass(b);
    const struct {
        double setting, share;
    } cases[] = {{0.5, 0.5}, {0.33, 0.33}, {0.1, 0.33}, {0.9, 0.5}};
    for (const auto& c : cases) {
        gr::BikeSetup s;
        s.rider_mass_distribution = c.setting;
        ASSERT_TRUE(gr::apply_setup(b, s, 0));
        EXPECT_NEAR(body_mass(b->rider), c.share * b->model.rider_mass, 1e-9) << c.setting;
        EXPECT_NEAR(body_mass(b->frame), b->model.frame_mass + (1 - c.share) * b->model.rider_mass, 1e-6)
            << c.setting;
        EXPECT_NEAR(body_mass(b->rider) + body_mass(b->frame), b->model.frame_mass + b->model.rider_mass, 1e-6);
    }
    EXPECT_NEAR(gr::bike_total_mass(b), total, 1e-9);
}

// With the frame held still, the seat springs settle the rider 1/8 foot below
// the seat point standing and 3/8 lower seated; leaning fully back puts him
// 3/4 foot behind it.
TEST_F(RideWorld, SeatSpringsHoldTheRiderWhereTheInputsSay) {
    gr::BikeSetup s;
    s.auto_dab = false;  // the dab would sit the rider down
    gr::Bike* b = make_ridden(s);
    gr::move_bike(b, 0, 1, 0);
    dJointID hold = dJointCreateFixed(gr::physics.world, nullptr);
    dJointAttach(hold, b->frame, nullptr);
    dJointSetFixed(hold);
    auto settle = [&](float sit, float lean, double* dy, double* dz) {
        gr::ControlRecord c;
        c.v[gr::CONTROL_SIT_DAB] = sit;
        c.v[gr::CONTROL_LEAN] = lean;
        ride(b, c, 384);
        seat_offset(b, dy, dz);
    };
    double stand_y, stand_z, sit_y, sit_z, back_y, back_z;
    settle(0, 0, &stand_y, &stand_z);
    settle(1, 0, &sit_y, &sit_z);
    settle(0, 1, &back_y, &back_z);
    EXPECT_NEAR(stand_y, 0.125, 0.03);
    EXPECT_NEAR(sit_y - stand_y, 0.375, 0.03);
    EXPECT_NEAR(back_z, -0.75, 0.05);
    EXPECT_NEAR(stand_z, 0.5 * stand_y, 0.05);  // the forward target follows the vertical offset
    EXPECT_FALSE(gr::bike_crashed(b));
    dJointDestroy(hold);
}

// After a second in the air the rider is thrown by a relative speed above
// 31 feet per second in the first eighth of a second after touchdown; a
// second later only above 46.5.
TEST_F(RideWorld, LandingToleranceAfterAJump) {
    const int takeoff = 1000, landing = takeoff + 128;
    const struct {
        int since_landing;
        double rel_speed;
        bool thrown;
    } cases[] = {
        {8, 29, false}, {8, 33, true}, {16, 33, true}, {128 + 16, 33, false}, {128 + 16, 45, false},
        {128 + 16, 48, true},
    };
    for (const auto& c : cases) {
        gr::Bike* b = make_ridden(gr::BikeSetup{});
        for (int i = 0; i < 64; i++) ride(b);
        ASSERT_FALSE(gr::bike_crashed(b));
        b->takeoff_tick = takeoff;
        b->landing_tick = landing;
        int now = landing + c.since_landing;
        EXPECT_NEAR(gr::crash_tolerance(b, now), c.since_landing <= 16 ? 1.0 : 1.5, 1e-9);
        // The rider moves sideways against a still frame, steadily.
        dBodySetLinearVel(b->rider, c.rel_speed, 0, 0);
        for (auto& v : b->rider_velocity_ring) v[0] = c.rel_speed, v[1] = v[2] = 0;
        gr::bike_update(b, now, 0);
        EXPECT_EQ(gr::bike_crashed(b), c.thrown) << c.since_landing << " ticks, " << c.rel_speed << " ft/s";
        if (c.thrown) {
            EXPECT_EQ(b->crash_count, 1);
            EXPECT_EQ(b->crash_timer, 511);  // 512, less this first tick at rest
            EXPECT_EQ(dJointGetBody(b->rider_mount, 0), nullptr);
        }
    }
}

// A rider marked as hit cannot be thrown until the timer is back at 0.
TEST_F(RideWorld, HitRiderStaysOnUntilTheTimerRunsOut) {
    gr::Bike* b = make_ridden(gr::BikeSetup{});
    for (int i = 0; i < 64; i++) ride(b);
    b->collision_timer = -100.5;
    int t = 5000, thrown_after = -1;
    for (int i = 0; i < 200 && thrown_after < 0; i++) {
        dBodySetLinearVel(b->rider, 60, 0, 0);
        for (auto& v : b->rider_velocity_ring) v[0] = 60, v[1] = v[2] = 0;
        gr::bike_update(b, t++, 0);
        if (gr::bike_crashed(b)) thrown_after = i;
        EXPECT_LE(b->collision_timer, 0);
    }
    EXPECT_EQ(thrown_after, 100);
}

// With no knockout delay the rider is back on the bike four seconds after it
// has come to rest, on the seat, and rides on.
TEST_F(RideWorld, CrashedRiderReturnsFourSecondsAfterTheBikeStops) {
    gr::Bike* b = make_ridden(gr::BikeSetup{});
    for (int i = 0; i < 64; i++) ride(b);
    gr::eject_rider(b);
    ASSERT_TRUE(gr::bike_crashed(b));
    int resting = 0, ticks = 0;
    while (gr::bike_crashed(b) && ticks < 2000) {
        if (frame_speed(b) < 2) resting++;
        ride(b);
        ticks++;
        for (const gr::BikeFoot& f : b->feet) ASSERT_TRUE(std::isfinite(f.position[1]));
    }
    ASSERT_FALSE(gr::bike_crashed(b));
    EXPECT_NEAR(resting, 512, 2);
    EXPECT_EQ(dJointGetBody(b->rider_mount, 0), b->rider);
    double dy, dz;
    seat_offset(b, &dy, &dz);
    EXPECT_LT(std::hypot(dy, dz), 0.01);
    EXPECT_EQ(b->crash_count, 1);
    for (int i = 0; i < 256; i++) ride(b);
    EXPECT_FALSE(gr::bike_crashed(b));
}

// Rolling at walking pace with no input, the rider puts a foot down, the
// bike is held still and stays up.
TEST_F(RideWorld, WalkingPaceDabsAndStaysUp) {
    for (bool arcade : {false, true}) {
        gr::BikeSetup s;
        s.arcade = arcade;
        gr::Bike* b = make_ridden(s, arcade ? 700 : 1300, 1024);
        roll(b, 4);
        dBodySetAngularVel(b->frame, 0, 0, 0.1);  // a little wobble to catch
        float extension = 0;
        gr::ControlRecord c;
        for (int i = 0; i < 640; i++) {
            ride(b, c, 1);
            extension = std::fmax(extension, b->foot_extension);
            ASSERT_FALSE(gr::bike_crashed(b));
        }
        EXPECT_GT(extension, 0.5f) << arcade;
        EXPECT_GT(up_y(b), 0.95) << arcade;
        EXPECT_LT(speed(b), 0.5) << arcade;
    }
}

// A bike knocked onto its side at a standstill is stood up again, facing
// along the course.
TEST_F(RideWorld, KnockedOverBikeStandsBackUp) {
    gr::track_gates = gr::TrackGates{};
    gr::TimingGate g;
    g.point[0] = 1024, g.point[2] = 900;
    g.direction[0] = 0, g.direction[2] = -1;  // the course runs toward -z, as the bike faces
    gr::track_gates.gates.push_back(g);
    gr::track_gates.sequence = {0};
    gr::track_gates.first = gr::track_gates.normal = 1;
    gr::track_gates.first_real = gr::track_gates.normal_real = 1;
    int n = 0;
    for (double knock : {1.35, -1.35, 0.8, -0.8}) {
        double x = 700 + 150 * n++, z = 1024;
        gr::Bike* b = make_ridden(gr::BikeSetup{}, x, z);
        // Tipped over about the line where the tyres meet the ground.
        static const double roll_axis[3] = {0, 0, 1};
        gr::move_bike(b, -x, 0, -z);
        gr::rotate_bike(b, roll_axis, knock);
        gr::move_bike(b, x, 0.3, z);
        int up_again = -1;
        for (int i = 0; i < 640 && up_again < 0; i++) {
            ride(b);
            if (std::fabs(gr::bike_lean(b)) < 0.1 && frame_speed(b) < 1) up_again = i;
        }
        EXPECT_GT(up_again, 0) << "knock " << knock << ", lean " << gr::bike_lean(b);
        EXPECT_LT(up_again, 512) << knock;
        EXPECT_FALSE(gr::bike_crashed(b)) << knock;
    }

    gr::track_gates = gr::TrackGates{};
}

}  // namespace
