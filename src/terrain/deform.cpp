// Height changes: a smooth bump or dip of a given radius, used by the wheels'
// erosion and the track editor.
#include <algorithm>
#include <cmath>

#include "terrain/terrain.h"

namespace gr {

void terrain_deform(Terrain* t, float x, float z, float r, float amount) {
    if (amount == 0 || !t->heights || !(t->spacing > 0)) return;
    const float u = x / t->spacing, v = z / t->spacing, R = r / t->spacing;
    if (!std::isfinite(u) || !std::isfinite(v) || !std::isfinite(R)) return;
    const int64_t D = t->dim;
    // Positions far off the field touch nothing; keep the arithmetic in range.
    const double lim = double(4 * D + 8);
    const int64_t n = R > 0 ? 2 * int64_t(std::ceil(std::fmin(double(R), lim))) : 0;
    const int64_t c = int64_t(std::floor(std::fmax(std::fmin(double(u), lim), -lim)));
    const int64_t w = int64_t(std::floor(std::fmax(std::fmin(double(v), lim), -lim)));
    const int64_t half = n / 2;

    // Only vertices inside the grid are written, so only those are visited.
    const int64_t j0 = std::max<int64_t>(w - half + 1, 0), j1 = std::min<int64_t>(w + half, D - 1);
    const int64_t i0 = std::max<int64_t>(c - half + 1, 0), i1 = std::min<int64_t>(c + half, D - 1);
    if (!t->deformation_disabled) {
        for (int64_t j = j0; j <= j1; j++) {
            for (int64_t i = i0; i <= i1; i++) {
                float du = u - float(i), dv = v - float(j);
                float d = std::sqrt(du * du + dv * dv);
                if (d > R) continue;
                float q = d / R;
                float weight = 1 - 3 * q * q + 2 * q * q * q;
                float& h = t->heights[size_t(j * D + i)];
                h += amount * weight;
                t->modified = 3;
                t->high = std::fmax(t->high, h);
                t->low = std::fmin(t->low, h);
            }
        }
    }
    auto clamp_index = [&](int64_t k) { return int(std::min<int64_t>(std::max<int64_t>(k, -1), D)); };
    if (t == &terrain)
        terrain_mark_changed(clamp_index(c - half), clamp_index(w - half), clamp_index(c + half + 1),
                             clamp_index(w + half + 1));
    t->change_counter++;
}

}  // namespace gr
