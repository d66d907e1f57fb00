// Replays on the generated "redmesa" track: the state record's ranges and
// rebuilt bodies, the history ring and its sampling, a recorded race played
// back with skip and rewind, damaged demo files, backups and names.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "replay/replay.h"
#include "robots/robots.h"
#include "support/game_data.h"
#include "support/test_dirs.h"
#include "terrain/terrain.h"
#include "track/track.h"

using namespace gr;

namespace {

class OdeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { dInitODE2(0); }
    void TearDown() override { dCloseODE(); }
};
::testing::Environment* const ode_environment = ::testing::AddGlobalTestEnvironment(new OdeEnvironment);

// Part throttle, bars toward the next timing gate: enough to leave the
// starting gate and cross the first timing gates.
void full_throttle(Bike* b) {
    ControlRecord c;
    // Nothing before the drop: a bike pushing on its gate piece holds it up.
    c.v[CONTROL_THROTTLE] = race.tick > race.start_tick ? 0.6f : 0.0f;
    const RiderTiming& t = race.slots[b->slot].timing;
    const int g = gate_of_index(t.gate);
    if (g >= 0 && size_t(g) < track_gates.gates.size()) {
        const float* aim = track_gates.gates[size_t(g)].point;
        dVector3 fwd;
        dBodyVectorToWorld(b->frame, 0, 0, -1, fwd);
        const dReal* p = dBodyGetPosition(b->frame);
        double dx = aim[0] - p[0], dz = aim[2] - p[2];
        double lx = fwd[2], lz = -fwd[0];  // to the left of forward
        double error = std::atan2(dx * lx + dz * lz, dx * fwd[0] + dz * fwd[2]);
        const dReal* v = dBodyGetLinearVel(b->frame);
        if (std::hypot(v[0], v[2]) > 8) c.v[CONTROL_STEERING] = float(std::clamp(0.5 * error, -0.3, 0.3));
    }
    apply_controls(b, c);
}

double distance(const dReal* a, const double* b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

std::string last_message() { return messages.lines[(messages.next + MESSAGE_RING - 1) % MESSAGE_RING]; }

class Replay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dirs = grtest::use_game_data("redmesa"); }
    static void TearDownTestSuite() {
        demo_record_path.clear();
        grtest::release_game_data(dirs);
    }
    void SetUp() override {
        ASSERT_GE(app_lists.current_track, 0) << "no generated redmesa in " << std::filesystem::current_path();
        robot_driver = full_throttle;
        settings.erode_rate = 0;
        messages_clear();
    }
    void TearDown() override {
        demo_record_path.clear();
        race.demo_name.clear();
    }
    static std::vector<int> robots(int n) {
        std::vector<int> g(RACE_SLOTS, GRID_EMPTY);
        for (int i = 0; i < n; i++) g[size_t(i)] = GRID_ROBOT;
        return g;
    }
    static std::string home(const std::string& rel) { return dirs->home + rel; }
    static grtest::TestDirs* dirs;
};
grtest::TestDirs* Replay::dirs = nullptr;

// ---------------------------------------------------------------------------
// The record

TEST_F(Replay, RidingStateByte) {
    struct Case {
        int32_t timer;
        int gear;
        float foot, throttle;
        uint8_t byte;
        int32_t timer_back;
        double throttle_back;
    } cases[] = {
        {0, 3, 0.0f, 0.5f, uint8_t(3 | 7 << 4), 0, 7 / 15.0},
        {0, 9, 0.2f, 2.0f, uint8_t(6 | 8 | 15 << 4), 0, 1.0},   // gear and throttle clamp
        {0, -1, 0.0f, -1.0f, 0, 0, 0.0},
        {1, 2, 1.0f, 1.0f, 7, 1, 0.0},                          // crashed: nibble 0, timer 1
        {128, 2, 0.0f, 1.0f, uint8_t(7 | 15 << 4), 128, 0.0},
        {5000, 2, 0.0f, 1.0f, uint8_t(7 | 15 << 4), 128, 0.0},
        {64, 0, 0.0f, 0.0f, uint8_t(7 | 7 << 4), 60, 0.0},     // (64*15-15)/127 = 7; 7*127/15+1 = 60
    };
    for (const Case& c : cases) {
        uint8_t b = riding_state_byte(c.timer, c.gear, c.foot, c.throttle);
        EXPECT_EQ(b, c.byte) << "timer " << c.timer << " gear " << c.gear;
        int32_t timer;
        double throttle;
        int bits;
        bool foot;
        riding_state_decode(b, &timer, &throttle, &bits, &foot);
        EXPECT_EQ(timer, c.timer_back);
        EXPECT_NEAR(throttle, c.throttle_back, 1e-9);
    }
}

