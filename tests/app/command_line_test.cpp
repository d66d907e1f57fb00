// The command line: value forms, clamps, error texts, files and "--",
// and the server options with the recent-server list.
#include <functional>
#include <vector>

#include "app_test_support.h"

using namespace gr;
using apptest::AppTest;

namespace {

struct Parsed {
    CommandLineResult result;
    std::string err;
    GraphicsOverrides overrides;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "gravelrun");
    Parsed p;
    p.result = parse_command_line(static_cast<int>(args.size()), args.data(), &p.overrides, &p.err);
    return p;
}

class CommandLineTest : public AppTest {};

TEST_F(CommandLineTest, WidthFormsAndUnreadableValues) {
    struct Case {
        std::vector<const char*> args;
        int width;
    } cases[] = {
        {{"--width=1024"}, 1024},     {{"--width", "1024"}, 1024}, {{"--width"}, 640},
        {{"--width", "wide"}, 640},   {{"--width="}, 640},         {{"--width=800", "--width=900"}, 900},
    };
    for (const Case& c : cases) {
        settings_reset();
        Parsed p = parse(c.args);
        EXPECT_EQ(p.result, COMMAND_LINE_OK) << c.args[0];
        EXPECT_EQ(p.err, "");
        EXPECT_EQ(settings.window_width, c.width) << c.args[0];
    }
    // Only the width changes, and "--width" last does not eat anything.
    settings_reset();
    parse({"--height=700", "--width"});
    EXPECT_EQ(settings.window_height, 700);
    EXPECT_FALSE(settings.demo_file);
}

TEST_F(CommandLineTest, DetailOptionsReplaceDerivedValues) {
    struct Case {
        std::vector<const char*> args;
        int model_level, ground_level;
    } cases[] = {
        {{}, 1, 1},  // from the default detail settings
        {{"--texture-detail", "9"}, 4, 4},
        {{"--texture-detail=-3"}, 0, 0},
        {{"--texture-detail", "2", "--ground-texture-detail", "3"}, 2, 3},
        {{"--ground-texture-detail", "3", "--texture-detail", "2"}, 2, 2},
    };
    for (const Case& c : cases) {
        settings_reset();
        Parsed p = parse(c.args);
        ASSERT_EQ(p.result, COMMAND_LINE_OK);
        derive_graphics_settings(p.overrides);
        EXPECT_EQ(settings.model_texture_level, c.model_level);
        EXPECT_EQ(settings.ground_texture_level, c.ground_level);
    }
}

TEST_F(CommandLineTest, NumericValuesAndTheirClamps) {
    struct Case {
        std::vector<const char*> args;
        std::function<double()> get;
        double expected;
    } cases[] = {
        {{"--fake-lag", "2500"}, [] { return settings.fake_lag; }, 1.0},
        {{"--fake-lag=250"}, [] { return settings.fake_lag; }, 0.25},
        {{"--fake-lag=-5"}, [] { return settings.fake_lag; }, 0.0},
        {{"--fake-loss", "150"}, [] { return settings.fake_loss; }, 100},
        {{"--erode", "500"}, [] { return settings.erode_rate; }, 100},
        {{"--erode", "2.5"}, [] { return settings.erode_rate; }, 2.5},
        {{"--max-detail-distance", "80"}, [] { return settings.max_detail_fade; }, 85},
        {{"--lock-fps", "60"}, [] { return launch.lock_fps; }, 60},
        {{"--rotate-lineup", "3"}, [] { return settings.rotate_lineup; }, 3},
        {{"--rotate-lineup", "some"}, [] { return settings.rotate_lineup; }, 0},
        {{"--depth", "deep"}, [] { return launch.colour_bits; }, 0},
        {{"--zdepth=24"}, [] { return launch.depth_bits; }, 24},
        {{"--draw-fps", "2"}, [] { return settings.draw_fps; }, 2},
        {{"--chase-center=1,2.5,-3"}, [] { return launch.chase_center[1] + launch.chase_center[2]; }, -0.5},
    };
    for (const Case& c : cases) {
        settings_reset();
        Parsed p = parse(c.args);
        EXPECT_EQ(p.result, COMMAND_LINE_OK) << c.args[0];
        EXPECT_DOUBLE_EQ(c.get(), c.expected) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    }

    struct Derived {
        std::vector<const char*> args;
        std::function<double()> get;
        double expected;
    } derived[] = {
        {{"--roostfrequency", "5000"}, [] { return settings.roost_frequency; }, 1000},
        {{"--lod-scale", "0"}, [] { return settings.lod_scale; }, 1e-6f},
        {{"--lod-bias", "-7"}, [] { return settings.lod_bias; }, -7},
        {{"--detail", "0.5"}, [] { return settings.ground_detail_scale; }, 0.5},
    };
    for (const Derived& c : derived) {
        settings_reset();
        Parsed p = parse(c.args);
        ASSERT_EQ(p.result, COMMAND_LINE_OK) << c.args[0];
        derive_graphics_settings(p.overrides);
        EXPECT_DOUBLE_EQ(c.get(), c.expected) << c.args[0];
    }
}

