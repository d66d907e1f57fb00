// The application core: the settings record and its typed Setting objects,
// the configuration file and bike setup files, control bindings as stored
// text, the command line, the track/demo/series lists and the start-up and
// shutdown frame of the program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gr {

struct DataFile;
struct PlixAxis;

// ---------------------------------------------------------------------------
// Control bindings

enum { CONTROL_COUNT = 20 };

// One control's binding: a key or button by name, or an axis with its
// calibrated range, never both; with neither the control is unbound.
struct Binding {
    const char* label = nullptr;  // the control's name on the controls screen
    std::string key_name;         // bound key or button; empty when none
    uint32_t key_code = 0;        // event code, resolved once the window is open
    std::string axis_name;        // bound axis; empty when none
    PlixAxis* axis = nullptr;     // the open axis, once resolved
    float low = 0.0f;             // axis position at which the control is 0
    float high = 1.0f;            // axis position at which the control is 1
    int32_t row[4] = {0, 0, 0, 0};  // where the controls screen last drew the row
};

// Clears the binding and fills it from a stored value: "(k)NAME" or a bare
// NAME binds a key, "(LOW,HIGH)NAME" an axis. An empty name leaves it unbound.
void binding_from_text(Binding* b, const char* text);

// The stored value ("(k)NAME" or "(LOW,HIGH)NAME"), or "" when unbound.
std::string binding_to_text(const Binding& b);

bool binding_is_bound(const Binding& b);

// ---------------------------------------------------------------------------
// Setting: one typed value that the file, the menus and the console share

enum SettingKind : uint8_t {
    SETTING_CHOICE,
    SETTING_NUMBER,
    SETTING_TEXT,
    SETTING_BINDING,
};

enum { SETTING_TEXT_CHARS = 128 };

struct Setting {
    SettingKind kind = SETTING_CHOICE;
    const char* key = nullptr;    // configuration key
    const char* label = nullptr;  // menu text; null when there is no menu row

    // choice
    std::vector<std::string> choices;
    std::vector<std::string> choice_files;  // texture lists only: "@..." per choice, "" for "default"
    int32_t index = 0;                      // current choice

    // number
    double value = 0.0;
    double step = 0.0;     // menu step
    double minimum = 0.0;
    double maximum = 0.0;
    bool single_precision = false;  // value is kept as a 32-bit float

    // text
    int max_length = 0;        // characters kept
    bool reject_long = false;  // a longer value is refused instead of cut
    char text[SETTING_TEXT_CHARS] = {};

    // binding
    Binding binding;
};

// The current choice's name ("" when the list is empty).
const char* setting_choice_name(const Setting& s);
// Selects the choice with exactly this name; false (unchanged) when none has it.
bool setting_set_choice(Setting* s, const char* name);
// Sets a number, clamped into [minimum, maximum] (NaN is refused).
bool setting_set_number(Setting* s, double v);
// Copies text up to max_length characters, stopping at a line end.
bool setting_set_text(Setting* s, const char* text);
// Applies a value as the configuration file gives it; false when it is refused.
bool setting_apply_text(Setting* s, const char* value);
// The value as it is written to the file (bindings: "" when unbound).
std::string setting_value_text(const Setting& s);

// ---------------------------------------------------------------------------
// Bike names and texture prefixes

enum { BIKE_NAME_COUNT = 55 };
extern const char* const bike_names[BIKE_NAME_COUNT];
// The prefix of the bike's "Bike Graphics" texture files ("cr250-"), or null
// for a name that is not a bike.
const char* bike_texture_prefix(const char* bike_name);

// ---------------------------------------------------------------------------
// The settings record

enum { GRID_SLOTS = 40, RECENT_SERVERS = 16 };

// Process-wide; owned by the application core, filled with defaults by
// settings_reset at start-up, then by the configuration file and the command line.
struct Settings {
    // Integer keys of the configuration file.
    int32_t window_width;   // "xres"
    int32_t window_height;  // "yres"
    int32_t draw_fps;
    int32_t draw_time;
    int32_t draw_ping;
    int32_t spy;
    int32_t billboard_optimize_lookahead;
    int32_t message_lines;
    int32_t demo_backups;

