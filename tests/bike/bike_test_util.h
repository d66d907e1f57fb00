// Helpers for the bike tests: ODE initialised once for the program, a
// physics world and private data directories per test, and small terrains
// made in memory.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "bike/bike.h"
#include "data/data.h"
#include "support/test_dirs.h"
#include "terrain/terrain.h"

namespace biketest {

// A height field of 2^n cells a side with heights from `height(x, z)` and
// one surface type (index 0) that the test may change.
inline void make_terrain(int n, float spacing, const std::function<double(double, double)>& height) {
    gr::terrain_free();
    gr::Terrain& t = gr::terrain;
    gr::terrain_allocate(&t, n, spacing);
    size_t D = size_t(t.dim);
    for (size_t r = 0; r < D; r++)
        for (size_t c = 0; c < D; c++) t.heights[r * D + c] = float(height(double(c) * spacing, double(r) * spacing));
    t.surface_count = 1;
}

inline void flat_terrain(int n = 6, float spacing = 2, double h = 0) {
    make_terrain(n, spacing, [h](double, double) { return h; });
}

// Sets surface 0's friction curve from (speed, friction) pairs.
inline void set_friction(const std::vector<std::pair<float, float>>& points) {
    gr::SurfaceType& s = gr::terrain.surfaces[0];
    for (int i = 0; i < gr::CURVE_POINTS; i++) s.friction_key[i] = 0, s.friction_value[i] = 0;
    for (size_t i = 0; i < points.size(); i++) s.friction_key[i] = points[i].first, s.friction_value[i] = points[i].second;
}

// A world, private directories and an empty message list per test; bikes
// made through `make` are freed afterwards.
class BikeWorld : public ::testing::Test {
protected:
    void SetUp() override {
        dirs_ = grtest::make_test_dirs();
        gr::messages_clear();
        gr::physics_world_create();
        flat_terrain();
    }
    void TearDown() override {
        for (gr::Bike* b : bikes_) gr::free_bike(b);
        bikes_.clear();
        gr::physics_world_destroy();
        gr::terrain_free();
        gr::collision_shape_cache_clear();
        grtest::remove_test_dirs(dirs_);
    }
    gr::Bike* make(const char* model = "crf450(2016)") {
        gr::Bike* b = gr::build_bike(model, 1, "7", nullptr, nullptr, nullptr, nullptr);
        bikes_.push_back(b);
        return b;
    }
    // The seat springs belong to the rider model; these tests hold the rider
    // body rigidly on the frame instead.
    void hold_rider(gr::Bike* b) {
        dJointID j = dJointCreateFixed(gr::physics.world, nullptr);
        dJointAttach(j, b->rider, b->frame);
        dJointSetFixed(j);
    }
    // Places the bike so that both tyres just touch ground of height h,
    // with its frame above (x, z).
    void place(gr::Bike* b, double x, double z, double h) {
        const gr::BikeModel& m = b->model;
        double lift = h - (m.front_wheel_pos[1] - m.front_ring_radius - m.front_tube_radius);
        gr::move_bike(b, x - m.frame_pos[0], lift, z - m.frame_pos[2]);
    }
    // One tick as the race runs it: ground contacts, the step, then the
    // forces for the next step.
    void tick(gr::Bike* b) {
        gr::collide_bike_with_ground(b);
        gr::physics_world_step();
        gr::fork_force(b);
        gr::shock_torque(b);
        gr::drivetrain_step(b, tick_++);
    }
    double speed(const gr::Bike* b) { return frame_speed(b); }
public:
    void tick_once(gr::Bike* b) { tick(b); }
    double frame_speed(const gr::Bike* b) {
        const dReal* v = dBodyGetLinearVel(b->frame);
        return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
protected:
    grtest::TestDirs dirs_;
    std::vector<gr::Bike*> bikes_;
    int tick_ = 1;
};

}  // namespace biketest
