// Ground contact: torus and sphere penetration into the height-field
// triangles, the tyre's soft contact with slip-dependent friction, rolling
// resistance, body-part contacts and the head-first crash test.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"
#include "terrain/terrain.h"

namespace gr {

namespace {

// Far-away or broken positions stay on the field's border samples; this
// keeps the cell arithmetic inside int range.
const double COORD_LIMIT = 1e7;

double ground_sample(const Terrain& t, int c, int r) {
    c = c < 0 ? 0 : c > t.dim - 1 ? t.dim - 1 : c;
    r = r < 0 ? 0 : r > t.dim - 1 ? t.dim - 1 : r;
    return t.heights[size_t(r) * size_t(t.dim) + size_t(c)];
}

void vertex(const Terrain& t, int c, int r, double out[3]) {
    out[0] = c * double(t.spacing);
    out[1] = ground_sample(t, c, r);
    out[2] = r * double(t.spacing);
}

// Unit normal of a triangle, pointing up.
void up_normal(const double a[3], const double b[3], const double c[3], double n[3]) {
    double e1[3], e2[3];
    sub3(b, a, e1);
    sub3(c, a, e2);
    cross3(e1, e2, n);
    if (n[1] < 0) n[0] = -n[0], n[1] = -n[1], n[2] = -n[2];
    double l = len3(n);
    if (l > 0) n[0] /= l, n[1] /= l, n[2] /= l;
}

// Closest point of the triangle to p; `inside` when it lies in the face.
void closest_on_triangle(const double* p, const double* a, const double* b, const double* c, double* q,
                         bool* inside) {
    double ab[3], ac[3], ap[3];
    sub3(b, a, ab);
    sub3(c, a, ac);
    sub3(p, a, ap);
    *inside = false;
    double d1 = dot3(ab, ap), d2 = dot3(ac, ap);
    if (d1 <= 0 && d2 <= 0) {
        for (int i = 0; i < 3; i++) q[i] = a[i];
        return;
    }
    double bp[3];
    sub3(p, b, bp);
    double d3 = dot3(ab, bp), d4 = dot3(ac, bp);
    if (d3 >= 0 && d4 <= d3) {
        for (int i = 0; i < 3; i++) q[i] = b[i];
        return;
    }
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        double v = d1 / (d1 - d3);
        for (int i = 0; i < 3; i++) q[i] = a[i] + v * ab[i];
        return;
    }
    double cp[3];
    sub3(p, c, cp);
    double d5 = dot3(ab, cp), d6 = dot3(ac, cp);
    if (d6 >= 0 && d5 <= d6) {
        for (int i = 0; i < 3; i++) q[i] = c[i];
        return;
    }
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        double w = d2 / (d2 - d6);
        for (int i = 0; i < 3; i++) q[i] = a[i] + w * ac[i];
        return;
    }
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        for (int i = 0; i < 3; i++) q[i] = b[i] + w * (c[i] - b[i]);
        return;
    }
    double denom = 1 / (va + vb + vc);
    double v = vb * denom, w = vc * denom;
    for (int i = 0; i < 3; i++) q[i] = a[i] + ab[i] * v + ac[i] * w;
    *inside = true;
}

// Squared distance from x to the circle (centre, unit axle, radius), and
// the circle point nearest to x.
double circle_distance2(const double* x, const double* centre, const double* axle, double radius,
                        double* nearest) {
    double q[3];
    sub3(x, centre, q);
    double h = dot3(q, axle);
    double radial[3] = {q[0] - h * axle[0], q[1] - h * axle[1], q[2] - h * axle[2]};
    double rho = len3(radial);
    if (rho < 1e-12) {
        // On the axle: every circle point is equally near; take any.
        double any[3] = {axle[1], -axle[0], 0};
        if (std::fabs(axle[2]) > 0.9) any[0] = 0, any[1] = axle[2], any[2] = -axle[1];
        double l = len3(any);
        for (int i = 0; i < 3; i++) nearest[i] = centre[i] + radius * any[i] / l;
        return h * h + radius * radius;
    }
    for (int i = 0; i < 3; i++) nearest[i] = centre[i] + radius * radial[i] / rho;
    double dr = rho - radius;
    return h * h + dr * dr;
}

