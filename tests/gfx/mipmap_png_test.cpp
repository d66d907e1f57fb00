// Mip level generation and the PNG writers.
#include "gfx_test_util.h"

using namespace gfxtest;
using gr::ImageData;

namespace {

ImageData rgba(int w, int h, std::vector<uint8_t> px) {
    ImageData img;
    img.width = w;
    img.height = h;
    img.channels = 4;
    img.pixels = std::move(px);
    return img;
}

std::vector<uint8_t> level(const ImageData& img, int l) {
    size_t off = gr::mip_level_offset(img.width, img.height, img.channels, l);
    int w = std::max(1, img.width >> l), h = std::max(1, img.height >> l);
    return std::vector<uint8_t>(img.pixels.begin() + long(off), img.pixels.begin() + long(off) + w * h * img.channels);
}

TEST(Mipmap, AlphaWeightedAveraging) {
    struct Case {
        const char* what;
        std::vector<uint8_t> px;  // 2 x 2 RGBA
        bool max_alpha;
        std::vector<uint8_t> want;
    } cases[] = {
        // Colour under zero alpha does not bleed in.
        {"weighted", {255, 0, 0, 0, 0, 100, 0, 255, 0, 100, 0, 255, 0, 0, 0, 0}, false, {0, 100, 0, 128}},
        {"max alpha", {255, 0, 0, 0, 0, 100, 0, 255, 0, 100, 0, 255, 0, 0, 0, 0}, true, {0, 100, 0, 255}},
        {"all opaque", {0, 0, 0, 255, 100, 0, 0, 255, 0, 0, 0, 255, 101, 0, 0, 255}, false, {50, 0, 0, 255}},
        {"all clear", {0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 101, 0, 0, 0}, false, {50, 0, 0, 0}},
        {"uneven", {200, 0, 0, 50, 0, 0, 0, 150, 0, 0, 0, 0, 0, 0, 0, 0}, false, {50, 0, 0, 50}},
    };
    for (const Case& c : cases) {
        ImageData img = rgba(2, 2, c.px);
        gr::image_build_mips(&img, c.max_alpha);
        ASSERT_EQ(img.levels, 2) << c.what;
        EXPECT_EQ(level(img, 1), c.want) << c.what;
    }
}

TEST(Mipmap, ChainShapeAndThinLevelsAveragePairs) {
    // 4 x 1 RGB: 4 x 1, 2 x 1, 1 x 1.
    ImageData img;
    img.width = 4;
    img.height = 1;
    img.channels = 3;
    img.pixels = {0, 0, 0, 10, 20, 30, 100, 100, 100, 200, 200, 200};
    gr::image_build_mips(&img, false);
    EXPECT_EQ(img.levels, 3);
    EXPECT_EQ(img.pixels.size(), gr::mip_chain_bytes(4, 1, 3));
    EXPECT_EQ(img.pixels.size(), size_t(4 + 2 + 1) * 3);
    EXPECT_EQ(level(img, 1), (std::vector<uint8_t>{5, 10, 15, 150, 150, 150}));
    EXPECT_EQ(level(img, 2), (std::vector<uint8_t>{78, 80, 83}));
    EXPECT_EQ(gr::mip_level_count(512, 32), 10);
}

class PngWrite : public GfxTest {};

TEST_F(PngWrite, RgbRoundTripsAndReplacesOnlyWhenComplete) {
    std::vector<uint8_t> px = test_picture(37, 19, 3);
    ASSERT_TRUE(gr::png_write_rgb("@shots/screenshot001.png", px.data(), 37, 19));
    ImageData img;
    ASSERT_TRUE(gr::image_read("@shots/screenshot001.png", &img)) << gr::image_last_error();
    EXPECT_EQ(img.width, 37);
    EXPECT_EQ(img.height, 19);
    EXPECT_EQ(img.pixels, px);
    EXPECT_FALSE(grtest::read_file(dirs.home + "shots/screenshot001.png").empty());

    // A write that cannot be made leaves the old file as it was.
    std::string before = grtest::read_file(dirs.home + "shots/screenshot001.png");
    EXPECT_FALSE(gr::png_write_rgb("@shots/screenshot001.png", px.data(), 0, 19));
    EXPECT_FALSE(gr::png_write_rgb("@shots/screenshot001.png", nullptr, 37, 19));
    EXPECT_EQ(grtest::read_file(dirs.home + "shots/screenshot001.png"), before);
}

TEST_F(PngWrite, Grey16RoundTripsAndOtherPngsReadAsGrey16) {
    std::vector<uint16_t> v = {0, 1, 255, 256, 0x1234, 0x8000, 0xfffe, 0xffff, 42, 4242, 60000, 7};
    ASSERT_TRUE(gr::png_write_gray16("@track/terrain.png", v.data(), 4, 3));
    std::vector<uint16_t> back;
    int w = 0, h = 0;
    ASSERT_TRUE(gr::png_read_gray16("@track/terrain.png", &back, &w, &h)) << gr::image_last_error();
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(back, v);
    std::string file = grtest::read_file(dirs.home + "track/terrain.png");
    // A 16-bit file made elsewhere (big-endian rows) reads the same values,
    // so the round trip is not just two matching mistakes.
    PngLayout g16;
    g16.width = 2;
    g16.colour_type = PNG_COLOR_TYPE_GRAY;
    g16.bit_depth = 16;
    g16.rows = {0x12, 0x34, 0xff, 0x00};
    put("g16.png", png_file(g16));
    ASSERT_TRUE(gr::png_read_gray16("@g16.png", &back, &w, &h));
    EXPECT_EQ(back, (std::vector<uint16_t>{0x1234, 0xff00}));

    // 8-bit grey widens as v * 257; colour becomes grey; alpha is dropped.
    PngLayout grey;
    grey.width = 2;
    grey.colour_type = PNG_COLOR_TYPE_GRAY;
    grey.rows = {3, 255};
    put("g.png", png_file(grey));
    ASSERT_TRUE(gr::png_read_gray16("@g.png", &back, &w, &h));
    EXPECT_EQ(back, (std::vector<uint16_t>{3 * 257, 65535}));
    put("c.png", png_rgb({255, 255, 255, 255, 0, 0, 0, 0}, 2, 1, 4));
    ASSERT_TRUE(gr::png_read_gray16("@c.png", &back, &w, &h));
    EXPECT_EQ(back, (std::vector<uint16_t>{65535, 0}));

    put("bad.png", file.substr(0, file.size() - 20));
    EXPECT_FALSE(gr::png_read_gray16("@bad.png", &back, &w, &h));
    EXPECT_FALSE(gr::png_read_gray16("@none.png", &back, &w, &h));
}

}  // namespace
