// The ground of the current track: the height field with its shading and
// shadows, the tilemap of surface types, decals, the queries the physics and
// the robots make on it, height changes, and the terrain files.
//
// World axes: x grows with the column index, z with the row index, y is up.
// Sample (c, r) stands at (c * spacing, height, r * spacing). Every grid cell
// (i, j) is split by one diagonal: from (i, j) to (i+1, j+1) when i + j is
// even, from (i+1, j) to (i, j+1) when it is odd (a chessboard of diagonals).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gr {

struct DataFile;

// One way a surface throws dirt (64 bytes, field order fixed).
struct RoostType {
    int32_t mode = 0;            // 0 free slot, 1 roost, 2 splash
    uint32_t texture = 0;        // particle texture ("@roost.png" unless set)
    float count = 10;            // particles per emission
    float dig = 1;
    float slip_threshold = 4;
    float slow_angle = 1.5707964f;
    float fast_angle = 0.19634955f;
    float slow_speed = 0;
    float fast_speed = 64;
    float size = 0.25f;
    float grow = 4;
    float drag = 0.5f;
    float vscale = 1;
    float randomize = 15;
    uint8_t r = 255, g = 255, b = 255, a = 255;  // start colour
    int8_t fade_r = 0, fade_g = 0, fade_b = 0, fade_a = -2;  // colour change per tick
};
static_assert(sizeof(RoostType) == 64, "RoostType is 64 bytes");

// How a surface wears under the wheels.
struct Erosion {
    float depth = 1;          // height moved per sample, times erode_rate / 2048
    float lower = 50;         // push below this does not erode
    float upper = 150;        // push at or above this moves the full displacement
    float displacement = 2;   // distance material moves at full push
    float radius = 4;         // radius of each height change
    float max_slope = 0.25f;  // material is not pushed up a steeper rise
    float off_speed = 10;     // wheel speed at or below which nothing is sampled
    float on_speed = 15;      // wheel speed from which the full push is sampled
};

enum { SURFACE_MAX = 256, CURVE_POINTS = 8, ROOST_SLOTS = 4 };

// One surface type: its ground texture and its physical behaviour.
struct SurfaceType {
    uint32_t texture = 0;              // ground texture (hardware methods)
    const uint8_t* pixels = nullptr;   // RGBA image kept in memory (software method)
    int width = 0, height = 0;
    // Friction curve: coefficient at slip speed; a key of 0 ends the curve.
    float friction_value[CURVE_POINTS] = {1, 1, 1, 1, 1, 1, 1, 1};
    float friction_key[CURVE_POINTS] = {1, 0, 0, 0, 0, 0, 0, 0};
    // Rolling resistance with the tyre uncompressed and fully compressed, at
    // a ground speed; a key of 0 ends the curve.
    float roll_resist[CURVE_POINTS][2] = {{5, 15}, {5, 15}, {5, 15}, {5, 15},
                                          {5, 15}, {5, 15}, {5, 15}, {5, 15}};
    float roll_key[CURVE_POINTS] = {1, 0, 0, 0, 0, 0, 0, 0};
    RoostType roost[ROOST_SLOTS];
    Erosion erosion;
    // Transition textures are named "A-B-dddd" after two other surfaces and
    // four corner bits: the code is (index of A << 16) | (index of B << 8) |
    // the bits; -1 for an ordinary surface. Only the track editor uses it.
    int transition_code = -1;
    std::string texture_name;
};

// A picture laid on the ground: a size * aspect by size rectangle centred on
// (x, z), turned by `angle`.
struct Decal {
    const uint8_t* pixels = nullptr;  // software method only
    int width = 0, height = 0;
    uint32_t texture = 0;
    uint32_t normal_texture = 0;      // shader rendering only
    uint32_t specular_texture = 0;
    float x = 0, z = 0, angle = 0, size = 0, aspect = 0;
    float sin_angle = 0, cos_angle = 1;
    std::string texture_name;         // as written in the decals file
};

// How the ground textures are composed (chosen at load by the renderer).
enum GroundMethod {
    GROUND_NONE = 0,         // nothing drawn (headless)
    GROUND_TEXSUBIMAGE,      // software: surface images stay in memory
    GROUND_COPYTEXSUBIMAGE,
    GROUND_FRAMEBUFFER,
};

enum { DECAL_BINS = 8 };

