// Texture choice lists (riding gear, helmet, bike and wheel graphics) built
// from the names of the data files.
#include <cstring>

#include "app/app.h"
#include "data/data.h"

namespace gr {

namespace {

bool ends_with(const char* s, size_t n, const char* suffix) {
    size_t k = strlen(suffix);
    return n >= k && memcmp(s + n - k, suffix, k) == 0;
}

void set_choices(Setting* s, const TextureChoices& c) {
    s->choices = c.names;
    s->choice_files = c.files;
    s->index = 0;
}

}  // namespace

TextureChoices texture_choices(const char* prefix) {
    TextureChoices c;
    c.names.push_back("default");
    c.files.push_back("");
    size_t prefix_len = strlen(prefix);
    const char* const* list = file_list();
    for (int i = 0; list && list[i]; i++) {
        const char* name = list[i];
        size_t n = strlen(name);
        size_t stem;  // length of the name without ".png" / ".png.scram"
        size_t logical;  // length of the name the texture is opened by
        if (ends_with(name, n, ".png")) {
            if (ends_with(name, n, "_norm.png") || ends_with(name, n, "_spec.png")) continue;
            stem = n - 4;
            logical = n;
        } else if (ends_with(name, n, ".png.scram")) {
            if (ends_with(name, n, "_norm.png.scram") || ends_with(name, n, "_spec.png.scram"))
                continue;
            stem = n - 10;
            logical = n - 6;
        } else {
            continue;
        }
        const char* slash = strrchr(name, '/');
        size_t base = slash ? static_cast<size_t>(slash - name) + 1 : 0;
        if (stem - base < prefix_len || memcmp(name + base, prefix, prefix_len) != 0) continue;
        std::string choice(name + base + prefix_len, stem - base - prefix_len);
        // A plain and a scrambled copy of one texture (or copies in several
        // folders) give one choice: the name is what the file stores.
        bool seen = false;
        for (const std::string& existing : c.names) seen = seen || existing == choice;
        if (seen) continue;
        c.names.push_back(choice);
        c.files.push_back("@" + std::string(name, logical));
    }
    return c;
}

void bike_graphics_rebuild() {
    const char* prefix = bike_texture_prefix(setting_choice_name(settings.bike));
    set_choices(&settings.bike_texture, texture_choices(prefix ? prefix : "-"));
}

void texture_lists_rebuild() {
    set_choices(&settings.rider_texture, texture_choices("rider_body-"));
    set_choices(&settings.head_texture, texture_choices("rider_head-"));
    set_choices(&settings.wheel_texture, texture_choices("wheels-"));
    bike_graphics_rebuild();
}

}  // namespace gr
