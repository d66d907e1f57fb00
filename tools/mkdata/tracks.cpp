// The tracks: each is a course design plus a landscape style. From them this
// file derives the height field, surfaces and tilemap, shading and shadows
// from the track's own sun, the timing gates and lap plan, cameras, scenery,
// the map picture and the description, and stores them in the track's
// archive. A shaded top-down preview and a note on the course go to the
// preview folder.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "mkdata/course.h"
#include "mkdata/mkdata.h"
#include "mkdata/surfaces.h"

namespace mkdata {

namespace {

// Height field size: 2^9 half size, 2-foot spacing: 2048 feet square.
constexpr int SIZE_EXP = 9;
constexpr int HALF = 1 << SIZE_EXP;
constexpr int DIM = 2 * HALF + 1;
constexpr double SPACING = 2.0;
constexpr double FIELD = 2 * HALF * SPACING;

enum Landscape { DESERT, FOREST, COAST };

// How a track's surfaces are used, as indices into its tileinfo list.
struct SurfaceRoles {
    std::vector<SurfaceKind> list;  // tileinfo order
    int main, face, edge, pad, off, off2, steep, wet;  // wet: -1 for none
};

struct TrackStyle {
    std::string dir, name, blurb;
    uint32_t seed;
    Landscape land;
    CourseDesign course;
    SurfaceRoles roles;
    double sun_azimuth, sun_elevation;  // degrees; azimuth 0 = +x, 90 = +z
    double sun_color[3], ambient[3], global_ambient[3];
    double fog[4];
    bool inline_heights;    // samples in terrain.hf after ":" instead of terrain.png
    bool shading_x1;        // shading.ppm instead of shadingx2.ppm
    std::vector<std::string> gz, scram;  // files stored compressed / scrambled
};

// ---------------------------------------------------------------------------
// The three tracks

std::vector<TrackStyle> track_styles() {
    std::vector<TrackStyle> v;
    {
        TrackStyle t;
        t.dir = "redmesa";
        t.name = "Red Mesa";
        t.blurb = "Hard red clay between desert mesas: a technical layout with a step-up onto the mesa shelf.";
        t.seed = 1101;
        t.land = DESERT;
        CourseDesign& c = t.course;
        c.half_width = 12;
        c.corners = {{{420, 1620}, 55},  {{1250, 1620}, 50}, {{1330, 1380}, 45}, {{1650, 1300}, 45},
                     {{1620, 900}, 40},  {{1250, 1000}, 45}, {{1300, 600}, 45},  {{900, 450}, 50},
                     {{800, 850}, 40},   {{450, 900}, 45},   {{600, 1250}, 40},  {{350, 1350}, 45}};
        c.features = {
            {TABLETOP, 1, 20, 5, 30},     {WHOOPS, 2, 40, 1.8, 13, 12}, {DOUBLE, 3, 60, 5, 20},
            {RHYTHM, 4, 40, 3.5, 32, 4},  {STEP_UP, 5, 90, 6, 12},       {DROP, 6, 300, 0, 0},
            {TABLETOP, 7, 80, 7, 50},     {DOUBLE, 8, 60, 4.5, 18},       {WHOOPS, 9, 30, 1.5, 12, 8},
            {TABLETOP, 9, 150, 4, 24},    {RHYTHM, 10, 20, 3, 30, 3},   {ROLLER, 0, 420, 2.5, 40},
        };
        c.merge_edge = 0;
        c.merge_offset = 230;
        c.chute_side = 1;
        c.chute_offset = 115;
        c.chute_length = 400;
        c.finish_back = 150;
        t.roles = {{RED_CLAY, HARDPACK, LOOSE_DIRT, DRY_GRASS, ROCK, SAND}, 0, 1, 2, 1, 3, 5, 4, -1};
        t.sun_azimuth = 215;
        t.sun_elevation = 48;
        t.sun_color[0] = 1.0, t.sun_color[1] = 0.93, t.sun_color[2] = 0.8;
        t.ambient[0] = 0.5, t.ambient[1] = 0.46, t.ambient[2] = 0.45;
        t.global_ambient[0] = t.global_ambient[1] = t.global_ambient[2] = 0.2;
        t.fog[0] = 0.85, t.fog[1] = 0.75, t.fog[2] = 0.65, t.fog[3] = 0.00025;
        t.inline_heights = false;
        t.shading_x1 = false;
        t.gz = {"tilemap"};
        v.push_back(t);
    }
    {
        TrackStyle t;
        t.dir = "pinehollow";
        t.name = "Pine Hollow";
        t.blurb = "Fast, hilly loam through the pines, with a long top straight and a muddy hollow.";
        t.seed = 2202;
        t.land = FOREST;
        CourseDesign& c = t.course;
        c.half_width = 13;
        c.corners = {{{350, 750}, 55},   {{1300, 750}, 45}, {{1380, 1050}, 45}, {{550, 1100}, 50}, {{500, 1400}, 50},
                     {{1350, 1450}, 90}, {{1650, 1300}, 55}, {{1600, 550}, 55}, {{350, 530}, 50}};
        c.features = {
            {DOUBLE, 1, 15, 4.5, 18},        {TABLETOP, 2, 40, 6, 40},       {WHOOPS, 2, 250, 2, 14, 10},
            {RHYTHM, 2, 480, 3.5, 32, 5},  {DOUBLE, 3, 40, 5, 20},       {TABLETOP, 4, 60, 7, 55},
            {WHOOPS, 4, 300, 1.6, 12, 12}, {STEP_UP, 4, 560, 6, 12},       {DROP, 5, 120, 0, 0},
            {DOUBLE, 6, 80, 5, 22},      {RHYTHM, 6, 320, 3, 30, 4},     {TABLETOP, 7, 120, 6, 45},
            {WHOOPS, 7, 420, 2, 14, 14},   {DOUBLE, 7, 750, 5.5, 22},        {ROLLER, 0, 500, 3, 50},
        };
        c.merge_edge = 0;
        c.merge_offset = 300;
        c.chute_side = 1;
        c.chute_offset = 115;
        c.chute_length = 420;
        c.finish_back = 160;
        t.roles = {{LOAM, HARDPACK, LOOSE_DIRT, MUD, GRASS, ROCK}, 0, 1, 2, 1, 4, 4, 5, 3};
        t.sun_azimuth = 120;
        t.sun_elevation = 36;
        t.sun_color[0] = 1.0, t.sun_color[1] = 0.95, t.sun_color[2] = 0.85;
        t.ambient[0] = 0.45, t.ambient[1] = 0.5, t.ambient[2] = 0.52;
        t.global_ambient[0] = t.global_ambient[1] = t.global_ambient[2] = 0.22;
        t.fog[0] = 0.7, t.fog[1] = 0.76, t.fog[2] = 0.8, t.fog[3] = 0.0004;
        t.inline_heights = true;
        t.shading_x1 = false;
        t.gz = {"terrain.hf"};
        v.push_back(t);
    }
    {
        TrackStyle t;
        t.dir = "sandpoint";
        t.name = "Sandpoint";
        t.blurb = "Deep sand behind the dunes: whoops, tight bowl turns and ruts that grow every lap.";
        t.seed = 3303;
        t.land = COAST;
        CourseDesign& c = t.course;
        c.half_width = 14;
        c.corners = {{{500, 1500}, 55},  {{1100, 1500}, 50}, {{1250, 1250}, 45}, {{1600, 1300}, 45},
                     {{1550, 900}, 45},  {{1150, 1000}, 40}, {{1200, 700}, 45},  {{1550, 550}, 45},
                     {{1450, 300}, 45},  {{700, 350}, 50},   {{850, 750}, 45},   {{450, 900}, 45},
                     {{400, 1250}, 60}};
        c.features = {
            {WHOOPS, 1, 20, 2.2, 14, 9},   {TABLETOP, 3, 30, 5, 35},      {DOUBLE, 4, 40, 4.5, 20},
            {RHYTHM, 5, 40, 3, 30, 4},     {STEP_UP, 6, 40, 5, 12},       {DROP, 7, 120, 0, 0},
            {WHOOPS, 8, 40, 2, 13, 16},    {TABLETOP, 8, 330, 6, 45},     {RHYTHM, 9, 40, 3.2, 32, 4},     {DOUBLE, 10, 60, 5, 20},
            {WHOOPS, 11, 20, 1.6, 12, 10}, {ROLLER, 0, 400, 2, 40},
        };
        c.merge_edge = 0;
        c.merge_offset = 250;
        c.chute_side = 1;
        c.chute_offset = 115;
        c.chute_length = 380;
        c.finish_back = 150;
        t.roles = {{SAND, HARDPACK, LOOSE_DIRT, DRY_GRASS, GRASS, MUD}, 0, 1, 2, 1, 3, 4, 3, 5};
        t.sun_azimuth = 300;
        t.sun_elevation = 38;
        t.sun_color[0] = 0.62, t.sun_color[1] = 0.6, t.sun_color[2] = 0.56;
        t.ambient[0] = 0.38, t.ambient[1] = 0.39, t.ambient[2] = 0.42;
        t.global_ambient[0] = t.global_ambient[1] = t.global_ambient[2] = 0.25;
        t.fog[0] = 0.8, t.fog[1] = 0.85, t.fog[2] = 0.9, t.fog[3] = 0.0003;
        t.inline_heights = false;
        t.shading_x1 = true;
        t.scram = {"timing_gates"};
        t.gz = {"lighting"};
        t.scram.push_back("lighting");  // lighting.gz.scram
        v.push_back(t);
    }
    return v;
}

// ---------------------------------------------------------------------------
// Landscape

// The broad lie of the land, which the course follows too.
double grade(const TrackStyle& t, double x, double z) {
    switch (t.land) {
        case DESERT: return 14 * fbm(x / 900, z / 900, t.seed, 3);
        case FOREST: return 30 * fbm(x / 800, z / 800, t.seed, 3);
        case COAST: return 5 * fbm(x / 900, z / 900, t.seed, 2);
    }
    return 0;
}

// Natural ground: hills, mesas or dunes that grow with distance from the
// course, and higher ground around the edge of the field.
double natural(const TrackStyle& t, double x, double z, double dist, double g) {
    double rc = std::hypot(x - FIELD / 2, z - FIELD / 2);
    double away = smoothstep(25, 240, dist);
    switch (t.land) {
        case DESERT: {
            double hills = 10 * fbm(x / 260, z / 260, t.seed + 5, 4) * away;
            double m = fbm(x / 420, z / 420, t.seed + 9, 3) + 0.9 * smoothstep(650, 1050, rc) - 0.1;
            double level = smoothstep(0.05, 0.4, m) * 3;  // up to three shelves
            double shelf = std::floor(level) + smoothstep(0.75, 1.0, level - std::floor(level));
            double mesa = 26 * shelf * smoothstep(60, 260, dist);
            return g + hills + mesa;
        }
        case FOREST: {
            double hills = 22 * fbm(x / 260, z / 260, t.seed + 5, 4) * away;
            double rim = 70 * smoothstep(700, 1100, rc) * (0.7 + 0.3 * fbm(x / 200, z / 200, t.seed + 7, 3));
            return g + hills + rim * smoothstep(60, 300, dist);
        }
        case COAST: {
            double r = 1 - std::fabs(fbm(x / 170, z / 110, t.seed + 5, 3));
            double dunes = 16 * r * r * away;
            double rim = 30 * smoothstep(750, 1100, rc) * smoothstep(60, 300, dist);
            return g + dunes + rim + 3 * fbm(x / 60, z / 60, t.seed + 3, 2) * away;
        }
    }
    return g;
}

// ---------------------------------------------------------------------------
// Which part of the course a grid vertex belongs to

enum { PART_LAP = 0, PART_CHUTE = 1, PARTS = 2 };

struct Nearest {
    std::vector<float> d, s, v;  // distance to the centre-line, arc length, signed lateral offset (+ right)
};

double course_reach(double hw) { return hw + 2 + 1.2 * 5 + 12 + 1.5 * 5 + 2; }

void stamp(const std::vector<CoursePoint>& line, bool closed, Nearest* out) {
    out->d.assign(size_t(DIM) * DIM, 1e9f);
    out->s.assign(size_t(DIM) * DIM, 0);
    out->v.assign(size_t(DIM) * DIM, 0);
    size_t segs = closed ? line.size() : line.size() - 1;
    for (size_t i = 0; i < segs; i++) {
        const CoursePoint& a = line[i];
        const CoursePoint& b = line[(i + 1) % line.size()];
        Vec2 seg = b.p - a.p;
        double len2 = dot(seg, seg), len = std::sqrt(len2);
        Vec2 right{-a.dir.z, a.dir.x};
        double R = course_reach(std::fmax(a.hw, b.hw));
        int c0 = std::max(0, int((std::fmin(a.p.x, b.p.x) - R) / SPACING));
        int c1 = std::min(DIM - 1, int((std::fmax(a.p.x, b.p.x) + R) / SPACING) + 1);
        int r0 = std::max(0, int((std::fmin(a.p.z, b.p.z) - R) / SPACING));
        int r1 = std::min(DIM - 1, int((std::fmax(a.p.z, b.p.z) + R) / SPACING) + 1);
        for (int r = r0; r <= r1; r++)
            for (int c = c0; c <= c1; c++) {
                Vec2 q{c * SPACING, r * SPACING};
                Vec2 rel = q - a.p;
                double t = clampd(dot(rel, seg) / len2, 0, 1);
                Vec2 off = rel - seg * t;
                double d = length(off);
                size_t k = size_t(r) * DIM + size_t(c);
                if (d < out->d[k]) {
                    out->d[k] = float(d);
                    out->s[k] = float(a.s + t * len);
                    out->v[k] = float(dot(rel, right));
                }
            }
    }
}

// Chamfer distance transform: approximate distance to the nearest seed.
void chamfer(std::vector<float>& d) {
    const float a = float(SPACING), b = float(SPACING * M_SQRT2);
    for (int r = 0; r < DIM; r++)
        for (int c = 0; c < DIM; c++) {
            float& v = d[size_t(r) * DIM + c];
            if (c > 0) v = std::min(v, d[size_t(r) * DIM + c - 1] + a);
            if (r > 0) {
                v = std::min(v, d[size_t(r - 1) * DIM + c] + a);
                if (c > 0) v = std::min(v, d[size_t(r - 1) * DIM + c - 1] + b);
                if (c + 1 < DIM) v = std::min(v, d[size_t(r - 1) * DIM + c + 1] + b);
            }
        }
    for (int r = DIM - 1; r >= 0; r--)
        for (int c = DIM - 1; c >= 0; c--) {
            float& v = d[size_t(r) * DIM + c];
            if (c + 1 < DIM) v = std::min(v, d[size_t(r) * DIM + c + 1] + a);
            if (r + 1 < DIM) {
                v = std::min(v, d[size_t(r + 1) * DIM + c] + a);
                if (c + 1 < DIM) v = std::min(v, d[size_t(r + 1) * DIM + c + 1] + b);
                if (c > 0) v = std::min(v, d[size_t(r + 1) * DIM + c - 1] + b);
            }
        }
}

// What the course does at one vertex.
struct CourseSample {
    double weight = 0;   // 1 on the course, falling to 0 across the shoulder
    double height = 0;   // course surface height above the grade
    int part = -1;
    double s = 0, v = 0, hw = 0;
    double bank_t = 0;   // 0 inside .. 1 at the outside edge of a berm
    double berm = 0;     // berm height here
    double slope = 0;    // profile slope along the course
};

CourseSample sample_part(const Course& course, int part, const Nearest& nr, size_t k) {
    CourseSample cs;
    double d = nr.d[k];
    if (d > 1e8) return cs;
    double s = nr.s[k], v = nr.v[k];
    if (part == PART_LAP) {
        size_t n = course.lap.size();
        size_t i = size_t(s / course.lap_length * double(n)) % n;
        double hw = course.lap[i].hw;
        double B = course.berm[i], Bm = std::fabs(B);
        double u_out = B > 0 ? -v : v;  // toward the outside of the corner
        double lip = Bm > 0.3 ? 2 + 1.2 * Bm : 1;
        double sh = 12 + 1.5 * Bm;
        double e = u_out >= 0 ? u_out - hw - lip : -u_out - hw - 1;
        cs.weight = e <= 0 ? 1 : 1 - smoothstep(0, sh, e);
        double bank = 0;
        if (Bm > 0.05) {
            double t = clampd((u_out + 0.25 * hw) / (1.25 * hw), 0, 1);
            bank = u_out <= hw ? Bm * t * t : Bm;
            cs.bank_t = t;
        }
        cs.berm = Bm;
        cs.height = course.profile.at(s) + bank;
        cs.slope = course.profile.slope(s);
        cs.hw = hw;
    } else {
        size_t n = course.chute.size();
        size_t i = std::min(n - 1, size_t(s / COURSE_STEP));
        double hw = course.chute[i].hw;
        double e = std::fabs(v) - hw - 1;
        cs.weight = e <= 0 ? 1 : 1 - smoothstep(0, 14, e);
        cs.hw = hw;
    }
    cs.part = part;
    cs.s = s;
    cs.v = v;
    return cs;
}

// ---------------------------------------------------------------------------
// The built track

struct Built {
    std::vector<float> h;      // heights as the game will read them back
    float low = 0, high = 0;
    std::vector<uint16_t> samples;
    std::vector<uint8_t> tilemap;
    std::vector<uint8_t> shade;   // D x D x 3, stored half scale
    std::vector<uint8_t> shadow;  // D x D, 0 lit .. 255 shadowed
    std::vector<float> dist;      // approximate distance to the course edge
    std::vector<int8_t> part;     // owning course part per vertex, -1 off course
};

float hgt(const Built& b, int c, int r) {
    c = std::clamp(c, 0, DIM - 1);
    r = std::clamp(r, 0, DIM - 1);
    return b.h[size_t(r) * DIM + size_t(c)];
}

// The same triangle interpolation as the game's height query.
float height_at(const Built& b, float x, float z) {
    float u = x / float(SPACING), v = z / float(SPACING);
    int i = int(std::floor(u)), j = int(std::floor(v));
    float fu = u - float(i), fv = v - float(j);
    int a, bb;
    if (((i ^ j) & 1) != 0) {
        a = i;
        bb = i + 1;
    } else {
        fu = 1 - fu;
        a = i + 1;
        bb = i;
    }
    int ra = j, rb = j + 1;
    if (fu + fv > 1) {
        fu = 1 - fu;
        fv = 1 - fv;
        std::swap(a, bb);
        std::swap(ra, rb);
    }
    float h0 = hgt(b, a, ra), h1 = hgt(b, bb, ra), h2 = hgt(b, a, rb);
    return h0 + fu * (h1 - h0) + fv * (h2 - h0);
}

void vertex_normal(const Built& b, int c, int r, double n[3]) {
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    double p[3] = {c * SPACING, hgt(b, c, r), r * SPACING};
    double sum[3] = {0, 0, 0};
    for (int k = 0; k < 8; k++) {
        const int* q0 = ring[k];
        const int* q1 = ring[(k + 1) % 8];
        double a[3] = {q0[0] * SPACING, hgt(b, c + q0[0], r + q0[1]) - p[1], q0[1] * SPACING};
        double e[3] = {q1[0] * SPACING, hgt(b, c + q1[0], r + q1[1]) - p[1], q1[1] * SPACING};
        double x[3] = {a[1] * e[2] - a[2] * e[1], a[2] * e[0] - a[0] * e[2], a[0] * e[1] - a[1] * e[0]};
        double l = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
        if (x[1] < 0) l = -l;  // keep every triangle's normal pointing up
        if (l != 0)
            for (int i = 0; i < 3; i++) sum[i] += x[i] / l;
    }
    double l = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    for (int i = 0; i < 3; i++) n[i] = l > 0 ? sum[i] / l : (i == 1);
}

void sun_vector(const TrackStyle& t, double L[3]) {
    double az = t.sun_azimuth * M_PI / 180, el = t.sun_elevation * M_PI / 180;
    L[0] = std::cos(el) * std::cos(az);
    L[1] = std::sin(el);
    L[2] = std::cos(el) * std::sin(az);
}

// Shadows by sweeping the field away from the sun: E holds, for every
// vertex, the highest the terrain between it and the sun rises above the
// sun's ray through the vertex's neighbour; a vertex below that is shaded.
void compute_shadows(const TrackStyle& t, Built* b) {
    double L[3];
    sun_vector(t, L);
    bool along_x = std::fabs(L[0]) >= std::fabs(L[2]);
    double major = along_x ? L[0] : L[2], minor = along_x ? L[2] : L[0];
    int step = major > 0 ? 1 : -1;
    double slide = minor / std::fabs(major);  // minor-axis cells per major step
    double horiz = SPACING * std::sqrt(1 + slide * slide);
    double rise = horiz * L[1] / std::hypot(L[0], L[2]);
    std::vector<float> E(size_t(DIM) * DIM, -1e9f);
    auto idx = [&](int major_i, int minor_i) {
        return along_x ? size_t(minor_i) * DIM + size_t(major_i) : size_t(major_i) * DIM + size_t(minor_i);
    };
    b->shadow.assign(size_t(DIM) * DIM, 0);
    int first = step > 0 ? DIM - 1 : 0;
    for (int m = first - step; m >= 0 && m < DIM; m -= step) {
        int prev = m + step;
        for (int q = 0; q < DIM; q++) {
            double pos = q + slide;
            int q0 = int(std::floor(pos));
            double f = pos - q0;
            if (q0 < 0 || q0 + 1 >= DIM) continue;
            size_t a = idx(prev, q0), c = idx(prev, q0 + 1);
            double env = lerp(std::max(E[a], b->h[a]), std::max(E[c], b->h[c]), f) - rise;
            size_t k = idx(m, q);
            E[k] = float(env);
            double over = env - b->h[k] - 0.05;
            b->shadow[k] = uint8_t(clampd(over / 1.2, 0, 1) * 255 + 0.5);
        }
    }
}

void compute_shading(const TrackStyle& t, Built* b) {
    double L[3];
    sun_vector(t, L);
    b->shade.assign(size_t(DIM) * DIM * 3, 0);
    for (int r = 0; r < DIM; r++)
        for (int c = 0; c < DIM; c++) {
            double n[3];
            vertex_normal(*b, c, r, n);
            size_t k = size_t(r) * DIM + size_t(c);
            double d = clampd(L[0] * n[0] + L[1] * n[1] + L[2] * n[2], 0, 1) * (1 - b->shadow[k] / 255.0);
            for (int i = 0; i < 3; i++)
                b->shade[k * 3 + size_t(i)] = uint8_t(clampd(int(255 * (t.sun_color[i] * d + t.ambient[i]) / 2), 0, 255));
        }
}

// ---------------------------------------------------------------------------
// Track files

struct Gate {
    Vec2 p, dir;
    double radius;
    double s;      // along the lap (lap gates) or the chute
    bool chute;
};

std::string vec3(double x, double y, double z) { return fmt("[%f %f %f]", x, y, z); }

double slot_angle(Vec2 dir) {
    // A bike placed on a slot of angle a faces (-sin a, -cos a).
    return std::atan2(-dir.x, -dir.z);
}

// Distance from a point to the nearest course edge, from the distance field.
double edge_distance(const Built& b, Vec2 p) {
    int c = std::clamp(int(p.x / SPACING + 0.5), 0, DIM - 1), r = std::clamp(int(p.z / SPACING + 0.5), 0, DIM - 1);
    return b.dist[size_t(r) * DIM + size_t(c)];
}

// A point beside the course at lap point i: `out` feet beyond its edge, on
// whichever side has more room.
Vec2 beside(const Course& course, const Built& b, size_t i, double out, int* side_used = nullptr) {
    const CoursePoint& cp = course.lap[i % course.lap.size()];
    Vec2 right{-cp.dir.z, cp.dir.x};
    double off = cp.hw + out + std::fabs(course.berm[i % course.lap.size()]) * 1.5;
    Vec2 a = cp.p + right * off, l = cp.p - right * off;
    bool use_right = edge_distance(b, a) >= edge_distance(b, l);
    if (side_used) *side_used = use_right ? 1 : -1;
    return use_right ? a : l;
}

size_t lap_index(const Course& c, double s) {
    size_t n = c.lap.size();
    double f = std::fmod(s + c.lap_length, c.lap_length) / c.lap_length;
    return size_t(f * double(n)) % n;
}

}  // namespace

// ---------------------------------------------------------------------------

static bool build_track(DataTree& tree, const TrackStyle& t, const Preview& preview) {
    Course course;
    if (!course_build(t.course, &course)) {
        fprintf(stderr, "gr_mkdata: the course of %s does not work\n", t.dir.c_str());
        return false;
    }
    const std::string A = t.dir + ".saf";
    const SurfaceRoles& ro = t.roles;

    // Nearest centre-line points of both parts, and the distance field.
    Nearest near[PARTS];
    stamp(course.lap, true, &near[PART_LAP]);
    stamp(course.chute, false, &near[PART_CHUTE]);
    Built b;
    b.dist.assign(size_t(DIM) * DIM, 1e9f);
    for (int p = 0; p < PARTS; p++)
        for (size_t k = 0; k < b.dist.size(); k++) {
            float hw = p == PART_LAP ? float(t.course.half_width) : float(PAD_HALF_WIDTH);
            if (near[p].d[k] < 1e8f) {
                if (p == PART_CHUTE) {
                    size_t i = std::min(course.chute.size() - 1, size_t(near[p].s[k] / COURSE_STEP));
                    hw = float(course.chute[i].hw);
                }
                b.dist[k] = std::min(b.dist[k], std::max(0.0f, near[p].d[k] - hw));
            }
        }
    chamfer(b.dist);

    // Heights: the course where it is, blended into the natural ground.
    std::vector<double> H(size_t(DIM) * DIM);
    std::vector<CourseSample> owner(size_t(DIM) * DIM);
    b.part.assign(size_t(DIM) * DIM, -1);
    for (int r = 0; r < DIM; r++)
        for (int c = 0; c < DIM; c++) {
            size_t k = size_t(r) * DIM + size_t(c);
            double x = c * SPACING, z = r * SPACING;
            double g = grade(t, x, z);
            double nat = natural(t, x, z, b.dist[k], g);
            CourseSample best;
            for (int p = 0; p < PARTS; p++) {
                CourseSample cs = sample_part(course, p, near[p], k);
                if (cs.weight > best.weight) best = cs;
            }
            double h = nat;
            if (best.weight > 0) {
                double bumps = 0.12 * value_noise(x / 5, z / 5, t.seed + 21);
                h = lerp(nat, g + best.height + bumps, best.weight);
                b.part[k] = int8_t(best.part);
            }
            H[k] = h;
            owner[k] = best;
        }

    // Quantise as terrain.hf and terrain.png store them, and read back the
    // heights the game will see.
    double lo = *std::min_element(H.begin(), H.end()), hi = *std::max_element(H.begin(), H.end());
    std::string header = fmt("%d %f %f %f\n", SIZE_EXP, SPACING, lo, hi);
    {
        int n;
        float sp;
        if (sscanf(header.c_str(), "%d %f %f %f", &n, &sp, &b.low, &b.high) != 4) return false;
    }
    const float scale = (b.high - b.low) / 65535.0f;
    b.samples.resize(H.size());
    b.h.resize(H.size());
    for (size_t k = 0; k < H.size(); k++) {
        double q = (H[k] - b.low) / (double(b.high) - double(b.low)) * 65535.0;
        b.samples[k] = uint16_t(clampd(std::floor(q + 0.5), 0, 65535));
        b.h[k] = b.low + float(b.samples[k]) * scale;
    }

    compute_shadows(t, &b);
    compute_shading(t, &b);

    // Tilemap: each tile takes the surface at its centre vertex. In the
    // forest the lowest stretch of the course stays wet.
    double wet_level = 1e9;
    for (const CoursePoint& cp : course.lap) wet_level = std::fmin(wet_level, grade(t, cp.p.x, cp.p.z) + 3);
    b.tilemap.assign(size_t(HALF) * HALF, 0);
    for (int j = 0; j < HALF; j++)
        for (int i = 0; i < HALF; i++) {
            int c = 2 * i + 1, r = 2 * j + 1;
            size_t k = size_t(r) * DIM + size_t(c);
            const CourseSample& o = owner[k];
            double n[3];
            vertex_normal(b, c, r, n);
            int surf;
            if (o.weight >= 0.999) {
                if (o.part == PART_CHUTE) {
                    surf = o.s < PAD_BACK + 60 ? ro.pad : ro.main;
                } else if (std::fabs(o.slope) > 0.16) {
                    surf = ro.face;
                } else if (std::fabs(o.v) > o.hw - 1.5 || (o.berm > 1 && o.bank_t > 0.75)) {
                    surf = ro.edge;
                } else {
                    surf = ro.main;
                    if (ro.wet >= 0 && t.land == FOREST && grade(t, c * SPACING, r * SPACING) < wet_level) surf = ro.wet;
                }
            } else if (o.weight > 0.45) {
                surf = ro.edge;
            } else {
                double x = c * SPACING, z = r * SPACING;
                double patch = fbm(x / 90, z / 90, t.seed + 31, 3);
                surf = patch > 0.15 ? ro.off2 : ro.off;
                if (n[1] < 0.8) surf = ro.steep;
                // Marsh in the hollows between the dunes, away from the course.
                if (t.land == COAST && ro.wet >= 0 && b.dist[k] > 60 && H[k] < grade(t, x, z) + 0.8 &&
                    fbm(x / 150, z / 150, t.seed + 33, 2) > 0.1)
                    surf = ro.wet;
            }
            b.tilemap[size_t(j) * HALF + size_t(i)] = uint8_t(surf);
        }

    // Timing gates: lap gates evenly spaced from the finish line round to
    // it, chute gates from the starting gate to the merge.
    std::vector<Gate> gates;
    int lap_gates = int(std::lround(course.lap_length / 80));
    double gap = course.lap_length / lap_gates;
    for (int j = 0; j < lap_gates; j++) {
        double s = std::fmod(course.finish_s + (j + 1) * gap, course.lap_length);
        size_t i = lap_index(course, s);
        const CoursePoint& cp = course.lap[i];
        gates.push_back(Gate{cp.p, cp.dir, cp.hw + 10 + std::fabs(course.berm[i]), cp.s, false});
    }
    double chute_len = course.chute.back().s;
    std::vector<int> first_lap;
    int chute_gates = int(std::ceil((chute_len - 30 - (PAD_BACK + 50)) / 90));
    for (int k = 0; k <= chute_gates; k++) {
        double s = PAD_BACK + 50 + k * (chute_len - 30 - (PAD_BACK + 50)) / chute_gates;
        const CoursePoint& cp = course.chute[size_t(s / COURSE_STEP)];
        first_lap.push_back(int(gates.size()));
        gates.push_back(Gate{cp.p, cp.dir, cp.hw + 10, s, true});
    }
    double merge_after_finish = std::fmod(course.merge_s - course.finish_s + course.lap_length, course.lap_length);
    for (int j = 0; j < lap_gates; j++)
        if ((j + 1) * gap > merge_after_finish + 15) first_lap.push_back(j);

    std::string tg = "startinggate:\n";
    const CoursePoint& gate_line = course.chute[size_t(PAD_BACK / COURSE_STEP)];
    Vec2 gright{-gate_line.dir.z, gate_line.dir.x};
    const int slots = 22;
    double angle = slot_angle(gate_line.dir);
    std::vector<Vec2> slot_pos;
    for (int k = 0; k < slots; k++) {
        Vec2 p = gate_line.p - gate_line.dir * 3.0 + gright * ((k - (slots - 1) / 2.0) * 3.6);
        slot_pos.push_back(p);
        tg += vec3(p.x, height_at(b, float(p.x), float(p.z)), p.z) + fmt(" %f\n", angle);
    }
    tg += "checkpoints:\n";
    for (const Gate& g : gates)
        tg += fmt("%f ", g.radius) + vec3(g.p.x, height_at(b, float(g.p.x), float(g.p.z)), g.p.z) + " " +
              vec3(g.dir.x, 0, g.dir.z) + "\n";
    tg += "firstlap:\n";
    for (int g : first_lap) tg += fmt("%d ", g);
    tg += "\nnormallap:\n";
    for (int j = 0; j < lap_gates; j++) tg += fmt("%d ", j);
    tg += "\n";

    // Lighting from the same sun the shading used.
    double L[3];
    sun_vector(t, L);
    std::string lighting = fmt("sun_vector [ %f %f %f ]\n", L[0], L[1], L[2]);
    lighting += fmt("sun_color [ %f %f %f ]\n", t.sun_color[0], t.sun_color[1], t.sun_color[2]);
    lighting += fmt("ambient [ %f %f %f ]\n", t.ambient[0], t.ambient[1], t.ambient[2]);
    lighting += fmt("global_ambient [ %f %f %f ]\n", t.global_ambient[0], t.global_ambient[1], t.global_ambient[2]);
    lighting += fmt("fog [ %f %f %f ] %f\n", t.fog[0], t.fog[1], t.fog[2], t.fog[3]);
    lighting += "near_plane 0.5\nfar_plane 6000\ndynamic_lighting 0\n";

    // Cameras on raised spots beside the course; every gate cuts to the
    // nearest one.
    std::vector<Vec2> cams;
    const int cam_count = 8;
    for (int k = 0; k < cam_count; k++) {
        size_t i = lap_index(course, course.finish_s + (k + 0.5) * course.lap_length / cam_count);
        cams.push_back(beside(course, b, i, 28));
    }
    std::vector<std::vector<int>> cam_gates(cams.size());
    for (size_t g = 0; g < gates.size(); g++) {
        size_t best = 0;
        for (size_t k = 1; k < cams.size(); k++)
            if (length(cams[k] - gates[g].p) < length(cams[best] - gates[g].p)) best = k;
        cam_gates[best].push_back(int(g));
    }
    std::string cameras;
    for (size_t k = 0; k < cams.size(); k++) {
        if (k == 0) cameras += "fov 55\n";
        else cameras += "autofovsize 16\n";
        if (!cam_gates[k].empty()) {
            cameras += "gate";
            for (int g : cam_gates[k]) cameras += fmt(" %d", g);
            cameras += "\n";
        }
        cameras += fmt("addcamera %f %f %f\n", cams[k].x, 14.0 + 3.0 * (k % 3), cams[k].z);
    }

    // Trees and bushes, in groves, clear of the course.
    Rng rng(t.seed * 7 + 1);
    std::string billboards;
    std::vector<uint8_t> taken(size_t(HALF / 4) * (HALF / 4), 0);  // 16-foot cells
    int wanted = t.land == FOREST ? 900 : t.land == DESERT ? 320 : 260;
    int placed = 0;
    std::vector<Vec2> tree_pos;
    for (int tries = 0; tries < wanted * 20 && placed < wanted; tries++) {
        Vec2 p{rng.range(30, FIELD - 30), rng.range(30, FIELD - 30)};
        double grove = fbm(p.x / 220, p.z / 220, t.seed + 41, 3);
        double pick = rng.unit();
        if (grove < (t.land == FOREST ? -0.35 : 0.05)) continue;
        double ed = edge_distance(b, p);
        if (ed < 26 + 10 * rng.unit()) continue;
        int cx = int(p.x / 16), cz = int(p.z / 16);
        if (cx < 0 || cz < 0 || cx >= HALF / 4 || cz >= HALF / 4 || taken[size_t(cz) * (HALF / 4) + size_t(cx)]) continue;
        double n[3];
        vertex_normal(b, int(p.x / SPACING), int(p.z / SPACING), n);
        if (n[1] < 0.82) continue;
        taken[size_t(cz) * (HALF / 4) + size_t(cx)] = 1;
        const char* tex;
        double height, width;
        switch (t.land) {
            case FOREST:
                if (pick < 0.7) tex = "@trees/pine.png", height = rng.range(35, 60), width = 0.5;
                else if (pick < 0.9) tex = "@trees/oak.png", height = rng.range(25, 40), width = 0.5;
                else tex = "@trees/bush.png", height = rng.range(5, 9), width = 1;
                break;
            case DESERT:
                if (pick < 0.45) tex = "@trees/juniper.png", height = rng.range(10, 18), width = 0.5;
                else tex = "@trees/sagebrush.png", height = rng.range(3, 5.5), width = 1;
                break;
            default:
                if (pick < 0.25) tex = "@trees/pine.png", height = rng.range(25, 40), width = 0.5;
                else if (pick < 0.6) tex = "@trees/bush.png", height = rng.range(4, 8), width = 1;
                else tex = "@trees/sagebrush.png", height = rng.range(3, 5), width = 1;
                break;
        }
        billboards += vec3(p.x, -0.3, p.z) + fmt(" %f %f %s\n", height, width, tex);
        tree_pos.push_back(p);
        placed++;
    }

    // Statues: hay bales behind the start pad and on the outside of the
    // tightest berms.
    std::string statues;
    std::vector<Vec2> bales;
    {
        const CoursePoint& back = course.chute[0];
        Vec2 right{-back.dir.z, back.dir.x};
        double a = std::atan2(-right.z, right.x);  // the bale's long side across the pad
        for (int k = -5; k <= 5; k++) {
            Vec2 p = back.p - back.dir * 4.0 + right * (k * 4.4);
            bales.push_back(p);
            statues += vec3(p.x, 0, p.z) + fmt(" %f @haybale.jm @haybale.png @haybale.shp\n", a);
        }
        size_t n = course.lap.size();
        for (size_t i = 0; i < n; i += 5) {
            double B = course.berm[i];
            if (std::fabs(B) < 4.2 || std::fabs(B) < std::fabs(course.berm[(i + n - 5) % n]) ||
                std::fabs(B) < std::fabs(course.berm[(i + 5) % n]))
                continue;
            const CoursePoint& cp = course.lap[i];
            Vec2 right{-cp.dir.z, cp.dir.x};
            double out = B > 0 ? -1 : 1;
            Vec2 p = cp.p + right * (out * (cp.hw + 2 + 1.2 * std::fabs(B) + 9));
            double along = std::atan2(-cp.dir.z, cp.dir.x);
            for (int k = -1; k <= 1; k++) {
                Vec2 q = p + cp.dir * (k * 4.2);
                bales.push_back(q);
                statues += vec3(q.x, 0, q.z) + fmt(" %f @haybale.jm @haybale.png @haybale.shp\n", along);
            }
        }
    }

    // Flaggers: the starter walks off the pad, the lap board stands at the
    // finish line, a marshal watches each landing.
    std::string flaggers;
    {
        const CoursePoint& cp = course.chute[size_t((PAD_BACK + 22) / COURSE_STEP)];
        Vec2 right{-cp.dir.z, cp.dir.x};
        Vec2 q = cp.p + right * (cp.hw + 12);
        flaggers += vec3(cp.p.x, 0, cp.p.z) + " " + vec3(q.x, 0, q.z) +
                    " 6.2 0.5 4 @people/starter1.png @people/starter2.png @people/starter3.png @people/starter4.png "
                    "@people/starter5.png\n";
        Vec2 lb = beside(course, b, lap_index(course, course.finish_s), 6);
        flaggers += vec3(lb.x, 0, lb.z) +
                    " 6.2 0.5 @people/lapboard.png @people/lapboard_half.png @people/lapboard_last.png "
                    "@people/lapboard_finish.png\n";
        for (const JumpNote& j : course.jumps) {
            if (j.what == std::string("whoops") || j.what == std::string("roller")) continue;
            double land = j.s + j.length + 20;
            Vec2 m = beside(course, b, lap_index(course, land), 7);
            // The gates a downed rider on this landing has to pass next.
            int g0 = -1;
            double best = 1e9;
            for (int g = 0; g < lap_gates; g++) {
                double ahead = std::fmod(gates[size_t(g)].s - land + course.lap_length, course.lap_length);
                if (ahead < best) best = ahead, g0 = g;
            }
            int g1 = (g0 + 1) % lap_gates;
            flaggers += vec3(m.x, 0, m.z) + fmt(" 6.2 0.5 %d %d -1 -1 @people/marshal.png @people/marshal_wave.png\n", g0, g1);
        }
    }

    // Tileinfo: the track's surfaces in tilemap order.
    std::string tileinfo;
    for (SurfaceKind k : ro.list) tileinfo += surface_tileinfo(k);

    // Shaded colour picture of the ground, for the map and the preview.
    Picture view(DIM, DIM, 3);
    for (int r = 0; r < DIM; r++)
        for (int c = 0; c < DIM; c++) {
            int tile = std::min(HALF - 1, c / 2) + std::min(HALF - 1, r / 2) * HALF;
            double col[3];
            surface_colour(ro.list[b.tilemap[size_t(tile)]], col);
            const uint8_t* sh = &b.shade[(size_t(r) * DIM + size_t(c)) * 3];
            uint8_t* px = view.at(c, r);
            for (int i = 0; i < 3; i++) px[i] = uint8_t(clampd(col[i] * sh[i] * 2 * 1.1, 0, 255));
        }
    for (const Vec2& p : tree_pos) {
        double dark[4] = {0.1, 0.22, 0.08, 0.8};
        view.fill_circle(p.x / SPACING, p.z / SPACING, 2.2, dark);
    }

    // The map: the course drawn boldly over the shaded ground, with the
    // start pad in white.
    Picture map(256, 256, 3);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            double acc[3] = {0, 0, 0};
            for (int dy = 0; dy < 4; dy++)
                for (int dx = 0; dx < 4; dx++) {
                    const uint8_t* px = view.at(std::min(DIM - 1, x * 4 + dx), std::min(DIM - 1, y * 4 + dy));
                    for (int i = 0; i < 3; i++) acc[i] += px[i];
                }
            uint8_t* m = map.at(x, y);
            for (int i = 0; i < 3; i++) m[i] = uint8_t(acc[i] / 16 * 0.7);
        }
    {
        double edge[4] = {0.15, 0.1, 0.05, 1}, track[4] = {0.93, 0.8, 0.55, 1}, white[4] = {1, 1, 1, 1};
        auto draw_line = [&](const std::vector<CoursePoint>& pts, bool closed, double r, const double* col) {
            size_t n = closed ? pts.size() : pts.size() - 1;
            for (size_t i = 0; i < n; i += 2) {
                const CoursePoint& a = pts[i];
                const CoursePoint& e = pts[(i + 2) % pts.size()];
                map.line(a.p.x / 8, a.p.z / 8, e.p.x / 8, e.p.z / 8, r, col);
            }
        };
        draw_line(course.lap, true, 2.6, edge);
        draw_line(course.chute, false, 2.6, edge);
        draw_line(course.lap, true, 1.5, track);
        draw_line(course.chute, false, 1.5, track);
        Vec2 g0 = slot_pos.front(), g1 = slot_pos.back();
        map.line(g0.x / 8, g0.z / 8, g1.x / 8, g1.z / 8, 1.0, white);
    }

