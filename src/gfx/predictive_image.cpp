// The program's own lossless image format: "K6" (RGB) and "K7" (RGBA). Each
// byte is the difference to a prediction from the left, upper and upper-left
// neighbours of the same channel, modulo 256.
#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

static inline uint8_t clamp_byte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

bool predictive_decode(DataFile* f, int channels, ImageData* out) {
    const char* kind = channels == 4 ? "K7" : "K6";
    int width, height;
    if (!header_int(f, &width) || !header_int(f, &height) || !image_dims_ok(width, height)) {
        image_set_error("Can't get %s dimensions", kind);
        return false;
    }
    file_getc(f);  // the single white-space byte before the data

    size_t row = size_t(width) * channels;
    out->width = width;
    out->height = height;
    out->channels = channels;
    out->levels = 1;
    out->pixels.resize(row * height);
    uint8_t* p = out->pixels.data();
    if (file_read(f, p, row * height) != row * height) {
        image_set_error("Truncated %s data", kind);
        *out = ImageData();
        return false;
    }

    // Decoded in place: every prediction uses bytes already decoded.
    for (size_t i = channels; i < row; ++i) p[i] = uint8_t(p[i] + p[i - channels]);
    for (int y = 1; y < height; ++y) {
        uint8_t* cur = p + row * y;
        const uint8_t* up = cur - row;
        for (int c = 0; c < channels; ++c) cur[c] = uint8_t(cur[c] + up[c]);
        for (size_t i = channels; i < row; ++i) {
            int pred = cur[i - channels] + up[i] - up[i - channels];
            cur[i] = uint8_t(cur[i] + clamp_byte(pred));
        }
    }
    return true;
}

}  // namespace gr
