// Timing gates: the file, the crossing test, laps, the finish rule,
// standings, time-limited races and cut-track penalties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_dirs.h"
#include "terrain/terrain.h"
#include "terrain/terrain_test_util.h"
#include "track/track.h"

using namespace gr;

namespace {

// Gates in a row along +x at x = 10, 20, 30, ... (z = 0), each passed
// driving toward +x; the lap plan is given as written in the file.
void make_row(int gates, std::vector<int> first, std::vector<int> normal, float radius = 4) {
    track_gates = TrackGates{};
    for (int i = 0; i < gates; i++) {
        TimingGate g;
        g.point[0] = 10.0f * float(i + 1);
        g.direction[0] = 1;
        g.direction[2] = 0;
        g.radius = radius;
        track_gates.gates.push_back(g);
    }
    track_gates.sequence = first;
    track_gates.sequence.insert(track_gates.sequence.end(), normal.begin(), normal.end());
    track_gates.first = track_gates.first_real = int(first.size());
    track_gates.normal = track_gates.normal_real = int(normal.size());
}

class TimingTest : public ::testing::Test {
protected:
    void SetUp() override {
        timing_reset();
        race_timing.tick = 0;
        race_timing.start_tick = 0;
        race_timing.duration = 0;
        race_timing.extra_laps = 0;
        race_timing.laps = 2;
        for (int i = 0; i < 4; i++) {
            riders[i] = RiderTiming{};
            race_timing.riders[i].timing = &riders[i];
            race_timing.riders[i].number = std::to_string(i + 1);
            race_timing.riders[i].bike = "cr250";
        }
    }
    void TearDown() override {
        timing_reset();
        track_gates = TrackGates{};
    }
    // Rider `slot` stands just past the gate at x (or anywhere) at `tick`.
    void at(int slot, float x, int tick, float z = 0) {
        race_timing.tick = tick;
        float p[3] = {x, 0, z};
        gates_update_rider(slot, p);
    }
    void pass(int slot, int gate, int tick) { at(slot, 10.0f * float(gate + 1) + 0.5f, tick); }
    RiderTiming riders[4];
};

TEST_F(TimingTest, CrossingTestCountsOnlyForwardThroughTheHalfDisc) {
    make_row(6, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5});
    RiderTiming& r = riders[0];
    at(0, 9.5f, 1);  // behind the gate line: not in the half-disc
    EXPECT_EQ(r.gate, 0);
    at(0, 10.5f, 2, 4.5f);  // beyond the radius
    EXPECT_EQ(r.gate, 0);
    at(0, 10.5f, 3);
    EXPECT_EQ(r.gate, 1);
    EXPECT_EQ(r.times, std::vector<int>({3}));
    at(0, 10.5f, 4);  // still in the gate just passed: never re-examined
    at(0, 9.5f, 5);   // reversing through it
    EXPECT_EQ(r.gate, 1);

    // Inside the next gate and the one after at once: only the next counts.
    make_row(6, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, 12);
    RiderTiming& q = riders[1];
    at(1, 10.5f, 6);  // in gate 0 (x 10, radius 12) only
    EXPECT_EQ(q.gate, 1);
    at(1, 20.5f, 7);  // in gates 0 and 1: gate 1 is next
    EXPECT_EQ(q.gate, 2);
    EXPECT_EQ(q.times, std::vector<int>({6, 7}));
}

TEST_F(TimingTest, SkippedGatesAndGoingBackForThem) {
    make_row(6, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5});
    RiderTiming& r = riders[0];
    pass(0, 2, 10);  // straight through gate 2 without 0 and 1
    EXPECT_EQ(r.gate, 3);
    EXPECT_EQ(r.times, std::vector<int>({-1, -1, 10}));
    pass(0, 0, 20);  // back through gate 0: a gap exists, so it counts
    EXPECT_EQ(r.gate, 1);
    EXPECT_EQ(r.times, std::vector<int>({20, -1, 10}));
}

