// Start-up: the track, demo and series lists, the start-up frame run in this
// process on a test directory, and the real executable run as a child.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/race.h"
#include "app_test_support.h"
#include "bike/bike.h"
#include "track/track.h"

extern char** environ;

using namespace gr;
using apptest::AppTest;

namespace {

class TrackListTest : public AppTest {};

TEST_F(TrackListTest, TracksSortedByDisplayNameWithoutCase) {
    data_file("b/terrain.hf");
    data_file("b/desc", "zeta\r\nsecond line");
    data_file("a/terrain.hf");
    data_file("a/desc", "Alpha");
    data_file("c/terrain.hf.gz.scram");  // no desc: the directory name
    data_file("d/deeper/terrain.hf.scram");
    data_file("d/deeper/desc", std::string("beta\0x", 6));
    data_file("terrain.hf");        // not inside a track directory
    data_file("e/terrain.hfx");
    data_file("tracks.saf", grtest::saf_bytes({{"f/terrain.hf", "hf"}, {"f/desc", "Foxtrot\n"}}));

    std::vector<TrackEntry> t = build_track_list();
    std::vector<std::string> names, dirs_found;
    for (const TrackEntry& e : t) {
        names.push_back(e.name);
        dirs_found.push_back(e.dir);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "c", "Foxtrot", "zeta"}));
    EXPECT_EQ(dirs_found, (std::vector<std::string>{"a", "d/deeper", "c", "f", "b"}));
}

TEST_F(TrackListTest, EveryTerrainFileIsAnEntry) {
    data_file("mx/terrain.hf");
    data_file("mx/terrain.hf.gz");
    std::vector<TrackEntry> t = build_track_list();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].dir, "mx");
    EXPECT_EQ(t[1].dir, "mx");
}

TEST_F(TrackListTest, DemoAndSeriesLists) {
    data_file("demos/race.one.grdemo");
    data_file("demos/old/two.grdemo");
    data_file("demos/notes.txt");
    data_file("other/three.grdemo");
    data_file("cup.series");
    data_file("cups/summer.series");
    data_file("cup.series_standings");

    std::vector<DemoEntry> d = build_demo_list();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].path, "@demos/old/two.grdemo");
    EXPECT_EQ(d[0].name, "two");
    EXPECT_EQ(d[1].path, "@demos/race.one.grdemo");
    EXPECT_EQ(d[1].name, "race.one");

    std::vector<SeriesEntry> s = build_series_list();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].path, "@cup.series");
    EXPECT_EQ(s[1].path, "@cups/summer.series");
}

TEST_F(AppTest, DerivedGraphicsSettings) {
    struct Case {
        const char* line;
        std::function<double()> get;
        double expected;
    } cases[] = {
        {"", [] { return settings.ground_detail_scale; }, 0.125f / 50},
        {"", [] { return settings.ground_texture_size; }, 128},
        {"", [] { return settings.lod_scale; }, 1},
        {"", [] { return settings.lod_bias; }, 0},
        {"", [] { return settings.roost_frequency; }, 250},
        {"ground_texture_dim=1024x1024\n", [] { return settings.ground_texture_size; }, 1024},
        {"ground_texture_detail=10\n", [] { return settings.ground_texture_level; }, 0},
        {"ground_texture_detail=0.5\n", [] { return settings.ground_texture_level; }, 9},
        {"model_detail=0\n", [] { return settings.lod_scale; }, 8},
        {"model_detail=0\n", [] { return settings.lod_bias; }, 50},
        {"model_detail=20\n", [] { return settings.lod_scale; }, 1.6f * 1.6f * 1.6f},
        {"model_detail=20\n", [] { return settings.lod_bias; }, 25},
        {"model_detail=90\n", [] { return settings.lod_scale; }, 0.2f},
        {"model_texture_detail=0.4\n", [] { return settings.model_texture_level; }, 10},
        {"roost_density=254.5\n", [] { return settings.roost_frequency; }, 255},
    };
    for (const Case& c : cases) {
        settings_reset();
        config_apply_line(c.line);
        derive_graphics_settings(GraphicsOverrides{});
        EXPECT_FLOAT_EQ(static_cast<float>(c.get()), static_cast<float>(c.expected)) << c.line;
    }
    config_apply_line("ground_detail=0\n");
    derive_graphics_settings(GraphicsOverrides{});
    EXPECT_TRUE(std::isfinite(settings.ground_detail_scale));
    EXPECT_GT(settings.ground_detail_scale, 1e6f);
}

