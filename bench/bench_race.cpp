// Whole race ticks on the generated "redmesa" track with 1, 10 and 40 robot
// riders leaving the starting gate on a steady throttle: simulated seconds
// per wall second, and the share of the tick spent in the physics library's
// step, timed inside the same ticks.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <ode/ode.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "robots/robots.h"
#include "track/track.h"

namespace {

using Clock = std::chrono::steady_clock;

double step_seconds = 0;

void timed_step() {
    auto t0 = Clock::now();
    gr::physics_world_step();
    step_seconds += std::chrono::duration<double>(Clock::now() - t0).count();
}

// Opens the throttle gently and holds it, bars straight.
void steady_throttle(gr::Bike* b) {
    gr::ControlRecord c;
    c.v[gr::CONTROL_THROTTLE] = 0.6f;
    gr::apply_controls(b, c);
}

bool setup() {
    static int done = 0;
    if (done) return done > 0;
    benchsupport::use_build_data();
    dInitODE2(0);
    gr::physics_world_create();
    gr::settings_reset();
    gr::settings.erode_rate = 0;
    gr::app_lists.tracks = gr::build_track_list();
    for (size_t i = 0; i < gr::app_lists.tracks.size(); i++)
        if (gr::app_lists.tracks[i].dir == "redmesa") gr::app_lists.current_track = int(i);
    gr::robot_driver = steady_throttle;
    gr::race_physics_step = timed_step;
    done = gr::app_lists.current_track >= 0 ? 1 : -1;
    return done > 0;
}

// One iteration is one tick, from a second before the gate drops.
void BM_RaceTick(benchmark::State& state) {
    if (!setup()) {
        state.SkipWithError("no generated redmesa: build the game data first");
        return;
    }
    const int riders = int(state.range(0));
    int grid[gr::RACE_SLOTS] = {};
    for (int i = 0; i < riders; i++) grid[i] = gr::GRID_ROBOT;
    gr::race.tick = 1;
    if (!gr::race_reset(grid, false, false, 0, 1000, 2)) {
        state.SkipWithError("redmesa failed to load");
        return;
    }
    int bikes = 0;
    for (const gr::RiderSlot& s : gr::race.slots) bikes += s.bike != nullptr;
    double start[gr::RACE_SLOTS][2] = {};
    for (int i = 0; i < gr::RACE_SLOTS; i++)
        if (const gr::Bike* b = gr::race.slots[i].bike) {
            const dReal* p = dBodyGetPosition(b->frame);
            start[i][0] = p[0], start[i][1] = p[2];
        }
    gr::race.tick = gr::race.start_tick - 128;
    step_seconds = 0;
    double tick_seconds = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        gr::race_tick();
        tick_seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    // How far the bikes got (straight line), and how many lie crashed.
    double travelled = 0;
    int crashed = 0;
    for (int i = 0; i < gr::RACE_SLOTS; i++)
        if (const gr::Bike* b = gr::race.slots[i].bike) {
            const dReal* p = dBodyGetPosition(b->frame);
            travelled += std::hypot(p[0] - start[i][0], p[2] - start[i][1]);
            crashed += gr::bike_crashed(b);
        }
    const double ticks = double(state.iterations());
    state.counters["mean_distance_ft"] = bikes ? travelled / bikes : 0;
    state.counters["crashed"] = crashed;
    state.counters["bikes"] = bikes;
    state.counters["realtime_factor"] = ticks / 128 / tick_seconds;
    state.counters["physics_step_share"] = step_seconds / tick_seconds;
    state.counters["us_per_tick"] = tick_seconds / ticks * 1e6;
}
// 30 simulated seconds each: the start, the first corners, the spread.
BENCHMARK(BM_RaceTick)->Arg(1)->Arg(10)->Arg(40)->Iterations(128 * 30)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gr::app_lists.current_track >= 0) gr::race_free();
    dCloseODE();
    return 0;
}
