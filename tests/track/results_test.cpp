// The results file and points series.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/data.h"
#include "support/test_dirs.h"
#include "track/track.h"

using namespace gr;

namespace {

class ResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        series_state = SeriesState{};
        new_race();
    }
    void new_race() {
        timing_reset();
        // Three gates along +x; laps are 0 1 2 from the start.
        track_gates = TrackGates{};
        for (int i = 0; i < 3; i++) {
            TimingGate g;
            g.point[0] = 10.0f * float(i + 1);
            g.direction[0] = 1;
            g.direction[2] = 0;
            g.radius = 4;
            track_gates.gates.push_back(g);
        }
        track_gates.sequence = {0, 1, 2, 0, 1, 2};
        track_gates.first = track_gates.normal = 3;
        track_gates.first_real = track_gates.normal_real = 3;
        race_timing.start_tick = 128;
        race_timing.laps = 2;
        current_track.name = "tracks/t";
        const char* numbers[] = {"7", "9", "42"};
        for (int i = 0; i < 3; i++) {
            riders[i] = RiderTiming{};
            race_timing.riders[i].timing = &riders[i];
            race_timing.riders[i].number = numbers[i];
            race_timing.riders[i].bike = "cr250";
        }
        race_timing.riders[2].local = true;
    }
    void TearDown() override {
        timing_reset();
        track_gates = TrackGates{};
        current_track = CurrentTrack{};
        series_state = SeriesState{};
        grtest::remove_test_dirs(dirs);
    }
    void pass(int slot, int gate, int tick) {
        race_timing.tick = tick;
        float p[3] = {10.0f * float(gate + 1) + 0.5f, 0, 0};
        gates_update_rider(slot, p);
    }
    // Two laps; each rider needs `lap_ticks` per lap (negative: stays put).
    void race(const std::vector<int>& lap_ticks) {
        for (int lap = 0; lap < 2; lap++)
            for (int g = 0; g < 3; g++)
                for (size_t s = 0; s < lap_ticks.size(); s++)
                    if (lap_ticks[s] >= 0) pass(int(s), g, 128 + lap * lap_ticks[s] + (g + 1) * lap_ticks[s] / 3);
    }
    grtest::TestDirs dirs;
    RiderTiming riders[3];
};

TEST_F(ResultsTest, ResultsFileIsWrittenWhenTheRaceIsOver) {
    race({384, 390, 396});
    ASSERT_TRUE(race_timing.final_done);
    std::string text = grtest::read_file(dirs.home + "results.txt");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(0, text.find("|Date=")), "Time=6.00|Laps=2|Track=tracks/t");
    EXPECT_EQ(results_text(1234), grtest::read_file(dirs.home + "results.txt").replace(
                                      text.find("Date=") + 5, text.find("\r\n") - text.find("Date=") - 5, "1234"));
    std::string expect = "Time=6.00|Laps=2|Track=tracks/t|Date=1234\r\n"
                         " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
                         "   7 |        cr250 |    2 |   0:06.000 |    1 |   0:03.000\r\n"
                         "   9 |        cr250 |    2 |   0:06.094 |    1 |   0:03.047\r\n"
                         "  42 |        cr250 |    2 |   0:06.188 |    1 |   0:03.094\r\n"
                         "\r\n6\r\n   1.000    2.000    3.000\r\n   4.000    5.000    6.000\r\n";
    EXPECT_EQ(results_text(1234).substr(0, expect.size()), expect);
}

TEST_F(ResultsTest, SkippedGatesPrintMinusOne) {
    race_timing.riders[1].timing = nullptr;
    race_timing.riders[2].timing = nullptr;
    for (int g = 0; g < 3; g++) pass(0, g, 200 + 100 * g);
    pass(0, 0, 500);
    pass(0, 2, 700);  // gate 1 of the last lap skipped
    ASSERT_TRUE(race_timing.final_done);
    std::string text = results_text(0);
    EXPECT_NE(text.find("\r\n6\r\n   0.562    1.344    2.125\r\n   2.906       -1    4.469\r\n"), std::string::npos)
        << text;
}

const char* series_text =
    "\"Spring Cup\" 2 Amateur\n7 9\n2\n"
    "\"Round one\" tracks/t 1 3\n"
    "25 22 20 18 16 15 14 13 12 11 10 9 8 7 6 5 4 3 2 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
    "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
    "\"Round one, moto two\" tracks/t 1 3\n"
    "25 22 20 18 16 15 14 13 12 11 10 9 8 7 6 5 4 3 2 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
    "50 40 30 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";