TEST_F(TimingTest, AnUnpassedFinishBlocksEverythingBeyond) {
    // First lap 0 1 2 (finish = gate 2); normal laps 0 1 2.
    make_row(3, {0, 1, 2}, {0, 1, 2});
    RiderTiming& r = riders[0];
    pass(0, 0, 1);
    pass(0, 1, 2);
    EXPECT_EQ(r.gate, 2);
    // Gate index 3 is gate 0 of lap 2; it may not count before the finish (index 2).
    pass(0, 0, 3);
    EXPECT_EQ(r.gate, 2);
    pass(0, 2, 4);
    EXPECT_EQ(r.gate, 3);
    int lap, in_lap;
    rider_lap(0, &lap, &in_lap);
    EXPECT_EQ(lap, 1);
    EXPECT_EQ(in_lap, 0);
    EXPECT_DOUBLE_EQ(rider_lap_time(0, 1), 4.0 / 128.0);
    EXPECT_EQ(rider_lap_time(0, 2), 0);
}

TEST_F(TimingTest, LapsFinishAndStandings) {
    // A longer first lap (start straight through gate 3) then laps 0 1 2.
    make_row(4, {3, 0, 1, 2}, {0, 1, 2});
    race_timing.laps = 2;
    for (int tick = 100, slot = 0; slot < 2; slot++, tick += 5) {
        pass(slot, 3, tick);
        pass(slot, 0, tick + 10);
        pass(slot, 1, tick + 20);
        pass(slot, 2, tick + 30);  // lap 1 done
    }
    EXPECT_EQ(race_timing.standings[0].slot, 0);
    EXPECT_EQ(race_timing.standings[1].slot, 1);
    EXPECT_FALSE(rider_finished(0));
    int t = 200;
    for (int g : {0, 1, 2}) pass(1, g, t += 10);  // slot 1 finishes lap 2 first
    EXPECT_TRUE(riders[1].finished);
    EXPECT_EQ(race_timing.standings[0].slot, 1);
    for (int g : {0, 1, 2}) pass(0, g, t += 10);
    EXPECT_TRUE(riders[0].finished);
    // The other two slots never moved: the race is not over.
    EXPECT_FALSE(race_timing.final_done);
    // A rider who finishes later than the leader's final finish is done at his next finish line.
    race_timing.riders[2].timing = nullptr;
    race_timing.riders[3].timing = nullptr;
    standings_update();
    EXPECT_TRUE(race_timing.final_done);
    EXPECT_EQ(race_timing.final_standings[0].slot, 1);
    EXPECT_EQ(race_length_text(0, 3, 0), "3 laps");
    EXPECT_EQ(race_length_text(10 * 60 * 128, 3, 1), "10 minutes + 1 laps");
    EXPECT_EQ(race_length_text(90 * 128, 3, 0), "2 minutes");
}

TEST_F(TimingTest, TimeLimitRunsExtraLapsAfterTheDeadline) {
    make_row(2, {0, 1}, {0, 1});
    race_timing.riders[1].timing = nullptr;
    race_timing.riders[2].timing = nullptr;
    race_timing.riders[3].timing = nullptr;
    race_timing.duration = 600;  // ticks
    race_timing.extra_laps = 1;
    race_timing.laps = 1000;
    // Laps take 250 ticks: lap 1 ends at 250, lap 2 at 500, lap 3 at 750.
    int t = 0;
    for (int lap = 0; lap < 3; lap++) {
        pass(0, 0, t + 125);
        pass(0, 1, t += 250);
    }
    EXPECT_EQ(race_timing.half_lap, 2);  // the leader was on lap 2 at half time
    // The first lap completed after the 600 ticks is lap 3; one more follows.
    EXPECT_EQ(race_timing.laps, 4);
    EXPECT_FALSE(riders[0].finished);
    pass(0, 0, t + 125);
    pass(0, 1, t += 250);
    EXPECT_TRUE(riders[0].finished);
    EXPECT_TRUE(race_timing.final_done);
}

