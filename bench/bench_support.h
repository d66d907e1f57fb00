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
    gr::terrain_allocate(&gr::terrain, size_exp, spacing);
    gr::terrain.surface_count = 1;
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
