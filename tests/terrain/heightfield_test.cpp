// Height field queries, loading, saving and their failures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "gfx/image.h"
#include "terrain/terrain.h"
#include "terrain/terrain_test_util.h"
#include "track/track.h"

using namespace gr;
using terraintest::TrackFiles;

namespace {

class HeightFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        track = dirs.program + "tracks/t/";
        messages_clear();
    }
    void TearDown() override {
        terrain_free();
        grtest::remove_test_dirs(dirs);
    }
    // A bumpy field whose samples differ everywhere.
    static unsigned bumpy(int c, int r) { return unsigned((c * 7919 + r * 104729) % 60000); }
    grtest::TestDirs dirs;
    std::string track;
};

TEST_F(HeightFieldTest, QueriesFollowTheChessboardSplit) {
    write_track(track, TrackFiles{}, bumpy);
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    const Terrain& t = terrain;
    ASSERT_EQ(t.dim, 9);
    auto H = [&](int c, int r) { return t.heights[r * t.dim + c]; };

    // Grid points give their samples.
    EXPECT_FLOAT_EQ(terrain_height_at(3 * 2.0f, 5 * 2.0f), H(3, 5));
    // On the diagonal of an even cell (0,0)-(1,1) both triangles agree: the
    // height is the mean of the two diagonal corners at the cell centre.
    EXPECT_NEAR(terrain_height_at(1.0f, 1.0f), (H(0, 0) + H(1, 1)) / 2, 1e-3);
    EXPECT_NEAR(terrain_height_at(0.5f, 0.5f), 0.75f * H(0, 0) + 0.25f * H(1, 1), 1e-3);
    // An odd cell (1,0) has its diagonal from (2,0) to (1,1).
    EXPECT_NEAR(terrain_height_at(3.0f, 1.0f), (H(2, 0) + H(1, 1)) / 2, 1e-3);
    EXPECT_NEAR(terrain_height_at(3.5f, 0.5f), 0.75f * H(2, 0) + 0.25f * H(1, 1), 1e-3);
    // Just either side of a diagonal the heights meet.
    EXPECT_NEAR(terrain_height_at(0.7f + 1e-4f, 0.7f), terrain_height_at(0.7f, 0.7f + 1e-4f), 0.05);

    // Outside the field the border sample line is read.
    EXPECT_NEAR(terrain_height_at(-50.0f, 3 * 2.0f), H(0, 3), 1e-3);
    EXPECT_NEAR(terrain_height_at(1e9f, 2 * 2.0f), H(8, 2), 1e-3);
    EXPECT_NEAR(terrain_height_at(4 * 2.0f, 1e30f), H(4, 8), 1e-3);
    EXPECT_TRUE(std::isfinite(terrain_height_at(NAN, -INFINITY)));

    // The triangle normal points up and is perpendicular to the triangle's edges.
    float n[3];
    terrain_normal_at(0.5f, 0.25f, n);
    EXPECT_GT(n[1], 0);
    float e1[3] = {2, H(1, 0) - H(0, 0), 0};  // triangle (0,0) (1,0) (1,1) for this point
    float e2[3] = {2, H(1, 1) - H(0, 0), 2};
    EXPECT_NEAR(n[0] * e1[0] + n[1] * e1[1] + n[2] * e1[2], 0, 1e-2);
    EXPECT_NEAR(n[0] * e2[0] + n[1] * e2[1] + n[2] * e2[2], 0, 1e-2);
}

TEST_F(HeightFieldTest, VertexNormalsTilesAndShading) {
    TrackFiles tf;
    tf.surfaces = 3;
    write_track(track, tf, [](int c, int) { return unsigned(c * 1000); });  // a slope rising along x
    std::string tilemap(16, '\0');
    tilemap[1] = 2;
    tilemap[4 * 3 + 3] = char(200);  // beyond the surface count
    grtest::write_file(track + "tilemap", tilemap);
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);

    float n[3];
    terrain_vertex_normal(4, 4, n);
    // Slope: 1000/65535 * 100 per 2 feet.
    float slope = 1000.0f / 65535.0f * 100.0f / 2.0f;
    EXPECT_NEAR(n[0], -slope / std::sqrt(1 + slope * slope), 1e-4);
    EXPECT_NEAR(n[2], 0, 1e-5);
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1, 1e-5);

    EXPECT_EQ(terrain_tile_at(4.5f, 0.5f), 2);  // tile (1, 0)
    EXPECT_EQ(terrain_tile_at(-10, -10), 0);
    EXPECT_EQ(terrain_tile_at(100, 100), 2);  // clamped to the last surface
    EXPECT_FLOAT_EQ(terrain_surface_at(100, 100).friction_value[0], 3);

    // Re-shading: a flat-lit vertex under the default sun.
    terrain_mark_changed(-5, -5, 100, 100);
    float d = (lighting.sun_vector[0] * n[0] + lighting.sun_vector[1] * n[1] + lighting.sun_vector[2] * n[2]);
    int expect = int(255.0f * (d + 0.5f) / 2.0f);
    const uint8_t* px = terrain.shading + 3 * (4 * 9 + 4);
    EXPECT_EQ(px[0], expect);
    EXPECT_EQ(px[1], expect);
    EXPECT_EQ(px[2], expect);
}

