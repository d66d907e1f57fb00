// Every generated track through the real track loader: it loads without a
// message, its lap plan can be ridden gate to gate from the starting gate,
// and its scenery, cameras and lighting are all there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/app.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "support/test_dirs.h"
#include "terrain/terrain.h"
#include "track/track.h"

using namespace gr;

namespace {

class TrackData : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        setenv("GR_HOME", std::filesystem::current_path().c_str(), 1);
        data_free();
        app_lists.tracks = build_track_list();
    }
    void TearDown() override {
        track_free();
        current_track = CurrentTrack{};
        // The caches hold what the tracks loaded; nothing should outlive the test.
        texture_free_stale(true);
        model_free_stale(true);
        collision_shape_cache_clear();
        app_lists.tracks.clear();
        grtest::remove_test_dirs(dirs);
    }
    grtest::TestDirs dirs;
};

double dist_xz(const float a[3], const float b[3]) { return std::hypot(a[0] - b[0], a[2] - b[2]); }

}  // namespace

TEST_F(TrackData, EveryTrackLoadsAndCanBeRiddenGateToGate) {
    ASSERT_GE(app_lists.tracks.size(), 3u);
    for (const TrackEntry& entry : app_lists.tracks) {
        SCOPED_TRACE(entry.dir);
        current_track.name = entry.dir;
        int before = messages.next;
        ASSERT_EQ(track_load(), 1);
        EXPECT_EQ(messages.next, before) << "loading printed: " << messages.lines[(messages.next + MESSAGE_RING - 1) % MESSAGE_RING];
        EXPECT_EQ(current_track.display_name, entry.name);

        const TrackGates& tg = track_gates;
        ASSERT_GT(tg.first, 0);
        ASSERT_GT(tg.normal, 0);
        ASSERT_GE(tg.start_slots.size(), 20u);
        const int G = int(tg.gates.size());

        // The starting-gate slots stand on the ground, side by side, facing
        // the first gate of the first lap.
        const TimingGate& first = tg.gates[size_t(gate_of_index(0))];
        for (const StartSlot& s : tg.start_slots) {
            EXPECT_NEAR(s.position[1], terrain_height_at(s.position[0], s.position[2]), 0.01);
            float facing[2] = {-std::sin(s.angle), -std::cos(s.angle)};
            EXPECT_GT(facing[0] * first.direction[0] + facing[1] * first.direction[2], 0.9f);
            double ahead = (first.point[0] - s.position[0]) * facing[0] + (first.point[2] - s.position[2]) * facing[1];
            EXPECT_GT(ahead, 10);
            EXPECT_LT(dist_xz(first.point, s.position), 150);
            ASSERT_GE(s.statue, 0);
            EXPECT_NE(scenery.statues[size_t(s.statue)].shape, nullptr) << "gate piece without a shape";
        }
        for (size_t i = 1; i < tg.start_slots.size(); i++)
            EXPECT_GT(dist_xz(tg.start_slots[i].position, tg.start_slots[i - 1].position), 3.0);

        // Gate to gate over the first lap and round a normal lap back to its
        // start: each gate close to the one before, lying ahead of it, and
        // passed in the direction of travel; the ground between them rideable.
        double lap_length = 0;
        const int total = tg.first + 2 * tg.normal;
        for (int i = 1; i < total; i++) {
            const TimingGate& a = tg.gates[size_t(gate_of_index(i - 1))];
            const TimingGate& b = tg.gates[size_t(gate_of_index(i))];
            double dx = b.point[0] - a.point[0], dz = b.point[2] - a.point[2], d = std::hypot(dx, dz);
            EXPECT_LT(d, 160) << "gate index " << i;
            EXPECT_GT(d, 20) << "gate index " << i;
            EXPECT_GT((dx * a.direction[0] + dz * a.direction[2]) / d, 0.5) << "gate index " << i;
            EXPECT_GT((dx * b.direction[0] + dz * b.direction[2]) / d, 0.5) << "gate index " << i;
            EXPECT_GE(b.radius, 15) << "gate index " << i;
            float prev = terrain_height_at(a.point[0], a.point[2]);
            int steps = int(d / 2);
            for (int k = 1; k <= steps; k++) {
                float t = float(k) / float(steps);
                float h = terrain_height_at(a.point[0] + float(dx) * t, a.point[2] + float(dz) * t);
                EXPECT_LT(std::fabs(h - prev), 2.8f) << "a cliff between gate indices " << i - 1 << " and " << i;
                prev = h;
            }
            EXPECT_NEAR(a.point[1], terrain_height_at(a.point[0], a.point[2]), 0.01);
            if (i > tg.first + tg.normal) lap_length += d;
        }
        EXPECT_EQ(tg.sequence[size_t(tg.first - 1)], tg.sequence[size_t(tg.first + tg.normal - 1)])
            << "both laps end at the same finish line";
        // A lap of a minute or two at race pace.
        EXPECT_GT(lap_length, 3000);
        EXPECT_LT(lap_length, 7500);

        // Scenery: the starter, the lap board and marshals watching real gates.
        EXPECT_GE(scenery.starter.billboard, 0);
        EXPECT_GE(scenery.lap_board.billboard, 0);
        EXPECT_GE(scenery.flaggers.size(), 4u);
        for (const Flagger& f : scenery.flaggers) {
            EXPECT_GE(f.gates[0], 0);
            EXPECT_LT(f.gates[0], G);
        }
        EXPECT_GT(int(scenery.billboards.size()) - scenery.first_file_billboard, 100);
        for (size_t i = size_t(scenery.first_file_statue); i < scenery.statues.size(); i++) {
            EXPECT_NE(scenery.statues[i].model, nullptr);
            EXPECT_NE(scenery.statues[i].shape, nullptr);
        }

        // Cameras: every gate cuts to one of them.
        ASSERT_GE(track_cameras.cameras.size(), 4u);
        for (int g = 0; g < G; g++) {
            EXPECT_GE(track_cameras.gate_camera[g], 0) << "gate " << g;
            EXPECT_LT(track_cameras.gate_camera[g], int(track_cameras.cameras.size())) << "gate " << g;
        }
        for (const TrackCamera& c : track_cameras.cameras)
            EXPECT_GT(c.position[1], terrain_height_at(c.position[0], c.position[2]) + 5);

        // The track's own lighting: a sun above the horizon and some haze.
        EXPECT_GT(lighting.sun_vector[1], 0.3f);
        EXPECT_GT(sky.fog_density, 0);
        track_free();
    }
}
