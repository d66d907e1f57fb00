// Timing gates: the "timing_gates" file (starting-gate slots, gates, lap
// plan), the crossing test that counts a rider through gates and laps, and
// the finish rule.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

TrackGates track_gates;
RaceTiming race_timing;
void (*racing_lines_reset)(int segments) = nullptr;
void (*racing_line_gate_passed)(int slot, int gate_index) = nullptr;

namespace {

const char* const default_gate_names[3] = {"@startgate.jm", "@startgate.ppm", "@startgate.shp"};

bool has_plan() { return track_gates.first > 0 && track_gates.normal > 0; }

// Reads the starting-gate slots, one per line, until "checkpoints:" (true),
// a line with fewer than four numbers or the slot limit (false).
bool read_start_slots(DataFile* f) {
    char line[4096];
    while (file_gets(f, line, sizeof line)) {
        char first[64] = "";
        if (sscanf(line, " %63s", first) != 1) continue;  // blank line
        if (!strcmp(first, "checkpoints:")) return true;
        if (track_gates.start_slots.size() >= START_SLOTS_MAX) return false;
        StartSlot s;
        int used = 0;
        if (sscanf(line, " [ %f %f %f ] %f %n", &s.position[0], &s.position[1], &s.position[2], &s.angle, &used) < 4)
            return false;
        char names[3][1024];
        for (int i = 0; i < 3; i++) snprintf(names[i], sizeof names[i], "%s", default_gate_names[i]);
        sscanf(line + used, "%1023s %1023s %1023s", names[0], names[1], names[2]);
        s.angle = std::remainder(s.angle, float(2 * M_PI));
        s.model = names[0];
        s.texture = names[1];
        s.shape = names[2];
        // The piece stands 3 feet in front of the slot at the slot's height
        // (positions are world positions; statues take a height above ground).
        float a = s.angle;
        float px = s.position[0] - 3 * std::sin(a), pz = s.position[2] - 3 * std::cos(a);
        s.statue = statue_add(px, s.position[1] - terrain_height_at(px, pz), pz, a, names[0], names[1], names[2]);
        track_gates.start_slots.push_back(s);
    }
    return false;
}

void read_lap_entries(DataFile* f, std::vector<int>* out) {
    int v;
    while (out->size() < LAP_ENTRIES_MAX && file_scanf(f, "%d", &v) == 1) out->push_back(v);
}

bool read_gates_and_plan(DataFile* f) {
    TrackGates& tg = track_gates;
    for (;;) {
        if (tg.gates.size() >= GATE_MAX) break;
        TimingGate g;
        if (file_scanf(f, "%f [ %f %f %f ] [ %f %f %f ]", &g.radius, &g.point[0], &g.point[1], &g.point[2],
                       &g.direction[0], &g.direction[1], &g.direction[2]) != 7)
            break;
        tg.gates.push_back(g);
    }
    char word[1024];
    std::vector<int> first, normal;
    if (file_scanf(f, " %1023s", word) != 1 || strcmp(word, "firstlap:")) return false;
    read_lap_entries(f, &first);
    if (file_scanf(f, " %1023s", word) != 1 || strcmp(word, "normallap:")) return false;
    read_lap_entries(f, &normal);

    int gates = int(tg.gates.size());
    if (gates == 0) return false;
    tg.sequence.clear();
    auto add = [&](int v, int* real) {
        if (v < 0) v = 0;
        int flag = v >= GATE_FLAG ? GATE_FLAG : 0;
        v = flag + std::min(v % GATE_FLAG, gates - 1);
        if (v < GATE_FLAG) (*real)++;
        tg.sequence.push_back(v);
    };
    tg.first_real = tg.normal_real = 0;
    for (int v : first) add(v, &tg.first_real);
    for (int v : normal) add(v, &tg.normal_real);
    tg.first = int(first.size());
    tg.normal = int(normal.size());
    return tg.first > 0 && tg.normal > 0 && tg.first_real > 0 && tg.normal_real > 0;
}

void discard_timing() {
    TrackGates& tg = track_gates;
    tg.gates.clear();
    tg.sequence.clear();
    tg.first = tg.normal = tg.first_real = tg.normal_real = 0;
}

}  // namespace

