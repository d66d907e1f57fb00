// Internals shared by the terrain files.
#pragma once

#include <string>
#include <vector>

#include "terrain/terrain.h"

namespace gr {

// Writes the normal-map entry of vertex (c, r) from its unit normal and shadow.
void terrain_encode_normal(Terrain& t, int c, int r, const float n[3]);

// Resets a surface type to its defaults (no texture, default curves, free
// roost slots, default erosion).
void surface_reset(SurfaceType* s);

// Splits a roost argument into words: separators are blanks, form feeds,
// newlines, returns, tabs and backspaces; double-quoted parts keep them.
std::vector<std::string> roost_words(const char* text);

}  // namespace gr
