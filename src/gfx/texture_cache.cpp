// The texture and CPU-image caches: loading by name with link resolution,
// load generations, the texture memory counter and freeing stale entries.
// The GL side is reached only through texture_uploader.
#include <strings.h>

#include <cstring>
#include <new>

#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

TextureCache texture_cache;
const TextureUploader* texture_uploader = nullptr;

static const char* const white_placeholder = "@colors/white.png";

// Link chains longer than this are treated as broken files.
enum { MAX_LINK_DEPTH = 32 };

void texture_track_load_begin() {
    ++texture_cache.generation;
    texture_cache.memory = 0;
}

void texture_memory_log() {
    log_printf("%d MB texture memory used\n", int(texture_cache.memory >> 20));
}

// ---------------------------------------------------------------------------
// Links

static const std::string* link_target(const std::string& name) {
    for (const TextureLink& l : texture_cache.links)
        if (l.name == name) return &l.target;
    return nullptr;
}

static void link_set(const std::string& name, const std::string& target) {
    for (TextureLink& l : texture_cache.links) {
        if (l.name == name) {
            l.target = target;
            return;
        }
    }
    if (texture_cache.links.empty()) texture_cache.links.reserve(16);
    texture_cache.links.push_back({name, target});
}

static void link_remove(const std::string& name) {
    auto& links = texture_cache.links;
    for (size_t i = 0; i < links.size(); ++i) {
        if (links[i].name == name) {
            links.erase(links.begin() + long(i));
            return;
        }
    }
}

// Reads the target of a "LINK" file (the stream is after the word).
static std::string read_link_target(DataFile* f) { return read_rest_of_line(f, 1023); }

// ---------------------------------------------------------------------------
// Texture entries

static TextureEntry* entry_by_id(unsigned id) {
    if (!id) return nullptr;
    for (TextureEntry& e : texture_cache.entries)
        if (e.id == id) return &e;
    return nullptr;
}

// An entry asked for again: it joins the current track and counts again.
static void entry_refresh(TextureEntry* e) {
    if (e->generation != 0 && e->generation != current_generation()) {
        e->generation = current_generation();
        texture_cache.memory += e->memory;
    }
}

static TextureEntry* entry_find(const std::string& name) {
    for (TextureEntry& e : texture_cache.entries)
        if (e.name == name) return &e;
    for (TextureEntry& e : texture_cache.entries) {
        if (!strcasecmp(e.name.c_str(), name.c_str())) {
            msg_printf("Warning: case mismatch on '%.900s'", name.c_str());
            return &e;
        }
    }
    return nullptr;
}

static void entry_add(unsigned id, int64_t bytes, const std::string& name, const std::string* info) {
    if (texture_cache.entries.empty()) texture_cache.entries.reserve(16);
    TextureEntry e;
    e.id = id;
    e.generation = current_generation();
    e.memory = bytes;
    e.name = name;
    if (info) {
        e.has_info = true;
        e.info = *info;
    }
    texture_cache.entries.push_back(std::move(e));
    texture_cache.memory += bytes;
}

static TextureUpload upload_of(const ImageData& img, bool repeat_s, bool repeat_t, bool compress) {
    TextureUpload up;
    up.pixels = img.pixels.data();
    up.width = img.width;
    up.height = img.height;
    up.channels = img.channels;
    up.levels = img.levels;
    up.repeat_s = repeat_s;
    up.repeat_t = repeat_t;
    up.compress = compress;
    if (img.channels == 3) border_colour(&img, up.border);
    return up;
}

static unsigned texture_load_named(const char* request, int depth);

static unsigned load_link(DataFile* f, const std::string& name, bool reduce, int depth) {
    std::string target = read_link_target(f);
    file_close(f);
    if (target.empty()) {
        image_set_error("Empty LINK in %.900s", name.c_str());
        return 0;
    }
    // Registered first so that a loop of links ends at the placeholder.
    link_set(name, white_placeholder);
    std::string req = reduce ? target : "!" + target;
    unsigned id = texture_load_named(req.c_str(), depth + 1);
    if (const TextureEntry* e = entry_by_id(id))
        link_set(name, e->name);
    else
        link_remove(name);
    return id;
}

static unsigned load_anim(DataFile* f, const std::string& name, bool reduce, bool repeat_s, bool repeat_t) {
    TextureAnim* anim = new TextureAnim;
    bool ok = anim_read(f, anim);
    file_close(f);
    if (!ok) {
        delete anim;
        return 0;
    }
    std::string info;
    bool has_info = read_info_file(name.c_str(), &info);
    for (size_t i = 0; i < anim->images.size(); ++i) {
        anim->images[i].info = info;
        texture_prepare(&anim->images[i], i == 0 ? name.c_str() : nullptr, reduce);
    }
    anim->current = anim->sequence[0];
    TextureUpload up = upload_of(anim->images[anim->current], repeat_s, repeat_t, false);
    int64_t bytes = 0;
    anim->id = texture_uploader->create(&up, &bytes);
    if (!anim->id) {
        delete anim;
        return 0;
    }
    if (texture_cache.anims.empty()) texture_cache.anims.reserve(16);
    texture_cache.anims.push_back(anim);
    entry_add(anim->id, bytes, name, has_info ? &info : nullptr);
    return anim->id;
}