TEST_F(CommandLineTest, FailuresWriteTheirMessage) {
    struct Case {
        std::vector<const char*> args;
        const char* err;
    } cases[] = {
        {{"--texture-detail", "high"}, "Bad arg for --texture-detail\n"},
        {{"--texture-detail"}, "Bad arg for --texture-detail\n"},
        {{"--ground-texture-detail=x"}, "Bad arg for --ground-texture-detail\n"},
        {{"--roostfrequency", "x"}, "Bad arg for --roostfrequency\n"},
        {{"--erode", "x"}, "Bad arg for --erode\n"},
        {{"--erode", "nan"}, "Bad arg for --erode\n"},
        {{"--detail", "x"}, "Bad arg for --detail\n"},
        {{"--max-detail-distance", "x"}, "Bad arg for --max-detail-distance\n"},
        {{"--lod-scale", "x"}, "Bad arg for --lod-scale\n"},
        {{"--lod-bias", "x"}, "Bad arg for --lod-bias\n"},
        {{"--lock-fps", "x"}, "Bad arg for --lock-fps\n"},
        {{"--fake-lag", "x"}, "Bad arg for --fake-lag\n"},
        {{"--fake-loss", "x"}, "Bad arg for --fake-loss\n"},
        {{"--chase-center", "1,2"}, "Bad arg for --chase-center\n"},
        {{"--bogus"}, "bad option '--bogus'\n"},
        {{"--debug=1"}, "bad option '--debug=1'\n"},
        {{"-"}, "bad option '-'\n"},
        {{"one.grdemo", "two.grdemo"}, "Too many files!\n"},
        {{"one.grdemo", "--", "two.grdemo"}, "Too many files!\n"},
    };
    for (const Case& c : cases) {
        settings_reset();
        Parsed p = parse(c.args);
        EXPECT_EQ(p.result, COMMAND_LINE_FAILED) << c.args[0];
        EXPECT_EQ(p.err, c.err) << c.args[0];
    }
}

TEST_F(CommandLineTest, FilesAndTheEndOfOptions) {
    Parsed p = parse({"--", "-odd.grdemo"});
    EXPECT_EQ(p.result, COMMAND_LINE_OK);
    EXPECT_EQ(settings.demo_file, "-odd.grdemo");

    settings_reset();
    p = parse({"--", "--nosound"});
    EXPECT_EQ(p.result, COMMAND_LINE_OK);
    EXPECT_EQ(settings.demo_file, "--nosound");
    EXPECT_FALSE(launch.no_sound);

    // "--bikes" takes its value along and only says it does nothing.
    settings_reset();
    p = parse({"--bikes", "4", "race.grdemo"});
    EXPECT_EQ(p.result, COMMAND_LINE_OK);
    EXPECT_EQ(p.err, "--bikes doesn't do anything anymore\n");
    EXPECT_EQ(settings.demo_file, "race.grdemo");

    settings_reset();
    EXPECT_EQ(parse({"--nosound", "--open-home", "--bogus"}).result, COMMAND_LINE_OPEN_HOME);
}

