// texture_load and image_load: what reaches the renderer (size, levels, wrap,
// compression, border), the cache and its generations, links, info text.
#include "gfx_test_util.h"

using namespace gfxtest;

namespace {

class TextureCacheTest : public GfxTest {};

TEST_F(TextureCacheTest, WithoutGlNothingIsReadOrCached) {
    put("a.ppm", solid_p6(4, 4, 1, 2, 3));
    put("l.png", "LINK @a.ppm\n");
    EXPECT_EQ(gr::texture_load("@a.ppm"), 0u);
    EXPECT_EQ(gr::texture_load("@l.png"), 0u);
    EXPECT_TRUE(gr::texture_cache.entries.empty());
    EXPECT_TRUE(gr::texture_cache.links.empty());
    // CPU images need no GL.
    gr::Image* im = gr::image_load("@a.ppm");
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(im->data.channels, 4);
    EXPECT_EQ(im->data.levels, 3);
    EXPECT_EQ(std::vector<uint8_t>(im->data.pixels.begin(), im->data.pixels.begin() + 4),
              (std::vector<uint8_t>{1, 2, 3, 255}));
    EXPECT_EQ(gr::image_load("@a.ppm"), im);

    // Images follow the generations like textures.
    put("b.pgm", "P2 1 1 255 7\n");
    gr::texture_track_load_begin();
    gr::Image* b = gr::image_load("@b.pgm");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->data.pixels[0], 7);
    EXPECT_EQ(b->data.pixels[3], 255);
    gr::texture_track_load_begin();
    gr::texture_free_stale(false);
    ASSERT_EQ(gr::texture_cache.images.size(), 1u);
    EXPECT_EQ(gr::texture_cache.images[0], im);
}

TEST_F(TextureCacheTest, WrapModeFollowsTheName) {
    use_fake_gl();
    struct Case {
        const char* name;
        bool s, t;
    } cases[] = {
        {"x-hrepeat.ppm", true, false}, {"x-vrepeat.ppm", false, true}, {"x-repeat.ppm", true, true},
        {"x.ppm", false, false},        {"x-repeatless.ppm", false, false},
    };
    for (const Case& c : cases) {
        put(c.name, solid_p6(2, 2, 9, 9, 9));
        const Upload* u = upload_of(gr::texture_load(("@" + std::string(c.name)).c_str()));
        ASSERT_NE(u, nullptr) << c.name;
        EXPECT_EQ(u->repeat_s, c.s) << c.name;
        EXPECT_EQ(u->repeat_t, c.t) << c.name;
    }
}

TEST_F(TextureCacheTest, DetailReductionStopsAt128) {
    use_fake_gl();
    struct Case {
        const char* request;
        int w, h, level;
        int want_w, want_h;
    } cases[] = {
        {"@a.ppm", 512, 512, 2, 128, 128}, {"@b.ppm", 256, 256, 3, 128, 128}, {"@c.ppm", 512, 64, 4, 512, 64},
        {"!@d.ppm", 512, 512, 2, 512, 512}, {"@e.ppm", 1024, 256, 4, 512, 128}, {"@f.ppm", 128, 128, 4, 128, 128},
    };
    for (const Case& c : cases) {
        gr::gfx_options.model_texture_level = c.level;
        const char* file = c.request + (c.request[0] == '!' ? 2 : 1);
        put(file, solid_p6(c.w, c.h, 7, 7, 7));
        const Upload* u = upload_of(gr::texture_load(c.request));
        ASSERT_NE(u, nullptr) << c.request;
        EXPECT_EQ(u->width, c.want_w) << c.request;
        EXPECT_EQ(u->height, c.want_h) << c.request;
        EXPECT_EQ(u->levels, gr::mip_level_count(c.want_w, c.want_h)) << c.request;
    }
}

