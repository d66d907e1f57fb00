// Model files: materials, texture coordinates, bone weights, tangents,
// broken files, the cache with detail variants, skinning and POV export.
#include <cmath>

#include "gfx_test_util.h"

using namespace gfxtest;

namespace {

class ModelTest : public GfxTest {
protected:
    gr::Model* load(const std::string& name, const std::string& text) {
        put(name, text);
        return gr::model_load(("@" + name).c_str());
    }
};

// One triangle: three vertices (position, normal, u v [, weights]) and indices.
const char* const triangle = "0 0 0  0 0 1  0 0.25\n1 0 0  0 0 1  1 0.25\n0 1 0  0 0 1  0 1\n0 1 2\n";

TEST_F(ModelTest, MaterialsTexcoordsAndOldFormat) {
    std::string jm = std::string("JM1\n") + "32 0.5 1 0.5 0.25 3 1\n" + triangle +  // opaque: alpha 1
                     "-1 0.5 0 1 0 3 1\n" + triangle;                               // blended: alpha from file
    gr::Model* m = load("two.jm", jm);
    ASSERT_NE(m, nullptr);
    gr::Mesh* a = m->meshes;
    ASSERT_NE(a, nullptr);
    gr::Mesh* b = a->next;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(std::vector<float>(a->colour, a->colour + 4), (std::vector<float>{1, 0.5f, 0.25f, 1}));
    EXPECT_EQ(std::vector<float>(b->colour, b->colour + 4), (std::vector<float>{0, 1, 0, 0.5f}));
    EXPECT_FLOAT_EQ(a->shininess, 32);
    EXPECT_TRUE(b->blended);
    EXPECT_TRUE(a->blended);  // the first mesh speaks for the model
    EXPECT_EQ(a->name, "@two.jm");
    EXPECT_FLOAT_EQ(a->texcoords[1], 0.75f);  // v 0.25 in the file
    EXPECT_FLOAT_EQ(a->texcoords[5], 0.0f);
    EXPECT_EQ(a->triangles, (std::vector<uint32_t>{0, 1, 2}));

    gr::Model* old = load("old.jm", std::string("3 1\n") + triangle);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(std::vector<float>(old->meshes->colour, old->meshes->colour + 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_FLOAT_EQ(old->meshes->shininess, 32);
    EXPECT_FALSE(old->meshes->blended);
    EXPECT_EQ(old->meshes->bone_count, 0);
}

TEST_F(ModelTest, BoneWeightsKeepTheFourLargestAndWarnOncePerMesh) {
    // Five bones. Vertex 0: five weights, the smallest last; vertex 1: five,
    // the smallest first; vertex 2: none at all.
    std::string jm = "JM2\n5 rider_skeleton\n32 1 1 1 1 3 1\n"
                     "0 0 0 0 0 1 0 0  0.4 0.3 0.2 0.1 0.05\n"
                     "1 0 0 0 0 1 1 0  0.05 0.1 0.2 0.3 0.4\n"
                     "0 1 0 0 0 1 0 1  0 0 0 0 0\n"
                     "0 1 2\n";
    gr::Model* m = load("rider.jm", jm + jm.substr(jm.find("32 1 1")));  // the same mesh twice
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->bone_count, 5);
    EXPECT_EQ(m->skeleton, "rider_skeleton");
    EXPECT_EQ(messages_with("Warning: vertex with more than 4 bone influences in '@rider.jm'"), 2);

    const gr::Mesh* mesh = m->meshes;
    ASSERT_NE(mesh->next, nullptr);
    auto weights_of = [&](int v) {
        std::vector<std::pair<int, float>> w;
        for (int k = 0; k < 4; ++k)
            if (mesh->bone_weights[v * 4 + k] > 0) w.push_back({mesh->bone_indices[v * 4 + k], mesh->bone_weights[v * 4 + k]});
        std::sort(w.begin(), w.end());
        return w;
    };
    auto v0 = weights_of(0), v1 = weights_of(1);
    ASSERT_EQ(v0.size(), 4u);
    ASSERT_EQ(v1.size(), 4u);
    const int want0[] = {0, 1, 2, 3}, want1[] = {1, 2, 3, 4};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(v0[k].first, want0[k]);
        EXPECT_EQ(v1[k].first, want1[k]);
    }
    EXPECT_NEAR(v0[0].second, 0.4f, 1e-6);  // normalised over the four kept
    EXPECT_NEAR(v1[3].second, 0.4f, 1e-6);
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(mesh->bone_weights[2 * 4 + k], 0.25f);
    // Skinned meshes hold the bind pose and the posed copy.
    EXPECT_EQ(mesh->positions.size(), 3u * 3 * 2);
}

TEST_F(ModelTest, TangentsFollowIncreasingU) {
    // u grows along +x (file v along +y); a second triangle mirrors u and is
    // flipped to the handedness of the first; a third has degenerate
    // texture coordinates.
    std::string jm = "JM1\n32 1 1 1 1 9 3\n"
                     "0 0 0 0 0 1 0 0\n2 0 0 0 0 1 1 0\n0 2 0 0 0 1 0 1\n"
                     "0 0 0 0 0 1 1 0\n2 0 0 0 0 1 0 0\n0 2 0 0 0 1 1 1\n"
                     "0 0 0 0 0 1 0 0\n0 3 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n"
                     "0 1 2 3 4 5 6 7 8\n";
    gr::Model* m = load("t.jm", jm);
    ASSERT_NE(m, nullptr);
    const std::vector<float>& t = m->meshes->tangents;
    EXPECT_FLOAT_EQ(t[0], 2);  // dP/du of the first triangle
    EXPECT_FLOAT_EQ(t[1], 0);
    EXPECT_FLOAT_EQ(t[3 * 3], 2);  // mirrored: flipped back to the same side
    EXPECT_FLOAT_EQ(t[6 * 3 + 1], 1.0f / 1048576);  // along the longer edge, length 2^-20
    EXPECT_FLOAT_EQ(t[6 * 3], 0);
}

TEST_F(ModelTest, BrokenFilesAndTruncatedMeshes) {
    std::string mesh = std::string("32 1 1 1 1 3 1\n") + triangle;
    struct Case {
        const char* name;
        std::string text;
        int meshes;  // 0: no model
    } cases[] = {
        {"a.jm", "", 0},
        {"b.jm", "JM3\n" + mesh, 0},
        {"c.jm", "JM\n" + mesh, 0},
        {"d.jm", "JM1\n", 0},
        {"e.jm", "JM1\n" + mesh.substr(0, mesh.size() - 4), 0},
        {"f.jm", "JM1\n32 1 1 1 1 3 1\n" + std::string(triangle).substr(0, 60) + "\n0 1 3\n", 0},
        {"g.jm", "JM1\n32 1 1 1 1 -3 1\n", 0},
        {"h.jm", "JM1\n32 1 1 1 1 2000000000 2000000000\n1 2 3\n", 0},
        {"i.jm", "JM2\n-1 x\n" + mesh, 0},
        {"j.jm", "JM2\n2 x\n" + mesh, 0},  // weights missing
        {"k.jm", "JM1\n" + mesh + mesh + "32 1 1 1 1 3 1\n0 0 0\n", 2},
        {"l.jm", "JM1\n" + mesh + "32 1 1 1 1 3 1\n" + std::string(triangle).substr(0, 60) + "\n0 1 -1\n" + mesh, 1},
        {"m.jm", "JM1\n" + mesh + "garbage", 1},
        {"n.jm", "3 1\n0 0 0", 0},
    };
    for (const Case& c : cases) {
        gr::Model* m = load(c.name, c.text);
        int n = 0;
        if (m)
            for (gr::Mesh* x = m->meshes; x; x = x->next) ++n;
        EXPECT_EQ(n, c.meshes) << c.name;
        EXPECT_EQ(m != nullptr, c.meshes > 0) << c.name;
    }
    EXPECT_EQ(gr::model_load("@nothing.jm"), nullptr);
}

TEST_F(ModelTest, DetailVariantsAreSortedByFactor) {
    std::string jm = std::string("JM1\n32 1 1 1 1 3 1\n") + triangle;
    put("models/rock.jm", jm);
    put("models/rock_lod3.jm", jm);
    put("models/rock_lod1.jm", jm);
    put("models/rock_lod2.jm.gz", grtest::gzip_bytes(jm));
    put("models/rock_lodge.jm", jm);  // not a detail variant
    put("models/rock_lod4.jm", "broken");
    gr::Model* m = gr::model_load("@models/rock.jm");
    ASSERT_NE(m, nullptr);
    std::vector<float> factors;
    std::vector<std::string> names;
    for (gr::Model* v = m->lod_next; v; v = v->lod_next) {
        factors.push_back(v->lod_factor);
        names.push_back(v->name);
    }
    EXPECT_EQ(factors, (std::vector<float>{2, 4, 8}));
    EXPECT_EQ(names, (std::vector<std::string>{"@models/rock_lod1.jm", "@models/rock_lod2.jm", "@models/rock_lod3.jm"}));
}

TEST_F(ModelTest, CacheGenerationsAndPairs) {
    std::string jm = std::string("JM1\n32 1 1 1 1 3 1\n") + triangle;
    put("bikes/mine/frame.jm", jm);
    put("bikes/stock/fork.jm", jm);
    gr::Model* perm = gr::model_load("@bikes/mine/frame.jm");
    ASSERT_NE(perm, nullptr);
    EXPECT_EQ(gr::model_load("@bikes/mine/frame.jm"), perm);
    EXPECT_EQ(gr::model_load("@bikes/MINE/frame.jm"), perm);
    EXPECT_EQ(messages_with("Warning: case mismatch on '@bikes/MINE/frame.jm'"), 1);

    gr::texture_track_load_begin();
    gr::Model* fork = gr::model_load_pair("@bikes/mine/fork.png", "@bikes/stock", true);
    ASSERT_NE(fork, nullptr);
    EXPECT_EQ(fork->name, "@bikes/stock/fork.jm");
    EXPECT_EQ(gr::model_load_pair("@bikes/mine/frame-custom.png", nullptr, false), nullptr);
    EXPECT_EQ(gr::model_load_pair("@bikes/mine/wheel.png", "@bikes/stock/", true), nullptr);
    EXPECT_EQ(messages_with("Warning: Can't load @bikes/mine/wheel.jm or @bikes/stock/wheel.jm"), 1);
    EXPECT_EQ(gr::model_load_pair("@bikes/mine/swingarm.png", nullptr, true), nullptr);
    EXPECT_EQ(messages_with("Warning: Can't load @bikes/mine/swingarm.jm"), 1);

    gr::texture_track_load_begin();
    gr::model_free_stale(false);
    ASSERT_EQ(gr::model_cache.models.size(), 1u);  // the fork of the last track went
    EXPECT_EQ(gr::model_cache.models[0], perm);
    gr::model_free_stale(true);
    EXPECT_TRUE(gr::model_cache.models.empty());
}

TEST_F(ModelTest, CpuSkinningBlendsBoneTransforms) {
    // Two bones; the vertex at (1, 0, 0) is weighted 3:1.
    std::string jm = "JM2\n2 s\n32 1 1 1 1 3 1\n"
                     "1 0 0  1 0 0  0 0  3 1\n"
                     "1 1 0  1 0 0  1 0  0 1\n"
                     "0 1 0  1 0 0  0 1  1 0\n"
                     "0 1 2\n";
    gr::Model* m = load("s.jm", jm);
    ASSERT_NE(m, nullptr);
    // Bone 0 stays; bone 1 turns 90 degrees about z around (1, 0, 0) and moves by (0, 0, 2).
    const float rest[] = {0, 0, 0, 1, 0, 0};
    const float current[] = {0, 0, 0, 1, 0, 2};
    float rot[18] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float q[4] = {std::sqrt(0.5f), 0, 0, std::sqrt(0.5f)};
    gr::bone_rotation_from_quaternion(q, rot + 9);
    gr::BonePose pose;
    pose.bone_count = 2;
    pose.rest = rest;
    pose.current = current;
    pose.rotations = rot;
    ASSERT_TRUE(gr::model_skin(m, &pose));
    const gr::Mesh* mesh = m->meshes;
    const float* p = gr::mesh_draw_positions(mesh);
    const float* n = gr::mesh_draw_normals(mesh);
    // Vertex 0: 0.75 (1, 0, 0) + 0.25 ((1, 0, 0) + (0, 0, 2)) = (1, 0, 0.5).
    EXPECT_NEAR(p[0], 1, 1e-6);
    EXPECT_NEAR(p[1], 0, 1e-6);
    EXPECT_NEAR(p[2], 0.5, 1e-6);
    // Vertex 1, all bone 1: (0, 1, 0) from the bone turned to (-1, 0, 0), then + (1, 0, 2).
    EXPECT_NEAR(p[3], 0, 1e-6);
    EXPECT_NEAR(p[4], 0, 1e-6);
    EXPECT_NEAR(p[5], 2, 1e-6);
    EXPECT_NEAR(n[3], 0, 1e-6);  // its normal (1, 0, 0) turned to (0, 1, 0)
    EXPECT_NEAR(n[4], 1, 1e-6);
    EXPECT_FLOAT_EQ(mesh->positions[3], 1);  // the bind pose is untouched
    EXPECT_FLOAT_EQ(mesh->positions[4], 1);

    pose.bone_count = 3;
    EXPECT_FALSE(gr::model_skin(m, &pose));
    pose.bone_count = 2;
    gr::gfx_options.cpu_skinning = false;
    EXPECT_FALSE(gr::model_skin(m, &pose));
}

TEST_F(ModelTest, PovMesh2Text) {
    gr::Model* m = load("p.jm", std::string("JM1\n32 1 1 1 1 3 1\n") + triangle);
    ASSERT_NE(m, nullptr);
    gr::DataFile* f = gr::file_open("@p.pov", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(gr::mesh_write_pov(m->meshes, f));
    gr::file_close(f);
    EXPECT_EQ(grtest::read_file(dirs.home + "p.pov"),
              "mesh2 {\n"
              "\tvertex_vectors {\n\t\t3\n"
              "\t\t<0.000000,0.000000,0.000000>,\n\t\t<1.000000,0.000000,0.000000>,\n\t\t<0.000000,1.000000,0.000000>\n\t}\n"
              "\tnormal_vectors {\n\t\t3\n"
              "\t\t<0.000000,0.000000,1.000000>,\n\t\t<0.000000,0.000000,1.000000>,\n\t\t<0.000000,0.000000,1.000000>\n\t}\n"
              "\tuv_vectors {\n\t\t3\n"
              "\t\t<0.000000,0.750000>,\n\t\t<1.000000,0.750000>,\n\t\t<0.000000,0.000000>\n\t}\n"
              "\tface_indices {\n\t\t1\n"
              "\t\t<0,1,2>\n\t}\n"
              "}\n");
}

}  // namespace
