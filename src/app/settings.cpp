// The settings record: every configuration key with its default, range,
// choices and menu label, the key tables in written order, and the typed
// operations on a Setting.
#include "app/app.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/app_local.h"

namespace gr {

Settings settings;
LaunchOptions launch;

// ---------------------------------------------------------------------------
// Reading numbers the way the file and the command line give them

bool scan_int(const char* text, int32_t* out) {
    if (!text) return false;
    const char* p = text;
    while (isspace(static_cast<unsigned char>(*p))) p++;
    const char* digits = p;
    if (*digits == '+' || *digits == '-') digits++;
    if (!isdigit(static_cast<unsigned char>(*digits))) return false;
    long long v = strtoll(p, nullptr, 10);
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *out = static_cast<int32_t>(v);
    return true;
}

bool scan_double(const char* text, double* out) {
    if (!text) return false;
    char* end = nullptr;
    double v = strtod(text, &end);
    if (end == text || std::isnan(v)) return false;
    *out = v;
    return true;
}

int32_t scan_int_or_zero(const char* text) {
    int32_t v = 0;
    return scan_int(text, &v) ? v : 0;
}

bool less_lower(const char* a, const char* b) {
    for (;; a++, b++) {
        int ca = tolower(static_cast<unsigned char>(*a));
        int cb = tolower(static_cast<unsigned char>(*b));
        if (ca != cb) return ca < cb;
        if (!ca) return false;
    }
}

// ---------------------------------------------------------------------------
// Setting operations

const char* setting_choice_name(const Setting& s) {
    if (s.index < 0 || s.index >= static_cast<int32_t>(s.choices.size())) return "";
    return s.choices[s.index].c_str();
}

bool setting_set_choice(Setting* s, const char* name) {
    for (size_t i = 0; i < s->choices.size(); i++) {
        if (s->choices[i] == name) {
            s->index = static_cast<int32_t>(i);
            return true;
        }
    }
    return false;
}

bool setting_set_number(Setting* s, double v) {
    if (std::isnan(v)) return false;
    if (v < s->minimum) v = s->minimum;
    if (v > s->maximum) v = s->maximum;
    if (s->single_precision) v = static_cast<float>(v);
    s->value = v;
    return true;
}

bool setting_set_text(Setting* s, const char* text) {
    size_t n = strcspn(text, "\r\n");  // a value never spans lines of the file
    if (s->reject_long && n > static_cast<size_t>(s->max_length)) return false;
    if (n > static_cast<size_t>(s->max_length)) n = s->max_length;
    memcpy(s->text, text, n);
    s->text[n] = '\0';
    return true;
}

bool setting_apply_text(Setting* s, const char* value) {
    switch (s->kind) {
    case SETTING_CHOICE:
        return setting_set_choice(s, value);
    case SETTING_NUMBER: {
        double v;
        return scan_double(value, &v) && setting_set_number(s, v);
    }
    case SETTING_TEXT:
        return setting_set_text(s, value);
    case SETTING_BINDING:
        binding_from_text(&s->binding, value);
        return true;
    }
    return false;
}

std::string setting_value_text(const Setting& s) {
    char buf[64];
    switch (s.kind) {
    case SETTING_CHOICE:
        return setting_choice_name(s);
    case SETTING_NUMBER:
        snprintf(buf, sizeof buf, "%f", s.value);
        return buf;
    case SETTING_TEXT:
        return s.text;
    case SETTING_BINDING:
        return binding_to_text(s.binding);
    }
    return "";
}

// ---------------------------------------------------------------------------
// Bikes

const char* const bike_names[BIKE_NAME_COUNT] = {
    "450sxf(2016)", "crf450(2016)", "kx450f(2016)", "rmz450(2016)", "yz450f(2016)",
    "450sxf(2013)", "crf450(2013)", "kx450f(2013)", "rmz450(2013)", "yz450f(2013)",
    "350sxf(2013)", "450sxf(2011)", "crf450(2011)", "kx450f(2011)", "rmz450(2011)",
    "yz450f(2011)", "350sxf(2011)", "250sx(2012)",  "cr250(2007)",  "kx250(2006)",
    "rm250(2008)",  "yz250(2012)",  "250sxf(2016)", "crf250(2016)", "kx250f(2016)",
    "rmz250(2016)", "yz250f(2016)", "250sxf(2013)", "crf250(2013)", "kx250f(2013)",
    "rmz250(2013)", "yz250f(2013)", "250sxf(2009)", "crf250(2009)", "kx250f(2009)",
    "rmz250(2009)", "yz250f(2009)", "crf250(2008)", "kx250f(2008)", "rmz250(2008)",
    "yz250f(2008)", "crf250(2007)", "kx250f(2007)", "rmz250(2007)", "yz250f(2007)",
    "yz250f_se(2006)", "125sx", "cr125", "kx125", "rm125",
    "yz125", "rs50cr", "rs50kx", "rs50rm", "rs50yz",
};

namespace {

// The "Bike Graphics" file prefix of each bike, in the order of bike_names:
// the model name without its year, except where a model shares the graphics
// of another year or family.
const char* const bike_prefixes[BIKE_NAME_COUNT] = {
    "450sxfv2016-", "crf450v2013-", "kx450fv2016-", "rmz450-",      "yz450fv2014-",
    "450sxfv2013-", "crf450v2013-", "kx450f-",      "rmz450-",      "yz450f-",
    "350sxfv2013-", "450sxf-",      "crf450-",      "kx450f-",      "rmz450-",
    "yz450f-",      "350sxf-",      "250sx-",       "cr250-",       "kx250-",
    "rm250-",       "yz250-",       "250sxfv2016-", "crf250v2014-", "kx250fv2013-",
    "rmz250v2010-", "yz250fv2014-", "250sxfv2013-", "crf250v2010-", "kx250fv2013-",
    "rmz250v2010-", "yz250fv2010-", "250sxf-",      "crf250-",      "kx250f-",
    "rmz250-",      "yz250f-",      "crf250-",      "kx250f-",      "rmz250-",
    "yz250f-",      "crf250-",      "kx250f-",      "rmz250-",      "yz250f-",
    "yz250f_se-",   "125sx-",       "cr125-",       "kx125-",       "rm125-",
    "yz125-",       "cr125-",       "kx125-",       "rm125-",       "yz125-",
};

}  // namespace

const char* bike_texture_prefix(const char* bike_name) {
    for (int i = 0; i < BIKE_NAME_COUNT; i++)
        if (strcmp(bike_names[i], bike_name) == 0) return bike_prefixes[i];
    return nullptr;
}

// ---------------------------------------------------------------------------
// Defaults

namespace {

const char* const no_yes[] = {"No", "Yes"};

void make_choice(Setting* s, const char* key, const char* label,
                 std::initializer_list<const char*> names, const char* def) {
    *s = Setting{};
    s->kind = SETTING_CHOICE;
    s->key = key;
    s->label = label;
    for (const char* n : names) s->choices.push_back(n);
    setting_set_choice(s, def);
}

void make_yes_no(Setting* s, const char* key, const char* label, const char* def) {
    make_choice(s, key, label, {no_yes[0], no_yes[1]}, def);
}

void make_number(Setting* s, const char* key, const char* label, double def, double lo,
                 double hi, double step) {
    *s = Setting{};
    s->kind = SETTING_NUMBER;
    s->key = key;
    s->label = label;
    s->value = def;
    s->minimum = lo;
    s->maximum = hi;
    s->step = step;
}

void make_text(Setting* s, const char* key, const char* label, int max_length, const char* def) {
    *s = Setting{};
    s->kind = SETTING_TEXT;
    s->key = key;
    s->label = label;
    s->max_length = max_length;
    setting_set_text(s, def);
}

void make_texture_choice(Setting* s, const char* key, const char* label) {
    make_choice(s, key, label, {"default"}, "default");
    s->choice_files = {""};
}

struct ControlRow {
    const char* label;
    const char* key;
    const char* default_key;
};

const ControlRow control_rows[CONTROL_COUNT] = {
    {"Throttle", "throttle_key", "x"},
    {"Front Brake", "front_brake_key", "c"},
    {"Rear Brake", "rear_brake_key", "v"},
    {"Left", "left_key", "left"},
    {"Right", "right_key", "right"},
    {"Clutch", "clutch_key", "z"},
    {"Upshift", "upshift_key", "up"},
    {"Downshift", "downshift_key", "down"},
    {"Sit/Dab", "dab_key", "right ctrl"},
    {"Back up", "back_up_key", "b"},
    {"Lean Forward", "lean_forward_key", "n"},
    {"Lean Backward", "lean_backward_key", "m"},
    {"Pause", "pause_key", "pause"},
    {"Step", "step_key", "."},
    {"Rewind", "rewind_key", "\\"},
    {"Skip", "skip_key", "/"},
    {"Previous Bike", "prev_key", "["},
    {"Next Bike", "next_key", "]"},
    {"Chat", "console_key", "t"},
    {"Screenshot", "screenshot_key", "s"},
};

// Key and label texts of the numbered settings, made once.
struct NumberedNames {
    char slot_keys[GRID_SLOTS][8];
    char slot_labels[GRID_SLOTS][10];
    char hist_keys[RECENT_SERVERS][20];
    NumberedNames() {
        for (int i = 0; i < GRID_SLOTS; i++) {
            snprintf(slot_keys[i], sizeof slot_keys[i], "slot%02d", i);
            snprintf(slot_labels[i], sizeof slot_labels[i], "Gate %d", i + 1);
        }
        for (int i = 0; i < RECENT_SERVERS; i++)
            snprintf(hist_keys[i], sizeof hist_keys[i], "server_name_hist%02d", i);
    }
};
const NumberedNames& numbered_names() {
    static const NumberedNames names;
    return names;
}

// The race server a fresh installation offers; a server run on this machine.
const char* const default_server_name = "localhost";

void reset_bike_setup(Settings& s) {
    Setting* bike = &s.bike;
    make_choice(bike, "bike", "Bike", {}, "");
    for (const char* n : bike_names) bike->choices.push_back(n);
    setting_set_choice(bike, "450sxf(2016)");
    make_text(&s.name, "name", "Name", 63, "Joe Motocross");
    make_text(&s.number, "number", "Number", 3, "999");
    make_texture_choice(&s.rider_texture, "rider_texture", "Riding Gear");
    make_texture_choice(&s.head_texture, "head_texture", "Helmet");
    make_texture_choice(&s.bike_texture, "bike_texture", "Bike Graphics");
    make_texture_choice(&s.wheel_texture, "wheel_texture", "Wheel Graphics");
    make_number(&s.stability, "stability", "Stability", 100, 0, 100, 1);
    make_number(&s.leveling, "leveling", "Leveling", 20, 0, 100, 1);
    make_number(&s.roll_damping, "roll_damping", "Roll Damping", 80, 0, 100, 1);
    make_number(&s.roll_limit_angle, "roll_limit_angle", "Roll Limit Angle", 35, 0, 180, 1);
    make_number(&s.roll_limit_factor, "roll_limit_factor", "Roll Limit Factor", 32, 0, 64, 1);
    make_number(&s.steering_damping, "steering_damping", "Steering Damping", 45, 0, 100, 1);
    make_number(&s.steering_strength, "steering_strength", "Steering Strength", 75, 0, 100, 1);
    make_number(&s.max_steering_force, "max_steering_force", "Max Steering Force", 400, 0, 1000, 5);
    make_number(&s.direct_steering, "direct_steering", "Direct Steering", 0, 0, 1, 0.125);
    make_number(&s.slow_damping_speed, "slow_damping_speed", "Slow Damping Speed", 40, 0, 100, 1);
    make_number(&s.slow_damping_factor, "slow_damping_factor", "Slow Damping Factor", 2, 1, 10, 0.25);
    make_number(&s.land_damping_falloff, "land_damping_falloff", "Landing Damping Falloff", 0.25, 0,
                0.5, 0.0625);
    make_number(&s.land_damping_factor, "land_damping_factor", "Landing Damping Factor", 2, 1, 3,
                0.25);
    make_number(&s.full_lock_speed, "full_lock_speed", "Full Lock Speed", 10, 1, 100, 1);
    make_number(&s.restricted_lock_speed, "restricted_lock_speed", "Restricted Lock Speed", 50, 1,
                100, 1);
    make_number(&s.restricted_lock, "restricted_lock", "Restricted Lock Angle", 5, 0, 45, 0.125);
    make_yes_no(&s.arcade, "arcade", "Arcade Physics", "Yes");
    make_choice(&s.front_brake, "front_brake", "Front Brake", {"Normal", "Antilock"}, "Antilock");
    make_choice(&s.rear_brake, "rear_brake", "Rear Brake", {"Normal", "Antilock"}, "Normal");
    make_choice(&s.stop_wheelies, "stop_wheelies", "Stop Wheelies", {"No", "Yes", "Front Only"},
                "No");
    make_yes_no(&s.auto_shift, "auto_shift", "Automatic Shifting", "Yes");
    make_yes_no(&s.auto_dab, "auto_dab", "Dab When Stopped", "Yes");
    make_yes_no(&s.auto_align, "auto_align", "Realign After Fall", "Yes");
    make_yes_no(&s.sticky_dab, "sticky_dab", "Sticky Sit/Dab", "No");
    make_yes_no(&s.reverse_steering, "reverse_steering", "Reversed Steering", "Yes");
    make_yes_no(&s.lean_indicator, "lean_indicator", "Lean Indicator", "Yes");
    make_number(&s.auto_clutch_rpms, "auto_clutch_rpms", "Auto Clutch RPMs", 5000, 0, 5000, 100);
    make_number(&s.brake_torque, "brake_torque", "Braking Torque (Front)", 250, 0, 500, 10);
    make_number(&s.rear_brake_torque, "rear_brake_torque", "Braking Torque (Rear)", 250, 0, 500, 10);
    make_number(&s.max_dab_speed, "max_dab_speed", "Max Dab Speed (MPH)", 20, 5, 60, 1);
    make_number(&s.front_sprocket_adjustment, "front_sprocket_adjustment", "Countershaft Sprocket", 0,
                -2, 2, 1);
    make_number(&s.rear_sprocket_adjustment, "rear_sprocket_adjustment", "Rear Sprocket", 0, -2, 2, 1);
    struct Adjust {
        Setting* s;
        const char* key;
        const char* label;
    };
    const Adjust adjustments[] = {
        {&s.fork_compression_adjustment, "fork_compression_adjustment",
         "Fork High Speed Compression Damping"},
        {&s.fork_slow_compression_adjustment, "fork_slow_compression_adjustment",
         "Fork Low Speed Compression Damping"},
        {&s.fork_rebound_adjustment, "fork_rebound_adjustment", "Fork High Speed Rebound Damping"},
        {&s.fork_slow_rebound_adjustment, "fork_slow_rebound_adjustment",
         "Fork Low Speed Rebound Damping"},
        {&s.fork_spring_rate_adjustment, "fork_spring_rate_adjustment", "Fork Spring Rate"},
        {&s.fork_preload_adjustment, "fork_preload_adjustment", "Fork Preload"},
        {&s.fork_oil_level_adjustment, "fork_oil_level_adjustment", "Fork Oil Level"},
        {&s.shock_compression_adjustment, "shock_compression_adjustment",
         "Shock High Speed Compression Damping"},
        {&s.shock_slow_compression_adjustment, "shock_slow_compression_adjustment",
         "Shock Low Speed Compression Damping"},
        {&s.shock_rebound_adjustment, "shock_rebound_adjustment", "Shock High Speed Rebound Damping"},
        {&s.shock_slow_rebound_adjustment, "shock_slow_rebound_adjustment",
         "Shock Low Speed Rebound Damping"},
        {&s.shock_spring_rate_adjustment, "shock_spring_rate_adjustment", "Shock Spring Rate"},
        {&s.shock_preload_adjustment, "shock_preload_adjustment", "Shock Preload"},
        {&s.rider_yspring, "rider_yspring", "Rider Vertical Spring"},
        {&s.rider_ydamping, "rider_ydamping", "Rider Vertical Damping"},
        {&s.rider_zspring, "rider_zspring", "Rider Forward Spring"},
        {&s.rider_zdamping, "rider_zdamping", "Rider Forward Damping"},
    };
    for (const Adjust& a : adjustments) make_number(a.s, a.key, a.label, 50, 0, 100, 1);
    make_number(&s.rider_mass_distribution, "rider_mass_distribution", "Rider Mass Distribution",
                0.33, 0.33, 0.5, 0.01);
}

void reset_general(Settings& s) {
    const NumberedNames& nn = numbered_names();
    s.window_width = 640;
    s.window_height = 480;
    s.draw_fps = 0;
    s.draw_time = 0;
    s.draw_ping = 1;
    s.spy = 0;
    make_text(&s.track, "track", nullptr, SETTING_TEXT_CHARS - 1, "redmesa");
    make_yes_no(&s.record, "record", "Record Demo", "No");
    make_choice(&s.skill, "skill", "Robot Skill", {"Novice", "Amateur", "Expert"}, "Novice");
    make_number(&s.minutes, "minutes", "Minutes", 0, 0, 60, 1);
    make_number(&s.laps, "laps", "Laps", 5, 0, 50, 1);
    for (int i = 0; i < GRID_SLOTS; i++) {
        const char* def = (i == 19) ? "Human"
                          : (i == 17 || i == 18 || (i >= 20 && i <= 22)) ? "Robot"
                                                                         : "Empty";
        make_choice(&s.slots[i], nn.slot_keys[i], nn.slot_labels[i],
                    {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"}, def);
    }
    make_number(&s.ghost_fade_distance, "ghost_fade_distance", "Ghost Fade Distance", 10, 0, 40, 1);
    make_yes_no(&s.time_trial_abort, "time_trial_abort", "Backing Up Aborts Attempt", "Yes");
    make_choice(&s.video_mode, "video_mode", "Video Mode", {"Default Fullscreen", "Windowed"},
                "Default Fullscreen");
    make_text(&s.server_name, "server_name", "Server", 127, default_server_name);
    for (int i = 0; i < RECENT_SERVERS; i++) {
        make_text(&s.server_name_hist[i], nn.hist_keys[i], nullptr, 126, "");
        s.server_name_hist[i].reject_long = true;
    }
    make_number(&s.ground_detail, "ground_detail", "Ground Geometric Detail", 50, 0, 100, 1);
    make_number(&s.ground_texture_detail, "ground_texture_detail", "Ground Texture Levels", 9, 0, 10,
                1);
    make_choice(&s.ground_texture_dim, "ground_texture_dim", "Ground Texture Resolution",
                {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"}, "128x128");
    make_yes_no(&s.ground_mipmaps, "ground_mipmaps", "Enable Ground Mipmaps", "Yes");
    make_choice(&s.texture_compress, "texture_compress", "Compress Textures", {"No", "Yes", "Always"},
                "Yes");
    make_choice(&s.render_texture, "render_texture", "Terrain Rendering Method",
                {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy", "Shaders/Direct"},
                "Hardware/Direct");
    make_yes_no(&s.use_shader, "use_shader", "Use Shader Programs", "Yes");
    make_number(&s.roost_density, "roost_density", "Roost Density", 250, 0, 1000, 10);
    make_yes_no(&s.lens_flare, "lens_flare", "Enable Lens Flares", "Yes");
    make_yes_no(&s.reflections, "reflections", "Enable Reflections", "Yes");
    make_yes_no(&s.hide_rider, "hide_rider", "Hide 1st Person Rider", "No");
    make_yes_no(&s.rigid_camera, "rigid_camera", "Rigid 3rd person camera", "No");
    make_number(&s.model_detail, "model_detail", "Model Geometric Detail", 50, 0, 100, 1);
    make_number(&s.model_texture_detail, "model_texture_detail", "Model Texture Detail", 9, 0, 10, 1);
    make_number(&s.fov, "fov", "Field Of View", 110, 10, 170, 1);
    make_number(&s.first_person_height, "first_person_height", "1st Person Height", 0, 0, 1, 0.03125);
    make_number(&s.first_person_angle, "first_person_angle", "1st Person Angle", 0, 0, 40, 1);
    make_number(&s.third_person_height, "third_person_height", "3rd Person Height", 5, 0, 20, 1);
    make_number(&s.third_person_distance, "third_person_distance", "3rd Person Distance", 10, 5, 40,
                1);
    make_number(&s.volume, "volume", "Volume", 10, 0, 10, 1);
    make_number(&s.comp_volume, "comp_volume", "Competitor Volume", 8, 0, 10, 1);
    make_choice(&s.playback_mode, "playback_mode", "Playback Mode", {"Playback Only", "Race Against"},
                "Playback Only");
    s.billboard_optimize_lookahead = 8;
    s.message_lines = 5;
    s.demo_backups = 0;
    make_number(&s.map_scale, "map_scale", nullptr, 1.0, 0.125, 8, 0);
    s.map_scale.single_precision = true;
    for (int i = 0; i < CONTROL_COUNT; i++) {
        Setting* c = &s.controls[i];
        *c = Setting{};
        c->kind = SETTING_BINDING;
        c->key = control_rows[i].key;
        c->label = control_rows[i].label;
        c->binding.label = control_rows[i].label;
        c->binding.key_name = control_rows[i].default_key;
    }
}

void reset_runtime(Settings& s) {
    s.flat_shading = 0;
    s.no_vertex_arrays = 0;
    s.debug_level = 0;
    s.practice_mode = 0;
    s.warp = 0;
    s.erode_rate = 0.0f;
    // Full terrain detail out to this distance (feet); "--max-detail-distance".
    s.max_detail_distance = 50.0f;
    s.max_detail_fade = s.max_detail_distance + 5.0f;
    s.draw_render_stats = 0;
    s.accurate_skip = 0;
    s.editor_enabled = 0;
    s.learn_lines = 0;
    s.fake_lag = 0.0;
    s.fake_loss = 0;
    s.rotate_lineup = 0;
    s.print_orientation = 0;
    s.start_track.reset();
    s.connect_host.reset();
    s.connect_password.reset();
    s.demo_file.reset();
}

}  // namespace

void video_mode_choices_set(const std::vector<std::pair<int, int>>& sizes) {
    Setting* s = &settings.video_mode;
    std::string current = setting_choice_name(*s);
    s->choices = {"Default Fullscreen", "Windowed"};
    for (const auto& [w, h] : sizes) s->choices.push_back(std::to_string(w) + "x" + std::to_string(h));
    s->index = 0;
    setting_set_choice(s, current.c_str());
}

void settings_reset() {
    reset_general(settings);
    reset_bike_setup(settings);
    reset_runtime(settings);
    launch = LaunchOptions{};
    derive_graphics_settings(GraphicsOverrides{});
}

// ---------------------------------------------------------------------------
// Key tables

const std::vector<ConfigKey>& general_keys() {
    static const std::vector<ConfigKey> keys = [] {
        Settings& s = settings;
        const NumberedNames& nn = numbered_names();
        std::vector<ConfigKey> k;
        auto integer = [&k](const char* key, int32_t* v) { k.push_back({key, nullptr, v}); };
        auto setting = [&k](const char* key, Setting* v) { k.push_back({key, v, nullptr}); };
        integer("xres", &s.window_width);
        integer("yres", &s.window_height);
        integer("draw_fps", &s.draw_fps);
        integer("draw_time", &s.draw_time);
        integer("draw_ping", &s.draw_ping);
        integer("spy", &s.spy);
        setting("track", &s.track);
        setting("record", &s.record);
        setting("skill", &s.skill);
        setting("minutes", &s.minutes);
        setting("laps", &s.laps);
        for (int i = 0; i < GRID_SLOTS; i++) setting(nn.slot_keys[i], &s.slots[i]);
        setting("ghost_fade_distance", &s.ghost_fade_distance);
        setting("time_trial_abort", &s.time_trial_abort);
        setting("video_mode", &s.video_mode);
        setting("server_name", &s.server_name);
        for (int i = 0; i < RECENT_SERVERS; i++) setting(nn.hist_keys[i], &s.server_name_hist[i]);
        setting("ground_detail", &s.ground_detail);
        setting("ground_texture_detail", &s.ground_texture_detail);
        setting("ground_texture_dim", &s.ground_texture_dim);
        setting("ground_mipmaps", &s.ground_mipmaps);
        setting("texture_compress", &s.texture_compress);
        setting("render_texture", &s.render_texture);
        setting("use_shader", &s.use_shader);
        setting("roost_density", &s.roost_density);
        setting("lens_flare", &s.lens_flare);
        setting("reflections", &s.reflections);
        setting("hide_rider", &s.hide_rider);
        setting("rigid_camera", &s.rigid_camera);
        setting("model_detail", &s.model_detail);
        setting("model_texture_detail", &s.model_texture_detail);
        setting("fov", &s.fov);
        setting("first_person_height", &s.first_person_height);
        setting("first_person_angle", &s.first_person_angle);
        setting("third_person_height", &s.third_person_height);
        setting("third_person_distance", &s.third_person_distance);
        setting("volume", &s.volume);
        setting("comp_volume", &s.comp_volume);
        setting("playback_mode", &s.playback_mode);
        integer("billboard_optimize_lookahead", &s.billboard_optimize_lookahead);
        integer("message_lines", &s.message_lines);
        integer("demo_backups", &s.demo_backups);
        setting("map_scale", &s.map_scale);
        for (int i = 0; i < CONTROL_COUNT; i++) setting(control_rows[i].key, &s.controls[i]);
        return k;
    }();
    return keys;
}

const std::vector<ConfigKey>& bike_keys() {
    static const std::vector<ConfigKey> keys = [] {
        Settings& s = settings;
        Setting* order[] = {
            &s.bike, &s.name, &s.number, &s.rider_texture, &s.head_texture, &s.bike_texture,
            &s.wheel_texture, &s.stability, &s.leveling, &s.roll_damping, &s.roll_limit_angle,
            &s.roll_limit_factor, &s.steering_damping, &s.steering_strength,
            &s.max_steering_force, &s.direct_steering, &s.slow_damping_speed,
            &s.slow_damping_factor, &s.land_damping_falloff, &s.land_damping_factor,
            &s.full_lock_speed, &s.restricted_lock_speed, &s.restricted_lock, &s.arcade,
            &s.front_brake, &s.rear_brake, &s.stop_wheelies, &s.auto_shift, &s.auto_dab,
            &s.auto_align, &s.sticky_dab, &s.reverse_steering, &s.lean_indicator,
            &s.auto_clutch_rpms, &s.brake_torque, &s.rear_brake_torque, &s.max_dab_speed,
            &s.front_sprocket_adjustment, &s.rear_sprocket_adjustment,
            &s.fork_compression_adjustment, &s.fork_slow_compression_adjustment,
            &s.fork_rebound_adjustment, &s.fork_slow_rebound_adjustment,
            &s.fork_spring_rate_adjustment, &s.fork_preload_adjustment,
            &s.fork_oil_level_adjustment, &s.shock_compression_adjustment,
            &s.shock_slow_compression_adjustment, &s.shock_rebound_adjustment,
            &s.shock_slow_rebound_adjustment, &s.shock_spring_rate_adjustment,
            &s.shock_preload_adjustment, &s.rider_yspring, &s.rider_ydamping, &s.rider_zspring,
            &s.rider_zdamping, &s.rider_mass_distribution,
        };
        std::vector<ConfigKey> k;
        static const char* const names[] = {
            "bike", "name", "number", "rider_texture", "head_texture", "bike_texture",
            "wheel_texture", "stability", "leveling", "roll_damping", "roll_limit_angle",
            "roll_limit_factor", "steering_damping", "steering_strength", "max_steering_force",
            "direct_steering", "slow_damping_speed", "slow_damping_factor", "land_damping_falloff",
            "land_damping_factor", "full_lock_speed", "restricted_lock_speed", "restricted_lock",
            "arcade", "front_brake", "rear_brake", "stop_wheelies", "auto_shift", "auto_dab",
            "auto_align", "sticky_dab", "reverse_steering", "lean_indicator", "auto_clutch_rpms",
            "brake_torque", "rear_brake_torque", "max_dab_speed", "front_sprocket_adjustment",
            "rear_sprocket_adjustment", "fork_compression_adjustment",
            "fork_slow_compression_adjustment", "fork_rebound_adjustment",
            "fork_slow_rebound_adjustment", "fork_spring_rate_adjustment",
            "fork_preload_adjustment", "fork_oil_level_adjustment", "shock_compression_adjustment",
            "shock_slow_compression_adjustment", "shock_rebound_adjustment",
            "shock_slow_rebound_adjustment", "shock_spring_rate_adjustment",
            "shock_preload_adjustment", "rider_yspring", "rider_ydamping", "rider_zspring",
            "rider_zdamping", "rider_mass_distribution",
        };
        static_assert(sizeof names / sizeof names[0] == sizeof order / sizeof order[0]);
        for (size_t i = 0; i < sizeof order / sizeof order[0]; i++) k.push_back({names[i], order[i], nullptr});
        return k;
    }();
    return keys;
}

// ---------------------------------------------------------------------------
// Stability preset

void stability_preset(int stability) {
    struct Row {
        Setting* s;
        double at[6];  // stability 0, 20, 40, 60, 80, 100
    };
    Settings& s = settings;
    const Row rows[] = {
        {&s.leveling, {20, 20, 20, 20, 20, 20}},
        {&s.roll_damping, {40, 50, 60, 70, 75, 80}},
        {&s.roll_limit_angle, {90, 45, 45, 40, 35, 35}},
        {&s.roll_limit_factor, {0, 5, 10, 32, 32, 32}},
        {&s.steering_damping, {45, 45, 45, 45, 45, 45}},
        {&s.steering_strength, {75, 75, 75, 75, 75, 75}},
        {&s.max_steering_force, {400, 400, 400, 400, 400, 400}},
        {&s.direct_steering, {1, 1, 1, 1, 1, 0}},
        {&s.slow_damping_speed, {40, 40, 40, 40, 40, 40}},
        {&s.slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
        {&s.land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
        {&s.land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
        {&s.full_lock_speed, {10, 10, 10, 10, 10, 10}},
        {&s.restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
        {&s.restricted_lock, {45, 15, 10, 5, 5, 5}},
    };
    double level = stability * 5 * 0.01;
    if (level < 0) level = 0;
    if (level > 5) level = 5;
    int i = static_cast<int>(std::floor(level));
    if (i > 4) i = 4;
    double f = level - i;
    for (const Row& r : rows) r.s->value = r.at[i] + f * (r.at[i + 1] - r.at[i]);
}

}  // namespace gr
