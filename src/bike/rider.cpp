// The rider: controls and setup reaching the bike, the rider body's soft
// seat constraints, crash detection, tethers and the return to the bike,
// the feet, and the per-tick bike update that runs all of it in order.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"
#include "data/data.h"
#include "terrain/terrain.h"

namespace gr {

namespace {

const double RIDER_MASS_SCALE = 0.21333333333333335;  // rider constraint gains per slug of rider
const double FORWARD_SOFT_RANGE = 0.75;
const double VERTICAL_SOFT_LOW = -0.75, VERTICAL_SOFT_HIGH = 0.5;
const double HARD_GAIN = 2500;  // stiffness and damping outside the soft ranges
const double CRASH_SPEED = 31;         // rider against frame, feet per second
const double CRASH_ACCELERATION = 1376;  // felt by the rider, feet per second squared
const double TETHER_STIFFNESS = 5000, TETHER_DAMPING = 500;
const double FOOT_CLEARANCE = 0.25;
const double FOOT_DAMPING = 0.9375;
const double FOOT_RETURN_SPEED = 4;

double speed_of(dBodyID b) { return len3(dBodyGetLinearVel(b)); }

// A point given in the bike's model frame, on the body that stands at
// `body_model_pos` in that frame, in world coordinates.
void model_point_world(dBodyID body, const float body_model_pos[3], const float model_point[3], double out[3]) {
    dVector3 w;
    dBodyGetRelPointPos(body, double(model_point[0]) - body_model_pos[0], double(model_point[1]) - body_model_pos[1],
                        double(model_point[2]) - body_model_pos[2], w);
    out[0] = w[0], out[1] = w[1], out[2] = w[2];
}

// A one-step frictionless contact between two bodies at `point`, pushing
// body a along `normal` (and b against it).
void soft_contact(dBodyID a, dBodyID b, const double point[3], const double normal[3], double depth,
                  const ContactSoftness& soft) {
    dContact c = {};
    c.surface.mode = dContactSoftERP | dContactSoftCFM;
    c.surface.mu = 0;
    c.surface.soft_erp = soft.erp;
    c.surface.soft_cfm = soft.cfm;
    for (int i = 0; i < 3; i++) c.geom.pos[i] = point[i], c.geom.normal[i] = normal[i];
    c.geom.depth = depth;
    dJointID j = dJointCreateContact(physics.world, physics.contacts, &c);
    dJointAttach(j, a, b);
}

// Keeps the points pa (on a) and pb (on b) within `max_len` of each other.
void tether(dBodyID a, const double pa[3], dBodyID b, const double pb[3], double max_len) {
    double d[3];
    sub3(pb, pa, d);
    double L = len3(d);
    if (L <= max_len || L < 1e-9) return;
    static const ContactSoftness soft = contact_softness(TETHER_STIFFNESS, TETHER_DAMPING);
    double n[3] = {d[0] / L, d[1] / L, d[2] / L};
    double mid[3] = {0.5 * (pa[0] + pb[0]), 0.5 * (pa[1] + pb[1]), 0.5 * (pa[2] + pb[2])};
    soft_contact(a, b, mid, n, L - max_len, soft);
}

// Rider pose points are given in the model frame; the rider body stands
// at rider_pos in it.
void rider_point(const Bike* b, const float model_point[3], double out[3]) {
    model_point_world(b->rider, b->model.rider_pos, model_point, out);
}

// Offsets a body's point by a vector in that body's axes.
void offset_point(dBodyID body, const double p[3], double ox, double oy, double oz, double out[3]) {
    dVector3 v;
    dBodyVectorToWorld(body, ox, oy, oz, v);
    out[0] = p[0] + v[0], out[1] = p[1] + v[1], out[2] = p[2] + v[2];
}

void takeoff_and_landing(Bike* b, int32_t tick) {
    bool touching = b->front_contact.depth > 0 || b->rear_contact.depth > 0;
    if (touching) {
        if (b->landing_tick < b->takeoff_tick) b->landing_tick = tick;
    } else if (dBodyGetLinearVel(b->frame)[1] < 0 && b->takeoff_tick <= b->landing_tick) {
        b->takeoff_tick = tick;
    }
}

// Cancels what the six joints together did to the bike as a whole in the
// last step: their forces should sum to nothing.
void cancel_net_joint_force(Bike* b) {
    const dJointID joints[6] = {b->front_axle, b->rear_axle, b->steering_head,
                                b->fork_slider, b->swingarm_pivot, b->rider_mount};
    const dJointFeedback* fbs[6] = {&b->front_axle_feedback, &b->rear_axle_feedback, &b->steering_head_feedback,
                                    &b->fork_slider_feedback, &b->swingarm_pivot_feedback, &b->rider_mount_feedback};
    const dReal* origin = dBodyGetPosition(b->frame);
    double F[3] = {0, 0, 0}, T[3] = {0, 0, 0};
    for (int k = 0; k < 6; k++) {
        dBodyID b1 = dJointGetBody(joints[k], 0), b2 = dJointGetBody(joints[k], 1);
        if (!b1 || !b2) return;
        const dJointFeedback& fb = *fbs[k];
        const dBodyID bodies[2] = {b1, b2};
        const dReal* forces[2] = {fb.f1, fb.f2};
        const dReal* torques[2] = {fb.t1, fb.t2};
        for (int s = 0; s < 2; s++) {
            const dReal* p = dBodyGetPosition(bodies[s]);
            double r[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
            double f[3] = {forces[s][0], forces[s][1], forces[s][2]};
            double m[3];
            cross3(r, f, m);
            for (int i = 0; i < 3; i++) {
                F[i] += f[i];
                T[i] += torques[s][i] + m[i];
            }
        }
    }
    dBodyAddForce(b->frame, -F[0], -F[1], -F[2]);
    dBodyAddTorque(b->frame, -T[0], -T[1], -T[2]);
}

// Front-wheel wobble damping: the wheel's rotation other than its spin.
void wobble_damping(Bike* b) {
    double a[3];
    body_axis(b->front_wheel, 0, a);
    const dReal* w = dBodyGetAngularVel(b->front_wheel);
    double s = w[0] * a[0] + w[1] * a[1] + w[2] * a[2];
    double wp[3] = {w[0] - a[0] * s, w[1] - a[1] * s, w[2] - a[2] * s};
    double c = b->steering_damping;
    dBodyAddTorque(b->front_wheel, -c * wp[0], -c * wp[1], -c * wp[2]);
    dBodyAddTorque(b->frame, c * wp[0], c * wp[1], c * wp[2]);
}

// The rider comes back to the seat with the frame's orientation.
void remount(Bike* b) {
    double seat[3];
    rider_seat_point(b, seat);
    dBodySetPosition(b->rider, seat[0], seat[1], seat[2]);
    dBodySetQuaternion(b->rider, dBodyGetQuaternion(b->frame));
    dVector3 v;
    dBodyGetPointVel(b->frame, seat[0], seat[1], seat[2], v);
    dBodySetLinearVel(b->rider, v[0], v[1], v[2]);
    const dReal* w = dBodyGetAngularVel(b->frame);
    dBodySetAngularVel(b->rider, w[0], w[1], w[2]);
    attach_rider_mount(b);
}

}  // namespace

// ---------------------------------------------------------------------------
// Inputs

void set_steering(Bike* b, double v) { b->steering = float(clampd(v, -1, 1)); }
void set_sit_dab(Bike* b, double v) { b->sit_dab = bike_crashed(b) ? 0.0f : float(clampd(v, 0, 1)); }
void set_back_up(Bike* b, double v) { b->back_up = bike_crashed(b) ? 0.0f : float(clampd(v, 0, 1)); }
void set_lean(Bike* b, double v) { b->lean_input = bike_crashed(b) ? 0.0f : float(clampd(v, -1, 1)); }

void apply_controls(Bike* b, const ControlRecord& c) {
    // NaN from a broken device reads as released.
    auto get = [&](int i) { return std::isfinite(c.v[i]) ? double(c.v[i]) : 0.0; };
    double steer = get(CONTROL_STEERING);
    set_steering(b, b->reverse_steering ? -steer : steer);
    set_front_brake(b, get(CONTROL_FRONT_BRAKE));
    set_rear_brake(b, get(CONTROL_REAR_BRAKE));
    set_throttle(b, get(CONTROL_THROTTLE));
    double dab = get(CONTROL_SIT_DAB);
    if (b->sticky_dab) {
        if (dab >= 0.5 && b->last_dab_control < 0.5) b->sticky_dab_state = b->sticky_dab_state > 0 ? 0.0f : 1.0f;
        b->last_dab_control = float(dab);
        set_sit_dab(b, b->sticky_dab_state);
    } else {
        b->last_dab_control = float(dab);
        set_sit_dab(b, dab);
    }
    set_back_up(b, get(CONTROL_BACK_UP));
    set_lean(b, get(CONTROL_LEAN));
    set_clutch_lever(b, get(CONTROL_CLUTCH));
    double s = get(CONTROL_SHIFT);
    shift(b, s > 0.5 ? 1 : s < -0.5 ? -1 : 0);
}

// ---------------------------------------------------------------------------
// Setup

void apply_rider_setup(Bike* b, const BikeSetup& s, bool arcade_allowed) {
    b->rider_yspring = clampd(s.rider_yspring, 0, 100) * 0.01;
    b->rider_ydamping = clampd(s.rider_ydamping, 0, 100) * 0.01;
    b->rider_zspring = clampd(s.rider_zspring, 0, 100) * 0.01;
    b->rider_zdamping = clampd(s.rider_zdamping, 0, 100) * 0.01;
    b->rider_mass_distribution = clampd(s.rider_mass_distribution, 0.33, 0.5);
    set_rider_mass_distribution(b, b->rider_mass_distribution);
    b->sticky_dab = s.sticky_dab;
    b->reverse_steering = s.reverse_steering;

    const double deg = M_PI / 180;
    b->leveling = clampd(s.leveling, 0, 100);
    b->roll_damping = clampd(s.roll_damping, 0, 100);
    b->roll_limit_angle = clampd(s.roll_limit_angle * deg, 0, M_PI);
    b->roll_limit_factor = clampd(s.roll_limit_factor, 0, 64);
    b->steering_damping = clampd(s.steering_damping, 0, 100);
    b->steering_strength = clampd(s.steering_strength, 0, 100);
    b->max_steering_force = clampd(s.max_steering_force, 0, 1000);
    b->direct_steering = clampd(s.direct_steering, 0, 1);
    b->slow_damping_speed = clampd(s.slow_damping_speed, 0, 100);
    b->slow_damping_factor = clampd(s.slow_damping_factor, 1, 10);
    b->land_damping_falloff = clampd(s.land_damping_falloff, 0, 0.5);
    b->land_damping_factor = clampd(s.land_damping_factor, 1, 3);
    b->full_lock_speed = clampd(s.full_lock_speed, 1, 100);
    b->restricted_lock_speed = clampd(s.restricted_lock_speed, 1, 100);
    b->restricted_lock_angle = clampd(s.restricted_lock * deg, 0, M_PI / 4);
    b->max_dab_speed = clampd(s.max_dab_speed * 22.0 / 15.0, 7, 100);
    b->lean_indicator = s.lean_indicator;
    uint8_t f = b->flags & uint8_t(~(BIKE_AUTO_DAB | BIKE_REALIGN));
    if (s.auto_dab) f |= BIKE_AUTO_DAB;
    if (s.auto_align) f |= BIKE_REALIGN;
    b->flags = f;
    if (s.arcade && arcade_allowed)
        b->flags2 |= BIKE_ARCADE;
    else
        b->flags2 &= uint8_t(~BIKE_ARCADE);
}

bool apply_setup(Bike* b, const BikeSetup& s, double now, bool arcade_allowed) {
    if (speed_of(b->frame) > 0.125) {
        if (now - b->setup_refused_time < 10) msg_print("Settings not applied.  Mechanic can't keep up error.");
        b->setup_refused_time = now;
        return false;
    }
    apply_suspension_setup(b, s);
    apply_drivetrain_setup(b, s);
    apply_rider_setup(b, s, arcade_allowed);
    return true;
}

// ---------------------------------------------------------------------------
// Rider body

void rider_seat_point(const Bike* b, double out[3]) {
    model_point_world(b->frame, b->model.frame_pos, b->model.rider_pos, out);
}

void rider_constraints(Bike* b) {
    double seat[3], zf[3], yf[3];
    rider_seat_point(b, seat);
    body_axis(b->frame, 2, zf);
    body_axis(b->frame, 1, yf);
    const dReal* rp = dBodyGetPosition(b->rider);
    double at[3] = {rp[0], rp[1], rp[2]};
    double d[3];
    sub3(seat, at, d);
    double dz = dot3(d, zf), dy = dot3(d, yf);
    double scale = b->model.rider_mass * RIDER_MASS_SCALE;

    // Forward: the target follows sit/dab and the lean input (backward
    // positive moves the rider toward +z, the back of the bike).
    double tz = clampd((0.5 * b->sit_dab + 0.5) * dy - b->lean_input, -FORWARD_SOFT_RANGE, FORWARD_SOFT_RANGE);
    double ez = dz - tz;
    double k, c;
    if (std::fabs(dz) <= FORWARD_SOFT_RANGE)
        k = 100 * std::fabs(ez) + 600 * b->rider_zspring, c = 0;
    else
        k = c = HARD_GAIN;
    double Ks = k * scale, Kd = c * scale;
    if (Ks > 0) {
        double s = ez < 0 ? -1 : 1;
        double n[3] = {s * zf[0], s * zf[1], s * zf[2]};
        soft_contact(b->rider, b->frame, at, n, std::fabs(ez), contact_softness(Ks, Kd));
    }

    // Vertical: the rider stands 1/8 above the seat point and sits half a
    // foot lower.
    double ey = dy + 0.125 - 0.5 * b->sit_dab;
    if (dy >= VERTICAL_SOFT_LOW && dy <= VERTICAL_SOFT_HIGH)
        k = 400 * b->rider_yspring, c = 100 * b->rider_ydamping;
    else
        k = c = HARD_GAIN;
    Ks = k * scale, Kd = c * scale;
    if (Ks + Kd > 0) {
        double s = ey < 0 ? -1 : 1;
        double n[3] = {s * yf[0], s * yf[1], s * yf[2]};
        soft_contact(b->rider, b->frame, at, n, std::fabs(ey), contact_softness(Ks, Kd));
    }

    // The mount's diagonal freedom is a pure damper.
    dJointSetHinge2Param(b->rider_mount, dParamSuspensionERP, 0);
    dJointSetHinge2Param(b->rider_mount, dParamSuspensionCFM, 1 / ((30 * b->rider_zdamping + 5) * scale));
}

// ---------------------------------------------------------------------------
// Crashes

double crash_tolerance(const Bike* b, int32_t tick) {
    if (b->takeoff_tick > b->landing_tick) return 1.5;
    double air = (b->landing_tick - b->takeoff_tick) * TICK;
    double since = (tick - b->landing_tick) * TICK;
    double a = clampd((air - 0.559) * 7.9365087, 0, 1);
    double c = clampd((since - 0.25) * -8, 0, 1);
    return 1.5 - 0.5 * a * c;
}

bool crash_detection(Bike* b, int32_t tick) {
    if (bike_crashed(b) || b->collision_timer < 0) return false;
    double t = crash_tolerance(b, tick);
    const dReal* rp = dBodyGetPosition(b->rider);
    const dReal* v = dBodyGetLinearVel(b->rider);
    dVector3 fv;
    dBodyGetPointVel(b->frame, rp[0], rp[1], rp[2], fv);
    double rel[3] = {v[0] - fv[0], v[1] - fv[1], v[2] - fv[2]};
    double lim = CRASH_SPEED * t;
    if (dot3(rel, rel) > lim * lim) {
        eject_rider(b);
        return true;
    }
    const double* old = b->rider_velocity_ring[tick & 3];
    double a[3];
    for (int i = 0; i < 3; i++) a[i] = (v[i] - old[i]) * 0.25 / TICK;
    a[1] += GRAVITY;
    lim = CRASH_ACCELERATION * t;
    if (dot3(a, a) > lim * lim) {
        eject_rider(b);
        return true;
    }
    return false;
}

void crash_handling(Bike* b) {
    if (!bike_crashed(b)) return;
    const BikeModel& m = b->model;
    if (speed_of(b->frame) >= 2) {
        // The rider hangs on to the bars while the bike still moves.
        double arm = 0.875 * (m.limb_length[0] + m.limb_length[1]);
        for (int s = 0; s < 2; s++) {
            double shoulder[3], grip[3];
            rider_point(b, m.shoulder_pos[s], shoulder);
            model_point_world(b->fork_upper, m.steering_head_pos, m.grip_pos[s], grip);
            tether(b->rider, shoulder, b->fork_upper, grip, arm);
        }
        if (b->crash_timer > 511) {
            const dReal* rp = dBodyGetPosition(b->rider);
            const dReal* fp = dBodyGetPosition(b->fork_upper);
            double a[3] = {rp[0], rp[1], rp[2]}, c[3] = {fp[0], fp[1], fp[2]};
            tether(b->rider, a, b->fork_upper, c, 8);
        }
        if (b->rider_shape) {
            shape_shape_contact(b->rider_shape, b->rider, dBodyGetPosition(b->rider), dBodyGetRotation(b->rider),
                                b->frame_shape, b->frame, dBodyGetPosition(b->frame), dBodyGetRotation(b->frame),
                                CONTACT_JOINT);
            shape_shape_contact(b->rider_shape, b->rider, dBodyGetPosition(b->rider), dBodyGetRotation(b->rider),
                                b->fork_upper_shape, b->fork_upper, dBodyGetPosition(b->fork_upper),
                                dBodyGetRotation(b->fork_upper), CONTACT_JOINT);
        }
    } else {
        b->crash_timer--;
    }

    if (b->crash_timer < 512 && b->crash_timer > 0) {
        // Return tethers shorten from 5 feet to nothing, pulling the rider
        // back onto the seat with the frame's orientation.
        double L = 5 * clampd((b->crash_timer - 128) / 384.0, 0, 1);
        const dReal* rp = dBodyGetPosition(b->rider);
        double centre[3] = {rp[0], rp[1], rp[2]}, seat[3];
        rider_seat_point(b, seat);
        tether(b->rider, centre, b->frame, seat, L);
        for (int side = -1; side <= 1; side += 2) {
            double pr[3], pf[3];
            offset_point(b->rider, centre, 5.0 * side, 10, 0, pr);
            offset_point(b->frame, seat, 5.0 * side, 10, 0, pf);
            tether(b->rider, pr, b->frame, pf, L);
        }
        if (b->crash_timer < 320) {
            // The foot on the low side goes back to its peg (index 0 is the
            // left, the -x side a positive lean falls to).
            int s = bike_lean(b) > 0 ? 0 : 1;
            double peg[3];
            model_point_world(b->frame, m.frame_pos, m.peg_pos[s], peg);
            BikeFoot& f = b->feet[s];
            double d[3];
            sub3(peg, f.position, d);
            double L2 = len3(d);
            if (L2 > 1e-9) {
                double want = std::fmin(FOOT_RETURN_SPEED, L2 / TICK);
                for (int i = 0; i < 3; i++) f.velocity[i] = d[i] / L2 * want;
            }
        }
    }

    if (b->crash_timer <= 0) {
        b->crash_timer = 0;
        remount(b);
    }
}

void feet_update(Bike* b) {
    b->foot_extension = float(std::fmax(0.0, b->foot_extension - 4 * TICK));
    if (!bike_crashed(b)) return;
    const BikeModel& m = b->model;
    double leg = double(m.limb_length[2]) + m.limb_length[3];
    for (int s = 0; s < 2; s++) {
        BikeFoot& f = b->feet[s];
        f.velocity[1] -= GRAVITY * TICK;
        for (int i = 0; i < 3; i++) f.position[i] += f.velocity[i] * TICK;
        if (!std::isfinite(f.position[0]) || !std::isfinite(f.position[1]) || !std::isfinite(f.position[2])) {
            rider_point(b, m.hip_pos[s], f.position);
            f.velocity[0] = f.velocity[1] = f.velocity[2] = 0;
        }
        double floor = terrain_height_at(float(f.position[0]), float(f.position[2])) + FOOT_CLEARANCE;
        if (f.position[1] < floor) {
            f.position[1] = floor;
            f.velocity[0] = f.velocity[1] = f.velocity[2] = 0;
        }
        for (double& v : f.velocity) v *= FOOT_DAMPING;

        // Within reach of the hip, and never crossing to the other side of
        // the body.
        double hip[3];
        rider_point(b, m.hip_pos[s], hip);
        double d[3];
        sub3(f.position, hip, d);
        double L = len3(d);
        if (L > leg)
            for (int i = 0; i < 3; i++) f.position[i] = hip[i] + d[i] * leg / L;
        dVector3 local;
        dBodyGetPosRelPoint(b->rider, f.position[0], f.position[1], f.position[2], local);
        double side = double(m.hip_pos[s][0]) - m.rider_pos[0];
        if (local[0] * side < side * side) {
            local[0] = side;
            dVector3 w;
            dBodyGetRelPointPos(b->rider, local[0], local[1], local[2], w);
            for (int i = 0; i < 3; i++) f.position[i] = w[i];
        }
    }
}

// ---------------------------------------------------------------------------
// The per-tick update

void bike_update(Bike* b, int32_t tick, int32_t start_tick) {
    if (b->presence <= 0.25f) {
        feet_update(b);
        return;
    }
    double speed = speed_of(b->frame);
    if (tick - start_tick > 2 * 128 && speed < 5) b->ground_touched = true;

    if (b->collision_timer > 1)
        b->collision_timer -= 1;
    else if (b->collision_timer < -1)
        b->collision_timer += 1;
    else
        b->collision_timer = 0;

    takeoff_and_landing(b, tick);
    crash_detection(b, tick);
    crash_handling(b);

    const float sit_dab = b->sit_dab, front_brake = b->front_brake, rear_brake = b->rear_brake;
    standstill_assists(b, tick, start_tick);
    if (!bike_crashed(b)) rider_constraints(b);
    fork_force(b);
    shock_torque(b);
    if (b->flags2 & BIKE_ARCADE)
        arcade_controller(b);
    else
        steering_controller(b);
    drivetrain_step(b, tick);
    wobble_damping(b);
    if (!bike_crashed(b) && b->update_count >= 2) cancel_net_joint_force(b);
    dab_assist(b);
    b->sit_dab = sit_dab, b->front_brake = front_brake, b->rear_brake = rear_brake;

    feet_update(b);
    const dReal* v = dBodyGetLinearVel(b->rider);
    for (int i = 0; i < 3; i++) b->rider_velocity_ring[tick & 3][i] = v[i];
    b->update_count++;
}

}  // namespace gr