TEST_F(HeightFieldTest, SamplesFromThePngUnlessInline) {
    TrackFiles tf;
    write_track(track, tf, [](int, int) { return 65535u; });
    // A 3 x 2 picture: its last column and row repeat over the 9 x 9 field.
    uint16_t small[6] = {0, 1000, 2000, 3000, 4000, 5000};
    ASSERT_TRUE(png_write_gray16((track + "terrain.png").c_str(), small, 3, 2));
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    EXPECT_FLOAT_EQ(terrain.heights[0], 100.0f);  // inline samples win
    terrain_free();

    tf.inline_samples = false;
    write_track(track, tf, [](int, int) { return 0u; });
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    auto H = [&](int c, int r) { return terrain.heights[r * 9 + c]; };
    float k = 100.0f / 65535.0f;
    EXPECT_FLOAT_EQ(H(1, 0), 1000 * k);
    EXPECT_FLOAT_EQ(H(8, 0), 2000 * k);
    EXPECT_FLOAT_EQ(H(0, 8), 3000 * k);
    EXPECT_FLOAT_EQ(H(8, 8), 5000 * k);
    terrain_free();

    // A bigger picture is cropped.
    std::vector<uint16_t> big(20 * 20);
    for (int r = 0; r < 20; r++)
        for (int c = 0; c < 20; c++) big[size_t(r * 20 + c)] = uint16_t(r * 100 + c);
    ASSERT_TRUE(png_write_gray16((track + "terrain.png").c_str(), big.data(), 20, 20));
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    EXPECT_FLOAT_EQ(H(8, 7), 708 * k);
    terrain_free();

    // Without terrain.png every height is the low value.
    std::filesystem::remove(track + "terrain.png");
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    EXPECT_FLOAT_EQ(H(5, 5), 0.0f);
}

TEST_F(HeightFieldTest, SaveAndReloadKeepsEveryHeight) {
    TrackFiles tf;
    tf.n = 3;
    tf.low = -20;
    tf.high = 80;
    write_track(track, tf, bumpy);
    grtest::write_file(track + "decals", "[ 3 4 ] 0.5 6 2 @decal.png\n");
    grtest::write_file(dirs.program + "decal.png", "x");
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    ASSERT_EQ(terrain.decals.size(), 1u);
    terrain_deform(&terrain, 10, 10, 4, 3.5f);
    std::vector<float> before(terrain.heights, terrain.heights + 17 * 17);
    std::string digest = terrain.digest;
    ASSERT_EQ(terrain_save(), 1);
    // The save lands in the home directory, which is searched first.
    EXPECT_TRUE(std::filesystem::exists(dirs.home + "tracks/t/terrain.png"));
    EXPECT_TRUE(std::filesystem::exists(dirs.home + "tracks/t/decals"));
    float lo = terrain.low, hi = terrain.high;
    terrain_free();
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    for (size_t i = 0; i < before.size(); i++) ASSERT_NEAR(terrain.heights[i], before[i], (hi - lo) / 65535.0f) << i;
    EXPECT_NE(std::string(terrain.digest), digest);
    EXPECT_EQ(terrain.decals.size(), 1u);
    EXPECT_FLOAT_EQ(terrain.decals[0].aspect, 2.0f);
}

TEST_F(HeightFieldTest, DamagedFilesFailTheLoadAndReleaseEverything) {
    struct Case {
        const char* what;
        void (*damage)(const std::string& track);
        const char* message;
    };
    const Case cases[] = {
        {"missing terrain.hf", [](const std::string& t) { std::filesystem::remove(t + "terrain.hf"); },
         "Can't open '@tracks/t/terrain.hf'"},
        {"short header", [](const std::string& t) { grtest::write_file(t + "terrain.hf", "2 2.0 0\n"); },
         "Error reading heights"},
        {"absurd size", [](const std::string& t) { grtest::write_file(t + "terrain.hf", "40 2 0 1\n:"); },
         "Error reading heights"},
        {"short samples", [](const std::string& t) { grtest::write_file(t + "terrain.hf", "2 2 0 1\n:abcdef"); },
         "Error reading heights"},
        {"shading size", [](const std::string& t) { grtest::write_file(t + "shading.ppm", terraintest::ppm(5, 5, 1)); },
         "Bad shading dimensions (5x5)"},
        {"shading bytes", [](const std::string& t) { grtest::write_file(t + "shading.ppm", "P6\n9 9\n255\nxx"); },
         "Error reading shading"},
        {"no shading", [](const std::string& t) { std::filesystem::remove(t + "shading.ppm"); },
         "Can't open '@tracks/t/shading.ppm'"},
        {"short tilemap", [](const std::string& t) { grtest::write_file(t + "tilemap", "abc"); },
         "Bad tilemap size (16 tiles expected)"},
        {"long tilemap", [](const std::string& t) { grtest::write_file(t + "tilemap", std::string(17, '\0')); },
         "Bad tilemap size (16 tiles expected)"},
        {"no surfaces", [](const std::string& t) { std::filesystem::remove(t + "tileinfo"); },
         "Can't open '@tracks/t/texturelist'"},
    };
    for (const Case& c : cases) {
        write_track(track, TrackFiles{}, bumpy);
        c.damage(track);
        messages_clear();
        EXPECT_EQ(terrain_load("@tracks/t", GROUND_NONE), 0) << c.what;
        EXPECT_EQ(terrain.heights, nullptr) << c.what;
        EXPECT_EQ(terrain.tilemap, nullptr) << c.what;
        EXPECT_EQ(terrain.dim, 0) << c.what;
        EXPECT_EQ(terraintest::last_messages(1)[0], c.message) << c.what;
        std::filesystem::remove_all(track);
    }
}

