// The race session on the generated "redmesa" track: the seeded set-up, the
// grid codes, the time trial, the starting-gate pieces and the ground left
// alone without erosion.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
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

const uint32_t BIG = RACE_SLOTS;

std::vector<int> grid_of(std::initializer_list<std::pair<int, int>> slot_codes) {
    std::vector<int> g(BIG, GRID_EMPTY);
    for (auto [slot, code] : slot_codes) g[size_t(slot)] = code;
    return g;
}

int bikes_on_grid() {
    int n = 0;
    for (const RiderSlot& s : race.slots) n += s.bike != nullptr;
    return n;
}

// A driver that only opens the throttle, so robot bikes leave the gate.
void throttle_only(Bike* b) {
    ControlRecord c;
    c.v[CONTROL_THROTTLE] = 0.7f;
    apply_controls(b, c);
}

// The roster order that seeding with `tick` gives, and the start tick drawn
// right after it.
void reference_set_up(uint32_t tick, int order[80], int32_t* start) {
    std::mt19937 mt(tick);
    std::iota(order, order + 80, 0);
    for (int j = 79; j >= 1; j--) {
        uint32_t r = mt();
        std::swap(order[j], order[(r >> 16) % uint32_t(j)]);
    }
    double u = double(mt() & 0x7fffffffu) / 2147483648.0;
    *start = int32_t((13 + 2 * u) * 128);
}

double dot_columns(const float a[9], const float b[9], int column) {
    double d = 0;
    for (int r = 0; r < 3; r++) d += double(a[r * 3 + column]) * b[r * 3 + column];
    return d;
}

// One race on the real game data for the whole suite; every test sets up its
// own race on it, so the track stays loaded between them.
class RaceSession : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dirs = grtest::use_game_data("redmesa"); }
    static void TearDownTestSuite() {
        grtest::release_game_data(dirs);
    }
    void SetUp() override {
        ASSERT_GE(app_lists.current_track, 0) << "no generated redmesa in " << std::filesystem::current_path();
        robot_driver = nullptr;
        settings.erode_rate = 0;
    }
    void TearDown() override { robot_driver = nullptr; }

    static int reset(const std::vector<int>& grid, int32_t limit = 0, int32_t laps = 3) {
        return race_reset(grid.data(), false, false, limit, laps, 2);
    }
    static Statue& statue_of(const GatePiece& p) { return scenery.statues[size_t(p.statue)]; }

    static grtest::TestDirs* dirs;
};
grtest::TestDirs* RaceSession::dirs = nullptr;

TEST_F(RaceSession, SetUpsAreSeededByTheTick) {
    // Two set-ups in a row, the second after a few ticks of the first.
    for (int32_t seed : {977, 3}) {
        SCOPED_TRACE(seed);
        if (seed == 3)
            for (int i = 0; i < 3; i++) race_tick();
        else race.tick = seed;
        ASSERT_EQ(race.tick, seed);
        ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}})), 1);

        int order[80];
        int32_t start;
        reference_set_up(uint32_t(seed), order, &start);
        EXPECT_TRUE(std::equal(order, order + 80, race.roster_order));
        EXPECT_EQ(race.start_tick, start);
        EXPECT_GE(race.start_tick, 1664);
        EXPECT_LE(race.start_tick, 1919);
        EXPECT_EQ(race.tick, 0);
        EXPECT_EQ(race.settle_ticks, 640);
        EXPECT_FALSE(race.time_trial);
    }

    // The race length: laps, or laps after a time limit.
    EXPECT_EQ(race_timing.laps, 3);
    EXPECT_EQ(race_timing.half_lap, 2);
    ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}}), 128 * 60, 2), 1);
    EXPECT_EQ(race_timing.laps, 1000000);
    EXPECT_EQ(race_timing.half_lap, 1000000);
    EXPECT_EQ(race_timing.extra_laps, 2);
    EXPECT_EQ(race_timing.duration, 128 * 60);
}

