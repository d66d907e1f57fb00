// The surface kinds the tracks are made of: ground texture, grip curves,
// roost and erosion, and the colour used for maps and previews.
#pragma once

#include <string>
#include <vector>

namespace mkdata {

enum SurfaceKind { HARDPACK, LOAM, LOOSE_DIRT, MUD, SAND, GRASS, RED_CLAY, DRY_GRASS, ROCK, SURFACE_KINDS };

// The tileinfo text of one surface kind (ending with "addtile").
std::string surface_tileinfo(SurfaceKind k);
// Map and preview colour (0..1).
void surface_colour(SurfaceKind k, double rgb[3]);

}  // namespace mkdata