    // General settings.
    Setting track, record, skill, minutes, laps;
    Setting slots[GRID_SLOTS];
    Setting ghost_fade_distance, time_trial_abort;
    Setting video_mode, server_name;
    Setting server_name_hist[RECENT_SERVERS];  // the recent-server list, newest first
    Setting ground_detail, ground_texture_detail, ground_texture_dim, ground_mipmaps;
    Setting texture_compress, render_texture, use_shader, roost_density, lens_flare;
    Setting reflections, hide_rider, rigid_camera, model_detail, model_texture_detail;
    Setting fov, first_person_height, first_person_angle, third_person_height;
    Setting third_person_distance, volume, comp_volume, playback_mode;
    Setting map_scale;
    Setting controls[CONTROL_COUNT];  // the binding keys, in controls-screen order

    // Bike setup.
    Setting bike, name, number;
    Setting rider_texture, head_texture, bike_texture, wheel_texture;
    Setting stability, leveling, roll_damping, roll_limit_angle, roll_limit_factor;
    Setting steering_damping, steering_strength, max_steering_force, direct_steering;
    Setting slow_damping_speed, slow_damping_factor, land_damping_falloff;
    Setting land_damping_factor, full_lock_speed, restricted_lock_speed, restricted_lock;
    Setting arcade, front_brake, rear_brake, stop_wheelies, auto_shift, auto_dab;
    Setting auto_align, sticky_dab, reverse_steering, lean_indicator;
    Setting auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed;
    Setting front_sprocket_adjustment, rear_sprocket_adjustment;
    Setting fork_compression_adjustment, fork_slow_compression_adjustment;
    Setting fork_rebound_adjustment, fork_slow_rebound_adjustment;
    Setting fork_spring_rate_adjustment, fork_preload_adjustment, fork_oil_level_adjustment;
    Setting shock_compression_adjustment, shock_slow_compression_adjustment;
    Setting shock_rebound_adjustment, shock_slow_rebound_adjustment;
    Setting shock_spring_rate_adjustment, shock_preload_adjustment;
    Setting rider_yspring, rider_ydamping, rider_zspring, rider_zdamping;
    Setting rider_mass_distribution;

    // Runtime values: derived from the settings above or set on the command line.
    int flat_shading;
    int no_vertex_arrays;
    int debug_level;  // 0 none, 1 debug logging, 2 more logging
    int practice_mode;
    int warp;
    int model_texture_level;
    int ground_texture_level;
    int ground_texture_size;  // texels
    int roost_frequency;
    float erode_rate;
    float ground_detail_scale;
    float max_detail_distance;
    float max_detail_fade;
    float lod_scale;
    float lod_bias;
    int draw_render_stats;
    int accurate_skip;
    int editor_enabled;
    int learn_lines;
    double fake_lag;  // seconds
    int fake_loss;    // percent
    int rotate_lineup;
    int print_orientation;
    std::optional<std::string> start_track;
    std::optional<std::string> connect_host;
    std::optional<std::string> connect_password;
    std::optional<std::string> demo_file;
};
extern Settings settings;

// Start-up options that are not kept in the file. Reset by settings_reset.
struct LaunchOptions {
    bool no_sound = false;
    float lock_fps = 0.0f;  // 0 = off
    std::optional<std::string> record_audio_file;
    bool record_video = false;
    bool show_paused = true;
    bool show_hud = true;
    int colour_bits = 16;
    int depth_bits = 16;
    float chase_center[3] = {0.0f, 2.52f, 0.52f};
    bool gl_finish = false;
    bool ignore_mmx = false;  // "--nommx"
};
extern LaunchOptions launch;

// Offers "Default Fullscreen", "Windowed" and one "WIDTHxHEIGHT" entry per
// display mode as the video modes; the current choice is kept when the new
// list still has it.
void video_mode_choices_set(const std::vector<std::pair<int, int>>& sizes);

// Puts every setting, runtime value and launch option back to its default
// (the texture lists hold only "default" until texture_lists_rebuild).
void settings_reset();

// The configuration keys in written order. An entry names either a Setting or
// an integer field. The bike block sits between time_trial_abort and video_mode.
struct ConfigKey {
    const char* key;
    Setting* setting;  // null for an integer key
    int32_t* integer;  // null for a Setting
};
const std::vector<ConfigKey>& general_keys();  // without the bike block
const std::vector<ConfigKey>& bike_keys();

// ---------------------------------------------------------------------------
// Stability preset and texture lists

// Sets the fifteen riding-assist values from leveling to restricted_lock for
// a stability value (0..100).
void stability_preset(int stability);

// Texture choices for a file-name prefix: "default" (no file) first, then one
// choice per matching ".png" or ".png.scram" data file.
struct TextureChoices {
    std::vector<std::string> names;
    std::vector<std::string> files;  // "" for "default"
};
TextureChoices texture_choices(const char* prefix);

