// Riding with the default setup and its assists on flat ground: rolling
// straight, turning both ways, full throttle from rest, walking pace, and a
// bike knocked over standing back up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "bike/bike.h"
#include "rider_test_util.h"

namespace {

using biketest::RideWorld;

const double MPH = 22.0 / 15.0;

gr::BikeSetup setup_with_arcade(bool arcade) {
    gr::BikeSetup s;
    s.arcade = arcade;
    return s;
}

class Riding : public RideWorld, public ::testing::WithParamInterface<bool> {};

// 30 mph with no input: the bike stays up and keeps its line for 10 seconds.
TEST_P(Riding, RollsStraightWithoutInput) {
    gr::Bike* b = make_ridden(setup_with_arcade(GetParam()));
    roll(b, 30 * MPH);
    gr::ControlRecord c;
    double h0 = heading(b), worst = 0;
    for (int i = 0; i < 1280; i++) {
        ride(b, c, 1);
        worst = std::fmax(worst, std::fabs(gr::bike_lean(b)));
        ASSERT_FALSE(gr::bike_crashed(b)) << "tick " << i;
    }
    EXPECT_LT(worst, 0.2);
    EXPECT_GT(up_y(b), 0.97);
    EXPECT_LT(std::fabs(heading(b) - h0), 0.3);
}

// Holding left turns left, holding right turns right, and the bike stays up
// for the two seconds of the turn.
TEST_P(Riding, TurnsTheWayItIsSteered) {
    for (double dir : {1.0, -1.0}) {
        gr::Bike* b = make_ridden(setup_with_arcade(GetParam()), 1024 + 300 * dir, 1024);
        roll(b, 20 * MPH);
        gr::ControlRecord c;
        c.v[gr::CONTROL_STEERING] = float(dir);
        c.v[gr::CONTROL_THROTTLE] = 0.3f;
        double h0 = heading(b), h = h0, turned = 0;
        for (int i = 0; i < 256; i++) {
            ride(b, c, 1);
            double hn = heading(b);
            turned += std::remainder(hn - h, 2 * M_PI);
            h = hn;
            ASSERT_FALSE(gr::bike_crashed(b)) << "dir " << dir << " tick " << i;
        }
        EXPECT_GT(turned * dir, 0.5) << "dir " << dir;
        EXPECT_GT(gr::bike_lean(b) * dir, 0.05) << "leans into the turn, dir " << dir;
        EXPECT_GT(up_y(b), 0.5) << "dir " << dir;
    }
}

// Full throttle from rest reaches 40 mph within 10 seconds without a crash.
TEST_P(Riding, FullThrottleFromRest) {
    gr::Bike* b = make_ridden(setup_with_arcade(GetParam()), 1024, 1800);
    gr::ControlRecord c;
    for (int i = 0; i < 64; i++) ride(b, c, 1);
    c.v[gr::CONTROL_THROTTLE] = 1;
    double top = 0;
    for (int i = 0; i < 1280 && top < 40 * MPH; i++) {
        ride(b, c, 1);
        top = std::fmax(top, speed(b));
        ASSERT_FALSE(gr::bike_crashed(b)) << "tick " << i;
    }
    EXPECT_GE(top, 40 * MPH);
    EXPECT_GT(up_y(b), 0.9);
}

INSTANTIATE_TEST_SUITE_P(Modes, Riding, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Arcade" : "Simulation"; });

}  // namespace
