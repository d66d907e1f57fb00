// Engine, clutch, gearbox and brakes: the engine is one rotating inertia
// coupled to the rear wheel through a spring-damper clutch; brakes are the
// axle hinges' motors.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"

namespace gr {

namespace {

const double ANTILOCK_SLIP = 2;          // feet per second
const double AUTO_CLUTCH_BAND = 2000;    // rpm
const double CLUTCH_DAMPING_LIMIT = 500;
const double CLUTCH_TORQUE_LIMIT = 1000000;
const double CLUTCH_RISE_RATE = 4;       // engagement per second

// Changes gear by `delta`, never into a gear the model lacks.
void change_gear(Bike* b, int delta) {
    int g = b->gear + delta;
    g = g < 0 ? 0 : g > GEAR_COUNT - 1 ? GEAR_COUNT - 1 : g;
    while (g > 0 && b->model.gear_ratio[g] <= 0) g--;
    b->gear = g;
}

double slip_speed(const WheelContact& wc) { return len3(wc.velocity); }

void set_brake(dJointID axle, double torque) {
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, torque);
}

}  // namespace

double sprocket_ratio_for(const BikeModel& m, double front_adjustment, double rear_adjustment) {
    double rear = std::floor(clampd(rear_adjustment, -2, 2) + m.rear_sprocket);
    double front = std::floor(clampd(front_adjustment, -2, 2) + m.front_sprocket);
    return std::fmax(rear, 3) / std::fmax(front, 3);
}

void apply_drivetrain_setup(Bike* b, const BikeSetup& s) {
    b->sprocket_ratio = sprocket_ratio_for(b->model, s.front_sprocket_adjustment, s.rear_sprocket_adjustment);
    b->front_brake_torque = clampd(s.brake_torque, 0, 500);
    b->rear_brake_torque = clampd(s.rear_brake_torque, 0, 500);
    b->auto_clutch_rpm = clampd(s.auto_clutch_rpm, 0, 5000);
    uint8_t f = b->flags & uint8_t(~(BIKE_AUTO_SHIFT | BIKE_FRONT_ANTILOCK | BIKE_REAR_ANTILOCK |
                                     BIKE_WHEELIE_CUT_TORQUE | BIKE_WHEELIE_FREE_BRAKE));
    if (s.auto_shift) f |= BIKE_AUTO_SHIFT;
    if (s.front_antilock) f |= BIKE_FRONT_ANTILOCK;
    if (s.rear_antilock) f |= BIKE_REAR_ANTILOCK;
    int mode = s.stop_wheelies < 0 ? 0 : s.stop_wheelies > 3 ? 3 : s.stop_wheelies;
    f |= uint8_t(mode << 1);
    b->flags = f;
}

void set_throttle(Bike* b, double v) { b->throttle = bike_crashed(b) ? 0.0f : float(clampd(v, 0, 1)); }
void set_front_brake(Bike* b, double v) { b->front_brake = float(clampd(v, 0, 1)); }
void set_rear_brake(Bike* b, double v) { b->rear_brake = float(clampd(v, 0, 1)); }
void set_clutch_engagement(Bike* b, double e) { b->clutch = float(clampd(e, 0, 1)); }

void set_clutch_lever(Bike* b, double lever) {
    double e = clampd(1 - lever * 8.0 / 7.0, 0, 1);
    if (b->clutch < e)
        b->clutch = float(std::fmin(b->clutch + CLUTCH_RISE_RATE * TICK, e));
    else
        b->clutch = float(e);
}

void shift(Bike* b, int s) {
    if (bike_crashed(b) || s == b->last_shift || s > 1 || s < -1) return;
    b->last_shift = s;
    change_gear(b, s);
}

double drive_ratio(const Bike* b) {
    return double(b->model.primary_ratio) * b->model.gear_ratio[b->gear] * b->sprocket_ratio;
}

double engine_rpm(const Bike* b) { return b->engine_speed * RPM_PER_RAD_S; }

