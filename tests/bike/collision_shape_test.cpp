// Collision-shape files: parsing, the bounding radius, caching with private
// copies, and files that yield no shape.
#include <gtest/gtest.h>

#include "bike/bike.h"
#include "data/data.h"
#include "support/test_dirs.h"

namespace {

class ShapeFiles : public ::testing::Test {
protected:
    void SetUp() override { dirs_ = grtest::make_test_dirs(); }
    void TearDown() override {
        gr::collision_shape_cache_clear();
        grtest::remove_test_dirs(dirs_);
    }
    void write(const char* name, const std::string& text) { grtest::write_file(dirs_.program + name, text); }
    grtest::TestDirs dirs_;
};

TEST_F(ShapeFiles, ReadsSpheresAndBoundingRadius) {
    write("part.shp", "2\n 0 3 4  1.5 0.8 2500 250\n-1 0 0 0.25 1 1000 100\n");
    const gr::CollisionShape* s = gr::collision_shape_load("@part.shp");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->count, 2);
    EXPECT_DOUBLE_EQ(s->spheres[0].centre[2], 4);
    EXPECT_DOUBLE_EQ(s->spheres[0].radius, 1.5);
    EXPECT_DOUBLE_EQ(s->spheres[0].friction, 0.8);
    EXPECT_DOUBLE_EQ(s->spheres[1].stiffness, 1000);
    EXPECT_DOUBLE_EQ(s->spheres[1].damping, 100);
    EXPECT_DOUBLE_EQ(s->bounding_radius, 6.5);  // |(0,3,4)| + 1.5

    // Cached by name; copies are private.
    EXPECT_EQ(gr::collision_shape_load("@part.shp"), s);
    gr::CollisionShape* copy = gr::collision_shape_copy(s);
    copy->spheres[0].world[0] = 99;
    copy->spheres[0].radius = 7;
    EXPECT_DOUBLE_EQ(s->spheres[0].radius, 1.5);
    EXPECT_DOUBLE_EQ(s->spheres[0].world[0], 0);
    EXPECT_DOUBLE_EQ(copy->bounding_radius, 6.5);
    gr::collision_shape_free(copy);
    EXPECT_EQ(gr::collision_shape_copy(nullptr), nullptr);
}

TEST_F(ShapeFiles, BadFilesGiveNoShape) {
    const char* bad[] = {
        "",                                  // no count
        "x\n",                               // count not a number
        "-1\n",                              // negative count
        "2\n0 0 0 1 1 2500 250\n",           // fewer records than announced
        "1\n0 0 0 1 1 2500\n",               // truncated record
        "1\n0 0 zero 1 1 2500 250\n",        // not a number
        "1\n0 0 0 -1 1 2500 250\n",          // negative radius
        "1\n0 nan 0 1 1 2500 250\n",         // not finite
        "1000000000\n0 0 0 1 1 2500 250\n",  // absurd count, file ends early
    };
    int i = 0;
    for (const char* text : bad) {
        std::string name = "bad" + std::to_string(i++) + ".shp";
        write(name.c_str(), text);
        EXPECT_EQ(gr::collision_shape_load(("@" + name).c_str()), nullptr) << text;
    }
    EXPECT_EQ(gr::collision_shape_load("@missing.shp"), nullptr);
    EXPECT_EQ(gr::collision_shape_load(nullptr), nullptr);
}

}  // namespace
