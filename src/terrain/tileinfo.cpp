// Surface types: the "tileinfo" file (keywords per line, "addtile" stores a
// surface) and the older "texturelist" (one texture per line with optional
// friction and rolling-resistance numbers), and the transition codes.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "gfx/image.h"
#include "terrain/terrain.h"
#include "terrain/terrain_local.h"

namespace gr {

namespace {

const float min_key = 9.536743e-07f;  // 2^-20: curve keys stay positive
const float tick_seconds = 1.0f / 128.0f;

// A surface under construction.
struct SurfaceBuilder {
    SurfaceType s;
    int friction_points = 0;
    int roll_points = 0;
    int roost_slots = 0;
};

void warn(const char* text) { msg_print(text); }

RoostType default_roost(int mode) {
    RoostType r;
    r.mode = mode;
    r.texture = texture_load("@roost.png");
    return r;
}

// Loads the surface's ground picture: pixels for the software method,
// otherwise a texture.
void resolve_texture(const Terrain* t, SurfaceType* s) {
    if (s->texture_name.empty()) return;
    if (t->method == GROUND_TEXSUBIMAGE) {
        if (Image* img = image_load(s->texture_name.c_str())) {
            s->pixels = img->data.pixels.data();
            s->width = img->data.width;
            s->height = img->data.height;
        }
    } else {
        s->texture = texture_load(s->texture_name.c_str());
    }
}

}  // namespace

std::vector<std::string> roost_words(const char* text) {
    std::vector<std::string> words;
    const char* p = text;
    auto sep = [](char c) { return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\b'; };
    while (*p) {
        while (*p && sep(*p)) p++;
        if (!*p) break;
        std::string w;
        bool quoted = false;
        while (*p && (quoted || !sep(*p))) {
            if (*p == '"') quoted = !quoted;
            else w += *p;
            p++;
        }
        words.push_back(w);
    }
    return words;
}

namespace {

// The value of "name=value" as a float; false (and 0) when no character of it
// reads as a number.
bool parse_number(const char* text, float* out) {
    char* end = nullptr;
    float v = strtof(text, &end);
    if (end == text) {
        *out = 0;
        return false;
    }
    *out = v;
    return true;
}

void parse_roost(SurfaceBuilder& b, const char* arg) {
    if (b.roost_slots >= ROOST_SLOTS) {
        warn("tileinfo warning: too many roost types\n");
        return;
    }
    RoostType r = default_roost(1);
    static const struct { const char* name; size_t offset; } floats[] = {
        {"count", offsetof(RoostType, count)},
        {"dig", offsetof(RoostType, dig)},
        {"slip_threshold", offsetof(RoostType, slip_threshold)},
        {"slow_angle", offsetof(RoostType, slow_angle)},
        {"fast_angle", offsetof(RoostType, fast_angle)},
        {"slow_speed", offsetof(RoostType, slow_speed)},
        {"fast_speed", offsetof(RoostType, fast_speed)},
        {"size", offsetof(RoostType, size)},
        {"grow", offsetof(RoostType, grow)},
        {"drag", offsetof(RoostType, drag)},
        {"vscale", offsetof(RoostType, vscale)},
        {"randomize", offsetof(RoostType, randomize)},
    };
    for (const std::string& word : roost_words(arg)) {
        size_t eq = word.find('=');
        std::string name = eq == std::string::npos ? word : word.substr(0, eq);
        const char* value = eq == std::string::npos ? "" : word.c_str() + eq + 1;
        char msg[96];
        snprintf(msg, sizeof msg, "tileinfo warning: bad %.40s\n", name.c_str());
        float v = 0;
        bool handled = false;
        if (eq != std::string::npos) {
            handled = true;
            if (name == "texture") {
                r.texture = texture_load(value);
            } else if (name == "splash") {
                parse_number(value, &v);
                if (v != 0) r.mode = 2;
            } else if (name == "r" || name == "g" || name == "b" || name == "a") {
                if (!parse_number(value, &v)) warn(msg);
                uint8_t byte = uint8_t(int(v));
                (name == "r" ? r.r : name == "g" ? r.g : name == "b" ? r.b : r.a) = byte;
            } else if (name == "fade_r" || name == "fade_g" || name == "fade_b" || name == "fade_a") {
                if (!parse_number(value, &v)) warn(msg);
                int8_t per_tick = int8_t(int(v * tick_seconds));
                char k = name[5];
                (k == 'r' ? r.fade_r : k == 'g' ? r.fade_g : k == 'b' ? r.fade_b : r.fade_a) = per_tick;
            } else {
                handled = false;
                for (const auto& f : floats) {
                    if (name != f.name) continue;
                    if (!parse_number(value, &v)) warn(msg);
                    memcpy(reinterpret_cast<char*>(&r) + f.offset, &v, sizeof v);
                    handled = true;
                }
            }
        }
        if (!handled) {
            snprintf(msg, sizeof msg, "tileinfo warning: unknown roost parameter '%.40s'\n", word.c_str());
            warn(msg);
        }
    }
    b.s.roost[b.roost_slots++] = r;
}

// Sorts the given points by key, ascending; the rest of the slots end the curve.
void finish_curves(SurfaceBuilder& b) {
    SurfaceType& s = b.s;
    if (b.friction_points > 0) {
        std::vector<std::pair<float, float>> pts;
        for (int i = 0; i < b.friction_points; i++) pts.push_back({s.friction_key[i], s.friction_value[i]});
        std::stable_sort(pts.begin(), pts.end(), [](auto& x, auto& y) { return x.first < y.first; });
        for (int i = 0; i < CURVE_POINTS; i++) {
            bool given = i < int(pts.size());
            s.friction_key[i] = given ? pts[size_t(i)].first : 0;
            s.friction_value[i] = given ? pts[size_t(i)].second : 1;
        }
    }
    if (b.roll_points > 0) {
        struct P { float key, a, b; };
        std::vector<P> pts;
        for (int i = 0; i < b.roll_points; i++) pts.push_back({s.roll_key[i], s.roll_resist[i][0], s.roll_resist[i][1]});
        std::stable_sort(pts.begin(), pts.end(), [](const P& x, const P& y) { return x.key < y.key; });
        for (int i = 0; i < CURVE_POINTS; i++) {
            bool given = i < int(pts.size());
            s.roll_key[i] = given ? pts[size_t(i)].key : 0;
            s.roll_resist[i][0] = given ? pts[size_t(i)].a : 5;
            s.roll_resist[i][1] = given ? pts[size_t(i)].b : 15;
        }
    }
}

void trim(std::string& s) {
    size_t a = 0;
    while (a < s.size() && isspace((unsigned char)s[a])) a++;
    size_t b = s.size();
    while (b > a && isspace((unsigned char)s[b - 1])) b--;
    s = s.substr(a, b - a);
}

// The picture name without directories, leading "@" or extension.
std::string base_name(const std::string& texture) {
    std::string s = texture;
    size_t slash = s.find_last_of('/');
    if (slash != std::string::npos) s = s.substr(slash + 1);
    if (!s.empty() && s[0] == '@') s = s.substr(1);
    size_t dot = s.find_last_of('.');
    if (dot != std::string::npos) s = s.substr(0, dot);
    return s;
}

}  // namespace

void surface_reset(SurfaceType* s) { *s = SurfaceType{}; }

void tileinfo_read(Terrain* t, DataFile* f) {
    SurfaceBuilder b;
    char line[1024];
    while (t->surface_count < SURFACE_MAX && file_gets(f, line, sizeof line)) {
        const char* p = line;
        while (*p && isspace((unsigned char)*p)) p++;
        if (!*p) continue;
        const char* kw_end = p;
        while (*kw_end && !isspace((unsigned char)*kw_end)) kw_end++;
        std::string keyword(p, kw_end);
        std::string arg = kw_end;
        trim(arg);
        char msg[1100];

        if (keyword == "texture") {
            b.s.texture_name = arg;
        } else if (keyword == "friction") {
            float c, v;
            if (sscanf(arg.c_str(), "%f %f", &c, &v) != 2) {
                warn("tileinfo warning: bad friction parameters\n");
            } else if (b.friction_points >= CURVE_POINTS) {
                warn("tileinfo warning: too many friction points\n");
            } else {
                b.s.friction_value[b.friction_points] = std::max(c, 0.0f);
                b.s.friction_key[b.friction_points] = std::max(v, min_key);
                b.friction_points++;
            }
        } else if (keyword == "roll_resist") {
            float u, c, v;
            if (sscanf(arg.c_str(), "%f %f %f", &u, &c, &v) != 3) {
                warn("tileinfo warning: bad roll_resist parameters\n");
            } else if (b.roll_points >= CURVE_POINTS) {
                warn("tileinfo warning: too many roll_resist points\n");
            } else {
                b.s.roll_resist[b.roll_points][0] = std::max(u, 0.0f);
                b.s.roll_resist[b.roll_points][1] = std::max(c, 0.0f);
                b.s.roll_key[b.roll_points] = std::max(v, min_key);
                b.roll_points++;
            }
        } else if (keyword == "roost") {
            parse_roost(b, arg.c_str());
        } else if (keyword.rfind("erode_", 0) == 0 &&
                   (keyword == "erode_depth" || keyword == "erode_lower" || keyword == "erode_upper" ||
                    keyword == "erode_displacement" || keyword == "erode_radius" || keyword == "erode_max_slope" ||
                    keyword == "erode_off_speed" || keyword == "erode_on_speed")) {
            float v;
            if (sscanf(arg.c_str(), "%f", &v) != 1) {
                snprintf(msg, sizeof msg, "tileinfo warning: bad %s\n", keyword.c_str());
                warn(msg);
            } else {
                Erosion& e = b.s.erosion;
                const std::string k = keyword.substr(6);
                (k == "depth" ? e.depth : k == "lower" ? e.lower : k == "upper" ? e.upper
                 : k == "displacement" ? e.displacement : k == "radius" ? e.radius
                 : k == "max_slope" ? e.max_slope : k == "off_speed" ? e.off_speed : e.on_speed) = v;
            }
        } else if (keyword == "addtile") {
            finish_curves(b);
            resolve_texture(t, &b.s);
            t->surfaces[t->surface_count++] = b.s;
            b = SurfaceBuilder{};
        } else {
            snprintf(msg, sizeof msg, "tileinfo warning: Unknown identifier '%.950s'\n", keyword.c_str());
            warn(msg);
        }
    }
}

void texturelist_read(Terrain* t, DataFile* f) {
    char line[1024];
    while (t->surface_count < SURFACE_MAX && file_gets(f, line, sizeof line)) {
        const char* p = line;
        while (*p && isspace((unsigned char)*p)) p++;
        float fr = 1, r0 = 5, r1 = 15;
        int used = 0;
        const char* name = p;
        if (sscanf(p, "%f %f %f %n", &fr, &r0, &r1, &used) == 3 && used > 0) {
            name = p + used;
        } else {
            fr = 1, r0 = 5, r1 = 15;
        }
        std::string texture = name;
        while (!texture.empty() && (texture.back() == '\n' || texture.back() == '\r')) texture.pop_back();
        if (texture.empty()) continue;

        SurfaceType& s = t->surfaces[t->surface_count++];
        surface_reset(&s);
        s.texture_name = "@" + texture;
        s.friction_value[0] = fr;
        s.friction_key[0] = 1;
        s.roll_resist[0][0] = r0;
        s.roll_resist[0][1] = r1;
        s.roll_key[0] = 1;
        s.roost[0] = default_roost(1);
        resolve_texture(t, &s);
    }
}

void surface_transition_codes(Terrain* t) {
    std::vector<std::string> names;
    for (int i = 0; i < t->surface_count; i++) names.push_back(base_name(t->surfaces[i].texture_name));
    auto find = [&](const std::string& n) {
        for (size_t i = 0; i < names.size(); i++)
            if (!n.empty() && names[i] == n) return int(i);
        return -1;
    };
    for (int i = 0; i < t->surface_count; i++) {
        SurfaceType& s = t->surfaces[i];
        s.transition_code = -1;
        const std::string& n = names[size_t(i)];
        if (n.size() < 8 || n[n.size() - 5] != '-') continue;
        std::string bits = n.substr(n.size() - 4);
        if (bits.find_first_not_of("01") != std::string::npos) continue;
        std::string pair = n.substr(0, n.size() - 5);
        for (size_t h = pair.find('-'); h != std::string::npos; h = pair.find('-', h + 1)) {
            int a = find(pair.substr(0, h)), b = find(pair.substr(h + 1));
            if (a < 0 || b < 0) continue;
            s.transition_code = (a << 16) | (b << 8) | int(strtol(bits.c_str(), nullptr, 2));
            break;
        }
    }
}

}  // namespace gr
