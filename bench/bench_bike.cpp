// Per-bike cost of one simulation tick (ground collision, suspension and
// drivetrain forces, and the world step) against a bare physics world that
// holds the same bodies and joints and gets the same number of plain
// contacts each step. The ratio is the bike code's overhead over ODE.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <ode/ode.h>

#include <vector>

#include "bike/bike.h"
#include "data/data.h"
#include "terrain/terrain.h"

namespace {

void make_ground() {
    static bool made = false;
    if (made) return;
    made = true;
    benchsupport::flat_field(7, 2);
}

// A grid of bikes standing on the ground, riders held on their frames.
struct Fleet {
    dWorldID world;
    std::vector<gr::Bike*> bikes;
};

Fleet make_fleet(int count) {
    Fleet f;
    f.world = dWorldCreate();
    dWorldSetGravity(f.world, 0, -gr::GRAVITY, 0);
    dWorldID saved = gr::physics.world;
    gr::physics.world = f.world;
    for (int i = 0; i < count; i++) {
        gr::Bike* b = gr::build_bike("crf450(2016)", i, "1", nullptr, nullptr, nullptr, nullptr);
        const gr::BikeModel& m = b->model;
        double lift = -(m.front_wheel_pos[1] - m.front_ring_radius - m.front_tube_radius) + 0.05;
        gr::move_bike(b, 21 + 10 * (i % 16), lift, 21 + 12 * (i / 16));
        dJointID hold = dJointCreateFixed(f.world, nullptr);
        dJointAttach(hold, b->rider, b->frame);
        dJointSetFixed(hold);
        f.bikes.push_back(b);
    }
    gr::physics.world = saved;
    return f;
}

void free_fleet(Fleet& f) {
    dWorldID saved = gr::physics.world;
    gr::physics.world = f.world;
    for (gr::Bike* b : f.bikes) gr::free_bike(b);
    gr::physics.world = saved;
    dWorldDestroy(f.world);
}

void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    dInitODE2(0);
    gr::physics_world_create();
    make_ground();
}

void BM_BikeTick(benchmark::State& state) {
    setup();
    int count = int(state.range(0));
    Fleet f = make_fleet(count);
    dWorldID saved = gr::physics.world;
    gr::physics.world = f.world;
    int tick = 1;
    for (auto _ : state) {
        for (gr::Bike* b : f.bikes) gr::collide_bike_with_ground(b);
        dWorldQuickStep(f.world, gr::TICK);
        dJointGroupEmpty(gr::physics.contacts);
        for (gr::Bike* b : f.bikes) {
            gr::fork_force(b);
            gr::shock_torque(b);
            gr::drivetrain_step(b, tick);
        }
        tick++;
    }
    gr::physics.world = saved;
    free_fleet(f);
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["bike_us"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BikeTick)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond);

// The same bodies and joints; each wheel gets one contact straight below
// it on the plane y = 0, with no terrain search and no force updates.
void BM_BareWorld(benchmark::State& state) {
    setup();
    int count = int(state.range(0));
    Fleet f = make_fleet(count);
    dJointGroupID group = dJointGroupCreate(0);
    for (auto _ : state) {
        for (gr::Bike* b : f.bikes) {
            const gr::WheelContact* wheels[2] = {&b->front_contact, &b->rear_contact};
            for (const gr::WheelContact* wc : wheels) {
                const dReal* p = dBodyGetPosition(wc->body);
                dContact c = {};
                c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
                c.surface.mu = 1;
                c.surface.soft_erp = 0.2;
                c.surface.soft_cfm = 1e-3;
                c.geom.pos[0] = p[0], c.geom.pos[1] = 0, c.geom.pos[2] = p[2];
                c.geom.normal[1] = 1;
                c.geom.depth = wc->ring_radius + wc->tube_radius - p[1];
                dJointID j = dJointCreateContact(f.world, group, &c);
                dJointAttach(j, wc->body, nullptr);
            }
        }
        dWorldQuickStep(f.world, gr::TICK);
        dJointGroupEmpty(group);
    }
    dJointGroupDestroy(group);
    free_fleet(f);
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["bike_us"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BareWorld)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond);

// The ground collision of one bike alone (two tyre contacts).
void BM_CollideOnly(benchmark::State& state) {
    setup();
    Fleet f = make_fleet(1);
    dWorldID saved = gr::physics.world;
    gr::physics.world = f.world;
    for (int i = 0; i < 64; i++) {
        gr::collide_bike_with_ground(f.bikes[0]);
        dWorldQuickStep(f.world, gr::TICK);
        dJointGroupEmpty(gr::physics.contacts);
        gr::fork_force(f.bikes[0]);
        gr::shock_torque(f.bikes[0]);
    }
    for (auto _ : state) {
        gr::collide_bike_with_ground(f.bikes[0]);
        dJointGroupEmpty(gr::physics.contacts);
    }
    gr::physics.world = saved;
    free_fleet(f);
}
BENCHMARK(BM_CollideOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
