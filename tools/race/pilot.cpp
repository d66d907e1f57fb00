// The pilot: rides a bike around the course by the timing gates. It aims
// at a point a little ahead along the line through the next gates, leans
// for the turn that takes it there, picks a speed from how sharply the
// course turns ahead and how sharp the crests ahead are (slow enough to
// keep the wheels on the ground), and works throttle and brakes to hold
// it. It writes the same controls a player's keys would.
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
    float want = 0;           // the speed aimed for
    float throttle = 0;       // last throttle output
    int32_t stalled = 0;      // ticks standing still while wanting to go
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

// Where to steer: the point `ahead` feet further along the line through the
// gates than the bike's own place on it (the line from the gate just passed
// to the next one, then on through the following gates).
Vec2 aim_point(Vec2 p, int g, double ahead, bool on_line = false) {
    Vec2 a = g > 0 ? gate_aim(g - 1) : p;
    Vec2 b = gate_aim(g);
    double sx = b.x - a.x, sz = b.z - a.z, len = std::hypot(sx, sz);
    double along = 0;
    if (len > 1e-6) along = std::clamp(((p.x - a.x) * sx + (p.z - a.z) * sz) / len, 0.0, len);
    double left = len - along;
    // Far off the line (a missed gate, a fall): head for the gate itself.
    double off = len > 1e-6 ? std::fabs((p.x - a.x) * sz - (p.z - a.z) * sx) / len : 0;
    if (off > 40 && !on_line) return b;
    if (ahead <= left) return {a.x + sx / len * (along + ahead), a.z + sz / len * (along + ahead)};
    ahead -= left;
    Vec2 from = b;
    for (int k = 1; k < 8; k++) {
        Vec2 to = gate_aim(g + k);
        double dx = to.x - from.x, dz = to.z - from.z, l = std::hypot(dx, dz);
        if (l >= ahead && l > 1e-6) return {from.x + dx / l * ahead, from.z + dz / l * ahead};
        ahead -= l;
        from = to;
    }
    return from;
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

// The fastest speed from which the bike can still brake, in time, to a
// speed that keeps both wheels on the ground over every crest ahead: over
// a crest of radius R the ground falls away faster than gravity pulls the
// bike down above sqrt(g R).
double crest_speed(Vec2 p, int g, double decel) {
    const double step = 2, range = 70;
    const int n = int(range / step) + 3;
    double h[64];
    for (int i = 0; i < n; i++) {
        Vec2 q = aim_point(p, g, (i - 1) * step, true);
        h[i] = terrain_height_at(float(q.x), float(q.z));
    }
    double best = 1e9;
    for (int i = 2; i + 2 < n; i++) {
        // Slopes over a wheelbase either side, and how fast they fall.
        double s0 = (h[i] - h[i - 2]) / (2 * step), s1 = (h[i + 2] - h[i]) / (2 * step);
        double k = (s0 - s1) / (2 * step);  // > 0 over a crest
        if (k <= 0.01) continue;
        double c = 1 / std::sqrt(1 + s1 * s1);
        double v = std::sqrt(32.0 * c * c * c / k) * 0.85;
        double d = std::max((i - 1) * step - 6, 0.0);
        best = std::min(best, std::sqrt(v * v + 2 * decel * d));
    }
    return best;
}

}  // namespace

