// ANIM1 sequences: frame selection over time, start/stop, and broken files.
#include "gfx_test_util.h"

using namespace gfxtest;

namespace {

class TextureAnimTest : public GfxTest {
protected:
    // A 2 x 2 K7 image whose every byte is `v`.
    static std::string k7_solid(uint8_t v) { return k_file(std::vector<uint8_t>(16, v), 2, 2, 4); }

    // The image index the texture shows after texture_animate(tick).
    int shown_at(unsigned id, int tick) {
        gr::texture_animate(tick);
        return gr::texture_anim_find(id)->current;
    }
};

TEST_F(TextureAnimTest, FramesFollowTicksWithAndWithoutLoop) {
    use_fake_gl();
    std::string images = k7_solid(10) + "\n" + k7_solid(20) + "\nPNG\n@frame2.png\n";
    put("frame2.png", png_rgb(std::vector<uint8_t>(16, 30), 2, 2, 4));
    // Sequence 0 1 2 1, four ticks per entry.
    put("once.seq", "ANIM1\n4 3 4 0\n0 1 2 1\n" + images);
    put("loop.seq", "ANIM1 4 3 4 1\n0 1 2 1\n" + images);
    unsigned once = gr::texture_load("@once.seq");
    unsigned loop = gr::texture_load("@loop.seq");
    ASSERT_NE(once, 0u) << gr::image_last_error();
    ASSERT_NE(loop, 0u) << gr::image_last_error();
    EXPECT_EQ(upload_of(once)->pixels[0], 10);  // the first sequence entry is uploaded

    struct Step {
        int tick, once, loop;
    } steps[] = {{0, 0, 0}, {3, 0, 0}, {4, 1, 1}, {8, 2, 2}, {12, 1, 1}, {16, 1, 0}, {100, 1, 1}, {-5, 0, 0}};
    for (const Step& s : steps) {
        gr::texture_animate(s.tick);
        EXPECT_EQ(gr::texture_anim_find(once)->current, s.once) << "tick " << s.tick;
        EXPECT_EQ(gr::texture_anim_find(loop)->current, s.loop) << "tick " << s.tick;
    }
    // Only changes are uploaded, with the image's pixels.
    ASSERT_FALSE(fake_gl.replaced.empty());
    EXPECT_EQ(fake_gl.replaced[0].first, once);
    EXPECT_EQ(fake_gl.replaced[0].second[0], 20);
    size_t uploads = fake_gl.replaced.size();
    gr::texture_animate(-5);
    EXPECT_EQ(fake_gl.replaced.size(), uploads);

    // Stopped animations keep their image; start restarts from the first entry.
    EXPECT_EQ(shown_at(once, 8), 2);
    gr::texture_anim_stop(once);
    EXPECT_EQ(shown_at(once, 0), 2);
    gr::texture_anim_start(once, 50);
    EXPECT_EQ(shown_at(once, 50), 0);
    EXPECT_EQ(shown_at(once, 54), 1);

    gr::texture_track_load_begin();
    gr::texture_free_stale(false);  // both belong to no track: permanent
    EXPECT_NE(gr::texture_anim_find(once), nullptr);
    gr::texture_free_stale(true);
    EXPECT_EQ(gr::texture_anim_find(once), nullptr);
}

TEST_F(TextureAnimTest, BrokenSequencesFailWithTheirMessage) {
    use_fake_gl();
    put("rgb.png", png_rgb(std::vector<uint8_t>(12, 1), 2, 2, 3));
    put("big.png", png_rgb(std::vector<uint8_t>(36, 1), 3, 3, 4));
    std::string a = k7_solid(1);
    struct Case {
        const char* name;
        std::string body;
        const char* error;
    } cases[] = {
        {"a.seq", "ANIM1 2 1 4", "EOF while reading .seq"},
        {"b.seq", "ANIM1 3 1 4 0 0 0", "EOF while reading .seq"},
        {"c.seq", "ANIM1 1 2 4 0 0\n" + a, "EOF while reading .seq"},
        {"d.seq", "ANIM1 1 1 4 0 1\n" + a, "Bad image index 1 in .seq"},
        {"e.seq", "ANIM1 1 1 4 0 -1\n" + a, "Bad image index -1 in .seq"},
        {"f.seq", "ANIM1 0 1 4 0\n" + a, "Bad .seq header"},
        {"g.seq", "ANIM1 1 2 4 0 0\n" + a + "K6 2 2\n", "Error reading .seq frame 1"},
        {"h.seq", "ANIM1 1 1 4 0 0\nK7 2 2\nabc", "Error reading .seq frame 0"},
        {"i.seq", "ANIM1 1 1 4 0 0\nJPEG\n", "Error reading .seq frame 0"},
        {"j.seq", "ANIM1 1 2 4 0 0\n" + a + "PNG\n@missing.png\n", "Can't read @missing.png"},
        {"k.seq", "ANIM1 1 2 4 0 0\n" + a + "PNG @rgb.png\n", "Depth mismatch reading .seq"},
        {"l.seq", "ANIM1 1 2 4 0 0\n" + a + "PNG\n@big.png\n", "Width/height mismatch reading .seq"},
        {"m.seq", "ANIM1 1 99999999 4 0 0\n", "Bad .seq header"},
    };
    for (const Case& c : cases) {
        put(c.name, c.body);
        EXPECT_EQ(gr::texture_load(("@" + std::string(c.name)).c_str()), 0u) << c.name;
        EXPECT_EQ(std::string(gr::image_last_error()).rfind(c.error, 0), 0u)
            << c.name << ": " << gr::image_last_error();
    }
    EXPECT_TRUE(gr::texture_cache.anims.empty());
    EXPECT_TRUE(fake_gl.created.empty());

    // A zero frame duration does not divide by zero.
    put("z.seq", "ANIM1 2 1 0 1 0 0\n" + a);
    unsigned z = gr::texture_load("@z.seq");
    ASSERT_NE(z, 0u);
    gr::texture_animate(7);
    EXPECT_EQ(gr::texture_anim_find(z)->current, 0);
}

}  // namespace
