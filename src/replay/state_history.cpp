// The 39-byte state record of one bike, the per-slot ring of timed records,
// sampling the ring with interpolation and short extrapolation, and placing
// (or pulling) a bike's seven bodies to a sampled record.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/race.h"
#include "bike/bike.h"
#include "data/data.h"
#include "net/net.h"
#include "replay/replay.h"
#include "terrain/terrain.h"

namespace gr {

StateHistory histories[HISTORY_SLOTS];

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr uint32_t Q24 = 16777215, Q16 = 65535, Q8 = 255;

// A value in 0..1 (NaN counts as 0) to a stored integer; never wraps.
uint32_t quantise(double unit, uint32_t max) {
    if (!(unit > 0)) return 0;
    if (unit >= 1) return max;
    return std::min(uint32_t(std::floor(unit * max)), max);
}
double clamp_nan(double v, double lo, double hi) { return !(v >= lo) ? lo : v > hi ? hi : v; }

void put24(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16); }
void put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
uint32_t get24(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }
uint32_t get16(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8; }

// Offsets of the fields.
enum {
    OFS_POS = 0, OFS_QUAT = 9, OFS_STEER = 17, OFS_SWINGARM = 18, OFS_FORK = 19,
    OFS_RIDER = 20, OFS_RIDER_QUAT = 26, OFS_FRONT = 34, OFS_REAR = 35, OFS_STATE = 36, OFS_ENGINE = 37,
};

// The position range of the current terrain: side S (never 0) and lowest height.
double terrain_side() { return terrain.field_size > 0 ? double(terrain.field_size) : 1.0; }

void put_quat(uint8_t* p, const double q[4]) {
    for (int i = 0; i < 4; i++) put16(p + 2 * i, quantise((clamp_nan(q[i], -1, 1) + 1) * 0.5, Q16));
}
void get_quat(const uint8_t* p, double q[4]) {
    for (int i = 0; i < 4; i++) q[i] = get16(p + 2 * i) / double(Q16) * 2 - 1;
}
void normalise4(double q[4]) {
    double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (n < 1e-12) {
        q[0] = 1, q[1] = q[2] = q[3] = 0;
        return;
    }
    for (int i = 0; i < 4; i++) q[i] /= n;
}

double wheel_angle_unit(double a) { return (clamp_nan(a, -PI, PI) + PI) * (1 / (2 * PI)); }

// ---------------------------------------------------------------------------
// Placing the bodies

struct BodyPose {
    double position[3];
    dQuaternion q;
};

