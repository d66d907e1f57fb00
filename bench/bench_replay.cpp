// Demo playback speed: a 40-rider race on "redmesa" is recorded once, then
// played back headless; the counter is simulated seconds per wall second.
// Run from the build directory, where the generated game data lives.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "replay/replay.h"
#include "robots/robots.h"

using namespace gr;

namespace {

void throttle(Bike* b) {
    ControlRecord c;
    c.v[CONTROL_THROTTLE] = race.tick > race.start_tick ? 0.6f : 0.0f;
    apply_controls(b, c);
}

const int32_t RECORDED_TICKS = 20 * 128;

// Records the demo once; returns its path, empty when the set-up failed.
std::string forty_rider_demo() {
    static std::string path;
    if (!path.empty()) return path;
    char dir[] = "/tmp/gr_bench_replay_XXXXXX";
    if (!mkdtemp(dir)) return "";
    setenv("XDG_DATA_HOME", dir, 1);
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) setenv("GR_HOME", cwd, 1);
    data_free();
    dInitODE2(0);
    settings_reset();
    app_lists.tracks = build_track_list();
    for (size_t i = 0; i < app_lists.tracks.size(); i++)
        if (app_lists.tracks[i].dir == "redmesa") app_lists.current_track = int(i);
    if (app_lists.current_track < 0) return "";
    physics_world_create();
    robot_driver = throttle;
    int grid[RACE_SLOTS] = {};
    for (int i = 0; i < 40; i++) grid[i] = GRID_ROBOT;
    demo_record_path = std::string(dir) + "/forty.grdemo";
    if (!race_reset(grid, false, true, 0, 1, 2)) return "";
    const int32_t end = race.tick + RECORDED_TICKS;
    while (race.tick < end) race_tick();
    demo_record_tick(true);
    demo_record_stop();
    demo_record_path.clear();
    path = std::string(dir) + "/forty.grdemo";
    return path;
}

void BM_PlayFortyRiders(benchmark::State& state) {
    const std::string demo = forty_rider_demo();
    if (demo.empty()) {
        state.SkipWithError("no redmesa track data in the working directory");
        return;
    }
    int64_t ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        race.demo_name = demo;
        int grid[RACE_SLOTS] = {};
        bool ok = race_reset(grid, true, false, 0, 0, 2) && demo_player.open;
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the demo did not play");
            return;
        }
        const int32_t end = race.tick + RECORDED_TICKS;
        while (race.tick < end) race_tick();
        ticks += RECORDED_TICKS;
    }
    state.counters["sim_seconds_per_second"] =
        benchmark::Counter(double(ticks) / 128.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayFortyRiders)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