TEST_F(TextureCacheTest, NonPowerOfTwoIsResampledAndWarned) {
    use_fake_gl();
    // Columns 0..99 coloured by x: nearest sampling to 64 keeps x * 100 / 64.
    std::vector<uint8_t> px(100 * 3 * 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 100; ++x) px[(y * 100 + x) * 3] = uint8_t(x);
    put("odd.ppm", p6_file(px, 100, 3));
    const Upload* u = upload_of(gr::texture_load("@odd.ppm"));
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->width, 64);
    EXPECT_EQ(u->height, 2);
    EXPECT_EQ(u->pixels[63 * 3], 63 * 100 / 64);
    EXPECT_EQ(u->levels, 7);
    EXPECT_EQ(messages_with("Warning: Non power of 2 texture '@odd.ppm'"), 1);
}

TEST_F(TextureCacheTest, CacheGenerationsAndMemory) {
    use_fake_gl();
    put("perm.ppm", solid_p6(4, 4, 1, 1, 1));
    put("one.ppm", solid_p6(4, 4, 2, 2, 2));
    put("two.ppm", solid_p6(4, 4, 3, 3, 3));
    unsigned perm = gr::texture_load("@perm.ppm");  // before any track: permanent
    ASSERT_NE(perm, 0u);

    gr::texture_track_load_begin();
    unsigned one = gr::texture_load("@one.ppm");
    unsigned two = gr::texture_load("@two.ppm");
    int64_t bytes = int64_t(gr::mip_chain_bytes(4, 4, 3));
    EXPECT_EQ(gr::texture_cache.memory, 2 * bytes);  // the permanent one is not the track's
    EXPECT_EQ(gr::texture_load("@one.ppm"), one);
    EXPECT_EQ(gr::texture_load("@ONE.ppm"), one);
    EXPECT_EQ(messages_with("Warning: case mismatch on '@ONE.ppm'"), 1);
    EXPECT_EQ(fake_gl.created.size(), 3u);

    // Next track uses only "one": it counts again, "two" goes, "perm" stays.
    gr::texture_track_load_begin();
    EXPECT_EQ(gr::texture_cache.memory, 0);
    EXPECT_EQ(gr::texture_load("@one.ppm"), one);
    EXPECT_EQ(gr::texture_cache.memory, bytes);
    gr::texture_free_stale(false);
    EXPECT_EQ(fake_gl.destroyed, std::vector<unsigned>{two});
    EXPECT_STREQ(gr::texture_name(one), "@one.ppm");
    EXPECT_STREQ(gr::texture_name(perm), "@perm.ppm");
    EXPECT_EQ(gr::texture_name(two), nullptr);

    // A texture stale under another spelling is refreshed too, not freed.
    gr::texture_track_load_begin();
    EXPECT_EQ(gr::texture_load("@One.ppm"), one);
    gr::texture_free_stale(false);
    EXPECT_STREQ(gr::texture_name(one), "@one.ppm");

    gr::texture_free_stale(true);
    EXPECT_TRUE(gr::texture_cache.entries.empty());
    EXPECT_EQ(fake_gl.destroyed.size(), 3u);
}

TEST_F(TextureCacheTest, LinksResolveAndLoopsEndAtThePlaceholder) {
    use_fake_gl();
    put("colors/white.png", png_rgb({255, 255, 255}, 1, 1, 3));
    put("real.ppm", solid_p6(2, 2, 5, 6, 7));
    put("alias.png", "LINK   @real.ppm   \n");
    put("self.png", "LINK @self.png\n");
    put("a.png", "LINK @b.png\n");
    put("b.png", "LINK @a.png\n");
    put("dead.png", "LINK @nothing.png\n");

    unsigned real = gr::texture_load("@alias.png");
    ASSERT_NE(real, 0u);
    EXPECT_STREQ(gr::texture_name(real), "@real.ppm");
    EXPECT_EQ(gr::texture_load("@real.ppm"), real);
    EXPECT_EQ(gr::texture_load("@alias.png"), real);

    unsigned white = gr::texture_load("@self.png");
    ASSERT_NE(white, 0u);
    EXPECT_STREQ(gr::texture_name(white), "@colors/white.png");
    EXPECT_EQ(gr::texture_load("@self.png"), white);
    EXPECT_EQ(gr::texture_load("@a.png"), white);
    EXPECT_EQ(gr::texture_load("@b.png"), white);

    EXPECT_EQ(gr::texture_load("@dead.png"), 0u);
    EXPECT_EQ(fake_gl.created.size(), 2u);
    // CPU images follow links the same way.
    gr::Image* im = gr::image_load("@self.png");
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(im->name, "@colors/white.png");
}

