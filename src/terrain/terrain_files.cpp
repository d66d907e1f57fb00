// Loading, freeing and saving the terrain files of a track: terrain.hf (with
// its samples inline or in terrain.png), shading, shadows, surface types,
// tilemap and decals.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "gfx/image.h"
#include "terrain/terrain.h"
#include "terrain/terrain_local.h"
#include "track/track.h"

namespace gr {

namespace {

// Largest size exponent accepted: 8193 x 8193 samples. A bigger header is a
// damaged file, not a track.
enum { SIZE_EXP_MAX = 12 };

void* terrain_alloc(size_t bytes) {
    void* p = tracked_calloc(1, bytes ? bytes : 1);
    if (!p) fatal_out_of_memory();
    return p;
}

std::string track_file(const Terrain& t, const char* name) { return t.path + "/" + name; }

DataFile* open_required(const std::string& name) {
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) msg_printf("Can't open '%.950s'", name.c_str());
    return f;
}

bool read_heights(Terrain& t, DataFile* f, const char* msg) {
    const size_t D = size_t(t.dim);
    const float scale = (t.high - t.low) / 65535.0f;
    Ripemd160 digest;
    ripemd160_init(&digest);
    if (file_peekc(f) == ':') {
        file_getc(f);
        std::vector<uint8_t> row(2 * D);
        for (size_t r = 0; r < D; r++) {
            if (file_read(f, row.data(), row.size()) != row.size()) {
                msg_print("Error reading heights");
                return false;
            }
            ripemd160_update(&digest, row.data(), row.size());
            for (size_t c = 0; c < D; c++) {
                unsigned v = row[2 * c] | (unsigned(row[2 * c + 1]) << 8);
                t.heights[r * D + c] = t.low + float(v) * scale;
            }
            if ((r & 63) == 0) loading_tick(msg);
        }
    } else {
        std::string png = track_file(t, "terrain.png");
        DataFile* probe = file_open(png.c_str(), "rb");
        std::vector<uint16_t> values;
        int w = 0, h = 0;
        if (probe) {
            file_close(probe);
            if (!png_read_gray16(png.c_str(), &values, &w, &h) || w <= 0 || h <= 0) {
                msg_print("Error reading heights");
                return false;
            }
        }
        for (size_t r = 0; r < D; r++) {
            for (size_t c = 0; c < D; c++) {
                unsigned v = 0;
                if (probe) {
                    size_t pc = c < size_t(w) ? c : size_t(w) - 1;
                    size_t pr = r < size_t(h) ? r : size_t(h) - 1;
                    v = values[pr * size_t(w) + pc];
                }
                uint8_t le[2] = {uint8_t(v & 255), uint8_t(v >> 8)};
                ripemd160_update(&digest, le, 2);
                t.heights[r * D + c] = t.low + float(v) * scale;
            }
            if ((r & 63) == 0) loading_tick(msg);
        }
    }
    uint8_t d[20];
    ripemd160_final(&digest, d);
    digest_hex(d, t.digest);
    if (log_debug_level >= 2) log_printf("%s\n", t.digest);
    return true;
}

bool read_shading(Terrain& t) {
    const char* msg = "Loading shading";
    loading_begin(msg);
    bool halve = false;
    std::string name = track_file(t, "shadingx2.ppm");
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) {
        name = track_file(t, "shading.ppm");
        f = open_required(name);
        if (!f) return false;
        halve = true;
    }
    ImageData img;
    bool ok = image_decode(f, &img) && img.channels == 3;
    file_close(f);
    if (!ok) {
        msg_print("Error reading shading");
        return false;
    }
    if (img.width != t.dim || img.height != t.dim) {
        msg_printf("Bad shading dimensions (%dx%d)", img.width, img.height);
        return false;
    }
    size_t n = size_t(t.dim) * size_t(t.dim) * 3;
    for (size_t i = 0; i < n; i++) t.shading[i] = halve ? uint8_t(img.pixels[i] >> 1) : img.pixels[i];
    loading_end(msg);
    return true;
}