double pilot_wanted_speed(int slot) { return slot >= 0 && slot < RIDER_SLOTS ? memory[slot].want : 0; }

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
    // Look-ahead (seconds of travel), heading gain (per second) and yaw
    // damping (lean per radian per second), tuned on the generated tracks.
    const double kA = 1.5, kG = 0.6, kD = 0.5;
    double ahead = std::clamp(10 + kA * speed, 20.0, 60.0);
    Vec2 aim = aim_point(p, timing->gate, ahead);
    Vec2 d = {aim.x - p.x, aim.z - p.z};
    double error = std::atan2(d.x * left.x + d.z * left.z, d.x * fwd.x + d.z * fwd.z);  // left positive

    // Lean for the yaw rate that closes the heading error; the yaw the bike
    // already has damps it.
    const dReal* w = dBodyGetAngularVel(b->frame);
    double yaw_rate = std::clamp(kG * error, -1.2, 1.2);
    double lean = std::atan(yaw_rate * std::max(speed, 4.0) / 32.0) + kD * (yaw_rate - w[1]);
    lean = std::clamp(lean, -0.6, 0.6);
    // The steering input asks for a lean: in proportion to the lean the
    // assists allow at this speed (arcade physics: a quarter turn).
    double full = (b->flags2 & BIKE_ARCADE) ? M_PI / 4 : allowed_lean(b, speed, 4);
    double steer = full > 1e-3 ? lean / full : 0;
    if (speed < 6) steer = std::clamp(1.0 * error, -0.4, 0.4);
    // In the air the bars stay straight and the bike lands as it flies.
    bool airborne = b->front_contact.depth <= 0 && b->rear_contact.depth <= 0;
    if (airborne) steer = 0;
    steer = std::clamp(steer, -1.0, 1.0);
    mem.steer = float(0.5 * mem.steer + 0.5 * steer);
    c.v[CONTROL_STEERING] = mem.steer;  // left positive

    // How fast: what the course ahead allows, and slow enough to make the
    // turn toward the aim within the distance to it.
    double want = target_speed(p, timing->gate);
    {
        Vec2 g = gate_aim(timing->gate);
        double dist = std::max(std::hypot(g.x - p.x, g.z - p.z), 8.0);
        double e = std::fabs(std::atan2((g.x - p.x) * left.x + (g.z - p.z) * left.z,
                                        (g.x - p.x) * fwd.x + (g.z - p.z) * fwd.z));
        double radius = dist / (2 * std::max(std::sin(std::min(e, M_PI / 2)), 0.02));
        want = std::min(want, std::max(std::sqrt(18.0 * radius), 8.0));
    }
    // Slow enough to stay on the ground over the crests ahead, and never
    // slower than walking pace.
    want = std::min(want, std::max(crest_speed(p, timing->gate, 14), 7.0));
    // Faster than this the pilot does not land its jumps.
    want = std::min(want, 28.0);
    mem.want = float(want);
    // The front wheel up with the rear still driving: a wheelie, and with
    // the front unloaded nothing holds the lean. Off the throttle until it
    // comes down.
    bool wheelie = b->front_contact.depth <= 0 && b->rear_contact.depth > 0;
    if (airborne) {
        c.v[CONTROL_THROTTLE] = 0.3f;
    } else if (wheelie) {
        c.v[CONTROL_THROTTLE] = 0;
    } else if (forward_speed < want - 3) {
        c.v[CONTROL_THROTTLE] = 1;
    } else if (forward_speed > want + 2) {
        double brake = std::clamp((forward_speed - want - 2) / 5, 0.0, 1.0);
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
    // Slow in first gear a full throttle lifts the front or spins the
    // rear: open it by the speed.
    // Up a steep face it takes more to keep going.
    const double pitch = std::asin(std::clamp(-R[6], -1.0, 1.0));  // nose up positive
    // Standing still for a while against a face or in soft ground: more.
    mem.stalled = speed < 1.5 && c.v[CONTROL_THROTTLE] > 0 ? mem.stalled + 1 : 0;
    double cap = 0.3 + speed / 20 + 1.5 * std::max(pitch, 0.0) + (mem.stalled > 128 ? 1 : 0);
    c.v[CONTROL_THROTTLE] = std::min(c.v[CONTROL_THROTTLE], float(std::clamp(cap, 0.3, 1.0)));
    // The throttle opens smoothly, so the front stays down.
    c.v[CONTROL_THROTTLE] = std::min(c.v[CONTROL_THROTTLE], mem.throttle + 1.0f / 32);
    mem.throttle = c.v[CONTROL_THROTTLE];
    apply_controls(b, c);
}

}  // namespace gr
