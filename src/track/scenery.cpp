// Track scenery records: billboards, statues (models that may be solid) with
// their orientation and collision bins, and the flaggers file (starter, lap
// board, flag marshals); and writing billboards and statues back.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

TrackScenery scenery;

namespace {

bool is_hex(char c) { return isxdigit((unsigned char)c) != 0; }

void normalise(float v[3]) {
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0)
        for (int i = 0; i < 3; i++) v[i] /= len;
}

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// "null" stands for no name.
const char* named(const char* s) { return s && *s && strcmp(s, "null") ? s : nullptr; }

// The first companion map that loads: name cut at `cut` plus each suffix.
uint32_t companion_map(const std::string& name, char cut, const char* const suffixes[3], bool* had_cut) {
    size_t at = name.find_last_of(cut);
    *had_cut = at != std::string::npos;
    if (!*had_cut) return 0;
    for (int i = 0; i < 3; i++)
        if (uint32_t id = texture_load((name.substr(0, at) + suffixes[i]).c_str())) return id;
    return 0;
}

uint32_t statue_map(const std::string& texture, const std::string& model, const char* kind) {
    std::string k = kind;
    const std::string repeat = "-repeat.png";
    const char* rep[3] = {nullptr, nullptr, nullptr};
    std::string rs[3] = {k + "-repeat.seq", k + "-repeat.png", k + "-repeat.ppm"};
    std::string ps[3] = {k + ".seq", k + ".png", k + ".ppm"};
    const char* plain[3] = {ps[0].c_str(), ps[1].c_str(), ps[2].c_str()};
    for (int i = 0; i < 3; i++) rep[i] = rs[i].c_str();
    bool had_cut = false;
    uint32_t id;
    if (texture.size() >= repeat.size() && texture.compare(texture.size() - repeat.size(), repeat.size(), repeat) == 0)
        id = companion_map(texture, '-', rep, &had_cut);
    else
        id = companion_map(texture, '.', plain, &had_cut);
    if (id || !had_cut) return id;
    return companion_map(model, '.', plain, &had_cut);
}

std::string track_file(const char* track_path, const char* name) { return std::string(track_path) + "/" + name; }

}  // namespace

int billboard_add(float x, float above_ground, float z, float height, float width_factor, const char* texture) {
    Billboard b;
    b.x = x;
    b.z = z;
    b.height = height;
    b.above_ground = above_ground;
    b.width_factor = width_factor;
    const char* name = texture;
    if (name && strlen(name) > 8 && name[0] == '#' && name[7] == '#') {
        bool hex = true;
        for (int i = 1; i < 7; i++) hex = hex && is_hex(name[i]);
        if (hex) {
            char c[3] = {0, 0, 0};
            for (int i = 0; i < 3; i++) {
                c[0] = name[1 + 2 * i];
                c[1] = name[2 + 2 * i];
                b.colour[i] = uint8_t(strtol(c, nullptr, 16));
            }
            name += 8;
        }
    }
    if (name && *name) {
        b.texture_name = name;
        b.texture = texture_load(name);
    }
    b.y = terrain_height_at(x, z) + above_ground;
    scenery.billboards.push_back(b);
    return int(scenery.billboards.size()) - 1;
}

void statue_orientation(float x, float z, float v, float m[9]) {
    float ax[3], ay[3], az[3];
    if (v >= 3.25f) {
        ax[0] = 1, ax[1] = 0, ax[2] = 0;
        ay[0] = 0, ay[1] = 1, ay[2] = 0;
        az[0] = 0, az[1] = 0, az[2] = 1;
    } else if (v <= -2 * float(M_PI)) {
        ax[0] = std::cos(v), ax[1] = 0, ax[2] = -std::sin(v);
        ay[0] = 0, ay[1] = 1, ay[2] = 0;
        az[0] = std::sin(v), az[1] = 0, az[2] = std::cos(v);
    } else {
        float h = terrain_height_at(x, z);
        float u[3] = {-(terrain_height_at(x + 1, z) - h), 1, -(terrain_height_at(x, z + 1) - h)};
        normalise(u);
        float a[3] = {std::cos(v), 0, -std::sin(v)};
        cross(a, u, az);
        normalise(az);
        cross(u, az, ax);
        for (int i = 0; i < 3; i++) ay[i] = u[i];
    }
    // Columns: x, y, z axes (row-major storage, m[row * 3 + column]).
    for (int r = 0; r < 3; r++) {
        m[r * 3 + 0] = ax[r];
        m[r * 3 + 1] = ay[r];
        m[r * 3 + 2] = az[r];
    }
}

