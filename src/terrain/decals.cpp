// Decals: pictures laid on the ground, read from the "decals" file and
// binned on an 8 x 8 grid over the field.
#include <algorithm>
#include <cmath>
#include <string>

#include "data/data.h"
#include "gfx/image.h"
#include "terrain/terrain.h"

namespace gr {

namespace {

// The name with its extension replaced by `suffix`.
std::string companion(const std::string& name, const char* suffix) {
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of('/');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(0, dot) : name;
    return stem + suffix;
}

uint32_t first_texture(const std::string& name, const char* a, const char* b) {
    uint32_t id = texture_load(companion(name, a).c_str());
    return id ? id : texture_load(companion(name, b).c_str());
}

bool file_exists(const char* name) {
    DataFile* f = file_open(name, "rb");
    if (!f) return false;
    file_close(f);
    return true;
}

}  // namespace

void decals_read(Terrain* t, DataFile* f) {
    t->decal_list = true;
    t->decals.reserve(16);
    for (;;) {
        Decal d;
        char name[1024];
        if (file_scanf(f, "[ %f %f ] %f %f %f %1023s", &d.x, &d.z, &d.angle, &d.size, &d.aspect, name) != 6) break;
        d.texture_name = name;
        d.sin_angle = std::sin(d.angle);
        d.cos_angle = std::cos(d.angle);
        if (t->method == GROUND_TEXSUBIMAGE) {
            if (Image* img = image_load(name)) {
                d.pixels = img->data.pixels.data();
                d.width = img->data.width;
                d.height = img->data.height;
            }
        } else {
            d.texture = texture_load(name);
        }
        if (t->shader_ground) {
            d.normal_texture = first_texture(d.texture_name, "_tnorm.png", "_tnorm.ppm");
            d.specular_texture = first_texture(d.texture_name, "_tspec.png", "_tspec.ppm");
        }
        // Without a renderer nothing is uploaded; keep the decals whose picture
        // exists so that the track keeps them when it is saved again.
        bool present = d.texture || d.pixels || (t->method == GROUND_NONE && file_exists(name));
        if (present) t->decals.push_back(d);
        file_scanf(f, " ");
    }
}

void decals_bin(Terrain* t) {
    for (auto& row : t->decal_bins)
        for (auto& bin : row) bin.clear();
    if (t->field_size <= 0) return;
    auto bin_of = [&](float w) {
        float b = std::floor(w / t->field_size * float(DECAL_BINS));
        return int(std::fmin(std::fmax(b, 0.0f), float(DECAL_BINS - 1)));
    };
    for (size_t i = 0; i < t->decals.size(); i++) {
        const Decal& d = t->decals[i];
        float ex = std::fabs(d.sin_angle * d.size / 2) + std::fabs(d.cos_angle * d.aspect * d.size / 2);
        float ez = std::fabs(d.cos_angle * d.size / 2) + std::fabs(d.sin_angle * d.aspect * d.size / 2);
        for (int bz = bin_of(d.z - ez); bz <= bin_of(d.z + ez); bz++)
            for (int bx = bin_of(d.x - ex); bx <= bin_of(d.x + ex); bx++) {
                auto& bin = t->decal_bins[bz][bx];
                if (bin.empty()) bin.reserve(16);
                bin.push_back(int(i));
            }
    }
}

}  // namespace gr