static unsigned texture_load_named(const char* request, int depth) {
    if (depth > MAX_LINK_DEPTH) {
        image_set_error("Too many links at %.900s", request);
        return 0;
    }
    bool reduce = true;
    if (*request == '!') {
        reduce = false;
        ++request;
    }
    std::string name = request;
    if (const std::string* t = link_target(name)) name = *t;

    if (TextureEntry* e = entry_find(name)) {
        entry_refresh(e);
        return e->id;
    }

    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) {
        if (gfx_options.debug_level) msg_printf("Can't open texture \"%.900s\"", name.c_str());
        return 0;
    }
    bool repeat_s = strstr(name.c_str(), "-hrepeat.") || strstr(name.c_str(), "-repeat.");
    bool repeat_t = strstr(name.c_str(), "-vrepeat.") || strstr(name.c_str(), "-repeat.");

    image_clear_error();
    FirstWord w;
    read_first_word(f, &w);
    if (!strcmp(w.word, "LINK")) return load_link(f, name, reduce, depth);
    if (!strcmp(w.word, "ANIM1")) {
        unsigned id = load_anim(f, name, reduce, repeat_s, repeat_t);
        if (!id && *image_last_error())
            log_printf("Can't load texture \"%.900s\": %s\n", name.c_str(), image_last_error());
        return id;
    }

    ImageData img;
    bool ok, png = false;
    if (!strcmp(w.word, "K7"))
        ok = predictive_decode(f, 4, &img);
    else if (!strcmp(w.word, "K6"))
        ok = predictive_decode(f, 3, &img);
    else if (!strcmp(w.word, "P6") || !strcmp(w.word, "P3"))
        ok = pnm_decode(f, w.word, &img);
    else if (w.overflow) {
        image_set_error("Not a PNG file");
        ok = false;
    } else {
        png = true;
        ok = png_decode(f, w.consumed, w.consumed_count, &img);
    }
    file_close(f);
    if (!ok) {
        log_printf("Can't load texture \"%.900s\": %s\n", name.c_str(), image_last_error());
        return 0;
    }
    bool has_info = png && !img.info.empty();
    has_info |= read_info_file(name.c_str(), &img.info);

    bool compress = false;
    if (png) {
        compress = img.info.find("[compress]") != std::string::npos;
        if (gfx_options.texture_compress == 0) compress = false;
        if (gfx_options.texture_compress == 2) compress = true;
    }
    texture_prepare(&img, name.c_str(), reduce);
    TextureUpload up = upload_of(img, repeat_s, repeat_t, compress);
    int64_t bytes = 0;
    unsigned id = texture_uploader->create(&up, &bytes);
    if (!id) return 0;
    entry_add(id, bytes, name, has_info ? &img.info : nullptr);
    return id;
}

unsigned texture_load(const char* name) {
    // Without a GL context there is nothing to upload to, so nothing is read.
    if (!texture_uploader || !name || !*name) return 0;
    try {
        return texture_load_named(name, 0);
    } catch (const std::bad_alloc&) {
        fatal_out_of_memory();
    }
}

unsigned texture_from_image(const ImageData* img, const char* name, bool repeat_s, bool repeat_t) {
    if (!texture_uploader || !img || img->width < 1 || img->height < 1) return 0;
    try {
        const ImageData* src = img;
        ImageData built;
        if (img->levels != mip_level_count(img->width, img->height)) {
            built = *img;
            built.pixels.resize(size_t(img->width) * img->height * img->channels);
            image_build_mips(&built, false);
            src = &built;
        }
        TextureUpload up = upload_of(*src, repeat_s, repeat_t, false);
        int64_t bytes = 0;
        unsigned id = texture_uploader->create(&up, &bytes);
        if (id) entry_add(id, bytes, name ? name : "", nullptr);
        return id;
    } catch (const std::bad_alloc&) {
        fatal_out_of_memory();
    }
}

unsigned texture_load_companion(const char* texture, const char* fallback, const char* kind) {
    for (const char* base : {texture, fallback}) {
        if (!base || !*base) continue;
        std::string stem = base;
        size_t dot = stem.rfind('.'), slash = stem.rfind('/');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) continue;
        stem.resize(dot);
        for (const char* ext : {".seq", ".png", ".ppm"}) {
            if (unsigned id = texture_load((stem + kind + ext).c_str())) return id;
        }
    }
    return 0;
}