bool read_shadows(Terrain& t) {
    const char* msg = "Loading shadows";
    loading_begin(msg);
    std::string name = track_file(t, "shadows.pgm");
    DataFile* f = file_open(name.c_str(), "rb");
    if (f) {
        ImageData img;
        bool ok = image_decode(f, &img) && img.channels == 1;
        file_close(f);
        if (!ok) {
            msg_print("Error reading shadows");
            return false;
        }
        if (img.width != t.dim || img.height != t.dim) {
            log_printf("Bad shadow dimensions (%dx%d)\n", img.width, img.height);
            return false;
        }
        size_t n = size_t(t.dim) * size_t(t.dim);
        for (size_t i = 0; i < n; i++) t.shadows[i] = uint8_t(255 - img.pixels[i]);
    }
    loading_end(msg);
    return true;
}

bool read_surfaces(Terrain& t) {
    if (log_debug_level) log_printf("%lu bytes texture memory used before ground tiles loaded\n",
                                    (unsigned long)texture_cache.memory);
    std::string name = track_file(t, "tileinfo");
    if (DataFile* f = file_open(name.c_str(), "rb")) {
        tileinfo_read(&t, f);
        file_close(f);
    } else {
        DataFile* g = open_required(track_file(t, "texturelist"));
        if (!g) return false;
        texturelist_read(&t, g);
        file_close(g);
    }
    surface_transition_codes(&t);
    if (log_debug_level) log_printf("%lu bytes texture memory used after ground tiles loaded\n",
                                    (unsigned long)texture_cache.memory);
    return true;
}

bool read_tilemap(Terrain& t) {
    const char* msg = "Loading tilemap";
    loading_begin(msg);
    DataFile* f = open_required(track_file(t, "tilemap"));
    if (!f) return false;
    size_t want = size_t(t.half_size) * size_t(t.half_size);
    size_t got = file_read(f, t.tilemap, want);
    bool extra = got == want && file_getc(f) >= 0;
    file_close(f);
    if (got != want || extra) {
        // Every tile must have its byte; a map of another size belongs to another field.
        msg_printf("Bad tilemap size (%d tiles expected)", int(want));
        return false;
    }
    int top = t.surface_count > 0 ? t.surface_count - 1 : 0;
    for (size_t i = 0; i < want; i++)
        if (t.tilemap[i] > top) t.tilemap[i] = uint8_t(top);
    loading_end(msg);
    return true;
}

void build_normal_map(Terrain& t) {
    const char* msg = "Creating terrain normals";
    loading_begin(msg);
    size_t D = size_t(t.dim);
    t.normal_map = static_cast<uint8_t*>(terrain_alloc(D * D * 3));
    for (int r = 0; r < t.dim; r++) {
        for (int c = 0; c < t.dim; c++) {
            float n[3];
            terrain_vertex_normal(c, r, n);
            terrain_encode_normal(t, c, r, n);
        }
        if ((r & 63) == 0) loading_tick(msg);
    }
    loading_end(msg);
}

int load_steps(Terrain& t, int method) {
    const char* msg = "Loading terrain";
    loading_begin(msg);
    DataFile* f = open_required(track_file(t, "terrain.hf"));
    if (!f) return 0;

    int n = 0;
    float spacing = 0, low = 0, high = 0;
    int got = file_scanf(f, "%d %f %f %f", &n, &spacing, &low, &high);
    bool sane = got == 4 && n >= 1 && n <= SIZE_EXP_MAX && std::isfinite(spacing) && spacing > 0 &&
                std::isfinite(low) && std::isfinite(high);
    if (!sane) {
        msg_print("Bad height field parameters");
        msg_print("Error reading heights");
        file_close(f);
        return 0;
    }
    file_scanf(f, " ");

    terrain_allocate(&t, n, spacing);
    t.low = low;
    t.high = high;

    const char* hmsg = "Loading heights";
    loading_begin(hmsg);
    bool ok = read_heights(t, f, hmsg);
    file_close(f);
    if (!ok) return 0;
    loading_end(hmsg);
    loading_end(msg);

    t.method = ground_renderer && ground_renderer->choose_method ? ground_renderer->choose_method(&t, method)
                                                                   : GROUND_NONE;

    if (!read_shading(t) || !read_shadows(t) || !read_surfaces(t) || !read_tilemap(t)) return 0;
    if (t.shader_ground) build_normal_map(t);
    if (ground_renderer && ground_renderer->build && !ground_renderer->build(&t)) return 0;

    std::string decals = track_file(t, "decals");
    if (DataFile* d = file_open(decals.c_str(), "rb")) {
        const char* dmsg = "Loading decals";
        loading_begin(dmsg);
        decals_read(&t, d);
        file_close(d);
        decals_bin(&t);
        loading_end(dmsg);
    }
    return 1;
}

