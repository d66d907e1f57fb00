// gr_race: sets up a race on a track with piloted riders on the starting
// gate, runs it headless as fast as possible, writes the results file and
// prints each rider's result.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "robots/robots.h"
#include "pilot.h"
#include "replay/replay.h"
#include "track/track.h"

using namespace gr;

namespace {

struct Options {
    std::string track = "redmesa";
    int riders = 1;
    int laps = 2;
    double minutes = 0;
    unsigned seed = 0;
    double erode = 0;
    double max_seconds = -1;
    std::string record;
    std::string play;  // a demo to play back instead of racing
    int trace = -1;  // slot whose ride is printed every half second
};

void usage(FILE* out) {
    fputs("usage: gr_race [--track NAME] [--riders N] [--laps L] [--minutes M] [--seed S] [--erode RATE]\n"
          "               [--max-seconds T] [--record FILE] [--play FILE] [--trace SLOT]\n",
          out);
}

bool number(const char* text, double* out) {
    char* end = nullptr;
    double v = strtod(text, &end);
    if (!text[0] || *end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// 0 on success, else the exit status (the message already written).
int parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            exit(0);
        }
        const char* value = nullptr;
        size_t eq = a.find('=');
        std::string name = a.substr(0, eq);
        if (eq != std::string::npos) value = argv[i] + eq + 1;
        else if (i + 1 < argc) value = argv[i + 1];
        auto take = [&]() {
            if (eq == std::string::npos) i++;
        };
        double v = 0;
        if (name == "--track" && value) {
            o->track = value;
            take();
        } else if (name == "--record" && value) {
            o->record = value;
            take();
        } else if (name == "--play" && value) {
            o->play = value;
            take();
        } else if (name == "--trace" && value) {
            o->trace = atoi(value);
            take();
        } else if ((name == "--riders" || name == "--laps" || name == "--minutes" || name == "--seed" ||
                    name == "--erode" || name == "--max-seconds") &&
                   value) {
            if (!number(value, &v) || v < 0) {
                fprintf(stderr, "gr_race: bad value '%s' for %s\n", value, name.c_str());
                return 1;
            }
            take();
            if (name == "--riders") o->riders = int(v);
            else if (name == "--laps") o->laps = int(v);
            else if (name == "--minutes") o->minutes = v;
            else if (name == "--seed") o->seed = unsigned(v);
            else if (name == "--erode") o->erode = std::fmin(v, 100);
            else o->max_seconds = v;
        } else {
            fprintf(stderr, "gr_race: unknown option '%s'\n", a.c_str());
            usage(stderr);
            return 1;
        }
    }
    if (o->riders < 1) {
        fputs("gr_race: --riders must be at least 1\n", stderr);
        return 1;
    }
    if (o->laps < 1) {
        fputs("gr_race: --laps must be at least 1\n", stderr);
        return 1;
    }
    if (!o->record.empty() && !o->play.empty()) {
        fputs("gr_race: --record and --play exclude each other\n", stderr);
        return 1;
    }
    return 0;
}

// The race, the physics world, the caches and the data index, at exit.
void shut_down() {
    race_free();
    dCloseODE();
    texture_free_stale(true);
    model_free_stale(true);
    collision_shape_cache_clear();
    data_free();
}

bool everyone_done() {
    bool any = false;
    for (int i = 0; i < RACE_SLOTS; i++) {
        if (!race.slots[i].bike) continue;
        any = true;
        if (!race.slots[i].timing.finished) return false;
    }
    return any;
}

// One line per rider in the order of the standings.
void print_results() {
    const std::vector<Standing>& order = race_timing.final_done ? race_timing.final_standings : race_timing.standings;
    for (const Standing& s : order) {
        const RiderSlot& r = race.slots[s.slot];
        if (!r.bike) continue;
        int lap, in_lap;
        rider_lap(s.slot, &lap, &in_lap);
        double best = 0;
        for (int l = 1; l <= lap; l++) {
            double t = rider_lap_time(s.slot, l);
            if (t > 0 && (best == 0 || t < best)) best = t;
        }
        double time = double(s.time - race.start_tick) / 128.0;
        if (time < 0) time = 0;
        printf("slot %d bike %s laps %d finished %d time %.3f best_lap %.3f crashes %d\n", s.slot, r.bike->model.name,
               lap, r.timing.finished ? 1 : 0, time, best, r.bike->crash_count);
    }
}

