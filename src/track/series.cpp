// Points series: the ".series" files, their standings files, recording a
// finished race as an event, round positions and the starting grid.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "track/track.h"

namespace gr {

SeriesState series_state;

namespace {

enum { SERIES_RIDERS_MAX = 159, SERIES_EVENTS_MAX = 1000, POINTS_ENTRIES = 40 };

// A double-quoted string of up to 1023 characters, or one word.
bool read_name(DataFile* f, std::string* out) {
    if (file_scanf(f, " ") < 0 && file_peekc(f) < 0) return false;
    int c = file_peekc(f);
    if (c < 0) return false;
    out->clear();
    if (c == '"') {
        file_getc(f);
        while ((c = file_getc(f)) >= 0 && c != '"') {
            if (out->size() >= 1023) return false;
            *out += char(c);
        }
        return c == '"';
    }
    char word[1024];
    if (file_scanf(f, "%1023s", word) != 1) return false;
    *out = word;
    return true;
}

bool read_int(DataFile* f, int* v) { return file_scanf(f, "%d", v) == 1; }

int points_at(const int table[POINTS_ENTRIES], int position) {
    // Unclassified riders sit at position R, which may lie past the table.
    return position >= 0 && position < POINTS_ENTRIES ? table[position] : 0;
}

}  // namespace

bool series_parse(const char* path, const std::vector<std::string>& track_names, PointsSeries* out) {
    DataFile* f = file_open(path, "rb");
    if (!f) return false;
    PointsSeries s;
    s.path = path;
    std::string base = path[0] == '@' ? path + 1 : path;
    s.standings_path = "@" + base + "_standings";
    bool ok = false;
    do {
        if (!read_name(f, &s.title)) break;
        int riders;
        char skill[1024];
        if (file_scanf(f, "%d %1023s", &riders, skill) != 2 || riders < 0 || riders > SERIES_RIDERS_MAX) break;
        s.robot_skill = !strcmp(skill, "Novice") ? 0 : !strcmp(skill, "Amateur") ? 1 : 2;
        bool good = true;
        for (int i = 0; i < riders && good; i++) {
            int n;
            good = read_int(f, &n);
            s.rider_numbers.push_back(n);
        }
        int events;
        if (!good || !read_int(f, &events) || events < 0 || events > SERIES_EVENTS_MAX) break;
        for (int e = 0; e < events && good; e++) {
            SeriesEvent ev;
            good = read_name(f, &ev.title) && read_name(f, &ev.track_name);
            if (!good) break;
            auto it = std::find(track_names.begin(), track_names.end(), ev.track_name);
            if (it == track_names.end()) {
                good = false;
                break;
            }
            ev.track = int(it - track_names.begin());
            good = file_scanf(f, "%d %d", &ev.settings[0], &ev.settings[1]) == 2;
            for (int i = 0; i < POINTS_ENTRIES && good; i++) good = read_int(f, &ev.moto_points[i]);
            for (int i = 0; i < POINTS_ENTRIES && good; i++) good = read_int(f, &ev.round_points[i]);
            ev.positions.assign(size_t(riders) + 1, riders);
            ev.round_positions.assign(size_t(riders) + 1, riders);
            s.events.push_back(ev);
        }
        ok = good;
    } while (false);
    file_close(f);
    if (ok) *out = std::move(s);
    return ok;
}

void series_read_standings(PointsSeries* s) {
    s->events_done = 0;
    DataFile* f = file_open(s->standings_path.c_str(), "rb");
    if (!f) return;
    const int R = int(s->rider_numbers.size());
    char line[8192];
    while (s->events_done < int(s->events.size()) && file_gets(f, line, sizeof line)) {
        std::vector<int> pos;
        const char* p = line;
        for (int i = 0; i <= R; i++) {
            char* end;
            long v = strtol(p, &end, 10);
            if (end == p) break;
            pos.push_back(int(std::min<long>(std::max<long>(v - 1, 0), R)));
            p = end;
        }
        if (int(pos.size()) != R + 1) break;
        s->events[size_t(s->events_done++)].positions = pos;
    }
    file_close(f);
    series_round_positions(s);
}

bool series_write_standings(const PointsSeries* s) {
    DataFile* f = file_replace_open(s->standings_path.c_str());
    if (!f) return false;
    for (int e = 0; e < s->events_done; e++) {
        for (int p : s->events[size_t(e)].positions) file_printf(f, "%d ", p + 1);
        file_printf(f, "\n");
    }
    return file_replace_commit(f, s->standings_path.c_str());
}

void series_round_positions(PointsSeries* s) {
    const int R = int(s->rider_numbers.size());
    std::vector<int> sum(size_t(R) + 1, 0);
    for (int e = 0; e < s->events_done; e++) {
        SeriesEvent& ev = s->events[size_t(e)];
        for (int i = 0; i <= R; i++) sum[size_t(i)] += points_at(ev.moto_points, ev.positions[size_t(i)]);
        if (ev.round_points[0] == 0) continue;
        std::vector<int> order(size_t(R) + 1);
        for (int i = 0; i <= R; i++) order[size_t(i)] = i;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            if (sum[size_t(a)] != sum[size_t(b)]) return sum[size_t(a)] > sum[size_t(b)];
            return ev.positions[size_t(a)] < ev.positions[size_t(b)];
        });
        for (int rank = 0; rank <= R; rank++) ev.round_positions[size_t(order[size_t(rank)])] = rank;
        std::fill(sum.begin(), sum.end(), 0);
    }
}

