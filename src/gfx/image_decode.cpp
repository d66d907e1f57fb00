// Format dispatch by the first word of a file, the small header readers the
// decoders share, the last-image-error text and ".info" side files.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

GfxOptions gfx_options;

static char last_error_text[1024];

const char* image_last_error() { return last_error_text; }

void image_set_error(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vsnprintf(last_error_text, sizeof last_error_text, format, ap);
    va_end(ap);
}

void image_clear_error() { last_error_text[0] = 0; }

bool image_dims_ok(int width, int height) {
    return width >= 1 && height >= 1 && width <= IMAGE_MAX_DIM && height <= IMAGE_MAX_DIM &&
           int64_t(width) * height <= IMAGE_MAX_PIXELS;
}

void read_first_word(DataFile* f, FirstWord* out) {
    *out = FirstWord();
    auto take = [&](int c) {
        if (out->consumed_count < int(sizeof out->consumed))
            out->consumed[out->consumed_count++] = uint8_t(c);
        else
            out->overflow = true;
    };
    int c = file_peekc(f);
    while (c >= 0 && isspace(c)) {
        take(file_getc(f));
        c = file_peekc(f);
    }
    int n = 0;
    while (c >= 0 && !isspace(c) && n < 15) {
        out->word[n++] = char(c);
        take(file_getc(f));
        c = file_peekc(f);
    }
    out->word[n] = 0;
}

bool header_int(DataFile* f, int* out) {
    int c;
    for (;;) {
        c = file_peekc(f);
        while (c >= 0 && isspace(c)) {
            file_getc(f);
            c = file_peekc(f);
        }
        if (c != '#') break;
        while (c >= 0 && c != '\n') c = file_getc(f);
    }
    if (c < '0' || c > '9') return false;
    int v = 0, digits = 0;
    while (c >= '0' && c <= '9') {
        if (++digits > 9) return false;  // no dimension or maximum is that large
        v = v * 10 + (c - '0');
        file_getc(f);
        c = file_peekc(f);
    }
    *out = v;
    return true;
}

std::string read_rest_of_line(DataFile* f, int max) {
    std::string s;
    int c = file_peekc(f);
    while (c >= 0 && isspace(c)) {
        file_getc(f);
        c = file_peekc(f);
    }
    while ((c = file_getc(f)) >= 0 && c != '\n') {
        if (int(s.size()) < max) s.push_back(char(c));
    }
    while (!s.empty() && isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

bool image_decode(DataFile* f, ImageData* out) {
    image_clear_error();
    *out = ImageData();
    FirstWord w;
    read_first_word(f, &w);
    if (!strcmp(w.word, "K7")) return predictive_decode(f, 4, out);
    if (!strcmp(w.word, "K6")) return predictive_decode(f, 3, out);
    if (!strcmp(w.word, "P6") || !strcmp(w.word, "P3") || !strcmp(w.word, "P5") ||
        !strcmp(w.word, "P2"))
        return pnm_decode(f, w.word, out);
    if (w.overflow) {
        image_set_error("Not a PNG file");
        return false;
    }
    return png_decode(f, w.consumed, w.consumed_count, out);
}

bool image_read(const char* name, ImageData* out) {
    DataFile* f = file_open(name, "rb");
    if (!f) {
        image_set_error("Can't read %.900s", name);
        *out = ImageData();
        return false;
    }
    bool ok = image_decode(f, out);
    file_close(f);
    return ok;
}

bool read_info_file(const char* name, std::string* info) {
    std::string path = std::string(name) + ".info";
    DataFile* f = file_open(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = file_read(f, buf, sizeof buf)) > 0) {
        info->append(buf, n);
        if (info->size() > (1u << 20)) break;  // an info file is a few lines of keywords
    }
    file_close(f);
    return true;
}

}  // namespace gr
