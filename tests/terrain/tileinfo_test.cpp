// Surface types from "tileinfo" and "texturelist".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terrain/terrain.h"
#include "terrain/terrain_local.h"
#include "terrain/terrain_test_util.h"

using namespace gr;

namespace {

class TileinfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        messages_clear();
        t.surfaces = new SurfaceType[SURFACE_MAX];
    }
    void TearDown() override {
        delete[] t.surfaces;
        t.surfaces = nullptr;
        grtest::remove_test_dirs(dirs);
    }
    void read(const std::string& text, bool list = false) {
        grtest::write_file(dirs.program + "ti", text);
        DataFile* f = file_open("@ti", "rb");
        ASSERT_NE(f, nullptr);
        if (list) texturelist_read(&t, f);
        else tileinfo_read(&t, f);
        file_close(f);
    }
    grtest::TestDirs dirs;
    Terrain t;
};

TEST_F(TileinfoTest, BareAddtilesGiveDefaultSurfaces) {
    read("addtile\n\n   addtile\n");
    ASSERT_EQ(t.surface_count, 2);
    const SurfaceType& s = t.surfaces[1];
    EXPECT_FLOAT_EQ(s.friction_value[0], 1);
    EXPECT_FLOAT_EQ(s.friction_key[0], 1);
    EXPECT_FLOAT_EQ(s.friction_key[1], 0);
    EXPECT_FLOAT_EQ(s.roll_resist[0][0], 5);
    EXPECT_FLOAT_EQ(s.roll_resist[0][1], 15);
    EXPECT_FLOAT_EQ(s.roll_key[0], 1);
    for (const RoostType& r : s.roost) EXPECT_EQ(r.mode, 0);
    EXPECT_FLOAT_EQ(s.erosion.depth, 1);
    EXPECT_FLOAT_EQ(s.erosion.max_slope, 0.25f);
    EXPECT_FLOAT_EQ(s.erosion.on_speed, 15);
    EXPECT_EQ(messages.next, 0);  // no warnings
}

TEST_F(TileinfoTest, CurvesAreSortedAndClamped) {
    read("texture @dirt.png\n"
         "friction 0.9 30\nfriction 1.2 10\nfriction -1 0\n"
         "roll_resist 4 12 20\nroll_resist -3 8 2\n"
         "erode_depth 2.5\nerode_on_speed 20\n"
         "addtile\n"
         "friction 2 2\naddtile\n");
    ASSERT_EQ(t.surface_count, 2);
    const SurfaceType& s = t.surfaces[0];
    EXPECT_EQ(s.texture_name, "@dirt.png");
    EXPECT_FLOAT_EQ(s.friction_key[0], 9.536743e-07f);
    EXPECT_FLOAT_EQ(s.friction_value[0], 0);
    EXPECT_FLOAT_EQ(s.friction_key[1], 10);
    EXPECT_FLOAT_EQ(s.friction_value[1], 1.2f);
    EXPECT_FLOAT_EQ(s.friction_key[2], 30);
    EXPECT_FLOAT_EQ(s.friction_key[3], 0);
    EXPECT_FLOAT_EQ(s.friction_value[3], 1);
    EXPECT_FLOAT_EQ(s.roll_key[0], 2);
    EXPECT_FLOAT_EQ(s.roll_resist[0][0], 0);
    EXPECT_FLOAT_EQ(s.roll_resist[0][1], 8);
    EXPECT_FLOAT_EQ(s.roll_key[1], 20);
    EXPECT_FLOAT_EQ(s.erosion.depth, 2.5f);
    EXPECT_FLOAT_EQ(s.erosion.on_speed, 20);
    // The builder starts again from the defaults after addtile.
    EXPECT_FLOAT_EQ(t.surfaces[1].erosion.depth, 1);
    EXPECT_FLOAT_EQ(t.surfaces[1].friction_key[0], 2);
    EXPECT_TRUE(t.surfaces[1].texture_name.empty());
}

TEST_F(TileinfoTest, RoostSettings) {
    read("roost count=20 splash=1 r=300 a=128 fade_a=-256 fade_r=100 fade_g=-200 size=\"0.5\"\n"
         "roost\nroost\nroost\nroost\naddtile\n");
    const SurfaceType& s = t.surfaces[0];
    const RoostType& r = s.roost[0];
    EXPECT_EQ(r.mode, 2);
    EXPECT_FLOAT_EQ(r.count, 20);
    EXPECT_FLOAT_EQ(r.size, 0.5f);
    EXPECT_EQ(r.r, 300 & 255);
    EXPECT_EQ(r.a, 128);
    EXPECT_EQ(r.fade_a, -2);
    EXPECT_EQ(r.fade_r, 0);
    EXPECT_EQ(r.fade_g, -1);
    EXPECT_FLOAT_EQ(r.drag, 0.5f);  // untouched defaults
    EXPECT_EQ(s.roost[1].mode, 1);
    EXPECT_FLOAT_EQ(s.roost[1].count, 10);
    EXPECT_EQ(s.roost[3].mode, 1);
    EXPECT_EQ(terraintest::last_messages(1)[0], "tileinfo warning: too many roost types");

    EXPECT_EQ(roost_words("texture=\"@my roost.png\" count=3\tdig=\"1\"2"),
              (std::vector<std::string>{"texture=@my roost.png", "count=3", "dig=12"}));
}

