// Runtime graphics values derived from the detail settings the user picks.
#include <cmath>

#include "app/app.h"

namespace gr {

namespace {

double clamp(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

void derive_graphics_settings(const GraphicsOverrides& o) {
    Settings& s = settings;
    // Zero detail allows any error: a huge finite scale keeps the terrain
    // code's arithmetic free of infinities.
    double detail = s.ground_detail.value;
    s.ground_detail_scale = detail > 0 ? static_cast<float>(0.125 / detail) : 1e30f;
    s.ground_texture_level = static_cast<int>(clamp(std::trunc(10 - s.ground_texture_detail.value), 0, 10));
    s.ground_texture_size = 32 << s.ground_texture_dim.index;
    double lod = 0.02 * clamp(100 - s.model_detail.value, 0, 100);
    if (lod > 1) lod = lod * lod * lod;
    s.lod_scale = static_cast<float>(lod);
    s.lod_bias = static_cast<float>(50 - 50 * clamp((s.model_detail.value - 10) * 0.05, 0, 1));
    s.model_texture_level =
        static_cast<int>(std::lround(clamp(10 - s.model_texture_detail.value, 0, 10)));
    s.roost_frequency = static_cast<int>(std::lround(s.roost_density.value));

    if (o.model_texture_level) s.model_texture_level = *o.model_texture_level;
    if (o.ground_texture_level) s.ground_texture_level = *o.ground_texture_level;
    if (o.roost_frequency) s.roost_frequency = *o.roost_frequency;
    if (o.ground_detail_scale) s.ground_detail_scale = *o.ground_detail_scale;
    if (o.lod_scale) s.lod_scale = *o.lod_scale;
    if (o.lod_bias) s.lod_bias = *o.lod_bias;
}

}  // namespace gr