TEST_F(AppTest, FixedFileDigestCoversThePresentShapeFilesInOrder) {
    char hex[41], expected[41];
    fixed_files_digest(hex);
    ripemd160_hex("", 0, expected);
    EXPECT_STREQ(hex, expected);

    grtest::TestDirs again = grtest::make_test_dirs();
    grtest::write_file(again.program + "rear_wheel.shp", "cd");
    grtest::write_file(again.program + "shapes.saf", grtest::saf_bytes({{"generic_frame.shp", "ab"}}));
    fixed_files_digest(hex);
    ripemd160_hex("abcd", 4, expected);
    EXPECT_STREQ(hex, expected);
    grtest::remove_test_dirs(again);
}

// ---------------------------------------------------------------------------
// The start-up frame in this process

class StartupTest : public AppTest {
protected:
    // Runs start-up with these arguments; returns its status, and what it
    // wrote for standard error in `err`.
    int start(std::vector<const char*> args, std::string* err) {
        args.insert(args.begin(), "gravelrun");
        FILE* f = tmpfile();
        int status = app_startup(static_cast<int>(args.size()), args.data(), f);
        rewind(f);
        char buf[512] = {};
        size_t n = fread(buf, 1, sizeof buf - 1, f);
        fclose(f);
        *err = std::string(buf, n);
        return status;
    }
};

TEST_F(StartupTest, NoTracksFound) {
    std::string err;
    EXPECT_EQ(start({}, &err), 1);
    EXPECT_EQ(err, "No tracks found\n");
}

TEST_F(StartupTest, CommandLineFailureStopsBeforeTheLists) {
    std::string err;
    EXPECT_EQ(start({"--fake-loss", "lots"}, &err), 1);
    EXPECT_EQ(err, "Bad arg for --fake-loss\n");
}

TEST_F(StartupTest, StartsOnTheConfiguredTrackAndWritesTheConfigurationBack) {
    data_file("redmesa/terrain.hf");
    data_file("redmesa/desc", "Red Mesa\n");
    data_file("dunes/terrain.hf.gz");
    data_file("dunes/desc", "Dunes\n");
    data_file("demos/first.grdemo");
    data_file("cup.series");
    data_file("rider_body-blue.png");
    grtest::write_file(dirs.home + "config",
                       "track=dunes\nlaps=7\nxres=800\nrider_texture=blue\nmessage_lines=9\n");

    std::string err;
    ASSERT_EQ(start({"--width=1024", "--bikes=2"}, &err), -1);
    EXPECT_EQ(err, "--bikes doesn't do anything anymore\n");
    ASSERT_EQ(app_lists.tracks.size(), 2u);
    ASSERT_GE(app_lists.current_track, 0);
    EXPECT_EQ(app_lists.tracks[app_lists.current_track].dir, "dunes");
    ASSERT_EQ(app_lists.demos.size(), 1u);
    EXPECT_EQ(app_lists.demos[0].name, "first");
    EXPECT_EQ(app_lists.series.size(), 1u);
    EXPECT_EQ(messages.line_setting, 9);

    app_shutdown();
    EXPECT_TRUE(app_lists.tracks.empty());
    std::string config = home_file("config");
    for (const char* line : {"xres=1024\n", "laps=7.000000\n", "track=dunes\n",
                             "rider_texture=blue\n", "message_lines=9\n"})
        EXPECT_NE(config.find(line), std::string::npos) << line;
    messages.line_setting = 5;
}