// A bike that raced is encoded, the record placed on a second bike of the
// model, and everything lands within a quantisation step: the frame, the
// five rebuilt bodies, the joints they make, the rider and the engine.
TEST_F(Replay, RecordRebuildsTheBikeWithinItsSteps) {
    ASSERT_TRUE(race_reset(robots(1).data(), false, false, 0, 3, 2));
    while (race.tick < race.start_tick + 3 * 128) race_tick();
    Bike* live = race.slots[0].bike;
    ASSERT_TRUE(live);
    live->engine_speed = 40000 / RPM_PER_RAD_S;  // above the range
    const StateSnapshot s = snapshot_encode(live);
    EXPECT_EQ(s.bytes[18] & 1, 1) << "encoded from a live bike";
    EXPECT_EQ(s.bytes[19] & 1, 0);
    SnapshotValues v;
    snapshot_decode(s, live, &v);
    EXPECT_NEAR(v.engine_speed * RPM_PER_RAD_S, 32768, 0.5);

    Bike* copy = build_bike(live->model.name, 5, "9", nullptr, nullptr, nullptr, nullptr);
    set_bike_presence(copy, false);
    snapshot_apply(copy, s, s, s, 1, DEMO_NET_VERSION);
    const double S = terrain.field_size;
    const dReal* lp = dBodyGetPosition(live->frame);
    double lpd[3] = {lp[0], lp[1], lp[2]};
    EXPECT_LT(distance(dBodyGetPosition(copy->frame), lpd), 2 * S / 16777215.0 * std::sqrt(3.0) + 1e-6);
    // Joints read back what was stored (signs and axes of the rebuild).
    EXPECT_NEAR(dJointGetHingeAngle(copy->steering_head), dJointGetHingeAngle(live->steering_head), M_PI / 2 / 255 + 1e-6);
    EXPECT_NEAR(dJointGetHingeAngle(copy->swingarm_pivot), dJointGetHingeAngle(live->swingarm_pivot),
                2 * live->model.swingarm_max_angle / 255 + 1e-6);
    EXPECT_NEAR(dJointGetSliderPosition(copy->fork_slider), dJointGetSliderPosition(live->fork_slider),
                2 * live->model.fork_travel / 255 + 1e-6);
    EXPECT_NEAR(std::remainder(dJointGetHingeAngle(copy->front_axle) - dJointGetHingeAngle(live->front_axle), 2 * M_PI), 0,
                2 * M_PI / 255 + 1e-6);
    EXPECT_NEAR(std::remainder(dJointGetHingeAngle(copy->rear_axle) - dJointGetHingeAngle(live->rear_axle), 2 * M_PI), 0,
                2 * M_PI / 255 + 1e-6);
    // Every body near its live place (joint steps times lever arms of a few feet).
    dBodyID lb[7] = {live->frame, live->front_wheel, live->rear_wheel, live->fork_upper, live->fork_lower, live->swingarm, live->rider};
    dBodyID cb[7] = {copy->frame, copy->front_wheel, copy->rear_wheel, copy->fork_upper, copy->fork_lower, copy->swingarm, copy->rider};
    for (int i = 0; i < 7; i++) {
        const dReal* p = dBodyGetPosition(lb[i]);
        double pd[3] = {p[0], p[1], p[2]};
        EXPECT_LT(distance(dBodyGetPosition(cb[i]), pd), 0.05) << "body " << i;
    }
    EXPECT_EQ(copy->gear, live->gear);
    free_bike(copy);
}