dBodyID body_of(Bike* b, int i) {
    dBodyID bodies[7] = {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
    return bodies[i];
}

void rotate_vector(const dQuaternion q, const double v[3], double out[3]) {
    dMatrix3 R;
    dQtoR(q, R);
    for (int i = 0; i < 3; i++) out[i] = R[i * 4 + 0] * v[0] + R[i * 4 + 1] * v[1] + R[i * 4 + 2] * v[2];
}

// q * rotation about a unit axis (in q's frame) by angle.
void turn(const dQuaternion q, const double axis[3], double angle, dQuaternion out) {
    dQuaternion r;
    dQFromAxisAndAngle(r, axis[0], axis[1], axis[2], angle);
    dQMultiply0(out, q, r);
    dNormalize4(out);
}

// The seven poses a record stands for, in the order frame, front wheel, rear
// wheel, upper fork, lower fork, swingarm, rider.
void poses_from(const Bike* b, const SnapshotValues& v, BodyPose out[7]) {
    const BikeModel& m = b->model;
    static const double x_axis[3] = {1, 0, 0};
    BodyPose& frame = out[0];
    for (int i = 0; i < 3; i++) frame.position[i] = v.frame_position[i];
    for (int i = 0; i < 4; i++) frame.q[i] = v.frame_quaternion[i];
    dNormalize4(frame.q);
    auto at = [&](const BodyPose& base, const double d[3], double o[3]) {
        double w[3];
        rotate_vector(base.q, d, w);
        for (int i = 0; i < 3; i++) o[i] = base.position[i] + w[i];
    };
    // Steering assembly about the steering axis.
    double axis[3] = {double(m.steering_head_pos[0]) - m.lower_fork_pos[0],
                      double(m.steering_head_pos[1]) - m.lower_fork_pos[1],
                      double(m.steering_head_pos[2]) - m.lower_fork_pos[2]};
    double alen = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (alen < 1e-9) axis[0] = 0, axis[1] = 1, axis[2] = 0, alen = 1;
    for (double& c : axis) c /= alen;
    BodyPose& upper = out[3];
    double d[3];
    for (int i = 0; i < 3; i++) d[i] = double(m.steering_head_pos[i]) - m.frame_pos[i];
    at(frame, d, upper.position);
    turn(frame.q, axis, v.steering, upper.q);
    // The lower fork slides along the axis, compressing upward.
    BodyPose& lower = out[4];
    double axis_world[3];
    rotate_vector(upper.q, axis, axis_world);
    for (int i = 0; i < 3; i++) d[i] = double(m.lower_fork_pos[i]) - m.steering_head_pos[i];
    at(upper, d, lower.position);
    for (int i = 0; i < 3; i++) lower.position[i] -= v.fork * axis_world[i];
    memcpy(lower.q, upper.q, sizeof lower.q);
    // Front wheel at the end of the fork.
    BodyPose& front = out[1];
    for (int i = 0; i < 3; i++) d[i] = double(m.front_wheel_pos[i]) - m.lower_fork_pos[i];
    at(lower, d, front.position);
    turn(lower.q, x_axis, -v.front_wheel, front.q);
    // Swingarm about its pivot, rear wheel at its end.
    BodyPose& arm = out[5];
    double pivot[3];
    for (int i = 0; i < 3; i++) d[i] = double(m.swingarm_pivot[i]) - m.frame_pos[i];
    at(frame, d, pivot);
    turn(frame.q, x_axis, v.swingarm, arm.q);
    BodyPose pivot_pose;
    memcpy(pivot_pose.position, pivot, sizeof pivot);
    memcpy(pivot_pose.q, arm.q, sizeof arm.q);
    for (int i = 0; i < 3; i++) d[i] = double(m.swingarm_pos[i]) - m.swingarm_pivot[i];
    at(pivot_pose, d, arm.position);
    BodyPose& rear = out[2];
    for (int i = 0; i < 3; i++) d[i] = double(m.rear_wheel_pos[i]) - m.swingarm_pos[i];
    at(arm, d, rear.position);
    turn(arm.q, x_axis, -v.rear_wheel, rear.q);
    // The rider as stored.
    BodyPose& rider = out[6];
    for (int i = 0; i < 3; i++) rider.position[i] = v.frame_position[i] + v.rider_offset[i];
    for (int i = 0; i < 4; i++) rider.q[i] = v.rider_quaternion[i];
    dNormalize4(rider.q);
}

void set_poses(Bike* b, const BodyPose p[7]) {
    for (int i = 0; i < 7; i++) {
        dBodyID body = body_of(b, i);
        dBodySetPosition(body, p[i].position[0], p[i].position[1], p[i].position[2]);
        dBodySetQuaternion(body, p[i].q);
    }
}

// The rotation from a to b as an angle times unit axis (world).
void rotation_vector(const dQuaternion a, const dQuaternion b, double out[3]) {
    dQuaternion r;
    dQMultiply2(r, b, a);  // b * conj(a)
    if (r[0] < 0)
        for (int i = 0; i < 4; i++) r[i] = -r[i];
    double s = std::sqrt(r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
    if (s < 1e-12) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    double angle = 2 * std::atan2(s, r[0]);
    for (int i = 0; i < 3; i++) out[i] = r[i + 1] / s * angle;
}

void cap(double v[3], double limit) {
    double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (n > limit)
        for (int i = 0; i < 3; i++) v[i] *= limit / n;
}

// Crash bookkeeping when a record starts or ends a crash.
void follow_crash_state(Bike* b, int32_t timer) {
    if (timer > 0 && b->crash_timer == 0) {
        eject_rider(b);  // detaches the mount and starts the feet
    } else if (timer == 0 && b->crash_timer > 0) {
        attach_rider_mount(b);
    }
    b->crash_timer = timer;
}

}  // namespace

// ---------------------------------------------------------------------------
// Encoding

uint8_t riding_state_byte(int32_t crash_timer, int gear, float foot_extension, float throttle) {
    if (crash_timer > 0) {
        int64_t n = std::min<int64_t>(15, (int64_t(crash_timer) * 15 - 15) / 127);
        return uint8_t(7 | n << 4);
    }
    int g = std::clamp(gear, 0, 6);
    int t = !(throttle > 0) ? 0 : throttle >= 1 ? 15 : std::clamp(int(throttle * 15), 0, 15);
    return uint8_t(g | (foot_extension > 0 ? 8 : 0) | t << 4);
}

void riding_state_decode(uint8_t byte, int32_t* crash_timer, double* throttle, int* gear_bits, bool* foot_out) {
    int nibble = byte >> 4;
    *gear_bits = byte & 7;
    *foot_out = (byte & 8) != 0;
    if (*gear_bits == 7) {
        *crash_timer = nibble * 127 / 15 + 1;
        *throttle = 0;
    } else {
        *crash_timer = 0;
        *throttle = std::clamp(nibble / 15.0, 0.0, 1.0);
    }
}

StateSnapshot snapshot_encode(const Bike* b) {
    StateSnapshot s;
    uint8_t* p = s.bytes;
    const double S = terrain_side(), H = terrain.low;
    const dReal* fp = dBodyGetPosition(b->frame);
    put24(p + 0, quantise(fp[0] / S, Q24));
    put24(p + 3, quantise((fp[1] - H) / S, Q24));
    put24(p + 6, quantise(fp[2] / S, Q24));
    const dReal* fq = dBodyGetQuaternion(b->frame);
    double q[4] = {fq[0], fq[1], fq[2], fq[3]};
    put_quat(p + OFS_QUAT, q);

    const BikeModel& m = b->model;
    double steer = dJointGetHingeAngle(b->steering_head);
    p[OFS_STEER] = uint8_t(quantise((clamp_nan(steer, -PI / 4, PI / 4) + PI / 4) * (2 / PI), Q8));
    double T = m.swingarm_max_angle > 0 ? m.swingarm_max_angle : 1;
    double arm = clamp_nan(dJointGetHingeAngle(b->swingarm_pivot), -T, 0);
    p[OFS_SWINGARM] = uint8_t(quantise((arm + T) / T, Q8) | 1);  // bit 0: encoded from a live bike
    double F = m.fork_travel > 0 ? m.fork_travel : 1;
    double fork = clamp_nan(dJointGetSliderPosition(b->fork_slider), -F, 0);
    p[OFS_FORK] = uint8_t(quantise((fork + F) / F, Q8) & ~1u);

    const dReal* rp = dBodyGetPosition(b->rider);
    for (int i = 0; i < 3; i++) {
        double d = clamp_nan(rp[i] - fp[i], -16, 16);
        put16(p + OFS_RIDER + 2 * i, quantise((d + 16) * 0.03125, Q16));
    }
    const dReal* rq = dBodyGetQuaternion(b->rider);
    double r[4] = {rq[0], rq[1], rq[2], rq[3]};
    put_quat(p + OFS_RIDER_QUAT, r);

    p[OFS_FRONT] = uint8_t(quantise(wheel_angle_unit(dJointGetHingeAngle(b->front_axle)), Q8));
    p[OFS_REAR] = uint8_t(quantise(wheel_angle_unit(dJointGetHingeAngle(b->rear_axle)), Q8));
    p[OFS_STATE] = riding_state_byte(b->crash_timer, b->gear, b->foot_extension, b->throttle);
    double rpm = clamp_nan(b->engine_speed * 60 / (2 * PI), 0, 32768);
    put16(p + OFS_ENGINE, quantise(rpm / 32768, Q16));
    return s;
}

void snapshot_decode(const StateSnapshot& s, const Bike* b, SnapshotValues* v) {
    const uint8_t* p = s.bytes;
    const double S = terrain_side(), H = terrain.low;
    v->frame_position[0] = get24(p + 0) / double(Q24) * S;
    v->frame_position[1] = H + get24(p + 3) / double(Q24) * S;
    v->frame_position[2] = get24(p + 6) / double(Q24) * S;
    get_quat(p + OFS_QUAT, v->frame_quaternion);
    normalise4(v->frame_quaternion);
    const BikeModel& m = b->model;
    v->steering = p[OFS_STEER] / double(Q8) * (PI / 2) - PI / 4;
    double T = m.swingarm_max_angle > 0 ? m.swingarm_max_angle : 1;
    v->swingarm = p[OFS_SWINGARM] / double(Q8) * T - T;
    double F = m.fork_travel > 0 ? m.fork_travel : 1;
    v->fork = p[OFS_FORK] / double(Q8) * F - F;
    for (int i = 0; i < 3; i++) v->rider_offset[i] = get16(p + OFS_RIDER + 2 * i) / double(Q16) * 32 - 16;
    get_quat(p + OFS_RIDER_QUAT, v->rider_quaternion);
    normalise4(v->rider_quaternion);
    v->front_wheel = p[OFS_FRONT] / double(Q8) * 2 * PI - PI;
    v->rear_wheel = p[OFS_REAR] / double(Q8) * 2 * PI - PI;
    int bits;
    riding_state_decode(p[OFS_STATE], &v->crash_timer, &v->throttle, &bits, &v->foot_out);
    int g = std::min(bits, 5);
    while (g > 0 && !(m.gear_ratio[g] > 0)) g--;
    v->gear = v->crash_timer > 0 ? b->gear : g;
    v->engine_speed = get16(p + OFS_ENGINE) / double(Q16) * 32768 * PI / 30;
}

StateSnapshot snapshot_interpolate(const StateSnapshot& a, const StateSnapshot& b, double t) {
    if (t == 0 || (demo_player.open && demo_player.version == 4)) return a;
    if (!std::isfinite(t)) return a;
    StateSnapshot out;
    const uint8_t* pa = a.bytes;
    const uint8_t* pb = b.bytes;
    uint8_t* po = out.bytes;
    auto blend = [t](double x, double y) { return x + t * (y - x); };
    for (int i = 0; i < 3; i++)
        put24(po + 3 * i, quantise(blend(get24(pa + 3 * i) / double(Q24), get24(pb + 3 * i) / double(Q24)), Q24));
    const double tq = std::min(t, 1.0);
    for (int ofs : {int(OFS_QUAT), int(OFS_RIDER_QUAT)}) {
        double qa[4], qb[4], q[4];
        get_quat(pa + ofs, qa);
        get_quat(pb + ofs, qb);
        if (qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3] < 0)
            for (double& c : qb) c = -c;
        for (int i = 0; i < 4; i++) q[i] = qa[i] + tq * (qb[i] - qa[i]);
        normalise4(q);
        put_quat(po + ofs, q);
    }
    for (int ofs : {int(OFS_STEER), int(OFS_SWINGARM), int(OFS_FORK)})
        po[ofs] = uint8_t(quantise(blend(pa[ofs] / double(Q8), pb[ofs] / double(Q8)), Q8));
    for (int i = 0; i < 3; i++) {
        int ofs = OFS_RIDER + 2 * i;
        put16(po + ofs, quantise(blend(get16(pa + ofs) / double(Q16), get16(pb + ofs) / double(Q16)), Q16));
    }
    // Wheels are taken to keep turning forwards through the wrap.
    for (int ofs : {int(OFS_FRONT), int(OFS_REAR)}) {
        double x = pa[ofs] / double(Q8), y = pb[ofs] / double(Q8);
        if (y < x - 0.125) x -= 1;
        else if (y > x + 0.875) y -= 1;
        double v = blend(x, y);
        if (v < 0) v += 1;
        po[ofs] = uint8_t(quantise(v, Q8));
    }
    po[OFS_STATE] = pa[OFS_STATE];
    put16(po + OFS_ENGINE, quantise(blend(get16(pa + OFS_ENGINE) / double(Q16), get16(pb + OFS_ENGINE) / double(Q16)), Q16));
    po[OFS_SWINGARM] &= uint8_t(~1u);
    return out;
}