TEST_F(HeightFieldTest, ShadowsAreInvertedAndOptional) {
    write_track(track, TrackFiles{}, bumpy);
    std::string pgm = "P5\n9 9\n255\n" + std::string(81, char(55));
    grtest::write_file(track + "shadows.pgm", pgm);
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    EXPECT_EQ(terrain.shadows[40], 200);
    EXPECT_EQ(terrain.shading[0], 100);  // shading.ppm halved
    terrain_free();
    grtest::write_file(track + "shadows.pgm", "P5\n3 3\n255\n" + std::string(9, 'a'));
    EXPECT_EQ(terrain_load("@tracks/t", GROUND_NONE), 0);
    grtest::write_file(track + "shadingx2.ppm", terraintest::ppm(9, 9, 200));
    std::filesystem::remove(track + "shadows.pgm");
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    EXPECT_EQ(terrain.shading[0], 200);  // shadingx2.ppm as is
    EXPECT_EQ(terrain.shadows[40], 0);
}

TEST_F(HeightFieldTest, DeformKeepsVolumeAndRespectsTheLock) {
    TrackFiles tf;
    tf.n = 5;  // 65 x 65, spacing 2: 128 feet
    write_track(track, tf, [](int, int) { return 30000u; });
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    Terrain& t = terrain;
    auto total = [&] {
        double s = 0;
        for (int i = 0; i < t.dim * t.dim; i++) s += t.heights[i];
        return s;
    };
    double v0 = total();
    float peak0 = t.heights[16 * t.dim + 16];
    terrain_deform(&t, 32, 32, 6, -1.5f);
    terrain_deform(&t, 96, 96, 6, +1.5f);
    EXPECT_NEAR(total(), v0, 1e-2);
    EXPECT_FLOAT_EQ(t.heights[16 * t.dim + 16], peak0 - 1.5f);
    EXPECT_FLOAT_EQ(t.heights[48 * t.dim + 48], peak0 + 1.5f);
    EXPECT_EQ(t.modified, 3);
    EXPECT_EQ(t.change_counter, 2);
    // The header's range holds until a height passes it.
    EXPECT_FLOAT_EQ(t.high, 100.0f);
    EXPECT_FLOAT_EQ(t.low, 0.0f);
    terrain_deform(&t, 64, 64, 4, 60);
    EXPECT_FLOAT_EQ(t.high, peak0 + 60);
    terrain_deform(&t, 64, 64, 4, -60);

    // Locked: nothing changes, the counter still advances.
    t.deformation_disabled = 1;
    std::vector<float> before(t.heights, t.heights + t.dim * t.dim);
    terrain_deform(&t, 64, 64, 10, 5);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), t.heights));
    EXPECT_EQ(t.change_counter, 5);
    t.deformation_disabled = 0;

    // At the corner only vertices inside the grid change; far away nothing does.
    terrain_deform(&t, 0, 0, 8, 2);
    EXPECT_GT(t.heights[0], before[0]);
    terrain_deform(&t, -1e6f, 5e7f, 1e9f, 2);
    terrain_deform(&t, 10, 10, 0, 2);
    EXPECT_EQ(t.change_counter, 8);
}

}  // namespace

namespace {

TEST_F(HeightFieldTest, DecalsAreReadAndBinned) {
    write_track(track, TrackFiles{}, bumpy);  // 16 x 16 feet
    grtest::write_file(track + "decals",
                       "[ 3 4 ] 0 6 2 @decal.png\n[10 10] 1.5707964 2 1 @missing.png\n[ 15 15 ] 0 1 1 @decal.png\nbroken");
    grtest::write_file(dirs.program + "decal.png", "x");
    ASSERT_EQ(terrain_load("@tracks/t", GROUND_NONE), 1);
    ASSERT_EQ(terrain.decals.size(), 2u);  // the one without a picture is dropped
    const auto& bins = terrain.decal_bins;
    // First decal: 12 x 6 feet around (3, 4): bins x 0..4, z 0..3.
    EXPECT_EQ(bins[3][4], std::vector<int>{0});
    EXPECT_EQ(bins[0][0], std::vector<int>{0});
    EXPECT_TRUE(bins[4][4].empty());
    EXPECT_TRUE(bins[0][5].empty());
    EXPECT_EQ(bins[7][7], std::vector<int>{1});
}

}  // namespace
