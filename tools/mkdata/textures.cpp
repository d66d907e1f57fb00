// Pictures drawn by the generator: roost particles, plain colours, the
// repeating ground textures, trees and bushes, the starter, lap board and
// flag marshals, the starting-gate and hay-bale textures and the sky faces.
#include "mkdata/mkdata.h"

namespace mkdata {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) { return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)}; }

void put(Picture& p, int x, int y, Rgb c, double alpha = 1) {
    uint8_t* q = p.at(x, y);
    q[0] = uint8_t(clampd(c.r * 255 + 0.5, 0, 255));
    q[1] = uint8_t(clampd(c.g * 255 + 0.5, 0, 255));
    q[2] = uint8_t(clampd(c.b * 255 + 0.5, 0, 255));
    if (p.channels == 4) q[3] = uint8_t(clampd(alpha * 255 + 0.5, 0, 255));
}

// A repeating ground texture: two colours mixed by tiling noise, fine grain,
// and scattered stones or tufts.
struct GroundLook {
    Rgb dark, light;
    double scale;      // noise cells across the texture
    double grain;      // strength of per-pixel grain
    int stones;        // small stones (or grass tufts when `tufts`)
    Rgb stone;
    bool tufts;
    uint32_t seed;
};

Picture ground_texture(const GroundLook& g) {
    const int N = 256;
    Picture p(N, N, 3);
    int period = int(g.scale);
    for (int y = 0; y < N; y++)
        for (int x = 0; x < N; x++) {
            double u = x * g.scale / N, v = y * g.scale / N;
            double n = fbm(u, v, g.seed, 4, 0.55, period) * 0.5 + 0.5;
            double grain = (double(hash32(x, y, g.seed + 7) & 1023) / 1023.0 - 0.5) * g.grain;
            Rgb c = mix(g.dark, g.light, clampd(n * 1.3 - 0.15, 0, 1));
            put(p, x, y, {c.r + grain, c.g + grain, c.b + grain});
        }
    Rng rng(g.seed);
    for (int i = 0; i < g.stones; i++) {
        double x = rng.range(0, N), y = rng.range(0, N), r = rng.range(0.8, g.tufts ? 1.2 : 2.6);
        double shade = rng.range(-0.12, 0.12);
        double c[4] = {g.stone.r + shade, g.stone.g + shade, g.stone.b + shade, 0.85};
        for (int dx = -1; dx <= 1; dx++)
            for (int dy = -1; dy <= 1; dy++) {
                // Draw wrapped so the texture keeps tiling.
                if (g.tufts) {
                    double a = rng.range(-0.6, 0.6);
                    p.line(x + dx * N, y + dy * N, x + dx * N + a * 4, y + dy * N - 5, r * 0.5, c);
                } else {
                    p.fill_circle(x + dx * N, y + dy * N, r, c);
                }
            }
    }
    return p;
}

// Trees and bushes on transparent backgrounds, trunk at the bottom centre.
Picture pine_tree(uint32_t seed) {
    Picture p(128, 256, 4);
    double trunk[4] = {0.33, 0.22, 0.13, 1};
    p.fill_rect(58, 200, 70, 256, trunk);
    for (int layer = 0; layer < 7; layer++) {
        double top = 10 + layer * 28, bottom = top + 60, half = 14 + layer * 8;
        for (int y = int(top); y < int(bottom) && y < 232; y++) {
            double w = half * (y - top) / (bottom - top);
            for (int x = int(64 - w); x <= int(64 + w); x++) {
                double n = fbm(x * 0.15, y * 0.15, seed, 3) * 0.5 + 0.5;
                double lit = 0.75 + 0.35 * (64 - x) / (half + 1) * 0.5;
                double c[4] = {0.08 * lit + 0.05 * n, (0.28 + 0.14 * n) * lit, (0.12 + 0.05 * n) * lit, 1};
                double edge = clampd(w - std::fabs(x - 64), 0, 1);
                if (hash32(x, y, seed) % 9 == 0) continue;  // ragged needles
                p.blend(x, y, c, edge);
            }
        }
    }
    return p;
}