// ---------------------------------------------------------------------------
// The rings

void history_reset(int slot) {
    if (slot < 0 || slot >= HISTORY_SLOTS) return;
    StateHistory& h = histories[slot];
    h.head = 0;
    h.pending = 0;
    for (int i = 0; i < HISTORY_LENGTH; i++) h.ticks[i] = -1;
    for (StateSnapshot& s : h.states) s = StateSnapshot{};
}

void history_reset_all() {
    for (int i = 0; i < HISTORY_SLOTS; i++) history_reset(i);
}

static int prev_entry(int i) { return (i + HISTORY_LENGTH - 1) % HISTORY_LENGTH; }
static int next_entry(int i) { return (i + 1) % HISTORY_LENGTH; }

void add_state_to_history(int slot, const StateSnapshot& s, int32_t tick) {
    if (slot < 0 || slot >= HISTORY_SLOTS) {
        msg_print("add_state_to_history: slot out of range");
        return;
    }
    StateHistory& h = histories[slot];
    int i = h.head, steps = 0;
    while (steps < HISTORY_LENGTH && h.ticks[i] > tick) {
        i = prev_entry(i);
        steps++;
    }
    if (steps < HISTORY_LENGTH && h.ticks[i] == tick) return;
    // Everything newer than the new record goes, so the ring stays in order.
    if (steps > 0) {
        if (steps >= HISTORY_LENGTH) {
            for (int j = 0; j < HISTORY_LENGTH; j++) h.ticks[j] = -1;
        } else {
            for (int j = next_entry(i), n = 0; n < steps; j = next_entry(j), n++) h.ticks[j] = -1;
        }
    }
    int at = next_entry(i);
    h.ticks[at] = tick;
    h.states[at] = s;
    h.head = at;
    h.pending = std::min(h.pending + 1, int(HISTORY_LENGTH));
}