// The nearest points of a segment and the circle: a coarse scan, then a
// golden-section search around the best sample.
double segment_circle(const double* p0, const double* p1, const double* centre, const double* axle,
                      double radius, double* seg_point, double* circle_point) {
    auto eval = [&](double t, double* sp, double* cp) {
        for (int i = 0; i < 3; i++) sp[i] = p0[i] + t * (p1[i] - p0[i]);
        return circle_distance2(sp, centre, axle, radius, cp);
    };
    double sp[3], cp[3];
    double best_t = 0, best = eval(0, sp, cp);
    const int samples = 8;
    for (int k = 1; k <= samples; k++) {
        double t = double(k) / samples;
        double d = eval(t, sp, cp);
        if (d < best) best = d, best_t = t;
    }
    double lo = std::fmax(0, best_t - 1.0 / samples), hi = std::fmin(1, best_t + 1.0 / samples);
    const double g = 0.6180339887498949;
    double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
    double f1 = eval(x1, sp, cp), f2 = eval(x2, sp, cp);
    for (int it = 0; it < 24; it++) {
        if (f1 < f2) {
            hi = x2, x2 = x1, f2 = f1;
            x1 = hi - g * (hi - lo);
            f1 = eval(x1, sp, cp);
        } else {
            lo = x1, x1 = x2, f1 = f2;
            x2 = lo + g * (hi - lo);
            f2 = eval(x2, sp, cp);
        }
    }
    double t = 0.5 * (lo + hi);
    double d = eval(t, sp, cp);
    if (best < d) d = eval(best_t, sp, cp);
    for (int i = 0; i < 3; i++) seg_point[i] = sp[i], circle_point[i] = cp[i];
    return std::sqrt(d);
}

// Visits the two triangles of every cell overlapping the square of
// half-width `reach` around (x, z), in the height query's chessboard split.
template <typename F>
void for_each_ground_triangle(const Terrain& t, double x, double z, double reach, F visit) {
    double sp = t.spacing;
    x = clampd(x, -COORD_LIMIT, COORD_LIMIT);
    z = clampd(z, -COORD_LIMIT, COORD_LIMIT);
    int i0 = int(std::floor((x - reach) / sp)), i1 = int(std::floor((x + reach) / sp));
    int j0 = int(std::floor((z - reach) / sp)), j1 = int(std::floor((z + reach) / sp));
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            double v00[3], v10[3], v01[3], v11[3];
            vertex(t, i, j, v00);
            vertex(t, i + 1, j, v10);
            vertex(t, i, j + 1, v01);
            vertex(t, i + 1, j + 1, v11);
            if (((i ^ j) & 1) == 0) {
                visit(v00, v10, v11);
                visit(v00, v11, v01);
            } else {
                visit(v00, v10, v01);
                visit(v10, v11, v01);
            }
        }
}

bool terrain_ready(const Terrain& t) { return t.heights && t.dim >= 2 && t.spacing > 0; }

const SurfaceType& surface_under(const Terrain& t, double x, double z) {
    static const SurfaceType default_surface;
    if (!t.surfaces || t.surface_count <= 0 || !t.tilemap || t.half_size <= 0) return default_surface;
    float top = float(t.half_size - 1);
    float f = std::fmin(std::fmax(float(x) / t.tile_size, 0.0f), top);
    float g = std::fmin(std::fmax(float(z) / t.tile_size, 0.0f), top);
    if (std::isnan(f)) f = 0;
    if (std::isnan(g)) g = 0;
    int s = t.tilemap[size_t(int(g)) * size_t(t.half_size) + size_t(int(f))];
    return t.surfaces[s < t.surface_count ? s : t.surface_count - 1];
}

// The curve's point search: the first point past `speed` or the end marker.
int curve_index(const float* keys, double speed, bool* at_end) {
    int k = 0;
    for (; k < CURVE_POINTS; k++) {
        if (k > 0 && keys[k] == 0) break;
        if (keys[k] > speed) break;
    }
    *at_end = k == CURVE_POINTS || (k > 0 && keys[k] == 0);
    return k;
}

void make_contact(dBodyID body, const double point[3], const double normal[3], double depth, double mu,
                  const ContactSoftness& soft, const double* fdir, dJointFeedback* feedback) {
    dContact c = {};
    c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    c.surface.mu = mu;
    c.surface.soft_erp = soft.erp;
    c.surface.soft_cfm = soft.cfm;
    for (int i = 0; i < 3; i++) {
        c.geom.pos[i] = point[i];
        c.geom.normal[i] = normal[i];
    }
    c.geom.depth = depth;
    if (fdir) {
        c.surface.mode |= dContactFDir1;
        for (int i = 0; i < 3; i++) c.fdir1[i] = fdir[i];
    }
    dJointID j = dJointCreateContact(physics.world, physics.contacts, &c);
    dJointAttach(j, body, nullptr);
    if (feedback) dJointSetFeedback(j, feedback);
}

}  // namespace