void gates_load(const char* track_path) {
    TrackGates& tg = track_gates;
    tg = TrackGates{};
    std::string name = std::string(track_path) + "/timing_gates";
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;
    char word[1024];
    bool ok = file_scanf(f, " %1023s", word) == 1 && !strcmp(word, "startinggate:");
    if (ok) {
        // The rest of the "startinggate:" line is not a slot.
        char rest[4096];
        file_gets(f, rest, sizeof rest);
        ok = read_start_slots(f) && read_gates_and_plan(f);
    }
    file_close(f);
    if (!ok) {
        discard_timing();
        return;
    }
    if (racing_lines_reset) racing_lines_reset(tg.first_real + tg.normal_real);
    if (log_debug_level)
        log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", int(tg.gates.size()), tg.first,
                   tg.normal);
}

bool gates_save(const char* track_path) {
    const TrackGates& tg = track_gates;
    std::string name = std::string(track_path) + "/timing_gates";
    DataFile* f = file_replace_open(name.c_str());
    if (!f) return false;
    if (!tg.start_slots.empty()) {
        file_printf(f, "startinggate:\n");
        for (const StartSlot& s : tg.start_slots) {
            file_printf(f, "[%f %f %f]", s.position[0], s.position[1], s.position[2]);
            file_printf(f, " %f", s.angle);
            if (s.model == default_gate_names[0] && s.texture == default_gate_names[1] && s.shape == default_gate_names[2])
                file_printf(f, "\n");
            else
                file_printf(f, " %s %s %s\n", s.model.c_str(), s.texture.c_str(), s.shape.c_str());
        }
    }
    if (!tg.gates.empty()) {
        file_printf(f, "checkpoints:\n");
        for (const TimingGate& g : tg.gates) {
            file_printf(f, "%f ", g.radius);
            file_printf(f, "[%f %f %f]", g.point[0], g.point[1], g.point[2]);
            file_printf(f, " ");
            file_printf(f, "[%f %f %f]\n", g.direction[0], g.direction[1], g.direction[2]);
        }
    }
    if (tg.first > 0) {
        file_printf(f, "firstlap:\n");
        for (int i = 0; i < tg.first; i++) file_printf(f, "%d ", tg.sequence[size_t(i)]);
        file_printf(f, "\n");
    }
    if (tg.normal > 0) {
        file_printf(f, "normallap:\n");
        for (int i = 0; i < tg.normal; i++) file_printf(f, "%d ", tg.sequence[size_t(tg.first + i)]);
        file_printf(f, "\n");
    }
    return file_replace_commit(f, name.c_str());
}

int gate_entry(int i) {
    const TrackGates& tg = track_gates;
    if (!has_plan() || i < 0) return 0;
    int s = i < tg.first ? i : tg.first + (i - tg.first) % tg.normal;
    return tg.sequence[size_t(s)];
}

int gate_of_index(int i) { return gate_entry(i) % GATE_FLAG; }

bool gate_is_finish(int i) {
    const TrackGates& tg = track_gates;
    return has_plan() && i + 1 - tg.first >= 0 && (i + 1 - tg.first) % tg.normal == 0;
}

void timing_reset() {
    RaceTiming& rt = race_timing;
    for (TimedRider& r : rt.riders) r = TimedRider{};
    rt.standings.clear();
    rt.final_standings.clear();
    rt.penalty_lines.clear();
    rt.final_done = false;
    rt.half_lap = 1000000;
}

namespace {

int lap_of_counter(int g) {
    const TrackGates& tg = track_gates;
    if (!has_plan() || g < tg.first) return 0;
    return (g - tg.first) / tg.normal + 1;
}

// The last finish index of the race, b = F + (L - 1) N - 1 (0 when L is 0).
int final_finish_index() {
    const RaceTiming& rt = race_timing;
    if (rt.laps == 0) return 0;
    return track_gates.first + (rt.laps - 1) * track_gates.normal - 1;
}

int time_at(const RiderTiming* r, int j) {
    if (!r || j < 0 || j >= int(r->times.size())) return -1;
    return r->times[size_t(j)];
}

const RiderTiming* leader_timing() {
    const RaceTiming& rt = race_timing;
    if (rt.standings.empty()) return nullptr;
    return rt.riders[rt.standings[0].slot].timing;
}

}  // namespace

