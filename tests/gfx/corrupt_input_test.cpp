// Every decoder on damaged copies of valid files: cut at every length class
// and with bytes overwritten. Nothing may crash or read out of bounds (the
// sanitizer build watches); whatever loads must be internally consistent.
#include "gfx_test_util.h"

using namespace gfxtest;

namespace {

class CorruptInput : public GfxTest {};

TEST_F(CorruptInput, DamagedFilesNeverCrash) {
    use_fake_gl();
    std::vector<uint8_t> px = test_picture(6, 4, 4);
    std::vector<uint8_t> rgb = test_picture(6, 4, 3);
    std::string k7 = k_file(px, 6, 4, 4);
    std::string jm = "JM2\n2 s\n32 1 1 0.5 0.25 3 1\n"
                     "0 0 0 0 0 1 0 0 1 0\n1 0 0 0 0 1 1 0 0.5 0.5\n0 1 0 0 0 1 0 1 0 1\n0 1 2\n"
                     "-1 0.5 1 1 1 3 1\n"
                     "0 0 0 0 0 1 0 0 1 0\n1 0 0 0 0 1 1 0 0.5 0.5\n0 1 0 0 0 1 0 1 0 1\n2 1 0\n";
    struct Seed {
        const char* ext;
        std::string bytes;
    } seeds[] = {
        {".png", png_rgb(px, 6, 4, 4, {{"Comment", "[mip_custom]"}})},
        {".ppm", p6_file(rgb, 6, 4)},
        {".ppm", "P3 2 2 255\n1 2 3 4 5 6 7 8 9 10 11 12\n"},
        {".k7", k7},
        {".seq", "ANIM1 3 2 2 1\n0 1 0\n" + k7 + "\n" + k7},
        {".png", "LINK @x0.png\n"},
        {".jm", jm},
    };
    uint32_t r = 7;
    int n = 0;
    for (const Seed& s : seeds) {
        std::vector<std::string> variants;
        for (size_t cut = 0; cut < s.bytes.size(); cut += 1 + s.bytes.size() / 40) variants.push_back(s.bytes.substr(0, cut));
        for (int k = 0; k < 60; ++k) {
            std::string v = s.bytes;
            for (int j = 0; j < 1 + k % 3; ++j) {
                r = r * 1103515245u + 12345u;
                size_t at = (r >> 8) % v.size();
                static const char repl[] = {'\0', '\xff', '9', ' ', '-', '\n', '#', 'K'};
                v[at] = (k & 1) ? char(r >> 24) : repl[(r >> 4) % 8];
            }
            variants.push_back(v);
        }
        for (const std::string& v : variants) {
            std::string name = "x" + std::to_string(n++) + s.ext;
            put(name, v);
            std::string at = "@" + name;
            if (!strcmp(s.ext, ".jm")) {
                if (gr::Model* m = gr::model_load(at.c_str())) {
                    for (gr::Mesh* mesh = m->meshes; mesh; mesh = mesh->next)
                        for (uint32_t i : mesh->triangles) ASSERT_LT(int(i), mesh->vertex_count) << name;
                }
                continue;
            }
            if (unsigned id = gr::texture_load(at.c_str())) {
                const Upload* u = upload_of(id);
                ASSERT_NE(u, nullptr);
                ASSERT_EQ(u->levels, gr::mip_level_count(u->width, u->height)) << name;
            }
            gr::texture_animate(n);
            gr::image_load(at.c_str());
        }
    }
}

}  // namespace