double surface_friction(const SurfaceType& s, double slip) {
    bool end;
    int k = curve_index(s.friction_key, slip, &end);
    if (k == 0) return s.friction_value[0];
    if (end) return s.friction_value[k - 1];
    double v0 = s.friction_key[k - 1], v1 = s.friction_key[k];
    double f0 = s.friction_value[k - 1], f1 = s.friction_value[k];
    double span = v1 * v1 - v0 * v0;
    double u = span > 0 ? clampd((slip * slip - v0 * v0) / span, 0, 1) : 1;
    return f0 + (f1 - f0) * u;
}

void surface_rolling_resistance(const SurfaceType& s, double speed, double out[2]) {
    bool end;
    int k = curve_index(s.roll_key, speed, &end);
    if (k == 0 || end) {
        int i = k == 0 ? 0 : k - 1;
        out[0] = s.roll_resist[i][0], out[1] = s.roll_resist[i][1];
        return;
    }
    double v0 = s.roll_key[k - 1], v1 = s.roll_key[k];
    double u = v1 > v0 ? clampd((speed - v0) / (v1 - v0), 0, 1) : 1;
    for (int i = 0; i < 2; i++) out[i] = s.roll_resist[k - 1][i] + (s.roll_resist[k][i] - s.roll_resist[k - 1][i]) * u;
}

ContactSoftness contact_softness(double stiffness, double damping) {
    double hk = TICK * stiffness;
    return {hk / (hk + damping), 1 / (hk + damping)};
}

void tyre_stiffness(double depth, double tube_radius, double* stiffness, double* damping) {
    double c = std::fmin(depth / tube_radius, 1.0);
    if (!(c > 0)) c = 0;
    double c3 = c * c * c;
    *stiffness = 1000 + 24000 * c3;
    *damping = 200 + 2300 * c3;
}

bool sphere_triangle_penetration(const double a[3], const double b[3], const double c[3],
                                 const double centre[3], double radius, double point[3], double normal[3],
                                 double* depth) {
    double n[3], q[3];
    up_normal(a, b, c, n);
    bool inside;
    closest_on_triangle(centre, a, b, c, q, &inside);
    double rel[3];
    sub3(centre, a, rel);
    double s = dot3(rel, n);
    // A closest point on the border still counts as the face when the
    // centre sits straight above it.
    if (!inside) {
        double off[3] = {centre[0] - s * n[0] - q[0], centre[1] - s * n[1] - q[1], centre[2] - s * n[2] - q[2]};
        inside = dot3(off, off) < 1e-18;
    }
    double dist;
    if (inside) {
        dist = s;
        for (int i = 0; i < 3; i++) normal[i] = n[i];
    } else {
        double d[3];
        sub3(centre, q, d);
        dist = len3(d);
        // Below the ground beside this triangle: the triangle under the
        // centre gives the contact.
        if (s < 0 || dist < 1e-12) {
            *depth = -1;
            return false;
        }
        for (int i = 0; i < 3; i++) normal[i] = d[i] / dist;
    }
    for (int i = 0; i < 3; i++) point[i] = q[i];
    *depth = radius - dist;
    return *depth > 0;
}

