// Track loading and the track's files: load order, reuse, digest, scenery,
// lighting, cameras.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "data/data_local.h"
#include "support/test_dirs.h"
#include "terrain/terrain.h"
#include "terrain/terrain_test_util.h"
#include "track/track.h"

using namespace gr;

namespace {

class TrackFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        log_path = dirs.root + "/log.txt";
        setenv("PLIX_LOGFILE", log_path.c_str(), 1);
        log_reset_for_tests();
        track = dirs.program + "tracks/t/";
        terraintest::TrackFiles tf;
        tf.n = 4;  // 64 x 64 feet
        terraintest::write_track(track, tf, [](int c, int) { return unsigned(c * 100); });
        messages_clear();
    }
    void TearDown() override {
        if (current_track.loaded) track_free();
        current_track = CurrentTrack{};
        track_gates = TrackGates{};
        lighting = Lighting{};
        collision_shape_cache_clear();
        unsetenv("PLIX_LOGFILE");
        log_reset_for_tests();
        grtest::remove_test_dirs(dirs);
    }
    std::string log_text() { return grtest::read_file(log_path); }
    void write_scenery() {
        grtest::write_file(track + "timing_gates",
                           "startinggate:\n[ 20 0 10 ] 0\n[ 24 0 10 ] 0\ncheckpoints:\n"
                           "8 [ 32 0 20 ] [ 0 0 1 ]\n8 [ 32 0 40 ] [ 0 0 1 ]\nfirstlap: 0 1\nnormallap: 0 1\n");
        grtest::write_file(dirs.program + "startgate.shp", "1 0 1 0 1.5 1 25000 2500\n");
        grtest::write_file(dirs.program + "box.shp", "2 0 0 0 1 1 1 1  0 3 0 1 1 1 1\n");
        grtest::write_file(dirs.program + "box.jm", "not a model");
        grtest::write_file(track + "statues", "[ 32 0 32 ] 1 @box.jm null @box.shp\n[ 8 2 8 ] 4 null null null\n");
        grtest::write_file(track + "billboards", "[ 5 0 5 ] 10 0.5 #ff0000#tree.png\n[ 6 0 6 ] 8 1 #ff0000\n");
        grtest::write_file(track + "flaggers",
                           "[ 10 0 10 ] [ 14 0 10 ] 6 0.5 3 s1 s2 s3 s4 s5\n"
                           "[ 30 1 30 ] 4 1 b1 b2 b3 b4\n"
                           "[ 40 0 40 ] 6 0.5 0 -5 1 9 m1 m2\n");
    }
    grtest::TestDirs dirs;
    std::string log_path, track;
};

TEST_F(TrackFilesTest, LoadsInOrderAndIsReused) {
    write_scenery();
    grtest::write_file(track + "lighting", "ambient [ 0.3 0.3 0.3 ]\n");
    ASSERT_EQ(track_prepare("tracks/t", false, false), 1);
    EXPECT_EQ(current_track.display_name, "tracks/t");
    std::string log = log_text();
    const char* order[] = {"] Scanning\n", "] Loading lighting\n", "] Loading terrain\n", "] Loading heights\n",
                           "] Loading shading\n", "] Loading shadows\n", "] Loading tilemap\n", "] Loading flaggers\n",
                           "] Loading billboards\n", "] Loading statues\n", "] Loading map\n"};
    size_t at = 0;
    for (const char* step : order) {
        size_t next = log.find(step, at);
        ASSERT_NE(next, std::string::npos) << step << log;
        at = next;
    }
    // The same track again offline is reused; a forced reload is not.
    ASSERT_EQ(track_prepare("tracks/t", false, false), 1);
    EXPECT_EQ(log_text().find("Deallocating track"), std::string::npos);
    ASSERT_EQ(track_prepare("tracks/t", false, true), 1);
    EXPECT_NE(log_text().find("] Deallocating track\n"), std::string::npos);
    EXPECT_NE(log_text().find("] Finished deallocating track\n"), std::string::npos);
    // An online race reloads a terrain that the wheels changed.
    terrain.modified = 3;
    ASSERT_EQ(track_prepare("tracks/t", true, false), 1);
    EXPECT_EQ(terrain.modified, 0);
}

