// PPM ("P6" binary, "P3" text) and PGM ("P5" binary, "P2" text) images,
// rescaled to 8 bits per sample.
#include <cctype>
#include <cstring>

#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

// Text samples: white space and comments between values are skipped.
static bool read_text_samples(DataFile* f, uint8_t* dst, size_t count, int maxval) {
    for (size_t i = 0; i < count; ++i) {
        int v;
        if (!header_int(f, &v)) return false;
        if (v > maxval) v = maxval;
        dst[i] = uint8_t(maxval == 255 ? v : (v * 255 + maxval / 2) / maxval);
    }
    return true;
}

// Binary samples: one byte each up to a maximum of 255, else two (big-endian).
static bool read_binary_samples(DataFile* f, uint8_t* dst, size_t count, int maxval) {
    if (maxval < 256) {
        if (file_read(f, dst, count) != count) return false;
        if (maxval != 255) {
            for (size_t i = 0; i < count; ++i) {
                int v = dst[i] > maxval ? maxval : dst[i];
                dst[i] = uint8_t((v * 255 + maxval / 2) / maxval);
            }
        }
        return true;
    }
    uint8_t buf[4096];
    size_t done = 0;
    while (done < count) {
        size_t n = count - done;
        if (n > sizeof buf / 2) n = sizeof buf / 2;
        if (file_read(f, buf, n * 2) != n * 2) return false;
        for (size_t i = 0; i < n; ++i) {
            int v = buf[2 * i] << 8 | buf[2 * i + 1];
            if (v > maxval) v = maxval;
            dst[done + i] = uint8_t((int64_t(v) * 255 + maxval / 2) / maxval);
        }
        done += n;
    }
    return true;
}

bool pnm_decode(DataFile* f, const char* word, ImageData* out) {
    bool grey = word[1] == '5' || word[1] == '2';
    bool text = word[1] == '3' || word[1] == '2';
    const char* kind = grey ? "PGM" : "PPM";
    int width, height, maxval;
    if (!header_int(f, &width) || !header_int(f, &height) || !image_dims_ok(width, height)) {
        image_set_error("Can't get %s dimensions", kind);
        return false;
    }
    if (!header_int(f, &maxval) || maxval < 1 || maxval > 65535) {
        image_set_error("Can't parse %s header", kind);
        return false;
    }
    file_getc(f);  // the single white-space byte before the samples

    out->width = width;
    out->height = height;
    out->channels = grey ? 1 : 3;
    out->levels = 1;
    size_t count = size_t(width) * height * out->channels;
    out->pixels.resize(count);
    bool ok = text ? read_text_samples(f, out->pixels.data(), count, maxval)
                   : read_binary_samples(f, out->pixels.data(), count, maxval);
    if (!ok) {
        image_set_error("Truncated %s data", kind);
        *out = ImageData();
        return false;
    }
    return true;
}

}  // namespace gr