// The one ground of the current track. Owned by the track loader: filled by
// terrain_load, emptied by terrain_free.
struct Terrain {
    // Geometry, from the terrain.hf header.
    int size_exp = 0;      // n
    int half_size = 0;     // S = 2^n
    int dim = 0;           // D = 2 S + 1 samples per side
    float spacing = 0;     // distance between neighbouring samples
    float tile_size = 0;   // 2 * spacing
    float field_size = 0;  // 2 S * spacing
    float low = 0, high = 0;  // height range, kept up to date as heights change

    float* heights = nullptr;     // D x D, index r * D + c
    uint8_t* shading = nullptr;   // D x D x RGB; 128 means brightness 1.0
    uint8_t* shadows = nullptr;   // D x D; 0 lit .. 255 fully shadowed
    uint8_t* normal_map = nullptr;  // D x D x 3, shader ground only
    uint8_t* tilemap = nullptr;   // S x S surface indices

    SurfaceType* surfaces = nullptr;  // SURFACE_MAX records
    int surface_count = 0;

    int method = GROUND_NONE;
    int texture_size = 128;
    bool shader_ground = false;
    bool framebuffer = false;

    std::vector<Decal> decals;
    bool decal_list = false;       // the track has a decals file (saved back)
    std::vector<int> decal_bins[DECAL_BINS][DECAL_BINS];

    int deformation_disabled = 0;  // set during online races: heights are locked
    int modified = 0;              // 3 after terrain_deform changed a height
    int change_counter = 0;        // advanced by every terrain_deform call

    char digest[41] = {};          // RIPEMD-160 of the height samples
    std::string path;              // "@" + track directory
};
extern Terrain terrain;

// The ground renderer's side: installed by the renderer, null headless.
struct GroundRenderer {
    // Picks the method for a load; returns a GroundMethod and sets the
    // texture size and flags in the terrain.
    int (*choose_method)(Terrain* t, int requested);
    // Builds ground textures after the tilemap is read.
    bool (*build)(Terrain* t);
    // A rectangle of vertices changed its heights or shading.
    void (*region_changed)(Terrain* t, int c0, int r0, int c1, int r1);
    // Frees the renderer's part of the terrain.
    void (*release)(Terrain* t);
};
extern const GroundRenderer* ground_renderer;

// ---------------------------------------------------------------------------
// Files

// Loads the terrain of a track ("@" + directory). 1 on success; on failure
// everything built is released and 0 returned.
int terrain_load(const char* track_path, int method);
void terrain_free();
// Sizes a terrain record for 2 * 2^size_exp + 1 samples a side at `spacing`
// feet and allocates its heights, shading, shadows, tilemap and surface
// table, all zero (no surface in use yet).
void terrain_allocate(Terrain* t, int size_exp, float spacing);
// Writes the terrain files of the current track; 1 on success.
int terrain_save();

// Surface types from "tileinfo" or the older "texturelist".
void tileinfo_read(Terrain* t, DataFile* f);
void texturelist_read(Terrain* t, DataFile* f);
// Derives each surface's transition code from its texture name.
void surface_transition_codes(Terrain* t);

// Reads "decals" records and bins them.
void decals_read(Terrain* t, DataFile* f);
void decals_bin(Terrain* t);

// ---------------------------------------------------------------------------
// Queries (allocation-free; indices are clamped, so points outside the field
// read the border samples)

float terrain_height_at(float x, float z);
// Upward normal of the triangle under the point (not normalised).
void terrain_normal_at(float x, float z, float out[3]);
// Unit normal at a grid vertex.
void terrain_vertex_normal(int c, int r, float out[3]);
// Surface index of the tile under the point.
int terrain_tile_at(float x, float z);
// The surface type under the point.
const SurfaceType& terrain_surface_at(float x, float z);

// ---------------------------------------------------------------------------
// Changes

// Re-shades a rectangle of vertices from the lighting and hands it to the
// ground renderer.
void terrain_mark_changed(int c0, int r0, int c1, int r1);

// Raises (amount > 0) or lowers the heights around (x, z) with a smooth
// falloff of radius r.
void terrain_deform(Terrain* t, float x, float z, float r, float amount);

// ---------------------------------------------------------------------------
// Roost: the dirt thrown by the wheels (the race's calls into it)

struct Bike;
// Every particle back to the free list.
void roost_reset();
// Emits the particles a bike's wheels throw this tick.
void roost_emit(Bike* bike, bool simulated);
// Moves every live particle one tick.
void roost_move();

}  // namespace gr