TEST_F(ResultsTest, SeriesRoundsAndStandingsFile) {
    grtest::write_file(dirs.program + "series/spring.series", series_text);
    series_load_all({"tracks/a", "tracks/t"});
    ASSERT_EQ(series_state.series.size(), 1u);
    PointsSeries& s = series_state.series[0];
    EXPECT_EQ(s.title, "Spring Cup");
    EXPECT_EQ(s.robot_skill, 1);
    EXPECT_EQ(s.rider_numbers, std::vector<int>({7, 9}));
    ASSERT_EQ(s.events.size(), 2u);
    EXPECT_EQ(s.events[1].title, "Round one, moto two");
    EXPECT_EQ(s.events[0].track, 1);
    EXPECT_EQ(s.events[0].settings[1], 3);
    EXPECT_EQ(s.standings_path, "@series/spring.series_standings");
    series_state.running = 0;

    // Moto one: 7, 9, player (42).
    race({384, 390, 396});
    EXPECT_EQ(s.events_done, 1);
    EXPECT_EQ(s.events[0].positions, std::vector<int>({0, 1, 2}));
    // Moto two: player, 9, then 7 who leaves without finishing.
    new_race();
    race_timing.riders[0].left = true;
    race({-1, 390, 384});
    PointsSeries& s2 = series_state.series[0];
    ASSERT_EQ(s2.events_done, 2);
    // Rider 7 was never classified: position R = 2, scoring moto_points[2].
    EXPECT_EQ(s2.events[1].positions, std::vector<int>({2, 1, 0}));
    // Sums: 7 = 25 + 20 = 45, 9 = 22 + 22 = 44, player = 20 + 25 = 45; the
    // tie between 7 and the player goes to the better second-moto position.
    EXPECT_EQ(s2.events[1].round_positions, std::vector<int>({1, 2, 0}));
    EXPECT_EQ(grtest::read_file(dirs.home + "series/spring.series_standings"), "1 2 3 \n3 2 1 \n");

    // Read back from the file it gives the same.
    series_load_all({"tracks/a", "tracks/t"});
    EXPECT_EQ(series_state.series[0].events_done, 2);
    EXPECT_EQ(series_state.series[0].events[1].round_positions, std::vector<int>({1, 2, 0}));
    series_reset_points(&series_state.series[0]);
    series_load_all({"tracks/a", "tracks/t"});
    EXPECT_EQ(series_state.series[0].events_done, 0);
}

TEST_F(ResultsTest, BrokenSeriesFilesAreSkipped) {
    std::string good = series_text;
    const std::string cases[] = {
        good.substr(0, good.size() / 2),                            // cut short
        std::string(good).replace(good.find("tracks/t"), 8, "tracks/x"),  // unknown track
        "\"Cup\" 200 Expert\n",                                     // absurd rider count
        "\"Cup\" 1 Expert\n7\n-1\n",                                // negative event count
        "\"Unclosed 2 Expert\n",
        "",
    };
    int k = 0;
    for (const std::string& c : cases) {
        PointsSeries s;
        grtest::write_file(dirs.program + "bad" + std::to_string(k) + ".series", c);
        EXPECT_FALSE(series_parse(("@bad" + std::to_string(k) + ".series").c_str(), {"tracks/t"}, &s)) << k;
        k++;
    }
    series_load_all({"tracks/t"});
    EXPECT_TRUE(series_state.series.empty());
    // An unknown skill word counts as Expert; a standings line cut short ends reading.
    grtest::write_file(dirs.program + "ok.series", std::string(series_text).replace(std::string(series_text).find("Amateur"), 7, "Wizard"));
    grtest::write_file(dirs.home + "ok.series_standings", "1 2 3\n1 2\n");
    data_free();  // the file index is built once; these files are new
    series_load_all({"tracks/t"});
    ASSERT_EQ(series_state.series.size(), 1u);
    EXPECT_EQ(series_state.series[0].robot_skill, 2);
    EXPECT_EQ(series_state.series[0].events_done, 1);
}

TEST(SeriesGrid, SlotTables) {
    EXPECT_EQ(series_slot_table(3), std::vector<int>({6, 8, 10, 12}));
    EXPECT_EQ(series_slot_table(14).back(), 34);
    std::vector<int> big = series_slot_table(15);
    EXPECT_EQ(big, std::vector<int>({10, 9, 11, 8, 12, 7, 13, 6, 14, 5, 15, 4, 16, 3, 17, 2}));
    std::vector<int> all = series_slot_table(25);
    EXPECT_EQ(std::vector<int>(all.begin() + 19, all.end()), std::vector<int>({0, 20, 21, 22, 23, 24, 25}));
}

}  // namespace
