// Replays: the compact per-bike state record, the per-slot ring of timed
// records that replayed bikes are driven from, and demo files (recording,
// playback with skip and rewind, the time-trial ghosts).
#pragma once

#include <cstdint>
#include <string>

namespace gr {

struct Bike;

enum {
    HISTORY_SLOTS = 160,
    HISTORY_LENGTH = 128,
    SNAPSHOT_SIZE = 39,
    DEMO_RECORD_SIZE = 44,   // rider index, tick, snapshot
    DEMO_VERSION = 6,
    DEMO_NET_VERSION = 5,    // what live and network records count as
    DEMO_START_TICK = 1792,  // a header without a start tick: 14 s
};

// One bike's state, 39 bytes, little-endian, no padding: frame position (3 x
// 24 bits) and orientation (4 x 16 bits, w x y z), steering, swingarm and fork
// bytes, the rider's offset from the frame (3 x 16 bits) and orientation, the
// two wheel angles, the riding-state byte and the engine speed (16 bits).
struct StateSnapshot {
    uint8_t bytes[SNAPSHOT_SIZE] = {};
};

// A snapshot in physical units, as decoded for one bike and terrain.
struct SnapshotValues {
    double frame_position[3];
    double frame_quaternion[4];  // w x y z
    double steering;             // steering-head angle, radians
    double swingarm;             // swingarm pivot angle, -travel..0
    double fork;                 // fork slider position, -travel..0
    double rider_offset[3];      // rider minus frame position, world axes
    double rider_quaternion[4];
    double front_wheel, rear_wheel;  // axle angles, -pi..pi
    int32_t crash_timer;         // 0 riding
    double throttle;
    int gear;                    // gear index the bike has
    bool foot_out;
    double engine_speed;         // radians per second
};

// Encoding and decoding. The terrain gives the position ranges (its side
// and lowest height), the bike its swingarm and fork travel.
StateSnapshot snapshot_encode(const Bike* bike);
void snapshot_decode(const StateSnapshot& s, const Bike* bike, SnapshotValues* out);
// Blends two records (t may exceed 1 to extrapolate); bit 0 of byte 18 is
// clear in the result, which marks it as made up rather than recorded.
StateSnapshot snapshot_interpolate(const StateSnapshot& a, const StateSnapshot& b, double t);
// The riding-state byte of a bike, and its reading: crash timer, throttle
// and the raw gear bits (7 = crashed).
uint8_t riding_state_byte(int32_t crash_timer, int gear, float foot_extension, float throttle);
void riding_state_decode(uint8_t byte, int32_t* crash_timer, double* throttle, int* gear_bits, bool* foot_out);

// Per-slot ring of timed snapshots; every slot has one, all static.
// Reset with the race, when bikes are reset and when a demo is opened.
struct StateHistory {
    int32_t ticks[HISTORY_LENGTH];          // -1 marks an empty entry
    StateSnapshot states[HISTORY_LENGTH];
    int head = 0;                           // newest entry
    int pending = 0;                        // entries the demo recorder has not written (max 128)
};
extern StateHistory histories[HISTORY_SLOTS];

void history_reset(int slot);
void history_reset_all();
// Keeps the ring in tick order: a record for a tick already held is
// dropped; an older one truncates the newer entries.
void add_state_to_history(int slot, const StateSnapshot& s, int32_t tick);
// The entry of a slot recorded exactly at `tick`, or null.
const StateSnapshot* history_find(int slot, int32_t tick);
// Moves a replayed bike to its recorded state at `tick`: interpolated
// between records, extrapolated at most half a second past the newest.
void history_sample(int slot, int32_t tick);
// Places (or, while simulated, pulls) a bike to `sampled`; velocities come
// from the records either side, `span` ticks apart.
void snapshot_apply(Bike* bike, const StateSnapshot& sampled, const StateSnapshot& older,
                    const StateSnapshot& newer, int32_t span, int source_version);
// A replayed bike that was woken by a contact settles back to its record:
// presence falls by 1/128 a tick, and at 0.25 its bodies are disabled again.
void presence_decay(Bike* bike);
// Whether a slot's bike is left out of drawing and of the camera's choice.
bool bike_hidden(int slot);

// ---------------------------------------------------------------------------
// Demo files

// One recorded rider as the header describes him.
struct DemoRider {
    std::string model, riding_gear, bike_graphics, wheel_graphics, helmet;
    std::string number, name;
};

// The demo being played; owned here, closed by demo_play_close.
struct DemoPlayer {
    bool open = false;
    int version = 0;
    int riders = 0;
    int32_t duration = 0, laps = 0, start_tick = DEMO_START_TICK;
    std::string track;
    std::string path;
    DemoRider rider[HISTORY_SLOTS];
    int rider_slot[HISTORY_SLOTS];       // bike slot of each rider, -1 none
    int next_rider = 0;                  // riders handed out to the race so far
    int32_t header_length = 0;
    int32_t position = 0;                // file position of the next chunk
    int32_t previous_length = 0;
    int32_t next_tick = 1;               // tick of the next chunk (or record, old versions)
    int32_t first_tick = -1;
    int32_t offset = 0;                  // added to every state's tick (ghost alignment)
    bool lap_mode = false;               // a time-trial ghost
    bool ended = false;                  // input ran out or was damaged
};
extern DemoPlayer demo_player;

// The recording in progress; owned here.
struct DemoRecorder {
    bool open = false;
    std::string path;                    // the file being written
    std::string keep_name;               // rename to this in "demos/" when done
    int32_t previous_length = 0;
    bool lap_mode = false;
    bool write_failed = false;
};
extern DemoRecorder demo_recorder;

// Where the next recording goes instead of the rotating "@demos/default"
// files (empty: the normal choice). The race runner records to a named file.
extern std::string demo_record_path;

bool demo_play_open(const char* name);
void demo_play_close();
void demo_play_tick();
// The next rider of the demo for bike `slot`; false when none is left.
bool demo_next_rider(int slot, DemoRider* out);
void demo_record_start();
void demo_record_stop();
void demo_record_tick(bool force);
void demo_record_message(const char* text);
// Skip (s > 0) or rewind (s < 0) during playback; false when not allowed.
bool demo_seek(double seconds);

// Keeps the current recording under a name in "demos/" (console "namedemo").
void demo_name_recording(const char* name);
// The number of rotating backups (console "demobackups").
void demo_set_backups(int n);

// Time trial: the player's lap counter changed. Stops the lap recording,
// keeps it as the fastest lap when it beat the ghost, and starts the next
// attempt against the fastest lap.
void demo_lap_finished(double lap_time);

}  // namespace gr