TEST_F(CommandLineTest, SwitchesSetTheirFlags) {
    Parsed p = parse({"--fugly", "--nosound", "--novertexarrays", "--learn", "--super-debug",
                      "--practice", "--warp", "--record-video", "--editor", "--hidden-pause",
                      "--hidden-hud", "--accurate-skip", "--glfinish", "--print-orientation",
                      "--nommx", "--record-audio=out.raw", "--password", "pw"});
    ASSERT_EQ(p.result, COMMAND_LINE_OK);
    EXPECT_EQ(settings.flat_shading + settings.no_vertex_arrays + settings.learn_lines +
                  settings.practice_mode + settings.warp + settings.editor_enabled +
                  settings.accurate_skip + settings.print_orientation,
              8);
    EXPECT_EQ(settings.debug_level, 2);
    EXPECT_TRUE(launch.no_sound && launch.record_video && launch.gl_finish && launch.ignore_mmx);
    EXPECT_FALSE(launch.show_paused || launch.show_hud);
    EXPECT_EQ(launch.record_audio_file, "out.raw");
    EXPECT_EQ(settings.connect_password, "pw");
    EXPECT_FALSE(app_state.cpu_has_mmx);

    settings_reset();
    parse({"--learn", "--nolearn", "--debug"});
    EXPECT_EQ(settings.learn_lines, 0);
    EXPECT_EQ(settings.debug_level, 1);
}

TEST_F(CommandLineTest, ConnectWithOrWithoutTheLinkPrefix) {
    for (const char* arg : {"--connect=gravelrun:race.example.org", "--connect=race.example.org"}) {
        settings_reset();
        config_apply_line("server_name_hist00=old.example.org\n");
        Parsed p = parse({arg});
        ASSERT_EQ(p.result, COMMAND_LINE_OK);
        EXPECT_EQ(settings.connect_host, "race.example.org") << arg;
        EXPECT_STREQ(settings.server_name.text, "race.example.org") << arg;
        EXPECT_STREQ(settings.server_name_hist[0].text, "race.example.org") << arg;
        EXPECT_STREQ(settings.server_name_hist[1].text, "old.example.org") << arg;
    }
}

TEST_F(CommandLineTest, AHostCannotAddLinesToTheConfiguration) {
    parse({"--connect", "race.example.org\nxres=1"});
    ASSERT_TRUE(config_write());
    std::string config = home_file("config");
    EXPECT_NE(config.find("server_name=race.example.org\n"), std::string::npos);
    EXPECT_NE(config.find("server_name_hist00=race.example.org\n"), std::string::npos);
    EXPECT_EQ(config.find("xres=1\n"), std::string::npos);
}

TEST_F(CommandLineTest, RecentServersShiftDownOnlyForANewHost) {
    for (int i = 0; i < RECENT_SERVERS; i++)
        config_apply_line(("server_name_hist" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                           "=s" + std::to_string(i) + "\n")
                              .c_str());
    parse({"--connect", "s0"});
    EXPECT_STREQ(settings.server_name_hist[1].text, "s1");
    parse({"--connect", "gravelrun:"});  // empty host: list unchanged
    EXPECT_STREQ(settings.server_name_hist[0].text, "s0");
    parse({"--connect", "fresh"});
    EXPECT_STREQ(settings.server_name_hist[0].text, "fresh");
    EXPECT_STREQ(settings.server_name_hist[1].text, "s0");
    EXPECT_STREQ(settings.server_name_hist[15].text, "s14");
}

TEST_F(CommandLineTest, ConnectIgnoresTheStartTrack) {
    std::vector<TrackEntry> tracks = {{"alpha", "Alpha"}, {"redmesa", "Red Mesa"}, {"zed", "Zed"}};
    EXPECT_EQ(choose_start_track(tracks), 1);  // the configured "track"
    parse({"--track", "zed"});
    EXPECT_EQ(choose_start_track(tracks), 2);
    parse({"--track=Zed"});  // directory names compare exactly
    EXPECT_EQ(choose_start_track(tracks), -1);
    parse({"--track=zed", "--connect", "host"});
    EXPECT_EQ(choose_start_track(tracks), 1);
}

}  // namespace
