// Images and textures: decoding PNG, PPM/PGM and the predictive K6/K7 format,
// LINK and ANIM1 indirections, ".info" side files, mipmap chains, detail
// reduction, the texture and image caches with load generations, animated
// textures and the PNG writers.
//
// Decoding and caching never touch GL. The renderer installs a
// TextureUploader once it has a context; until then texture_load returns 0
// (headless programs and tests), while image_load always works.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gr {

struct DataFile;

// ---------------------------------------------------------------------------
// Options the graphics code reads on every load. Owned here; start-up copies
// them from the settings record (and again whenever the settings change).
struct GfxOptions {
    int debug_level = 0;          // 1 and up: debug messages (missing textures, deletions)
    int model_texture_level = 0;  // top mip levels dropped from textures (0..4)
    int texture_compress = 1;     // 0 "No", 1 "Yes" (when the .info asks), 2 "Always"
    bool cpu_skinning = true;     // skinned models are posed on the CPU
    bool shaders = false;         // shader programs are built and in use (normal and specular maps load)
};
extern GfxOptions gfx_options;

// ---------------------------------------------------------------------------
// Decoded pixels

// 8 bits per channel, rows top to bottom. When `levels` > 1 each smaller
// mipmap level follows directly (each halves width and height, never below 1,
// down to 1 x 1).
struct ImageData {
    int width = 0;
    int height = 0;
    int channels = 0;  // 1 (PGM), 3 (RGB) or 4 (RGBA)
    int levels = 1;    // mip levels held in `pixels`
    std::vector<uint8_t> pixels;
    std::string info;  // PNG text chunks, then the ".info" side file
};

// Largest width or height accepted from a file, and the most pixels; larger
// headers are reported as bad dimensions rather than exhausting memory.
enum { IMAGE_MAX_DIM = 16384, IMAGE_MAX_PIXELS = 1 << 26 };

// The text of the last decoding error ("Can't parse PPM header", ...); empty
// when none. Every failed decode sets it.
const char* image_last_error();

// Decodes one image (K6, K7, P6, P3, P5, P2 or PNG, chosen by the first word)
// from an open stream; level 0 only. False on error (see image_last_error).
bool image_decode(DataFile* f, ImageData* out);

// Opens `name` (a "@" name or a path) and decodes it as above.
bool image_read(const char* name, ImageData* out);

// Rebuilds every mip level below level 0 by 2 x 2 averaging. For RGBA the
// colour is weighted by alpha, and alpha is the average or, with
// `max_alpha`, the largest of the four.
void image_build_mips(ImageData* img, bool max_alpha);

// Bytes of all mip levels of a width x height image down to 1 x 1.
size_t mip_chain_bytes(int width, int height, int channels);
// Byte offset of `level` in such a chain.
size_t mip_level_offset(int width, int height, int channels, int level);
int mip_level_count(int width, int height);

// ---------------------------------------------------------------------------
// The renderer's side of texture creation

// One texture ready for the GL: the base level and every smaller level.
struct TextureUpload {
    const uint8_t* pixels = nullptr;  // base level, then the smaller levels
    int width = 0;                    // of the base level
    int height = 0;
    int channels = 0;                 // 3 or 4
    int levels = 0;                   // levels in `pixels`, down to 1 x 1
    bool repeat_s = false;            // otherwise clamp horizontally
    bool repeat_t = false;            // otherwise clamp vertically
    bool compress = false;            // use a compressed internal format when available
    uint8_t border[4] = {0, 0, 0, 0}; // border colour for clamped RGB textures
};

// Installed by the renderer while a GL context is current.
struct TextureUploader {
    // Creates a texture; returns its id (0 on failure) and the bytes the
    // levels took (the compressed size for compressed levels).
    unsigned (*create)(const TextureUpload* up, int64_t* bytes);
    // Replaces every level of `id` with images of the same size and layout.
    void (*replace)(unsigned id, const TextureUpload* up);
    void (*destroy)(unsigned id);
};
// Null while there is no GL context.
extern const TextureUploader* texture_uploader;

// ---------------------------------------------------------------------------
// Texture and image caches