Picture leafy_tree(uint32_t seed, Rgb leaf, double crown_scale) {
    Picture p(128, 256, 4);
    Rng rng(seed);
    double trunk[4] = {0.36, 0.27, 0.18, 1};
    p.line(64, 256, 64, 140, 6, trunk);
    p.line(64, 170, 40, 130, 3, trunk);
    p.line(64, 160, 88, 120, 3, trunk);
    for (int i = 0; i < 140; i++) {
        double a = rng.range(0, 2 * M_PI), d = std::sqrt(rng.unit());
        double cx = 64 + std::cos(a) * d * 44 * crown_scale, cy = 100 + std::sin(a) * d * 62 * crown_scale;
        double r = rng.range(9, 17) * crown_scale;
        double lit = 0.8 + 0.35 * ((64 - cx) + (100 - cy)) / 100.0;
        double c[4] = {leaf.r * lit, leaf.g * lit, leaf.b * lit, 1};
        p.fill_circle(cx, cy, r, c);
    }
    return p;
}

Picture bush(uint32_t seed, Rgb leaf) {
    Picture p(128, 128, 4);
    Rng rng(seed);
    for (int i = 0; i < 90; i++) {
        double a = rng.range(M_PI, 2 * M_PI), d = std::sqrt(rng.unit());
        double cx = 64 + std::cos(a) * d * 48, cy = 118 + std::sin(a) * d * 70;
        double r = rng.range(7, 13);
        double lit = 0.75 + 0.4 * (118 - cy) / 90.0;
        double c[4] = {leaf.r * lit, leaf.g * lit, leaf.b * lit, 1};
        p.fill_circle(cx, cy, r, c);
    }
    return p;
}

// A person seen from the front, feet at the bottom of a 64 x 128 picture.
// `arm_l` / `arm_r` are arm angles from hanging down (radians, outward
// positive); `step` swings the legs for walking.
struct Person {
    Rgb shirt, pants;
    double arm_l = 0.2, arm_r = 0.2, step = 0;
};

void draw_person(Picture& p, const Person& s, double* hand_l, double* hand_r) {
    double skin[4] = {0.86, 0.68, 0.55, 1};
    double shirt[4] = {s.shirt.r, s.shirt.g, s.shirt.b, 1};
    double pants[4] = {s.pants.r, s.pants.g, s.pants.b, 1};
    double boot[4] = {0.1, 0.1, 0.1, 1};
    p.line(28, 78, 28 - 6 * s.step, 122, 4.5, pants);
    p.line(36, 78, 36 + 6 * s.step, 122, 4.5, pants);
    p.fill_rect(22 - 6 * s.step, 120, 33 - 6 * s.step, 127, boot);
    p.fill_rect(31 + 6 * s.step, 120, 42 + 6 * s.step, 127, boot);
    p.fill_rect(22, 40, 42, 82, shirt);
    p.fill_circle(32, 30, 9, skin);
    double cap[4] = {0.15, 0.15, 0.2, 1};
    p.fill_rect(23, 19, 41, 25, cap);
    double lx = 23 - std::sin(s.arm_l) * 30, ly = 44 + std::cos(s.arm_l) * 30;
    double rx = 41 + std::sin(s.arm_r) * 30, ry = 44 + std::cos(s.arm_r) * 30;
    p.line(23, 44, lx, ly, 3.5, shirt);
    p.line(41, 44, rx, ry, 3.5, shirt);
    p.fill_circle(lx, ly, 3.5, skin);
    p.fill_circle(rx, ry, 3.5, skin);
    hand_l[0] = lx, hand_l[1] = ly;
    hand_r[0] = rx, hand_r[1] = ry;
}