TEST_F(Replay, PositionsClampToTheTerrainSquare) {
    ASSERT_TRUE(race_reset(robots(1).data(), false, false, 0, 3, 2));
    Bike* b = race.slots[0].bike;
    const double S = terrain.field_size;
    struct Case {
        double x, y, z, ex, ey, ez;
    } cases[] = {
        {-50, terrain.low - 10, S + 100, 0, terrain.low, S},
        {S * 0.25, terrain.low + S * 0.5, S * 0.75, S * 0.25, terrain.low + S * 0.5, S * 0.75},
        {S * 3, terrain.low + S * 2, -1, S, terrain.low + S, 0},
    };
    for (const Case& c : cases) {
        dBodySetPosition(b->frame, c.x, c.y, c.z);
        SnapshotValues v;
        snapshot_decode(snapshot_encode(b), b, &v);
        const double step = S / 16777215.0 + 1e-6;
        EXPECT_NEAR(v.frame_position[0], c.ex, step);
        EXPECT_NEAR(v.frame_position[1], c.ey, step);
        EXPECT_NEAR(v.frame_position[2], c.ez, step);
    }
    b->engine_speed = -5;
    SnapshotValues v;
    snapshot_decode(snapshot_encode(b), b, &v);
    EXPECT_EQ(v.engine_speed, 0);
}

TEST_F(Replay, InterpolationWheelsAndMarks) {
    StateSnapshot a, b;
    a.bytes[18] = b.bytes[18] = 0x81;
    a.bytes[34] = 250, b.bytes[34] = 5;   // kept turning through the wrap
    a.bytes[35] = 5, b.bytes[35] = 250;   // a drop of more than 7/8 of a turn: backwards
    a.bytes[36] = 0x35, b.bytes[36] = 0x07;
    StateSnapshot m = snapshot_interpolate(a, b, 0.5);
    EXPECT_TRUE(m.bytes[34] >= 252 || m.bytes[34] <= 1) << int(m.bytes[34]);
    EXPECT_TRUE(m.bytes[35] <= 1 || m.bytes[35] >= 254) << "halfway back from 5 to -5 is the wrap, got " << int(m.bytes[35]);
    EXPECT_EQ(m.bytes[18] & 1, 0);
    EXPECT_EQ(m.bytes[36], 0x35) << "riding state from the older record";
    a.bytes[35] = 200, b.bytes[35] = 100;  // a drop of less than 7/8: forward through 255
    m = snapshot_interpolate(a, b, 0.5);
    EXPECT_NEAR(m.bytes[35], 22, 2);
    EXPECT_EQ(memcmp(snapshot_interpolate(a, b, 0).bytes, a.bytes, SNAPSHOT_SIZE), 0);
}

// ---------------------------------------------------------------------------
// The ring

TEST_F(Replay, HistoryKeepsTickOrder) {
    history_reset_all();
    StateSnapshot s;
    for (int t : {10, 20, 30, 25}) {
        s.bytes[0] = uint8_t(t);
        add_state_to_history(3, s, t);
    }
    const StateHistory& h = histories[3];
    EXPECT_EQ(h.ticks[h.head], 25);
    EXPECT_EQ(h.ticks[(h.head + 127) % 128], 20);
    EXPECT_EQ(h.ticks[(h.head + 126) % 128], 10);
    EXPECT_EQ(h.pending, 4);
    s.bytes[0] = 99;
    add_state_to_history(3, s, 20);  // the first record for a tick wins
    EXPECT_EQ(history_find(3, 20)->bytes[0], 20);
    EXPECT_EQ(history_find(3, 30), nullptr);

    // A full ring meets a record older than all it holds.
    history_reset(4);
    for (int t = 0; t < 200; t++) add_state_to_history(4, s, 1000 + t);
    EXPECT_EQ(histories[4].pending, 128);
    add_state_to_history(4, s, 5);
    int held = 0;
    for (int t : histories[4].ticks) held += t != -1;
    EXPECT_EQ(held, 1);
    EXPECT_EQ(histories[4].ticks[histories[4].head], 5);

    add_state_to_history(160, s, 1);
    EXPECT_EQ(last_message(), "add_state_to_history: slot out of range");
}

