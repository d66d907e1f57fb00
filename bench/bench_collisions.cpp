// The collision pass: every pair of 40 bikes, packed at a start or spread
// out, and one bike among 512 fence statues, once
// through the statue bins and once against every statue as the baseline.
// Bikes carry the standard shapes from the generated game data.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <ode/ode.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "bike/bike.h"
#include "data/data.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace {

void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    benchsupport::use_build_data();
    dInitODE2(0);
    gr::physics_world_create();
    benchsupport::flat_field(9, 4);
}

gr::Bike* bike_at(int slot, double x, double z) {
    gr::Bike* b = gr::build_bike("crf450(2016)", slot, "1", nullptr, nullptr, nullptr, nullptr);
    const gr::BikeModel& m = b->model;
    double lift = -(m.front_wheel_pos[1] - m.front_ring_radius - m.front_tube_radius);
    gr::move_bike(b, x - m.frame_pos[0], lift, z - m.frame_pos[2]);
    return b;
}

// 40 bikes in rows of 8, the argument tenths of a foot apart side by side,
// rows 7 feet apart or as far as that: at 25 (a start, handlebars
// overlapping) many touch, at 200 (spread over the track) none do.
void BM_BikePairs(benchmark::State& state) {
    setup();
    std::vector<gr::Bike*> bikes;
    double side = double(state.range(0)) / 10;
    double rows = std::max(7.0, side);
    for (int i = 0; i < 40; i++) bikes.push_back(bike_at(i, 1800 + side * (i % 8), 2000 + rows * (i / 8)));
    if (!bikes[0]->frame_shape) state.SkipWithError("no standard shapes: run from the build directory");
    long touching = 0;
    for (auto _ : state) {
        gr::race_timing.tick++;
        std::vector<gr::Bike*>& list = bikes;
        for (size_t i = 0; i < list.size(); i++)
            for (size_t j = i + 1; j < list.size(); j++) touching += gr::collide_bikes(list[i], list[j], false) != 0;
        dJointGroupEmpty(gr::physics.contacts);
    }
    state.counters["touching_pairs"] = benchmark::Counter(double(touching) / double(state.iterations()));
    state.counters["pairs_per_s"] = benchmark::Counter(double(state.iterations()) * 780, benchmark::Counter::kIsRate);
    for (gr::Bike* b : bikes) gr::free_bike(b);
}
BENCHMARK(BM_BikePairs)->Arg(25)->Arg(200)->Unit(benchmark::kMicrosecond);

// A fence of eight spheres along x, radius 1, bounding radius 8.
const char* const FENCE = "@fence.shp";

void make_fences() {
    gr::scenery_free();
    gr::CollisionShape proto;
    gr::ShapeSphere spheres[8];
    for (int k = 0; k < 8; k++) spheres[k] = {{-7 + 2.0 * k, 1, 0}, 1, 0.5, 25000, 2500, {0, 0, 0}};
    proto.count = 8;
    proto.spheres = spheres;
    proto.bounding_radius = 8;
    // 512 fences in rows 64 feet apart along the middle of the field.
    for (int i = 0; i < 512; i++) {
        gr::Statue s;
        s.shape = gr::collision_shape_copy(&proto);
        s.x = float(600 + 40 * (i % 64));
        s.z = float(600 + 64 * (i / 64));
        gr::scenery.statues.push_back(s);
    }
    gr::statue_bins_build();
}

// The bike rides along a row of fences, brushing one every 40 feet.
void scenery_run(benchmark::State& state, bool binned) {
    setup();
    make_fences();
    gr::Bike* b = bike_at(0, 600, 600 + 64 * 3 + 1.5);
    long touched = 0;
    double x = 600;
    for (auto _ : state) {
        gr::move_bike(b, 0.25, 0, 0);
        x += 0.25;
        if (x > 600 + 40 * 63) {
            gr::move_bike(b, 600 - x, 0, 0);
            x = 600;
        }
        if (binned) {
            gr::collide_bike_with_scenery(b);
        } else {
            for (gr::Statue& s : gr::scenery.statues) {
                dVector3 pos;
                dMatrix3 rot;
                gr::statue_collision_pose(s, pos, rot);
                touched += gr::collide_bike_with_statue(b, s.shape, nullptr, pos, rot) != 0;
            }
        }
        dJointGroupEmpty(gr::physics.contacts);
    }
    benchmark::DoNotOptimize(touched);
    gr::free_bike(b);
    gr::scenery_free();
}

void BM_SceneryBinned(benchmark::State& state) { scenery_run(state, true); }
void BM_SceneryEveryStatue(benchmark::State& state) { scenery_run(state, false); }
BENCHMARK(BM_SceneryBinned)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneryEveryStatue)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
