// Demo files: a text header naming the track, the race and its riders, then
// chunks of timed state records. Recording into the rotating "@demos" files
// (or a lap of a time trial), playback into the replayed bikes' histories,
// skipping and rewinding, and the fastest-lap ghost.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "net/net.h"
#include "replay/replay.h"
#include "sound/sound.h"
#include "track/track.h"

namespace gr {

DemoPlayer demo_player;
DemoRecorder demo_recorder;
std::string demo_record_path;

namespace {

enum {
    HEADER_LINE = 1024,
    CHUNK_HEAD = 9,
    CHUNK_STATES = 1,
    CHUNK_MESSAGE = 2,
    MESSAGE_MAX = 1023,
    // No honest chunk is larger: every slot's whole ring, or a long message.
    CHUNK_MAX = HISTORY_SLOTS * HISTORY_LENGTH * DEMO_RECORD_SIZE,
};

const char* const default_demo = "@demos/default.grdemo";

DataFile* play_file = nullptr;
DataFile* record_file = nullptr;
// Slots written by the recording, in rider order; fixed when it starts.
std::vector<int> recorded_slots;
bool recording_whole_lap = false;  // the lap recording began at a lap change

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
uint32_t get32(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

std::string lap_file(const char* which) { return "@" + current_track.name + "/" + which; }

// A header field: no line breaks, and no "|" inside the "|" line.
std::string field(const std::string& s, bool bar) {
    std::string out = s;
    for (char& c : out)
        if (c == '\n' || c == '\r' || (bar && c == '|')) c = '_';
    return out;
}

bool passes_record_filter(int slot) {
    const RiderSlot& s = race.slots[slot];
    if (!s.bike) return false;
    if (!net_race.online) return s.mode == BIKE_LOCAL || s.mode == BIKE_ROBOT;
    if (net_race.my_slot < NET_NO_SLOT) return true;
    return s.mode == BIKE_REPLAYED || s.mode == BIKE_ROBOT;
}

void rotate_backups() {
    int n = std::clamp(settings.demo_backups, 0, 100);
    char from[64], to[64];
    for (int i = n - 2; i >= 0; i--) {
        snprintf(from, sizeof from, "@demos/default%02d.grdemo", i);
        snprintf(to, sizeof to, "@demos/default%02d.grdemo", i + 1);
        file_rename(from, to);
    }
    if (n > 0) file_rename(default_demo, "@demos/default00.grdemo");
}

void record_write(const void* data, size_t n) {
    if (!record_file) return;
    if (file_write(record_file, data, n) != n) demo_recorder.write_failed = true;
}

// One chunk of every recorded slot's pending entries.
void write_pending_chunk() {
    if (!record_file) return;
    int total = 0;
    for (int slot : recorded_slots) total += histories[slot].pending;
    const int32_t D = total * DEMO_RECORD_SIZE;
    if (D == 0) return;
    std::vector<uint8_t> chunk(size_t(CHUNK_HEAD + D));
    put32(&chunk[0], uint32_t(D ^ demo_recorder.previous_length));
    put32(&chunk[4], uint32_t(race.tick));
    chunk[8] = CHUNK_STATES;
    demo_recorder.previous_length = D;
    size_t at = CHUNK_HEAD;
    for (size_t r = 0; r < recorded_slots.size(); r++) {
        StateHistory& h = histories[recorded_slots[r]];
        for (int k = h.pending - 1; k >= 0; k--) {
            int e = (h.head - k + HISTORY_LENGTH) % HISTORY_LENGTH;
            chunk[at] = uint8_t(r);
            put32(&chunk[at + 1], uint32_t(h.ticks[e]));
            memcpy(&chunk[at + 5], h.states[e].bytes, SNAPSHOT_SIZE);
            at += DEMO_RECORD_SIZE;
        }
        h.pending = 0;
    }
    record_write(chunk.data(), chunk.size());
    file_flush(record_file);
}

// Reads exactly n bytes; false on a short read.
bool play_read(void* buf, size_t n) { return play_file && file_read(play_file, buf, n) == n; }

void play_end(const char* why) {
    if (!demo_player.ended && why) log_printf("Demo '%.512s': %s\n", demo_player.path.c_str(), why);
    demo_player.ended = true;
}

bool read_header_line(char* buf) {
    if (!file_gets(play_file, buf, HEADER_LINE)) return false;
    size_t n = strlen(buf);
    if (n == 0 || buf[n - 1] != '\n') return false;
    buf[n - 1] = 0;
    return true;
}

void refuse(const char* path, const char* why) {
    msg_printf("Can't play demo '%.512s': %s", path, why);
    if (play_file) file_close(play_file);
    play_file = nullptr;
    demo_player = DemoPlayer{};
    for (int& s : demo_player.rider_slot) s = -1;
}

void chunk_tick_v6() {
    DemoPlayer& p = demo_player;
    for (int n = 0; n < 128 && !p.ended; n++) {
        if (p.next_tick > race.tick + 64) break;
        uint8_t head[CHUNK_HEAD];
        if (!play_read(head, CHUNK_HEAD)) {
            play_end("end of the recording");
            break;
        }
        const int64_t D = int64_t(get32(head) ^ uint32_t(p.previous_length));
        const int32_t tick = int32_t(get32(head + 4));
        const int type = head[8];
        if (D < 0 || D > CHUNK_MAX) {
            msg_printf("Demo '%.512s' is damaged: a chunk of %lld bytes", p.path.c_str(), (long long)D);
            play_end("damaged chunk");
            break;
        }
        if (type == CHUNK_STATES && D % DEMO_RECORD_SIZE == 0) {
            if (p.first_tick == -1) {
                p.first_tick = tick;
                if (p.lap_mode) p.offset = race.tick - tick;
                else race.tick = race_timing.tick = tick;
            }
            bool whole = true;
            for (int64_t r = 0; r < D / DEMO_RECORD_SIZE; r++) {
                uint8_t rec[DEMO_RECORD_SIZE];
                if (!play_read(rec, DEMO_RECORD_SIZE)) {
                    whole = false;
                    break;
                }
                int rider = rec[0];
                if (rider >= p.riders) continue;  // no such rider in the header
                int slot = p.rider_slot[rider];
                if (slot < 0) continue;
                StateSnapshot s;
                memcpy(s.bytes, rec + 5, SNAPSHOT_SIZE);
                add_state_to_history(slot, s, int32_t(get32(rec + 1)) + p.offset);
            }
            if (!whole) {
                msg_printf("Demo '%.512s' ends in the middle of a chunk", p.path.c_str());
                play_end("truncated chunk");
                break;
            }
        } else if (type == CHUNK_MESSAGE) {
            char text[MESSAGE_MAX + 1];
            size_t n_text = size_t(std::min<int64_t>(D, MESSAGE_MAX));
            if (!play_read(text, n_text)) {
                play_end("truncated message");
                break;
            }
            text[n_text] = 0;
            msg_print(text);
            if (D > MESSAGE_MAX && !file_seek(play_file, p.position + CHUNK_HEAD + int32_t(D))) {
                play_end("truncated message");
                break;
            }
        } else if (!file_seek(play_file, p.position + CHUNK_HEAD + int32_t(D))) {
            play_end("cannot skip a chunk");
            break;
        }
        p.previous_length = int32_t(D);
        p.position += int32_t(D) + CHUNK_HEAD;
        p.next_tick = tick + p.offset;
    }
}

void record_tick_v5() {
    DemoPlayer& p = demo_player;
    const size_t size = p.version == 4 ? 26 : SNAPSHOT_SIZE;
    if (p.first_tick == -1) p.first_tick = p.next_tick = race.tick;
    while (!p.ended && p.next_tick <= race.tick + 8) {
        for (int r = 0; r < p.riders; r++) {
            uint8_t rec[SNAPSHOT_SIZE];
            if (!play_read(rec, size)) {
                play_end("end of the recording");
                return;
            }
            if (p.rider_slot[r] < 0) continue;
            StateSnapshot s;
            memcpy(s.bytes, rec, SNAPSHOT_SIZE);
            add_state_to_history(p.rider_slot[r], s, p.next_tick);
        }
        p.next_tick++;
    }
}

// Every bike forgets the gates it passed after tick c.
void drop_gates_after(int32_t c) {
    for (int i = 0; i < RACE_SLOTS; i++) {
        RiderTiming& t = race.slots[i].timing;
        if (!race.slots[i].bike) continue;
        int keep = 0;
        while (keep < t.gate && size_t(keep) < t.times.size() && t.times[size_t(keep)] <= c) keep++;
        if (keep < t.gate) {
            t.gate = keep;
            t.times.resize(size_t(keep));
            t.finished = 0;
        }
    }
    race_timing.final_done = false;
    race_timing.final_standings.clear();
    standings_update();
}

void free_replayed_slot(int i) {
    RiderSlot& s = race.slots[i];
    if (s.bike) {
        engine_sound_free(s.bike);
        free_bike(s.bike);
    }
    s = RiderSlot{};
    race_timing.riders[i] = TimedRider{};
}

// Builds the ghost bikes of the demo just opened in the free slots.
void create_ghosts() {
    const int player_gate = race.slots[0].timing.gate;
    DemoRider r;
    for (int slot = 1; slot < RACE_SLOTS; slot++) {
        if (race.slots[slot].bike) continue;
        if (!demo_next_rider(slot, &r)) break;
        auto opt = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        Bike* b = build_bike(r.model.c_str(), slot, r.number.c_str(), opt(r.riding_gear), opt(r.helmet),
                             opt(r.bike_graphics), opt(r.wheel_graphics));
        if (!b) continue;
        RiderSlot& s = race.slots[slot];
        s.bike = b;
        s.mode = BIKE_REPLAYED;
        s.name = r.name;
        s.textures[0] = r.riding_gear, s.textures[1] = r.helmet;
        s.textures[2] = r.bike_graphics, s.textures[3] = r.wheel_graphics;
        // The ghost's lap starts where the player's does.
        s.timing = RiderTiming{};
        s.timing.gate = player_gate;
        s.timing.times.assign(size_t(player_gate), race.tick);
        engine_sound_init(b);
        set_bike_presence(b, false);
        b->roll_damping = 100;
        b->full_lock_speed = 5;
        b->restricted_lock_speed = 50;
        b->restricted_lock_angle = 0.04363323;
        TimedRider& tr = race_timing.riders[slot];
        tr.timing = &s.timing;
        tr.number = r.number;
        tr.bike = b->model.name;
        tr.local = false;
    }
}

bool file_exists(const char* name) {
    DataFile* f = file_open(name, "rb");
    if (!f) return false;
    file_close(f);
    return true;
}

// Byte for byte, replacing the target only once the copy is whole.
bool copy_file(const char* from, const char* to) {
    DataFile* in = file_open(from, "rb");
    if (!in) return false;
    DataFile* out = file_replace_open(to);
    if (!out) {
        file_close(in);
        return false;
    }
    char buf[8192];
    bool ok = true;
    for (;;) {
        size_t n = file_read(in, buf, sizeof buf);
        if (n == 0) break;
        if (file_write(out, buf, n) != n) ok = false;
    }
    file_close(in);
    if (!ok) {
        file_replace_abort(out, to);
        return false;
    }
    return file_replace_commit(out, to);
}

}  // namespace

// ---------------------------------------------------------------------------
// Recording

void demo_record_start() {
    demo_record_stop();
    DemoRecorder& r = demo_recorder;
    r = DemoRecorder{};
    r.lap_mode = race.time_trial;
    if (r.lap_mode) {
        r.path = lap_file("lastlap.grdemo");
    } else if (!demo_record_path.empty()) {
        r.path = demo_record_path;
    } else {
        r.path = default_demo;
    }
    if (demo_player.open && demo_player.path == r.path) {
        msg_print("Can't record and play from same file - recording disabled");
        return;
    }
    if (!r.lap_mode && demo_record_path.empty()) rotate_backups();
    record_file = file_replace_open(r.path.c_str());
    if (!record_file) return;  // the race runs unrecorded
    r.open = true;
    recording_whole_lap = false;

    recorded_slots.clear();
    for (int i = 0; i < RACE_SLOTS; i++)
        if (passes_record_filter(i)) recorded_slots.push_back(i);
    // Rider indices are one byte.
    if (recorded_slots.size() > 255) recorded_slots.resize(255);
    file_printf(record_file, "GR06 %d %d %d %d\n", int(recorded_slots.size()), race.time_limit, race.laps,
                race.start_tick);
    file_printf(record_file, "%s\n", field(current_track.name, false).c_str());
    for (int slot : recorded_slots) {
        const RiderSlot& s = race.slots[slot];
        file_printf(record_file, "%s|%s|%s|%s|%s\n%s\n%s\n\n", field(s.bike->model.name, true).c_str(),
                    field(s.textures[0], true).c_str(), field(s.textures[2], true).c_str(),
                    field(s.textures[3], true).c_str(), field(s.textures[1], true).c_str(),
                    field(s.bike->number, false).c_str(), field(s.name, false).c_str());
    }
    r.previous_length = 0;
}

void demo_record_tick(bool force) {
    if (!demo_recorder.open) return;
    const int32_t now = race.tick;
    if (!force && now % 4 != 0) return;
    for (int i = 0; i < RACE_SLOTS; i++) {
        const RiderSlot& s = race.slots[i];
        if (s.bike && (s.mode == BIKE_LOCAL || s.mode == BIKE_ROBOT)) add_state_to_history(i, snapshot_encode(s.bike), now);
    }
    if (!force && now % 16 != 0) return;
    write_pending_chunk();
}

void demo_record_message(const char* text) {
    if (!demo_recorder.open || !text) return;
    const int32_t L = int32_t(strnlen(text, CHUNK_MAX));
    uint8_t head[CHUNK_HEAD];
    put32(head, uint32_t(L ^ demo_recorder.previous_length));
    put32(head + 4, uint32_t(race.tick));
    head[8] = CHUNK_MESSAGE;
    demo_recorder.previous_length = L;
    record_write(head, CHUNK_HEAD);
    record_write(text, size_t(L));
}

void demo_record_stop() {
    DemoRecorder& r = demo_recorder;
    if (!r.open) return;
    write_pending_chunk();
    if (r.write_failed) {
        msg_printf("Writing the demo '%.512s' failed; the previous file is kept", r.path.c_str());
        file_replace_abort(record_file, r.path.c_str());
    } else if (!file_replace_commit(record_file, r.path.c_str())) {
        msg_printf("Writing the demo '%.512s' failed; the previous file is kept", r.path.c_str());
    } else if (!r.keep_name.empty() && !r.lap_mode) {
        std::string to = "@demos/" + r.keep_name;
        if (!file_rename(r.path.c_str(), to.c_str())) msg_printf("Can't rename the demo to '%.900s'", to.c_str());
    }
    record_file = nullptr;
    r.open = false;
    r.keep_name.clear();
}

void demo_name_recording(const char* name) {
    if (!demo_recorder.open || demo_recorder.lap_mode) {
        msg_print("Not currently recording a demo");
        return;
    }
    size_t n = strlen(name);
    if (n + 8 > 1024) {
        msg_print("Name too long");
        return;
    }
    std::string s = name;
    if (s.find('/') != std::string::npos || s.find('\\') != std::string::npos || s.empty() || s[0] == '.') {
        msg_print("Bad demo name");
        return;
    }
    if (n < 7 || s.compare(n - 7, 7, ".grdemo") != 0) s += ".grdemo";
    demo_recorder.keep_name = s;
    msg_print("Demo name updated");
}

void demo_set_backups(int n) {
    settings.demo_backups = n;
    msg_printf("Now keeping %d demo backups", n);
}

// ---------------------------------------------------------------------------
// Playback

bool demo_play_open(const char* name) {
    demo_play_close();
    DemoPlayer& p = demo_player;
    std::string path;
    if (name && *name) path = name;
    else if (race.time_trial && !current_track.name.empty()) path = lap_file("fastlap.grdemo");
    else path = default_demo;
    play_file = file_open(path.c_str(), "rb");
    if (!play_file) return false;

    char line[HEADER_LINE];
    int version = 0, riders = 0, duration = 0, laps = 0, start = DEMO_START_TICK;
    if (!read_header_line(line) || sscanf(line, "GR%d %d %d %d %d", &version, &riders, &duration, &laps, &start) < 3) {
        refuse(path.c_str(), "not a demo file");
        return false;
    }
    if (version == 4) {
        refuse(path.c_str(), "version-4 demos are not supported");
        return false;
    }
    if (version != 5 && version != 6) {
        refuse(path.c_str(), "unknown demo version");
        return false;
    }
    if (riders < 0 || riders > HISTORY_SLOTS || (version == 6 && riders > 255) || duration < 0) {
        refuse(path.c_str(), "bad rider count or race length");
        return false;
    }
    if (!read_header_line(line)) {
        refuse(path.c_str(), "damaged header");
        return false;
    }
    p.track = line;
    for (int r = 0; r < riders; r++) {
        DemoRider& d = p.rider[r];
        if (!read_header_line(line)) {
            refuse(path.c_str(), "damaged header");
            return false;
        }
        std::string* parts[5] = {&d.model, &d.riding_gear, &d.bike_graphics, &d.wheel_graphics, &d.helmet};
        const char* at = line;
        for (int k = 0; k < 5; k++) {
            const char* bar = k < 4 ? strchr(at, '|') : nullptr;
            *parts[k] = bar ? std::string(at, size_t(bar - at)) : std::string(at);
            if (!bar) break;
            at = bar + 1;
        }
        if (!read_header_line(line)) {
            refuse(path.c_str(), "damaged header");
            return false;
        }
        d.number = std::string(line).substr(0, 3);
        if (version == 6) {
            if (!read_header_line(line)) {
                refuse(path.c_str(), "damaged header");
                return false;
            }
            d.name = line;
            do {
                if (!read_header_line(line)) {
                    refuse(path.c_str(), "damaged header");
                    return false;
                }
            } while (line[0] != 0);
        }
    }
    p.open = true;
    p.path = path;
    p.version = version;
    p.riders = riders;
    p.duration = duration;
    p.laps = laps;
    p.start_tick = start;
    p.header_length = play_file->position;
    p.position = p.header_length;
    p.previous_length = 0;
    p.next_tick = 1;
    p.first_tick = -1;
    p.offset = 0;
    p.next_rider = 0;
    p.ended = false;
    p.lap_mode = false;
    history_reset_all();
    return true;
}

void demo_play_close() {
    if (play_file) file_close(play_file);
    play_file = nullptr;
    demo_player = DemoPlayer{};
    for (int& s : demo_player.rider_slot) s = -1;
}

bool demo_next_rider(int slot, DemoRider* out) {
    DemoPlayer& p = demo_player;
    if (!p.open || p.next_rider >= p.riders) return false;
    *out = p.rider[p.next_rider];
    p.rider_slot[p.next_rider] = slot;
    p.next_rider++;
    return true;
}

void demo_play_tick() {
    if (!demo_player.open || !play_file) return;
    if (demo_player.version == 6) chunk_tick_v6();
    else record_tick_v5();
}

bool demo_seek(double seconds) {
    DemoPlayer& p = demo_player;
    if (!p.open || demo_recorder.open || !std::isfinite(seconds) || seconds == 0) return false;
    bool any = false;
    for (const RiderSlot& s : race.slots) {
        if (!s.bike) continue;
        if (s.mode != BIKE_REPLAYED) return false;
        any = true;
    }
    if (!any) return false;
    const int32_t now = race.tick;
    if (p.version == 6 && seconds > 0) {
        const int32_t target = now + int32_t(std::lround(seconds * 128));
        while (race.tick < target) race_tick();
        return true;
    }
    const int32_t c = std::max<int32_t>(0, now + int32_t(std::lround(seconds * 128)) - 1);
    if (p.version == 6) {
        const int32_t stop = std::max(c - 64, 0);
        while (p.position > p.header_length) {
            const int32_t start = p.position - (p.previous_length + CHUNK_HEAD);
            uint8_t head[8];
            if (start < p.header_length || !file_seek(play_file, start) || !play_read(head, 8)) {
                // The chain does not lead back: start again from the first chunk.
                p.position = p.header_length;
                p.previous_length = 0;
                break;
            }
            p.previous_length ^= int32_t(get32(head));
            p.position = start;
            if (int32_t(get32(head + 4)) + p.offset <= stop) break;
        }
        if (!file_seek(play_file, p.position)) {
            play_end("cannot seek");
            return false;
        }
    } else {
        const int32_t size = p.version == 4 ? 26 : SNAPSHOT_SIZE;
        const int32_t first = p.first_tick < 0 ? 0 : p.first_tick;
        const int32_t at = std::max(c - first, 0);
        if (!file_seek(play_file, p.header_length + at * p.riders * size)) {
            play_end("cannot seek");
            return false;
        }
    }
    p.next_tick = c;
    p.ended = false;
    if (c < now) drop_gates_after(c);
    race.tick = race_timing.tick = c;
    history_reset_all();
    demo_play_tick();
    race_tick();
    return true;
}

// ---------------------------------------------------------------------------
// Time-trial laps

void demo_lap_finished(double lap_time) {
    const std::string last = lap_file("lastlap.grdemo"), fast = lap_file("fastlap.grdemo");
    const bool had_ghost = demo_player.open && demo_player.lap_mode;
    const int ghost_gate = race.slots[1].bike ? race.slots[1].timing.gate : -1;
    const int player_gate = race.slots[0].timing.gate;
    const bool whole_lap = demo_recorder.open && demo_recorder.lap_mode && recording_whole_lap;

    demo_record_stop();
    demo_play_close();
    for (int i = 1; i < RACE_SLOTS; i++)
        if (race.slots[i].bike && race.slots[i].mode == BIKE_REPLAYED) free_replayed_slot(i);

    // Only a lap recorded from its start line counts as a lap.
    const bool beaten = !file_exists(fast.c_str()) || !had_ghost || ghost_gate < player_gate;
    if (whole_lap && beaten && lap_time > 0 && !copy_file(last.c_str(), fast.c_str()))
        msg_printf("Can't keep the lap as '%.900s'", fast.c_str());

    if (demo_play_open(fast.c_str())) {
        demo_player.lap_mode = true;
        create_ghosts();
        demo_play_tick();
    }
    demo_record_start();
    recording_whole_lap = demo_recorder.open;
    demo_record_tick(true);
}

}  // namespace gr