TEST_F(Replay, SamplingInterpolatesAndExtrapolatesHalfASecond) {
    ASSERT_TRUE(race_reset(robots(1).data(), false, false, 0, 3, 2));
    Bike* b = race.slots[0].bike;
    race.slots[0].mode = BIKE_REPLAYED;
    set_bike_presence(b, false);
    history_reset_all();
    const double S = terrain.field_size;
    const double y = terrain.low + S / 2;
    dBodySetPosition(b->frame, 100, y, 100);
    add_state_to_history(0, snapshot_encode(b), 1000);
    dBodySetPosition(b->frame, 104, y, 100);
    add_state_to_history(0, snapshot_encode(b), 1004);
    struct Case {
        int32_t tick;
        double x;
    } cases[] = {{990, 100}, {1002, 102}, {1004, 104}, {1020, 120}, {1100, 168}};
    for (const Case& c : cases) {
        history_sample(0, c.tick);
        EXPECT_NEAR(dBodyGetPosition(b->frame)[0], c.x, 0.01) << "tick " << c.tick;
    }
    // Velocity from the bracketing records: 1 foot per tick.
    EXPECT_NEAR(dBodyGetLinearVel(b->frame)[0], 128, 0.5);
    // An empty ring leaves the bike where it is.
    history_reset(0);
    dBodySetPosition(b->frame, 7, y, 7);
    history_sample(0, 1000);
    EXPECT_EQ(dBodyGetPosition(b->frame)[0], 7);
}

// ---------------------------------------------------------------------------
// Demo files

// Reads the chunk heads of a version-6 file: (length field, payload length).
std::vector<std::pair<uint32_t, uint32_t>> chunk_fields(const std::string& bytes, size_t header) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    uint32_t prev = 0;
    size_t at = header;
    while (at + 9 <= bytes.size()) {
        uint32_t field;
        memcpy(&field, bytes.data() + at, 4);  // the test machine is little-endian
        uint32_t len = field ^ prev;
        out.push_back({field, len});
        prev = len;
        at += 9 + len;
    }
    return out;
}

size_t header_length(const std::string& bytes, int riders) {
    size_t at = 0;
    for (int line = 0; line < 2 + 4 * riders; line++) at = bytes.find('\n', at) + 1;
    return at;
}

TEST_F(Replay, RecordedRaceReplaysInOrderWithSkipAndRewind) {
    const std::string file = dirs->root + "/four.grdemo";
    demo_record_path = file;
    race.tick = 7;
    ASSERT_TRUE(race_reset(robots(4).data(), false, true, 0, 3, 2));
    ASSERT_TRUE(demo_recorder.open);
    BikeSetup setup = bike_setup_from_settings(settings);
    setup.arcade = false;
    for (int i = 0; i < 4; i++) apply_setup(race.slots[i].bike, setup, 0);
    std::map<int32_t, std::vector<std::array<double, 3>>> live;
    const int32_t end = race.start_tick + 8 * 128;
    while (race.tick < end) {
        race_tick();
        auto& row = live[race.tick];
        for (int i = 0; i < 4; i++) {
            const dReal* p = dBodyGetPosition(race.slots[i].bike->frame);
            row.push_back({p[0], p[1], p[2]});
        }
    }
    demo_record_tick(true);
    demo_record_stop();
    int gates[4];
    for (int i = 0; i < 4; i++) gates[i] = race.slots[i].timing.gate;
    std::vector<int> order;
    for (const Standing& s : race_timing.standings) order.push_back(s.slot);
    int moved = 0;
    for (int i = 0; i < 4; i++) moved += gates[i] > 0;
    ASSERT_GT(moved, 0) << "the riders must pass gates for the order to mean anything";

    // The file: header, then chunks whose length fields chain by XOR.
    const std::string bytes = grtest::read_file(file);
    ASSERT_EQ(bytes.compare(0, 5, "GR06 "), 0);
    auto chunks = chunk_fields(bytes, header_length(bytes, 4));
    ASSERT_GT(chunks.size(), 10u);
    EXPECT_EQ(chunks[0].first, chunks[0].second);
    for (size_t i = 1; i < chunks.size(); i++) {
        EXPECT_EQ(chunks[i].first, chunks[i].second ^ chunks[i - 1].second);
        EXPECT_EQ(chunks[i].second % DEMO_RECORD_SIZE, 0u);
    }

    // Played back: same riders, same gates, same order, same places.
    race.demo_name = file;
    const int grid[RACE_SLOTS] = {};
    ASSERT_TRUE(race_reset(grid, true, false, 0, 0, 2));
    ASSERT_TRUE(demo_player.open);
    for (int i = 0; i < 4; i++) ASSERT_TRUE(race.slots[i].bike && race.slots[i].mode == BIKE_REPLAYED);
    double worst = 0;
    while (race.tick < end) {
        race_tick();
        auto it = live.find(race.tick - 1);
        if (it == live.end()) continue;
        for (int i = 0; i < 4; i++) {
            double e = distance(dBodyGetPosition(race.slots[i].bike->frame), it->second[size_t(i)].data());
            worst = std::max(worst, e);
        }
    }
    // Records four ticks apart: a blend between them stays within inches.
    EXPECT_LT(worst, 0.25);
    race_tick();  // the last records are timed one tick later
    for (int i = 0; i < 4; i++) EXPECT_EQ(race.slots[i].timing.gate, gates[i]) << "slot " << i;
    standings_update();
    std::vector<int> replay_order;
    for (const Standing& s : race_timing.standings) replay_order.push_back(s.slot);
    EXPECT_EQ(replay_order, order);

    // Rewind one second, then skip one second.
    const int32_t now = race.tick - 300;
    ASSERT_TRUE(demo_seek(-(race.tick - now) / 128.0));  // back to a known tick first
    const int32_t at = race.tick;
    ASSERT_TRUE(demo_seek(-1));
    EXPECT_EQ(race.tick, at - 128);
    auto check_place = [&](int32_t tick) {
        auto it = live.find(tick);
        ASSERT_NE(it, live.end());
        for (int i = 0; i < 4; i++)
            EXPECT_LT(distance(dBodyGetPosition(race.slots[i].bike->frame), it->second[size_t(i)].data()), 0.25);
    };
    check_place(race.tick - 1);
    ASSERT_TRUE(demo_seek(1));
    EXPECT_EQ(race.tick, at);
    check_place(race.tick - 1);
    demo_play_close();
}

