// Collisions with the track's statues and between bikes: sphere-pair
// contacts as soft joints, touch tests or penalty forces, tyres as tori
// against incoming shapes, the statue bins, scenery ejection and the
// collision timers that say who ran into whom.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

namespace {

const double SCENERY_REACH = 6;             // feet around the frame searched for statues
const double TYRE_FRICTION = 1, TYRE_STIFFNESS = 25000, TYRE_DAMPING = 2500;
const double PENALTY_LIMIT = 1000;          // pounds-force
const double SCENERY_EJECT_SPEED2 = 400;    // 20 feet per second, squared
const double HEAD_ON_SPEED = 10;            // feet per second
const double HITTER_SPEED = 10;
const double HIT_SPEED = 5;

void transform_shape(CollisionShape* s, const dReal* pos, const dReal* rot) {
    for (int k = 0; k < s->count; k++) {
        ShapeSphere& sp = s->spheres[k];
        dVector3 w;
        dMultiply0_331(w, rot, sp.centre);
        for (int i = 0; i < 3; i++) sp.world[i] = w[i] + pos[i];
    }
}

double dist2(const dReal* a, const dReal* b) {
    double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return dot3(d, d);
}

void point_velocity(dBodyID body, const double p[3], double out[3]) {
    if (!body) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    dVector3 v;
    dBodyGetPointVel(body, p[0], p[1], p[2], v);
    for (int i = 0; i < 3; i++) out[i] = v[i];
}

double speed_of(dBodyID body) {
    const dReal* v = dBodyGetLinearVel(body);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Statue-bin cell of a world coordinate; the bins cover the middle three
// quarters of the field.
int bin_cell(double v, double W) {
    double c = std::floor(8 * (v / W - 0.125) * 4 / 3);
    if (!(c >= 0)) return 0;  // also NaN
    return c > STATUE_BINS - 1 ? STATUE_BINS - 1 : int(c);
}

// How far from its frame a bike's solid parts reach: as the first bike of a
// pair (wheels by their own sphere shapes) or as the second (wheels as tyres).
double bike_reach(const Bike* b, bool wheels_as_tyres) {
    const dReal* f = dBodyGetPosition(b->frame);
    double reach = 0;
    auto part = [&](dBodyID body, double radius) {
        double r = std::sqrt(dist2(dBodyGetPosition(body), f)) + radius;
        if (r > reach) reach = r;
    };
    const CollisionShape* shaped[5] = {b->frame_shape, b->fork_upper_shape, b->fork_lower_shape, b->swingarm_shape,
                                       b->rider_shape};
    const dBodyID bodies[5] = {b->frame, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
    for (int i = 0; i < 5; i++)
        if (shaped[i]) part(bodies[i], shaped[i]->bounding_radius);
    if (wheels_as_tyres) {
        part(b->front_wheel, b->front_contact.ring_radius + b->front_contact.tube_radius);
        part(b->rear_wheel, b->rear_contact.ring_radius + b->rear_contact.tube_radius);
    } else {
        if (b->front_wheel_shape) part(b->front_wheel, b->front_wheel_shape->bounding_radius);
        if (b->rear_wheel_shape) part(b->rear_wheel, b->rear_wheel_shape->bounding_radius);
    }
    return reach;
}

// Who ran into whom once bike a's part bits `s` and bike b's part bits `r`
// have touched.
void mark_collision(Bike* a, Bike* b, int s, int r) {
    double va = speed_of(a->frame), vb = speed_of(b->frame);
    if (r & s & PART_FRONT) {
        if (va >= HEAD_ON_SPEED) a->collision_timer = std::fmax(a->collision_timer, COLLISION_HEAD_ON);
        if (vb >= HEAD_ON_SPEED) b->collision_timer = std::fmax(b->collision_timer, COLLISION_HEAD_ON);
        return;
    }
    Bike* hitter = nullptr;
    Bike* hit = nullptr;
    double v_hitter = 0, v_hit = 0;
    if (s & PART_FRONT)
        hitter = a, hit = b, v_hitter = va, v_hit = vb;
    else if (r & PART_FRONT)
        hitter = b, hit = a, v_hitter = vb, v_hit = va;
    if (!hitter || bike_crashed(hit) || v_hit < HIT_SPEED) return;
    if (v_hitter >= HITTER_SPEED) hitter->collision_timer = std::fmax(hitter->collision_timer, COLLISION_HITTER);
    if (!(hit->collision_timer > 0)) hit->collision_timer = std::fmin(hit->collision_timer, COLLISION_HIT);
}

}  // namespace

bool sphere_sphere_contact(const ShapeSphere& s1, dBodyID body1, const ShapeSphere& s2, dBodyID body2, int mode,
                           SphereContact* out) {
    double d[3];
    sub3(s2.world, s1.world, d);
    double reach = s1.radius + s2.radius;
    double d2 = dot3(d, d);
    if (!(reach * reach > d2)) return false;
    if (!body1 && !body2) return true;

    double dist = std::sqrt(d2);
    double n[3];
    if (dist > 1e-12) {
        for (int i = 0; i < 3; i++) n[i] = d[i] / dist;
    } else {
        // Coincident centres have no direction of their own; push apart upward
        // rather than feed a zero normal to the solver.
        n[0] = 0, n[1] = 1, n[2] = 0;
    }
    double depth = reach - dist;
    double p[3];
    for (int i = 0; i < 3; i++) p[i] = s1.world[i] + n[i] * (s1.radius - depth / 2);

    if (out) {
        for (int i = 0; i < 3; i++) out->point[i] = p[i], out->normal[i] = n[i];
        point_velocity(body1, p, out->velocity);
        out->depth = depth;
    }
    if (mode == CONTACT_TOUCH) return true;

    double k = std::fmin(s1.stiffness, s2.stiffness);
    double c = std::fmin(s1.damping, s2.damping);
    double mu = std::fmin(s1.friction, s2.friction);

    if (mode == CONTACT_JOINT) {
        ContactSoftness soft = contact_softness(k, c);
        dContact con = {};
        con.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
        con.surface.mu = mu;
        con.surface.soft_erp = soft.erp;
        con.surface.soft_cfm = soft.cfm;
        for (int i = 0; i < 3; i++) con.geom.pos[i] = p[i], con.geom.normal[i] = n[i];
        con.geom.depth = depth;
        dJointID j = dJointCreateContact(physics.world, physics.contacts, &con);
        dJointAttach(j, body2, body1);
        return true;
    }

    // Penalty force: a spring on the overlap and a damper on the closing speed.
    double v1[3], v2[3];
    point_velocity(body1, p, v1);
    point_velocity(body2, p, v2);
    double F = depth * k + (dot3(v1, n) - dot3(v2, n)) * c;
    F = clampd(F, -PENALTY_LIMIT, PENALTY_LIMIT);
    if (body2 && dBodyIsEnabled(body2)) dBodyAddForceAtPos(body2, F * n[0], F * n[1], F * n[2], p[0], p[1], p[2]);
    if (body1 && dBodyIsEnabled(body1)) dBodyAddForceAtPos(body1, -F * n[0], -F * n[1], -F * n[2], p[0], p[1], p[2]);
    return true;
}

bool shape_shape_contact(CollisionShape* a, dBodyID body_a, const dReal* pos_a, const dReal* rot_a,
                         CollisionShape* b, dBodyID body_b, const dReal* pos_b, const dReal* rot_b, int mode) {
    if (!a || !b) return false;
    double reach = a->bounding_radius + b->bounding_radius;
    if (!(dist2(pos_a, pos_b) < reach * reach)) return false;
    transform_shape(a, pos_a, rot_a);
    transform_shape(b, pos_b, rot_b);
    bool touched = false;
    for (int i = 0; i < a->count; i++)
        for (int j = 0; j < b->count; j++)
            touched |= sphere_sphere_contact(a->spheres[i], body_a, b->spheres[j], body_b, mode, nullptr);
    return touched;
}

bool wheel_shape_contact(CollisionShape* s, dBodyID body, const dReal* pos, const dReal* rot, WheelContact* wc,
                         int mode) {
    if (!s) return false;
    const dReal* C = dBodyGetPosition(wc->body);
    double ring = wc->ring_radius, tube = wc->tube_radius;
    double reach = ring + tube + s->bounding_radius;
    if (!(dist2(C, pos) < reach * reach)) return false;
    dVector3 ax;
    dBodyVectorToWorld(wc->body, wc->axle[0], wc->axle[1], wc->axle[2], ax);
    double axle[3] = {ax[0], ax[1], ax[2]};
    transform_shape(s, pos, rot);

    ShapeSphere tyre = {};
    tyre.radius = tube;
    tyre.friction = TYRE_FRICTION;
    tyre.stiffness = TYRE_STIFFNESS;
    tyre.damping = TYRE_DAMPING;
    const double small = ring * 1e-6;
    bool touched = false;
    SphereContact best = {};
    best.depth = 0;
    for (int k = 0; k < s->count; k++) {
        const ShapeSphere& sp = s->spheres[k];
        // The ring point nearest the sphere: its direction from the axle.
        double u[3];
        sub3(sp.world, C, u);
        double h = dot3(u, axle);
        for (int i = 0; i < 3; i++) u[i] -= h * axle[i];
        // A centre on the axle is as near to every ring point; take the
        // first of the axis combinations that leaves the axle.
        for (int combo = 1; combo < 8 && !(dot3(u, u) >= small); combo++) {
            double e[3] = {double(combo & 1), double((combo >> 1) & 1), double((combo >> 2) & 1)};
            for (int i = 0; i < 3; i++) e[i] *= ring;
            double eh = dot3(e, axle);
            for (int i = 0; i < 3; i++) u[i] = e[i] - eh * axle[i];
        }
        double ul = len3(u);
        if (!(ul > 0)) continue;
        for (int i = 0; i < 3; i++) tyre.world[i] = C[i] + ring * u[i] / ul;
        SphereContact sc;
        if (!sphere_sphere_contact(tyre, wc->body, sp, body, mode, &sc)) continue;
        touched = true;
        if (sc.depth > best.depth) best = sc;
    }
    // Off the ground, the obstacle is what the wheel stands on. Its normal
    // points out of the obstacle toward the wheel, as a ground normal does.
    if (best.depth > 0 && !(wc->depth > 0)) {
        for (int i = 0; i < 3; i++) {
            wc->point[i] = best.point[i];
            wc->velocity[i] = best.velocity[i];
            wc->normal[i] = -best.normal[i];
        }
        wc->depth = best.depth;
    }
    return touched;
}

int collide_bike_with_shape(Bike* bike, CollisionShape* s, dBodyID body, const dReal* pos, const dReal* rot,
                            int mode, bool front_touch_only) {
    if (!s) return 0;
    int front_mode = front_touch_only ? CONTACT_TOUCH : mode;
    int bits = 0;
    if (wheel_shape_contact(s, body, pos, rot, &bike->front_contact, front_mode)) bits |= PART_FRONT_WHEEL;
    if (wheel_shape_contact(s, body, pos, rot, &bike->rear_contact, mode)) bits |= PART_REAR_WHEEL;
    struct Part {
        CollisionShape* shape;
        dBodyID body;
        int mode;
        int bit;
    };
    const Part parts[5] = {{bike->frame_shape, bike->frame, mode, PART_FRAME},
                           {bike->fork_upper_shape, bike->fork_upper, front_mode, PART_FORK_UPPER},
                           {bike->fork_lower_shape, bike->fork_lower, front_mode, PART_FORK_LOWER},
                           {bike->swingarm_shape, bike->swingarm, mode, PART_SWINGARM},
                           {bike->rider_shape, bike->rider, mode, PART_RIDER}};
    for (const Part& p : parts) {
        if (!p.shape) continue;
        if (shape_shape_contact(p.shape, p.body, dBodyGetPosition(p.body), dBodyGetRotation(p.body), s, body, pos, rot,
                                p.mode))
            bits |= p.bit;
    }
    return bits;
}

int collide_bike_with_statue(Bike* bike, CollisionShape* s, dBodyID body, const dReal* pos, const dReal* rot) {
    int bits = collide_bike_with_shape(bike, s, body, pos, rot, CONTACT_JOINT, false);
    if ((bits & PART_RIDER) && bike->crash_timer == 0) {
        const dReal* rv = dBodyGetLinearVel(bike->rider);
        double v[3] = {rv[0], rv[1], rv[2]};
        if (body) {
            const dReal* bv = dBodyGetLinearVel(body);
            for (int i = 0; i < 3; i++) v[i] -= bv[i];
        }
        if (dot3(v, v) > SCENERY_EJECT_SPEED2 && bike->collision_timer >= 0) eject_rider(bike);
    }
    return bits;
}

void statue_collision_pose(const Statue& s, dVector3 position, dMatrix3 rotation) {
    position[0] = s.x, position[1] = s.y, position[2] = s.z, position[3] = 0;
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            rotation[r * 4 + c] = s.facing_distance != 0 ? (r == c ? 1 : 0) : s.orientation[r * 3 + c];
        rotation[r * 4 + 3] = 0;
    }
}

void collide_bike_with_scenery(Bike* bike) {
    const double W = terrain.field_size;
    if (!(W > 0) || scenery.statues.empty()) return;
    const dReal* f = dBodyGetPosition(bike->frame);
    int c0 = bin_cell(f[0] - SCENERY_REACH, W), c1 = bin_cell(f[0] + SCENERY_REACH, W);
    int r0 = bin_cell(f[2] - SCENERY_REACH, W), r1 = bin_cell(f[2] + SCENERY_REACH, W);

    auto test = [&](int index) {
        if (index < 0 || size_t(index) >= scenery.statues.size()) return;
        Statue& st = scenery.statues[size_t(index)];
        if (!st.shape) return;
        dVector3 pos;
        dMatrix3 rot;
        statue_collision_pose(st, pos, rot);
        if (collide_bike_with_statue(bike, st.shape, nullptr, pos, rot) != 0) st.touched_tick = race_timing.tick;
    };

    if (c0 == c1 && r0 == r1) {
        for (int index : scenery.bins[r0][c0]) test(index);
        return;
    }
    // Several cells: merge their ascending lists so that a statue lying in
    // more than one of them is tested once, in index order.
    const std::vector<int>* lists[STATUE_BINS * STATUE_BINS];
    size_t at[STATUE_BINS * STATUE_BINS];
    int n = 0;
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++)
            if (!scenery.bins[r][c].empty()) lists[n] = &scenery.bins[r][c], at[n] = 0, n++;
    for (;;) {
        int next = -1;
        for (int i = 0; i < n; i++)
            if (at[i] < lists[i]->size()) {
                int v = (*lists[i])[at[i]];
                if (next < 0 || v < next) next = v;
            }
        if (next < 0) break;
        for (int i = 0; i < n; i++)
            while (at[i] < lists[i]->size() && (*lists[i])[at[i]] <= next) at[i]++;
        test(next);
    }
}

