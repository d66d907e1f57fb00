// The content generator's shared pieces: the tree of generated files, a
// deterministic random source, noise, image encoders and the generators that
// fill the tree (shapes, models, textures, tracks) and pack it into archives.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mkdata {

using Bytes = std::vector<uint8_t>;

// One generated file and the archive it goes into.
struct OutFile {
    std::string archive;  // "redmesa.saf", "zzzz.saf", ...
    Bytes data;
};

// Every file of the data tree by logical name (no leading "@"). Names may end
// in ".gz" or ".scram"; the packer stores them as given.
struct DataTree {
    std::map<std::string, OutFile> files;
    void add(const std::string& archive, const std::string& name, Bytes data);
    void add_text(const std::string& archive, const std::string& name, const std::string& text);
};

// Side outputs that never ship (top-down renders, lap notes); empty dir = none.
struct Preview {
    std::string dir;
};

// ---------------------------------------------------------------------------
// Deterministic randomness: the same numbers on every machine and library.

struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next();
    double unit();                       // [0, 1)
    double range(double a, double b) { return a + (b - a) * unit(); }
    int below(int n) { return int(unit() * n); }
};

uint32_t hash32(int32_t x, int32_t y, uint32_t seed);
// Value noise in [-1, 1] with smooth interpolation; `period` > 0 wraps the
// lattice so textures tile.
double value_noise(double x, double y, uint32_t seed, int period = 0);
double fbm(double x, double y, uint32_t seed, int octaves, double gain = 0.5, int period = 0);

inline double clampd(double v, double a, double b) { return v < a ? a : v > b ? b : v; }
inline double smoothstep(double a, double b, double x) {
    double t = clampd((x - a) / (b - a), 0, 1);
    return t * t * (3 - 2 * t);
}
inline double lerp(double a, double b, double t) { return a + (b - a) * t; }

// ---------------------------------------------------------------------------
// Images (rows top to bottom)

struct Picture {
    int width = 0, height = 0, channels = 3;
    std::vector<uint8_t> px;
    Picture() = default;
    Picture(int w, int h, int c) : width(w), height(h), channels(c), px(size_t(w) * h * c, 0) {}
    uint8_t* at(int x, int y) { return &px[(size_t(y) * width + x) * channels]; }
    // Alpha-blends a colour onto pixel (x, y) with coverage `a` (0..1).
    void blend(int x, int y, const double rgba[4], double a);
    void fill_circle(double cx, double cy, double r, const double rgba[4]);
    void fill_rect(double x0, double y0, double x1, double y1, const double rgba[4]);
    // A thick line segment with round ends.
    void line(double x0, double y0, double x1, double y1, double r, const double rgba[4]);
};

Bytes png_encode(const Picture& p);
Bytes png_encode_gray16(const std::vector<uint16_t>& v, int width, int height);
Bytes ppm_encode(const Picture& p);  // P6, 3 channels
Bytes pgm_encode(const std::vector<uint8_t>& v, int width, int height);  // P5

// gzip with a fixed header (no name, no time), so output depends on input only.
Bytes gzip_encode(const Bytes& in);
// Scrambles with the data layer's scrambler (the same call unscrambles).
Bytes scramble(Bytes in);

// Writes the archives of `tree` into `dir`: each archive is written to a
// temporary file and renamed into place. False on any error.
bool write_archives(const DataTree& tree, const std::string& dir);
// The archive bytes for one archive of the tree (members in name order).
Bytes archive_bytes(const DataTree& tree, const std::string& archive);

// ---------------------------------------------------------------------------
// Generators

void make_shapes(DataTree& tree);     // the seven standard bike shapes
void make_models(DataTree& tree);     // starting gate piece, hay bale
void make_textures(DataTree& tree);   // roost, colours, ground, trees, people, sky
bool make_tracks(DataTree& tree, const Preview& preview);

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace mkdata
