// Building a course from its design: the filleted lap polygon sampled at a
// fixed step, berm heights from the curvature, the start chute, the feature
// profile and a check that no two parts of the course crowd each other.
#include <algorithm>
#include <cstdio>

#include "mkdata/course.h"

namespace mkdata {

namespace {

Vec2 unit(Vec2 a) {
    double l = length(a);
    return l > 0 ? a * (1 / l) : Vec2{1, 0};
}
Vec2 right_of(Vec2 d) { return {-d.z, d.x}; }
double cross(Vec2 a, Vec2 b) { return a.x * b.z - a.z * b.x; }

// One piece of the lap: a straight or a circular arc.
struct Piece {
    bool arc;
    Vec2 start, dir;      // straight
    Vec2 centre;          // arc
    double radius = 0, a0 = 0, sign = 0;
    double len;
};

CoursePoint piece_point(const Piece& pc, double t) {
    CoursePoint cp;
    if (!pc.arc) {
        cp.p = pc.start + pc.dir * t;
        cp.dir = pc.dir;
        cp.curv = 0;
    } else {
        double a = pc.a0 + pc.sign * t / pc.radius;
        cp.p = pc.centre + Vec2{std::cos(a), std::sin(a)} * pc.radius;
        cp.dir = Vec2{-std::sin(a), std::cos(a)} * pc.sign;
        cp.curv = pc.sign / pc.radius;
    }
    return cp;
}

void add_knot(Profile& p, double s, double h) {
    p.s.push_back(s);
    p.h.push_back(h);
}

}  // namespace

double Profile::at(double x) const {
    if (s.empty() || x <= s.front() || x >= s.back()) return 0;
    size_t i = size_t(std::upper_bound(s.begin(), s.end(), x) - s.begin());
    double t = (x - s[i - 1]) / (s[i] - s[i - 1]);
    return lerp(h[i - 1], h[i], t);
}

double Profile::slope(double x) const {
    if (s.empty() || x <= s.front() || x >= s.back()) return 0;
    size_t i = size_t(std::upper_bound(s.begin(), s.end(), x) - s.begin());
    return (h[i] - h[i - 1]) / (s[i] - s[i - 1]);
}

bool course_build(const CourseDesign& d, Course* c) {
    const size_t n = d.corners.size();
    std::vector<Vec2> fillet_in(n), fillet_out(n);
    std::vector<Piece> pieces;
    std::vector<double> tangent(n);
    for (size_t i = 0; i < n; i++) {
        Vec2 a = d.corners[(i + n - 1) % n].p, b = d.corners[i].p, e = d.corners[(i + 1) % n].p;
        Vec2 d1 = unit(b - a), d2 = unit(e - b);
        double phi = std::atan2(cross(d1, d2), dot(d1, d2));
        tangent[i] = d.corners[i].radius * std::tan(std::fabs(phi) / 2);
        fillet_in[i] = b - d1 * tangent[i];
        fillet_out[i] = b + d2 * tangent[i];
    }
    c->edge_start_s.assign(n, 0);
    c->edge_length.assign(n, 0);
    double s = 0;
    for (size_t k = 0; k < n; k++) {
        // Straight of edge k, then the corner at its far end.
        size_t j = (k + 1) % n;
        Vec2 from = fillet_out[k], to = fillet_in[j];
        double len = length(to - from);
        Vec2 dir = unit(d.corners[j].p - d.corners[k].p);
        if (dot(to - from, dir) <= 1) {
            fprintf(stderr, "gr_mkdata: edge %zu is too short for its corners\n", k);
            return false;
        }
        c->edge_start_s[k] = s;
        c->edge_length[k] = len;
        pieces.push_back(Piece{false, from, dir, {}, 0, 0, 0, len});
        s += len;
        Vec2 a = d.corners[k].p, b = d.corners[j].p, e = d.corners[(j + 1) % n].p;
        Vec2 d1 = unit(b - a), d2 = unit(e - b);
        double phi = std::atan2(cross(d1, d2), dot(d1, d2));
        double sign = phi > 0 ? 1 : -1;
        double R = d.corners[j].radius;
        Piece arc{true, {}, {}, fillet_in[j] + right_of(d1) * (R * sign), R, 0, sign, R * std::fabs(phi)};
        Vec2 rel = fillet_in[j] - arc.centre;
        arc.a0 = std::atan2(rel.z, rel.x);
        pieces.push_back(arc);
        s += arc.len;
    }
    c->lap_length = s;
    int count = int(std::lround(s / COURSE_STEP));
    double step = s / count;
    c->lap.clear();
    size_t pi = 0;
    double piece_s = 0;
    for (int i = 0; i < count; i++) {
        double at = i * step;
        while (pi + 1 < pieces.size() && at >= piece_s + pieces[pi].len) piece_s += pieces[pi++].len;
        CoursePoint cp = piece_point(pieces[pi], at - piece_s);
        cp.s = at;
        cp.hw = d.half_width;
        c->lap.push_back(cp);
    }

    // Berms: from the curvature averaged over 32 feet, so they build up
    // before the corner and run out after it.
    const int N = int(c->lap.size());
    const int win = int(16 / step);
    c->berm.assign(size_t(N), 0);
    for (int i = 0; i < N; i++) {
        double sum = 0;
        for (int k = -win; k <= win; k++) sum += c->lap[size_t((i + k + N) % N)].curv;
        double kappa = sum / (2 * win + 1);
        c->berm[size_t(i)] = std::copysign(std::fmin(5.0, 200 * std::fabs(kappa)), kappa);
    }

    // Features, in course order, with the plateau level carried along.
    std::vector<Feature> feats = d.features;
    std::sort(feats.begin(), feats.end(), [&](const Feature& a, const Feature& b) {
        return c->edge_start_s[size_t(a.edge)] + a.offset < c->edge_start_s[size_t(b.edge)] + b.offset;
    });
    Profile& P = c->profile;
    P = Profile();
    add_knot(P, 0, 0);
    double level = 0, last_end = 0;
    c->jumps.clear();
    for (const Feature& f : feats) {
        double s0 = c->edge_start_s[size_t(f.edge)] + f.offset;
        double h = f.height;
        std::vector<std::pair<double, double>> k;  // relative s, height above level
        double new_level = level;
        const char* what = "";
        double note_len = f.length;
        switch (f.kind) {
            case TABLETOP: {
                what = "tabletop";
                double t = f.length;
                k = {{0, 0}, {5, 0.1 * h}, {10, 0.3 * h}, {15, 0.62 * h}, {19, h}, {19 + t, h},
                     {22 + t, 0.93 * h}, {36 + t, 0.12 * h}, {42 + t, 0}};
                break;
            }
            case DOUBLE: {
                what = "double";
                double L0 = 19 + f.length;
                k = {{0, 0}, {5, 0.1 * h}, {10, 0.3 * h}, {15, 0.62 * h}, {19, h}, {22, 0.5 * h}, {25, 0},
                     {L0 - 7, 0}, {L0 - 3, 0.7 * h}, {L0, h}, {L0 + 3, 0.93 * h}, {L0 + 18, 0.12 * h}, {L0 + 24, 0}};
                break;
            }
            case STEP_UP: {
                // Takeoff of two thirds the plateau height, a short gap, then
                // the face of the upper level.
                what = "step-up";
                double ht = 0.66 * h, L0 = 15 + f.length;
                k = {{0, 0}, {5, 0.12 * ht}, {10, 0.4 * ht}, {15, ht}, {18, 0.6 * ht}, {L0 - 8, 0.55 * ht},
                     {L0 - 3, 0.88 * h}, {L0, h}};
                new_level = level + h;
                break;
            }
            case DROP: {
                what = "drop";
                h = level;
                k = {{0, 0}, {4, -0.02 * h}, {7, -0.28 * h}, {20, -0.8 * h}, {28, -h}};
                new_level = 0;
                note_len = 28;
                break;
            }
            case WHOOPS: {
                what = "whoops";
                double per = f.length;
                for (int w = 0; w < f.count; w++)
                    for (int q = 0; q < 8; q++) {
                        double t = q / 8.0;
                        k.push_back({(w + t) * per, h * 0.5 * (1 - std::cos(2 * M_PI * t))});
                    }
                k.push_back({f.count * per, 0});
                note_len = f.count * per;
                break;
            }
            case RHYTHM: {
                what = "rhythm";
                for (int w = 0; w < f.count; w++) {
                    double b = w * f.length;
                    for (auto q : std::initializer_list<std::pair<double, double>>{
                             {0, 0}, {5, 0.3}, {9, 0.75}, {12, 1}, {15, 1}, {19, 0.55}, {24, 0.1}, {26, 0}})
                        k.push_back({b + q.first, h * q.second});
                }
                note_len = (f.count - 1) * f.length + 26;
                break;
            }
            case ROLLER: {
                what = "roller";
                k = {{0, 0}, {f.length * 0.25, 0.5 * h}, {f.length * 0.5, h}, {f.length * 0.75, 0.5 * h}, {f.length, 0}};
                break;
            }
        }
        double end = s0 + k.back().first;
        double edge_end = c->edge_start_s[size_t(f.edge)] + c->edge_length[size_t(f.edge)];
        if (s0 < last_end + 6 || f.offset < 0 || end > edge_end - 4) {
            fprintf(stderr, "gr_mkdata: %s on edge %d at %.0f does not fit (edge %.0f long, ends at %.0f)\n", what,
                    f.edge, f.offset, c->edge_length[size_t(f.edge)], end - c->edge_start_s[size_t(f.edge)]);
            for (size_t e = 0; e < n; e++) fprintf(stderr, "  edge %zu: %.0f ft\n", e, c->edge_length[e]);
            return false;
        }
        for (auto& q : k) add_knot(P, s0 + q.first, level + q.second);
        c->jumps.push_back(JumpNote{what, s0, f.kind == DROP ? level : h, note_len});
        level = new_level;
        last_end = end;
    }
    if (level != 0) {
        fprintf(stderr, "gr_mkdata: the lap ends on a plateau\n");
        return false;
    }
    add_knot(P, c->lap_length, 0);
    // Plateaus carry their level through corners and other features: knots
    // between features keep the level.
    for (size_t i = 1; i < P.s.size(); i++)
        if (P.s[i] < P.s[i - 1]) return false;

    // Start chute: a straight start pad beside the lap, then an S-bend that
    // meets the lap tangentially at the merge point.
    c->merge_s = c->edge_start_s[size_t(d.merge_edge)] + d.merge_offset;
    c->finish_s = std::fmod(c->merge_s - d.finish_back + c->lap_length, c->lap_length);
    const CoursePoint& m = c->lap[size_t(std::lround(c->merge_s / step)) % size_t(N)];
    Vec2 side = right_of(m.dir) * (d.chute_side * d.chute_offset);
    Vec2 g0 = m.p - m.dir * d.chute_length + side;
    double straight = PAD_BACK + 120, bend = d.chute_length - straight;
    Vec2 p0 = g0 + m.dir * straight, t0 = m.dir * bend;
    std::vector<Vec2> dense;
    for (int i = 0; i <= 200; i++) dense.push_back(g0 + m.dir * (straight * i / 200.0));
    for (int i = 1; i <= 400; i++) {
        double t = i / 400.0, t2 = t * t, t3 = t2 * t;
        double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
        dense.push_back(p0 * h00 + t0 * h10 + m.p * h01 + t0 * h11);
    }
    std::vector<double> ds(dense.size(), 0);
    for (size_t i = 1; i < dense.size(); i++) ds[i] = ds[i - 1] + length(dense[i] - dense[i - 1]);
    double chute_len = ds.back();
    int cn = int(std::lround(chute_len / COURSE_STEP));
    c->chute.clear();
    size_t di = 0;
    for (int i = 0; i <= cn; i++) {
        double at = chute_len * i / cn;
        while (di + 2 < dense.size() && ds[di + 1] < at) di++;
        double t = (at - ds[di]) / std::fmax(ds[di + 1] - ds[di], 1e-9);
        CoursePoint cp;
        cp.p = dense[di] + (dense[di + 1] - dense[di]) * t;
        cp.dir = unit(dense[di + 1] - dense[di]);
        cp.s = at;
        double taper = smoothstep(PAD_BACK + 40, chute_len - 20, at);
        cp.hw = lerp(PAD_HALF_WIDTH, d.half_width, taper);
        c->chute.push_back(cp);
    }

    // Crowding check: parts of the course far apart along it must keep
    // their widths, berm tops and shoulders apart.
    auto reach = [&](const CoursePoint& p, double berm) { return p.hw + 2 + 1.2 * berm + 12 + 1.5 * berm; };
    bool ok = true;
    for (int i = 0; i < N; i += 4)
        for (int j = i + 4; j < N; j += 4) {
            const CoursePoint &a = c->lap[size_t(i)], &b = c->lap[size_t(j)];
            double need = reach(a, std::fabs(c->berm[size_t(i)])) + reach(b, std::fabs(c->berm[size_t(j)]));
            double along = std::fmin(b.s - a.s, c->lap_length - (b.s - a.s));
            if (along < 3 * need) continue;
            double dist = length(a.p - b.p);
            if (dist < need) {
                fprintf(stderr, "gr_mkdata: course crowds itself at s %.0f and %.0f (%.0f ft apart, needs %.0f)\n", a.s,
                        b.s, dist, need);
                ok = false;
                j += 40;
            }
        }
    for (size_t i = 0; i < c->chute.size(); i += 4) {
        const CoursePoint& a = c->chute[i];
        double to_merge = chute_len - a.s;
        for (int j = 0; j < N; j += 4) {
            const CoursePoint& b = c->lap[size_t(j)];
            double back = std::fmod(c->merge_s - b.s + c->lap_length, c->lap_length);
            // Where the chute bends in to meet the lap the two run together.
            if (std::fmin(back, c->lap_length - back) < to_merge + 60) continue;
            double need = a.hw + 14 + reach(b, std::fabs(c->berm[size_t(j)]));
            if (length(a.p - b.p) < need) {
                fprintf(stderr, "gr_mkdata: start chute at %.0f crowds the lap at %.0f\n", a.s, b.s);
                ok = false;
                break;
            }
        }
    }
    return ok;
}

}  // namespace mkdata
