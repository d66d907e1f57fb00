// The whole per-tick cost of ridden bikes: ground contact, the world step
// and the bike update with the rider, steering and assists, for 1 and 40
// bikes rolling on flat ground. Reported as simulated seconds per wall
// second ("sim_s_per_s"), and per bike.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <ode/ode.h>

#include <vector>

#include "bike/bike.h"
#include "data/data.h"
#include "terrain/terrain.h"

namespace {

void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    dInitODE2(0);
    gr::physics_world_create();
    benchsupport::flat_field(9, 4);
}

// Bikes in a row of lanes, each set rolling at 30 mph with a light throttle.
std::vector<gr::Bike*> make_riders(int count) {
    std::vector<gr::Bike*> bikes;
    for (int i = 0; i < count; i++) {
        gr::Bike* b = gr::build_bike("crf450(2016)", i, "1", nullptr, nullptr, nullptr, nullptr);
        const gr::BikeModel& m = b->model;
        double lift = -(m.front_wheel_pos[1] - m.front_ring_radius - m.front_tube_radius);
        gr::move_bike(b, 200 + 20 * i - m.frame_pos[0], lift, 3800 - m.frame_pos[2]);
        gr::apply_setup(b, gr::BikeSetup{}, 0);
        bikes.push_back(b);
    }
    return bikes;
}

void start_rolling(gr::Bike* b, double v) {
    dBodyID bodies[7] = {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
    for (dBodyID body : bodies) dBodySetLinearVel(body, 0, 0, -v);
    dBodySetAngularVel(b->front_wheel, -v / 1.1667, 0, 0);
    dBodySetAngularVel(b->rear_wheel, -v / 1.0833, 0, 0);
    for (auto& r : b->rider_velocity_ring) r[0] = 0, r[1] = 0, r[2] = -v;
}

void BM_RiddenTick(benchmark::State& state) {
    setup();
    int count = int(state.range(0));
    std::vector<gr::Bike*> bikes = make_riders(count);
    gr::ControlRecord c;
    c.v[gr::CONTROL_THROTTLE] = 0.3f;
    int tick = 0;
    const int lap = 1024;  // ticks before the bikes are set back to the start
    for (auto _ : state) {
        if (tick % lap == 0) {
            state.PauseTiming();
            for (gr::Bike* b : bikes) {
                gr::Bike* x = b;
                double px = dBodyGetPosition(x->frame)[0];
                gr::reset_bike_pose(x);
                const gr::BikeModel& m = x->model;
                double lift = -(m.front_wheel_pos[1] - m.front_ring_radius - m.front_tube_radius);
                gr::move_bike(x, px - dBodyGetPosition(x->frame)[0], lift, 3800 - m.frame_pos[2]);
                start_rolling(x, 44);
            }
            state.ResumeTiming();
        }
        for (gr::Bike* b : bikes) gr::collide_bike_with_ground(b);
        gr::physics_world_step();
        for (gr::Bike* b : bikes) {
            gr::apply_controls(b, c);
            gr::bike_update(b, tick, 0);
        }
        tick++;
    }
    state.counters["sim_s_per_s"] = benchmark::Counter(double(state.iterations()) * gr::TICK, benchmark::Counter::kIsRate);
    state.counters["bike_s_per_s"] =
        benchmark::Counter(double(state.iterations()) * gr::TICK * count, benchmark::Counter::kIsRate);
    for (gr::Bike* b : bikes) gr::free_bike(b);
}
BENCHMARK(BM_RiddenTick)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

// The bike update alone (no contacts, no step), to see its share.
void BM_BikeUpdateOnly(benchmark::State& state) {
    setup();
    std::vector<gr::Bike*> bikes = make_riders(1);
    gr::Bike* b = bikes[0];
    start_rolling(b, 44);
    for (int i = 0; i < 64; i++) {
        gr::collide_bike_with_ground(b);
        gr::physics_world_step();
        gr::bike_update(b, i, 0);
    }
    gr::collide_bike_with_ground(b);
    int tick = 64;
    for (auto _ : state) {
        gr::bike_update(b, tick++, 0);
        // Forces and one-step joints would pile up without a step.
        dBodySetForce(b->frame, 0, 0, 0);
        state.PauseTiming();
        dJointGroupEmpty(gr::physics.contacts);
        state.ResumeTiming();
    }
    gr::free_bike(b);
}
BENCHMARK(BM_BikeUpdateOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
