// The track's "lighting" file: sun, ambient, clipping planes, fog, sky
// textures and lens flares.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "gfx/image.h"
#include "track/track.h"

namespace gr {

Lighting lighting;
Sky sky;
void (*fog_apply)(const Sky* s) = nullptr;

namespace {

// " [ %f %f %f ] ": the numbers given replace the old values.
void read_triple(const char* arg, float v[3]) {
    float t[3] = {v[0], v[1], v[2]};
    int n = sscanf(arg, " [ %f %f %f ]", &t[0], &t[1], &t[2]);
    for (int i = 0; i < n && i < 3; i++) v[i] = t[i];
}

}  // namespace

void lighting_load(const char* track_path) {
    lighting = Lighting{};
    Sky& s = sky;
    for (uint32_t& f : s.faces) f = 0;
    s.environment = 0;
    s.fog_density = 0;
    s.flares.clear();
    s.flares.reserve(16);
    LensFlare pending;

    std::string name = std::string(track_path) + "/lighting";
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;
    const char* msg = "Loading lighting";
    loading_begin(msg);

    char line[2048];
    while (file_gets(f, line, sizeof line)) {
        loading_tick(msg);
        char* p = line;
        while (*p == ' ' || *p == '\t') p++;
        if (!*p || *p == '\n' || *p == '\r') continue;
        char* kw_end = p;
        while (*kw_end && *kw_end != ' ' && *kw_end != '\t' && *kw_end != '\n' && *kw_end != '\r') kw_end++;
        std::string keyword(p, kw_end);
        char* arg = kw_end;
        while (*arg == ' ' || *arg == '\t') arg++;
        size_t n = strlen(arg);
        while (n && isspace((unsigned char)arg[n - 1])) arg[--n] = 0;

        Lighting& L = lighting;
        if (keyword == "sun_vector") read_triple(arg, L.sun_vector);
        else if (keyword == "sun_color") read_triple(arg, L.sun_color);
        else if (keyword == "ambient") read_triple(arg, L.ambient);
        else if (keyword == "global_ambient") read_triple(arg, L.global_ambient);
        else if (keyword == "sky_n") s.faces[0] = texture_load(arg);
        else if (keyword == "sky_e") s.faces[1] = texture_load(arg);
        else if (keyword == "sky_s") s.faces[2] = texture_load(arg);
        else if (keyword == "sky_w") s.faces[3] = texture_load(arg);
        else if (keyword == "sky_u") s.faces[4] = texture_load(arg);
        else if (keyword == "sky_env") s.environment = texture_load(arg);
        else if (keyword == "flare_element") {
            float a, b, r, g, bl, size;
            char tex[1024];
            if (sscanf(arg, " [ %f %f ] [ %f %f %f ] %f %1023s", &a, &b, &r, &g, &bl, &size, tex) == 7 &&
                pending.elements < 8) {
                int e = pending.elements++;
                pending.offset[e][0] = a;
                pending.offset[e][1] = b;
                pending.colour[e][0] = r;
                pending.colour[e][1] = g;
                pending.colour[e][2] = bl;
                pending.size[e] = size;
                pending.texture[e] = texture_load(tex);
            }
        } else if (keyword == "flare_point" || keyword == "flare_vector") {
            read_triple(arg, pending.source);
            pending.kind = keyword == "flare_point" ? 0 : 1;
            s.flares.push_back(pending);
            pending = LensFlare{};
        } else if (keyword == "fog") {
            float c[3], d;
            if (sscanf(arg, " [ %f %f %f ] %f", &c[0], &c[1], &c[2], &d) == 4) {
                for (int i = 0; i < 3; i++) s.fog_colour[i] = c[i];
                s.fog_density = d;
            }
        } else if (keyword == "dynamic_lighting") {
            int v = 0;
            sscanf(arg, "%d", &v);
            L.dynamic_lighting = v > 0 ? 1 : 0;
        } else if (keyword == "near_plane") {
            sscanf(arg, "%f", &L.near_plane);
        } else if (keyword == "far_plane") {
            sscanf(arg, "%f", &L.far_plane);
        } else {
            msg_printf("Error reading lighting: Unknown identifier '%.950s'\n", keyword.c_str());
            break;
        }
    }
    file_close(f);

    Lighting& L = lighting;
    if (!(L.near_plane >= 1.0f / 1024)) L.near_plane = 1.0f / 1024;  // also catches NaN
    if (L.near_plane > 0.875f) L.near_plane = 0.875f;
    if (!(L.far_plane >= L.near_plane)) L.far_plane = L.near_plane;
    else if (L.far_plane > 1048576.0f) L.far_plane = 1048576.0f;
    float len = std::sqrt(L.sun_vector[0] * L.sun_vector[0] + L.sun_vector[1] * L.sun_vector[1] +
                          L.sun_vector[2] * L.sun_vector[2]);
    if (len > 0 && std::isfinite(len))
        for (float& c : L.sun_vector) c /= len;

    static const char* const defaults[5] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm", "@sky-u.ppm"};
    for (int i = 0; i < 5; i++) {
        loading_tick(msg);
        if (!s.faces[i]) s.faces[i] = texture_load(defaults[i]);
    }
    if (!s.environment) s.environment = texture_load("@sky-env.ppm");
    loading_end(msg);
    if (fog_apply) fog_apply(&s);
}

}  // namespace gr