// The newest line of the message list, where the replay code explains a refusal.
const char* last_message() {
    return messages.shown > 0 ? messages.lines[(messages.next + MESSAGE_RING - 1) % MESSAGE_RING] : "";
}

// Plays a demo back with no window: the riders follow their records, the
// gates time them, and the placed frames are compared with the records.
int play_demo_file(const Options& o) {
    if (!demo_play_open(o.play.c_str())) {
        fprintf(stderr, "gr_race: can't play '%s'%s%s\n", o.play.c_str(), messages.shown ? ": " : "", last_message());
        shut_down();
        return 1;
    }
    demo_play_close();
    race.demo_name = o.play;
    int grid[RACE_SLOTS] = {};
    if (!race_reset(grid, true, false, 0, 0, 2) || !demo_player.open) {
        fprintf(stderr, "gr_race: the track of '%s' failed to load\n", o.play.c_str());
        shut_down();
        return 1;
    }
    double max_seconds = o.max_seconds >= 0 ? o.max_seconds : 3600;
    const int32_t first = race.tick;
    const int32_t last = first + int32_t(max_seconds * 128);
    double max_error = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        // Past the last record the riders would only be extrapolated.
        bool more = !demo_player.ended;
        for (int i = 0; i < RACE_SLOTS && !more; i++)
            more = race.slots[i].bike && histories[i].ticks[histories[i].head] >= race.tick;
        if (race.tick >= last || everyone_done() || !more) break;
        race_tick();
        // The bikes were placed for the tick that just ran.
        for (int i = 0; i < RACE_SLOTS; i++) {
            const RiderSlot& s = race.slots[i];
            const StateSnapshot* rec = s.bike && s.mode == BIKE_REPLAYED ? history_find(i, race.tick - 1) : nullptr;
            if (!rec || !(rec->bytes[18] & 1)) continue;
            SnapshotValues v;
            snapshot_decode(*rec, s.bike, &v);
            const dReal* p = dBodyGetPosition(s.bike->frame);
            double e = std::sqrt((p[0] - v.frame_position[0]) * (p[0] - v.frame_position[0]) +
                                 (p[1] - v.frame_position[1]) * (p[1] - v.frame_position[1]) +
                                 (p[2] - v.frame_position[2]) * (p[2] - v.frame_position[2]));
            if (e > max_error) max_error = e;
        }
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!race_timing.final_done) {
        for (int i = 0; i < RACE_SLOTS; i++)
            if (race.slots[i].bike && !race.slots[i].timing.finished) race_timing.riders[i].left = true;
        standings_update();
    }
    print_results();
    int ticks = race.tick - first;
    double sim = ticks / 128.0;
    printf("max_position_error %.4f\n", max_error);
    printf("ticks %d sim_seconds %.1f wall_seconds %.3f realtime_factor %.1f\n", ticks, sim, wall,
           wall > 0 ? sim / wall : 0.0);
    shut_down();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int status = parse(argc, argv, &o)) return status;

    settings_reset();
    settings.erode_rate = float(o.erode);
    app_lists.tracks = build_track_list();
    app_lists.current_track = -1;
    for (size_t i = 0; i < app_lists.tracks.size(); i++)
        if (app_lists.tracks[i].dir == o.track) app_lists.current_track = int(i);
    if (app_lists.current_track < 0) {
        fprintf(stderr, "gr_race: no track named '%s' in the game data\n", o.track.c_str());
        return 1;
    }

    dInitODE2(0);
    physics_world_create();
    robot_driver = pilot_drive;
    pilot_reset();
    if (!o.play.empty()) return play_demo_file(o);

    // Load the track first to know how many riders its gate holds.
    if (!track_prepare(o.track.c_str(), false, false)) {
        fprintf(stderr, "gr_race: track '%s' failed to load\n", o.track.c_str());
        shut_down();
        return 1;
    }
    int slots = int(track_gates.start_slots.size());
    if (slots > 0 && o.riders > slots) {
        fprintf(stderr, "gr_race: the starting gate of '%s' holds %d riders\n", o.track.c_str(), slots);
        shut_down();
        return 1;
    }
    if (o.riders > RACE_SLOTS) o.riders = RACE_SLOTS;
    int grid[RACE_SLOTS] = {};
    for (int i = 0; i < o.riders; i++) grid[i] = GRID_ROBOT;

    race.tick = int32_t(o.seed);  // seeds the roster order and the start tick
    int32_t limit = int32_t(o.minutes * 60 * 128);
    demo_record_path = o.record;
    if (!race_reset(grid, false, !o.record.empty(), limit, o.laps, 2)) {
        fprintf(stderr, "gr_race: track '%s' failed to load\n", o.track.c_str());
        shut_down();
        return 1;
    }

    // Every rider rides with the default setup and assists, except arcade
    // physics: an arcade bike turns far less than its lean asks for, which
    // no line through the gates survives.
    BikeSetup setup = bike_setup_from_settings(settings);
    setup.arcade = false;
    for (RiderSlot& s : race.slots)
        if (s.bike) apply_setup(s.bike, setup, 0);

    double max_seconds = o.max_seconds >= 0 ? o.max_seconds : o.laps * 300.0 + o.minutes * 60;
    const int32_t first = race.tick;
    const int32_t last = first + int32_t(max_seconds * 128);
    auto t0 = std::chrono::steady_clock::now();
    while (race.tick < last && !everyone_done()) {
        race_tick();
        const Bike* b = o.trace >= 0 && o.trace < RACE_SLOTS ? race.slots[o.trace].bike : nullptr;
        if (b && race.tick % 64 == 0) {
            const dReal* p = dBodyGetPosition(b->frame);
            const dReal* v = dBodyGetLinearVel(b->frame);
            fprintf(stderr, "t %.2f pos %.1f %.1f %.1f want %.1f speed %.1f lean %.2f steer %.2f thr %.2f gear %d rpm %.0f gate %d crash %d vy %.1f air %d%d pitch %.2f steer_angle %.3f roll_rate %.2f\n",
                    (race.tick - race.start_tick) / 128.0, p[0], p[1], p[2], pilot_wanted_speed(o.trace), std::hypot(v[0], v[2]), bike_lean(b),
                    b->steering, b->throttle, b->gear, engine_rpm(b), race.slots[o.trace].timing.gate, b->crash_timer, v[1], b->front_contact.depth > 0, b->rear_contact.depth > 0, std::asin(std::clamp(-dBodyGetRotation(b->frame)[6], -1.0, 1.0)), bike_steering_angle(b), bike_roll_rate(b));
        }
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    // Riders still out when the time ran out leave the race, so that the
    // final standings (and the results file) are made.
    if (!race_timing.final_done) {
        for (int i = 0; i < RACE_SLOTS; i++)
            if (race.slots[i].bike && !race.slots[i].timing.finished) race_timing.riders[i].left = true;
        standings_update();
    }

    print_results();
    int status = 0;
    if (!o.record.empty()) {
        // The last states, then the file is complete.
        demo_record_tick(true);
        bool open = demo_recorder.open;
        demo_record_stop();
        DataFile* f = open ? file_open(o.record.c_str(), "rb") : nullptr;
        if (!f) {
            fprintf(stderr, "gr_race: could not write the demo '%s'\n", o.record.c_str());
            status = 1;
        }
        if (f) file_close(f);
    }
    int ticks = race.tick - first;
    double sim = ticks / 128.0;
    printf("ticks %d sim_seconds %.1f wall_seconds %.3f realtime_factor %.1f\n", ticks, sim, wall,
           wall > 0 ? sim / wall : 0.0);

    shut_down();
    return status;
}