    // Into the archive.
    auto store = [&](const std::string& file, Bytes data) {
        std::string name = t.dir + "/" + file;
        bool gz = std::find(t.gz.begin(), t.gz.end(), file) != t.gz.end();
        bool sc = std::find(t.scram.begin(), t.scram.end(), file) != t.scram.end();
        if (gz) data = gzip_encode(data), name += ".gz";
        if (sc) data = scramble(std::move(data)), name += ".scram";
        tree.add(A, name, std::move(data));
    };
    auto store_text = [&](const std::string& file, const std::string& text) { store(file, Bytes(text.begin(), text.end())); };

    if (t.inline_heights) {
        Bytes hf(header.begin(), header.end());
        hf.push_back(':');
        for (uint16_t v : b.samples) {
            hf.push_back(uint8_t(v & 255));
            hf.push_back(uint8_t(v >> 8));
        }
        store("terrain.hf", std::move(hf));
    } else {
        store_text("terrain.hf", header);
        store("terrain.png", png_encode_gray16(b.samples, DIM, DIM));
    }
    Picture shade(DIM, DIM, 3);
    for (size_t k = 0; k < b.shade.size(); k++)
        shade.px[k] = t.shading_x1 ? uint8_t(std::min(255, 2 * b.shade[k])) : b.shade[k];
    store(t.shading_x1 ? "shading.ppm" : "shadingx2.ppm", ppm_encode(shade));
    std::vector<uint8_t> light(b.shadow.size());
    for (size_t k = 0; k < light.size(); k++) light[k] = uint8_t(255 - b.shadow[k]);
    store("shadows.pgm", pgm_encode(light, DIM, DIM));
    store_text("tileinfo", tileinfo);
    store("tilemap", b.tilemap);
    store_text("timing_gates", tg);
    store_text("lighting", lighting);
    store_text("cameras", cameras);
    store_text("billboards", billboards);
    store_text("statues", statues);
    store_text("flaggers", flaggers);
    store_text("desc", t.name + "\n" + t.blurb + "\n");
    store("map.png", png_encode(map));