TEST_F(TimingTest, CuttingIsPenalisedOnlyWhenItGainedTime) {
    make_row(4, {0, 1, 2, 3}, {0, 1, 2, 3});
    race_timing.laps = 1;
    race_timing.riders[3].timing = nullptr;
    // Two honest riders take 100 ticks per gate; the cutter skips gates 1
    // and 2 and is fast, the slow cutter skips them and is slow.
    for (int slot : {0, 1})
        for (int g = 0; g < 4; g++) pass(slot, g, 100 * (g + 1));
    pass(2, 0, 100);
    pass(2, 3, 150);  // 0 -> 3 in 50 ticks; the field takes 300
    EXPECT_TRUE(race_timing.final_done);
    const std::vector<Standing>& fs = race_timing.final_standings;
    ASSERT_EQ(fs.size(), 3u);
    // Expected 300 + 128 ticks, took 50: 378 ticks of penalty.
    EXPECT_EQ(fs[2].slot, 2);
    EXPECT_EQ(fs[2].penalty, 378);
    EXPECT_EQ(fs[2].time, 150 + 378);
    ASSERT_EQ(race_timing.penalty_lines.size(), 1u);
    EXPECT_EQ(race_timing.penalty_lines[0], "  3 penalized 2.95 seconds for cutting track");

    // A cutter slower over the stretch than the field plus a second goes free.
    SetUp();
    make_row(4, {0, 1, 2, 3}, {0, 1, 2, 3});
    race_timing.laps = 1;
    race_timing.riders[3].timing = nullptr;
    for (int slot : {0, 1})
        for (int g = 0; g < 4; g++) pass(slot, g, 100 * (g + 1));
    pass(2, 0, 100);
    pass(2, 3, 100 + 300 + 129);
    ASSERT_TRUE(race_timing.final_done);
    EXPECT_EQ(race_timing.final_standings[2].penalty, 0);
    EXPECT_TRUE(race_timing.penalty_lines.empty());
}

TEST_F(TimingTest, SegmentAverageOverLaterLaps) {
    make_row(3, {0, 1, 2}, {0, 1, 2});
    race_timing.laps = 5;
    // Gate index 3..5 is lap 2; the stretch 4 -> 5 repeats as 7 -> 8.
    int times[] = {10, 20, 30, 40, 60, 70, 80, 100, 130};
    for (int i = 0; i < 9; i++) pass(0, i % 3, times[i]);
    // Stretch (4, 5) = 10 ticks in lap 2; (7, 8) = 30 in lap 3: mean 20.
    EXPECT_DOUBLE_EQ(segment_time_average(4, 5), 20.0);
    EXPECT_DOUBLE_EQ(segment_time_average(-1, 1), 20.0);  // from the start
    EXPECT_DOUBLE_EQ(segment_time_average(20, 21), 10.0);  // the same stretch of a normal lap
    EXPECT_DOUBLE_EQ(segment_time_average(0, 20), 60.0 * 128);  // nobody got there
}

class GatesFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        track = dirs.program + "tracks/t/";
        terraintest::write_track(track, terraintest::TrackFiles{}, [](int, int) { return 0u; });
        ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
        scenery_free();
        messages_clear();
    }
    void TearDown() override {
        track_gates = TrackGates{};
        scenery_free();
        terrain_free();
        grtest::remove_test_dirs(dirs);
    }
    grtest::TestDirs dirs;
    std::string track;
};