TEST_F(RaceSession, GridCodes) {
    race.tick = 41;

    // No code at all: a robot rides in slot 0 and is followed.
    race.viewed_slot = 9;
    ASSERT_EQ(reset(grid_of({})), 1);
    ASSERT_NE(race.slots[0].bike, nullptr);
    EXPECT_EQ(race.slots[0].mode, BIKE_ROBOT);
    EXPECT_EQ(race.slots[0].name, "Roborider");
    EXPECT_EQ(race_timing.riders[0].number, roster[race.roster_order[0]].number);
    EXPECT_EQ(robot_states[0].personality, personality_index(roster[race.roster_order[0]].personality));
    EXPECT_EQ(bikes_on_grid(), 1);
    EXPECT_EQ(race.viewed_slot, 0);

    // "Human" twice: the first keeps the player and is followed.
    ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}, {2, GRID_HUMAN}, {5, GRID_HUMAN}})), 1);
    EXPECT_EQ(race.slots[2].mode, BIKE_LOCAL);
    ASSERT_NE(race.slots[2].bike, nullptr);
    EXPECT_EQ(race.slots[5].bike, nullptr);
    EXPECT_EQ(race.slots[5].mode, BIKE_REPLAYED);
    EXPECT_EQ(race.slots[0].mode, BIKE_ROBOT);
    EXPECT_EQ(bikes_on_grid(), 2);
    EXPECT_EQ(race.viewed_slot, 2);
    EXPECT_TRUE(race_timing.riders[2].local);

    // Race numbers pick their roster entries.
    ASSERT_EQ(reset(grid_of({{0, GRID_NUMBER + 57}, {1, GRID_NUMBER + 20}})), 1);
    EXPECT_EQ(race_timing.riders[0].number, "57");
    EXPECT_EQ(race_timing.riders[1].number, "20");

    // "Robot (2 stroke)" in 21 slots: the roster's twenty 125s, then the next
    // roster entry, still a robot.
    std::vector<int> g(BIG, GRID_EMPTY);
    for (int i = 0; i <= 20; i++) g[size_t(i)] = GRID_ROBOT_125;
    ASSERT_EQ(reset(g), 1);
    std::set<std::string> numbers;
    for (int i = 0; i < 20; i++) {
        ASSERT_NE(race.slots[i].bike, nullptr) << i;
        EXPECT_EQ(race.slots[i].mode, BIKE_ROBOT);
        EXPECT_NE(std::string(race.slots[i].bike->model.name).find("125"), std::string::npos) << i;
        numbers.insert(race_timing.riders[i].number);
    }
    EXPECT_EQ(numbers.size(), 20u);
    ASSERT_NE(race.slots[20].bike, nullptr);
    EXPECT_EQ(race.slots[20].mode, BIKE_ROBOT);
    EXPECT_EQ(race.slots[20].name, "Roborider");
    EXPECT_EQ(std::string(race.slots[20].bike->model.name).find("125"), std::string::npos);
    EXPECT_EQ(race_timing.riders[20].number, roster[race.roster_order[20]].number);
}

TEST_F(RaceSession, TimeTrialRollsInTwoGatesBeforeTheFirstLapEnds) {
    race.tick = 5;
    ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}, {1, GRID_ROBOT}, {2, GRID_ROBOT}})), 1);
    ASSERT_EQ(race_reset(nullptr, false, false, 0, 1000, 2), 1);
    EXPECT_TRUE(race.time_trial);
    EXPECT_EQ(race.tick, 38400);
    EXPECT_EQ(bikes_on_grid(), 1);
    ASSERT_NE(race.slots[0].bike, nullptr);
    EXPECT_EQ(race.slots[0].mode, BIKE_LOCAL);
    EXPECT_EQ(race.viewed_slot, 0);

    const TrackGates& tg = track_gates;
    ASSERT_GT(tg.first, 0);
    const int c = std::max(tg.first - 2, 0);
    const TimingGate& gate = tg.gates[size_t(tg.sequence[size_t(c)] % GATE_FLAG)];
    auto check_at_gate = [&]() {
        const RiderSlot& s = race.slots[0];
        EXPECT_EQ(s.timing.gate, c);
        EXPECT_EQ(s.timing.times.size(), size_t(c));
        const dReal* f = dBodyGetPosition(s.bike->front_wheel);
        const dReal* r = dBodyGetPosition(s.bike->rear_wheel);
        EXPECT_LT(std::hypot(f[0] - gate.point[0], f[2] - gate.point[2]), 3.0);
        double dx = f[0] - r[0], dz = f[2] - r[2];
        double along = (dx * gate.direction[0] + dz * gate.direction[2]) /
                       (std::hypot(dx, dz) * std::hypot(gate.direction[0], gate.direction[2]));
        EXPECT_GT(along, 0.99) << "the bike faces along the gate";
        EXPECT_GT(r[1], terrain_height_at(float(r[0]), float(r[2])));
    };
    check_at_gate();

    // An attempt that went astray; backing up puts the bike back at the gate.
    move_bike(race.slots[0].bike, 30, 0, 20);
    for (int i = 0; i < 16; i++) race_tick();
    race.slots[0].timing.gate = 0;
    time_trial_restart();
    check_at_gate();
    EXPECT_EQ(race.last_lap_time, 0);
}

