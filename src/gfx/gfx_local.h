// Internals shared by the image, texture and model sources of this folder.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "gfx/image.h"

namespace gr {

// ---------------------------------------------------------------------------
// Reading headers

// The first word of a file, read like "%15s", with every byte it consumed so
// that a PNG decoder can be handed the stream from its very start.
struct FirstWord {
    char word[16] = {0};
    uint8_t consumed[64];   // bytes taken from the stream, in order
    int consumed_count = 0;
    bool overflow = false;  // more than 64 bytes consumed (cannot be a PNG)
};
void read_first_word(DataFile* f, FirstWord* out);

// Skips white space and "#" comment lines, then reads a decimal number of at
// most nine digits. False when no digit follows.
bool header_int(DataFile* f, int* out);

// Reads the rest of the line after skipping leading blanks (line breaks too),
// cut to `max` characters, trailing white space removed.
std::string read_rest_of_line(DataFile* f, int max);

void image_set_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void image_clear_error();

// True when width x height is within the accepted limits.
bool image_dims_ok(int width, int height);

// ---------------------------------------------------------------------------
// Format decoders (level 0 only). The stream is positioned after the word.

// "P6", "P3" (RGB), "P5", "P2" (grey).
bool pnm_decode(DataFile* f, const char* word, ImageData* out);
// "K6" (channels 3) or "K7" (channels 4).
bool predictive_decode(DataFile* f, int channels, ImageData* out);
// PNG converted to 8-bit RGB or RGBA; `prefix` holds bytes already read.
bool png_decode(DataFile* f, const uint8_t* prefix, int prefix_count, ImageData* out);

// Appends the text of "<name>.info" to `info`; false when there is none.
bool read_info_file(const char* name, std::string* info);

// ---------------------------------------------------------------------------
// Mipmaps and resampling

inline bool is_pow2(int v) { return v > 0 && (v & (v - 1)) == 0; }
int pow2_floor(int v);

// One level from the one above it (2 x 2 averaging, pairs at 1-pixel edges).
void mip_downsample(const uint8_t* src, int sw, int sh, int channels, bool max_alpha, uint8_t* dst);

// Takes the levels of a "[mip_custom]" image (level 0 on top, the smaller
// levels side by side in a strip below). False when the layout does not fit;
// the image is then left as it was.
bool mip_take_custom(ImageData* img);

// Nearest-pixel resampling of level 0 to the given size (drops the mips).
void image_resample(ImageData* img, int width, int height);

// Drops the `skip` largest levels of a full chain.
void mip_drop_levels(ImageData* img, int skip);

// RGB to RGBA with alpha 255; grey to RGB(A). Keeps level 0 only.
void image_to_channels(ImageData* img, int channels);

// The border colour of a clamped RGB texture: the most common colour of the
// base level's edge pixels, counted in 8 x 8 x 8 bins (the mean of that bin).
void border_colour(const ImageData* img, uint8_t out[4]);

// Number of top levels detail reduction drops from a chain of this size.
int detail_skip_levels(int width, int height, int level);

// Makes a decoded image ready to upload: custom mips or generated mips,
// power-of-two resampling, detail reduction. `name` is for warnings (null:
// none, for the further images of a sequence).
void texture_prepare(ImageData* img, const char* name, bool reduce);

// The current generation for new or refreshed cache entries.
inline int current_generation() { return texture_cache.generation; }

// ---------------------------------------------------------------------------
// ANIM1 sequences

// Reads an "ANIM1" file after its word into `anim` (images decoded, level 0
// only). False on error (see image_last_error).
bool anim_read(DataFile* f, TextureAnim* anim);

// ---------------------------------------------------------------------------
// Models

struct Mesh;
// Sums each triangle's tangent (along increasing u) into its three vertices.
void mesh_compute_tangents(Mesh* mesh);

}  // namespace gr