TEST_F(TileinfoTest, EachBadLineWarnsAndIsSkipped) {
    const struct {
        const char* line;
        const char* warning;
    } cases[] = {
        {"friction 1", "tileinfo warning: bad friction parameters"},
        {"roll_resist 1 2", "tileinfo warning: bad roll_resist parameters"},
        {"erode_depth deep", "tileinfo warning: bad erode_depth"},
        {"erode_max_slope", "tileinfo warning: bad erode_max_slope"},
        {"roost count=lots", "tileinfo warning: bad count"},
        {"roost fade_b=x", "tileinfo warning: bad fade_b"},
        {"roost wobble=3", "tileinfo warning: unknown roost parameter 'wobble=3'"},
        {"roost loose", "tileinfo warning: unknown roost parameter 'loose'"},
        {"bumpiness 7", "tileinfo warning: Unknown identifier 'bumpiness'"},
    };
    for (const auto& c : cases) {
        messages_clear();
        t.surface_count = 0;
        read(std::string(c.line) + "\naddtile\n");
        EXPECT_EQ(messages.next, 1) << c.line;
        EXPECT_EQ(terraintest::last_messages(1)[0], c.warning) << c.line;
        EXPECT_EQ(t.surface_count, 1) << c.line;
    }
    messages_clear();
    t.surface_count = 0;
    std::string nine;
    for (int i = 0; i < 9; i++) nine += "friction 1 " + std::to_string(i + 1) + "\n";
    read(nine + "addtile\n");
    EXPECT_EQ(terraintest::last_messages(1)[0], "tileinfo warning: too many friction points");
    EXPECT_FLOAT_EQ(t.surfaces[0].friction_key[7], 8);
}

TEST_F(TileinfoTest, ReadingStopsAfterTheLastSurface) {
    std::string text;
    for (int i = 0; i < 256; i++) text += "addtile\n";
    text += "bogus line\naddtile\n";
    read(text);
    EXPECT_EQ(t.surface_count, 256);
    EXPECT_EQ(messages.next, 0);  // the line after the 256th addtile was never read
}

TEST_F(TileinfoTest, TextureList) {
    read("dirt.png\n  0.8 4 12 mud.png\n\n   \n1.5 grass two.png\n", true);
    ASSERT_EQ(t.surface_count, 3);
    EXPECT_EQ(t.surfaces[0].texture_name, "@dirt.png");
    EXPECT_FLOAT_EQ(t.surfaces[0].friction_value[0], 1);
    EXPECT_FLOAT_EQ(t.surfaces[0].roll_resist[0][0], 5);
    EXPECT_FLOAT_EQ(t.surfaces[0].roll_resist[0][1], 15);
    EXPECT_EQ(t.surfaces[0].roost[0].mode, 1);
    EXPECT_EQ(t.surfaces[0].roost[1].mode, 0);
    EXPECT_EQ(t.surfaces[1].texture_name, "@mud.png");
    EXPECT_FLOAT_EQ(t.surfaces[1].friction_value[0], 0.8f);
    EXPECT_FLOAT_EQ(t.surfaces[1].roll_resist[0][1], 12);
    // Fewer than three numbers: the whole line is the name.
    EXPECT_EQ(t.surfaces[2].texture_name, "@1.5 grass two.png");
    EXPECT_FLOAT_EQ(t.surfaces[2].friction_value[0], 1);
}

TEST_F(TileinfoTest, TransitionCodes) {
    read("texture @tiles/grass.png\naddtile\ntexture @tiles/dirt.png\naddtile\n"
         "texture @tiles/grass-dirt-0110.png\naddtile\ntexture @tiles/grass-sand-0001.png\naddtile\n");
    surface_transition_codes(&t);
    EXPECT_EQ(t.surfaces[0].transition_code, -1);
    EXPECT_EQ(t.surfaces[2].transition_code, (0 << 16) | (1 << 8) | 6);
    EXPECT_EQ(t.surfaces[3].transition_code, -1);  // no "sand" surface
}

}  // namespace