TEST_F(TrackFilesTest, HashFollowsContentNotName) {
    write_scenery();
    auto hash_of = [&](const char* name) {
        if (current_track.loaded) track_free();
        current_track.name = name;
        EXPECT_EQ(track_load(), 1) << name;
        char hex[41];
        track_hash_hex(hex);
        return std::string(hex);
    };
    std::string a = hash_of("tracks/t");
    std::filesystem::rename(dirs.program + "tracks/t", dirs.program + "tracks/u");
    data_free();
    std::string b = hash_of("tracks/u");
    EXPECT_EQ(a, b);
    std::filesystem::remove(dirs.program + "tracks/u/statues");
    std::string c = hash_of("tracks/u");
    EXPECT_NE(a, c);
    // A different statue model is another track too.
    grtest::write_file(dirs.program + "tracks/u/statues", "[ 32 0 32 ] 1 @box.jm null @box.shp\n[ 8 2 8 ] 4 null null null\n");
    EXPECT_EQ(hash_of("tracks/u"), a);
    grtest::write_file(dirs.program + "box.jm", "another model");
    EXPECT_NE(hash_of("tracks/u"), a);
    // A missing terrain fails the load and clears the name.
    std::filesystem::remove(dirs.program + "tracks/u/terrain.hf");
    track_free();
    current_track.name = "tracks/u";
    EXPECT_EQ(track_load(), 0);
    EXPECT_TRUE(current_track.name.empty());
}

TEST_F(TrackFilesTest, SceneryRecords) {
    write_scenery();
    ASSERT_EQ(track_prepare("tracks/t", false, false), 1);
    const TrackScenery& sc = scenery;
    // Roost billboards first, then the flaggers', then the file's.
    ASSERT_EQ(sc.billboards.size(), size_t(ROOST_BILLBOARDS) + 3 + 2);
    EXPECT_EQ(sc.starter.billboard, ROOST_BILLBOARDS);
    EXPECT_EQ(sc.lap_board.billboard, ROOST_BILLBOARDS + 1);
    EXPECT_EQ(sc.first_file_billboard, ROOST_BILLBOARDS + 3);
    EXPECT_FLOAT_EQ(sc.starter.walk_seconds, 3);
    const Billboard& lap = sc.billboards[size_t(ROOST_BILLBOARDS + 1)];
    EXPECT_NEAR(lap.y, terrain_height_at(30, 30) + 1, 1e-4);
    ASSERT_EQ(sc.flaggers.size(), 1u);
    EXPECT_EQ(sc.flaggers[0].gates[1], -1);  // below -1
    EXPECT_EQ(sc.flaggers[0].gates[3], 1);   // beyond the last gate
    const Billboard& red = sc.billboards[size_t(sc.first_file_billboard)];
    EXPECT_EQ(red.texture_name, "tree.png");
    EXPECT_EQ(red.colour[0], 255);
    EXPECT_EQ(red.colour[1], 0);
    const Billboard& plain = sc.billboards[size_t(sc.first_file_billboard + 1)];
    EXPECT_EQ(plain.texture_name, "#ff0000");  // seven characters: a name, not a colour
    EXPECT_EQ(plain.colour[1], 255);

    // Two gate pieces, then the file's statues.
    ASSERT_EQ(sc.statues.size(), 4u);
    EXPECT_EQ(sc.first_file_statue, 2);
    const Statue& box = sc.statues[2];
    ASSERT_NE(box.shape, nullptr);
    EXPECT_DOUBLE_EQ(box.shape->bounding_radius, 4);
    EXPECT_EQ(box.model, nullptr);  // "not a model"
    const Statue& facing = sc.statues[3];
    EXPECT_FLOAT_EQ(facing.facing_distance, 16);
    EXPECT_TRUE(facing.shape_name.empty());
    EXPECT_NEAR(facing.y, terrain_height_at(8, 8) + 2, 1e-4);

    // Saving writes the file's own records back the way they were read.
    ASSERT_TRUE(statues_save("@tracks/t"));
    ASSERT_TRUE(billboards_save("@tracks/t"));
    std::string st = grtest::read_file(dirs.home + "tracks/t/statues");
    EXPECT_EQ(st, "[32.000000 0.000000 32.000000] 1.000000 @box.jm null @box.shp\n"
                  "[8.000000 2.000000 8.000000] 4.000000 null null null\n");
    std::string bb = grtest::read_file(dirs.home + "tracks/t/billboards");
    EXPECT_EQ(bb, "[5.000000 0.000000 5.000000] 10.000000 0.500000 #ff0000#tree.png\n"
                  "[6.000000 0.000000 6.000000] 8.000000 1.000000 #ff0000\n");

    // A missing shape warns and leaves the statue without collision.
    messages_clear();
    statue_add(1, 0, 1, 0, nullptr, nullptr, "@nothing.shp");
    EXPECT_EQ(terraintest::last_messages(1)[0], "Warning: missing shape file @nothing.shp");
}

