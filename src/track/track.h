// The track and the race's timing: loading a track directory with its
// progress screen and digest, timing gates and the lap plan, laps, standings
// and cut-track penalties, scenery records (billboards, statues, flaggers),
// lighting and camera files, results and points series.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gr {

struct Model;
struct CollisionShape;

enum { RIDER_SLOTS = 160, GATE_MAX = 256, LAP_ENTRIES_MAX = 256, START_SLOTS_MAX = 160 };

// ---------------------------------------------------------------------------
// Loading progress

// Shows a message on the loading screen, resets the spinner and logs it.
void loading_begin(const char* message);
// At most every 0.125 s: shows the message with the next spinner suffix
// ("", ".", "..", "...").
void loading_tick(const char* message);
// Shows the message followed by "...done".
void loading_end(const char* message);

// The loading screen's drawing, installed by the renderer (null headless).
extern void (*loading_screen_draw)(const char* text);

// The longest pause between two loading-screen updates so far, and the
// message that was on screen before it (logged after a race set-up).
struct LoadingStats {
    double longest_delay = 0;
    char longest_message[80] = {};
};
extern LoadingStats loading_stats;
void loading_log_longest_delay();

// ---------------------------------------------------------------------------
// The current track

// Owned here: set by track_load, cleared by track_free.
struct CurrentTrack {
    std::string name;          // directory name; empty when none is loaded
    std::string display_name;
    uint8_t hash[20] = {};     // track_hash: identifies the track between peers
    bool loaded = false;
    uint32_t map_texture = 0;  // "map.png", 0 when missing or headless
};
extern CurrentTrack current_track;

// Loads the track whose directory is current_track.name; 1 on success.
int track_load();
// Releases everything track_load built.
void track_free();
// The race set-up's rule: (re)load `name` when no track is loaded, the name
// differs, an online race finds the terrain modified, or `force` is set;
// otherwise the loaded track is reused. 1 when a track is ready.
int track_prepare(const char* name, bool online, bool force);
// track_hash as 40 lower-case hex digits.
void track_hash_hex(char out[41]);

// ---------------------------------------------------------------------------
// Timing gates and the lap plan

// A gate: a half-disc of `radius` around `point` on the side `direction` points to.
struct TimingGate {
    float point[3] = {0, 0, 0};
    float direction[3] = {0, 0, 1};  // only x and z count
    float radius = 0;
    int marked = 0;  // some rider must pass it next (drawn by flaggers and markers)
};

// A starting-gate slot and the statue that draws its gate piece.
struct StartSlot {
    float position[3] = {0, 0, 0};
    float angle = 0;  // radians, -pi..pi
    int statue = -1;
    std::string model, texture, shape;  // as read, for saving
};

enum { GATE_FLAG = 100000 };  // added to a lap entry that ends no racing-line segment

// Owned here: filled by gates_load, emptied by track_free.
struct TrackGates {
    std::vector<TimingGate> gates;
    std::vector<StartSlot> start_slots;
    std::vector<int> sequence;  // first lap (F entries), then a normal lap (N)
    int first = 0, normal = 0;            // F, N
    int first_real = 0, normal_real = 0;  // F', N': entries below GATE_FLAG
};
extern TrackGates track_gates;

// Reads "timing_gates" of a track ("@" + directory); on any error the track
// has no gates (the starting gate stays).
void gates_load(const char* track_path);
// Writes it back; false when the file cannot be written.
bool gates_save(const char* track_path);

// The sequence entry of race-wide gate index i, and its gate number.
int gate_entry(int i);
int gate_of_index(int i);
// True when gate index i is the finish line of a lap.
bool gate_is_finish(int i);

// Per rider timing, held in the rider's slot by the race; reset by race set-up.
struct RiderTiming {
    int gate = 0;              // gate counter g: the next gate to pass
    std::vector<int> times;    // tick each gate index was passed; -1 skipped
    int finished = 0;
    int ground_touch = 0;      // something but the wheels touched the ground since the last gate
};

// One place in the standings.
struct Standing {
    int slot = 0;
    int gate = 0;       // gate counter (after laps taken away for cutting)
    int time = 0;       // tick of the latest gate (plus the penalty)
    int penalty = 0;    // ticks added for cutting the track
    int laps_taken = 0;
};

