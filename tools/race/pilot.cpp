// The pilot: rides a bike around the course by the timing gates.
//
// The gates stand on the course's centre line and point along it, so a
// curve through each gate in its direction (a cubic Hermite segment from
// gate to gate) follows the course closely, corners included. The pilot
// keeps a sampled stretch of that curve ahead of the bike, with the ground
// height under every sample, and from it
//  - steers by pure pursuit: it leans for the arc that meets the curve a
//    little ahead, the yaw the bike already has damping it;
//  - picks a speed: no faster than the bends ahead allow (with room to
//    brake), and, where the ground would throw the bike into the air, only
//    at a speed whose flight lands on ground it can take (a point-mass
//    flight from every sample at every candidate speed, checked for how
//    hard it meets the ground);
//  - holds back behind a slower bike close ahead;
//  - works throttle and brakes to hold that speed, off the throttle in
//    wheelies, and in the air uses throttle and rear brake to keep the
//    bike pitched along its flight;
//  - recovers: turns round tightly when facing away, comes back through a
//    gate it went by, and backs out when stuck.
// It writes the same controls a player's keys would.
#include "pilot.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/race.h"
#include "bike/bike.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

namespace {

constexpr double STEP = 2.0;      // feet between samples of the curve
constexpr int GATES_AHEAD = 5;    // segments kept past the next gate

// Candidate speeds for the flight check (feet per second).
constexpr int SPEEDS = 22;
constexpr double speed_of(int k) { return 8 + 2 * k; }  // 8 .. 50

struct Sample {
    double x, z, h;  // position and ground height
    double s;        // distance along the curve from its first sample
    double bend;     // heading change per foot, left positive
    int counter;     // the gate counter of a bike here (the next gate)
    uint32_t safe;   // bit k: taking this spot at speed_of(k) lands well
    uint32_t flies;  // bit k: at speed_of(k) the bike leaves the ground here
};

// What the pilot remembers per slot.
struct PilotMemory {
    int gate = -1;  // gate counter when progress was last seen
    int32_t progress_tick = 0;
    std::vector<Sample> path;
    int path_gate = -1;  // the gate counter the path was built for
    int at = 0;          // nearest sample
    float steer = 0;     // last steering output (smoothed)
    int32_t reverse_until = 0;
    float want = 0;
    float throttle = 0;
    float pitch = 0;  // last pitch, for its rate
    int32_t stalled = 0;
    int32_t standing = 0;  // ticks below walking pace
    bool missed = false;   // went by the next gate: coming round for it
};
PilotMemory memory[RIDER_SLOTS];

struct Vec2 {
    double x, z;
};

const TimingGate& gate_at(int index) { return track_gates.gates[size_t(gate_of_index(index))]; }

Vec2 unit(double x, double z) {
    double l = std::hypot(x, z);
    return l > 1e-9 ? Vec2{x / l, z / l} : Vec2{0, 1};
}

// Appends the Hermite segment from p0 (heading d0) to p1 (heading d1).
void add_segment(std::vector<Sample>* out, Vec2 p0, Vec2 d0, Vec2 p1, Vec2 d1, int counter) {
    double chord = std::hypot(p1.x - p0.x, p1.z - p0.z);
    if (chord < 1e-3) return;
    int n = std::max(2, int(std::ceil(chord / STEP)));
    for (int i = out->empty() ? 0 : 1; i <= n; i++) {
        double t = double(i) / n, t2 = t * t, t3 = t2 * t;
        double a = 2 * t3 - 3 * t2 + 1, b = t3 - 2 * t2 + t, c = -2 * t3 + 3 * t2, d = t3 - t2;
        Sample q{};
        q.x = a * p0.x + b * d0.x * chord + c * p1.x + d * d1.x * chord;
        q.z = a * p0.z + b * d0.z * chord + c * p1.z + d * d1.z * chord;
        q.counter = counter;
        out->push_back(q);
    }
}

// Ballistic check of one sample: for each candidate speed, does a bike
// taking this spot at that speed leave the ground, and if so how badly does
// it come down: by how much it meets the ground faster than `max_impact`
// feet per second across its surface, stays up longer than `max_air`
// seconds, or takes a real jump (a third of a second up or more) faster than
// `max_jump`, past which the kick of the lip throws the nose down further
// than the flight can take. The speeds that land well are marked safe; where
// none does, the least bad ones are.
uint32_t landing_check(const std::vector<Sample>& p, size_t i, uint32_t* flight) {
    const double max_impact = 13, max_air = 1.1, max_jump = 40;
    *flight = 0;
    if (i < 2 || i + 3 >= p.size()) return ~0u;
    double slope = (p[i].h - p[i - 2].h) / std::max(p[i].s - p[i - 2].s, 1e-3);
    double bad[SPEEDS];
    for (int k = 0; k < SPEEDS; k++) {
        double v = speed_of(k), c = 1 / std::sqrt(1 + slope * slope);
        double vx = v * c, vy = v * slope * c;
        bool flies = false, landed = false;
        bad[k] = 0;
        for (size_t j = i + 1; j < p.size(); j++) {
            double x = p[j].s - p[i].s, t = x / vx;
            double y = p[i].h + vy * t - 0.5 * GRAVITY * t * t;
            if (y > p[j].h + 0.3) flies = true;
            if (!flies && j >= i + 2) break;  // the ground keeps up: rolls on
            if (flies && y <= p[j].h) {
                size_t a = j > 0 ? j - 1 : j, b = std::min(j + 1, p.size() - 1);
                double ground = (p[b].h - p[a].h) / std::max(p[b].s - p[a].s, 1e-3);
                double fall = vy - GRAVITY * t;  // vertical speed at touch-down
                double into = (ground * vx - fall) / std::sqrt(1 + ground * ground);
                bad[k] = std::max(into - max_impact, 0.0) + 20 * std::max(t - max_air, 0.0) +
                         (t >= 0.3 ? std::max(v - max_jump, 0.0) : 0.0);
                landed = true;
                break;
            }
            if (t > max_air + 0.5) break;
        }
        if (flies && !landed) bad[k] = 100;
        if (flies) *flight |= 1u << k;
    }
    double least = *std::min_element(bad, bad + SPEEDS);
    uint32_t safe = 0;
    for (int k = 0; k < SPEEDS; k++)
        if (bad[k] <= std::max(least + 1, 0.0) && (least <= 0 ? bad[k] <= 0 : true)) safe |= 1u << k;
    return safe;
}

// The curve from the gate the bike passed last through the next
// GATES_AHEAD gates, sampled, with heights, bends and flight checks.
void build_path(PilotMemory* m, const Bike* b, int g) {
    std::vector<Sample>& p = m->path;
    p.clear();
    Vec2 p0, d0;
    if (g > 0) {
        const TimingGate& prev = gate_at(g - 1);
        p0 = {prev.point[0], prev.point[2]};
        d0 = unit(prev.direction[0], prev.direction[2]);
    } else {
        const dReal* pos = dBodyGetPosition(b->frame);
        const dReal* R = dBodyGetRotation(b->frame);
        p0 = {pos[0], pos[2]};
        d0 = unit(-R[2], -R[10]);
    }
    for (int k = g; k <= g + GATES_AHEAD; k++) {
        const TimingGate& next = gate_at(k);
        Vec2 p1{next.point[0], next.point[2]}, d1 = unit(next.direction[0], next.direction[2]);
        add_segment(&p, p0, d0, p1, d1, k);
        p0 = p1;
        d0 = d1;
    }
    for (size_t i = 0; i < p.size(); i++) {
        p[i].h = terrain_height_at(float(p[i].x), float(p[i].z));
        p[i].s = i == 0 ? 0 : p[i - 1].s + std::hypot(p[i].x - p[i - 1].x, p[i].z - p[i - 1].z);
    }
    // Bends over a few samples either side.
    for (size_t i = 0; i < p.size(); i++) {
        size_t a = i >= 3 ? i - 3 : 0, c = std::min(i + 3, p.size() - 1);
        if (c < a + 2) continue;
        size_t mid = (a + c) / 2;
        double h1 = std::atan2(p[mid].x - p[a].x, p[mid].z - p[a].z);
        double h2 = std::atan2(p[c].x - p[mid].x, p[c].z - p[mid].z);
        // atan2(x, z) grows turning toward +x, which is left of a heading (x, z).
        double turn = std::remainder(h2 - h1, 2 * M_PI);
        p[i].bend = turn / std::max(p[c].s - p[a].s, 1e-3) * 2;
    }
    for (size_t i = 0; i < p.size(); i++) p[i].safe = landing_check(p, i, &p[i].flies);
    m->path_gate = g;
    m->at = 0;
}

// The nearest sample to p, searched around the last one.
// The nearest sample to p among samples from..to.
int nearest(const std::vector<Sample>& path, Vec2 p, int from, int to) {
    int best = from;
    double bd = 1e18;
    for (int i = from; i <= to; i++) {
        double d = (path[size_t(i)].x - p.x) * (path[size_t(i)].x - p.x) +
                   (path[size_t(i)].z - p.z) * (path[size_t(i)].z - p.z);
        if (d < bd) {
            bd = d;
            best = i;
        }
    }
    return best;
}

// The sample `ahead` feet along the curve from sample i.
const Sample& along(const std::vector<Sample>& p, int i, double ahead) {
    size_t j = size_t(i);
    while (j + 1 < p.size() && p[j].s - p[size_t(i)].s < ahead) j++;
    return p[j];
}

// The speed to hold now: the fastest candidate from which the bike can
// still brake, in time, to a speed that each bend ahead allows and that
// lands well wherever the ground throws it up.
double target_speed(const std::vector<Sample>& p, int at, double decel, double lateral) {
    const double range = 180;
    for (int k = SPEEDS - 1; k >= 0; k--) {
        double v = speed_of(k);
        bool ok = true;
        for (size_t j = size_t(at); j < p.size() && ok; j++) {
            double d = std::max(p[j].s - p[size_t(at)].s - 4, 0.0);
            if (d > range) break;
            double room = 2 * decel * d;
            double bend = std::fabs(p[j].bend);
            double corner = bend > 1e-4 ? std::sqrt(lateral / bend) : 1e9;
            if (v * v > corner * corner + room) ok = false;
            // The fastest well-landing speed at or below v must be reachable.
            if (ok && !(p[j].safe >> k & 1)) {
                int u = k - 1;
                while (u >= 0 && !(p[j].safe >> u & 1)) u--;
                double us = u >= 0 ? speed_of(u) : 6;
                if (v * v > us * us + room) ok = false;
            }
        }
        if (ok) return v;
    }
    return speed_of(0);
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
        mem.path_gate = -1;
        mem.missed = false;
        return;
    }
    if (timing->gate != mem.gate) {
        mem.gate = timing->gate;
        mem.missed = false;
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

    if (mem.path_gate != timing->gate) build_path(&mem, b, timing->gate);
    if (mem.path.size() < 2) {
        apply_controls(b, c);
        return;
    }
    int last = 0;  // the sample at the next gate
    while (size_t(last + 1) < mem.path.size() && mem.path[size_t(last + 1)].counter == timing->gate) last++;
    // Only samples up to the next gate count: a bike that has not passed it
    // belongs before it. Searched around the last place, or, lost, along
    // the whole curve.
    mem.at = nearest(mem.path, p, std::clamp(mem.at - 20, 0, last), std::min(last, mem.at + 80));
    double off = std::hypot(mem.path[size_t(mem.at)].x - p.x, mem.path[size_t(mem.at)].z - p.z);
    if (off > 35) {
        mem.at = nearest(mem.path, p, 0, last);
        off = std::hypot(mem.path[size_t(mem.at)].x - p.x, mem.path[size_t(mem.at)].z - p.z);
    }
    const Sample& here = mem.path[size_t(mem.at)];
    // Past the next gate's line without it counting (wide of it, or a
    // fall on it): go back to a point before it and come through again.
    const TimingGate& next = gate_at(timing->gate);
    Vec2 gd = unit(next.direction[0], next.direction[2]);
    double past = (p.x - next.point[0]) * gd.x + (p.z - next.point[2]) * gd.z;
    if (!mem.missed && mem.at >= last - 1 && past > 2) mem.missed = true;
    if (mem.missed && past < -12) mem.missed = false;  // back before it: ride on

    // Where to go: a point on the curve ahead, or, far off it (a missed
    // gate, a fall), the next gate itself.
    double ahead = std::clamp(8 + 0.9 * speed, 14.0, 40.0);
    Vec2 aim;
    if (mem.missed) {
        aim = {next.point[0] - gd.x * 25, next.point[2] - gd.z * 25};
    } else if (off > 35) {
        aim = {next.point[0], next.point[2]};
    } else {
        const Sample& a = along(mem.path, mem.at, ahead);
        aim = {a.x, a.z};
    }
    // Traffic: a slower bike close ahead in the way (within 25 feet and a
    // narrow cone): hold back to its speed rather than ride into it.
    double follow = 1e9;
    {
        double best = 25;
        for (const RiderSlot& rs : race.slots) {
            const Bike* o = rs.bike;
            if (!o || o == b || bike_crashed(o)) continue;
            const dReal* op = dBodyGetPosition(o->frame);
            double ox = op[0] - p.x, oz = op[2] - p.z;
            double along_o = ox * fwd.x + oz * fwd.z, across = ox * left.x + oz * left.z;
            if (along_o < 2 || along_o > best || std::fabs(across) > 3 + 0.25 * along_o) continue;
            const dReal* ov = dBodyGetLinearVel(o->frame);
            double their = ov[0] * fwd.x + ov[2] * fwd.z;
            best = along_o;
            follow = their < forward_speed ? std::max(their - 1, 6.0) : 1e9;
        }
    }
    Vec2 d = {aim.x - p.x, aim.z - p.z};
    double dist = std::max(std::hypot(d.x, d.z), 1.0);
    double error = std::atan2(d.x * left.x + d.z * left.z, d.x * fwd.x + d.z * fwd.z);  // left positive

    // A take-off ahead at this speed: the bike must meet it upright and
    // steady, as anything it rolls at the lip it keeps rolling in the air.
    int k_now = std::clamp(int(std::lround((forward_speed - 8) / 2)), 0, SPEEDS - 1);
    double takeoff = 1e9;
    for (size_t j = size_t(mem.at); j < mem.path.size(); j++) {
        double dj = mem.path[j].s - here.s;
        if (dj > std::max(2.0 * speed, 30.0)) break;
        if (mem.path[j].flies >> k_now & 1) {
            takeoff = dj;
            break;
        }
    }
    const bool jumping = takeoff < 1e9;

    // Lean for the yaw rate that follows the pursuit arc toward the aim
    // (2 sin(error) / distance per foot); the yaw the bike already has damps it.
    const dReal* w = dBodyGetAngularVel(b->frame);
    double pursuit = std::fabs(error) < M_PI / 2 ? std::sin(error) : (error > 0 ? 1 : -1);
    double yaw_rate = 2 * pursuit / dist * std::max(speed, 4.0);
    // Facing well away from the aim (after a fall or a missed gate): turn
    // round tightly rather than circle wide.
    if (std::fabs(error) > 0.6) yaw_rate = (error > 0 ? 1 : -1) * std::max(std::fabs(yaw_rate), std::max(speed, 4.0) / 25);
    // No sharper than the tyres hold at this speed: slow down first.
    double most = std::min(1.2, 16 / std::max(speed, 1.0));
    yaw_rate = std::clamp(yaw_rate, -most, most);
    double lean = std::atan(yaw_rate * std::max(speed, 4.0) / GRAVITY) + 0.4 * (yaw_rate - w[1]);
    lean = std::clamp(lean, -0.6, 0.6);
    if (jumping) lean = std::clamp(lean, -0.05, 0.05);
    double full = (b->flags2 & BIKE_ARCADE) ? M_PI / 4 : allowed_lean(b, speed, 4);
    double steer = full > 1e-3 ? lean / full : 0;
    if (speed < 6) steer = std::clamp(1.0 * error, -0.4, 0.4);
    bool airborne = b->front_contact.depth <= 0 && b->rear_contact.depth <= 0;
    if (airborne) steer = 0;
    steer = std::clamp(steer, -1.0, 1.0);
    mem.steer = float(0.5 * mem.steer + 0.5 * steer);
    c.v[CONTROL_STEERING] = mem.steer;  // left positive

    // How fast.
    double want = target_speed(mem.path, mem.at, 10, 12);
    if (off > 35 || mem.missed) want = std::min(want, 15.0);
    if (std::fabs(error) > 0.6) want = std::min(want, 8.0);
    // Slow enough to turn onto the curve when off it or facing away.
    {
        double radius = dist / (2 * std::max(std::fabs(std::sin(std::min(std::fabs(error), M_PI / 2))), 0.02));
        want = std::min(want, std::max(std::sqrt(16.0 * radius), 8.0));
    }
    want = std::min(want, follow);
    mem.want = float(want);

    bool wheelie = b->front_contact.depth <= 0 && b->rear_contact.depth > 0;
    const double pitch = std::asin(std::clamp(-R[6], -1.0, 1.0));  // nose up positive
    const double pitch_rate = (pitch - mem.pitch) * 128;
    mem.pitch = float(pitch);
    if (airborne) {
        // In the air the rear wheel is the only handle on the pitch: the
        // throttle spins it up and lifts the nose, the rear brake stops it
        // and drops the nose. Aim the bike along its flight.
        double along_flight = std::atan2(vel[1], std::max(forward_speed, 1.0));
        double e = pitch - along_flight + 0.35 * pitch_rate;
        if (e < -0.05) {
            c.v[CONTROL_THROTTLE] = 1;
        } else if (e > 0.05) {
            c.v[CONTROL_REAR_BRAKE] = 1;
        } else {
            c.v[CONTROL_THROTTLE] = 0.3f;
        }
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

    // Stuck (standing for three seconds, or no gate for 30): back out for
    // two seconds, then try again.
    mem.standing = speed < 2 ? mem.standing + 1 : 0;
    if (tick >= mem.reverse_until && (mem.standing > 3 * 128 || tick - mem.progress_tick > 30 * 128)) {
        mem.reverse_until = tick + 2 * 128;
        mem.progress_tick = tick;
        mem.standing = 0;
    }
    if (tick < mem.reverse_until) {
        c.v[CONTROL_THROTTLE] = 0;
        c.v[CONTROL_FRONT_BRAKE] = 0;
        c.v[CONTROL_REAR_BRAKE] = 0;
        c.v[CONTROL_BACK_UP] = 1;
        c.v[CONTROL_STEERING] = float(-std::clamp(error, -1.0, 1.0));
    }
    // Slow in first gear a full throttle lifts the front or spins the
    // rear: open it by the speed; up a steep face it takes more, and more
    // again after standing still for a second.
    mem.stalled = speed < 1.5 && c.v[CONTROL_THROTTLE] > 0 ? mem.stalled + 1 : 0;
    double cap = 0.3 + speed / 20 + 1.5 * std::max(pitch, 0.0) + (mem.stalled > 128 ? 1 : 0);
    if (!airborne) {
        c.v[CONTROL_THROTTLE] = std::min(c.v[CONTROL_THROTTLE], float(std::clamp(cap, 0.3, 1.0)));
        c.v[CONTROL_THROTTLE] = std::min(c.v[CONTROL_THROTTLE], mem.throttle + 1.0f / 32);
    }
    mem.throttle = c.v[CONTROL_THROTTLE];
    apply_controls(b, c);
}

}  // namespace gr
