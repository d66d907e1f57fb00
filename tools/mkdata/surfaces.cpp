// Surface kinds: how each ground grips, resists rolling, throws roost and
// wears. Friction is the tyre's coefficient at a slip speed (feet per
// second); rolling resistance is the drag with the tyre uncompressed and
// fully compressed at a ground speed.
#include "mkdata/surfaces.h"
#include "mkdata/mkdata.h"

namespace mkdata {

namespace {

struct SurfaceDef {
    const char* texture;
    double friction[3][2];   // (coefficient, slip speed); speed 0 ends
    double roll[2][3];       // (uncompressed, compressed, ground speed); speed 0 ends
    const char* roost[2];    // roost settings, null for none
    double erosion[8];       // depth lower upper displacement radius max_slope off_speed on_speed
    double colour[3];
};

const SurfaceDef defs[SURFACE_KINDS] = {
    // HARDPACK: grips well until it breaks loose, rolls easily, throws a
    // little fine dust and barely wears.
    {"@ground/hardpack.png",
     {{1.1, 1}, {0.95, 12}, {0.8, 35}},
     {{3, 9, 1}, {4, 11, 60}},
     {"count=6 dig=0.6 size=0.2 r=170 g=130 b=95 a=200 fade_a=-160", nullptr},
     {0.4, 80, 220, 1.5, 3, 0.25, 12, 18},
     {0.62, 0.47, 0.33}},
    // LOAM: the prepared track surface; best grip, digs nicely.
    {"@ground/loam.png",
     {{1.2, 1}, {1.0, 15}, {0.85, 40}},
     {{5, 15, 1}, {6, 17, 60}},
     {"count=12 dig=1.2 size=0.25 r=95 g=70 b=48 fade_a=-200", nullptr},
     {1.0, 50, 150, 2, 4, 0.25, 10, 15},
     {0.38, 0.28, 0.19}},
    // LOOSE_DIRT: edges and berm faces; slides sooner, throws a lot.
    {"@ground/loosedirt.png",
     {{1.0, 1}, {0.78, 18}, {0.66, 40}},
     {{7, 20, 1}, {8, 22, 60}},
     {"count=16 dig=1.5 size=0.3 r=160 g=122 b=86 fade_a=-220", nullptr},
     {1.5, 40, 130, 2.5, 3.5, 0.3, 8, 13},
     {0.58, 0.45, 0.32}},
    // MUD: little grip, heavy drag, sticky clods and a brown spray.
    {"@ground/mud.png",
     {{0.75, 1}, {0.55, 12}, {0.45, 30}},
     {{12, 30, 1}, {14, 34, 50}},
     {"count=14 dig=1.8 size=0.35 drag=0.8 vscale=0.7 r=60 g=45 b=30 fade_a=-120",
      "splash=1 count=8 size=0.2 grow=6 r=110 g=90 b=70 a=160 fade_a=-300"},
     {2.0, 35, 110, 3, 3, 0.35, 6, 10},
     {0.26, 0.2, 0.14}},
    // SAND: bogs the bike down, the front washes, deep ruts form fast.
    {"@ground/sand.png",
     {{0.88, 1}, {0.72, 15}, {0.62, 35}},
     {{13, 35, 1}, {15, 40, 60}},
     {"count=20 dig=2 size=0.3 grow=5 r=215 g=196 b=150 fade_a=-250", nullptr},
     {2.2, 30, 100, 3, 3, 0.4, 6, 11},
     {0.8, 0.72, 0.55}},
    // GRASS: slippery when the tyre spins, throws turf and soil.
    {"@ground/grass.png",
     {{0.9, 1}, {0.6, 12}, {0.5, 30}},
     {{6, 16, 1}, {7, 18, 60}},
     {"count=5 dig=0.5 size=0.3 r=70 g=110 b=40 fade_a=-200", "count=4 dig=0.8 size=0.2 r=90 g=70 b=50 fade_a=-200"},
     {0.3, 90, 250, 1.5, 3, 0.2, 12, 20},
     {0.28, 0.45, 0.17}},
    // RED_CLAY: the desert's dry clay; grippy and hard-wearing.
    {"@ground/redclay.png",
     {{1.15, 1}, {0.95, 15}, {0.8, 40}},
     {{4, 12, 1}, {5, 14, 60}},
     {"count=10 dig=1 size=0.25 r=175 g=92 b=55 fade_a=-180", nullptr},
     {0.8, 55, 170, 2, 3.5, 0.25, 10, 15},
     {0.74, 0.41, 0.25}},
    // DRY_GRASS: dusty scrub between the courses.
    {"@ground/drygrass.png",
     {{0.85, 1}, {0.62, 14}, {0.52, 30}},
     {{7, 18, 1}, {8, 20, 60}},
     {"count=6 dig=0.6 size=0.3 r=150 g=140 b=95 fade_a=-220", nullptr},
     {0.4, 80, 220, 1.5, 3, 0.2, 12, 18},
     {0.62, 0.57, 0.38}},
    // ROCK: slick and unyielding.
    {"@ground/rock.png",
     {{0.7, 1}, {0.55, 10}, {0, 0}},
     {{3, 8, 1}, {0, 0, 0}},
     {"count=2 dig=0.2 size=0.15 r=150 g=145 b=140 fade_a=-300", nullptr},
     {0.05, 200, 400, 0.5, 2, 0.1, 20, 30},
     {0.6, 0.57, 0.53}},
};

}  // namespace

std::string surface_tileinfo(SurfaceKind k) {
    const SurfaceDef& d = defs[k];
    std::string t = fmt("texture %s\n", d.texture);
    for (auto& f : d.friction)
        if (f[1] > 0) t += fmt("friction %g %g\n", f[0], f[1]);
    for (auto& r : d.roll)
        if (r[2] > 0) t += fmt("roll_resist %g %g %g\n", r[0], r[1], r[2]);
    for (const char* r : d.roost)
        if (r) t += fmt("roost texture=@roost.png %s\n", r);
    static const char* names[8] = {"depth", "lower", "upper", "displacement", "radius", "max_slope", "off_speed", "on_speed"};
    for (int i = 0; i < 8; i++) t += fmt("erode_%s %g\n", names[i], d.erosion[i]);
    t += "addtile\n";
    return t;
}

void surface_colour(SurfaceKind k, double rgb[3]) {
    for (int i = 0; i < 3; i++) rgb[i] = defs[k].colour[i];
}

}  // namespace mkdata