namespace {

// The torus against one triangle. With `faces_only`, only a nearest point
// inside the face is looked for; edges are searched only when they could
// beat `to_beat` (the plane bounds how deep any point of the triangle gets).
bool tyre_triangle(const double a[3], const double b[3], const double c[3], const double centre[3],
                   const double axle[3], double ring, double tube, bool faces_only, double to_beat,
                   double point[3], double normal[3], double* depth) {
    double n[3];
    up_normal(a, b, c, n);
    // The circle point nearest the triangle's plane.
    double an = dot3(axle, n);
    double dir[3] = {n[0] - an * axle[0], n[1] - an * axle[1], n[2] - an * axle[2]};
    double dl = len3(dir);
    double low[3];
    if (dl > 1e-9)
        for (int i = 0; i < 3; i++) low[i] = centre[i] - ring * dir[i] / dl;
    else
        for (int i = 0; i < 3; i++) low[i] = centre[i];
    double rel[3];
    sub3(low, a, rel);
    double s = dot3(rel, n);
    *depth = tube - s;
    if (*depth <= to_beat) return false;
    double q[3];
    bool inside;
    double proj[3] = {low[0] - s * n[0], low[1] - s * n[1], low[2] - s * n[2]};
    closest_on_triangle(proj, a, b, c, q, &inside);
    if (!inside) {
        double off[3];
        sub3(proj, q, off);
        inside = dot3(off, off) < 1e-18;
    }
    if (inside) {
        for (int i = 0; i < 3; i++) point[i] = proj[i], normal[i] = n[i];
        return *depth > 0;
    }
    *depth = -1;
    if (faces_only) return false;
    // Otherwise the nearest triangle point is on an edge. A triangle whose
    // nearest point to the centre is beyond the torus cannot touch.
    double qc[3];
    closest_on_triangle(centre, a, b, c, qc, &inside);
    double dc[3];
    sub3(centre, qc, dc);
    if (len3(dc) - ring > tube) return false;
    const double* edges[3][2] = {{a, b}, {b, c}, {c, a}};
    double best = 1e300, best_seg[3] = {}, best_circle[3] = {};
    for (auto& e : edges) {
        double sp[3], cp[3];
        double d = segment_circle(e[0], e[1], centre, axle, ring, sp, cp);
        if (d < best) {
            best = d;
            for (int i = 0; i < 3; i++) best_seg[i] = sp[i], best_circle[i] = cp[i];
        }
    }
    double d[3];
    sub3(best_circle, best_seg, d);
    double l = len3(d);
    // The circle passing through or under this edge: the neighbouring face
    // reports the contact.
    if (l < 1e-12 || dot3(d, n) < 0) return false;
    for (int i = 0; i < 3; i++) point[i] = best_seg[i], normal[i] = d[i] / l;
    *depth = tube - best;
    return *depth > 0;
}

}  // namespace

bool tyre_triangle_penetration(const double a[3], const double b[3], const double c[3],
                               const double centre[3], const double axle[3], double ring, double tube,
                               double point[3], double normal[3], double* depth) {
    return tyre_triangle(a, b, c, centre, axle, ring, tube, false, -1e300, point, normal, depth);
}

bool tyre_ground_penetration(const Terrain& t, const double centre[3], const double axle[3], double ring,
                             double tube, double point[3], double normal[3], double* depth) {
    *depth = 0;
    if (!terrain_ready(t) || !std::isfinite(centre[0]) || !std::isfinite(centre[2])) return false;
    double best = 0;
    bool found = false;
    // Faces first (cheap); then only edges that could still go deeper.
    for (int pass = 0; pass < 2; pass++)
        for_each_ground_triangle(t, centre[0], centre[2], ring + tube, [&](const double* a, const double* b, const double* c) {
            double p[3], n[3], d;
            if (tyre_triangle(a, b, c, centre, axle, ring, tube, pass == 0, best, p, n, &d) && d > best) {
                best = d;
                found = true;
                for (int i = 0; i < 3; i++) point[i] = p[i], normal[i] = n[i];
            }
        });
    *depth = best;
    return found;
}

bool sphere_ground_penetration(const Terrain& t, const double centre[3], double radius, double point[3],
                               double normal[3], double* depth) {
    *depth = 0;
    if (!terrain_ready(t) || !std::isfinite(centre[0]) || !std::isfinite(centre[2])) return false;
    double best = 0;
    bool found = false;
    for_each_ground_triangle(t, centre[0], centre[2], radius, [&](const double* a, const double* b, const double* c) {
        double p[3], n[3], d;
        if (sphere_triangle_penetration(a, b, c, centre, radius, p, n, &d) && d > best) {
            best = d;
            found = true;
            for (int i = 0; i < 3; i++) point[i] = p[i], normal[i] = n[i];
        }
    });
    *depth = best;
    return found;
}

