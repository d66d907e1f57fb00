// Steering and the riding assists: the steering torque with its balance
// controller, lean targeting, steering lock and slip limiter, landing and
// low-speed damping, the roll limit, the arcade controller, holding still,
// walking backwards, dabbing and standing the bike up after a fall.
//
// Signs (see bike.h): lean and roll rate are positive toward the frame's -x
// side, the steering angle and torque positive to the left. A positive
// steering torque steers into a positive lean and so stands the bike up.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

namespace {

const double QUARTER_PI = M_PI / 4;
const double WALK_SPEED = 5;       // below this the standstill assists act
const double LEAN_TARGET_SPEED = 15;
const double REALIGN_YAW_RATE = 1.0;     // radians per second at most
const double REALIGN_YAW_TORQUE = 600;
const double REALIGN_BEHIND = 0.75 * M_PI;  // heading further behind than this: stand up first
const double REALIGN_ALIGNED = 0.25;        // heading this close: only stand up

double speed_of(dBodyID b) { return len3(dBodyGetLinearVel(b)); }

bool touches(const WheelContact& wc) { return wc.depth > 0; }

// A one-step angular motor on the frame about a world axis.
void frame_motor(const Bike* b, const double axis[3], double speed, double max_torque) {
    dJointID j = dJointCreateAMotor(physics.world, physics.contacts);
    dJointAttach(j, b->frame, nullptr);
    dJointSetAMotorMode(j, dAMotorUser);
    dJointSetAMotorNumAxes(j, 1);
    dJointSetAMotorAxis(j, 0, 0, axis[0], axis[1], axis[2]);
    dJointSetAMotorParam(j, dParamVel, speed);
    dJointSetAMotorParam(j, dParamFMax, max_torque);
}

// A force toward a wanted velocity, growing to `max_force` over 1.25 feet
// per second of error past a dead band of 1/4.
void velocity_force(Bike* b, const double want[3], double max_force) {
    const dReal* v = dBodyGetLinearVel(b->frame);
    double d[3] = {v[0] - want[0], v[1] - want[1], v[2] - want[2]};
    double L = len3(d);
    if (L <= 0.25) return;
    double F = max_force * std::fmin((L - 0.25) * 0.8, 1.0) / L;
    dBodyAddForce(b->frame, -F * d[0], -F * d[1], -F * d[2]);
}

double front_height_above_ground(const Bike* b) {
    const dReal* p = dBodyGetPosition(b->front_wheel);
    return p[1] - terrain_height_at(float(p[0]), float(p[2])) - (b->model.front_ring_radius + b->model.front_tube_radius);
}

// The dab decision of "Dab When Stopped".
bool wants_dab(const Bike* b, double speed, double lean) {
    if (speed > dab_limit(b)) return false;
    if (speed > LEAN_TARGET_SPEED && std::fabs(lean) < clampd((speed - 15) / 15, 0, 1) * QUARTER_PI) return false;
    if (b->throttle != 0 && b->clutch != 0) return speed < WALK_SPEED || std::fabs(lean) > M_PI / 16;
    return true;
}

// Whether this rider's race is over for realignment: the leader has
// finished and this rider has passed a gate since.
bool race_over_for(const Bike* b) {
    const RaceTiming& rt = race_timing;
    if (b->slot < 0 || b->slot >= RIDER_SLOTS || rt.standings.empty()) return false;
    const RiderTiming* me = rt.riders[b->slot].timing;
    int leader = rt.standings[0].slot;
    if (!me || leader < 0 || leader >= RIDER_SLOTS || !rt.riders[leader].timing) return false;
    const RiderTiming& lt = *rt.riders[leader].timing;
    if (!lt.finished || lt.gate <= 0 || me->gate <= 0) return false;
    size_t li = size_t(lt.gate - 1), mi = size_t(me->gate - 1);
    if (li >= lt.times.size() || mi >= me->times.size()) return false;
    return me->times[mi] >= 0 && lt.times[li] >= 0 && me->times[mi] > lt.times[li];
}

// The roll push of the dab assist; returns false when realignment took
// the bike over instead.
void roll_push(Bike* b, double speed, double lean, double roll_rate) {
    double r = lean > 0 ? -M_PI / 8 : M_PI / 8;
    if ((b->flags & BIKE_AUTO_DAB) && b->collision_timer < 0) r *= 3;
    double al = std::fabs(lean);
    if (al < M_PI / 16) r *= al * 16 / M_PI;
    // Negative P pushes the top toward -x, raising the roll rate.
    double P = 0;
    if (r > 0 && r > roll_rate) P = -400;
    if (r < 0 && r < roll_rate) P = 400;
    if (al < M_PI / 32) P *= al * 32 / M_PI;

    if (!(b->back_up > 0 && speed <= WALK_SPEED)) {
        double Lt = allowed_lean(b, speed, 32) * 1.25;
        double sigma = r >= 0 ? -b->steering : b->steering;
        double s = clampd(2 * (sigma - 0.5), 0, 1);
        double g = clampd((al - Lt) / 0.25, 0, 1);
        P *= g + (1 - g) * s;
        if (speed > WALK_SPEED) P *= b->assist_blend;
    }
    if (P == 0) return;
    double up[3];
    body_axis(b->frame, 1, up);
    if (up[1] >= 0.707) {
        double x[3];
        body_axis(b->frame, 0, x);
        double ap = 0.125 * std::fabs(P);
        dBodyAddForceAtRelPos(b->frame, P * x[0], P * x[1] + ap, P * x[2], 0, 4, 0);
    } else {
        dBodyAddForceAtRelPos(b->frame, 0, std::fabs(P), 0, 0, 4, 0);
    }
}

// Turns a stopped, fallen bike toward the course. True when it also takes
// the weight off the wheels, so that the roll push is left out.
bool realign(Bike* b) {
    double heading[2];
    if (!course_heading(b, heading)) return false;
    double f[3];
    body_axis(b->frame, 2, f);
    double fx = -f[0], fz = -f[2];
    double fl = std::hypot(fx, fz);
    if (fl < 1e-6) return false;
    fx /= fl, fz /= fl;
    // Yaw error, positive when the course lies to the left (about +y).
    double cr = fz * heading[0] - fx * heading[1];
    double dt = fx * heading[0] + fz * heading[1];
    double err = std::atan2(-cr, dt);
    static const double up[3] = {0, 1, 0};
    frame_motor(b, up, clampd(2 * err, -REALIGN_YAW_RATE, REALIGN_YAW_RATE), REALIGN_YAW_TORQUE);
    // Far behind: stand up first. Nearly there: the roll push stands the
    // bike up facing the course. In between the wheels are made light so the
    // bike can be turned on them.
    if (std::fabs(err) > REALIGN_BEHIND || std::fabs(err) < REALIGN_ALIGNED) return false;
    const WheelContact* wheels[2] = {&b->front_contact, &b->rear_contact};
    int n = 0;
    for (const WheelContact* w : wheels) n += touches(*w);
    for (const WheelContact* w : wheels)
        if (touches(*w)) dBodyAddForce(w->body, 0, GRAVITY * b->total_mass / n, 0);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Quantities

double bike_steering_angle(const Bike* b) { return dJointGetHingeAngle(b->steering_head); }

double bike_roll_rate(const Bike* b) {
    const dReal* w = dBodyGetAngularVel(b->frame);
    dVector3 l;
    dBodyVectorFromWorld(b->frame, w[0], w[1], w[2], l);
    return l[2];
}

double bike_wheel_speed(const Bike* b) {
    return (double(b->model.front_ring_radius) + b->model.front_tube_radius) * dJointGetHingeAngleRate(b->front_axle);
}

double front_slip_angle(const Bike* b) {
    const dReal* v = dBodyGetLinearVel(b->front_wheel);
    if (v[0] * v[0] + v[1] * v[1] + v[2] * v[2] < 1) return 0;
    dVector3 l;
    dBodyVectorFromWorld(b->fork_upper, v[0], v[1], v[2], l);
    // Forward is -z; to the left is -x.
    return std::atan2(-l[0], -l[2]);
}

double dab_limit(const Bike* b) {
    return b->collision_timer <= -512 ? std::fmax(b->max_dab_speed, 75.0) : b->max_dab_speed;
}

double steering_lock(const Bike* b) {
    double ws = bike_wheel_speed(b);
    double R = std::fmax(b->full_lock_speed + 1, b->restricted_lock_speed);
    double blend = clampd((1 / std::fmax(ws, 1.0) - 1 / R) / (1 / b->full_lock_speed - 1 / R), 0, 1);
    const dReal* p = dBodyGetPosition(b->front_wheel);
    double mu = std::fmax(double(terrain_surface_at(float(p[0]), float(p[2])).friction_value[0]), 0.125);
    double lockR = std::fmin(b->restricted_lock_angle / mu, QUARTER_PI);
    return lockR + (QUARTER_PI - lockR) * blend;
}

double allowed_lean(const Bike* b, double speed, int exponent) {
    double rla = b->roll_limit_angle, dl = dab_limit(b);
    if (speed <= 0) return 0;
    if (speed <= LEAN_TARGET_SPEED) {
        double u = clampd(speed * speed / (dl * dl), 0, 1);
        return (1 - std::pow(1 - u, exponent)) * rla;
    }
    if (speed <= dl) {
        double span = dl * dl - 225;
        double k = span > 0 ? clampd((speed * speed - 225) / span, 0, 1) : 1;
        return rla + (2 * M_PI - rla) * k;
    }
    return 2 * M_PI;
}

void apply_steering_torque(Bike* b, double T) {
    const BikeModel& m = b->model;
    double ax = double(m.steering_head_pos[0]) - m.lower_fork_pos[0];
    double ay = double(m.steering_head_pos[1]) - m.lower_fork_pos[1];
    double az = double(m.steering_head_pos[2]) - m.lower_fork_pos[2];
    double L = std::sqrt(ax * ax + ay * ay + az * az);
    dVector3 a;
    dBodyVectorToWorld(b->frame, ax / L, ay / L, az / L, a);
    dBodyAddTorque(b->front_wheel, T * a[0], T * a[1], T * a[2]);
    dBodyAddTorque(b->frame, -T * a[0], -T * a[1], -T * a[2]);
}

bool course_heading(const Bike* b, double out[2]) {
    const TrackGates& tg = track_gates;
    if (tg.gates.empty() || tg.sequence.empty()) return false;
    int g = 0;
    if (b->slot >= 0 && b->slot < RIDER_SLOTS && race_timing.riders[b->slot].timing)
        g = race_timing.riders[b->slot].timing->gate;
    int n = gate_of_index(g);
    if (n < 0 || size_t(n) >= tg.gates.size()) return false;
    double dx = tg.gates[size_t(n)].direction[0], dz = tg.gates[size_t(n)].direction[2];
    double L = std::hypot(dx, dz);
    if (!(L > 1e-9)) return false;
    out[0] = dx / L, out[1] = dz / L;
    return true;
}

// ---------------------------------------------------------------------------
// Controllers

void steering_controller(Bike* b) {
    b->assist_blend = 0;
    if (bike_crashed(b)) return;
    double Tmax = b->max_steering_force, Tmin = -Tmax;
    double Td = b->steering_strength * b->steering * b->direct_steering;
    double ws = bike_wheel_speed(b);
    double lock = steering_lock(b);
    double slip = front_slip_angle(b);
    double steer_angle = bike_steering_angle(b);

    // Past the lock, the torque that would turn further fades and turns into
    // a quarter of it the other way.
    double h = front_height_above_ground(b);
    double L2 = lock;
    if (ws > 1 && h < 0.5) {
        L2 = lock + (QUARTER_PI - lock) * clampd(2 * h, 0, 1);
        double m = 1.125 * L2 + 0.015;
        if (slip > L2) Tmin *= 1.25 * clampd((slip - m) / (L2 - m), 0, 1) - 0.25;
        if (slip < -L2) Tmax *= 1.25 * clampd((slip + m) / (m - L2), 0, 1) - 0.25;
    }

    double Tb;
    double lean = bike_lean(b);
    bool loaded = touches(b->front_contact) && std::fabs(dJointGetHingeAngleRate(b->front_axle)) > QUARTER_PI;
    if (!loaded) {
        b->landing_damping = b->land_damping_factor;
        Tb = -50 * steer_angle;
        if (!(b->flags & BIKE_STEER_UNLOADED)) Td = 0;
    } else {
        double rr = bike_roll_rate(b);
        double Tr = rr * b->roll_damping * b->landing_damping;
        double Tl = lean * b->leveling;
        if (b->landing_damping > 1 && b->land_damping_falloff != 0)
            b->landing_damping = std::fmax(
                1.0, b->landing_damping - (b->land_damping_factor - 1) * TICK / b->land_damping_falloff);
        double speed = speed_of(b->frame);
        if (speed < b->slow_damping_speed) {
            double g = b->slow_damping_factor + (1 - b->slow_damping_factor) * clampd(speed / b->slow_damping_speed, 0, 1);
            Tr *= g, Tl *= g;
        }
        if ((rr >= 0) == (lean >= 0) && std::fabs(lean) > b->roll_limit_angle)
            Tr *= (std::fabs(lean) - b->roll_limit_angle) * b->roll_limit_factor + 1;
        Tb = Tr + Tl;

        if (b->direct_steering < 1) {
            double Lt = allowed_lean(b, speed, 4);
            double q = (-b->steering * Lt - lean) * 2.5;
            double qmax = q * lean < 0 ? 9.817477 : 3.926991;
            q = clampd(q, -qmax, qmax);
            double x = clampd(4 * (rr - (q - clampd(q - rr, -0.125, 0.125))), -1, 1);
            double Tlean = b->steering_strength * x;
            Td = (Td - Tlean) * b->direct_steering + Tlean;
        }
    }
    if (b->collision_timer > 0) {
        double lim = 200 * clampd((192 - b->collision_timer) / 192, 0, 1);
        Tb = clampd(Tb, -lim, lim);
    }
    double T = 1.5 * (Tb + Td);

    double a = clampd((ws - 5) / 10, 0, 1);
    double lo = 0.25 * a * lock, hi = (0.625 * a + 0.125) * lock;
    double span = hi - lo > 1e-9 ? hi - lo : 1e-9;
    double bs, c;
    if (lean > 0) {
        bs = clampd((-slip - lo) / span, 0, 1);
        c = clampd((steer_angle - 0.2617994) * 3.8197186, 0, 1);
    } else {
        bs = clampd((slip - lo) / span, 0, 1);
        c = clampd((steer_angle + 0.2617994) * -3.8197186, 0, 1);
    }
    b->assist_blend = std::fmax(bs, c);
    apply_steering_torque(b, clampd(T, Tmin, Tmax));
}

void arcade_controller(Bike* b) {
    if (bike_crashed(b)) return;
    double lean = bike_lean(b);
    double target = -b->steering * QUARTER_PI;
    double k = clampd((b->roll_damping - 40) * 0.025, 0, 1);
    double w = std::fmin(std::fabs(lean - target), 1.0 / 16) * (1.5 - 0.5 * k) * 16;
    if (target < lean) w = -w;
    // The wanted roll rate is about the frame's +z axis (a positive roll
    // rate raises the lean).
    double z[3];
    body_axis(b->frame, 2, z);
    frame_motor(b, z, w, 1000);

    // The bars follow the front wheel's path.
    double p = clampd(front_slip_angle(b) - bike_steering_angle(b), -0.25, 0.25);
    p = p > 0 ? std::fmax(p - 1.0 / 32, 0.0) : std::fmin(p + 1.0 / 32, 0.0);
    double q = 8 * p - dJointGetHingeAngleRate(b->steering_head);
    q = q > 0 ? std::fmax(q - 1.0 / 2400, 0.0) : std::fmin(q + 1.0 / 2400, 0.0);
    apply_steering_torque(b, clampd(0.5 * q, -2.0 / 3, 2.0 / 3));

    // Tail damping: a drag on a point far behind the frame keeps the bike
    // from spinning out.
    dVector3 tail, v;
    dBodyGetRelPointPos(b->frame, 0, 0, 20, tail);
    dBodyGetRelPointVel(b->frame, 0, 0, 20, v);
    dBodyAddForceAtPos(b->frame, -0.25 * v[0], -0.25 * v[1], -0.25 * v[2], tail[0], tail[1], tail[2]);
}

void standstill_assists(Bike* b, int32_t tick, int32_t start_tick) {
    double speed = speed_of(b->frame);
    bool crashed = bike_crashed(b);
    if (b->back_up <= 0 || speed >= WALK_SPEED) {
        if (!(b->flags & BIKE_AUTO_DAB) || !wants_dab(b, speed, bike_lean(b))) return;
        b->sit_dab = crashed ? 0.0f : float(clampd(std::fmax(1 - speed / dab_limit(b), double(b->sit_dab)), 0, 1));
        if (speed < WALK_SPEED && (b->throttle == 0 || b->clutch == 0) && touches(b->front_contact) &&
            touches(b->rear_contact)) {
            b->front_brake = b->rear_brake = 1;
            static const double still[3] = {0, 0, 0};
            velocity_force(b, still, 1000);
        }
        return;
    }

    // Walking the bike backwards, one step every 128 ticks.
    int32_t phase = tick & 127;
    double pulse = (1 - std::cos(2 * M_PI * phase / 127.0)) / 2;
    int32_t first = (start_tick / 128 + 1) * 128;
    if (tick < first && (tick & 0x180)) pulse = 0;
    b->sit_dab = crashed ? 0.0f : 1.0f;
    double z[3];
    body_axis(b->frame, 2, z);
    double want[3] = {4 * pulse * z[0], 4 * pulse * z[1], 4 * pulse * z[2]};
    velocity_force(b, want, 2000);
    static const double up[3] = {0, 1, 0};
    frame_motor(b, up, -b->steering * pulse * M_PI / 2, 2000);
}

void dab_assist(Bike* b) {
    if (bike_crashed(b)) {
        b->foot_extension = float(std::fmin(1.0, b->foot_extension + 8 * TICK));
        return;
    }
    if (b->sit_dab <= 0) return;
    double speed = speed_of(b->frame);
    double lean = bike_lean(b);
    if (!touches(b->front_contact)) {
        const dReal* p = dBodyGetPosition(b->rider);
        double c[3] = {p[0], p[1], p[2]}, point[3], normal[3], depth;
        if (!sphere_ground_penetration(terrain, c, double(b->model.rider_pos[1]) + 1, point, normal, &depth)) return;
    }
    if (speed > dab_limit(b)) return;
    if (speed > LEAN_TARGET_SPEED &&
        !(touches(b->front_contact) && touches(b->rear_contact) && std::fabs(lean) >= 0.5890486))
        return;
    b->foot_extension = float(std::fmin(1.0, b->foot_extension + 8 * TICK));
    if (b->flags2 & BIKE_ARCADE) return;
    if (speed >= WALK_SPEED && b->collision_timer > 0) return;

    double al = std::fabs(lean);
    if (speed < WALK_SPEED && al > M_PI / 8 && al < 1.0995574) {
        if ((b->flags & BIKE_REALIGN) && b->back_up <= 0.125 && !race_over_for(b) && realign(b)) {
            b->realign_done = true;
            return;
        }
    } else if (al < M_PI / 16) {
        b->realign_done = false;
    }
    roll_push(b, speed, lean, bike_roll_rate(b));
}

}  // namespace gr
