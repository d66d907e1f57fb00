// Suspension: the setup's fork and shock settings, the fork's spring, air
// spring and damper through the slider motor, the rear linkage curve and the
// shock torque through the swingarm pivot motor, and telemetry values.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"

namespace gr {

namespace {

const double AIR_SPRING = 82.4616928100586;  // atmospheric pressure times piston area
const double AIR_EXPONENT = 1.4;
const double MOTOR_SPEED = 100;              // far beyond anything reachable

double high_speed_factor(double x) { return clampd(std::pow(2.0, 0.04 * x - 2), 0.25, 4); }
double low_speed_factor(double x) { return clampd(0.02 * x - 1, -1, 1); }
double range(double lo, double hi, double x) { return lo + clampd(0.01 * x, 0, 1) * (hi - lo); }

// Pushing with exactly |force|: toward extension at full force, or only
// braking the motion when the force is negative.
void set_motor(dJointID j, bool slider, double force) {
    double vel = force >= 0 ? MOTOR_SPEED : 0;
    double fmax = std::fabs(force);
    if (slider) {
        dJointSetSliderParam(j, dParamVel, vel);
        dJointSetSliderParam(j, dParamFMax, fmax);
    } else {
        dJointSetHingeParam(j, dParamVel, vel);
        dJointSetHingeParam(j, dParamFMax, fmax);
    }
}

double mix(double speed, const float* bases) {
    if (speed >= 0) return bases[3] / (speed * bases[2] + bases[3]);
    return bases[1] / (bases[1] - speed * bases[0]);
}

double swingarm_travel(const BikeModel& m, double angle) { return clampd(-angle / m.swingarm_max_angle, 0, 1); }

}  // namespace

void apply_suspension_setup(Bike* b, const BikeSetup& s) {
    const BikeModel& m = b->model;
    b->fork_compression = high_speed_factor(s.fork_compression) * m.fork_damping[0];
    b->fork_slow_compression = low_speed_factor(s.fork_slow_compression) * m.fork_damping[1];
    b->fork_rebound = high_speed_factor(s.fork_rebound) * m.fork_damping[2];
    b->fork_slow_rebound = low_speed_factor(s.fork_slow_rebound) * m.fork_damping[3];
    b->fork_spring = range(m.fork_spring_min, m.fork_spring_max, s.fork_spring_rate);
    b->fork_preload = range(m.fork_preload_min, m.fork_preload_max, s.fork_preload);
    b->fork_air_gap = range(m.fork_air_gap_min, m.fork_air_gap_max, s.fork_oil_level);
    b->shock_compression = high_speed_factor(s.shock_compression) * m.shock_damping[0];
    b->shock_slow_compression = low_speed_factor(s.shock_slow_compression) * m.shock_damping[1];
    b->shock_rebound = high_speed_factor(s.shock_rebound) * m.shock_damping[2];
    b->shock_slow_rebound = low_speed_factor(s.shock_slow_rebound) * m.shock_damping[3];
    b->shock_spring = range(m.shock_spring_min, m.shock_spring_max, s.shock_spring_rate);
    b->shock_preload = range(m.shock_preload_min, m.shock_preload_max, s.shock_preload);
}

double damper_force(double vs, double compression, double slow_compression, double rebound, double slow_rebound) {
    if (vs > 0) {
        double base = compression * vs;
        return clampd(base + slow_compression, base / 8, 8 * base);
    }
    double base = rebound * vs;  // negative while extending
    return clampd(base - slow_rebound, 8 * base, base / 8);
}

double fork_air_force(double travel, double air_gap, double x) {
    x = clampd(x, 0, travel);
    double L = travel + air_gap;
    return AIR_SPRING * (std::pow(L / (L - x), AIR_EXPONENT) - 1);
}

double fork_force(Bike* b) {
    const BikeModel& m = b->model;
    double p = dJointGetSliderPosition(b->fork_slider);
    double v = dJointGetSliderPositionRate(b->fork_slider);
    double spring = b->fork_spring * (b->fork_preload - p);
    double damping = damper_force(-v, b->fork_compression, b->fork_slow_compression, b->fork_rebound,
                                  b->fork_slow_rebound);
    double air = fork_air_force(m.fork_travel, b->fork_air_gap, -p);
    double F = (spring + damping + air) * clampd(32 * (-p) / m.fork_travel, 0, 1);
    set_motor(b->fork_slider, true, F);
    return F;
}

void linkage(const BikeModel& m, double s, double* y, double* slope) {
    s = clampd(s, 0, 1);
    double L, u, p0, p1, m0, m1;
    if (s <= m.linkage_break) {
        L = m.linkage_break;
        u = s / L;
        p0 = 0, p1 = m.linkage_mid;
        m0 = m.linkage_slope[0], m1 = m.linkage_slope[1];
    } else {
        L = 1 - m.linkage_break;
        u = (s - m.linkage_break) / L;
        p0 = m.linkage_mid, p1 = m.linkage_end;
        m0 = m.linkage_slope[1], m1 = m.linkage_slope[2];
    }
    double c2 = 3 * (p1 - p0) - 2 * m0 * L - m1 * L;
    double c3 = 2 * (p0 - p1) + m0 * L + m1 * L;
    *y = p0 + m0 * L * u + c2 * u * u + c3 * u * u * u;
    *slope = (m0 * L + 2 * c2 * u + 3 * c3 * u * u) / L;
}

double shock_torque(Bike* b) {
    const BikeModel& m = b->model;
    double a = dJointGetHingeAngle(b->swingarm_pivot);
    double w = dJointGetHingeAngleRate(b->swingarm_pivot);
    double s = swingarm_travel(m, a);
    double y, dy;
    linkage(m, s, &y, &dy);
    double vs = dy * (-w / m.swingarm_max_angle);
    double spring = b->shock_spring * (y + b->shock_preload);
    double damping = damper_force(vs, b->shock_compression, b->shock_slow_compression, b->shock_rebound,
                                  b->shock_slow_rebound);
    double T = (spring + damping) * dy / m.swingarm_max_angle * clampd(32 * s, 0, 1);
    set_motor(b->swingarm_pivot, false, T);
    return T;
}

void suspension_telemetry(const Bike* b, float out[6]) {
    const BikeModel& m = b->model;
    double p = dJointGetSliderPosition(b->fork_slider);
    double v = dJointGetSliderPositionRate(b->fork_slider);
    double s = swingarm_travel(m, dJointGetHingeAngle(b->swingarm_pivot));
    double y, dy;
    linkage(m, s, &y, &dy);
    double shock_speed = dJointGetHingeAngleRate(b->swingarm_pivot) * dy;
    out[0] = float(-p / m.fork_travel);
    out[1] = float(v);
    out[2] = float(mix(v, m.fork_damping));
    out[3] = float(s);
    out[4] = float(shock_speed);
    out[5] = float(mix(shock_speed, m.shock_damping));
}

}  // namespace gr
