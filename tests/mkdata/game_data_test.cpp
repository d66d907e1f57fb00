// The generated game data: the archives are reproducible, the digest
// constants agree with them, and every track, shape, model and picture in
// them reads back through the program's own loaders without a complaint.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "app/app.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "support/test_dirs.h"
#include "terrain/terrain.h"

using namespace gr;

namespace {

const char* const archives[] = {"gravelrun.saf", "pinehollow.saf", "redmesa.saf", "sandpoint.saf", "zzzz.saf"};

// The search path reads the data of the build directory (the tests' working
// directory); the home directory is a fresh temporary one.
class GameData : public ::testing::Test {
protected:
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        setenv("GR_HOME", std::filesystem::current_path().c_str(), 1);
        data_free();
    }
    void TearDown() override { grtest::remove_test_dirs(dirs); }
    grtest::TestDirs dirs;
};

std::string read_data(const std::string& name) {
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return std::string();
    std::string s;
    char buf[4096];
    for (size_t n; (n = file_read(f, buf, sizeof buf)) > 0;) s.append(buf, n);
    file_close(f);
    return s;
}

std::vector<std::string> track_dirs() {
    std::vector<std::string> dirs;
    for (const TrackEntry& t : build_track_list()) dirs.push_back(t.dir);
    return dirs;
}

}  // namespace

TEST(GameDataBuild, GeneratorWritesTheSameBytesEveryRun) {
    grtest::TestDirs tmp = grtest::make_test_dirs();
    std::string a = tmp.root + "/a", b = tmp.root + "/b";
    ASSERT_EQ(std::system(("./gr_mkdata --out " + a).c_str()), 0);
    ASSERT_EQ(std::system(("./gr_mkdata --out " + b).c_str()), 0);
    for (const char* name : archives) {
        std::string first = grtest::read_file(a + "/" + name);
        ASSERT_FALSE(first.empty()) << name;
        EXPECT_TRUE(first == grtest::read_file(b + "/" + name)) << name << " differs between runs";
        // The build's own data is the current generator's output.
        EXPECT_TRUE(first == grtest::read_file(name)) << name << " in the build directory is stale";
    }
    // Only the data goes into the output folder: no previews, no leftovers.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(a)) {
        EXPECT_EQ(e.path().extension(), ".saf") << e.path();
        files++;
    }
    EXPECT_EQ(files, int(std::size(archives)));
    grtest::remove_test_dirs(tmp);
}

TEST_F(GameData, DigestConstantsAgreeWithTheData) {
    std::string marker = grtest::read_file("zzzz.saf");
    char hex[41];
    ripemd160_hex(marker.data(), marker.size(), hex);
    EXPECT_STREQ(hex, game_data_digest);
    EXPECT_TRUE(check_game_data());

    for (const char* name : fixed_file_names) EXPECT_FALSE(read_data(name).empty()) << name;
    fixed_files_digest(hex);
    EXPECT_STREQ(hex, accepted_fixed_digests[0]);
}

TEST_F(GameData, TrackListHoldsEveryTrackWithItsName) {
    std::vector<TrackEntry> list = build_track_list();
    std::set<std::pair<std::string, std::string>> got;
    for (const TrackEntry& t : list) got.insert({t.dir, t.name});
    std::set<std::pair<std::string, std::string>> want = {
        {"pinehollow", "Pine Hollow"}, {"redmesa", "Red Mesa"}, {"sandpoint", "Sandpoint"}};
    EXPECT_EQ(got, want);
}

TEST_F(GameData, StandardShapesFitTheirParts) {
    struct Case {
        const char* name;
        double min_radius, max_radius;  // bounding radius about the body
    } cases[] = {
        {"@generic_frame.shp", 1.5, 4}, {"@generic_fork_upper.shp", 0.8, 2},
        {"@generic_fork_lower.shp", 0.5, 1.5}, {"@generic_swingarm.shp", 0.8, 1.8},
        {"@front_wheel.shp", 0.8333 + 0.3333 - 1e-3, 0.8333 + 0.3333 + 1e-3},
        {"@rear_wheel.shp", 0.75 + 0.3333 - 1e-3, 0.75 + 0.3333 + 1e-3}, {"@generic_rider.shp", 1.3, 2.5},
    };
    for (const Case& c : cases) {
        const CollisionShape* s = collision_shape_load(c.name);
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_GE(s->count, 5) << c.name;
        EXPECT_GE(s->bounding_radius, c.min_radius) << c.name;
        EXPECT_LE(s->bounding_radius, c.max_radius) << c.name;
        for (int i = 0; i < s->count; i++) {
            EXPECT_GT(s->spheres[i].radius, 0) << c.name;
            EXPECT_GT(s->spheres[i].friction, 0) << c.name;
            EXPECT_GT(s->spheres[i].stiffness, 0) << c.name;
            EXPECT_GT(s->spheres[i].damping, 0) << c.name;
        }
    }
    collision_shape_cache_clear();
}

