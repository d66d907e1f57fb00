// Animated textures: reading "ANIM1" sequence files and choosing the image
// each running animation shows at a tick.
#include <cctype>
#include <cstring>

#include "data/data.h"
#include "gfx/gfx_local.h"

namespace gr {

// Sequences beyond these sizes are broken files, not animations.
enum { SEQ_MAX_LENGTH = 1 << 20, SEQ_MAX_IMAGES = 4096 };

// A signed decimal after white space.
static bool seq_int(DataFile* f, int* out) {
    int c = file_peekc(f);
    while (c >= 0 && isspace(c)) {
        file_getc(f);
        c = file_peekc(f);
    }
    bool neg = false;
    if (c == '-' || c == '+') {
        neg = c == '-';
        file_getc(f);
    }
    int v;
    if (!header_int(f, &v)) return false;
    *out = neg ? -v : v;
    return true;
}

bool anim_read(DataFile* f, TextureAnim* anim) {
    int length, count, ticks, loop;
    if (!seq_int(f, &length) || !seq_int(f, &count) || !seq_int(f, &ticks) || !seq_int(f, &loop)) {
        image_set_error("EOF while reading .seq");
        return false;
    }
    if (length < 1 || length > SEQ_MAX_LENGTH || count < 1 || count > SEQ_MAX_IMAGES) {
        image_set_error("Bad .seq header (%d entries, %d images)", length, count);
        return false;
    }
    anim->length = length;
    anim->image_count = count;
    anim->frame_ticks = ticks < 1 ? 1 : ticks;  // a zero duration would divide by zero
    anim->loop = loop != 0;
    anim->sequence.resize(length);
    for (int i = 0; i < length; ++i) {
        if (!seq_int(f, &anim->sequence[i])) {
            image_set_error("EOF while reading .seq");
            return false;
        }
        if (anim->sequence[i] < 0 || anim->sequence[i] >= count) {
            image_set_error("Bad image index %d in .seq", anim->sequence[i]);
            return false;
        }
    }
    anim->images.resize(count);
    for (int i = 0; i < count; ++i) {
        ImageData& img = anim->images[i];
        FirstWord w;
        read_first_word(f, &w);
        if (!w.word[0]) {
            image_set_error("EOF while reading .seq");
            return false;
        }
        if (!strcmp(w.word, "K7")) {
            if (!predictive_decode(f, 4, &img)) {
                image_set_error("Error reading .seq frame %d", i);
                return false;
            }
        } else if (!strcmp(w.word, "PNG")) {
            std::string path = read_rest_of_line(f, 1023);
            if (path.empty() || !image_read(path.c_str(), &img) || img.channels < 3) {
                image_set_error("Can't read %.900s", path.c_str());
                return false;
            }
        } else {
            image_set_error("Error reading .seq frame %d", i);
            return false;
        }
        if (img.width != anim->images[0].width || img.height != anim->images[0].height) {
            image_set_error("Width/height mismatch reading .seq");
            return false;
        }
        if (img.channels != anim->images[0].channels) {
            image_set_error("Depth mismatch reading .seq");
            return false;
        }
    }
    return true;
}

TextureAnim* texture_anim_find(unsigned id) {
    if (!id) return nullptr;
    for (TextureAnim* a : texture_cache.anims)
        if (a->id == id) return a;
    return nullptr;
}

void texture_anim_start(unsigned id, int tick) {
    if (TextureAnim* a = texture_anim_find(id)) {
        a->start_tick = tick;
        a->paused = false;
    }
}

void texture_anim_stop(unsigned id) {
    if (TextureAnim* a = texture_anim_find(id)) a->paused = true;
}

void texture_animate(int tick) {
    for (TextureAnim* a : texture_cache.anims) {
        if (a->paused) continue;
        int elapsed = tick - a->start_tick;
        if (elapsed < 0) elapsed = 0;
        int frame = elapsed / a->frame_ticks;
        frame = a->loop ? frame % a->length : (frame < a->length ? frame : a->length - 1);
        int image = a->sequence[frame];
        if (image == a->current || !texture_uploader) continue;
        a->current = image;
        const ImageData& img = a->images[image];
        TextureUpload up;
        up.pixels = img.pixels.data();
        up.width = img.width;
        up.height = img.height;
        up.channels = img.channels;
        up.levels = img.levels;
        texture_uploader->replace(a->id, &up);
    }
}

}  // namespace gr