TEST_F(TrackFilesTest, StatueOrientationAndBins) {
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);  // rises 100/65535*100 per 2 feet along x
    float m[9];
    statue_orientation(20, 20, 4, m);  // upright and unturned
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; i++) EXPECT_FLOAT_EQ(m[i], identity[i]);
    statue_orientation(20, 20, -7, m);  // upright, turned by -7
    EXPECT_FLOAT_EQ(m[0], std::cos(-7.0f));
    EXPECT_FLOAT_EQ(m[6], -std::sin(-7.0f));
    EXPECT_FLOAT_EQ(m[4], 1);
    EXPECT_FLOAT_EQ(m[2], std::sin(-7.0f));
    statue_orientation(20, 20, 1, m);  // follows the slope
    float slope = 100.0f / 65535.0f * 100.0f / 2.0f;
    EXPECT_NEAR(m[1] / m[4], -slope, 1e-4);  // y axis leans against the rise
    EXPECT_NEAR(m[7], 0, 1e-5);
    // The three axes stay orthonormal.
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++) {
            float d = m[a] * m[b] + m[3 + a] * m[3 + b] + m[6 + a] * m[6 + b];
            EXPECT_NEAR(d, a == b ? 1 : 0, 1e-5);
        }

    // A shape of radius W/8 at W/2 spans columns and rows 2 to 5.
    grtest::write_file(dirs.program + "big.shp", "1 0 0 0 8 1 1 1\n");
    scenery_free();
    statue_add(32, 0, 32, 0, nullptr, nullptr, "@big.shp");
    statue_add(1, 0, 63, 0, nullptr, nullptr, nullptr);  // no shape: not binned
    statue_bins_build();
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            bool in = r >= 2 && r <= 5 && c >= 2 && c <= 5;
            EXPECT_EQ(scenery.bins[r][c].size(), in ? 1u : 0u) << r << "," << c;
        }
    scenery_free();
}

TEST_F(TrackFilesTest, MalformedSceneryFilesStopReading) {
    grtest::write_file(track + "statues", "[ 1 0 1 ] 0 null null null\n[ 2 0 ] 0 a b c\n[ 3 0 3 ] 0 null null null\n");
    grtest::write_file(track + "billboards", "[ 1 0 1 ] 5 1 a.png\n[ 2 0 2 ] five 1 b.png\n");
    grtest::write_file(track + "flaggers", "[ 10 0 10 ] [ 14 0 10 ] 6 0.5 3 s1 s2\n");
    ASSERT_EQ(track_prepare("tracks/t", false, false), 1);
    EXPECT_EQ(scenery.statues.size(), 1u);
    EXPECT_EQ(scenery.billboards.size(), size_t(ROOST_BILLBOARDS) + 1);
    EXPECT_EQ(scenery.starter.billboard, -1);
    EXPECT_TRUE(scenery.flaggers.empty());
    EXPECT_TRUE(track_gates.gates.empty());  // no timing_gates file
}