    // Preview and notes, never shipped.
    if (!preview.dir.empty()) {
        Picture pv = view;
        double red[4] = {0.9, 0.1, 0.1, 1}, blue[4] = {0.2, 0.4, 1, 1}, yellow[4] = {1, 0.9, 0.1, 1};
        for (const Gate& g : gates) {
            Vec2 right{-g.dir.z, g.dir.x};
            Vec2 a = g.p + right * g.radius, e = g.p - right * g.radius;
            pv.line(a.x / SPACING, a.z / SPACING, e.x / SPACING, e.z / SPACING, 0.8, g.chute ? yellow : red);
        }
        for (const Vec2& cpos : cams) pv.fill_circle(cpos.x / SPACING, cpos.z / SPACING, 4, blue);
        for (const Vec2& p : bales) pv.fill_circle(p.x / SPACING, p.z / SPACING, 1.5, yellow);
        for (const Vec2& p : slot_pos) pv.fill_circle(p.x / SPACING, p.z / SPACING, 1.0, blue);
        Bytes png = png_encode(pv);
        std::string path = preview.dir + "/" + t.dir + ".png";
        if (FILE* f = fopen(path.c_str(), "wb")) {
            fwrite(png.data(), 1, png.size(), f);
            fclose(f);
        }
        Bytes mp = png_encode(map);
        path = preview.dir + "/" + t.dir + "_map.png";
        if (FILE* f = fopen(path.c_str(), "wb")) {
            fwrite(mp.data(), 1, mp.size(), f);
            fclose(f);
        }
        std::string note = fmt("%s (%s)\nlap %.0f ft, start chute %.0f ft, %d lap gates, %zu first-lap gates, %zu trees\n",
                               t.name.c_str(), t.dir.c_str(), course.lap_length, chute_len, lap_gates,
                               first_lap.size(), tree_pos.size());
        int turns = 0;
        for (size_t i = 0, n = course.lap.size(); i < n; i++)
            if (course.lap[i].curv != 0 && course.lap[(i + n - 1) % n].curv == 0) turns++;
        note += fmt("%d turns, heights %.1f to %.1f ft\n", turns, lo, hi);
        for (const JumpNote& j : course.jumps)
            note += fmt("  %-9s at %5.0f ft: height %.1f ft, %s %.0f ft\n", j.what.c_str(), j.s, j.height,
                        j.what == std::string("double") || j.what == std::string("step-up") ? "gap" : "length", j.length);
        path = preview.dir + "/" + t.dir + ".txt";
        if (FILE* f = fopen(path.c_str(), "w")) {
            fputs(note.c_str(), f);
            fclose(f);
        }
    }
    return true;
}

bool make_tracks(DataTree& tree, const Preview& preview) {
    for (const TrackStyle& t : track_styles())
        if (!build_track(tree, t, preview)) return false;
    return true;
}

}  // namespace mkdata