TEST_F(RaceSession, GatePieceLeanedOnStaysUpAndFallsOnceReleased) {
    race.tick = 77;
    ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}})), 1);
    ASSERT_GE(race.gate_pieces.size(), 4u);
    for (const GatePiece& p : race.gate_pieces) {
        ASSERT_GE(p.statue, 0);
        ASSERT_NE(statue_of(p).shape, nullptr);
    }
    race_tick();  // before the drop: every piece stands up
    for (const GatePiece& p : race.gate_pieces) {
        EXPECT_EQ(p.fall, 1);
        EXPECT_NEAR(dot_columns(statue_of(p).orientation, p.base, 2), std::cos(3 * M_PI / 16), 1e-5);
        EXPECT_NEAR(dot_columns(statue_of(p).orientation, p.base, 0), 1, 1e-5);  // about the hinge
    }

    // The bike, held still, leans on piece 1 and keeps leaning.
    GatePiece& held = race.gate_pieces[1];
    const GatePiece& free_piece = race.gate_pieces[3];
    Bike* b = race.slots[0].bike;
    set_bike_presence(b, false);
    const StartSlot& slot = track_gates.start_slots[1];
    const double up[3] = {0, 1, 0};
    bool leaning = false;
    for (double back = -3; back <= 6 && !leaning; back += 0.25) {
        reset_bike_pose(b);
        rotate_bike(b, up, slot.angle);
        move_bike(b, slot.position[0] + std::sin(slot.angle) * back, slot.position[1],
                  slot.position[2] + std::cos(slot.angle) * back);
        dVector3 pos;
        dMatrix3 rot;
        statue_collision_pose(statue_of(held), pos, rot);
        leaning = collide_bike_with_statue(b, statue_of(held).shape, nullptr, pos, rot) != 0;
    }
    dJointGroupEmpty(physics.contacts);
    ASSERT_TRUE(leaning) << "no place where the bike touches the piece";

    race.tick = race.start_tick - 2;
    int free_down = -1;
    float top_speed = 0;
    for (int i = 0; i < 64; i++) {
        float before = free_piece.fall;
        race_tick();
        int t = race.tick - 1;
        ASSERT_EQ(statue_of(held).touched_tick, t) << "the bike stopped leaning";
        EXPECT_EQ(held.fall, 1) << t - race.start_tick;
        EXPECT_LE(free_piece.fall, before);
        EXPECT_LE(free_piece.speed, 8);
        top_speed = std::max(top_speed, free_piece.speed);
        if (free_down < 0 && free_piece.fall == 0) free_down = t - race.start_tick;
    }
    EXPECT_GE(free_down, 28);
    EXPECT_LE(free_down, 36);
    EXPECT_EQ(top_speed, 8);
    EXPECT_NEAR(dot_columns(statue_of(free_piece).orientation, free_piece.base, 2), 1, 1e-6);

    // Released: it falls the same way.
    move_bike(b, 0, 200, 0);
    int released = race.tick, down = -1;
    for (int i = 0; i < 64 && down < 0; i++) {
        race_tick();
        EXPECT_LE(held.speed, 8);
        if (held.fall == 0) down = race.tick - released;
    }
    EXPECT_GE(down, 28);
    EXPECT_LE(down, 36);
}

TEST_F(RaceSession, GatePiecesComeDownToTheirPlacedPoseAfterAnEarlyReset) {
    // A new race set up while the gate is still closed.
    race.tick = 12;
    ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}})), 1);
    race_tick();
    ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}})), 1);
    race.tick = race.start_tick - 1;
    for (int i = 0; i < 48; i++) race_tick();
    ASSERT_FALSE(race.gate_pieces.empty());
    for (const GatePiece& p : race.gate_pieces) {
        ASSERT_EQ(p.fall, 0);
        const Statue& s = statue_of(p);
        float placed[9];
        statue_orientation(s.x, s.z, s.angle, placed);
        for (int k = 0; k < 9; k++) EXPECT_NEAR(s.orientation[k], placed[k], 1e-5) << "piece " << &p - &race.gate_pieces[0];
    }
}

TEST_F(RaceSession, NoErosionLeavesTheGroundAlone) {
    robot_driver = throttle_only;
    for (float rate : {0.0f, 100.0f}) {
        SCOPED_TRACE(rate);
        settings.erode_rate = rate;
        race.tick = 3;
        ASSERT_EQ(reset(grid_of({{0, GRID_ROBOT}, {1, GRID_ROBOT}, {2, GRID_ROBOT}})), 1);
        const size_t D = size_t(terrain.dim);
        ASSERT_GT(D, 0u);
        std::vector<float> before(terrain.heights, terrain.heights + D * D);
        const int counter = terrain.change_counter;
        race.tick = race.start_tick - 64;
        for (int i = 0; i < 128 * 4; i++) {
            race_tick();
            if (rate > 0) continue;
            ASSERT_EQ(terrain.change_counter, counter) << "tick " << i;
            if (i % 64 == 0) {
                ASSERT_EQ(memcmp(before.data(), terrain.heights, D * D * sizeof(float)), 0) << "tick " << i;
            }
        }
        bool changed = memcmp(before.data(), terrain.heights, D * D * sizeof(float)) != 0;
        EXPECT_EQ(changed, rate > 0);
    }
    // The next race starts on unworn ground.
    race.force_track_reload = true;
}

}  // namespace