// The riders the race times, set up by the race for each slot in use.
struct TimedRider {
    RiderTiming* timing = nullptr;  // null: the slot is empty
    std::string number;             // race number as text
    std::string bike;               // bike model name
    bool local = false;             // the player on this machine
    bool left = false;              // left the race (online)
};

// Race-wide timing. Owned here; reset by race set-up (timing_reset).
struct RaceTiming {
    int tick = 0;               // the current simulation tick (the race advances it)
    int start_tick = 0;         // S
    int duration = 0;           // D in ticks, 0 = no time limit
    int extra_laps = 0;         // E
    int laps = 0;               // L
    int half_lap = 1000000;     // H
    TimedRider riders[RIDER_SLOTS];
    std::vector<Standing> standings;
    bool final_done = false;
    std::vector<Standing> final_standings;
    std::vector<std::string> penalty_lines;  // "%3s penalized ..." per penalised rider
};
extern RaceTiming race_timing;

void timing_reset();

// The crossing test for one rider this tick (rider's front-wheel position).
void gates_update_rider(int slot, const float front_wheel[3]);
// Sorts the riders, updates L and H, and at the end the final standings.
void standings_update();
// Lap number (0 before the first finish) and the gate within the lap.
void rider_lap(int slot, int* lap, int* gate_in_lap);
// Seconds of a lap; 0 when a time is missing.
double rider_lap_time(int slot, int lap);
bool rider_finished(int slot);
// Mean ticks all riders took from gate index a to b (60 s when nobody counts).
double segment_time_average(int a, int b);
// "%d laps", "%d minutes" or "%d minutes + %d laps".
std::string race_length_text(int duration_ticks, int laps, int extra_laps);

// Robot racing lines hook in here (null until they exist).
extern void (*racing_lines_reset)(int segments);
extern void (*racing_line_gate_passed)(int slot, int gate_index);

// ---------------------------------------------------------------------------
// Scenery

// A picture that turns toward the viewer.
struct Billboard {
    float x = 0, y = 0, z = 0;  // bottom centre; y = ground + height above ground
    float height = 0;
    float above_ground = 0;
    float width_factor = 1;
    int sort_key = 0;
    uint32_t texture = 0;
    uint8_t colour[4] = {255, 255, 255, 255};
    std::string texture_name;  // without the colour prefix, for saving
};

// A 3-D model standing on the ground, solid when it has a collision shape.
struct Statue {
    Model* model = nullptr;
    CollisionShape* shape = nullptr;
    uint32_t texture = 0, normal_map = 0, specular_map = 0;
    float x = 0, y = 0, z = 0;
    float above_ground = 0, angle = 0;  // as read
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // columns: model x, y, z axes
    float facing_distance = 0;  // 2^angle for angle values of 3.25 and up
    int32_t touched_tick = 0;
    std::string model_name, texture_name, shape_name;  // empty for "null"
};

struct Starter {
    int billboard = -1;
    float from[3] = {}, to[3] = {};  // y relative to the ground
    float walk_seconds = 1;
    uint32_t textures[5] = {};
};
struct LapBoard {
    int billboard = -1;
    uint32_t textures[4] = {};  // normal, half distance, last lap, finished
};
struct Flagger {
    int billboard = -1;
    uint32_t normal = 0, waving = 0;
    int gates[4] = {-1, -1, -1, -1};
};

enum { STATUE_BINS = 8, ROOST_BILLBOARDS = 2000 };

// Owned here: filled during track_load, emptied by track_free.
struct TrackScenery {
    std::vector<Billboard> billboards;
    int first_file_billboard = 0;  // first billboard read from "billboards"
    std::vector<Statue> statues;
    int first_file_statue = 0;     // first statue read from "statues"
    std::vector<int> bins[STATUE_BINS][STATUE_BINS];
    Starter starter;
    LapBoard lap_board;
    std::vector<Flagger> flaggers;
    std::vector<int> gate_flags;
};
extern TrackScenery scenery;

int billboard_add(float x, float above_ground, float z, float height, float width_factor, const char* texture);
int statue_add(float x, float above_ground, float z, float angle, const char* model, const char* texture,
               const char* shape);
void statue_orientation(float x, float z, float angle, float out[9]);
void statue_bins_build();
// Frees every scenery record (and the statues' shape copies).
void scenery_free();
void billboards_read(const char* track_path);
void statues_read(const char* track_path);
void flaggers_load(const char* track_path);
bool billboards_save(const char* track_path);
bool statues_save(const char* track_path);

