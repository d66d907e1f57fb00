// The height field's queries, vertex normals and re-shading.
#include <algorithm>
#include <cmath>

#include "terrain/terrain.h"
#include "terrain/terrain_local.h"
#include "track/track.h"

namespace gr {

Terrain terrain;
const GroundRenderer* ground_renderer = nullptr;

namespace {

inline int clampi(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

inline float sample(const Terrain& t, int c, int r) {
    c = clampi(c, 0, t.dim - 1);
    r = clampi(r, 0, t.dim - 1);
    return t.heights[size_t(r) * size_t(t.dim) + size_t(c)];
}

// Grid coordinates of a world position, limited so that far-away or
// non-finite points still map onto the border samples.
inline float grid_coord(const Terrain& t, float w) {
    float g = w / t.spacing;
    return std::fmin(std::fmax(g, -2.0f), float(t.dim + 1));
}

// The triangle under (u, v): anchor column/row and the other column/row, with
// the barycentric weights along them.
struct TrianglePick {
    int a, b, ra, rb;
    float fu, fv;
};

// u and v are already limited to the grid's neighbourhood, so truncation
// with a step down for negatives is floor (and much cheaper than floorf).
inline int floor_int(float f) {
    int i = int(f);
    return f < float(i) ? i - 1 : i;
}

inline TrianglePick pick_triangle(float u, float v) {
    int i = floor_int(u), j = floor_int(v);
    TrianglePick p;
    p.fu = u - float(i);
    p.fv = v - float(j);
    if ((i ^ j) & 1) {
        p.a = i;
        p.b = i + 1;
    } else {
        p.fu = 1 - p.fu;
        p.a = i + 1;
        p.b = i;
    }
    p.ra = j;
    p.rb = j + 1;
    if (p.fu + p.fv > 1) {
        p.fu = 1 - p.fu;
        p.fv = 1 - p.fv;
        std::swap(p.a, p.b);
        std::swap(p.ra, p.rb);
    }
    return p;
}

inline void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

float terrain_height_at(float x, float z) {
    const Terrain& t = terrain;
    if (!t.heights) return 0;
    TrianglePick p = pick_triangle(grid_coord(t, x), grid_coord(t, z));
    float h0 = sample(t, p.a, p.ra), h1 = sample(t, p.b, p.ra), h2 = sample(t, p.a, p.rb);
    return h0 + p.fu * (h1 - h0) + p.fv * (h2 - h0);
}

void terrain_normal_at(float x, float z, float out[3]) {
    const Terrain& t = terrain;
    if (!t.heights) {
        out[0] = 0, out[1] = 1, out[2] = 0;
        return;
    }
    TrianglePick p = pick_triangle(grid_coord(t, x), grid_coord(t, z));
    float h0 = sample(t, p.a, p.ra), h1 = sample(t, p.b, p.ra), h2 = sample(t, p.a, p.rb);
    float e1[3] = {float(p.b - p.a) * t.spacing, h1 - h0, 0};
    float e2[3] = {0, h2 - h0, float(p.rb - p.ra) * t.spacing};
    cross(e1, e2, out);
    if (out[1] < 0) {
        out[0] = -out[0];
        out[1] = -out[1];
        out[2] = -out[2];
    }
}

void terrain_vertex_normal(int c, int r, float out[3]) {
    const Terrain& t = terrain;
    out[0] = 0, out[1] = 1, out[2] = 0;
    if (!t.heights) return;
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    float h = sample(t, c, r);
    float rel[8][3];
    for (int k = 0; k < 8; k++) {
        rel[k][0] = float(ring[k][0]) * t.spacing;
        rel[k][1] = sample(t, c + ring[k][0], r + ring[k][1]) - h;
        rel[k][2] = float(ring[k][1]) * t.spacing;
    }
    float sum[3] = {0, 0, 0};
    for (int k = 0; k < 8; k++) {
        float n[3];
        cross(rel[(k + 1) % 8], rel[k], n);
        float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len <= 0) continue;
        for (int i = 0; i < 3; i++) sum[i] += n[i] / len;
    }
    float len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (len <= 0) return;
    for (int i = 0; i < 3; i++) out[i] = sum[i] / len;
}

int terrain_tile_at(float x, float z) {
    const Terrain& t = terrain;
    if (!t.tilemap) return 0;
    float top = float(t.half_size - 1);
    float f = std::fmin(std::fmax(x / t.tile_size, 0.0f), top);
    float g = std::fmin(std::fmax(z / t.tile_size, 0.0f), top);
    return t.tilemap[size_t(int(g)) * size_t(t.half_size) + size_t(int(f))];
}

const SurfaceType& terrain_surface_at(float x, float z) {
    static const SurfaceType default_surface;
    const Terrain& t = terrain;
    if (!t.surfaces || t.surface_count <= 0) return default_surface;
    int s = terrain_tile_at(x, z);
    return t.surfaces[s < t.surface_count ? s : t.surface_count - 1];
}

void terrain_encode_normal(Terrain& t, int c, int r, const float n[3]) {
    size_t i = (size_t(r) * size_t(t.dim) + size_t(c));
    uint8_t* m = t.normal_map + 3 * i;
    auto enc = [](float v) { return uint8_t(clampi(int(v * 127.0f), -127, 127) + 128); };
    m[0] = enc(n[0]);
    m[1] = uint8_t(255 - t.shadows[i]);
    m[2] = enc(n[2]);
}

void terrain_mark_changed(int c0, int r0, int c1, int r1) {
    Terrain& t = terrain;
    if (!t.heights || !t.shading || !t.shadows) return;
    c0 = clampi(c0, 0, t.dim - 1);
    c1 = clampi(c1, 0, t.dim - 1);
    r0 = clampi(r0, 0, t.dim - 1);
    r1 = clampi(r1, 0, t.dim - 1);
    const Lighting& L = lighting;
    for (int r = r0; r <= r1; r++) {
        for (int c = c0; c <= c1; c++) {
            float n[3];
            terrain_vertex_normal(c, r, n);
            size_t i = size_t(r) * size_t(t.dim) + size_t(c);
            float d = L.sun_vector[0] * n[0] + L.sun_vector[1] * n[1] + L.sun_vector[2] * n[2];
            d = std::fmin(std::fmax(d, 0.0f), 1.0f) * (1.0f - float(t.shadows[i]) / 255.0f);
            for (int k = 0; k < 3; k++)
                t.shading[3 * i + size_t(k)] =
                    uint8_t(clampi(int(255.0f * (L.sun_color[k] * d + L.ambient[k]) / 2.0f), 0, 255));
            if (t.normal_map) terrain_encode_normal(t, c, r, n);
        }
    }
    if (ground_renderer && ground_renderer->region_changed) ground_renderer->region_changed(&t, c0, r0, c1, r1);
}

}  // namespace gr
