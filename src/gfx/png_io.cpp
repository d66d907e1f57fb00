// PNG through libpng over DataFile streams: decoding to 8-bit RGB/RGBA with
// the text chunks, decoding to 16-bit grey, and the RGB and 16-bit grey
// writers. libpng reports errors by longjmp, so every function that calls
// setjmp keeps its C++ objects in the caller's frame.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

namespace {

struct PngError {
    char text[256];
};

void png_error_cb(png_structp png, png_const_charp msg) {
    PngError* e = static_cast<PngError*>(png_get_error_ptr(png));
    snprintf(e->text, sizeof e->text, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}

void png_warning_cb(png_structp, png_const_charp msg) {
    if (gfx_options.debug_level >= 2) log_printf("PNG warning: %s\n", msg);
}

// libpng allocates through xmalloc, so running out of memory is fatal like
// everywhere else instead of surfacing as a decoding error.
png_voidp png_malloc_cb(png_structp, png_alloc_size_t size) { return xmalloc(size ? size : 1); }
void png_free_cb(png_structp, png_voidp p) { free(p); }

struct PngSource {
    DataFile* f;
    const uint8_t* prefix;
    int prefix_count;
    int prefix_pos;
};

void png_read_cb(png_structp png, png_bytep data, size_t len) {
    PngSource* s = static_cast<PngSource*>(png_get_io_ptr(png));
    size_t done = 0;
    while (done < len && s->prefix_pos < s->prefix_count) data[done++] = s->prefix[s->prefix_pos++];
    if (done < len && file_read(s->f, data + done, len - done) != len - done)
        png_error(png, "Truncated PNG data");
}

enum PngMode { PNG_COLOUR, PNG_GREY16 };

// Everything the setjmp frame needs, owned by the caller.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngError error = {{0}};
    PngMode mode = PNG_COLOUR;
    int width = 0, height = 0, channels = 0, bit_depth = 0;
    std::vector<uint8_t>* pixels = nullptr;  // decoded rows as libpng delivers them
    std::vector<png_bytep>* rows = nullptr;
    std::string* text = nullptr;             // text chunks (colour mode)
};

bool png_read_core(PngRead* r) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_set_user_limits(r->png, IMAGE_MAX_DIM, IMAGE_MAX_DIM);
    png_read_info(r->png, r->info);
    png_uint_32 w = png_get_image_width(r->png, r->info);
    png_uint_32 h = png_get_image_height(r->png, r->info);
    if (!image_dims_ok(int(w), int(h))) png_error(r->png, "Image too large");
    int colour_type = png_get_color_type(r->png, r->info);

    png_set_expand(r->png);  // palette to RGB, low-bit grey to 8 bits, tRNS to alpha
    if (r->mode == PNG_COLOUR) {
        png_set_strip_16(r->png);
        if (!(colour_type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(r->png);
    } else {
        png_set_strip_alpha(r->png);
        if (colour_type & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(r->png, 1, -1, -1);
    }
    png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);

    r->width = int(w);
    r->height = int(h);
    r->channels = png_get_channels(r->png, r->info);
    r->bit_depth = png_get_bit_depth(r->png, r->info);
    bool shape_ok = r->mode == PNG_COLOUR
                        ? (r->channels == 3 || r->channels == 4) && r->bit_depth == 8
                        : r->channels == 1 && (r->bit_depth == 8 || r->bit_depth == 16);
    if (!shape_ok) png_error(r->png, "Unsupported PNG layout");

    size_t rowbytes = png_get_rowbytes(r->png, r->info);
    r->pixels->resize(rowbytes * r->height);
    r->rows->resize(r->height);
    for (int y = 0; y < r->height; ++y) (*r->rows)[y] = r->pixels->data() + rowbytes * y;
    png_read_image(r->png, r->rows->data());
    png_read_end(r->png, r->info);

    if (r->text) {
        png_textp text = nullptr;
        int count = 0;
        png_get_text(r->png, r->info, &text, &count);
        for (int i = 0; i < count; ++i) {
            if (text[i].text) r->text->append(text[i].text, text[i].text_length ? text[i].text_length
                                                                                 : strlen(text[i].text));
            r->text->push_back('\n');
        }
    }
    return true;
}

bool png_read_stream(PngSource* src, PngRead* r) {
    r->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &r->error, png_error_cb, png_warning_cb,
                                      nullptr, png_malloc_cb, png_free_cb);
    if (!r->png) fatal_out_of_memory();
    r->info = png_create_info_struct(r->png);
    if (!r->info) fatal_out_of_memory();
    png_set_read_fn(r->png, src, png_read_cb);
    bool ok = png_read_core(r);
    png_destroy_read_struct(&r->png, &r->info, nullptr);
    return ok;
}

}  // namespace