const StateSnapshot* history_find(int slot, int32_t tick) {
    if (slot < 0 || slot >= HISTORY_SLOTS || tick < 0) return nullptr;
    const StateHistory& h = histories[slot];
    for (int i = h.head, n = 0; n < HISTORY_LENGTH; i = prev_entry(i), n++) {
        if (h.ticks[i] == tick) return &h.states[i];
        if (h.ticks[i] < tick) break;
    }
    return nullptr;
}

void history_sample(int slot, int32_t T) {
    if (slot < 0 || slot >= HISTORY_SLOTS) return;
    Bike* bike = race.slots[slot].bike;
    if (T < 0) T = 0;
    StateHistory& h = histories[slot];
    int i = h.head, k = 0;
    while (k < HISTORY_LENGTH && h.ticks[i] >= T) {
        i = prev_entry(i);
        k++;
    }
    const int c = i;
    int A, B;
    if (k == 0) {
        if (h.ticks[h.head] == -1) return;  // no data: the bike keeps its pose
        B = h.head;
        A = h.ticks[prev_entry(h.head)] != -1 ? prev_entry(h.head) : h.head;
    } else if (k < HISTORY_LENGTH && h.ticks[c] != -1) {
        A = c;
        B = next_entry(c);
    } else {
        A = next_entry(c);
        B = k == 1 ? A : next_entry(A);
    }
    const int32_t tA = h.ticks[A], tB = h.ticks[B];
    StateSnapshot sample;
    int32_t span = 1;
    if (tA < T && tA != tB) {
        span = tB - tA;
        if (tB == T) sample = h.states[B];
        else sample = snapshot_interpolate(h.states[A], h.states[B], double(std::min(T, tB + 64) - tA) / span);
    } else {
        sample = h.states[A];
        // The bodies' velocities still follow the records either side.
        span = tB > tA ? tB - tA : 1;
    }
    if (!bike) return;
    snapshot_apply(bike, sample, h.states[A], h.states[B], span,
                   demo_player.open ? demo_player.version : int(DEMO_NET_VERSION));
}