// Seven-segment digits for boards: segments a..g.
void draw_digit(Picture& p, int d, double x, double y, double w, double h, const double c[4]) {
    static const char* seg[10] = {"abcdef", "bc", "abged", "abgcd", "fgbc", "afgcd", "afgedc", "abc", "abcdefg", "abcdfg"};
    double t = w * 0.18;
    for (const char* s = seg[d]; *s; s++) {
        switch (*s) {
            case 'a': p.line(x, y, x + w, y, t, c); break;
            case 'b': p.line(x + w, y, x + w, y + h / 2, t, c); break;
            case 'c': p.line(x + w, y + h / 2, x + w, y + h, t, c); break;
            case 'd': p.line(x, y + h, x + w, y + h, t, c); break;
            case 'e': p.line(x, y + h / 2, x, y + h, t, c); break;
            case 'f': p.line(x, y, x, y + h / 2, t, c); break;
            case 'g': p.line(x, y + h / 2, x + w, y + h / 2, t, c); break;
        }
    }
}

// A flag on a pole held in a hand; `wave` ripples the cloth.
void flag(Picture& p, const double hand[2], double dir, Rgb cloth, double wave, bool chequered) {
    double pole[4] = {0.5, 0.4, 0.3, 1};
    double tx = hand[0] + dir * 10, ty = hand[1] - 34;
    p.line(hand[0], hand[1] + 4, tx, ty, 1.5, pole);
    for (int i = 0; i < 22; i++)
        for (int j = 0; j < 14; j++) {
            double x = tx + dir * i, y = ty + j + std::sin(i * 0.45) * wave;
            double c[4] = {cloth.r, cloth.g, cloth.b, 1};
            if (chequered && ((i / 5 + j / 5) % 2)) c[0] = c[1] = c[2] = 0.05;
            p.blend(int(x), int(y), c, 1);
        }
}

Picture sky_face(bool up, uint32_t seed) {
    const int N = 128;
    Picture p(N, N, 3);
    Rgb zenith{0.22, 0.45, 0.85}, horizon{0.72, 0.83, 0.95}, haze{0.62, 0.66, 0.66};
    for (int y = 0; y < N; y++)
        for (int x = 0; x < N; x++) {
            Rgb c;
            if (up) {
                double r = std::hypot(x - N / 2.0, y - N / 2.0) / (N / 2.0);
                c = mix(zenith, mix(zenith, horizon, 0.35), clampd(r, 0, 1));
            } else {
                double e = 1.0 - 2.0 * (y + 0.5) / N;  // +1 top edge, 0 horizon
                c = e > 0 ? mix(horizon, zenith, std::pow(e, 0.7)) : mix(horizon, haze, clampd(-e * 3, 0, 1));
            }
            double cloud = fbm(x / 24.0, y / 14.0, seed, 4) * 0.5 + 0.5;
            double amount = smoothstep(0.58, 0.8, cloud) * (up ? 0.8 : (y < N / 2 ? 0.7 : 0.0));
            c = mix(c, Rgb{0.97, 0.97, 0.98}, amount);
            put(p, x, y, c);
        }
    return p;
}

}  // namespace