int statue_add(float x, float above_ground, float z, float angle, const char* model, const char* texture,
               const char* shape) {
    Statue s;
    s.x = x;
    s.z = z;
    s.above_ground = above_ground;
    s.angle = angle;
    s.facing_distance = angle >= 3.25f ? std::exp2(angle) : 0;
    model = named(model);
    texture = named(texture);
    shape = named(shape);
    if (model) {
        s.model_name = model;
        s.model = model_load(model);
    }
    if (texture) s.texture_name = texture;
    if (shape) s.shape_name = shape;
    if (s.model && texture) {
        s.texture = texture_load(texture);
        if (gfx_options.shaders) {
            s.normal_map = statue_map(s.texture_name, s.model_name, "_norm");
            s.specular_map = statue_map(s.texture_name, s.model_name, "_spec");
        }
    }
    if (shape) {
        s.shape = collision_shape_copy(collision_shape_load(shape));
        if (!s.shape) msg_printf("Warning: missing shape file %.900s", shape);
    }
    s.y = terrain_height_at(x, z) + above_ground;
    statue_orientation(x, z, angle, s.orientation);
    scenery.statues.push_back(std::move(s));
    return int(scenery.statues.size()) - 1;
}

void statue_bins_build() {
    for (auto& row : scenery.bins)
        for (auto& bin : row) bin.clear();
    const float W = terrain.field_size;
    if (W <= 0) return;
    auto cell = [&](float w) {
        float c = std::floor(8.0f * (w / W - 0.125f) * 4.0f / 3.0f);
        return int(std::fmin(std::fmax(c, 0.0f), 7.0f));
    };
    for (size_t i = 0; i < scenery.statues.size(); i++) {
        const Statue& s = scenery.statues[i];
        if (!s.shape) continue;
        float r = float(s.shape->bounding_radius);
        for (int row = cell(s.z - r); row <= cell(s.z + r); row++)
            for (int col = cell(s.x - r); col <= cell(s.x + r); col++) {
                auto& bin = scenery.bins[row][col];
                if (bin.empty()) bin.reserve(16);
                bin.push_back(int(i));
            }
    }
}

void billboards_read(const char* track_path) {
    std::string name = track_file(track_path, "billboards");
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;
    scenery.first_file_billboard = int(scenery.billboards.size());
    for (;;) {
        float x, h, z, height, width;
        char tex[1024];
        if (file_scanf(f, "[ %f %f %f ] %f %f %1023s ", &x, &h, &z, &height, &width, tex) != 6) break;
        billboard_add(x, h, z, height, width, tex);
    }
    file_close(f);
}

void statues_read(const char* track_path) {
    std::string name = track_file(track_path, "statues");
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;
    scenery.first_file_statue = int(scenery.statues.size());
    for (;;) {
        float x, h, z, angle;
        char model[1024], tex[1024], shape[1024];
        if (file_scanf(f, "[ %f %f %f ] %f %1023s %1023s %1023s ", &x, &h, &z, &angle, model, tex, shape) != 7) break;
        statue_add(x, h, z, angle, model, tex, shape);
    }
    file_close(f);
}