// ---------------------------------------------------------------------------
// Applying

void snapshot_apply(Bike* b, const StateSnapshot& sampled, const StateSnapshot& older, const StateSnapshot& newer,
                    int32_t span, int source_version) {
    (void)source_version;  // older rider encodings are refused when the demo opens
    SnapshotValues v, va, vb;
    snapshot_decode(sampled, b, &v);
    if (b->presence <= 0.25f) {
        BodyPose pa[7], pb[7], ps[7];
        snapshot_decode(older, b, &va);
        snapshot_decode(newer, b, &vb);
        poses_from(b, va, pa);
        poses_from(b, vb, pb);
        poses_from(b, v, ps);
        const double dt = (span < 2 ? 1 : span) * TICK;
        for (int i = 0; i < 7; i++) {
            dBodyID body = body_of(b, i);
            dBodySetLinearVel(body, (pb[i].position[0] - pa[i].position[0]) / dt,
                              (pb[i].position[1] - pa[i].position[1]) / dt,
                              (pb[i].position[2] - pa[i].position[2]) / dt);
            double w[3];
            rotation_vector(pa[i].q, pb[i].q, w);
            dBodySetAngularVel(body, w[0] / dt, w[1] / dt, w[2] / dt);
        }
        // A crash that ends puts the rider back on before he is placed.
        follow_crash_state(b, v.crash_timer);
        set_poses(b, ps);
        // Never below the ground: lift the bike by what the rear tyre sinks in.
        if (terrain.heights) {
            double down[3] = {0, -1, 0}, dw[3];
            rotate_vector(ps[0].q, down, dw);
            double r = b->model.rear_ring_radius + b->model.rear_tube_radius;
            double x = ps[2].position[0] + dw[0] * r, y = ps[2].position[1] + dw[1] * r,
                   z = ps[2].position[2] + dw[2] * r;
            double ground = terrain_height_at(float(x), float(z));
            if (ground > y) move_bike(b, 0, ground - y, 0);
        }
        if (v.crash_timer > 0 || v.foot_out) b->foot_extension = std::min(b->foot_extension + 8.0f / 128.0f, 1.0f);
    } else {
        // Simulated: the frame is pulled toward the record.
        const double w = b->presence;
        double kp = 0, kd = 0;
        if (w > 0.75) {
            kp = kd = 0;
        } else if (w > 0.5) {
            double s = std::clamp((0.75 - w) * 4, 0.0, 1.0);
            kp = 5000 * s, kd = -500 * s;
        } else {
            double s = std::clamp((0.5 - w) * 2, 0.0, 1.0);
            kp = 5000 + 45000 * s, kd = -500;
        }
        if (kp != 0 || kd != 0) {
            snapshot_decode(older, b, &va);
            snapshot_decode(newer, b, &vb);
            BodyPose pa[7], pb[7];
            poses_from(b, va, pa);
            poses_from(b, vb, pb);
            const double dt = (span < 2 ? 1 : span) * TICK;
            const dReal* pos = dBodyGetPosition(b->frame);
            const dReal* vel = dBodyGetLinearVel(b->frame);
            const dReal* avel = dBodyGetAngularVel(b->frame);
            double f[3], t[3], err[3], rec_w[3];
            for (int i = 0; i < 3; i++) {
                double rec_v = (pb[0].position[i] - pa[0].position[i]) / dt;
                f[i] = kp * (v.frame_position[i] - pos[i]) + kd * (vel[i] - rec_v);
            }
            dQuaternion rq = {v.frame_quaternion[0], v.frame_quaternion[1], v.frame_quaternion[2], v.frame_quaternion[3]};
            rotation_vector(dBodyGetQuaternion(b->frame), rq, err);
            rotation_vector(pa[0].q, pb[0].q, rec_w);
            for (int i = 0; i < 3; i++) t[i] = kp * err[i] + kd * (avel[i] - rec_w[i] / dt);
            cap(f, 2500);
            cap(t, 2500);
            dBodyAddForce(b->frame, f[0], f[1], f[2]);
            dBodyAddTorque(b->frame, t[0], t[1], t[2]);
            // The bars follow the recorded steering; the fork is light, so
            // the same law acts a hundred times softer on it.
            double steer = dJointGetHingeAngle(b->steering_head), rate = dJointGetHingeAngleRate(b->steering_head);
            double rec_rate = (vb.steering - va.steering) / dt;
            double st = (kp * (v.steering - steer) + kd * (rate - rec_rate)) / 100;
            dJointAddHingeTorque(b->steering_head, std::clamp(st, -25.0, 25.0));
        }
    }
    b->throttle = float(v.throttle);
    b->gear = v.gear;
    b->engine_speed = v.engine_speed;
}

void presence_decay(Bike* b) {
    if (b->presence <= 0.25f) return;
    b->presence -= 1.0f / 128.0f;
    if (b->presence <= 0.25f) {
        float keep = b->presence;
        set_bike_presence(b, false);
        b->presence = keep;
    }
}

// ---------------------------------------------------------------------------
// Visibility

bool bike_hidden(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS) return true;
    const RiderSlot& s = race.slots[slot];
    if (!s.bike) return true;
    const bool spectator = net_race.online && net_race.my_slot >= NET_NO_SLOT;
    if (spectator && s.mode == BIKE_LOCAL && slot != race.viewed_slot) return true;
    if (s.mode != BIKE_REPLAYED) return false;
    // A replayed bike needs a record within a second of now.
    const StateHistory& h = histories[slot];
    const int32_t now = race.tick;
    bool near = false;
    for (int i = 0; i < HISTORY_LENGTH && !near; i++)
        if (h.ticks[i] >= 0 && std::abs(h.ticks[i] - now) <= 128) near = true;
    if (!near) return true;
    if (net_race.online && net_race.rider_table[slot] == NET_RIDER_REMOTE &&
        (now - net_race.newest_state_tick[slot]) >= 128)
        return true;
    return false;
}

}  // namespace gr
