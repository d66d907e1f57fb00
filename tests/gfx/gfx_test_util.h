// Shared helpers of the graphics tests: a private data tree per test, a
// recording stand-in for the GL uploader, and builders for image files.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "support/test_dirs.h"

namespace gfxtest {

// What the renderer would have been given.
struct Upload {
    unsigned id = 0;
    int width = 0, height = 0, channels = 0, levels = 0;
    bool repeat_s = false, repeat_t = false, compress = false;
    uint8_t border[4] = {0, 0, 0, 0};
    std::vector<uint8_t> pixels;
};

struct FakeGl {
    std::vector<Upload> created;
    std::vector<std::pair<unsigned, std::vector<uint8_t>>> replaced;  // id, base level
    std::vector<unsigned> destroyed;
    unsigned next_id = 1;
};
inline FakeGl fake_gl;

inline Upload upload_record(const gr::TextureUpload* up) {
    Upload u;
    u.width = up->width;
    u.height = up->height;
    u.channels = up->channels;
    u.levels = up->levels;
    u.repeat_s = up->repeat_s;
    u.repeat_t = up->repeat_t;
    u.compress = up->compress;
    memcpy(u.border, up->border, 4);
    u.pixels.assign(up->pixels, up->pixels + gr::mip_chain_bytes(up->width, up->height, up->channels));
    return u;
}

inline unsigned fake_create(const gr::TextureUpload* up, int64_t* bytes) {
    Upload u = upload_record(up);
    u.id = fake_gl.next_id++;
    *bytes = int64_t(u.pixels.size());
    fake_gl.created.push_back(u);
    return u.id;
}
inline void fake_replace(unsigned id, const gr::TextureUpload* up) {
    fake_gl.replaced.push_back(
        {id, std::vector<uint8_t>(up->pixels, up->pixels + size_t(up->width) * up->height * up->channels)});
}
inline void fake_destroy(unsigned id) { fake_gl.destroyed.push_back(id); }
inline const gr::TextureUploader fake_uploader = {fake_create, fake_replace, fake_destroy};

inline const Upload* upload_of(unsigned id) {
    for (const Upload& u : fake_gl.created)
        if (u.id == id) return &u;
    return nullptr;
}

// Every test starts with empty caches, default options, no GL and a fresh,
// private data tree; `data(name)` is where "@name" is found.
class GfxTest : public ::testing::Test {
protected:
    grtest::TestDirs dirs;
    void SetUp() override {
        dirs = grtest::make_test_dirs();
        reset();
        gr::messages_clear();
    }
    void TearDown() override {
        reset();
        grtest::remove_test_dirs(dirs);
    }
    static void reset() {
        gr::texture_uploader = &fake_uploader;
        gr::texture_free_stale(true);
        gr::model_free_stale(true);
        gr::texture_uploader = nullptr;
        gr::texture_cache = gr::TextureCache();
        gr::gfx_options = gr::GfxOptions();
        fake_gl = FakeGl();
    }
    void put(const std::string& name, const std::string& bytes) { grtest::write_file(dirs.program + name, bytes); }
    void use_fake_gl() { gr::texture_uploader = &fake_uploader; }

    // Shown messages that contain `text`.
    static int messages_with(const std::string& text) {
        int n = 0;
        for (int i = 0; i < gr::messages.next; ++i)
            if (strstr(gr::messages.lines[i], text.c_str())) ++n;
        return n;
    }
};

// ---------------------------------------------------------------------------
// Image file builders

// "K6"/"K7" bytes of an RGB/RGBA picture: each byte minus its prediction.
inline std::string k_file(const std::vector<uint8_t>& px, int w, int h, int ch, const std::string& header_extra = "") {
    std::string s = std::string(ch == 4 ? "K7" : "K6") + "\n" + header_extra + std::to_string(w) + " " +
                    std::to_string(h) + "\n";
    auto at = [&](int x, int y, int c) { return int(px[(size_t(y) * w + x) * ch + c]); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < ch; ++c) {
                int pred;
                if (x == 0 && y == 0) pred = 0;
                else if (x == 0) pred = at(x, y - 1, c);
                else if (y == 0) pred = at(x - 1, y, c);
                else {
                    pred = at(x - 1, y, c) + at(x, y - 1, c) - at(x - 1, y - 1, c);
                    pred = pred < 0 ? 0 : pred > 255 ? 255 : pred;
                }
                s.push_back(char(uint8_t(at(x, y, c) - pred)));
            }
    return s;
}

inline std::string p6_file(const std::vector<uint8_t>& px, int w, int h) {
    return "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + std::string(px.begin(), px.end());
}

// A picture with smooth and sharp changes, so every prediction path and the
// clamping are exercised.
inline std::vector<uint8_t> test_picture(int w, int h, int ch, unsigned seed = 1) {
    std::vector<uint8_t> px(size_t(w) * h * ch);
    for (size_t i = 0; i < px.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        px[i] = uint8_t((i % 7 == 0) ? (seed >> 16) : (i * 37 + (i / ch) % 5 * 60));
    }
    return px;
}

struct PngLayout {
    int width = 1, height = 1;
    int colour_type = PNG_COLOR_TYPE_RGB;
    int bit_depth = 8;
    std::vector<uint8_t> rows;  // packed rows as libpng expects them
    std::vector<png_color> palette;
    std::vector<uint8_t> trns;
    std::vector<std::pair<std::string, std::string>> texts;
    bool interlaced = false;
};

inline void png_mem_write(png_structp png, png_bytep data, size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}
inline void png_mem_flush(png_structp) {}

// PNG file bytes made with libpng directly.
inline std::string png_file(const PngLayout& s) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "png_file failed";
        return "";
    }
    png_set_write_fn(png, &out, png_mem_write, png_mem_flush);
    png_set_IHDR(png, info, s.width, s.height, s.bit_depth, s.colour_type,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
    if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), int(s.trns.size()), nullptr);
    std::vector<png_text> texts(s.texts.size());
    for (size_t i = 0; i < s.texts.size(); ++i) {
        texts[i] = png_text();
        texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[i].key = const_cast<char*>(s.texts[i].first.c_str());
        texts[i].text = const_cast<char*>(s.texts[i].second.c_str());
    }
    if (!texts.empty()) png_set_text(png, info, texts.data(), int(texts.size()));
    png_write_info(png, info);
    size_t rowbytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(s.height);
    for (int y = 0; y < s.height; ++y) rows[y] = const_cast<png_bytep>(s.rows.data() + rowbytes * y);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An 8-bit RGB or RGBA PNG of the given pixels.
inline std::string png_rgb(const std::vector<uint8_t>& px, int w, int h, int ch,
                           std::vector<std::pair<std::string, std::string>> texts = {}) {
    PngLayout s;
    s.width = w;
    s.height = h;
    s.colour_type = ch == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    s.rows = px;
    s.texts = std::move(texts);
    return png_file(s);
}

// A solid w x h RGB image as P6.
inline std::string solid_p6(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> px(size_t(w) * h * 3);
    for (size_t i = 0; i < px.size(); i += 3) {
        px[i] = r;
        px[i + 1] = g;
        px[i + 2] = b;
    }
    return p6_file(px, w, h);
}

}  // namespace gfxtest