void gates_update_rider(int slot, const float p[3]) {
    RaceTiming& rt = race_timing;
    const TrackGates& tg = track_gates;
    if (slot < 0 || slot >= RIDER_SLOTS || !has_plan()) return;
    RiderTiming* r = rt.riders[slot].timing;
    if (!r || r->finished) return;

    const int g = r->gate;
    bool gap = false;
    for (int k : {-3, -2, 0, 1, 2}) {
        int j = g + k;
        if (j < 0) continue;
        if (time_at(r, j) < 0) gap = true;
        const TimingGate& gate = tg.gates[size_t(gate_of_index(j))];
        float dx = p[0] - gate.point[0], dz = p[2] - gate.point[2];
        bool inside = dx * dx + dz * dz <= gate.radius * gate.radius &&
                      dx * gate.direction[0] + dz * gate.direction[2] >= 0;
        if (!inside) {
            // No gate beyond a finish line that has not been passed counts.
            if (gate_is_finish(j) && time_at(r, j) < 0) return;
            continue;
        }
        if (k < 0 && !gap) continue;

        if (int(r->times.size()) < j + 1) r->times.resize(size_t(j) + 1, -1);
        r->times[size_t(j)] = rt.tick;
        r->gate = j + 1;
        const int ng = r->gate;
        if (ng >= tg.first && (ng - tg.first) % tg.normal == 0 && !r->finished) {
            const RiderTiming* leader = leader_timing();
            if ((leader && leader->gate > final_finish_index()) || lap_of_counter(ng) >= rt.laps) r->finished = 1;
        }
        standings_update();
        r->ground_touch = 0;
        if (gate_entry(j) < GATE_FLAG && racing_line_gate_passed) racing_line_gate_passed(slot, j);
        return;
    }
}

void rider_lap(int slot, int* lap, int* gate_in_lap) {
    const TrackGates& tg = track_gates;
    const RiderTiming* r = slot >= 0 && slot < RIDER_SLOTS ? race_timing.riders[slot].timing : nullptr;
    int g = r ? r->gate : 0;
    *lap = lap_of_counter(g);
    *gate_in_lap = !has_plan() ? 0 : g < tg.first ? g : (g - tg.first) % tg.normal;
}

double rider_lap_time(int slot, int lap) {
    const TrackGates& tg = track_gates;
    if (slot < 0 || slot >= RIDER_SLOTS || lap < 1 || !has_plan()) return 0;
    const RiderTiming* r = race_timing.riders[slot].timing;
    int end = time_at(r, tg.first - 1 + (lap - 1) * tg.normal);
    int start = lap == 1 ? race_timing.start_tick : time_at(r, tg.first - 1 + (lap - 2) * tg.normal);
    if (end < 0 || start < 0) return 0;
    return double(end - start) / 128.0;
}

bool rider_finished(int slot) {
    const TrackGates& tg = track_gates;
    if (slot < 0 || slot >= RIDER_SLOTS) return false;
    RiderTiming* r = race_timing.riders[slot].timing;
    if (!r) return false;
    if (r->finished) return true;
    const RiderTiming* leader = leader_timing();
    int b = final_finish_index();
    if (!leader || leader->gate <= b || !has_plan()) return false;
    int t = time_at(leader, b);
    if (t < 0 || r->gate < tg.first) return false;
    int last_finish = tg.first + tg.normal * ((r->gate - tg.first) / tg.normal) - 1;
    int mine = time_at(r, last_finish);
    if (mine < 0 || mine < t) return false;
    r->finished = 1;
    return true;
}

std::string race_length_text(int duration_ticks, int laps, int extra_laps) {
    char buf[64];
    if (duration_ticks <= 0) {
        snprintf(buf, sizeof buf, "%d laps", laps);
    } else {
        int minutes = int(double(duration_ticks) / 128.0 / 60.0 + 0.5);
        if (extra_laps > 0) snprintf(buf, sizeof buf, "%d minutes + %d laps", minutes, extra_laps);
        else snprintf(buf, sizeof buf, "%d minutes", minutes);
    }
    return buf;
}

}  // namespace gr
