// The configuration file: reading values, the bike key rules, the stability
// preset, bindings, the written order, a full round trip and safe replacing.
#include <filesystem>
#include <sstream>
#include <vector>

#include "app_test_support.h"

using namespace gr;
using apptest::AppTest;
using apptest::value_of;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

class ConfigTest : public AppTest {};

TEST_F(ConfigTest, LineValuesAreCheckedClampedOrIgnored) {
    const std::string long_name(70, 'n');
    const std::string hist126(126, 'h'), hist127(127, 'h');
    struct Case {
        std::string line;
        const char* key;
        std::string expected;
    } cases[] = {
        {"laps=200\n", "laps", "50.000000"},
        {"fov=5\n", "fov", "10.000000"},
        {"laps=many\n", "laps", "5.000000"},
        {"laps=nan\n", "laps", "5.000000"},
        {"minutes=7.5\r\n", "minutes", "7.500000"},  // not rounded to the step
        {"skill=expert\n", "skill", "Novice"},
        {"skill=Expert\n", "skill", "Expert"},
        {"Laps=3\n", "laps", "5.000000"},
        {"laps 3\n", "laps", "5.000000"},
        {"map_scale=20\n", "map_scale", "8.000000"},
        {"map_scale=0.01\n", "map_scale", "0.125000"},
        {"name=" + long_name + "\n", "name", long_name.substr(0, 63)},
        {"number=12345\n", "number", "123"},
        {"track=a=b\n", "track", "a=b"},
        {"xres=1024\n", "xres", "1024"},
        {"xres=wide\n", "xres", "640"},
        {"yres=99999999999\n", "yres", "2147483647"},
        {"use_fbo=No\n", "render_texture", "Hardware/Copy"},
        {"use_fbo=no\n", "render_texture", "Hardware/Direct"},
        {"ground_texture_distance=3\n", "ground_detail", "50.000000"},
        {"server_name_hist03=" + hist126 + "\n", "server_name_hist03", hist126},
        {"server_name_hist03=" + hist127 + "\n", "server_name_hist03", ""},
        {"slot39=Robot (4 stroke)\n", "slot39", "Robot (4 stroke)"},
        {"slot40=Robot\n", "slot39", "Empty"},
    };
    for (const Case& c : cases) {
        settings_reset();
        config_apply_line(c.line.c_str());
        EXPECT_EQ(value_of(c.key), c.expected) << c.line;
    }
    // "use_fbo=Yes" picks the direct method even after another was chosen.
    config_apply_line("render_texture=Software\n");
    config_apply_line("use_fbo=Yes\n");
    EXPECT_EQ(value_of("render_texture"), "Hardware/Direct");
}

TEST_F(ConfigTest, VideoModesFromTheDisplay) {
    config_apply_line("video_mode=1024x768\n");  // not offered yet
    EXPECT_EQ(value_of("video_mode"), "Default Fullscreen");
    video_mode_choices_set({{800, 600}, {1024, 768}});
    config_apply_line("video_mode=1024x768\n");
    EXPECT_EQ(value_of("video_mode"), "1024x768");
    video_mode_choices_set({{1024, 768}});
    EXPECT_EQ(value_of("video_mode"), "1024x768");
    video_mode_choices_set({});
    EXPECT_EQ(value_of("video_mode"), "Default Fullscreen");
}

TEST_F(ConfigTest, OldBikeNamesAndTheBikeGraphicsList) {
    data_file("kx250f-red.png");
    data_file("crf450v2013-blue.png");
    texture_lists_rebuild();

    config_apply_line("bike=crf450(2016)\n");
    config_apply_line("bike_texture=blue\n");
    EXPECT_EQ(value_of("bike_texture"), "blue");

    config_apply_line("bike=kx250f\n");
    EXPECT_EQ(value_of("bike"), "kx250f(2008)");
    EXPECT_EQ(value_of("bike_texture"), "default");
    EXPECT_EQ(settings.bike_texture.choices, (std::vector<std::string>{"default", "red"}));
    config_apply_line("bike_texture=blue\n");  // not a graphics set of this bike
    EXPECT_EQ(value_of("bike_texture"), "default");
    config_apply_line("bike_texture=red\n");
    EXPECT_EQ(value_of("bike_texture"), "red");
    EXPECT_EQ(settings.bike_texture.choice_files[settings.bike_texture.index], "@kx250f-red.png");

    // A name that is no bike changes nothing, the graphics included.
    config_apply_line("bike=kx250f(1999)\n");
    EXPECT_EQ(value_of("bike"), "kx250f(2008)");
    EXPECT_EQ(value_of("bike_texture"), "red");
}

TEST_F(ConfigTest, BikeTexturePrefixes) {
    EXPECT_STREQ(bike_texture_prefix("rmz450(2016)"), "rmz450-");
    EXPECT_STREQ(bike_texture_prefix("kx450f(2013)"), "kx450f-");
    EXPECT_STREQ(bike_texture_prefix("kx250f(2013)"), "kx250fv2013-");
    EXPECT_STREQ(bike_texture_prefix("yz250f_se(2006)"), "yz250f_se-");
    EXPECT_STREQ(bike_texture_prefix("125sx"), "125sx-");
    EXPECT_STREQ(bike_texture_prefix("rs50yz"), "yz125-");
    EXPECT_EQ(bike_texture_prefix("kx250f"), nullptr);
    EXPECT_EQ(settings.bike.choices.size(), 55u);
    EXPECT_EQ(settings.bike.choices.back(), "rs50yz");
}