TEST_F(TextureCacheTest, InfoTextCompressionAndBorder) {
    use_fake_gl();
    // Mostly (200, 10, 10) with a slightly different shade in the same bin,
    // and a run of blue along the top edge.
    std::vector<uint8_t> px(16 * 16 * 3);
    for (int i = 0; i < 16 * 16; ++i) {
        px[i * 3] = i % 2 ? 200 : 202;
        px[i * 3 + 1] = 10;
        px[i * 3 + 2] = 10;
    }
    for (int x = 4; x < 16; ++x) {
        px[x * 3] = 0;
        px[x * 3 + 2] = 250;
    }
    put("c.png", png_rgb(px, 16, 16, 3, {{"Comment", "[compress]"}}));
    put("c.png.info", "[numberbackground:1,0,0]\n");
    put("plain.png", png_rgb(px, 16, 16, 3));
    put("k.ppm", solid_p6(2, 2, 1, 1, 1));
    put("k.ppm.info", "[compress]\n");

    unsigned c = gr::texture_load("@c.png");
    unsigned plain = gr::texture_load("@plain.png");
    unsigned k = gr::texture_load("@k.ppm");
    ASSERT_TRUE(c && plain && k);
    std::string info = gr::texture_info(c);
    EXPECT_NE(info.find("[compress]"), std::string::npos);
    EXPECT_NE(info.find("[numberbackground:1,0,0]"), std::string::npos);
    EXPECT_EQ(gr::texture_info(plain), nullptr);
    EXPECT_TRUE(upload_of(c)->compress);
    EXPECT_FALSE(upload_of(plain)->compress);
    EXPECT_FALSE(upload_of(k)->compress);  // only PNG textures compress
    // The most common edge colour bin wins; its mean is the border.
    const uint8_t* b = upload_of(plain)->border;
    EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{201, 10, 10, 255}));

    gr::texture_free_stale(true);
    fake_gl = FakeGl();
    gr::gfx_options.texture_compress = 0;
    EXPECT_FALSE(upload_of(gr::texture_load("@c.png"))->compress);
    gr::gfx_options.texture_compress = 2;
    EXPECT_TRUE(upload_of(gr::texture_load("@plain.png"))->compress);
}