struct TextureEntry {
    unsigned id = 0;       // GL texture id
    int generation = 0;    // 0: permanent; else the track load that last asked for it
    int64_t memory = 0;    // bytes the texture took
    bool has_info = false; // `info` holds the PNG text and/or ".info" file
    std::string info;
    std::string name;      // as requested (without "!", after link resolution)
};

// A "LINK" file's alias: loading `name` loads `target` instead.
struct TextureLink {
    std::string name;
    std::string target;
};

// One "ANIM1" texture.
struct TextureAnim {
    unsigned id = 0;            // the GL texture showing the sequence
    int length = 0;             // entries in `sequence`
    int image_count = 0;
    int frame_ticks = 1;        // ticks each sequence entry is shown
    bool loop = false;
    int start_tick = 0;
    bool paused = false;
    int current = 0;            // index of the image uploaded now
    std::vector<int> sequence;  // image indices, each below image_count
    std::vector<ImageData> images;  // ready to upload: base level and mips
};

// A CPU image: RGBA pixels with the mip chain, rows top to bottom.
struct Image {
    std::string name;
    ImageData data;      // channels is always 4
    int generation = 0;
};

// The process-wide caches. Owned here; stale entries go in texture_free_stale
// after each track load, everything in texture_free_stale(true) at exit.
struct TextureCache {
    std::vector<TextureEntry> entries;  // load order
    std::vector<TextureLink> links;
    std::vector<TextureAnim*> anims;
    std::vector<Image*> images;
    int generation = 0;      // the track-load counter; 0 before the first track
    int64_t memory = 0;      // texture bytes in use by the current track
};
extern TextureCache texture_cache;

// A track starts loading: the track-load counter advances and the texture
// memory counter starts again from 0. Models share the counter.
void texture_track_load_begin();
// Logs "%d MB texture memory used\n".
void texture_memory_log();

// Loads (or finds) a texture by name; 0 on failure or without a GL context.
// A leading "!" loads without detail reduction.
unsigned texture_load(const char* name);

// Creates a texture from pixels made by the program (fonts, number plates).
// A full mip chain in `img` is uploaded as it is; otherwise the chain is built
// from level 0. Registered under `name` with the current generation; 0
// without a GL context.
unsigned texture_from_image(const ImageData* img, const char* name, bool repeat_s, bool repeat_t);

// A companion map of a model texture: for "x.png" and `kind` "_norm" the
// first of "x_norm.seq", "x_norm.png", "x_norm.ppm" that loads; when none
// does, the same names formed from `fallback` (the model's default texture,
// may be null). 0 when nothing loads.
unsigned texture_load_companion(const char* texture, const char* fallback, const char* kind);

// The cached CPU image of `name` (RGB widened to RGBA with alpha 255, mips
// built); null on failure. Works without a GL context.
Image* image_load(const char* name);

// The cached name and info text of a texture id; null when unknown (or, for
// the info, when the texture has none).
const char* texture_name(unsigned id);
const char* texture_info(unsigned id);

// Frees textures, animations and images whose generation is neither 0 nor
// the current one; with `all`, frees everything and empties the lists.
void texture_free_stale(bool all);

// Animated textures: once per frame, show the image of each running
// animation's current sequence entry.
void texture_animate(int tick);
void texture_anim_start(unsigned id, int tick);
void texture_anim_stop(unsigned id);
// The animation shown by texture `id`, or null.
TextureAnim* texture_anim_find(unsigned id);

// ---------------------------------------------------------------------------
// PNG files

// 8-bit RGB, rows top to bottom. The file replaces any file of that name only
// once it is completely written. True on success.
bool png_write_rgb(const char* path, const uint8_t* pixels, int width, int height);
// 16-bit grey (values in host order; stored big-endian as PNG requires).
bool png_write_gray16(const char* path, const uint16_t* values, int width, int height);

// Reads any PNG as 16-bit grey: 8-bit samples widened as v * 257, palettes
// expanded, colour converted to grey, alpha dropped. False when the file is
// missing or unreadable (image_last_error says why).
bool png_read_gray16(const char* name, std::vector<uint16_t>* values, int* width, int* height);

}  // namespace gr