bool png_decode(DataFile* f, const uint8_t* prefix, int prefix_count, ImageData* out) {
    PngSource src = {f, prefix, prefix_count, 0};
    std::vector<png_bytep> rows;
    PngRead r;
    r.mode = PNG_COLOUR;
    r.pixels = &out->pixels;
    r.rows = &rows;
    r.text = &out->info;
    if (!png_read_stream(&src, &r)) {
        image_set_error("%s", r.error.text);
        *out = ImageData();
        return false;
    }
    out->width = r.width;
    out->height = r.height;
    out->channels = r.channels;
    out->levels = 1;
    return true;
}

bool png_read_gray16(const char* name, std::vector<uint16_t>* values, int* width, int* height) {
    values->clear();
    *width = *height = 0;
    DataFile* f = file_open(name, "rb");
    if (!f) {
        image_set_error("Can't read %.900s", name);
        return false;
    }
    PngSource src = {f, nullptr, 0, 0};
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    PngRead r;
    r.mode = PNG_GREY16;
    r.pixels = &pixels;
    r.rows = &rows;
    bool ok = png_read_stream(&src, &r);
    file_close(f);
    if (!ok) {
        image_set_error("%s", r.error.text);
        return false;
    }
    size_t n = size_t(r.width) * r.height;
    values->resize(n);
    if (r.bit_depth == 16) {
        for (size_t i = 0; i < n; ++i) (*values)[i] = uint16_t(pixels[2 * i] << 8 | pixels[2 * i + 1]);
    } else {
        for (size_t i = 0; i < n; ++i) (*values)[i] = uint16_t(pixels[i] * 257);
    }
    *width = r.width;
    *height = r.height;
    return true;
}

// ---------------------------------------------------------------------------
// Writing

namespace {

void png_write_cb(png_structp png, png_bytep data, size_t len) {
    DataFile* f = static_cast<DataFile*>(png_get_io_ptr(png));
    if (file_write(f, data, len) != len) png_error(png, "Write error");
}

void png_flush_cb(png_structp png) { file_flush(static_cast<DataFile*>(png_get_io_ptr(png))); }

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngError error = {{0}};
    int width = 0, height = 0;
    bool grey16 = false;
    const uint8_t* rgb = nullptr;       // RGB rows
    const uint16_t* values = nullptr;   // grey rows
    std::vector<uint8_t>* row = nullptr;  // one big-endian grey row
};

bool png_write_core(PngWrite* w) {
    if (setjmp(png_jmpbuf(w->png))) return false;
    png_set_IHDR(w->png, w->info, w->width, w->height, w->grey16 ? 16 : 8,
                 w->grey16 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w->png, w->info);
    for (int y = 0; y < w->height; ++y) {
        if (w->grey16) {
            const uint16_t* src = w->values + size_t(y) * w->width;
            uint8_t* dst = w->row->data();
            for (int x = 0; x < w->width; ++x) {
                dst[2 * x] = uint8_t(src[x] >> 8);
                dst[2 * x + 1] = uint8_t(src[x]);
            }
            png_write_row(w->png, dst);
        } else {
            png_write_row(w->png, const_cast<png_bytep>(w->rgb + size_t(y) * w->width * 3));
        }
    }
    png_write_end(w->png, w->info);
    return true;
}

bool png_write_file(const char* path, PngWrite* w) {
    if (!path || w->width < 1 || w->height < 1 || w->width > 1000000 || w->height > 1000000 ||
        (!w->rgb && !w->values)) {
        image_set_error("Bad PNG image to write");
        return false;
    }
    DataFile* f = file_replace_open(path);
    if (!f) {
        image_set_error("Can't open '%.950s'", path);
        return false;
    }
    w->png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &w->error, png_error_cb, png_warning_cb,
                                       nullptr, png_malloc_cb, png_free_cb);
    if (!w->png) fatal_out_of_memory();
    w->info = png_create_info_struct(w->png);
    if (!w->info) fatal_out_of_memory();
    png_set_write_fn(w->png, f, png_write_cb, png_flush_cb);
    bool ok = png_write_core(w);
    png_destroy_write_struct(&w->png, &w->info);
    if (!ok) {
        file_replace_abort(f, path);
        image_set_error("%s", w->error.text);
        return false;
    }
    if (!file_replace_commit(f, path)) {
        image_set_error("Can't write '%.950s'", path);
        return false;
    }
    return true;
}

}  // namespace

bool png_write_rgb(const char* path, const uint8_t* pixels, int width, int height) {
    PngWrite w;
    w.width = width;
    w.height = height;
    w.rgb = pixels;
    return png_write_file(path, &w);
}

bool png_write_gray16(const char* path, const uint16_t* values, int width, int height) {
    std::vector<uint8_t> row(width > 0 ? size_t(width) * 2 : 0);
    PngWrite w;
    w.width = width;
    w.height = height;
    w.grey16 = true;
    w.values = values;
    w.row = &row;
    return png_write_file(path, &w);
}

}  // namespace gr
