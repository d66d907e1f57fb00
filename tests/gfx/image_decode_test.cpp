// Decoding PPM/PGM, K6/K7 and PNG files, and their failures on truncated or
// corrupt input.
#include "gfx_test_util.h"

using namespace gfxtest;
using gr::ImageData;

namespace {

class ImageDecode : public GfxTest {
protected:
    ImageData read(const std::string& name, const std::string& bytes, bool* ok) {
        put(name, bytes);
        ImageData img;
        *ok = gr::image_read(("@" + name).c_str(), &img);
        return img;
    }
    ImageData read_ok(const std::string& name, const std::string& bytes) {
        bool ok;
        ImageData img = read(name, bytes, &ok);
        EXPECT_TRUE(ok) << name << ": " << gr::image_last_error();
        return img;
    }
};

TEST_F(ImageDecode, K7OnePixelKeepsItsBytes) {
    ImageData img = read_ok("one.k7", std::string("K7\n1 1\n") + "\x12\xfe\x80\x01");
    EXPECT_EQ(img.width, 1);
    EXPECT_EQ(img.height, 1);
    ASSERT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0x12, 0xfe, 0x80, 0x01}));
}

TEST_F(ImageDecode, K6AndPpmOfOnePictureDecodeTheSame) {
    const int w = 7, h = 5;
    std::vector<uint8_t> px = test_picture(w, h, 3);
    ImageData k6 = read_ok("pic.k6", k_file(px, w, h, 3, "# made by a test\n"));
    ImageData p6 = read_ok("pic.ppm", p6_file(px, w, h));
    EXPECT_EQ(k6.channels, 3);
    EXPECT_EQ(p6.channels, 3);
    EXPECT_EQ(k6.pixels, px);
    EXPECT_EQ(p6.pixels, px);

    std::vector<uint8_t> rgba = test_picture(w, h, 4, 9);
    EXPECT_EQ(read_ok("pic.k7", k_file(rgba, w, h, 4)).pixels, rgba);
}

TEST_F(ImageDecode, PnmVariantsAndRescaling) {
    // Text, comments between every header field, and a maximum of 15.
    ImageData p3 = read_ok("a.ppm", "P3\n# comment\n2 # width\n1\n#max next\n15\n15 0 5  7 15 0\n");
    EXPECT_EQ(p3.pixels, (std::vector<uint8_t>{255, 0, 85, 119, 255, 0}));
    // Binary with two-byte samples.
    ImageData p6 = read_ok("b.ppm", std::string("P6 1 1 65535\n\xff\xff\x80\x00\x00\x00", 19));
    EXPECT_EQ(p6.pixels, (std::vector<uint8_t>{255, 128, 0}));
    ImageData p5 = read_ok("c.pgm", std::string("P5\n3 1\n255\n\x00\x7f\xff", 14));
    EXPECT_EQ(p5.channels, 1);
    EXPECT_EQ(p5.pixels, (std::vector<uint8_t>{0, 127, 255}));
    ImageData p2 = read_ok("d.pgm", "P2 2 1 1 0 1\n");
    EXPECT_EQ(p2.pixels, (std::vector<uint8_t>{0, 255}));
}

TEST_F(ImageDecode, PngLayoutsBecomeRgbOrRgba) {
    struct Case {
        const char* what;
        PngLayout layout;
        int channels;
        std::vector<uint8_t> want;
    };
    PngLayout grey;
    grey.width = 2;
    grey.colour_type = PNG_COLOR_TYPE_GRAY;
    grey.rows = {10, 200};
    PngLayout grey16 = grey;
    grey16.bit_depth = 16;
    grey16.rows = {0x12, 0x34, 0xff, 0x00};
    PngLayout palette;
    palette.width = 2;
    palette.colour_type = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {{1, 2, 3}, {4, 5, 6}};
    palette.rows = {1, 0};
    PngLayout palette_trns = palette;
    palette_trns.trns = {0};  // entry 0 transparent
    PngLayout grey_alpha;
    grey_alpha.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    grey_alpha.rows = {50, 128};
    PngLayout interlaced;
    interlaced.width = 3;
    interlaced.height = 3;
    interlaced.interlaced = true;
    interlaced.rows = test_picture(3, 3, 3);

    Case cases[] = {
        {"grey", grey, 3, {10, 10, 10, 200, 200, 200}},
        {"grey16", grey16, 3, {0x12, 0x12, 0x12, 0xff, 0xff, 0xff}},
        {"palette", palette, 3, {4, 5, 6, 1, 2, 3}},
        {"palette+tRNS", palette_trns, 4, {4, 5, 6, 255, 1, 2, 3, 0}},
        {"grey+alpha", grey_alpha, 4, {50, 50, 50, 128}},
        {"interlaced", interlaced, 3, test_picture(3, 3, 3)},
    };
    for (const Case& c : cases) {
        ImageData img = read_ok(std::string(c.what) + ".png", png_file(c.layout));
        EXPECT_EQ(img.channels, c.channels) << c.what;
        EXPECT_EQ(img.pixels, c.want) << c.what;
    }
}