// Rebuilds the riding gear, helmet, bike graphics and wheel graphics lists.
void texture_lists_rebuild();
// Rebuilds the bike graphics list for the current bike and selects "default".
void bike_graphics_rebuild();

// ---------------------------------------------------------------------------
// Configuration file and bike setup files

// Applies one bike-setup key and value; true when the key is a bike key.
bool setup_apply_line(const char* key, const char* value);
// Applies one line of the configuration file ("key=value" with its line end).
void config_apply_line(const char* line);
// Reads "@config"; a missing file leaves the settings as they are.
void config_read();
// Writes every key to "@config", replacing the old file whole; false when the
// file could not be written (the old one is then untouched).
bool config_write();
// Writes the bike setup block to an open stream.
void setup_write(DataFile* f);
void config_write_to(DataFile* f);

// The "writesetup" and "readsetup" commands: write the bike block to
// "@setups/NAME", or apply the bike keys of that file; both answer with msg_print.
bool setup_file_write(const char* name);
bool setup_file_read(const char* name);

// ---------------------------------------------------------------------------
// Graphics values derived from the settings

// The command-line values that replace derived ones.
struct GraphicsOverrides {
    std::optional<int> model_texture_level;
    std::optional<int> ground_texture_level;
    std::optional<int> roost_frequency;
    std::optional<float> ground_detail_scale;
    std::optional<float> lod_scale;
    std::optional<float> lod_bias;
};

// Computes the runtime graphics values from the settings, then applies the overrides.
void derive_graphics_settings(const GraphicsOverrides& overrides);

// ---------------------------------------------------------------------------
// Command line

enum CommandLineResult {
    COMMAND_LINE_OK,         // go on with start-up
    COMMAND_LINE_FAILED,     // a message was written; exit with status 1
    COMMAND_LINE_OPEN_HOME,  // "--open-home": show the home folder, exit with status 0
};

// Parses argv[1..argc-1] into `settings` and `launch`; values that replace
// derived graphics values go to `overrides`. Text meant for standard error
// is appended to `err`.
CommandLineResult parse_command_line(int argc, const char* const* argv,
                                     GraphicsOverrides* overrides, std::string* err);

// Makes `host` the newest recent server unless it is empty or already newest.
void recent_servers_push(const char* host);

// ---------------------------------------------------------------------------
// Lists built at start-up

struct TrackEntry {
    std::string dir;   // data path prefix of the track directory
    std::string name;  // display name
};
struct DemoEntry {
    std::string path;  // "@demos/..."
    std::string name;  // file name without directories and last extension
};
struct SeriesEntry {
    std::string path;  // "@....series"
};

// Owned by the application core from start-up to shutdown.
struct AppLists {
    std::vector<TrackEntry> tracks;
    std::vector<DemoEntry> demos;
    std::vector<SeriesEntry> series;
    int current_track = -1;  // index into tracks, -1 for none
};
extern AppLists app_lists;

std::vector<TrackEntry> build_track_list();
std::vector<DemoEntry> build_demo_list();
std::vector<SeriesEntry> build_series_list();
// The index of the track the program starts on, or -1.
int choose_start_track(const std::vector<TrackEntry>& tracks);

// ---------------------------------------------------------------------------
// Fixed shape files

enum { FIXED_FILE_COUNT = 7, ACCEPTED_FIXED_DIGESTS = 3 };
extern const char* const fixed_file_names[FIXED_FILE_COUNT];
// The digests of the standard shape files that count as unmodified. Empty
// entries accept nothing.
extern const char* const accepted_fixed_digests[ACCEPTED_FIXED_DIGESTS];

// RIPEMD-160 over the fixed shape files in order (missing files are skipped),
// as 40 lower-case hex digits.
void fixed_files_digest(char out[41]);

// ---------------------------------------------------------------------------
// Start-up and shutdown

// Process-wide start-up facts; set during start-up.
struct AppState {
    bool fixed_files_match = false;  // the shape files are a release's own
    bool cpu_has_mmx = false;
    int recent_server_marks[RECENT_SERVERS] = {};  // kept beside the recent-server list
    bool physics_open = false;  // the physics library is initialised and the world made
};
extern AppState app_state;

// Start-up from the version line to the first race (the physics world, then
// a robot in slot 0 on the start track). Returns -1 to go on, else the status
// to exit with (messages already written to `err`).
int app_startup(int argc, const char* const* argv, FILE* err);
// Shutdown in order: frees the race, closes the physics library, deletes the
// textures and models, writes the configuration back and frees the lists.
void app_shutdown();
// The whole program.
int app_main(int argc, const char* const* argv);

}  // namespace gr
