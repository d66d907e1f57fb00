// The command line: long options, matched in table order, each with its value
// given as the next argument or joined with "=", and at most one demo file.
#include <cmath>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/app_local.h"
#include "data/data.h"

namespace gr {

namespace {

struct Parse {
    GraphicsOverrides* overrides;
    std::string* err;
    bool open_home = false;
};

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
double clamp_double(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

// An option's effect; false when its value cannot be read (the option's
// message is then written and the program stops).
using Apply = bool (*)(const char* value, Parse& p);

struct Option {
    const char* name;
    bool takes_value;
    const char* bad_arg;  // message for an unreadable value, or null
    Apply apply;
};

bool read_int(const char* v, int* out) {
    int32_t i;
    if (!scan_int(v, &i)) return false;
    *out = i;
    return true;
}

bool read_float(const char* v, double* out) { return scan_double(v, out); }

const Option options[] = {
    {"--fugly", false, nullptr, [](const char*, Parse&) { settings.flat_shading = 1; return true; }},
    {"--nosound", false, nullptr, [](const char*, Parse&) { launch.no_sound = true; return true; }},
    {"--novertexarrays", false, nullptr,
     [](const char*, Parse&) { settings.no_vertex_arrays = 1; return true; }},
    {"--learn", false, nullptr, [](const char*, Parse&) { settings.learn_lines = 1; return true; }},
    {"--nolearn", false, nullptr, [](const char*, Parse&) { settings.learn_lines = 0; return true; }},
    {"--nommx", false, nullptr,
     [](const char*, Parse&) {
         launch.ignore_mmx = true;
         if (app_state.cpu_has_mmx) log_printf("Ignoring MMX\n");
         app_state.cpu_has_mmx = false;
         return true;
     }},
    {"--debug", false, nullptr, [](const char*, Parse&) { settings.debug_level = 1; return true; }},
    {"--super-debug", false, nullptr,
     [](const char*, Parse&) { settings.debug_level = 2; return true; }},
    {"--practice", false, nullptr, [](const char*, Parse&) { settings.practice_mode = 1; return true; }},
    {"--warp", false, nullptr, [](const char*, Parse&) { settings.warp = 1; return true; }},
    {"--texture-detail", true, "Bad arg for --texture-detail\n",
     [](const char* v, Parse& p) {
         int i;
         if (!read_int(v, &i)) return false;
         p.overrides->model_texture_level = p.overrides->ground_texture_level = clamp_int(i, 0, 4);
         return true;
     }},
    {"--ground-texture-detail", true, "Bad arg for --ground-texture-detail\n",
     [](const char* v, Parse& p) {
         int i;
         if (!read_int(v, &i)) return false;
         p.overrides->ground_texture_level = clamp_int(i, 0, 4);
         return true;
     }},
    {"--roostfrequency", true, "Bad arg for --roostfrequency\n",
     [](const char* v, Parse& p) {
         int i;
         if (!read_int(v, &i)) return false;
         p.overrides->roost_frequency = clamp_int(i, 0, 1000);
         return true;
     }},
    {"--erode", true, "Bad arg for --erode\n",
     [](const char* v, Parse&) {
         double d;
         if (!read_float(v, &d)) return false;
         settings.erode_rate = static_cast<float>(clamp_double(d, 0, 100));
         return true;
     }},
    {"--detail", true, "Bad arg for --detail\n",
     [](const char* v, Parse& p) {
         double d;
         if (!read_float(v, &d)) return false;
         p.overrides->ground_detail_scale = static_cast<float>(d);
         return true;
     }},
    {"--max-detail-distance", true, "Bad arg for --max-detail-distance\n",
     [](const char* v, Parse&) {
         double d;
         if (!read_float(v, &d)) return false;
         settings.max_detail_distance = static_cast<float>(d);
         settings.max_detail_fade = static_cast<float>(d + 5);
         return true;
     }},
    {"--lod-scale", true, "Bad arg for --lod-scale\n",
     [](const char* v, Parse& p) {
         double d;
         if (!read_float(v, &d)) return false;
         p.overrides->lod_scale = static_cast<float>(clamp_double(d, 1e-6, 1e6));
         return true;
     }},
    {"--lod-bias", true, "Bad arg for --lod-bias\n",
     [](const char* v, Parse& p) {
         double d;
         if (!read_float(v, &d)) return false;
         p.overrides->lod_bias = static_cast<float>(d);
         return true;
     }},
    {"--lock-fps", true, "Bad arg for --lock-fps\n",
     [](const char* v, Parse&) {
         double d;
         if (!read_float(v, &d)) return false;
         launch.lock_fps = static_cast<float>(d);
         return true;
     }},
    {"--fake-lag", true, "Bad arg for --fake-lag\n",
     [](const char* v, Parse&) {
         double d;
         if (!read_float(v, &d)) return false;
         settings.fake_lag = clamp_double(d * 0.001, 0, 1);
         return true;
     }},
    {"--fake-loss", true, "Bad arg for --fake-loss\n",
     [](const char* v, Parse&) {
         int i;
         if (!read_int(v, &i)) return false;
         settings.fake_loss = clamp_int(i, 0, 100);
         return true;
     }},
    {"--record-audio", true, nullptr,
     [](const char* v, Parse&) {
         if (v) launch.record_audio_file = v;
         return true;
     }},
    {"--record-video", false, nullptr, [](const char*, Parse&) { launch.record_video = true; return true; }},
    {"--rotate-lineup", true, nullptr,
     [](const char* v, Parse&) {
         read_int(v, &settings.rotate_lineup);
         return true;
     }},
    {"--editor", false, nullptr, [](const char*, Parse&) { settings.editor_enabled = 1; return true; }},
    {"--hidden-pause", false, nullptr, [](const char*, Parse&) { launch.show_paused = false; return true; }},
    {"--hidden-hud", false, nullptr, [](const char*, Parse&) { launch.show_hud = false; return true; }},
    {"--bikes", true, nullptr,
     [](const char*, Parse& p) {
         *p.err += "--bikes doesn't do anything anymore\n";
         return true;
     }},
    {"--width", true, nullptr,
     [](const char* v, Parse&) {
         scan_int(v, &settings.window_width);
         return true;
     }},
    {"--height", true, nullptr,
     [](const char* v, Parse&) {
         scan_int(v, &settings.window_height);
         return true;
     }},
    {"--depth", true, nullptr,
     [](const char* v, Parse&) { launch.colour_bits = scan_int_or_zero(v); return true; }},
    {"--zdepth", true, nullptr,
     [](const char* v, Parse&) { launch.depth_bits = scan_int_or_zero(v); return true; }},
    {"--draw-fps", true, nullptr,
     [](const char* v, Parse&) { settings.draw_fps = scan_int_or_zero(v); return true; }},
    {"--draw-time", true, nullptr,
     [](const char* v, Parse&) { settings.draw_time = scan_int_or_zero(v); return true; }},
    {"--draw-ping", true, nullptr,
     [](const char* v, Parse&) { settings.draw_ping = scan_int_or_zero(v); return true; }},
    {"--draw-render-stats", true, nullptr,
     [](const char* v, Parse&) { settings.draw_render_stats = scan_int_or_zero(v); return true; }},
    {"--accurate-skip", false, nullptr,
     [](const char*, Parse&) { settings.accurate_skip = 1; return true; }},
    {"--track", true, nullptr,
     [](const char* v, Parse&) {
         if (v) settings.start_track = v;
         return true;
     }},
    {"--connect", true, nullptr,
     [](const char* v, Parse&) {
         if (!v) return true;
         // A "gravelrun:HOST" link launches the program straight into a race.
         if (strncmp(v, "gravelrun:", 10) == 0) v += 10;
         settings.connect_host = v;
         setting_set_text(&settings.server_name, v);
         recent_servers_push(v);
         return true;
     }},
    {"--password", true, nullptr,
     [](const char* v, Parse&) {
         if (v) settings.connect_password = v;
         return true;
     }},
    {"--chase-center", true, "Bad arg for --chase-center\n",
     [](const char* v, Parse&) {
         float c[3];
         if (!v || sscanf(v, "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) return false;
         for (float x : c)
             if (std::isnan(x)) return false;
         for (int i = 0; i < 3; i++) launch.chase_center[i] = c[i];
         return true;
     }},
    {"--open-home", false, nullptr, [](const char*, Parse& p) { p.open_home = true; return true; }},
    {"--glfinish", false, nullptr, [](const char*, Parse&) { launch.gl_finish = true; return true; }},
    {"--print-orientation", false, nullptr,
     [](const char*, Parse&) { settings.print_orientation = 1; return true; }},
};

}  // namespace

void recent_servers_push(const char* host) {
    Setting* hist = settings.server_name_hist;
    if (!*host || strcmp(host, hist[0].text) == 0) return;
    for (int i = RECENT_SERVERS - 1; i > 0; i--) {
        memcpy(hist[i].text, hist[i - 1].text, sizeof hist[i].text);
        app_state.recent_server_marks[i] = app_state.recent_server_marks[i - 1];
    }
    // Cut, not refused: the newest server always goes in.
    size_t n = strcspn(host, "\r\n");
    if (n > static_cast<size_t>(hist[0].max_length)) n = hist[0].max_length;
    memcpy(hist[0].text, host, n);
    hist[0].text[n] = '\0';
    app_state.recent_server_marks[0] = 0;
}

CommandLineResult parse_command_line(int argc, const char* const* argv,
                                     GraphicsOverrides* overrides, std::string* err) {
    Parse p{overrides, err};
    bool files_only = false;
    bool have_file = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!files_only) {
            if (strcmp(arg, "--") == 0) {
                files_only = true;
                continue;
            }
            const Option* matched = nullptr;
            const char* value = nullptr;
            for (const Option& o : options) {
                size_t n = strlen(o.name);
                if (strncmp(arg, o.name, n) != 0) continue;
                if (arg[n] == '\0') {
                    matched = &o;
                    if (o.takes_value && i + 1 < argc) value = argv[++i];
                    break;
                }
                if (arg[n] == '=' && o.takes_value) {
                    matched = &o;
                    value = arg + n + 1;
                    break;
                }
            }
            if (matched) {
                if (!matched->apply(value, p)) {
                    *err += matched->bad_arg;
                    return COMMAND_LINE_FAILED;
                }
                if (p.open_home) return COMMAND_LINE_OPEN_HOME;
                continue;
            }
            if (arg[0] == '-') {
                *err += "bad option '";
                *err += arg;
                *err += "'\n";
                return COMMAND_LINE_FAILED;
            }
        }
        if (have_file) {
            *err += "Too many files!\n";
            return COMMAND_LINE_FAILED;
        }
        settings.demo_file = arg;
        have_file = true;
    }
    return COMMAND_LINE_OK;
}

}  // namespace gr
