// The pilot: rides a bike around the course by the timing gates. It aims
// at a point a little ahead along the line through the next gates, leans
// for the turn that takes it there, picks a speed from how sharply the
// course turns ahead, and works throttle and brakes to hold it. It writes
// the same controls a player's keys would.
#include "pilot.h"

#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

namespace {

// What the pilot remembers per slot.
struct PilotMemory {
    int gate = -1;            // gate counter when progress was last seen
    int32_t progress_tick = 0;
    float steer = 0;          // last steering output (smoothed)
    int32_t reverse_until = 0;  // backing out of a dead end until this tick
};
PilotMemory memory[RIDER_SLOTS];

struct Vec2 {
    double x, z;
};

Vec2 gate_point(int index) {
    const TimingGate& g = track_gates.gates[size_t(gate_of_index(index))];
    return {g.point[0], g.point[2]};
}

// A point just past the gate's line, where the bike is sure to be counted.
Vec2 gate_aim(int index) {
    const TimingGate& g = track_gates.gates[size_t(gate_of_index(index))];
    double dx = g.direction[0], dz = g.direction[2], len = std::hypot(dx, dz);
    if (len < 1e-6) return {g.point[0], g.point[2]};
    return {g.point[0] + dx / len * 4, g.point[2] + dz / len * 4};
}

double heading_change(Vec2 a, Vec2 b, Vec2 c) {
    double h1 = std::atan2(b.x - a.x, b.z - a.z), h2 = std::atan2(c.x - b.x, c.z - b.z);
    return std::fabs(std::remainder(h2 - h1, 2 * M_PI));
}

// Where to steer: the next gate, and once it is close, a point toward the
// one after it, so the bike swings through the gate instead of at it.
Vec2 aim_point(Vec2 p, int g, double ahead) {
    Vec2 a = gate_aim(g);
    double d = std::hypot(a.x - p.x, a.z - p.z);
    if (d >= ahead * 0.5) return a;
    Vec2 b = gate_aim(g + 1);
    double w = std::clamp(1 - d / (ahead * 0.5), 0.0, 1.0) * 0.5;
    return {a.x + (b.x - a.x) * w, a.z + (b.z - a.z) * w};
}

// The fastest speed from which the bike can still brake down to each turn
// ahead in time (turns slow it by how sharply they bend).
double target_speed(Vec2 p, int g) {
    const double decel = 14;  // feet per second squared the pilot brakes at
    double best = 65;
    Vec2 prev = p, cur = gate_point(g);
    double dist = std::hypot(cur.x - p.x, cur.z - p.z);
    for (int k = 0; k < 10 && dist < 300; k++) {
        Vec2 next = gate_point(g + k + 1);
        double seg = std::hypot(next.x - cur.x, next.z - cur.z);
        double turn = heading_change(prev, cur, next);
        double radius = std::max(std::min(seg, 80.0), 20.0) / std::max(turn, 0.05);
        double corner = std::clamp(std::sqrt(14.0 * radius), 16.0, 65.0);
        best = std::min(best, std::sqrt(corner * corner + 2 * decel * std::max(dist - 10, 0.0)));
        dist += seg;
        prev = cur;
        cur = next;
    }
    return best;
}

}  // namespace

void pilot_reset() {
    for (PilotMemory& m : memory) m = PilotMemory{};
}

void pilot_drive(Bike* b) {
    const int slot = b->slot;
    if (slot < 0 || slot >= RIDER_SLOTS) return;
    PilotMemory& mem = memory[slot];
    const RaceTiming& rt = race_timing;
    const int32_t tick = rt.tick;
    ControlRecord c;

    const RiderTiming* timing = rt.riders[slot].timing;
    if (!timing || track_gates.normal <= 0 || bike_crashed(b)) {
        apply_controls(b, c);
        return;
    }
    // On the gate: held with both brakes, sitting, until it drops.
    if (tick < rt.start_tick) {
        c.v[CONTROL_FRONT_BRAKE] = 1;
        c.v[CONTROL_REAR_BRAKE] = 1;
        c.v[CONTROL_SIT_DAB] = 1;
        apply_controls(b, c);
        mem.progress_tick = tick;
        return;
    }
    if (timing->gate != mem.gate) {
        mem.gate = timing->gate;
        mem.progress_tick = tick;
    }

    const dReal* pos = dBodyGetPosition(b->frame);
    const dReal* vel = dBodyGetLinearVel(b->frame);
    const dReal* R = dBodyGetRotation(b->frame);
    // The bike faces its frame's -z axis.
    Vec2 fwd = {-R[2], -R[10]};
    double flen = std::hypot(fwd.x, fwd.z);
    if (flen < 1e-6) {
        apply_controls(b, c);
        return;
    }
    fwd.x /= flen;
    fwd.z /= flen;
    Vec2 left = {fwd.z, -fwd.x};
    const double speed = std::hypot(vel[0], vel[2]);
    const double forward_speed = vel[0] * fwd.x + vel[2] * fwd.z;
    Vec2 p = {pos[0], pos[2]};

    // Where to go.
    double ahead = std::clamp(10 + 0.7 * speed, 14.0, 45.0);
    Vec2 aim = aim_point(p, timing->gate, ahead);
    Vec2 d = {aim.x - p.x, aim.z - p.z};
    double error = std::atan2(d.x * left.x + d.z * left.z, d.x * fwd.x + d.z * fwd.z);  // left positive

    // Lean for the yaw rate that closes the heading error; the yaw the bike
    // already has damps it.
    const dReal* w = dBodyGetAngularVel(b->frame);
    double yaw_rate = std::clamp(2.0 * error, -1.5, 1.5);
    double lean = std::atan(yaw_rate * std::max(speed, 4.0) / 32.0) + 0.15 * (yaw_rate - w[1]);
    lean = std::clamp(lean, -0.55, 0.55);
    double steer = lean / (M_PI / 4);
    if (speed < 6) steer = std::clamp(2.0 * error, -1.0, 1.0);
    steer = std::clamp(steer, -1.0, 1.0);
    mem.steer = float(0.5 * mem.steer + 0.5 * steer);
    c.v[CONTROL_STEERING] = mem.steer;  // left positive

    // How fast.
    double want = target_speed(p, timing->gate);
    // Facing the wrong way: slow down and turn.
    if (std::fabs(error) > 1.2) want = std::min(want, 12.0);
    if (forward_speed < want - 3) {
        c.v[CONTROL_THROTTLE] = 1;
    } else if (forward_speed > want + 2) {
        double brake = std::clamp((forward_speed - want - 2) / 8, 0.0, 1.0);
        c.v[CONTROL_FRONT_BRAKE] = float(brake);
        c.v[CONTROL_REAR_BRAKE] = float(brake);
    } else {
        c.v[CONTROL_THROTTLE] = float(std::clamp(0.5 + (want - forward_speed) / 6, 0.0, 1.0));
    }

    // Stuck (no gate for 12 s): back out for two seconds, then try again.
    if (tick - mem.progress_tick > 12 * 128) {
        mem.reverse_until = tick + 2 * 128;
        mem.progress_tick = tick;
    }
    if (tick < mem.reverse_until) {
        c.v[CONTROL_THROTTLE] = 0;
        c.v[CONTROL_FRONT_BRAKE] = 0;
        c.v[CONTROL_REAR_BRAKE] = 0;
        c.v[CONTROL_BACK_UP] = 1;
        c.v[CONTROL_STEERING] = float(-std::clamp(error, -1.0, 1.0));
    }
    apply_controls(b, c);
}

}  // namespace gr