int collide_bikes(Bike* a, Bike* b, bool remote) {
    // Bikes too far apart for any of their parts' bounding spheres to meet
    // are passed over at once; most pairs in a race are.
    double reach = bike_reach(a, false) + bike_reach(b, true);
    if (!(dist2(dBodyGetPosition(a->frame), dBodyGetPosition(b->frame)) < reach * reach)) return 0;
    const int tick = race_timing.tick;
    int mode = a->last_bike_contact_tick == tick || b->last_bike_contact_tick == tick ? CONTACT_PENALTY : CONTACT_JOINT;
    struct Part {
        CollisionShape* shape;
        dBodyID body;
        int bit;
        bool front_touch_only;
    };
    const Part parts[7] = {{a->front_wheel_shape, a->front_wheel, PART_FRONT_WHEEL, false},
                           {a->rear_wheel_shape, a->rear_wheel, PART_REAR_WHEEL, remote},
                           {a->frame_shape, a->frame, PART_FRAME, remote},
                           {a->fork_upper_shape, a->fork_upper, PART_FORK_UPPER, false},
                           {a->fork_lower_shape, a->fork_lower, PART_FORK_LOWER, false},
                           {a->swingarm_shape, a->swingarm, PART_SWINGARM, remote},
                           {a->rider_shape, a->rider, PART_RIDER, remote}};
    int r = 0, s = 0;
    for (const Part& p : parts) {
        if (!p.shape) continue;
        int hit = collide_bike_with_shape(b, p.shape, p.body, dBodyGetPosition(p.body), dBodyGetRotation(p.body), mode,
                                          p.front_touch_only);
        r |= hit;
        if (hit) s |= p.bit;
    }
    if (r == 0) return 0;
    mark_collision(a, b, s, r);
    a->last_bike_contact_tick = tick;
    b->last_bike_contact_tick = tick;
    for (int i = 0; i < 4; i++) a->robot.line_ids[i] = -1, b->robot.line_ids[i] = -1;
    return r;
}

}  // namespace gr
