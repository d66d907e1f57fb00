// Number-plate images: the rasterised number recoloured to the plate's
// colours, with a mip chain whose border texels stay clear.
#include "bike/bike.h"
#include "gfx/image.h"

namespace gr {

namespace {

void clear_border(uint8_t* px, int w, int h) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (x != 0 && y != 0 && x != w - 1 && y != h - 1) continue;
            uint8_t* p = px + 4 * (size_t(y) * size_t(w) + size_t(x));
            p[0] = p[1] = p[2] = 255;
            p[3] = 0;
        }
}

}  // namespace

bool plate_image_build(ImageData* img, const uint8_t background[3], const uint8_t foreground[3]) {
    if (!img || img->channels != 4 || img->width <= 0 || img->height <= 0 ||
        img->pixels.size() < size_t(img->width) * size_t(img->height) * 4)
        return false;
    int w = img->width, h = img->height;
    uint8_t* px = img->pixels.data();
    for (size_t i = 0; i < size_t(w) * size_t(h); i++)
        for (int c = 0; c < 3; c++) {
            // White becomes the background, black the foreground.
            int v = px[4 * i + c];
            px[4 * i + c] = uint8_t((foreground[c] * (255 - v) + background[c] * v + 127) / 255);
        }
    img->levels = mip_level_count(w, h);
    img->pixels.resize(mip_chain_bytes(w, h, 4));
    px = img->pixels.data();
    clear_border(px, w, h);
    for (int l = 1; l < img->levels; l++) {
        const uint8_t* src = px + mip_level_offset(img->width, img->height, 4, l - 1);
        uint8_t* dst = px + mip_level_offset(img->width, img->height, 4, l);
        int dw = w > 1 ? w / 2 : 1, dh = h > 1 ? h / 2 : 1;
        for (int y = 0; y < dh; y++)
            for (int x = 0; x < dw; x++) {
                int x0 = w > 1 ? 2 * x : 0, x1 = w > 1 ? 2 * x + 1 : 0;
                int y0 = h > 1 ? 2 * y : 0, y1 = h > 1 ? 2 * y + 1 : 0;
                for (int c = 0; c < 4; c++) {
                    int sum = src[4 * (size_t(y0) * size_t(w) + size_t(x0)) + c] +
                              src[4 * (size_t(y0) * size_t(w) + size_t(x1)) + c] +
                              src[4 * (size_t(y1) * size_t(w) + size_t(x0)) + c] +
                              src[4 * (size_t(y1) * size_t(w) + size_t(x1)) + c];
                    dst[4 * (size_t(y) * size_t(dw) + size_t(x)) + c] = uint8_t((sum + 2) / 4);
                }
            }
        w = dw, h = dh;
        clear_border(dst, w, h);
    }
    return true;
}

}  // namespace gr
