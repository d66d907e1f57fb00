// Building a bike in the physics world: bodies with their mass
// compositions, joints, shapes, models and textures, the construction
// defaults; and resetting, moving, rotating, freeing and ejecting.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "bike/bike.h"
#include "bike/bike_local.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"

namespace gr {

int32_t knockout_delays[KNOCKOUT_DELAYS] = {};

namespace {

// The seven bodies, for loops over all of them.
dBodyID* body_slots(Bike* b, int i) {
    dBodyID* slots[7] = {&b->frame, &b->front_wheel, &b->rear_wheel, &b->fork_upper,
                         &b->fork_lower, &b->swingarm, &b->rider};
    return slots[i];
}

const float* body_model_pos(const BikeModel& m, int i) {
    const float* pos[7] = {m.frame_pos, m.front_wheel_pos, m.rear_wheel_pos, m.steering_head_pos,
                           m.lower_fork_pos, m.swingarm_pos, m.rider_pos};
    return pos[i];
}

// ODE wants the centre of mass at the body origin; the compositions are
// symmetric, so anything left is rounding.
void centre_mass(dMass* m) { m->c[0] = m->c[1] = m->c[2] = 0; }

void fork_mass(const BikeModel& m, dMass* out) {
    dMassSetZero(out);
    for (int side = -1; side <= 1; side += 2) {
        dMass tube;
        dMassSetCylinderTotal(&tube, m.fork_mass / 2.0, 2, m.fork_tube_spacing / 8.0, m.fork_length * 2.0 / 3.0);
        dMassTranslate(&tube, side * m.fork_tube_spacing / 2.0, 0, 0);
        dMassAdd(out, &tube);
    }
    double dy = m.steering_head_pos[1] - m.lower_fork_pos[1];
    double dz = m.steering_head_pos[2] - m.lower_fork_pos[2];
    dMatrix3 R;
    dRFromAxisAndAngle(R, 1, 0, 0, std::atan(dz / dy));
    dMassRotate(out, R);
    centre_mass(out);
}

void swingarm_mass(const BikeModel& m, dMass* out) {
    double dy = m.rear_wheel_pos[1] - m.swingarm_pivot[1];
    double dz = m.rear_wheel_pos[2] - m.swingarm_pivot[2];
    double L = std::sqrt(dy * dy + dz * dz);
    dMassSetZero(out);
    double w = 0.25 * m.frame_box[0];
    for (int side = -1; side <= 1; side += 2) {
        dMass arm;
        dMassSetBoxTotal(&arm, m.swingarm_arm_mass, w, w, L);
        dMassTranslate(&arm, side * m.frame_box[0] / 2.0, 0, 0);
        dMassAdd(out, &arm);
    }
    dMatrix3 R;
    dRFromAxisAndAngle(R, 1, 0, 0, -std::atan(dy / dz));
    dMassRotate(out, R);
    centre_mass(out);
}

void wheel_mass(double ring, double tube, double rim_mass, double hub_radius, double hub_mass, dMass* out) {
    dMassSetSphereTotal(out, hub_mass, hub_radius);
    for (int k = 0; k < 16; k++) {
        double a = k * M_PI / 8;
        dMass ball;
        dMassSetSphereTotal(&ball, rim_mass / 16.0, tube);
        dMassTranslate(&ball, 0, ring * std::cos(a), ring * std::sin(a));
        dMassAdd(out, &ball);
    }
    centre_mass(out);
}

dJointID make_hinge(dBodyID a, dBodyID b, const float anchor[3], double ax, double ay, double az,
                    dJointFeedback* fb) {
    dJointID j = dJointCreateHinge(physics.world, nullptr);
    dJointAttach(j, a, b);
    dJointSetHingeAnchor(j, anchor[0], anchor[1], anchor[2]);
    dJointSetHingeAxis(j, ax, ay, az);
    dJointSetFeedback(j, fb);
    return j;
}

// A point given in the bike's model frame, taken relative to the frame body
// and converted to world coordinates with the frame's current pose.
void frame_point_world(const Bike* b, const double model_point[3], double out[3]) {
    const float* fp = b->model.frame_pos;
    dVector3 w;
    dBodyGetRelPointPos(b->frame, model_point[0] - fp[0], model_point[1] - fp[1], model_point[2] - fp[2], w);
    out[0] = w[0], out[1] = w[1], out[2] = w[2];
}

unsigned load_texture_or(const char* custom, const char* own) {
    if (custom && *custom) {
        unsigned t = texture_load(custom);
        if (t) return t;
    }
    return texture_load(own);
}

void load_parts(Bike* b, const char* rider_body_tex, const char* rider_head_tex, const char* bike_tex,
                const char* wheel_tex) {
    const BikeModel& m = b->model;
    b->frame_shape = collision_shape_copy(collision_shape_load("@generic_frame.shp"));
    b->fork_upper_shape = collision_shape_copy(collision_shape_load("@generic_fork_upper.shp"));
    b->fork_lower_shape = collision_shape_copy(collision_shape_load("@generic_fork_lower.shp"));
    b->swingarm_shape = collision_shape_copy(collision_shape_load("@generic_swingarm.shp"));
    b->front_wheel_shape = collision_shape_copy(collision_shape_load("@front_wheel.shp"));
    b->rear_wheel_shape = collision_shape_copy(collision_shape_load("@rear_wheel.shp"));
    b->rider_shape = collision_shape_copy(collision_shape_load("@generic_rider.shp"));

    // A custom texture counts only when it loads; the parts keep the model's
    // own meshes either way.
    b->bike_texture = load_texture_or(bike_tex, m.bike_texture);
    b->wheel_texture = load_texture_or(wheel_tex, wheel_texture_name);
    b->rider_body_texture = load_texture_or(rider_body_tex, rider_body_texture_name);
    b->rider_head_texture = load_texture_or(rider_head_tex, rider_head_texture_name);

    b->frame_model = model_load(m.frame_model);
    b->fork_upper_model = model_load(m.fork_upper_model);
    b->fork_lower_model = model_load(m.fork_lower_model);
    b->swingarm_model = model_load(m.swingarm_model);
    b->side_plates_model = model_load(m.side_plates_model);
    b->front_plate_model = model_load(m.front_plate_model);
    b->front_wheel_model = model_load(front_wheel_model_name);
    b->rear_wheel_model = model_load(rear_wheel_model_name);
    b->rider_head_model = model_load(rider_head_model_name);
    b->rider_body_model = model_load(rider_body_model_name);
    b->rider_body_fp_model = model_load(rider_body_fp_model_name);
    b->rider_plate_model = model_load(rider_plate_model_name);

    plate_colours(b->bike_texture ? texture_info(b->bike_texture) : nullptr, b->plate_background,
                  b->plate_foreground);
}

void apply_construction_defaults(Bike* b) {
    const BikeModel& m = b->model;
    b->sprocket_ratio = sprocket_ratio_for(m, 0, 0);
    b->engine_inertia = m.engine_inertia;
    b->fork_compression = m.fork_damping[0];
    b->fork_slow_compression = 0;
    b->fork_rebound = m.fork_damping[2];
    b->fork_slow_rebound = 0;
    b->fork_spring = 0.5 * (m.fork_spring_min + m.fork_spring_max);
    b->fork_preload = 0.5 * (m.fork_preload_min + m.fork_preload_max);
    b->fork_air_gap = m.fork_air_gap_min;
    b->shock_compression = m.shock_damping[0];
    b->shock_slow_compression = 0;
    b->shock_rebound = m.shock_damping[2];
    b->shock_slow_rebound = 0;
    b->shock_spring = 0.5 * (m.shock_spring_min + m.shock_spring_max);
    b->shock_preload = 0.5 * (m.shock_preload_min + m.shock_preload_max);
    b->rider_yspring = b->rider_ydamping = b->rider_zspring = b->rider_zdamping = 0.5;
    b->direct_steering = 1;
    b->leveling = 20;
    b->roll_damping = 60;
    b->steering_damping = 45;
    b->steering_strength = 75;
    b->max_steering_force = 400;
    b->auto_clutch_rpm = 5000;
    b->roll_limit_angle = M_PI / 4;
    b->roll_limit_factor = 10;
    b->front_brake_torque = 250;
    b->rear_brake_torque = 250;
    b->max_dab_speed = 30;
    b->slow_damping_speed = 0;
    b->slow_damping_factor = 1;
    b->land_damping_falloff = 0.25;
    b->land_damping_factor = 2;
    b->full_lock_speed = 10;
    b->restricted_lock_speed = 50;
    b->restricted_lock_angle = 0.08726646;
    b->flags = BIKE_STEER_UNLOADED | (2 << 1) | BIKE_FRONT_ANTILOCK | BIKE_REALIGN;
    b->flags2 = 0;
}

void init_contact(WheelContact* wc, dBodyID body, double ring, double tube) {
    *wc = WheelContact{};
    wc->body = body;
    wc->ring_radius = ring;
    wc->tube_radius = tube;
}

}  // namespace

void plate_colours(const char* info, uint8_t background[3], uint8_t foreground[3]) {
    static const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    memcpy(background, white, 3);
    memcpy(foreground, black, 3);
    if (!info) return;
    const char* tags[2] = {"[numberbackground:", "[numberforeground:"};
    uint8_t* outs[2] = {background, foreground};
    for (int t = 0; t < 2; t++) {
        const char* p = strstr(info, tags[t]);
        float c[3];
        if (!p || sscanf(p + strlen(tags[t]), "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) continue;
        for (int i = 0; i < 3; i++) {
            float v = std::isnan(c[i]) ? 0.0f : c[i] < 0 ? 0.0f : c[i] > 1 ? 1.0f : c[i];
            outs[t][i] = uint8_t(v * 255.0f);
        }
    }
}

Bike* build_bike(const char* model_name, int32_t slot, const char* number, const char* rider_body_tex,
                 const char* rider_head_tex, const char* bike_tex, const char* wheel_tex) {
    void* mem = tracked_calloc(1, sizeof(Bike));
    if (!mem) fatal_out_of_memory();
    Bike* b = new (mem) Bike();
    b->model = *bike_model_find(model_name);
    snprintf(b->number, sizeof b->number, "%s", number ? number : "");
    const BikeModel& m = b->model;

    load_parts(b, rider_body_tex, rider_head_tex, bike_tex, wheel_tex);

    for (int i = 0; i < 7; i++) {
        dBodyID body = dBodyCreate(physics.world);
        const float* p = body_model_pos(m, i);
        dBodySetPosition(body, p[0], p[1], p[2]);
        *body_slots(b, i) = body;
    }
    dBodySetFiniteRotationMode(b->front_wheel, 1);
    dBodySetFiniteRotationMode(b->rear_wheel, 1);

    dMass mass;
    set_rider_mass_distribution(b, 1.0 / 3.0);
    fork_mass(m, &mass);
    dBodySetMass(b->fork_upper, &mass);
    dBodySetMass(b->fork_lower, &mass);
    swingarm_mass(m, &mass);
    dBodySetMass(b->swingarm, &mass);
    wheel_mass(m.front_ring_radius, m.front_tube_radius, m.front_rim_mass, m.front_hub_radius,
               m.front_hub_mass, &mass);
    dBodySetMass(b->front_wheel, &mass);
    wheel_mass(m.rear_ring_radius, m.rear_tube_radius, m.rear_rim_mass, m.rear_hub_radius, m.rear_hub_mass,
               &mass);
    dBodySetMass(b->rear_wheel, &mass);

    double axis[3] = {m.steering_head_pos[0] - m.lower_fork_pos[0], m.steering_head_pos[1] - m.lower_fork_pos[1],
                      m.steering_head_pos[2] - m.lower_fork_pos[2]};
    b->front_axle = make_hinge(b->fork_lower, b->front_wheel, m.front_wheel_pos, 1, 0, 0, &b->front_axle_feedback);
    b->rear_axle = make_hinge(b->swingarm, b->rear_wheel, m.rear_wheel_pos, 1, 0, 0, &b->rear_axle_feedback);
    b->steering_head = make_hinge(b->fork_upper, b->frame, m.steering_head_pos, axis[0], axis[1], axis[2],
                                  &b->steering_head_feedback);
    dJointSetHingeParam(b->steering_head, dParamLoStop, -M_PI / 4);
    dJointSetHingeParam(b->steering_head, dParamHiStop, M_PI / 4);

    b->fork_slider = dJointCreateSlider(physics.world, nullptr);
    dJointAttach(b->fork_slider, b->fork_upper, b->fork_lower);
    dJointSetSliderAxis(b->fork_slider, axis[0], axis[1], axis[2]);
    dJointSetSliderParam(b->fork_slider, dParamBounce, 0);
    dJointSetSliderParam(b->fork_slider, dParamLoStop, -m.fork_travel);
    dJointSetSliderParam(b->fork_slider, dParamHiStop, 0);
    dJointSetFeedback(b->fork_slider, &b->fork_slider_feedback);

    b->swingarm_pivot = make_hinge(b->swingarm, b->frame, m.swingarm_pivot, 1, 0, 0, &b->swingarm_pivot_feedback);
    dJointSetHingeParam(b->swingarm_pivot, dParamBounce, 0);
    dJointSetHingeParam(b->swingarm_pivot, dParamLoStop, -m.swingarm_max_angle);
    dJointSetHingeParam(b->swingarm_pivot, dParamHiStop, 0);

    b->rider_mount = dJointCreateHinge2(physics.world, nullptr);
    dJointSetFeedback(b->rider_mount, &b->rider_mount_feedback);
    attach_rider_mount(b);

    init_contact(&b->front_contact, b->front_wheel, m.front_ring_radius, m.front_tube_radius);
    init_contact(&b->rear_contact, b->rear_wheel, m.rear_ring_radius, m.rear_tube_radius);

    apply_construction_defaults(b);
    b->total_mass = 0;
    for (int i = 0; i < 7; i++) {
        dBodyGetMass(*body_slots(b, i), &mass);
        b->total_mass += mass.mass;
    }
    reset_bike_pose(b);
    b->slot = slot;
    return b;
}

void attach_rider_mount(Bike* b) {
    const BikeModel& m = b->model;
    double anchor_model[3] = {0, m.rider_pos[1], -50};
    double anchor[3];
    frame_point_world(b, anchor_model, anchor);
    dVector3 a1, a2;
    dBodyVectorToWorld(b->frame, 0, 1, 1, a1);
    dBodyVectorToWorld(b->frame, 1, 0, 0, a2);
    dJointAttach(b->rider_mount, b->rider, b->frame);
    dJointSetHinge2Anchor(b->rider_mount, anchor[0], anchor[1], anchor[2]);
    dJointSetHinge2Axes(b->rider_mount, a1, a2);
    dJointSetHinge2Param(b->rider_mount, dParamLoStop, 0);
    dJointSetHinge2Param(b->rider_mount, dParamHiStop, 0);
}

void reset_bike_pose(Bike* b) {
    const BikeModel& m = b->model;
    static const dQuaternion identity = {1, 0, 0, 0};
    for (int i = 0; i < 7; i++) {
        dBodyID body = *body_slots(b, i);
        const float* p = body_model_pos(m, i);
        dBodySetPosition(body, p[0], p[1], p[2]);
        dBodySetQuaternion(body, identity);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
        dBodyEnable(body);
    }
    b->throttle = b->clutch = b->front_brake = b->rear_brake = 0;
    b->steering = b->sit_dab = b->foot_extension = b->back_up = b->lean_input = 0;
    b->gear = 0;
    b->last_shift = 0;
    b->crank_angle = 0;
    b->engine_speed = 0;
    b->takeoff_tick = b->landing_tick = 0;
    b->crash_timer = 0;
    b->crash_count = 0;
    for (BikeFoot& f : b->feet) f = BikeFoot{};
    memset(b->rider_velocity_ring, 0, sizeof b->rider_velocity_ring);
    b->assist_timer = 0;
    b->steering_lock_blend = 0;
    b->ground_touched = false;
    b->collision_timer = 0;
    b->last_bike_contact_tick = -1;
    b->front_contact.depth = 0;
    b->rear_contact.depth = 0;
    b->lap = BikeLapState{};
    b->presence = 1;
    b->landing_damping = 1;
    b->assist_blend = 0;
    b->update_count = 0;
    b->sticky_dab_state = b->last_dab_control = 0;
    b->realign_done = false;
    b->erosion.read = b->erosion.write = 0;

    // The rider sits at its model place relative to the frame.
    double rp[3] = {m.rider_pos[0], m.rider_pos[1], m.rider_pos[2]};
    double w[3];
    frame_point_world(b, rp, w);
    dBodySetPosition(b->rider, w[0], w[1], w[2]);
    dBodySetQuaternion(b->rider, dBodyGetQuaternion(b->frame));
    attach_rider_mount(b);
}

void move_bike(Bike* b, double dx, double dy, double dz) {
    for (int i = 0; i < 7; i++) {
        dBodyID body = *body_slots(b, i);
        const dReal* p = dBodyGetPosition(body);
        dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
    }
}

void rotate_bike(Bike* b, const double axis[3], double angle) {
    dQuaternion q;
    dQFromAxisAndAngle(q, axis[0], axis[1], axis[2], angle);
    dMatrix3 R;
    dQtoR(q, R);
    for (int i = 0; i < 7; i++) {
        dBodyID body = *body_slots(b, i);
        dVector3 v;
        dMultiply0_331(v, R, dBodyGetPosition(body));
        dBodySetPosition(body, v[0], v[1], v[2]);
        dMultiply0_331(v, R, dBodyGetLinearVel(body));
        dBodySetLinearVel(body, v[0], v[1], v[2]);
        dMultiply0_331(v, R, dBodyGetAngularVel(body));
        dBodySetAngularVel(body, v[0], v[1], v[2]);
        dQuaternion out;
        dQMultiply0(out, q, dBodyGetQuaternion(body));
        dNormalize4(out);
        dBodySetQuaternion(body, out);
    }
}

double bike_total_mass(const Bike* b) { return b->total_mass; }

void set_rider_mass_distribution(Bike* b, double d) {
    d = clampd(d, 0.33, 0.5);
    const BikeModel& m = b->model;
    dMass mass;
    dMassSetBoxTotal(&mass, m.frame_mass + (1 - d) * m.rider_mass, m.frame_box[0], m.frame_box[1], m.frame_box[2]);
    dBodySetMass(b->frame, &mass);
    dMassSetSphereTotal(&mass, d * m.rider_mass, 1);
    dBodySetMass(b->rider, &mass);
}

void set_bike_presence(Bike* b, bool on) {
    if (b->presence <= 0.25f)
        for (int i = 0; i < 7; i++) {
            dBodySetForce(*body_slots(b, i), 0, 0, 0);
            dBodySetTorque(*body_slots(b, i), 0, 0, 0);
        }
    b->presence = on ? 1.0f : 0.0f;
    for (int i = 0; i < 7; i++) {
        if (on)
            dBodyEnable(*body_slots(b, i));
        else
            dBodyDisable(*body_slots(b, i));
    }
}

void free_bike(Bike* b) {
    if (!b) return;
    dJointID* joints[6] = {&b->front_axle, &b->rear_axle, &b->steering_head,
                           &b->fork_slider, &b->swingarm_pivot, &b->rider_mount};
    for (dJointID* j : joints)
        if (*j) dJointDestroy(*j);
    for (int i = 0; i < 7; i++)
        if (*body_slots(b, i)) dBodyDestroy(*body_slots(b, i));
    CollisionShape* shapes[7] = {b->frame_shape, b->fork_upper_shape, b->fork_lower_shape, b->swingarm_shape,
                                 b->front_wheel_shape, b->rear_wheel_shape, b->rider_shape};
    for (CollisionShape* s : shapes) collision_shape_free(s);
    if (b->plate_texture && texture_uploader) texture_uploader->destroy(b->plate_texture);
    // The models belong to the model cache, which frees them with the track.
    b->~Bike();
    tracked_free(b);
}

double bike_lean(const Bike* b) {
    double u[3], x[3], f[3];
    body_axis(b->frame, 1, u);
    body_axis(b->frame, 0, x);
    body_axis(b->frame, 2, f);
    f[0] = -f[0], f[1] = -f[1], f[2] = -f[2];
    // Horizontal, across the forward axis, on the frame's +x side.
    double s[3] = {-f[2], 0, f[0]};
    double n = std::sqrt(s[0] * s[0] + s[2] * s[2]);
    if (n < 1e-9) {
        s[0] = x[0], s[2] = x[2];
        n = std::sqrt(s[0] * s[0] + s[2] * s[2]);
        if (n < 1e-9) return 0;
    }
    s[0] /= n, s[2] /= n;
    if (s[0] * x[0] + s[2] * x[2] < 0) s[0] = -s[0], s[2] = -s[2];
    return std::acos(clampd(dot3(s, u), -1, 1)) - M_PI / 2;
}

void eject_rider(Bike* b) {
    dJointAttach(b->rider_mount, nullptr, nullptr);
    const BikeModel& m = b->model;
    for (int s = 0; s < 2; s++) {
        double peg[3] = {m.peg_pos[s][0], m.peg_pos[s][1], m.peg_pos[s][2]};
        frame_point_world(b, peg, b->feet[s].position);
        dVector3 v;
        dBodyGetPointVel(b->rider, b->feet[s].position[0], b->feet[s].position[1], b->feet[s].position[2], v);
        for (int i = 0; i < 3; i++) b->feet[s].velocity[i] = v[i];
    }
    int before = b->crash_count;
    b->crash_count++;
    b->crash_timer = 512 + knockout_delays[before < KNOCKOUT_DELAYS - 1 ? before : KNOCKOUT_DELAYS - 1];
}

}  // namespace gr