bool write_ppm(const std::string& name, const Terrain& t, bool doubled) {
    DataFile* f = file_replace_open(name.c_str());
    if (!f) return false;
    file_printf(f, "P6\n%d %d\n255\n", t.dim, t.dim);
    size_t n = size_t(t.dim) * size_t(t.dim) * 3;
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; i++) {
        unsigned v = doubled ? unsigned(t.shading[i]) * 2u : t.shading[i];
        out[i] = uint8_t(v > 255 ? 255 : v);
    }
    file_write(f, out.data(), n);
    return file_replace_commit(f, name.c_str());
}

}  // namespace

void terrain_allocate(Terrain* t, int size_exp, float spacing) {
    t->size_exp = size_exp;
    t->half_size = 1 << size_exp;
    t->dim = 2 * t->half_size + 1;
    t->spacing = spacing;
    t->tile_size = 2 * spacing;
    t->field_size = float(2 * t->half_size) * spacing;
    size_t D = size_t(t->dim), S = size_t(t->half_size);
    t->heights = static_cast<float*>(terrain_alloc(D * D * sizeof(float)));
    t->shading = static_cast<uint8_t*>(terrain_alloc(D * D * 3));
    t->shadows = static_cast<uint8_t*>(terrain_alloc(D * D));
    t->tilemap = static_cast<uint8_t*>(terrain_alloc(S * S));
    t->surfaces = new SurfaceType[SURFACE_MAX];
}

int terrain_load(const char* track_path, int method) {
    terrain_free();
    Terrain& t = terrain;
    t.path = track_path;
    if (load_steps(t, method)) return 1;
    terrain_free();
    return 0;
}

void terrain_free() {
    Terrain& t = terrain;
    if (ground_renderer && ground_renderer->release && t.heights) ground_renderer->release(&t);
    tracked_free(t.heights);
    tracked_free(t.shading);
    tracked_free(t.shadows);
    tracked_free(t.normal_map);
    tracked_free(t.tilemap);
    delete[] t.surfaces;
    t = Terrain{};
}

int terrain_save() {
    Terrain& t = terrain;
    if (!t.heights) return 0;
    size_t D = size_t(t.dim), S = size_t(t.half_size);
    float lo = t.heights[0], hi = t.heights[0];
    for (size_t i = 0; i < D * D; i++) {
        lo = std::fmin(lo, t.heights[i]);
        hi = std::fmax(hi, t.heights[i]);
    }
    t.low = lo;
    t.high = hi;

    std::string hf = track_file(t, "terrain.hf");
    DataFile* f = file_replace_open(hf.c_str());
    if (f) file_printf(f, "%d %f %f %f\n", t.size_exp, t.spacing, t.low, t.high);
    if (!f || !file_replace_commit(f, hf.c_str())) {
        msg_print("Can't open 'terrain.hf'");
        return 0;
    }

    std::vector<uint16_t> values(D * D, 0);
    if (hi > lo)
        for (size_t i = 0; i < D * D; i++) values[i] = uint16_t(int((t.heights[i] - lo) / (hi - lo) * 65535.0f + 0.5f));
    std::string png = track_file(t, "terrain.png");
    if (!png_write_gray16(png.c_str(), values.data(), t.dim, t.dim)) {
        msg_print("Can't open 'terrain.png'");
        return 0;
    }
    if (!write_ppm(track_file(t, "shading.ppm"), t, true)) {
        msg_print("Can't open 'shading.ppm'");
        return 0;
    }
    if (!write_ppm(track_file(t, "shadingx2.ppm"), t, false)) {
        msg_print("Can't open 'shadingx2.ppm'");
        return 0;
    }
    std::string tm = track_file(t, "tilemap");
    f = file_replace_open(tm.c_str());
    if (f) file_write(f, t.tilemap, S * S);
    if (!f || !file_replace_commit(f, tm.c_str())) {
        msg_print("Can't open 'tilemap'");
        return 0;
    }
    if (t.decal_list) {
        std::string dn = track_file(t, "decals");
        f = file_replace_open(dn.c_str());
        if (f)
            for (const Decal& d : t.decals)
                file_printf(f, "[%f %f] %f %f %f %s\n", d.x, d.z, d.angle, d.size, d.aspect, d.texture_name.c_str());
        if (!f || !file_replace_commit(f, dn.c_str())) {
            msg_print("Can't open 'decals'");
            return 0;
        }
    }
    return 1;
}

}  // namespace gr
