// Standings: riders ordered by gates passed and time, the half-distance lap,
// the laps of a timed race, and the final standings with cut-track penalties.
#include <algorithm>
#include <cstdio>
#include <string>

#include "data/data.h"
#include "track/track.h"

namespace gr {

namespace {

const int TICKS_PER_SECOND = 128;

int time_at(const RiderTiming* r, int j) {
    if (!r || j < 0 || j >= int(r->times.size())) return -1;
    return r->times[size_t(j)];
}

std::vector<Standing> build_entries() {
    std::vector<Standing> out;
    for (int slot = 0; slot < RIDER_SLOTS; slot++) {
        const RiderTiming* r = race_timing.riders[slot].timing;
        if (!r) continue;
        Standing s;
        s.slot = slot;
        s.gate = r->gate;
        s.time = r->gate > 0 ? std::max(time_at(r, r->gate - 1), 0) : 0;
        out.push_back(s);
    }
    return out;
}

void sort_entries(std::vector<Standing>& v) {
    std::sort(v.begin(), v.end(), [](const Standing& a, const Standing& b) {
        if (a.gate != b.gate) return a.gate > b.gate;
        if (a.time != b.time) return a.time < b.time;
        return a.slot < b.slot;
    });
}

int lap_of_counter(int g) {
    const TrackGates& tg = track_gates;
    if (tg.normal <= 0 || g < tg.first) return 0;
    return (g - tg.first) / tg.normal + 1;
}

int finish_index(int lap) { return track_gates.first - 1 + (lap - 1) * track_gates.normal; }

// Every gate index in [a, b] has a time (a below 0 stands for the start).
bool passed_all(const RiderTiming* r, int a, int b) {
    for (int j = std::max(a, 0); j <= b; j++)
        if (time_at(r, j) < 0) return false;
    return true;
}

int penalty_for(const RiderTiming* r) {
    int penalty = 0;
    int run = 0;
    for (int j = 0; j < int(r->times.size()); j++) {
        if (r->times[size_t(j)] < 0) {
            run++;
            continue;
        }
        if (run > 0) {
            int before = j - run - 1;
            double expected = segment_time_average(before, j) + TICKS_PER_SECOND;
            int from = before < 0 ? 0 : time_at(r, before);
            double took = double(r->times[size_t(j)] - from);
            if (took < expected) penalty += int(expected - took);
        }
        run = 0;
    }
    return penalty;
}

void compute_final_standings() {
    RaceTiming& rt = race_timing;
    const TrackGates& tg = track_gates;
    std::vector<Standing> entries = build_entries();
    rt.penalty_lines.clear();
    for (Standing& e : entries) {
        const RiderTiming* r = rt.riders[e.slot].timing;
        e.penalty = penalty_for(r);
        int laps = lap_of_counter(e.gate);
        if (laps > 1 && e.penalty > 0) {
            int v = int(rider_lap_time(e.slot, laps) * TICKS_PER_SECOND + 0.5);
            while (v > 0 && e.penalty > v && e.gate > tg.first) {
                e.gate -= tg.normal;
                e.penalty -= v;
                e.laps_taken++;
            }
        }
        e.time += e.penalty;
    }
    sort_entries(entries);
    for (const Standing& e : entries) {
        if (e.penalty <= 0 && e.laps_taken == 0) continue;
        char line[256];
        int n = snprintf(line, sizeof line, "%3s penalized ", rt.riders[e.slot].number.c_str());
        if (e.laps_taken > 0 && n > 0 && n < int(sizeof line))
            n += snprintf(line + n, sizeof line - size_t(n), "%d %s ", e.laps_taken, e.laps_taken == 1 ? "lap" : "laps");
        if (n > 0 && n < int(sizeof line))
            snprintf(line + n, sizeof line - size_t(n), "%.2f seconds for cutting track",
                     double(e.penalty) / TICKS_PER_SECOND);
        rt.penalty_lines.push_back(line);
        msg_print(line);
    }
    rt.final_standings = entries;
    rt.final_done = true;
}

}  // namespace

double segment_time_average(int a, int b) {
    const RaceTiming& rt = race_timing;
    const TrackGates& tg = track_gates;
    double sum = 0;
    int count = 0;
    for (const Standing& s : rt.standings) {
        const RiderTiming* r = rt.riders[s.slot].timing;
        if (!r) continue;
        if (a < tg.first) {
            int ta = a < 0 ? 0 : time_at(r, a);
            int tb = time_at(r, b);
            if (ta < 0 || tb < 0 || !passed_all(r, a, b)) continue;
            sum += tb - ta;
            count++;
        } else if (tg.normal > 0) {
            int a1 = tg.first + (a - tg.first) % tg.normal;
            int b1 = b - a + a1;
            double mine = 0;
            int laps = 0;
            for (int k = 0; b1 + k * tg.normal < int(r->times.size()); k++) {
                int aa = a1 + k * tg.normal, bb = b1 + k * tg.normal;
                if (!passed_all(r, aa, bb)) continue;
                mine += time_at(r, bb) - time_at(r, aa);
                laps++;
            }
            if (!laps) continue;
            sum += mine / laps;
            count++;
        }
    }
    return count ? sum / count : 60.0 * TICKS_PER_SECOND;
}

void standings_update() {
    RaceTiming& rt = race_timing;
    if (rt.final_done) return;
    rt.standings = build_entries();
    sort_entries(rt.standings);
    if (rt.standings.empty()) return;
    const RiderTiming* leader = rt.riders[rt.standings[0].slot].timing;
    int leader_lap = lap_of_counter(leader->gate);

    if (rt.half_lap == 1000000 && rt.tick >= rt.start_tick + rt.duration / 2) rt.half_lap = leader_lap + 1;

    if (rt.duration > 0 && rt.tick >= rt.start_tick + rt.duration && track_gates.normal > 0) {
        int deadline = rt.start_tick + rt.duration;
        for (int l = std::max(1, std::min(leader_lap - 1, rt.laps));; l++) {
            int earliest = -1;
            for (const Standing& s : rt.standings) {
                int t = time_at(rt.riders[s.slot].timing, finish_index(l));
                if (t >= 0 && (earliest < 0 || t < earliest)) earliest = t;
            }
            if (earliest < 0) break;
            if (earliest >= deadline) {
                rt.laps = std::min(rt.laps, l + rt.extra_laps);
                break;
            }
            rt.laps = std::max(rt.laps, l + rt.extra_laps + 1);
        }
    }

    bool all_done = true;
    for (const Standing& s : rt.standings) {
        const TimedRider& tr = rt.riders[s.slot];
        if (!tr.left && !rider_finished(s.slot)) all_done = false;
    }
    if (all_done) {
        compute_final_standings();
        results_publish();
    }
}

}  // namespace gr