TEST_F(TextureCacheTest, InfoFileChoosesMaxAlphaMips) {
    use_fake_gl();
    std::vector<uint8_t> px = {9, 9, 9, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put("leaf.png", png_rgb(px, 2, 2, 4));
    put("leaf.png.info", "[mip_max_alpha]\n");
    put("plain.png", png_rgb(px, 2, 2, 4));
    unsigned leaf_id = gr::texture_load("@leaf.png"), plain_id = gr::texture_load("@plain.png");
    const Upload* leaf = upload_of(leaf_id);
    const Upload* plain = upload_of(plain_id);
    ASSERT_TRUE(leaf && plain);
    EXPECT_EQ(leaf->pixels[16 + 3], 255);
    EXPECT_EQ(plain->pixels[16 + 3], 64);
    EXPECT_EQ(leaf->pixels[16], 9);  // colour from the only visible texel
    EXPECT_STREQ(gr::texture_info(leaf_id), "[mip_max_alpha]\n");
}

TEST_F(TextureCacheTest, CustomMipChainFromTheImage) {
    use_fake_gl();
    // 4 x 6: level 0 is the top 4 x 4, the strip below holds 2 x 2 at x = 0 and 1 x 1 at x = 2.
    std::vector<uint8_t> px(4 * 6 * 3, 0);
    for (int i = 0; i < 4 * 4 * 3; ++i) px[i] = 10;
    for (int y = 4; y < 6; ++y)
        for (int x = 0; x < 2; ++x) px[(y * 4 + x) * 3] = 20;
    px[(4 * 4 + 2) * 3] = 30;
    put("m.png", png_rgb(px, 4, 6, 3, {{"Comment", "[mip_custom]"}}));
    put("bad.png", png_rgb(std::vector<uint8_t>(4 * 5 * 3, 1), 4, 5, 3, {{"Comment", "[mip_custom]"}}));

    const Upload* u = upload_of(gr::texture_load("@m.png"));
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->width, 4);
    EXPECT_EQ(u->height, 4);
    ASSERT_EQ(u->levels, 3);
    EXPECT_EQ(u->pixels[0], 10);
    EXPECT_EQ(u->pixels[gr::mip_level_offset(4, 4, 3, 1)], 20);
    EXPECT_EQ(u->pixels[gr::mip_level_offset(4, 4, 3, 2)], 30);

    EXPECT_NE(gr::texture_load("@bad.png"), 0u);
    EXPECT_EQ(messages_with("Warning: Invalid height for custom MIP map in '@bad.png'"), 1);
}

TEST_F(TextureCacheTest, CompanionMapsAndProgramMadeTextures) {
    use_fake_gl();
    put("bike/frame_norm.ppm", solid_p6(2, 2, 1, 1, 1));
    put("bike/frame_norm.png", png_rgb(std::vector<uint8_t>(12, 2), 2, 2, 3));
    put("stock/default_spec.ppm", solid_p6(2, 2, 3, 3, 3));
    unsigned norm = gr::texture_load_companion("@bike/frame.png", "@stock/default.png", "_norm");
    EXPECT_STREQ(gr::texture_name(norm), "@bike/frame_norm.png");  // .png before .ppm
    unsigned specular = gr::texture_load_companion("@bike/frame.png", "@stock/default.png", "_spec");
    EXPECT_STREQ(gr::texture_name(specular), "@stock/default_spec.ppm");
    EXPECT_EQ(gr::texture_load_companion("@bike/frame.png", nullptr, "_spec"), 0u);
    EXPECT_EQ(gr::texture_load_companion("@bike/noext", nullptr, "_norm"), 0u);

    gr::ImageData plate;
    plate.width = plate.height = 4;
    plate.channels = 4;
    plate.pixels.assign(64, 200);
    unsigned id = gr::texture_from_image(&plate, "number plate", false, false);
    const Upload* u = upload_of(id);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->levels, 3);
    EXPECT_EQ(u->pixels.back(), 200);
    EXPECT_STREQ(gr::texture_name(id), "number plate");
    gr::texture_uploader = nullptr;
    EXPECT_EQ(gr::texture_from_image(&plate, "number plate", false, false), 0u);
}

TEST_F(TextureCacheTest, BrokenFilesGiveNoTexture) {
    use_fake_gl();
    gr::gfx_options.debug_level = 1;
    put("t.ppm", "P6 2 2 255\nab");
    put("u.png", "LINK\n");
    put("v.k7", "K7 2 2\n");
    EXPECT_EQ(gr::texture_load("@t.ppm"), 0u);
    EXPECT_EQ(gr::texture_load("@u.png"), 0u);
    EXPECT_EQ(gr::texture_load("@v.k7"), 0u);
    EXPECT_EQ(gr::texture_load("@none.png"), 0u);
    EXPECT_EQ(messages_with("Can't open texture \"@none.png\""), 1);
    EXPECT_TRUE(fake_gl.created.empty());
    EXPECT_TRUE(gr::texture_cache.entries.empty());
}

}  // namespace