void flaggers_load(const char* track_path) {
    TrackScenery& sc = scenery;
    sc.starter = Starter{};
    sc.lap_board = LapBoard{};
    sc.flaggers.clear();
    std::string name = track_file(track_path, "flaggers");
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;
    char tex[1024];
    auto read_textures = [&](uint32_t* out, int n, std::string* first) {
        for (int i = 0; i < n; i++) {
            if (file_scanf(f, " %1023s ", tex) != 1) return false;
            if (i == 0 && first) *first = tex;
            out[i] = texture_load(tex);
        }
        return true;
    };
    do {
        Starter st;
        float height, width;
        if (file_scanf(f, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &st.from[0], &st.from[1], &st.from[2], &st.to[0],
                       &st.to[1], &st.to[2], &height, &width, &st.walk_seconds) != 9)
            break;
        std::string first;
        if (!read_textures(st.textures, 5, &first)) break;
        st.billboard = billboard_add(st.from[0], st.from[1], st.from[2], height, width, first.c_str());
        sc.starter = st;

        LapBoard lb;
        float pos[3];
        if (file_scanf(f, " [ %f %f %f ] %f %f ", &pos[0], &pos[1], &pos[2], &height, &width) != 5) break;
        if (!read_textures(lb.textures, 4, &first)) break;
        lb.billboard = billboard_add(pos[0], pos[1], pos[2], height, width, first.c_str());
        sc.lap_board = lb;

        const int last_gate = int(track_gates.gates.size()) - 1;
        for (;;) {
            Flagger m;
            if (file_scanf(f, " [ %f %f %f ] %f %f %d %d %d %d", &pos[0], &pos[1], &pos[2], &height, &width, &m.gates[0],
                           &m.gates[1], &m.gates[2], &m.gates[3]) != 9)
                break;
            uint32_t t[2];
            if (!read_textures(t, 2, &first)) break;
            for (int& g : m.gates) {
                if (g < -1) g = -1;
                if (g > last_gate) g = last_gate;
            }
            m.normal = t[0];
            m.waving = t[1];
            m.billboard = billboard_add(pos[0], pos[1], pos[2], height, width, first.c_str());
            if (sc.flaggers.empty()) sc.flaggers.reserve(16);
            sc.flaggers.push_back(m);
        }
    } while (false);
    file_close(f);
}

bool billboards_save(const char* track_path) {
    std::string name = track_file(track_path, "billboards");
    DataFile* f = file_replace_open(name.c_str());
    if (!f) {
        msg_print("Can't open 'billboards'\n");
        return false;
    }
    for (size_t i = size_t(scenery.first_file_billboard); i < scenery.billboards.size(); i++) {
        const Billboard& b = scenery.billboards[i];
        if (b.texture_name.empty()) continue;
        file_printf(f, "[%f %f %f] %f %f ", b.x, b.above_ground, b.z, b.height, b.width_factor);
        if (b.colour[0] != 255 || b.colour[1] != 255 || b.colour[2] != 255)
            file_printf(f, "#%02x%02x%02x#%s\n", b.colour[0], b.colour[1], b.colour[2], b.texture_name.c_str());
        else
            file_printf(f, "%s\n", b.texture_name.c_str());
    }
    if (!file_replace_commit(f, name.c_str())) {
        msg_print("Can't open 'billboards'\n");
        return false;
    }
    return true;
}

bool statues_save(const char* track_path) {
    std::string name = track_file(track_path, "statues");
    DataFile* f = file_replace_open(name.c_str());
    if (!f) {
        msg_print("Can't open 'statues'\n");
        return false;
    }
    auto or_null = [](const std::string& s) { return s.empty() ? "null" : s.c_str(); };
    for (size_t i = size_t(scenery.first_file_statue); i < scenery.statues.size(); i++) {
        const Statue& s = scenery.statues[i];
        file_printf(f, "[%f %f %f] %f %s %s %s\n", s.x, s.above_ground, s.z, s.angle, or_null(s.model_name),
                    or_null(s.texture_name), or_null(s.shape_name));
    }
    if (!file_replace_commit(f, name.c_str())) {
        msg_print("Can't open 'statues'\n");
        return false;
    }
    return true;
}

void scenery_free() {
    for (Statue& s : scenery.statues) collision_shape_free(s.shape);
    scenery = TrackScenery{};
}

}  // namespace gr
