// Start-up and shutdown of the program, in their fixed order. The window,
// audio, GL, fonts, input, physics, race, menus and main loop take their
// places in this frame as they come.
#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

#include <ode/ode.h>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "replay/replay.h"
#include "track/track.h"

namespace gr {

AppState app_state;

namespace {

const char* const build_identifier = "2016-10-23-1316 snapshot";

bool detect_mmx() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

bool fixed_digest_accepted(const char* digest) {
    for (const char* accepted : accepted_fixed_digests)
        if (*accepted && strcmp(accepted, digest) == 0) return true;
    return false;
}

}  // namespace

int app_startup(int argc, const char* const* argv, FILE* err) {
    log_printf("Gravelrun version %s\n", build_identifier);

    char digest[41];
    fixed_files_digest(digest);
    app_state.fixed_files_match = fixed_digest_accepted(digest);

    // The defaults, the recent-server list with its marks, and the riding
    // assists at the preset of the default stability.
    settings_reset();
    memset(app_state.recent_server_marks, 0, sizeof app_state.recent_server_marks);
    app_state.cpu_has_mmx = detect_mmx();
    if (!app_state.cpu_has_mmx) log_printf("This CPU does not have MMX!\n");
    stability_preset(static_cast<int>(std::lround(settings.stability.value)));

    texture_lists_rebuild();
    config_read();
    messages.line_setting = settings.message_lines;

    GraphicsOverrides overrides;
    std::string messages_out;
    CommandLineResult r = parse_command_line(argc, argv, &overrides, &messages_out);
    fputs(messages_out.c_str(), err);
    if (r == COMMAND_LINE_FAILED) return 1;
    if (r == COMMAND_LINE_OPEN_HOME) {
        open_home_folder();
        return 0;
    }
    derive_graphics_settings(overrides);
    log_debug_level = settings.debug_level;
    gfx_options.debug_level = settings.debug_level;
    gfx_options.model_texture_level = settings.model_texture_level;
    gfx_options.texture_compress = settings.texture_compress.index;

    app_lists.tracks = build_track_list();
    if (app_lists.tracks.empty()) {
        fputs("No tracks found\n", err);
        return 1;
    }
    app_lists.demos = build_demo_list();
    app_lists.series = build_series_list();
    std::vector<std::string> track_dirs;
    for (const TrackEntry& t : app_lists.tracks) track_dirs.push_back(t.dir);
    series_load_all(track_dirs);
    app_lists.current_track = choose_start_track(app_lists.tracks);

    // The physics world and its contact group.
    if (!app_state.physics_open) {
        dInitODE2(0);
        app_state.physics_open = true;
    }
    physics_world_create();

    // The demo named on the command line: when it opens, its track is the
    // one to start on.
    bool demo = false;
    if (settings.demo_file) {
        demo = demo_play_open(settings.demo_file->c_str());
        if (demo)
            for (size_t i = 0; i < app_lists.tracks.size(); i++)
                if (app_lists.tracks[i].dir == demo_player.track) app_lists.current_track = int(i);
        demo_play_close();
    }
    race.demo_name = demo ? *settings.demo_file : std::string();

    // The first race: a robot rides behind the menus, or the demo plays with
    // no rider of its own.
    int grid[RACE_SLOTS] = {};
    if (!settings.demo_file) grid[0] = GRID_ROBOT;
    if (app_lists.current_track >= 0 || demo) race_reset(grid, demo, false, 0, 1000, settings.skill.index);
    return -1;
}

void app_shutdown() {
    // The race frees its bikes, the track and the physics world.
    if (app_state.physics_open) {
        race_free();
        dCloseODE();
        app_state.physics_open = false;
    }
    texture_free_stale(true);
    model_free_stale(true);
    collision_shape_cache_clear();

    config_write();

    log_printf(nullptr);
    app_lists = AppLists{};
    for (Setting* s : {&settings.rider_texture, &settings.head_texture, &settings.bike_texture,
                       &settings.wheel_texture}) {
        s->choices = {"default"};
        s->choice_files = {""};
        s->index = 0;
    }
    data_free();
    alloc_report();
}

int app_main(int argc, const char* const* argv) {
    if (argc == 2 && strcmp(argv[1], "--open-home") == 0) {
        open_home_folder();
        return 0;
    }
    // Standard output carries video frames; on this platform it is binary already.
    messages_clear();
    if (!check_game_data()) {
        fatal_box("Error", "%s",
                  "Can't find the game data (zzzz.saf). Reinstall Gravelrun or set GR_HOME to "
                  "its data directory.");
        return 0;
    }
    int status = app_startup(argc, argv, stderr);
    if (status >= 0) return status;
    app_shutdown();
    sleep(1);
    return 0;
}

}  // namespace gr
