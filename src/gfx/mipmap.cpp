// Mipmap chains (generated with alpha weighting, or taken from a custom
// layout), power-of-two resampling, detail reduction, channel conversion and
// the border colour of clamped textures.
#include <cstring>

#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

int mip_level_count(int width, int height) {
    int n = 1;
    while (width > 1 || height > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        ++n;
    }
    return n;
}

size_t mip_level_offset(int width, int height, int channels, int level) {
    size_t off = 0;
    for (int i = 0; i < level; ++i) {
        off += size_t(width) * height * channels;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    return off;
}

size_t mip_chain_bytes(int width, int height, int channels) {
    return mip_level_offset(width, height, channels, mip_level_count(width, height));
}

int pow2_floor(int v) {
    int p = 1;
    while (p * 2 > 0 && p * 2 <= v) p *= 2;
    return p;
}

void mip_downsample(const uint8_t* src, int sw, int sh, int channels, bool max_alpha, uint8_t* dst) {
    int dw = sw > 1 ? sw / 2 : 1, dh = sh > 1 ? sh / 2 : 1;
    // A one-pixel-wide (or high) source averages pairs: both taps of that
    // axis land on the same pixel, which weighs each of the pair equally.
    int dx = sw > 1 ? channels : 0;
    size_t dy = sh > 1 ? size_t(sw) * channels : 0;
    for (int y = 0; y < dh; ++y) {
        const uint8_t* row = src + size_t(sh > 1 ? 2 * y : 0) * sw * channels;
        uint8_t* out = dst + size_t(y) * dw * channels;
        for (int x = 0; x < dw; ++x, out += channels) {
            const uint8_t* p0 = row + size_t(sw > 1 ? 2 * x : 0) * channels;
            const uint8_t* p1 = p0 + dx;
            const uint8_t* p2 = p0 + dy;
            const uint8_t* p3 = p2 + dx;
            if (channels != 4) {
                for (int c = 0; c < channels; ++c) out[c] = uint8_t((p0[c] + p1[c] + p2[c] + p3[c] + 2) >> 2);
                continue;
            }
            int a0 = p0[3], a1 = p1[3], a2 = p2[3], a3 = p3[3];
            int sa = a0 + a1 + a2 + a3;
            if (sa == 0 || sa == 4 * 255) {
                for (int c = 0; c < 3; ++c) out[c] = uint8_t((p0[c] + p1[c] + p2[c] + p3[c] + 2) >> 2);
            } else {
                for (int c = 0; c < 3; ++c)
                    out[c] = uint8_t((p0[c] * a0 + p1[c] * a1 + p2[c] * a2 + p3[c] * a3 + sa / 2) / sa);
            }
            if (max_alpha) {
                int m = a0 > a1 ? a0 : a1;
                if (a2 > m) m = a2;
                if (a3 > m) m = a3;
                out[3] = uint8_t(m);
            } else {
                out[3] = uint8_t((sa + 2) >> 2);
            }
        }
    }
}

void image_build_mips(ImageData* img, bool max_alpha) {
    int w = img->width, h = img->height, ch = img->channels;
    img->levels = mip_level_count(w, h);
    img->pixels.resize(mip_chain_bytes(w, h, ch));
    uint8_t* src = img->pixels.data();
    for (int l = 1; l < img->levels; ++l) {
        uint8_t* dst = src + size_t(w) * h * ch;
        mip_downsample(src, w, h, ch, max_alpha, dst);
        src = dst;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
}

bool mip_take_custom(ImageData* img) {
    int W = img->width, total = img->height, ch = img->channels;
    if ((total * 2) % 3 != 0) return false;
    int H = total * 2 / 3;
    if (H < 1) return false;
    int levels = mip_level_count(W, H);
    // Check the layout first: level k >= 1 sits in the strip below level 0,
    // to the right of level k - 1.
    int x = 0, lw = W, lh = H;
    for (int l = 1; l < levels; ++l) {
        lw = lw > 1 ? lw / 2 : 1;
        lh = lh > 1 ? lh / 2 : 1;
        if (x + lw > W || H + lh > total) return false;
        x += lw;
    }
    std::vector<uint8_t> chain(mip_chain_bytes(W, H, ch));
    const uint8_t* src = img->pixels.data();
    size_t src_row = size_t(W) * ch;
    memcpy(chain.data(), src, size_t(W) * H * ch);
    uint8_t* dst = chain.data() + size_t(W) * H * ch;
    x = 0;
    lw = W;
    lh = H;
    for (int l = 1; l < levels; ++l) {
        lw = lw > 1 ? lw / 2 : 1;
        lh = lh > 1 ? lh / 2 : 1;
        for (int y = 0; y < lh; ++y) {
            memcpy(dst, src + (size_t(H) + y) * src_row + size_t(x) * ch, size_t(lw) * ch);
            dst += size_t(lw) * ch;
        }
        x += lw;
    }
    img->height = H;
    img->levels = levels;
    img->pixels.swap(chain);
    return true;
}

void image_resample(ImageData* img, int width, int height) {
    int ch = img->channels;
    std::vector<uint8_t> out(size_t(width) * height * ch);
    for (int y = 0; y < height; ++y) {
        int sy = int(int64_t(y) * img->height / height);
        const uint8_t* row = img->pixels.data() + size_t(sy) * img->width * ch;
        uint8_t* dst = out.data() + size_t(y) * width * ch;
        for (int x = 0; x < width; ++x) {
            int sx = int(int64_t(x) * img->width / width);
            memcpy(dst + size_t(x) * ch, row + size_t(sx) * ch, ch);
        }
    }
    img->width = width;
    img->height = height;
    img->levels = 1;
    img->pixels.swap(out);
}

void mip_drop_levels(ImageData* img, int skip) {
    if (skip <= 0) return;
    if (skip >= img->levels) skip = img->levels - 1;
    size_t off = mip_level_offset(img->width, img->height, img->channels, skip);
    img->pixels.erase(img->pixels.begin(), img->pixels.begin() + off);
    for (int i = 0; i < skip; ++i) {
        img->width = img->width > 1 ? img->width / 2 : 1;
        img->height = img->height > 1 ? img->height / 2 : 1;
    }
    img->levels -= skip;
}

void image_to_channels(ImageData* img, int channels) {
    int from = img->channels;
    if (from == channels) return;
    size_t n = size_t(img->width) * img->height;
    std::vector<uint8_t> out(n * channels);
    const uint8_t* s = img->pixels.data();
    for (size_t i = 0; i < n; ++i) {
        uint8_t* d = out.data() + i * channels;
        if (from == 1) {
            d[0] = d[1] = d[2] = s[i];
            if (channels == 4) d[3] = 255;
        } else {
            const uint8_t* p = s + i * from;
            d[0] = p[0];
            d[1] = p[1];
            d[2] = p[2];
            if (channels == 4) d[3] = from == 4 ? p[3] : 255;
        }
    }
    img->channels = channels;
    img->levels = 1;
    img->pixels.swap(out);
}

void border_colour(const ImageData* img, uint8_t out[4]) {
    struct Bin {
        int count;
        int sum[3];
    };
    static thread_local Bin bins[512];
    memset(bins, 0, sizeof bins);
    int w = img->width, h = img->height, ch = img->channels;
    auto add = [&](int x, int y) {
        const uint8_t* p = img->pixels.data() + (size_t(y) * w + x) * ch;
        Bin& b = bins[(p[0] >> 5) << 6 | (p[1] >> 5) << 3 | (p[2] >> 5)];
        ++b.count;
        for (int c = 0; c < 3; ++c) b.sum[c] += p[c];
    };
    for (int x = 0; x < w; ++x) {
        add(x, 0);
        if (h > 1) add(x, h - 1);
    }
    for (int y = 1; y < h - 1; ++y) {
        add(0, y);
        if (w > 1) add(w - 1, y);
    }
    int best = 0;
    for (int i = 1; i < 512; ++i)
        if (bins[i].count > bins[best].count) best = i;
    for (int c = 0; c < 3; ++c)
        out[c] = bins[best].count ? uint8_t((bins[best].sum[c] + bins[best].count / 2) / bins[best].count) : 0;
    out[3] = 255;
}

int detail_skip_levels(int width, int height, int level) {
    int skip = 0;
    while (skip < level && width > 128 && height > 128) {
        width /= 2;
        height /= 2;
        ++skip;
    }
    return skip;
}

void texture_prepare(ImageData* img, const char* name, bool reduce) {
    bool max_alpha = img->info.find("[mip_max_alpha]") != std::string::npos;
    bool have_mips = false;
    if (img->info.find("[mip_custom]") != std::string::npos) {
        have_mips = mip_take_custom(img);
        if (!have_mips && name) msg_printf("Warning: Invalid height for custom MIP map in '%.950s'", name);
    }
    if (!is_pow2(img->width) || !is_pow2(img->height)) {
        if (name) msg_printf("Warning: Non power of 2 texture '%.950s'", name);
        if (have_mips) img->levels = 1;  // the custom chain does not survive resampling
        image_resample(img, pow2_floor(img->width), pow2_floor(img->height));
        have_mips = false;
    }
    if (!have_mips) image_build_mips(img, max_alpha);
    if (reduce) mip_drop_levels(img, detail_skip_levels(img->width, img->height, gfx_options.model_texture_level));
}

}  // namespace gr
