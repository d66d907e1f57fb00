// Ruts: a bike accelerating over the same line again and again digs the
// ground there and piles it behind; with erosion off nothing changes.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "rider_test_util.h"

namespace {

using biketest::RideWorld;

class Ruts : public RideWorld {
protected:
    void SetUp() override {
        RideWorld::SetUp();
        // Height changes re-shade the ground, as on a loaded track.
        ASSERT_NE(gr::terrain.shading, nullptr);
    }
    // Three passes from the same start at full throttle; returns the
    // lowest and highest height and the summed height change of the field.
    void passes(float rate, double* low, double* high, double* sum) {
        gr::Bike* b = make();
        for (int pass = 0; pass < 3; pass++) {
            gr::reset_bike_pose(b);
            place(b, 1024, 1400, gr::terrain_height_at(1024, 1400));
            ASSERT_TRUE(gr::apply_setup(b, gr::BikeSetup{}, 0));
            gr::ControlRecord c;
            c.v[gr::CONTROL_THROTTLE] = 1;
            ride(b, c, 384, rate);
            ASSERT_FALSE(gr::bike_crashed(b));
            // Coast on, so that samples left behind are used.
            c.v[gr::CONTROL_THROTTLE] = 0;
            ride(b, c, 128, rate);
        }
        const gr::Terrain& t = gr::terrain;
        *low = 1e9, *high = -1e9, *sum = 0;
        for (int i = 0; i < t.dim * t.dim; i++) {
            *low = std::fmin(*low, t.heights[i]);
            *high = std::fmax(*high, t.heights[i]);
            *sum += t.heights[i];
        }
    }
};

TEST_F(Ruts, RepeatedPassesDigTheLineAndPileBehind) {
    double low, high, sum;
    passes(100, &low, &high, &sum);
    EXPECT_LT(low, -0.05);
    EXPECT_GT(high, 0.05);
    // Material is moved, not made: what one spot lost another gained.
    EXPECT_LT(std::fabs(sum), 0.05 * (high - low) * 50);
    // The rut runs where the bike drove (x = 1024, from z = 1400 toward -z),
    // the pile lies behind the deepest point (larger z).
    const gr::Terrain& t = gr::terrain;
    int deepest = 0, highest = 0;
    for (int i = 0; i < t.dim * t.dim; i++) {
        if (t.heights[i] < t.heights[deepest]) deepest = i;
        if (t.heights[i] > t.heights[highest]) highest = i;
    }
    double dx = (deepest % t.dim) * t.spacing, dz = (deepest / t.dim) * t.spacing;
    EXPECT_NEAR(dx, 1024, 8);
    EXPECT_LT(dz, 1400 + 8);
    EXPECT_GT(dz, 1000);
    EXPECT_NEAR((highest % t.dim) * t.spacing, 1024, 8);
}

TEST_F(Ruts, NoErosionNoChange) {
    double low, high, sum;
    int changes = gr::terrain.change_counter;
    passes(0, &low, &high, &sum);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(gr::terrain.change_counter, changes);
}

}  // namespace