TEST_F(ImageDecode, PngThroughCompressedStreamAndTextChunks) {
    std::vector<uint8_t> px = test_picture(4, 3, 4);
    std::string png = png_rgb(px, 4, 3, 4, {{"Comment", "[numberbackground:1,0,0]"}, {"Title", "x"}});
    // Stored as ".gz": the first word is read from the inflated stream and
    // handed back to libpng.
    put("tex.png.gz", grtest::gzip_bytes(png));
    ImageData img;
    ASSERT_TRUE(gr::image_read("@tex.png", &img)) << gr::image_last_error();
    EXPECT_EQ(img.pixels, px);
    EXPECT_NE(img.info.find("[numberbackground:1,0,0]"), std::string::npos);
    EXPECT_NE(img.info.find("x"), std::string::npos);
}

TEST_F(ImageDecode, TruncatedAndCorruptFilesFailWithTheirMessage) {
    std::vector<uint8_t> px = test_picture(8, 8, 3);
    std::string ppm = p6_file(px, 8, 8);
    std::string k6 = k_file(px, 8, 8, 3);
    std::string png = png_rgb(px, 8, 8, 3);
    std::string bad_crc = png;
    bad_crc[40] ^= 0x55;

    struct Case {
        const char* name;
        std::string bytes;
        const char* error;  // prefix of the last image error
    };
    Case cases[] = {
        {"a.ppm", "P6\n", "Can't get PPM dimensions"},
        {"b.ppm", "P6 4", "Can't get PPM dimensions"},
        {"c.ppm", "P6 -4 4 255\n", "Can't get PPM dimensions"},
        {"d.ppm", "P6 4 4\n", "Can't parse PPM header"},
        {"e.ppm", "P6 4 4 0\n", "Can't parse PPM header"},
        {"f.ppm", "P6 100000 100000 255\n", "Can't get PPM dimensions"},
        {"g.ppm", "P6 99999999999 1 255\n", "Can't get PPM dimensions"},
        {"h.ppm", ppm.substr(0, ppm.size() - 1), "Truncated PPM data"},
        {"i.ppm", "P3 2 1 255 1 2 3 4\n", "Truncated PPM data"},
        {"j.pgm", "P5 x", "Can't get PGM dimensions"},
        {"k.pgm", "P5 2 2 x", "Can't parse PGM header"},
        {"l.pgm", "P5 2 2 255\n\x01", "Truncated PGM data"},
        {"m.k6", k6.substr(0, k6.size() - 5), "Truncated K6 data"},
        {"n.k7", "K7\n", "Can't get K7 dimensions"},
        {"o.k7", "K7 20000 20000\n", "Can't get K7 dimensions"},
        {"p.png", png.substr(0, png.size() / 2), "Truncated PNG data"},
        {"q.png", png.substr(0, 8), "Truncated PNG data"},
        {"r.png", bad_crc, ""},
        {"s.png", "hello world", ""},
        {"t.png", "", ""},
    };
    for (const Case& c : cases) {
        bool ok = true;
        ImageData img = read(c.name, c.bytes, &ok);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_TRUE(img.pixels.empty()) << c.name;
        EXPECT_STRNE(gr::image_last_error(), "") << c.name;
        EXPECT_EQ(std::string(gr::image_last_error()).rfind(c.error, 0), 0u)
            << c.name << ": " << gr::image_last_error();
    }
    ImageData img;
    EXPECT_FALSE(gr::image_read("@missing.png", &img));
    EXPECT_STREQ(gr::image_last_error(), "Can't read @missing.png");
}

}  // namespace