TEST_F(StartupTest, StartTrackFromTheCommandLine) {
    data_file("redmesa/terrain.hf");
    data_file("dunes/terrain.hf");
    std::string err;
    ASSERT_EQ(start({"--track", "dunes"}, &err), -1);
    EXPECT_EQ(app_lists.tracks[app_lists.current_track].dir, "dunes");
    ASSERT_EQ(start({"--track", "nowhere"}, &err), -1);
    EXPECT_EQ(app_lists.current_track, -1);
    ASSERT_EQ(start({}, &err), -1);
    EXPECT_EQ(app_lists.tracks[app_lists.current_track].dir, "redmesa");
}

// ---------------------------------------------------------------------------
// The executable

struct GameRun {
    int status = -1;
    std::string err;
};

std::string build_dir() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
}

// Runs the game with the arguments and extra environment; standard output is
// discarded, standard error collected.
GameRun run_game(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::string exe = build_dir() + "gravelrun";
    GameRun r;
    if (!std::filesystem::exists(exe)) {
        ADD_FAILURE() << exe << " is not built";
        return r;
    }
    // The child sees no display (message boxes go to standard error), no log
    // or allocation settings of ours, and only the variables given here.
    static const char* const dropped[] = {"DISPLAY=", "WAYLAND_DISPLAY=", "PLIX_LOGFILE=",
                                          "PLIX_LOGFILE_FLAGS=", "GR_CHECK_ALLOC="};
    std::vector<std::string> envs;
    for (char** e = environ; *e; e++) {
        std::string s = *e;
        bool drop = false;
        for (const char* d : dropped) drop = drop || s.rfind(d, 0) == 0;
        for (const std::string& x : env) drop = drop || s.rfind(x.substr(0, x.find('=') + 1), 0) == 0;
        if (!drop) envs.push_back(s);
    }
    for (const std::string& x : env) envs.push_back(x);
    std::vector<char*> argv{exe.data()}, envp;
    std::vector<std::string> args_copy = args;
    for (std::string& a : args_copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipefd[2];
    if (pipe(pipefd) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    pid_t pid;
    int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (rc != 0) {
        close(pipefd[0]);
        return r;
    }
    char buf[4096];
    for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;) r.err.append(buf, n);
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

const char* const missing_data =
    "Can't find the game data (zzzz.saf). Reinstall Gravelrun or set GR_HOME to its data directory.";

class GameProcessTest : public AppTest {
protected:
    std::vector<std::string> env(const std::string& program_dir) {
        // No tools on the path: "--open-home" finds no file browser to start.
        return {"XDG_DATA_HOME=" + dirs.root + "/xdg", "GR_HOME=" + program_dir,
                "PATH=" + dirs.root + "/no-tools"};
    }
};

TEST_F(GameProcessTest, OpenHomeAloneCreatesTheHomeAndNothingElse) {
    GameRun r = run_game({"--open-home"}, env(dirs.program));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::filesystem::is_directory(dirs.home));
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "lastlog.txt"));
}

TEST_F(GameProcessTest, MissingGameDataIsShownAndExitsCleanly) {
    std::vector<std::string> e = env(dirs.program);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--bogus"}, {"--open-home", "extra"}}) {
        GameRun r = run_game(args, e);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.err.find(missing_data), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("bad option"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::exists(dirs.home + "lastlog.txt"));
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config"));
}

// These need the generated game data beside the executable; they run once the
// content generator has produced it.
TEST_F(GameProcessTest, CommandLineErrorsOfTheGame) {
    std::string marker = build_dir() + "zzzz.saf";
    if (!std::filesystem::exists(marker)) GTEST_SKIP() << "no game data in " << build_dir();
    struct Case {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"--bogus"}, "bad option '--bogus'\n"},
        {{"a.grdemo", "b.grdemo"}, "Too many files!\n"},
        {{"--texture-detail"}, "Bad arg for --texture-detail\n"},
        {{"--fake-lag=soon"}, "Bad arg for --fake-lag\n"},
    };
    for (const Case& c : cases) {
        GameRun r = run_game(c.args, env(build_dir()));
        EXPECT_EQ(r.status, 1) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
    }
    EXPECT_FALSE(std::filesystem::exists(dirs.home + "config"));

    // The marker archive alone is game data without a single track.
    std::filesystem::copy_file(marker, dirs.program + "zzzz.saf");
    GameRun r = run_game({}, env(dirs.program));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No tracks found\n");
}