TEST_F(Replay, DamagedDemosAreRefusedOrEndCleanly) {
    const std::string good = "GR06 1 0 3 100\nredmesa\nyz125||||\n12\nAnn\n\n";
    const std::string path = dirs->root + "/bad.grdemo";
    struct Case {
        const char* what;
        std::string bytes;
        bool opens;
    } cases[] = {
        {"wrong magic", "XX06 1 0 3 100\nredmesa\n", false},
        {"version 3", "GR03 1 0 3\nredmesa\nyz125||||\n12\n", false},
        {"version 7", "GR07 1 0 3\nredmesa\nyz125||||\n12\nAnn\n\n", false},
        {"version 4", "GR04 1 0 3\nredmesa\nyz125||||\n12\n", false},
        {"absurd riders", "GR06 100000 0 3 100\nredmesa\n", false},
        {"negative riders", "GR06 -1 0 3 100\nredmesa\n", false},
        {"too few values", "GR06 1\nredmesa\n", false},
        {"header cut short", "GR06 2 0 3 100\nredmesa\nyz125||||\n12\nAnn\n\nyz125|", false},
        {"unterminated line", "GR06 0 0 3 100\nredmesa", false},
        {"no body", good, true},
    };
    for (const Case& c : cases) {
        grtest::write_file(path, c.bytes);
        messages_clear();
        EXPECT_EQ(demo_play_open(path.c_str()), c.opens) << c.what;
        if (!c.opens) {
            EXPECT_NE(last_message().find("Can't play demo"), std::string::npos) << c.what;
        }
        demo_play_close();
    }
    grtest::write_file(path, "GR04 1 0 3\nredmesa\nyz125||||\n12\n");
    demo_play_open(path.c_str());
    EXPECT_NE(last_message().find("version-4"), std::string::npos);

    // Without a start tick the gate drops at 14 s.
    grtest::write_file(path, "GR06 2 0 3\nredmesa\na||||\n1\nA\n\nb||||\n2\nB\n\n");
    ASSERT_TRUE(demo_play_open(path.c_str()));
    EXPECT_EQ(demo_player.start_tick, 1792);
    EXPECT_EQ(demo_player.laps, 3);
    EXPECT_EQ(demo_player.rider[1].name, "B");
    demo_play_close();

    // Bodies: a chunk cut in the middle, a length that is absurd, a long
    // message followed by more states; none reads past what is there.
    auto chunk = [](uint32_t field, int32_t tick, uint8_t type, const std::string& payload) {
        std::string c(9, '\0');
        memcpy(&c[0], &field, 4);
        memcpy(&c[4], &tick, 4);
        c[8] = char(type);
        return c + payload;
    };
    std::string record(DEMO_RECORD_SIZE, '\0');
    int32_t t10 = 10;
    memcpy(&record[1], &t10, 4);
    std::string message(2000, 'm');
    struct Body {
        const char* what;
        std::string bytes;
        const char* message;
        int states;
    } bodies[] = {
        {"truncated chunk", chunk(88, 10, 1, record + record.substr(0, 20)), "middle of a chunk", 1},
        {"absurd length", chunk(0x7fffff00, 10, 1, record), "damaged", 0},
        {"long message", chunk(2000, 10, 2, message) + chunk(2000 ^ 44, 12, 1, record), nullptr, 1},
        {"unknown type", chunk(44, 10, 9, record) + chunk(0, 12, 1, record), nullptr, 1},
    };
    for (const Body& b : bodies) {
        grtest::write_file(path, good + b.bytes);
        messages_clear();
        ASSERT_TRUE(demo_play_open(path.c_str())) << b.what;
        demo_player.rider_slot[0] = 7;
        race.tick = 0;
        for (int i = 0; i < 4; i++) demo_play_tick();
        EXPECT_TRUE(demo_player.ended) << b.what;
        int held = 0;
        for (int t : histories[7].ticks) held += t != -1;
        EXPECT_EQ(held, b.states) << b.what;
        if (b.message) {
            EXPECT_NE(last_message().find(b.message), std::string::npos) << b.what << ": " << last_message();
        }
        if (std::string(b.what) == "long message") {
            bool shown = false;
            for (const auto& line : messages.lines) shown = shown || std::string(line).find("mmmm") == 0;
            EXPECT_TRUE(shown);
        }
        demo_play_close();
    }
}