// ---------------------------------------------------------------------------
// Lighting, sky and cameras

// Lighting values: defaults from start-up, restored at every lighting load.
struct Lighting {
    float sun_vector[3] = {1, 1, 1};  // normalised by every lighting load
    float sun_color[3] = {1, 1, 1};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    float global_ambient[3] = {0.2f, 0.2f, 0.2f};
    float near_plane = 0.25f;
    float far_plane = 5000;
    int dynamic_lighting = 0;
};
extern Lighting lighting;

struct LensFlare {
    float source[3] = {0, 0, 0};
    float screen_x = 0, screen_y = 0;
    float offset[8][2] = {};
    float colour[8][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
    float size[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    uint32_t texture[8] = {};
    int elements = 0;
    int kind = 1;  // 0 point, 1 direction
    float visibility = 0;
};

// The sky, fog and flares of the current track; replaced by every lighting load.
struct Sky {
    uint32_t faces[5] = {};  // north, east, south, west, up
    uint32_t environment = 0;
    float fog_colour[4] = {1, 1, 1, 1};
    float fog_density = 0;  // 0: no fog
    std::vector<LensFlare> flares;
};
extern Sky sky;

// Reads the track's "lighting" file.
void lighting_load(const char* track_path);
// The GL fog state, installed by the renderer (null headless).
extern void (*fog_apply)(const Sky* s);

struct TrackCamera {
    float position[3] = {0, 0, 0};
    float yaw = 0, pitch = 0;
    float yaw_rate = 0, pitch_rate = 0;
    float fov = 90;          // degrees
    float autofovsize = 0;   // feet; 0 = fixed fov
};

// Owned here; replaced by every cameras load.
struct TrackCameras {
    std::vector<TrackCamera> cameras;
    int gate_camera[GATE_MAX];  // camera index per gate number, -1 none
    int current = -1;           // -1: the free camera (the main loop's, kept across tracks)
    bool automatic = false;
    TrackCamera free_camera;
    TrackCameras();
};
extern TrackCameras track_cameras;

void cameras_load(const char* track_path);
// The camera for the gate the rider has to pass next, or -1.
int camera_for_gate(int slot);
// View direction, right and up axes of a yaw and pitch; the rotation's
// columns are right, up and the negated view direction.
void camera_orientation(float yaw, float pitch, float view[3], float right[3], float up[3]);

// ---------------------------------------------------------------------------
// Results and points series

// Writes "@results.txt" and records the event of a running series.
void results_publish();
// The results text (as written), for tests and the results screen.
std::string results_text(long date);

struct SeriesEvent {
    std::string title;
    int track = -1;        // index into the track list
    std::string track_name;
    int settings[2] = {};  // race settings passed to the race set-up
    int moto_points[40] = {};
    int round_points[40] = {};
    std::vector<int> positions;        // per series rider, the player last; R when unclassified
    std::vector<int> round_positions;  // computed
};

struct PointsSeries {
    std::string title;
    std::string path;            // the ".series" data file
    std::string standings_path;  // "@" + series file name + "_standings"
    std::vector<SeriesEvent> events;
    int events_done = 0;
    int robot_skill = 2;         // "Novice", "Amateur", "Expert"
    std::vector<int> rider_numbers;  // R robot riders
};

// Owned here: read at start-up, kept for the run.
struct SeriesState {
    std::vector<PointsSeries> series;
    int running = -1;  // the series whose next event is being raced, -1 none
};
extern SeriesState series_state;

// Parses one ".series" file; false (nothing changed) when it does not parse
// or names a track that is not in `track_names`.
bool series_parse(const char* path, const std::vector<std::string>& track_names, PointsSeries* out);
// Reads every ".series" data file and its standings.
void series_load_all(const std::vector<std::string>& track_names);
void series_read_standings(PointsSeries* s);
bool series_write_standings(const PointsSeries* s);
// Records the finished race as the running series' next event.
void series_record_event();
void series_round_positions(PointsSeries* s);
// "Reset Points".
void series_reset_points(PointsSeries* s);
// The starting-gate slots of a series' riders, in placing order.
std::vector<int> series_slot_table(int riders);

}  // namespace gr