void make_textures(DataTree& tree) {
    const std::string A = "gravelrun.saf";
    // Roost particle: a soft white blob that the surface's colours tint.
    {
        Picture p(32, 32, 4);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                double d = std::hypot(x - 15.5, y - 15.5) / 15.5;
                double n = value_noise(x / 4.0, y / 4.0, 77) * 0.25;
                put(p, x, y, {1, 1, 1}, clampd((1 - d) * 1.6 + n, 0, 1));
            }
        tree.add(A, "roost.png", png_encode(p));
    }
    {
        Picture p(4, 4, 3);
        std::fill(p.px.begin(), p.px.end(), 255);
        tree.add(A, "colors/white.png", png_encode(p));
    }
    // Ground textures, one per surface kind.
    const GroundLook looks[] = {
        {{0.45, 0.31, 0.20}, {0.62, 0.45, 0.30}, 8, 0.06, 60, {0.55, 0.5, 0.45}, false, 11},   // hard-pack
        {{0.30, 0.21, 0.14}, {0.45, 0.33, 0.22}, 12, 0.10, 25, {0.5, 0.42, 0.35}, false, 12},  // loam
        {{0.50, 0.38, 0.26}, {0.66, 0.52, 0.38}, 16, 0.16, 120, {0.42, 0.32, 0.22}, false, 13},  // loose dirt
        {{0.20, 0.15, 0.10}, {0.33, 0.26, 0.18}, 6, 0.05, 10, {0.15, 0.12, 0.08}, false, 14},  // mud
        {{0.72, 0.64, 0.48}, {0.86, 0.79, 0.62}, 16, 0.12, 40, {0.6, 0.55, 0.45}, false, 15},  // sand
        {{0.20, 0.36, 0.12}, {0.35, 0.52, 0.20}, 10, 0.10, 500, {0.28, 0.48, 0.16}, true, 16},  // grass
        {{0.66, 0.34, 0.20}, {0.80, 0.47, 0.29}, 10, 0.08, 80, {0.55, 0.3, 0.2}, false, 17},   // red clay
        {{0.55, 0.50, 0.33}, {0.70, 0.64, 0.42}, 10, 0.12, 300, {0.5, 0.45, 0.3}, true, 18},   // dry grass
        {{0.55, 0.50, 0.46}, {0.70, 0.66, 0.60}, 6, 0.12, 90, {0.4, 0.38, 0.36}, false, 19},   // rock
    };
    const char* names[] = {"hardpack", "loam", "loosedirt", "mud", "sand", "grass", "redclay", "drygrass", "rock"};
    for (size_t i = 0; i < sizeof looks / sizeof looks[0]; i++)
        tree.add(A, fmt("ground/%s.png", names[i]), png_encode(ground_texture(looks[i])));

    tree.add(A, "trees/pine.png", png_encode(pine_tree(31)));
    tree.add(A, "trees/oak.png", png_encode(leafy_tree(32, {0.22, 0.42, 0.15}, 1.0)));
    tree.add(A, "trees/juniper.png", png_encode(leafy_tree(33, {0.30, 0.40, 0.26}, 0.8)));
    tree.add(A, "trees/bush.png", png_encode(bush(34, {0.25, 0.42, 0.18})));
    tree.add(A, "trees/sagebrush.png", png_encode(bush(35, {0.52, 0.56, 0.42})));

    // The starter: board up, board turned, board down, walking, standing off.
    Person starter{{0.9, 0.9, 0.92}, {0.2, 0.22, 0.3}};
    for (int k = 0; k < 5; k++) {
        Picture p(64, 128, 4);
        Person s = starter;
        if (k == 0) s.arm_r = 2.9;
        if (k == 1) s.arm_r = 1.6;
        if (k == 3) s.step = 0.8, s.arm_l = 0.4, s.arm_r = 0.0;
        double hl[2], hr[2];
        draw_person(p, s, hl, hr);
        if (k <= 2) {
            double board[4] = {0.95, 0.95, 0.95, 1}, frame[4] = {0.1, 0.1, 0.1, 1};
            double bx = hr[0], by = hr[1];
            double w = k == 1 ? 6 : 18;
            p.fill_rect(bx - w / 2 - 1, by - 22, bx + w / 2 + 1, by - 4, frame);
            p.fill_rect(bx - w / 2, by - 21, bx + w / 2, by - 5, board);
            if (k != 1) {
                draw_digit(p, 3, bx - 7, by - 19, 5, 11, frame);
                draw_digit(p, 0, bx + 1, by - 19, 5, 11, frame);
            }
        }
        tree.add(A, fmt("people/starter%d.png", k + 1), png_encode(p));
    }
    // Lap board: plain, half distance, last lap (white flag), finished.
    for (int k = 0; k < 4; k++) {
        Picture p(64, 128, 4);
        Person s{{0.15, 0.3, 0.7}, {0.2, 0.2, 0.22}};
        s.arm_l = s.arm_r = 2.6;
        double hl[2], hr[2];
        draw_person(p, s, hl, hr);
        double black[4] = {0.05, 0.05, 0.05, 1}, white[4] = {0.97, 0.97, 0.97, 1};
        if (k == 3) {
            flag(p, hl, -1, {1, 1, 1}, 2, true);
            flag(p, hr, 1, {1, 1, 1}, 2, true);
        } else if (k == 2) {
            flag(p, hr, 1, {0.98, 0.98, 0.98}, 2, false);
        } else {
            double cx = (hl[0] + hr[0]) / 2, cy = hl[1] - 14;
            p.fill_rect(cx - 17, cy - 12, cx + 17, cy + 12, black);
            p.fill_rect(cx - 16, cy - 11, cx + 16, cy + 11, white);
            if (k == 1) {
                draw_digit(p, 1, cx - 14, cy - 8, 5, 16, black);
                p.line(cx - 3, cy + 8, cx + 3, cy - 8, 1.2, black);
                draw_digit(p, 2, cx + 6, cy - 8, 7, 16, black);
            } else {
                p.line(cx - 8, cy, cx + 8, cy, 2, black);
            }
        }
        static const char* lap_names[] = {"lapboard", "lapboard_half", "lapboard_last", "lapboard_finish"};
        tree.add(A, fmt("people/%s.png", lap_names[k]), png_encode(p));
    }
    // Flag marshal: flag furled at the side, and waving the yellow flag.
    for (int k = 0; k < 2; k++) {
        Picture p(64, 128, 4);
        Person s{{0.95, 0.55, 0.1}, {0.25, 0.25, 0.28}};
        s.arm_r = k ? 2.7 : 0.25;
        double hl[2], hr[2];
        draw_person(p, s, hl, hr);
        if (k) {
            flag(p, hr, 1, {1.0, 0.85, 0.05}, 3, false);
        } else {
            double pole[4] = {0.5, 0.4, 0.3, 1}, cloth[4] = {1.0, 0.85, 0.05, 1};
            p.line(hr[0], hr[1] + 6, hr[0] + 2, hr[1] - 30, 1.5, pole);
            p.line(hr[0] + 1, hr[1] - 28, hr[0] + 1, hr[1] - 12, 2.5, cloth);
        }
        tree.add(A, fmt("people/marshal%s.png", k ? "_wave" : ""), png_encode(p));
    }
    // Hay bale: straw with twine bands.
    {
        Picture p(64, 64, 3);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                double n = fbm(x / 3.0, y / 12.0, 41, 3) * 0.5 + 0.5;
                Rgb c = mix({0.66, 0.55, 0.25}, {0.9, 0.8, 0.45}, n);
                if ((x % 32) >= 14 && (x % 32) <= 16) c = {0.35, 0.3, 0.2};
                put(p, x, y, c);
            }
        tree.add(A, "haybale.png", png_encode(p));
    }
    // Starting-gate piece: a steel hinge bar (top quarter) and a white plate
    // with a dark stripe. Plain arithmetic only, so the picture is the same
    // everywhere.
    {
        Picture p(64, 64, 3);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                uint8_t* q = p.at(x, y);
                int g;
                if (y < 16) g = 120 + int(hash32(x, y, 5) % 24);
                else g = (y >= 34 && y < 42) ? 40 : 225 + int(hash32(x, y, 6) % 16);
                q[0] = uint8_t(g);
                q[1] = uint8_t(g);
                q[2] = uint8_t(y < 16 ? g + 10 : g);
            }
        tree.add("zzzz.saf", "startgate.ppm", ppm_encode(p));
    }
    // Sky faces around the course.
    const char* faces[] = {"n", "e", "s", "w"};
    for (int i = 0; i < 4; i++) tree.add(A, fmt("sky-%s.ppm", faces[i]), ppm_encode(sky_face(false, 60 + uint32_t(i))));
    tree.add(A, "sky-u.ppm", ppm_encode(sky_face(true, 64)));
    tree.add(A, "sky-env.ppm", ppm_encode(sky_face(false, 65)));
}

}  // namespace mkdata
