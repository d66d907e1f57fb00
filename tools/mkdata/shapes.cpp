// The standard collision shapes of the bike parts, and the scenery models
// (starting-gate piece, hay bale) with their shapes.
//
// Shape centres are in each part's body frame: the body sits at its model
// position with the bike's axes (x along the axle, y up, the bike facing -z).
#include <cstdio>

#include "mkdata/mkdata.h"

namespace mkdata {

namespace {

struct Sphere {
    double x, y, z, r;
};

// Contact behaviour of a part's surface.
struct Material {
    double friction, stiffness, damping;
};

std::string shape_text(const std::vector<Sphere>& s, Material m) {
    std::string t = fmt("%zu\n", s.size());
    for (const Sphere& p : s)
        t += fmt("%.4f %.4f %.4f %.4f %.3f %.1f %.1f\n", p.x, p.y, p.z, p.r, m.friction, m.stiffness, m.damping);
    return t;
}

// Bike geometry (world positions of the built bike).
const double frame_pos[3] = {0, 1.98, 3.6};
const double head_pos[3] = {0, 2.9, 2.16};
const double lower_fork_pos[3] = {0, 1.77, 1.59};
const double front_axle[3] = {0, 1.09, 1.11};
const double swingarm_pos[3] = {0, 1.34, 4.99};
const double pivot[3] = {0, 1.6, 4.08};
const double rear_axle[3] = {0, 1.04, 6};
const double rider_pos[3] = {0, 4.5, 4.12};
const double fork_half_spacing = 0.8333 / 2;

// A sphere given in bike coordinates, expressed relative to a body position.
Sphere rel(const double body[3], double x, double y, double z, double r) {
    return Sphere{x - body[0], y - body[1], z - body[2], r};
}

// The tyre as a ring of spheres around the axle in the wheel's y-z plane,
// plus the hub.
std::vector<Sphere> wheel(double ring, double tube, double hub) {
    std::vector<Sphere> s;
    s.push_back({0, 0, 0, hub});
    for (int k = 0; k < 12; k++) {
        double a = k * (2 * M_PI / 12);
        s.push_back({0, ring * std::sin(a), ring * std::cos(a), tube});
    }
    return s;
}

}  // namespace

void make_shapes(DataTree& tree) {
    const std::string A = "zzzz.saf";
    // Frame: skid plate and engine low, tank and shrouds, seat to the rear
    // fender, foot pegs. Hard plastic and metal: slides easily, stiff.
    std::vector<Sphere> frame = {
        rel(frame_pos, 0, 1.35, 3.45, 0.42),   // skid plate / engine cases
        rel(frame_pos, 0, 1.75, 3.05, 0.45),   // cylinder
        rel(frame_pos, 0, 2.75, 2.95, 0.42),   // tank
        rel(frame_pos, 0.45, 2.55, 2.65, 0.3), rel(frame_pos, -0.45, 2.55, 2.65, 0.3),  // shrouds
        rel(frame_pos, 0, 2.95, 4.0, 0.36),    // seat front
        rel(frame_pos, 0, 3.05, 5.0, 0.33),    // seat rear
        rel(frame_pos, 0, 3.1, 6.1, 0.3),      // rear fender
        rel(frame_pos, 0.7, 1.35, 4.0, 0.16), rel(frame_pos, -0.7, 1.35, 4.0, 0.16),  // foot pegs
    };
    tree.add_text(A, "generic_frame.shp", shape_text(frame, {0.45, 12000, 1200}));

    // Upper fork: triple clamps, number plate and the handlebar ends.
    std::vector<Sphere> upper = {
        rel(head_pos, 0, 2.95, 2.25, 0.32),
        rel(head_pos, 0, 2.7, 1.75, 0.3),  // number plate
        rel(head_pos, 1.15, 3.55, 2.55, 0.18), rel(head_pos, -1.15, 3.55, 2.55, 0.18),  // bar ends
        rel(head_pos, 0.55, 3.5, 2.5, 0.18), rel(head_pos, -0.55, 3.5, 2.5, 0.18),
    };
    tree.add_text(A, "generic_fork_upper.shp", shape_text(upper, {0.6, 10000, 1000}));

    // Lower fork: the two fork legs down to the axle and the front fender.
    std::vector<Sphere> lower;
    for (int side = -1; side <= 1; side += 2) {
        double x = side * fork_half_spacing;
        for (int k = 0; k < 3; k++) {
            double t = k / 2.0;  // from the lower fork body to the axle
            lower.push_back(rel(lower_fork_pos, x, lerp(2.0, front_axle[1], t), lerp(1.75, front_axle[2], t), 0.2));
        }
    }
    lower.push_back(rel(lower_fork_pos, 0, 2.35, 0.95, 0.28));  // fender
    tree.add_text(A, "generic_fork_lower.shp", shape_text(lower, {0.5, 10000, 1000}));

    // Swingarm: both arms from the pivot to the axle, and the chain guide.
    std::vector<Sphere> arm;
    for (int side = -1; side <= 1; side += 2) {
        double x = side * fork_half_spacing;
        for (int k = 0; k < 4; k++) {
            double t = k / 3.0;
            arm.push_back(rel(swingarm_pos, x, lerp(pivot[1], rear_axle[1], t), lerp(pivot[2], rear_axle[2], t), 0.19));
        }
    }
    arm.push_back(rel(swingarm_pos, 0.35, 1.0, 4.9, 0.17));
    tree.add_text(A, "generic_swingarm.shp", shape_text(arm, {0.5, 12000, 1200}));

    // Wheels: rubber grips like the tyre contact and is as stiff.
    tree.add_text(A, "front_wheel.shp", shape_text(wheel(0.8333, 0.3333, 0.5), {1.0, 25000, 2500}));
    tree.add_text(A, "rear_wheel.shp", shape_text(wheel(0.75, 0.3333, 0.5), {1.0, 25000, 2500}));

    // Rider standing on the pegs: hips, chest, helmet, knees and elbows.
    // Padded gear on a body: grippy and soft.
    std::vector<Sphere> rider = {
        rel(rider_pos, 0, 3.65, 4.35, 0.55),   // hips
        rel(rider_pos, 0, 4.65, 3.9, 0.6),     // chest
        rel(rider_pos, 0, 5.7, 3.35, 0.45),    // helmet
        rel(rider_pos, 0.55, 2.9, 3.55, 0.3), rel(rider_pos, -0.55, 2.9, 3.55, 0.3),  // knees
        rel(rider_pos, 0.9, 4.35, 3.0, 0.25), rel(rider_pos, -0.9, 4.35, 3.0, 0.25),  // elbows
    };
    tree.add_text(A, "generic_rider.shp", shape_text(rider, {0.8, 4000, 400}));
}

// ---------------------------------------------------------------------------
// Models

namespace {

struct MeshBuilder {
    std::vector<double> v;  // x y z nx ny nz u v per vertex
    std::vector<int> tri;
    // A quad from four corners in counter-clockwise order seen from outside.
    void quad(const double a[3], const double b[3], const double c[3], const double d[3], double u0, double v0,
              double u1, double v1) {
        double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, e2[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
        double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (double& k : n) k /= l;
        int base = int(v.size() / 8);
        const double* p[4] = {a, b, c, d};
        const double uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
        for (int i = 0; i < 4; i++) {
            v.insert(v.end(), {p[i][0], p[i][1], p[i][2], n[0], n[1], n[2], uv[i][0], uv[i][1]});
        }
        tri.insert(tri.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    // An axis-aligned box, textured with the region (u0, v0)-(u1, v1).
    void box(double x0, double y0, double z0, double x1, double y1, double z1, double u0, double v0, double u1,
             double v1) {
        double c[8][3];
        for (int i = 0; i < 8; i++) {
            c[i][0] = i & 1 ? x1 : x0;
            c[i][1] = i & 2 ? y1 : y0;
            c[i][2] = i & 4 ? z1 : z0;
        }
        quad(c[4], c[5], c[7], c[6], u0, v0, u1, v1);  // +z
        quad(c[1], c[0], c[2], c[3], u0, v0, u1, v1);  // -z
        quad(c[5], c[1], c[3], c[7], u0, v0, u1, v1);  // +x
        quad(c[0], c[4], c[6], c[2], u0, v0, u1, v1);  // -x
        quad(c[6], c[7], c[3], c[2], u0, v0, u1, v1);  // +y
        quad(c[0], c[1], c[5], c[4], u0, v0, u1, v1);  // -y
    }
    std::string jm_mesh(double shininess, double r, double g, double b) const {
        std::string t = fmt("%.1f 1 %.3f %.3f %.3f %zu %zu\n", shininess, r, g, b, v.size() / 8, tri.size() / 3);
        for (size_t i = 0; i < v.size(); i += 8)
            t += fmt("%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", v[i], v[i + 1], v[i + 2], v[i + 3], v[i + 4],
                     v[i + 5], v[i + 6], v[i + 7]);
        for (size_t i = 0; i < tri.size(); i += 3) t += fmt("%d %d %d\n", tri[i], tri[i + 1], tri[i + 2]);
        return t;
    }
};

}  // namespace

void make_models(DataTree& tree) {
    const std::string A = "zzzz.saf";
    // Starting-gate piece, drawn in its dropped pose: a low hinge bar across
    // the slot and a plate lying flat on the ground from the hinge toward the
    // rider (+z), so the bikes roll over it once it is down. The race tilts it
    // up about the hinge while the gate is closed.
    {
        MeshBuilder hinge, plate;
        hinge.box(-1.8, 0, -0.2, 1.8, 0.25, 0.2, 0, 0, 1, 0.25);
        double L = 3.0, w = 1.7, t = 0.1;
        double p[8][3];
        for (int i = 0; i < 8; i++) {
            p[i][0] = i & 1 ? w : -w;
            p[i][1] = i & 4 ? t : 0;
            p[i][2] = i & 2 ? L : 0.2;
        }
        plate.quad(p[4], p[6], p[7], p[5], 0, 0.25, 1, 1);    // top face
        plate.quad(p[0], p[1], p[3], p[2], 0, 0.25, 1, 1);    // underside
        plate.quad(p[2], p[3], p[7], p[6], 0, 0.25, 1, 0.3);  // far edge
        plate.quad(p[0], p[4], p[5], p[1], 0, 0.25, 1, 0.3);  // hinge edge
        plate.quad(p[1], p[5], p[7], p[3], 0, 0.25, 0.1, 1);  // sides
        plate.quad(p[0], p[2], p[6], p[4], 0, 0.25, 0.1, 1);
        tree.add_text(A, "startgate.jm", "JM1\n" + hinge.jm_mesh(16, 0.55, 0.55, 0.6) + plate.jm_mesh(48, 0.9, 0.9, 0.9));
        // Solid along the plate and the hinge; down, nothing stands more
        // than a quarter foot off the ground.
        std::vector<Sphere> s;
        for (int i = 0; i < 5; i++) {
            double x = -1.4 + 0.7 * i;
            s.push_back({x, 0.1, 0, 0.15});
            for (int k = 0; k < 3; k++) s.push_back({x, 0.06, 0.8 + k * 0.95, 0.12});
        }
        tree.add_text(A, "startgate.shp", shape_text(s, {0.4, 20000, 2000}));
    }
    // Hay bale: 4 x 2 x 2.5 feet, long side along x.
    {
        MeshBuilder bale;
        bale.box(-2, 0, -1.25, 2, 2, 1.25, 0, 0, 1, 1);
        tree.add_text("gravelrun.saf", "haybale.jm", "JM1\n" + bale.jm_mesh(4, 1, 1, 1));
        std::vector<Sphere> s;
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 2; j++) s.push_back({-1.5 + i * 1.0, 1.0, -0.6 + 1.2 * j, 0.75});
        tree.add_text("gravelrun.saf", "haybale.shp", shape_text(s, {0.9, 3000, 600}));
    }
}

}  // namespace mkdata
