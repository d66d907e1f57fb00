// Helpers for riding a bike with its rider and assists: the whole tick as a
// race runs it, a rolling start, and the heading and lean of the frame.
#pragma once

#include <cmath>

#include "bike/bike.h"
#include "bike_test_util.h"

namespace biketest {

class RideWorld : public BikeWorld {
protected:
    void SetUp() override {
        BikeWorld::SetUp();
        flat_terrain(8, 4);  // 2048 feet a side
    }
    // A bike with the given setup, standing on its wheels at (x, z).
    gr::Bike* make_ridden(const gr::BikeSetup& setup, double x = 1024, double z = 1024) {
        gr::Bike* b = make();
        place(b, x, z, 0);
        EXPECT_TRUE(gr::apply_setup(b, setup, 0));
        return b;
    }
    // Every body moving at `speed` along the frame's forward axis, wheels
    // rolling.
    void roll(gr::Bike* b, double speed) {
        double f[3];
        const dReal* R = dBodyGetRotation(b->frame);
        f[0] = -R[2], f[1] = -R[6], f[2] = -R[10];
        dBodyID bodies[7] = {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
        for (dBodyID body : bodies) dBodySetLinearVel(body, speed * f[0], speed * f[1], speed * f[2]);
        double rf = b->model.front_ring_radius + b->model.front_tube_radius;
        double rr = b->model.rear_ring_radius + b->model.rear_tube_radius;
        dVector3 ax;
        dBodyVectorToWorld(b->frame, 1, 0, 0, ax);
        dBodySetAngularVel(b->front_wheel, -speed / rf * ax[0], -speed / rf * ax[1], -speed / rf * ax[2]);
        dBodySetAngularVel(b->rear_wheel, -speed / rr * ax[0], -speed / rr * ax[1], -speed / rr * ax[2]);
        for (auto& v : b->rider_velocity_ring)
            for (int i = 0; i < 3; i++) v[i] = speed * f[i];
    }
    // One race tick for one bike: ground, step, ruts, then the update.
    void ride(gr::Bike* b, float erode_rate = 0) {
        gr::collide_bike_with_ground(b);
        gr::physics_world_step();
        gr::erosion_process(b, erode_rate);
        gr::bike_update(b, tick_, 0);
        tick_++;
    }
    void ride(gr::Bike* b, const gr::ControlRecord& c, int ticks, float erode_rate = 0) {
        for (int i = 0; i < ticks; i++) {
            gr::apply_controls(b, c);
            ride(b, erode_rate);
        }
    }
    // Heading of the frame's forward axis, radians about +y (0 = -z,
    // growing to the left).
    static double heading(const gr::Bike* b) {
        const dReal* R = dBodyGetRotation(b->frame);
        return std::atan2(R[2], R[10]);
    }
    static double up_y(const gr::Bike* b) { return dBodyGetRotation(b->frame)[5]; }
};

}  // namespace biketest