TEST_F(ConfigTest, StabilityPresetOverwritesEarlierAssistLines) {
    config_apply_line("leveling=90\n");
    config_apply_line("stability=100\n");
    EXPECT_EQ(settings.leveling.value, 20);

    config_apply_line("leveling=90\n");
    EXPECT_EQ(settings.leveling.value, 90);

    config_apply_line("stability=49.6\n");  // the preset takes the rounded value
    EXPECT_DOUBLE_EQ(settings.stability.value, 49.6);
    EXPECT_DOUBLE_EQ(settings.roll_damping.value, 65);
    EXPECT_DOUBLE_EQ(settings.restricted_lock.value, 7.5);

    config_apply_line("stability=soft\n");  // unreadable: no preset either
    EXPECT_DOUBLE_EQ(settings.roll_damping.value, 65);
}

TEST_F(ConfigTest, StabilityPresetRows) {
    struct Case {
        int stability;
        double roll_damping, roll_limit_angle, direct_steering, land_damping_falloff, restricted_lock;
    } cases[] = {
        {0, 40, 90, 1, 0, 45},      {-30, 40, 90, 1, 0, 45},  {10, 45, 67.5, 1, 0.0625, 30},
        {50, 65, 42.5, 1, 0.25, 7.5}, {90, 77.5, 35, 0.5, 0.25, 5}, {100, 80, 35, 0, 0.25, 5},
        {250, 80, 35, 0, 0.25, 5},
    };
    for (const Case& c : cases) {
        stability_preset(c.stability);
        EXPECT_DOUBLE_EQ(settings.roll_damping.value, c.roll_damping) << c.stability;
        EXPECT_DOUBLE_EQ(settings.roll_limit_angle.value, c.roll_limit_angle) << c.stability;
        EXPECT_DOUBLE_EQ(settings.direct_steering.value, c.direct_steering) << c.stability;
        EXPECT_DOUBLE_EQ(settings.land_damping_falloff.value, c.land_damping_falloff) << c.stability;
        EXPECT_DOUBLE_EQ(settings.restricted_lock.value, c.restricted_lock) << c.stability;
    }
    // The defaults of the fifteen assist keys are the preset of stability 100.
    settings_reset();
    std::vector<std::string> defaults;
    for (const ConfigKey& k : bike_keys()) defaults.push_back(setting_value_text(*k.setting));
    stability_preset(0);
    stability_preset(100);
    std::vector<std::string> after;
    for (const ConfigKey& k : bike_keys()) after.push_back(setting_value_text(*k.setting));
    EXPECT_EQ(after, defaults);
}

TEST_F(ConfigTest, BindingTextForms) {
    struct Case {
        const char* text;
        const char* key;
        const char* axis;
        float low, high;
        const char* written;
    } cases[] = {
        {"(k)x", "x", "", 0, 1, "(k)x"},
        {"x", "x", "", 0, 1, "(k)x"},
        {"  (k)right ctrl", "right ctrl", "", 0, 1, "(k)right ctrl"},
        {"(-0.5,0.75)Pad axis 2", "", "Pad axis 2", -0.5f, 0.75f, "(-0.500000,0.750000)Pad axis 2"},
        {"(0.5)odd", "(0.5)odd", "", 0, 1, "(k)(0.5)odd"},
        {"(k)", "", "", 0, 1, ""},
        {"", "", "", 0, 1, ""},
    };
    for (const Case& c : cases) {
        Binding b;
        b.key_name = "stale";
        b.key_code = 77;
        b.low = 3;
        binding_from_text(&b, c.text);
        EXPECT_EQ(b.key_name, c.key) << c.text;
        EXPECT_EQ(b.axis_name, c.axis) << c.text;
        EXPECT_EQ(b.key_code, 0u) << c.text;
        EXPECT_EQ(b.low, c.low) << c.text;
        EXPECT_EQ(b.high, c.high) << c.text;
        EXPECT_EQ(binding_to_text(b), c.written) << c.text;
    }
}

TEST_F(ConfigTest, UnboundControlStaysUnboundAcrossARestart) {
    config_apply_line("throttle_key=\n");
    EXPECT_FALSE(binding_is_bound(settings.controls[0].binding));
    ASSERT_TRUE(config_write());
    std::string text = home_file("config");
    EXPECT_NE(text.find("\nthrottle_key=\n"), std::string::npos);
    EXPECT_NE(text.find("front_brake_key=(k)c\n"), std::string::npos);

    settings_reset();  // a new start: defaults first, then the file
    EXPECT_TRUE(binding_is_bound(settings.controls[0].binding));
    config_read();
    EXPECT_FALSE(binding_is_bound(settings.controls[0].binding));
    EXPECT_EQ(settings.controls[1].binding.key_name, "c");
}