TEST_F(TrackFilesTest, LightingFile) {
    grtest::write_file(track + "lighting",
                       "  sun_vector [ 0 3 4 ]\n"
                       "sun_color [ 0.9 0.8 ]\n"
                       "\tambient [ 0.1 0.2 0.3 ]   \n"
                       "global_ambient [ 0.4 0.4 0.4 ]\n"
                       "\n"
                       "flare_element [ 0 1 ] [ 1 0.5 0.25 ] 2 @flare.png\n"
                       "flare_element [ 0 1 ] [ 1 0.5 ] 2 @flare.png\n"
                       "flare_point [ 100 50 100 ]\n"
                       "flare_element [ 1 1 ] [ 1 1 1 ] 1 @a.png\n"
                       "flare_element [ 1 1 ] [ 1 1 1 ] 1 @a.png\n"
                       "flare_vector [ 0 1 0 ]\n"
                       "flare_element [ 1 1 ] [ 1 1 1 ] 1 @dropped.png\n"
                       "fog [ 0.5 0.6 0.7 ]\n"
                       "dynamic_lighting 2\n"
                       "near_plane 0\n"
                       "far_plane 2000000\n");
    lighting_load("@tracks/t");
    const Lighting& L = lighting;
    EXPECT_FLOAT_EQ(L.sun_vector[0], 0);
    EXPECT_FLOAT_EQ(L.sun_vector[1], 0.6f);
    EXPECT_FLOAT_EQ(L.sun_vector[2], 0.8f);
    EXPECT_FLOAT_EQ(L.sun_color[1], 0.8f);
    EXPECT_FLOAT_EQ(L.sun_color[2], 1);  // not given: unchanged
    EXPECT_FLOAT_EQ(L.ambient[2], 0.3f);
    EXPECT_EQ(L.dynamic_lighting, 1);
    EXPECT_FLOAT_EQ(L.near_plane, 1.0f / 1024);
    EXPECT_FLOAT_EQ(L.far_plane, 1048576);
    EXPECT_FLOAT_EQ(sky.fog_density, 0);  // colour but no density: nothing changes
    ASSERT_EQ(sky.flares.size(), 2u);
    EXPECT_EQ(sky.flares[0].kind, 0);
    EXPECT_EQ(sky.flares[0].elements, 1);
    EXPECT_FLOAT_EQ(sky.flares[0].colour[0][2], 0.25f);
    EXPECT_FLOAT_EQ(sky.flares[0].source[1], 50);
    EXPECT_EQ(sky.flares[1].kind, 1);
    EXPECT_EQ(sky.flares[1].elements, 2);

    const struct {
        const char* text;
        float near_plane, far_plane;
    } planes[] = {{"near_plane 2\n", 0.875f, 5000}, {"near_plane 0.875\nfar_plane 0.5\n", 0.875f, 0.875f}};
    for (const auto& c : planes) {
        grtest::write_file(track + "lighting", c.text);
        lighting_load("@tracks/t");
        EXPECT_FLOAT_EQ(lighting.near_plane, c.near_plane) << c.text;
        EXPECT_FLOAT_EQ(lighting.far_plane, c.far_plane) << c.text;
    }

    // Nine elements: the ninth is ignored; an unknown keyword stops reading.
    std::string nine;
    for (int i = 0; i < 9; i++) nine += "flare_element [ 0 1 ] [ 1 1 1 ] 1 @f.png\n";
    grtest::write_file(track + "lighting",
                       "fog [ 0.1 0.2 0.3 ] 0.01\n" + nine + "flare_point [ 1 2 3 ]\nwobble 7\nfar_plane 10\n");
    messages_clear();
    lighting_load("@tracks/t");
    EXPECT_EQ(sky.flares[0].elements, 8);
    EXPECT_FLOAT_EQ(sky.fog_density, 0.01f);
    EXPECT_FLOAT_EQ(sky.fog_colour[1], 0.2f);
    EXPECT_FLOAT_EQ(lighting.far_plane, 5000);
    EXPECT_EQ(terraintest::last_messages(1)[0], "Error reading lighting: Unknown identifier 'wobble'");

    // Without a file: the defaults, no fog even after a foggy track.
    std::filesystem::remove(track + "lighting");
    lighting_load("@tracks/t");
    EXPECT_FLOAT_EQ(sky.fog_density, 0);
    EXPECT_TRUE(sky.flares.empty());
    EXPECT_FLOAT_EQ(lighting.sun_vector[0], 1);  // not normalised
}

TEST_F(TrackFilesTest, CamerasFile) {
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    grtest::write_file(track + "cameras",
                       "fov 30\n"
                       "gate 4 5\n"
                       "addcamera 10 5 20\n"
                       "fov -30\n"
                       "autofovsize -12\n"
                       "gate 3 256 7\n"
                       "gates 9\n"
                       "something else\n"
                       "addcamera 30 2 30\n"
                       "addcamera 40 2 40\n"
                       "gate 11\n");
    cameras_load("@tracks/t");
    const TrackCameras& tc = track_cameras;
    ASSERT_EQ(tc.cameras.size(), 3u);
    EXPECT_FLOAT_EQ(tc.cameras[0].fov, 30);
    EXPECT_NEAR(tc.cameras[0].position[1], terrain_height_at(10, 20) + 5, 1e-4);
    EXPECT_FLOAT_EQ(tc.cameras[1].fov, 30);  // the absolute value
    EXPECT_FLOAT_EQ(tc.cameras[1].autofovsize, 12);
    EXPECT_FLOAT_EQ(tc.cameras[2].fov, 90);
    EXPECT_FLOAT_EQ(tc.cameras[2].autofovsize, 0);
    EXPECT_EQ(tc.gate_camera[4], 0);
    EXPECT_EQ(tc.gate_camera[5], 0);
    EXPECT_EQ(tc.gate_camera[3], 1);
    EXPECT_EQ(tc.gate_camera[7], -1);  // after 256 the line stops
    EXPECT_EQ(tc.gate_camera[9], -1);
    EXPECT_EQ(tc.gate_camera[11], 3);  // a camera that does not exist

    float view[3], right[3], up[3];
    camera_orientation(0, 0, view, right, up);
    EXPECT_FLOAT_EQ(view[2], 1);  // yaw 0 looks along +z
    EXPECT_FLOAT_EQ(right[0], -1);
    camera_orientation(0, 0.5f, view, right, up);
    EXPECT_GT(view[1], 0);  // positive pitch looks up
}

}  // namespace