bool wheel_ground_contact(const Terrain& t, WheelContact* wc, double grip) {
    const dReal* pos = dBodyGetPosition(wc->body);
    double centre[3] = {pos[0], pos[1], pos[2]};
    dVector3 ax;
    dBodyVectorToWorld(wc->body, wc->axle[0], wc->axle[1], wc->axle[2], ax);
    double axle[3] = {ax[0], ax[1], ax[2]};
    double point[3], normal[3], depth;
    if (!tyre_ground_penetration(t, centre, axle, wc->ring_radius, wc->tube_radius, point, normal, &depth)) {
        wc->depth = 0;
        return false;
    }
    for (int i = 0; i < 3; i++) wc->point[i] = point[i], wc->normal[i] = normal[i];
    wc->depth = depth;
    dVector3 v;
    dBodyGetPointVel(wc->body, point[0], point[1], point[2], v);
    for (int i = 0; i < 3; i++) wc->velocity[i] = v[i];

    const SurfaceType& surface = surface_under(t, point[0], point[2]);
    double mu = surface_friction(surface, len3(wc->velocity)) * grip;

    double c = std::fmin(depth / wc->tube_radius, 1.0);
    double K, D;
    tyre_stiffness(depth, wc->tube_radius, &K, &D);
    ContactSoftness soft = contact_softness(K, D);

    // First friction direction across the slip, or along the ground across
    // the axle when the wheel hardly slips.
    double fdir[3];
    cross3(normal, wc->velocity, fdir);
    if (dot3(fdir, fdir) < 1.0 / 1024) cross3(normal, axle, fdir);
    double fl = len3(fdir);
    bool has_dir = fl > 0;
    if (has_dir)
        for (double& x : fdir) x /= fl;
    make_contact(wc->body, point, normal, depth, mu, soft, has_dir ? fdir : nullptr, &wc->feedback);

    // Rolling resistance, fading out below 1 foot per second.
    const dReal* lv = dBodyGetLinearVel(wc->body);
    double vn = lv[0] * normal[0] + lv[1] * normal[1] + lv[2] * normal[2];
    double vt[3] = {lv[0] - normal[0] * vn, lv[1] - normal[1] * vn, lv[2] - normal[2] * vn};
    double S = len3(vt);
    double rr[2];
    surface_rolling_resistance(surface, S, rr);
    double R = rr[0] + (rr[1] - rr[0]) * c;
    double scale = S > 1 ? R / S : R;
    dBodyAddForce(wc->body, -vt[0] * scale, -vt[1] * scale, -vt[2] * scale);
    return true;
}

bool shape_ground_contact(CollisionShape* shape, dBodyID body, const dReal* position, const dReal* rotation,
                          const Terrain& t) {
    if (!shape) return false;
    static const ContactSoftness soft = contact_softness(2500, 250);
    bool touched = false;
    for (int k = 0; k < shape->count; k++) {
        ShapeSphere& s = shape->spheres[k];
        dVector3 w;
        dMultiply0_331(w, rotation, s.centre);
        for (int i = 0; i < 3; i++) s.world[i] = w[i] + position[i];
        double point[3], normal[3], depth;
        if (!sphere_ground_penetration(t, s.world, s.radius, point, normal, &depth)) continue;
        touched = true;
        if (body) make_contact(body, point, normal, depth, s.friction, soft, nullptr, nullptr);
    }
    return touched;
}

double bike_ground_grip(const Bike* b) {
    if (!(b->flags2 & BIKE_ARCADE)) return 1;
    return 1 - 0.375 * clampd(4 * std::fabs(bike_lean(b)) / M_PI, 0, 1);
}

bool collide_bike_with_ground(Bike* b) {
    double grip = bike_ground_grip(b);
    bool front = wheel_ground_contact(terrain, &b->front_contact, grip);
    bool rear = wheel_ground_contact(terrain, &b->rear_contact, grip);

    struct Part {
        CollisionShape* shape;
        dBodyID body;
    };
    const Part parts[5] = {{b->frame_shape, b->frame},       {b->fork_upper_shape, b->fork_upper},
                           {b->fork_lower_shape, b->fork_lower}, {b->swingarm_shape, b->swingarm},
                           {b->rider_shape, b->rider}};
    bool other = false, rider_touched = false;
    for (int i = 0; i < 5; i++) {
        if (!parts[i].shape) continue;
        bool hit = shape_ground_contact(parts[i].shape, parts[i].body, dBodyGetPosition(parts[i].body),
                                        dBodyGetRotation(parts[i].body), terrain);
        other |= hit;
        if (i == 4) rider_touched = hit;
    }

    if (rider_touched && !bike_crashed(b) && b->collision_timer >= 0) {
        double up[3];
        body_axis(b->rider, 1, up);
        const dReal* v = dBodyGetLinearVel(b->rider);
        double speed2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        if (up[1] < 0 && speed2 > 5.0 * 5.0) eject_rider(b);
    }
    if (other) b->ground_touched = true;
    return front || rear || other;
}

}  // namespace gr
