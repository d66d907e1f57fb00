// The results file written when a race reaches its final standings.
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "data/data.h"
#include "track/track.h"

namespace gr {

namespace {

void append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& out, const char* format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    out += buf;
}

int laps_done(int gate) {
    const TrackGates& tg = track_gates;
    if (tg.normal <= 0 || gate < tg.first) return 0;
    return (gate - tg.first) / tg.normal + 1;
}

// "%3d:%02d.%03d" of a tick count.
void append_time(std::string& out, int ticks) {
    if (ticks < 0) ticks = 0;
    long ms = long((double(ticks) / 128.0) * 1000.0 + 0.5);
    append(out, "%3ld:%02ld.%03ld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

const Standing* winner() {
    const RaceTiming& rt = race_timing;
    if (!rt.final_done || rt.final_standings.empty()) return nullptr;
    const Standing* w = &rt.final_standings[0];
    const RiderTiming* r = rt.riders[w->slot].timing;
    return r && r->finished ? w : nullptr;
}

}  // namespace

std::string results_text(long date) {
    const RaceTiming& rt = race_timing;
    std::string out;
    const Standing* w = winner();
    double duration = w ? double(w->time - rt.start_tick) / 128.0 : 0;
    append(out, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", duration, rt.laps, current_track.name.c_str(), date);
    append(out, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time", "BLap", "Best Time");
    for (const Standing& e : rt.final_standings) {
        const TimedRider& tr = rt.riders[e.slot];
        if (!tr.timing || !tr.timing->finished) continue;
        int laps = laps_done(e.gate);
        append(out, "%4s | %12s | %4d | ", tr.number.c_str(), tr.bike.c_str(), laps);
        append_time(out, e.time - rt.start_tick);
        int best = 0;
        double best_time = 0;
        for (int l = 1; l <= laps_done(tr.timing->gate); l++) {
            double t = rider_lap_time(e.slot, l);
            if (t > 0 && (best == 0 || t < best_time)) best = l, best_time = t;
        }
        append(out, " | %4d | ", best);
        append_time(out, int(best_time * 128.0 + 0.5));
        out += "\r\n";
    }
    for (const Standing& e : rt.final_standings) {
        const TimedRider& tr = rt.riders[e.slot];
        if (!tr.timing || !tr.timing->finished) continue;
        const std::vector<int>& times = tr.timing->times;
        append(out, "\r\n%d\r\n", int(times.size()));
        for (size_t j = 0; j < times.size(); j++) {
            if (times[j] < 0) append(out, "%8d", -1);
            else append(out, "%8.3f", double(times[j] - rt.start_tick) / 128.0);
            bool lap_end = gate_is_finish(int(j)) || j + 1 == times.size();
            out += lap_end ? "\r\n" : " ";
        }
    }
    return out;
}

void results_publish() {
    if (winner()) {
        std::string text = results_text(long(time(nullptr)));
        if (DataFile* f = file_replace_open("@results.txt")) {
            file_write(f, text.data(), text.size());
            file_replace_commit(f, "@results.txt");  // a file that cannot be written is skipped
        }
    }
    series_record_event();
}

}  // namespace gr