const char* texture_name(unsigned id) {
    const TextureEntry* e = entry_by_id(id);
    return e ? e->name.c_str() : nullptr;
}

const char* texture_info(unsigned id) {
    const TextureEntry* e = entry_by_id(id);
    return e && e->has_info ? e->info.c_str() : nullptr;
}

// ---------------------------------------------------------------------------
// CPU images

static Image* image_load_named(const char* request, int depth) {
    if (depth > MAX_LINK_DEPTH) {
        image_set_error("Too many links at %.900s", request);
        return nullptr;
    }
    std::string name = request;
    if (const std::string* t = link_target(name)) name = *t;
    for (Image* im : texture_cache.images) {
        if (im->name == name) {
            if (im->generation != 0) im->generation = current_generation();
            return im;
        }
    }
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) {
        image_set_error("Can't read %.900s", name.c_str());
        return nullptr;
    }
    image_clear_error();
    FirstWord w;
    read_first_word(f, &w);
    if (!strcmp(w.word, "LINK")) {
        std::string target = read_link_target(f);
        file_close(f);
        if (target.empty()) {
            image_set_error("Empty LINK in %.900s", name.c_str());
            return nullptr;
        }
        link_set(name, white_placeholder);
        Image* im = image_load_named(target.c_str(), depth + 1);
        if (im)
            link_set(name, im->name);
        else
            link_remove(name);
        return im;
    }
    ImageData img;
    bool ok;
    if (!strcmp(w.word, "K7"))
        ok = predictive_decode(f, 4, &img);
    else if (!strcmp(w.word, "K6"))
        ok = predictive_decode(f, 3, &img);
    else if (!strcmp(w.word, "P6") || !strcmp(w.word, "P3") || !strcmp(w.word, "P5") || !strcmp(w.word, "P2"))
        ok = pnm_decode(f, w.word, &img);
    else if (!strcmp(w.word, "ANIM1")) {
        image_set_error("Can't use the sequence %.900s as an image", name.c_str());
        ok = false;
    } else if (w.overflow) {
        image_set_error("Not a PNG file");
        ok = false;
    } else {
        ok = png_decode(f, w.consumed, w.consumed_count, &img);
    }
    file_close(f);
    if (!ok) {
        log_printf("Can't load image \"%.900s\": %s\n", name.c_str(), image_last_error());
        return nullptr;
    }
    read_info_file(name.c_str(), &img.info);
    image_to_channels(&img, 4);
    bool custom = img.info.find("[mip_custom]") != std::string::npos && mip_take_custom(&img);
    if (!custom) image_build_mips(&img, img.info.find("[mip_max_alpha]") != std::string::npos);

    Image* im = new Image;
    im->name = name;
    im->data = std::move(img);
    im->generation = current_generation();
    if (texture_cache.images.empty()) texture_cache.images.reserve(16);
    texture_cache.images.push_back(im);
    return im;
}

Image* image_load(const char* name) {
    if (!name || !*name) return nullptr;
    try {
        return image_load_named(name, 0);
    } catch (const std::bad_alloc&) {
        fatal_out_of_memory();
    }
}

// ---------------------------------------------------------------------------
// Freeing

void texture_free_stale(bool all) {
    int gen = current_generation();
    auto stale = [&](int g) { return all || (g != 0 && g != gen); };
    bool debug = gfx_options.debug_level > 0;

    auto& entries = texture_cache.entries;
    size_t keep = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        TextureEntry& e = entries[i];
        if (!stale(e.generation)) {
            if (keep != i) entries[keep] = std::move(e);
            ++keep;
            continue;
        }
        if (debug) log_printf("deleting tid %d (%.900s)\n", int(e.id), e.name.c_str());
        auto& anims = texture_cache.anims;
        for (size_t a = 0; a < anims.size();) {
            if (anims[a]->id == e.id) {
                if (debug) log_printf("deleting anim %d for tid %d\n", int(a), int(e.id));
                delete anims[a];
                anims.erase(anims.begin() + long(a));
            } else {
                ++a;
            }
        }
        if (texture_uploader && e.id) texture_uploader->destroy(e.id);
    }
    entries.resize(keep);

    auto& images = texture_cache.images;
    keep = 0;
    for (size_t i = 0; i < images.size(); ++i) {
        if (!stale(images[i]->generation)) {
            images[keep++] = images[i];
            continue;
        }
        if (debug) log_printf("deleting image %.900s\n", images[i]->name.c_str());
        delete images[i];
    }
    images.resize(keep);

    if (all) {
        for (TextureAnim* a : texture_cache.anims) delete a;
        texture_cache.anims.clear();
        texture_cache.links.clear();
        texture_cache.entries.clear();
        texture_cache.images.clear();
        texture_cache.memory = 0;
    }
}

}  // namespace gr