TEST_F(GatesFileTest, ReadsSlotsGatesAndLapPlan) {
    grtest::write_file(track + "timing_gates",
                       "startinggate:\n"
                       "[ 10 0 5 ] 0\n"
                       "[ 12 3 5 ] 7.0 gate.jm gate.png gate.shp\n"
                       "checkpoints:\n"
                       "5 [ 8 0 8 ] [ 1 0 0 ]\n"
                       "6 [ 12 0 12 ] [ 0 0 1 ]\n"
                       "firstlap: 1 0 100001\n"
                       "normallap: 0 -4 9 200000\n");
    gates_load("@tracks/t");
    const TrackGates& tg = track_gates;
    ASSERT_EQ(tg.start_slots.size(), 2u);
    EXPECT_NEAR(tg.start_slots[1].angle, 7.0f - 2 * float(M_PI), 1e-5);
    EXPECT_EQ(tg.start_slots[0].model, "@startgate.jm");
    EXPECT_EQ(tg.start_slots[1].shape, "gate.shp");
    // The gate piece stands 3 feet behind its slot.
    ASSERT_EQ(scenery.statues.size(), 2u);
    EXPECT_FLOAT_EQ(scenery.statues[0].x, 10);
    EXPECT_FLOAT_EQ(scenery.statues[0].z, 2);
    EXPECT_FLOAT_EQ(scenery.statues[1].y, 3);  // at the slot's height
    ASSERT_EQ(tg.gates.size(), 2u);
    EXPECT_FLOAT_EQ(tg.gates[1].radius, 6);
    EXPECT_EQ(tg.first, 3);
    EXPECT_EQ(tg.normal, 4);
    EXPECT_EQ(tg.sequence, std::vector<int>({1, 0, 100001, 0, 0, 1, 100000}));
    EXPECT_EQ(tg.first_real, 2);
    EXPECT_EQ(tg.normal_real, 3);

    // Written back and read again it is the same plan.
    ASSERT_TRUE(gates_save("@tracks/t"));
    std::vector<int> seq = tg.sequence;
    scenery_free();
    gates_load("@tracks/t");
    EXPECT_EQ(track_gates.sequence, seq);
    EXPECT_EQ(track_gates.start_slots.size(), 2u);
    EXPECT_EQ(track_gates.start_slots[1].texture, "gate.png");
}

TEST_F(GatesFileTest, MalformedFilesLeaveNoTiming) {
    const struct {
        const char* text;
        size_t slots;
    } cases[] = {
        {"checkpoints:\n5 [ 8 0 8 ] [ 1 0 0 ]\nfirstlap: 0\nnormallap: 0\n", 0},
        {"startinggate:\n[ 1 0 1 ] 0\ncheckpoints:\n5 [ 8 0 8 ] [ 1 0 0 ]\nfirstlap: 0\n", 1},
        {"startinggate:\n[ 1 0 1 ] 0\ncheckpoints:\nfirstlap: 0\nnormallap: 0\n", 1},
        {"startinggate:\n[ 1 0 1 ] 0\ncheckpoints:\n5 [ 8 0 8 ] [ 1 0 0 ]\nfirstlap: 100000\nnormallap: 0\n", 1},
        {"startinggate:\n[ 1 0 1 ] 0\ncheckpoints:\n5 [ 8 0 8 ] [ 1 0 0 ]\nfirstlap:\nnormallap: 0\n", 1},
        {"startinggate:\n[ 1 0 ] 0\ncheckpoints:\n5 [ 8 0 8 ] [ 1 0 0 ]\nfirstlap: 0\nnormallap: 0\n", 0},
        {"startinggate:\n[ 1 0 1 ] 0\n[ 2 2 ] 0\ncheckpoints:\n5 [ 8 0 8 ] [ 1 0 0 ]\nfirstlap: 0\nnormallap: 0\n", 1},
        {"", 0},
        {"startinggate:", 0},
    };
    for (const auto& c : cases) {
        grtest::write_file(track + "timing_gates", c.text);
        scenery_free();
        gates_load("@tracks/t");
        EXPECT_TRUE(track_gates.gates.empty()) << c.text;
        EXPECT_EQ(track_gates.first + track_gates.normal, 0) << c.text;
        EXPECT_EQ(track_gates.start_slots.size(), c.slots) << c.text;
    }
}

}  // namespace