TEST_F(ConfigTest, WrittenOrder) {
    ASSERT_TRUE(config_write());
    std::vector<std::string> lines = lines_of(home_file("config"));
    ASSERT_EQ(lines.size(), general_keys().size() + bike_keys().size());
    EXPECT_EQ(lines.front(), "xres=640");
    EXPECT_EQ(lines.back(), "screenshot_key=(k)s");
    auto at = [&](const std::string& line) {
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i] == line) return static_cast<int>(i);
        return -1;
    };
    int abort_line = at("time_trial_abort=Yes");
    ASSERT_GE(abort_line, 0);
    EXPECT_EQ(lines[abort_line + 1], "bike=450sxf(2016)");
    EXPECT_EQ(at("video_mode=Default Fullscreen"), at("rider_mass_distribution=0.330000") + 1);
    EXPECT_LT(at("stability=100.000000"), at("leveling=20.000000"));
    EXPECT_EQ(at("slot19=Human"), at("slot00=Empty") + 19);
    EXPECT_EQ(at("server_name_hist15="), at("server_name_hist00=") + 15);
    EXPECT_EQ(at("map_scale=1.000000"), at("throttle_key=(k)x") - 1);
    EXPECT_GE(at("rewind_key=(k)\\"), 0);
    EXPECT_GE(at("laps=5.000000"), 0);
    EXPECT_GE(at("draw_ping=1"), 0);
}

// Every key gets a value other than its default; writing, resetting and
// reading must bring back exactly the same file.
TEST_F(ConfigTest, WriteThenReadReproducesEveryKey) {
    data_file("rider_body-blue.png");
    data_file("rider_head-red.png");
    data_file("wheels-gold.png");
    data_file("yz125-team.png");  // bike graphics of rs50yz
    texture_lists_rebuild();
    std::string defaults_text;
    {
        ASSERT_TRUE(config_write());
        defaults_text = home_file("config");
    }

    int n = 0;
    for (const auto* table : {&bike_keys(), &general_keys()}) {
        for (const ConfigKey& k : *table) {
            n++;
            if (k.integer) {
                *k.integer = (n % 2) ? 1000 + n : -n;
                continue;
            }
            Setting* s = k.setting;
            switch (s->kind) {
            case SETTING_CHOICE:
                if (s == &settings.bike) {
                    ASSERT_TRUE(setup_apply_line("bike", "rs50yz"));
                } else {
                    ASSERT_GT(s->choices.size(), 1u) << k.key;
                    s->index = (s->index + 1) % static_cast<int32_t>(s->choices.size());
                }
                break;
            case SETTING_NUMBER:
                s->value = s->value == s->maximum ? s->minimum : s->maximum;
                break;
            case SETTING_TEXT:
                setting_set_text(s, ("t" + std::to_string(n) + k.key).c_str());
                break;
            case SETTING_BINDING:
                binding_from_text(&s->binding, (n % 2) ? ("(k)key " + std::to_string(n)).c_str()
                                                       : ("(-0.25,0.5)Pad axis " + std::to_string(n)).c_str());
                break;
            }
        }
    }
    ASSERT_TRUE(config_write());
    std::string written = home_file("config");
    ASSERT_EQ(lines_of(written).size(), general_keys().size() + bike_keys().size());

    settings_reset();
    texture_lists_rebuild();
    config_read();
    ASSERT_TRUE(config_write());
    EXPECT_EQ(home_file("config"), written);

    // And no line of it is a default one.
    std::vector<std::string> a = lines_of(written), d = lines_of(defaults_text);
    ASSERT_EQ(a.size(), d.size());
    for (size_t i = 0; i < a.size(); i++) EXPECT_NE(a[i], d[i]);
}

TEST_F(ConfigTest, MissingFileLeavesDefaults) {
    config_apply_line("laps=9\n");
    config_read();
    EXPECT_EQ(value_of("laps"), "9.000000");
}

TEST_F(ConfigTest, ReplacingLeavesTheOldFileWholeUntilTheNewOneIsComplete) {
    grtest::write_file(dirs.home + "config", "xres=1\n");
    // A reader holding the old file keeps seeing the old file, whole: the new
    // one is written beside it and renamed over it.
    FILE* old = fopen((dirs.home + "config").c_str(), "rb");
    ASSERT_NE(old, nullptr);
    ASSERT_TRUE(config_write());
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, old);
    fclose(old);
    EXPECT_EQ(std::string(buf, n), "xres=1\n");
    EXPECT_EQ(home_file("config").rfind("xres=640\n", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config.tmp"));
}

TEST_F(ConfigTest, WriteThatCannotReplaceIsSkippedSilently) {
    // "config" is a directory holding something: the rename cannot succeed.
    grtest::write_file(dirs.home + "config/keep", "mine");
    int shown = messages.next;
    EXPECT_FALSE(config_write());
    EXPECT_EQ(messages.next, shown);
    EXPECT_EQ(grtest::read_file(dirs.home + "config/keep"), "mine");
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config.tmp"));
}

}  // namespace
