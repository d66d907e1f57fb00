// Shared set-up of the benchmark programs: a flat field in the terrain
// record, and the game data of the build they belong to.
#pragma once

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "data/data.h"
#include "terrain/terrain.h"

namespace benchsupport {

// Fills gr::terrain with a flat field of 2 * 2^size_exp + 1 samples a side,
// one surface type, shading and shadows (so height changes can be shaded).
inline void flat_field(int size_exp, float spacing) {
    gr::Terrain& t = gr::terrain;
    t.size_exp = size_exp;
    t.half_size = 1 << size_exp;
    t.dim = 2 * t.half_size + 1;
    t.spacing = spacing;
    t.tile_size = 2 * spacing;
    t.field_size = float(2 * t.half_size) * spacing;
    size_t D = size_t(t.dim);
    t.heights = static_cast<float*>(gr::tracked_calloc(D * D, sizeof(float)));
    t.shading = static_cast<uint8_t*>(gr::tracked_calloc(D * D, 3));
    t.shadows = static_cast<uint8_t*>(gr::tracked_calloc(D * D, 1));
    t.tilemap = static_cast<uint8_t*>(gr::tracked_calloc(size_t(t.half_size) * size_t(t.half_size), 1));
    t.surfaces = new gr::SurfaceType[gr::SURFACE_MAX];
    t.surface_count = 1;
}

// Points GR_HOME at the build directory (the benchmarks live one level
// below it, beside nothing else) unless the environment already says.
inline void use_build_data() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = 0;
    std::string dir(exe);
    dir = dir.substr(0, dir.rfind('/'));
    setenv("GR_HOME", (dir + "/..").c_str(), 0);
}

}  // namespace benchsupport