double engine_torque(const Bike* b) {
    const BikeModel& m = b->model;
    double x = clampd(engine_rpm(b) / 500, 0, TORQUE_POINTS - 1);
    int i = int(x);
    double f = x - i;
    int j = i + 1 < TORQUE_POINTS ? i + 1 : TORQUE_POINTS - 1;
    double closed = m.closed_torque[i] + (m.closed_torque[j] - m.closed_torque[i]) * f;
    double open = m.open_torque[i] + (m.open_torque[j] - m.open_torque[i]) * f;
    double T = closed + (open - closed) * b->throttle;
    if ((b->flags & BIKE_WHEELIE_CUT_TORQUE) && b->front_contact.depth <= 0 && b->rear_contact.depth > 0 && T > 0) {
        dVector3 w;
        const dReal* av = dBodyGetAngularVel(b->frame);
        dBodyVectorFromWorld(b->frame, av[0], av[1], av[2], w);
        if (w[0] > -1.0 / 32) T = 0;
    }
    return T;
}

void drivetrain_step(Bike* b, int32_t tick) {
    const BikeModel& m = b->model;
    double N = drive_ratio(b);
    double axle_angle = dJointGetHingeAngle(b->rear_axle);
    double axle_rate = dJointGetHingeAngleRate(b->rear_axle);

    if ((b->flags & BIKE_AUTO_SHIFT) && tick % 32 == 0 && dJointGetHingeAngle(b->swingarm_pivot) < -0.01 &&
        (b->rear_contact.depth <= 0 || slip_speed(b->rear_contact) <= ANTILOCK_SLIP)) {
        double wheel_rpm = axle_rate * N * RPM_PER_RAD_S;
        if (wheel_rpm < m.shift_down_rpm)
            change_gear(b, -1);
        else if (wheel_rpm > m.shift_up_rpm)
            change_gear(b, +1);
        N = drive_ratio(b);
    }

    double Te = engine_torque(b);
    double d = wrap_angle(b->crank_angle - axle_angle);
    double rpm = engine_rpm(b);
    double c = b->clutch;
    if (rpm <= b->auto_clutch_rpm + AUTO_CLUTCH_BAND)
        c = std::fmin(c, clampd((rpm - b->auto_clutch_rpm) / AUTO_CLUTCH_BAND, 0, 1));
    double Tk = m.clutch_stiffness * d +
                clampd((b->engine_speed - axle_rate * N) * m.clutch_damping, -CLUTCH_DAMPING_LIMIT, CLUTCH_DAMPING_LIMIT);
    // Under engine braking the automatic clutch stays closed.
    if (Tk < 0) c = b->clutch;
    Tk = clampd(Tk, -CLUTCH_TORQUE_LIMIT, CLUTCH_TORQUE_LIMIT);

    double windup = c * M_PI / 4;
    if (d > windup) b->crank_angle = axle_angle + windup;
    if (d < -windup) b->crank_angle = axle_angle - windup;

    double Tt = c * c * Tk;
    dBodyAddRelTorque(b->rear_wheel, -Tt, 0, 0);
    dBodyAddRelTorque(b->frame, Tt, 0, 0);

    b->engine_speed += TICK * (Te - Tt / N) / b->engine_inertia;
    b->crank_angle = wrap_angle(b->crank_angle + TICK * b->engine_speed / N);

    double Tf = b->front_brake_torque * b->front_brake;
    bool front_touches = b->front_contact.depth > 0, rear_touches = b->rear_contact.depth > 0;
    if ((b->flags & BIKE_FRONT_ANTILOCK) && front_touches && slip_speed(b->front_contact) > ANTILOCK_SLIP) Tf = 0;
    if ((b->flags & BIKE_WHEELIE_FREE_BRAKE) && front_touches && !rear_touches) Tf = 0;
    set_brake(b->front_axle, Tf);
    double Tr = b->rear_brake_torque * b->rear_brake;
    if ((b->flags & BIKE_REAR_ANTILOCK) && rear_touches && slip_speed(b->rear_contact) > ANTILOCK_SLIP) Tr = 0;
    set_brake(b->rear_axle, Tr);
}

}  // namespace gr