TEST_F(GameData, EveryTrackTerrainLoadsWithoutComplaint) {
    std::vector<std::string> tracks = track_dirs();
    ASSERT_GE(tracks.size(), 3u);
    bool inline_seen = false, png_seen = false, x1_seen = false;
    size_t deep_shadows = 0, samples = 0;
    for (const std::string& dir : tracks) {
        SCOPED_TRACE(dir);
        std::string path = "@" + dir;
        int before = messages.next;
        ASSERT_EQ(terrain_load(path.c_str(), GROUND_NONE), 1);
        EXPECT_EQ(messages.next, before) << "the terrain load printed a message";
        EXPECT_GE(terrain.surface_count, 5);

        // Surfaces differ in how they grip, roll and wear.
        std::set<std::vector<float>> kinds;
        for (int i = 0; i < terrain.surface_count; i++) {
            const SurfaceType& s = terrain.surfaces[i];
            kinds.insert({s.friction_value[0], s.roll_resist[0][0], s.erosion.depth, s.erosion.lower});
            EXPECT_EQ(s.roost[0].mode, 1) << "surface " << i << " throws no roost";
        }
        EXPECT_EQ(int(kinds.size()), terrain.surface_count);

        // Every raw tilemap entry names a surface, and each surface is used.
        std::string tiles = read_data(path + "/tilemap");
        ASSERT_EQ(tiles.size(), size_t(terrain.half_size) * size_t(terrain.half_size));
        std::set<int> used;
        for (unsigned char c : tiles) {
            EXPECT_LT(int(c), terrain.surface_count);
            used.insert(c);
            if (int(c) >= terrain.surface_count) break;
        }
        EXPECT_EQ(int(used.size()), terrain.surface_count);

        // Sunlit slopes, shaded slopes and cast shadows all occur.
        size_t n = size_t(terrain.dim) * size_t(terrain.dim);
        size_t shadowed = 0, deep = 0;
        int lo = 255, hi = 0;
        for (size_t i = 0; i < n; i++) {
            shadowed += terrain.shadows[i] > 0;
            deep += terrain.shadows[i] > 128;
            lo = std::min<int>(lo, terrain.shading[3 * i]);
            hi = std::max<int>(hi, terrain.shading[3 * i]);
        }
        EXPECT_GT(shadowed, 0u);
        EXPECT_LT(shadowed, n / 4);
        deep_shadows = std::max(deep_shadows, deep);
        samples = n;
        EXPECT_GT(hi - lo, 40);
        EXPECT_GT(terrain.high - terrain.low, 20);

        std::string hf = read_data(path + "/terrain.hf");
        if (hf.find(':') != std::string::npos) inline_seen = true;
        else png_seen = true;
        if (read_data(path + "/shadingx2.ppm").empty()) x1_seen = true;
        terrain_free();
    }
    EXPECT_GT(deep_shadows, samples / 1000) << "no track casts real shadows";
    EXPECT_TRUE(inline_seen && png_seen) << "both height forms should be in use";
    EXPECT_TRUE(x1_seen) << "one track should carry shading.ppm";
}

TEST_F(GameData, EveryFileATrackNamesExistsAndReads) {
    // Data names the track files mention (textures, models, shapes), plus
    // the defaults the loaders fall back to.
    std::set<std::string> names = {"@startgate.jm", "@startgate.ppm", "@startgate.shp", "@colors/white.png",
                                   "@roost.png",    "@sky-n.ppm",     "@sky-e.ppm",     "@sky-s.ppm",
                                   "@sky-w.ppm",    "@sky-u.ppm",     "@sky-env.ppm"};
    int compressed_or_scrambled = 0;
    for (const std::string& dir : track_dirs()) {
        for (const char* file : {"billboards", "statues", "flaggers", "tileinfo", "lighting", "timing_gates", "cameras",
                                 "desc", "map.png"}) {
            std::string text = read_data("@" + dir + "/" + file);
            EXPECT_FALSE(text.empty()) << dir << "/" << file;
            if (std::string(file) == "map.png") continue;
            std::istringstream words(text);
            for (std::string w; words >> w;) {
                size_t at = w.find('@');
                if (at != std::string::npos) names.insert(w.substr(at));
            }
        }
        for (const char* n : {"timing_gates", "lighting", "tilemap", "terrain.hf"})
            for (const char* suffix : {".gz", ".scram", ".gz.scram"}) {
                std::string bare = "@" + dir + "/" + n + std::string(suffix);
                DataFile* f = file_open(bare.c_str(), "rb");
                if (f) compressed_or_scrambled++, file_close(f);
            }
    }
    EXPECT_GE(compressed_or_scrambled, 3);
    EXPECT_GT(names.size(), 20u);
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        std::string ext = n.substr(n.rfind('.'));
        if (ext == ".png" || ext == ".ppm") {
            ImageData img;
            ASSERT_TRUE(image_read(n.c_str(), &img)) << image_last_error();
            // Power-of-two sizes keep the texture loader from resampling.
            EXPECT_EQ(img.width & (img.width - 1), 0);
            EXPECT_EQ(img.height & (img.height - 1), 0);
        } else if (ext == ".jm") {
            Model* m = model_read(n.c_str());
            ASSERT_NE(m, nullptr);
            EXPECT_NE(m->meshes, nullptr);
            model_free(m);
        } else if (ext == ".shp") {
            EXPECT_NE(collision_shape_load(n.c_str()), nullptr);
        } else {
            ADD_FAILURE() << "unexpected data name";
        }
    }
    collision_shape_cache_clear();
}