TEST_F(Replay, BackupsRotateAndNamesKeepTheRecording) {
    ASSERT_TRUE(race_reset(robots(1).data(), false, false, 0, 3, 2));
    const std::string demos = home("demos/");
    grtest::write_file(demos + "default.grdemo", "newest");
    grtest::write_file(demos + "default00.grdemo", "older");
    grtest::write_file(demos + "default01.grdemo", "oldest");
    settings.demo_backups = 3;
    demo_record_start();
    ASSERT_TRUE(demo_recorder.open);
    demo_name_recording("lap1");
    EXPECT_EQ(last_message(), "Demo name updated");
    demo_record_tick(true);
    demo_record_stop();
    EXPECT_EQ(grtest::read_file(demos + "default00.grdemo"), "newest");
    EXPECT_EQ(grtest::read_file(demos + "default01.grdemo"), "older");
    EXPECT_EQ(grtest::read_file(demos + "default02.grdemo"), "oldest");
    EXPECT_EQ(grtest::read_file(demos + "lap1.grdemo").compare(0, 4, "GR06"), 0);
    EXPECT_FALSE(std::filesystem::exists(demos + "default.grdemo"));

    settings.demo_backups = 0;
    demo_record_start();
    demo_name_recording("lap2.grdemo");
    demo_record_stop();
    EXPECT_TRUE(std::filesystem::exists(demos + "lap2.grdemo"));
    EXPECT_FALSE(std::filesystem::exists(demos + "lap2.grdemo.grdemo"));
    demo_name_recording("x");
    EXPECT_EQ(last_message(), "Not currently recording a demo");
}

// A whole lap of a time trial that beats the ghost (there is none yet)
// becomes the fastest lap, and the next attempt rides against it.
TEST_F(Replay, FastestLapBecomesTheGhost) {
    ASSERT_TRUE(race_reset(nullptr, false, true, 0, 3, 2));
    const std::string fast = home("redmesa/fastlap.grdemo");
    std::filesystem::remove(fast);
    // The lap counter changes at the end of the rolling lead-in: that lap
    // was not recorded from its start, so it is not kept.
    demo_lap_finished(5.0);
    EXPECT_FALSE(std::filesystem::exists(fast));
    ASSERT_TRUE(demo_recorder.open);
    for (int i = 0; i < 256; i++) race_tick();
    demo_lap_finished(30.0);
    ASSERT_TRUE(std::filesystem::exists(fast));
    ASSERT_TRUE(demo_player.open);
    EXPECT_TRUE(demo_player.lap_mode);
    ASSERT_TRUE(race.slots[1].bike);
    EXPECT_EQ(race.slots[1].mode, BIKE_REPLAYED);
    // The ghost starts now and follows the player's recorded lap.
    const int32_t start = race.tick;
    for (int i = 0; i < 64; i++) race_tick();
    EXPECT_FALSE(bike_hidden(1));
    EXPECT_EQ(demo_player.offset + demo_player.first_tick, start);
    demo_play_close();
    demo_record_stop();
}

}  // namespace