// The first race runs on the generated game data: a robot in slot 0 on the
// start track, for 1000 laps at the configured skill; shutdown frees it all.
TEST_F(StartupTest, FirstRaceHasARobotAndShutdownFreesIt) {
    if (!std::filesystem::exists(build_dir() + "zzzz.saf")) GTEST_SKIP() << "no game data in " << build_dir();
    setenv("GR_HOME", build_dir().c_str(), 1);
    data_free();
    grtest::write_file(dirs.home + "config", "skill=Amateur\n");
    std::string err;
    ASSERT_EQ(start({}, &err), -1);
    ASSERT_NE(physics.world, nullptr);
    EXPECT_TRUE(current_track.loaded);
    EXPECT_EQ(current_track.name, "redmesa");
    ASSERT_NE(race.slots[0].bike, nullptr);
    EXPECT_EQ(race.slots[0].mode, BIKE_ROBOT);
    int others = 0;
    for (int i = 1; i < RACE_SLOTS; i++) others += race.slots[i].bike != nullptr;
    EXPECT_EQ(others, 0);
    EXPECT_EQ(race.viewed_slot, 0);
    EXPECT_FALSE(race.time_trial);
    EXPECT_EQ(race.time_limit, 0);
    EXPECT_EQ(race.laps, 1000);
    EXPECT_EQ(race_timing.laps, 1000);
    EXPECT_EQ(race.lines_skill, 1);

    app_shutdown();
    EXPECT_EQ(physics.world, nullptr);
    EXPECT_EQ(race.slots[0].bike, nullptr);
    EXPECT_FALSE(current_track.loaded);
}

// A demo named on the command line chooses the track, and its rider takes
// the place of the robot.
TEST_F(StartupTest, DemoOnTheCommandLinePlaysOnItsTrack) {
    if (!std::filesystem::exists(build_dir() + "zzzz.saf")) GTEST_SKIP() << "no game data in " << build_dir();
    setenv("GR_HOME", build_dir().c_str(), 1);
    data_free();
    std::string demo = dirs.root + "/start.grdemo";
    grtest::write_file(demo, "GR06 1 0 2 1700\nsandpoint\ncrf450(2016)\n 42\nRecorded\n\n");
    std::string err;
    ASSERT_EQ(start({demo.c_str()}, &err), -1);
    EXPECT_EQ(app_lists.tracks[size_t(app_lists.current_track)].dir, "sandpoint");
    EXPECT_EQ(current_track.name, "sandpoint");
    ASSERT_NE(race.slots[0].bike, nullptr);
    EXPECT_EQ(race.slots[0].mode, BIKE_REPLAYED);
    int bikes = 0;
    for (const RiderSlot& s : race.slots) bikes += s.bike != nullptr;
    EXPECT_EQ(bikes, 1);
    app_shutdown();
    EXPECT_EQ(race.slots[0].bike, nullptr);
}

TEST_F(GameProcessTest, RunsTheFirstRaceAndShutsDownCleanly) {
    if (!std::filesystem::exists(build_dir() + "zzzz.saf")) GTEST_SKIP() << "no game data in " << build_dir();
    GameRun r = run_game({}, env(build_dir()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string log = grtest::read_file(dirs.home + "lastlog.txt");
    EXPECT_NE(log.find("Resetting\n"), std::string::npos) << log;
    size_t freed = 0;
    for (size_t at = 0; (at = log.find("Finished deallocating bikes", at)) != std::string::npos; at++) freed++;
    EXPECT_EQ(freed, 2u) << "set-up and shutdown each free the bikes";
}

}  // namespace