void series_record_event() {
    SeriesState& ss = series_state;
    if (ss.running < 0 || ss.running >= int(ss.series.size())) return;
    PointsSeries& s = ss.series[size_t(ss.running)];
    if (s.events_done >= int(s.events.size())) return;
    const RaceTiming& rt = race_timing;
    const int R = int(s.rider_numbers.size());
    SeriesEvent& ev = s.events[size_t(s.events_done)];
    ev.positions.assign(size_t(R) + 1, R);

    const std::vector<Standing>& order = rt.final_done ? rt.final_standings : rt.standings;
    int p = 0;
    for (const Standing& e : order) {
        const TimedRider& tr = rt.riders[e.slot];
        if (tr.local) {
            bool counts = rt.final_done || (tr.timing && tr.timing->finished && e.penalty == 0);
            if (counts && ev.positions[size_t(R)] == R) ev.positions[size_t(R)] = p++;
            continue;
        }
        for (int i = 0; i < R; i++) {
            char num[16];
            snprintf(num, sizeof num, "%d", s.rider_numbers[size_t(i)]);
            if (tr.number == num && ev.positions[size_t(i)] == R) {
                ev.positions[size_t(i)] = p++;
                break;
            }
        }
    }
    s.events_done++;
    series_round_positions(&s);
    series_write_standings(&s);
}

void series_reset_points(PointsSeries* s) {
    s->events_done = 0;
    series_write_standings(s);
}

void series_load_all(const std::vector<std::string>& track_names) {
    SeriesState& ss = series_state;
    ss.series.clear();
    for (const char* const* n = file_list(); *n; n++) {
        std::string name = *n;
        if (name.size() < 7 || name.compare(name.size() - 7, 7, ".series") != 0) continue;
        PointsSeries s;
        if (!series_parse(("@" + name).c_str(), track_names, &s)) continue;
        series_read_standings(&s);
        ss.series.push_back(std::move(s));
    }
}

std::vector<int> series_slot_table(int riders) {
    // One slot for every series rider and one for the player.
    const size_t want = size_t(riders) + 1;
    std::vector<int> t;
    if (riders <= 14) {
        for (int s = 6; s <= 34 && t.size() < want; s += 2) t.push_back(s);
        return t;
    }
    // Centre outwards from slot 10, then upwards from 21.
    t.push_back(10);
    for (int k = 1; k <= 10 && t.size() < want; k++) {
        t.push_back(10 - k);
        if (t.size() < want) t.push_back(10 + k);
    }
    for (int s = 21; t.size() < want && s < RIDER_SLOTS; s++) t.push_back(s);
    return t;
}

}  // namespace gr
