// Building a bike: bodies and their masses, joints, construction defaults,
// reset, moving and rotating, presence, mass distribution, plate colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike_test_util.h"
#include "gfx/image.h"

namespace {

using biketest::BikeWorld;

double mass_of(dBodyID b) {
    dMass m;
    dBodyGetMass(b, &m);
    return m.mass;
}

void expect_vec(const dReal* v, double x, double y, double z, double tol = 1e-9) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

TEST_F(BikeWorld, BodiesMassesAndJoints) {
    gr::Bike* b = make("yz250f(2016)");
    const gr::BikeModel& m = b->model;
    EXPECT_NEAR(mass_of(b->frame), m.frame_mass + 2.0 / 3.0 * m.rider_mass, 1e-6);
    EXPECT_NEAR(mass_of(b->rider), m.rider_mass / 3.0, 1e-6);
    EXPECT_NEAR(mass_of(b->fork_upper), m.fork_mass, 1e-6);
    EXPECT_NEAR(mass_of(b->fork_lower), m.fork_mass, 1e-6);
    EXPECT_NEAR(mass_of(b->swingarm), 2 * m.swingarm_arm_mass, 1e-6);
    EXPECT_NEAR(mass_of(b->front_wheel), m.front_hub_mass + m.front_rim_mass, 1e-6);
    EXPECT_NEAR(mass_of(b->rear_wheel), m.rear_hub_mass + m.rear_rim_mass, 1e-6);
    double sum = m.frame_mass + m.rider_mass + 2 * m.fork_mass + 2 * m.swingarm_arm_mass + m.front_hub_mass +
                 m.front_rim_mass + m.rear_hub_mass + m.rear_rim_mass;
    EXPECT_NEAR(gr::bike_total_mass(b), sum, 1e-6);
    EXPECT_EQ(dBodyGetFiniteRotationMode(b->front_wheel), 1);
    EXPECT_EQ(dBodyGetFiniteRotationMode(b->rear_wheel), 1);
    EXPECT_EQ(dBodyGetFiniteRotationMode(b->frame), 0);
    expect_vec(dBodyGetPosition(b->swingarm), 0, 1.34, 4.99, 1e-6);

    // The fork tubes lie along the steering axis: about it the pair has the
    // inertia of two thin cylinders spinning on their axes, set apart.
    dMass fm;
    dBodyGetMass(b->fork_upper, &fm);
    double ax[3] = {0, 2.9 - 1.77, 2.16 - 1.59}, len = std::hypot(ax[1], ax[2]);
    double Iaxis = (fm.I[5] * ax[1] * ax[1] + 2 * fm.I[6] * ax[1] * ax[2] + fm.I[10] * ax[2] * ax[2]) / (len * len);
    double r = m.fork_tube_spacing / 8, half = m.fork_mass / 2;
    EXPECT_NEAR(Iaxis, 2 * (half * r * r / 2 + half * (m.fork_tube_spacing / 2) * (m.fork_tube_spacing / 2)), 1e-6);

    dVector3 v;
    EXPECT_EQ(dJointGetType(b->front_axle), dJointTypeHinge);
    EXPECT_EQ(dJointGetBody(b->front_axle, 0), b->fork_lower);
    EXPECT_EQ(dJointGetBody(b->front_axle, 1), b->front_wheel);
    dJointGetHingeAnchor(b->front_axle, v);
    expect_vec(v, 0, 1.09, 1.11, 1e-6);
    dJointGetHingeAxis(b->rear_axle, v);
    expect_vec(v, 1, 0, 0);
    EXPECT_EQ(dJointGetBody(b->rear_axle, 0), b->swingarm);

    dJointGetHingeAxis(b->steering_head, v);
    expect_vec(v, 0, ax[1] / len, ax[2] / len, 1e-6);
    EXPECT_EQ(dJointGetBody(b->steering_head, 0), b->fork_upper);
    EXPECT_EQ(dJointGetBody(b->steering_head, 1), b->frame);
    EXPECT_NEAR(dJointGetHingeParam(b->steering_head, dParamLoStop), -M_PI / 4, 1e-12);
    EXPECT_NEAR(dJointGetHingeParam(b->steering_head, dParamHiStop), M_PI / 4, 1e-12);

    EXPECT_EQ(dJointGetType(b->fork_slider), dJointTypeSlider);
    dJointGetSliderAxis(b->fork_slider, v);
    expect_vec(v, 0, ax[1] / len, ax[2] / len, 1e-6);
    EXPECT_NEAR(dJointGetSliderParam(b->fork_slider, dParamLoStop), -1, 1e-12);
    EXPECT_EQ(dJointGetSliderParam(b->fork_slider, dParamHiStop), 0);
    EXPECT_EQ(dJointGetSliderPosition(b->fork_slider), 0);

    EXPECT_EQ(dJointGetBody(b->swingarm_pivot, 0), b->swingarm);
    dJointGetHingeAnchor(b->swingarm_pivot, v);
    expect_vec(v, 0, 1.6, 4.08, 1e-6);
    EXPECT_NEAR(dJointGetHingeParam(b->swingarm_pivot, dParamLoStop), -0.530304, 1e-6);
    EXPECT_EQ(dJointGetHingeParam(b->swingarm_pivot, dParamHiStop), 0);

    EXPECT_EQ(dJointGetType(b->rider_mount), dJointTypeHinge2);
    EXPECT_EQ(dJointGetBody(b->rider_mount, 0), b->rider);
    EXPECT_EQ(dJointGetBody(b->rider_mount, 1), b->frame);
    dJointGetHinge2Anchor(b->rider_mount, v);
    expect_vec(v, 0, 4.5, -50, 1e-6);
    dJointGetHinge2Axis1(b->rider_mount, v);
    expect_vec(v, 0, std::sqrt(0.5), std::sqrt(0.5), 1e-9);

    dJointID joints[6] = {b->front_axle, b->rear_axle, b->steering_head, b->fork_slider, b->swingarm_pivot, b->rider_mount};
    dJointFeedback* fbs[6] = {&b->front_axle_feedback, &b->rear_axle_feedback, &b->steering_head_feedback,
                              &b->fork_slider_feedback, &b->swingarm_pivot_feedback, &b->rider_mount_feedback};
    for (int i = 0; i < 6; i++) EXPECT_EQ(dJointGetFeedback(joints[i]), fbs[i]) << i;
}

TEST_F(BikeWorld, ConstructionDefaults) {
    gr::Bike* b = gr::build_bike("rs50yz", 12, "12345678", "", nullptr, "", nullptr);
    bikes_.push_back(b);
    const gr::BikeModel& m = b->model;
    EXPECT_STREQ(b->number, "1234567");
    EXPECT_EQ(b->slot, 12);
    EXPECT_DOUBLE_EQ(b->sprocket_ratio, 55.0 / 12.0);
    EXPECT_EQ(b->fork_compression, m.fork_damping[0]);
    EXPECT_EQ(b->fork_rebound, m.fork_damping[2]);
    EXPECT_EQ(b->fork_slow_compression, 0);
    EXPECT_EQ(b->shock_slow_rebound, 0);
    EXPECT_NEAR(b->fork_spring, (309.1 + 846.7) / 2, 1e-3);
    EXPECT_NEAR(b->shock_preload, 0.3333 / 2, 1e-6);
    EXPECT_NEAR(b->fork_air_gap, 0.4167, 1e-6);
    EXPECT_EQ(b->rider_zdamping, 0.5);
    EXPECT_EQ(b->direct_steering, 1);
    EXPECT_EQ(b->roll_damping, 60);
    EXPECT_EQ(b->auto_clutch_rpm, 5000);
    EXPECT_EQ(b->front_brake_torque, 250);
    EXPECT_EQ(b->max_dab_speed, 30);
    EXPECT_NEAR(b->restricted_lock_angle, 5 * M_PI / 180, 1e-8);
    EXPECT_EQ(b->flags, gr::BIKE_STEER_UNLOADED | gr::BIKE_WHEELIE_FREE_BRAKE | gr::BIKE_FRONT_ANTILOCK | gr::BIKE_REALIGN);
    EXPECT_EQ(gr::stop_wheelies_mode(b->flags), 2);
    EXPECT_EQ(b->flags2, 0);
    EXPECT_EQ(b->presence, 1);
    EXPECT_EQ(b->landing_damping, 1);
    EXPECT_EQ(b->gear, 0);
    // Without shape files the parts have no collision.
    EXPECT_EQ(b->frame_shape, nullptr);
    EXPECT_EQ(b->plate_background[0], 255);
    EXPECT_EQ(b->plate_foreground[0], 0);
}

TEST_F(BikeWorld, UnknownModelBuildsTheFallback) {
    gr::Bike* b = make("mystery125");
    EXPECT_STREQ(b->model.name, "cr125");
    int i = (gr::messages.next - 1 + gr::MESSAGE_RING) % gr::MESSAGE_RING;
    EXPECT_STREQ(gr::messages.lines[i], "bike info for 'mystery125' not found using 'cr125' instead");
}

TEST_F(BikeWorld, ResetAfterARide) {
    gr::Bike* b = make();
    const double axis[3] = {0.3, 1, 0.2};
    gr::rotate_bike(b, axis, 1.1);
    gr::move_bike(b, 40, 3, -7);
    dBodySetLinearVel(b->frame, 5, 1, 2);
    dBodySetAngularVel(b->rear_wheel, 30, 0, 0);
    dBodyAddForce(b->frame, 100, 0, 0);
    b->gear = 3;
    b->engine_speed = 800;
    b->crank_angle = 1;
    b->throttle = 1;
    b->presence = 0.5f;
    b->lap.laps = 2;
    gr::eject_rider(b);
    ASSERT_TRUE(gr::bike_crashed(b));

    gr::reset_bike_pose(b);
    const gr::BikeModel& m = b->model;
    expect_vec(dBodyGetPosition(b->frame), m.frame_pos[0], m.frame_pos[1], m.frame_pos[2], 1e-6);
    expect_vec(dBodyGetPosition(b->rider), m.rider_pos[0], m.rider_pos[1], m.rider_pos[2], 1e-6);
    expect_vec(dBodyGetPosition(b->rear_wheel), m.rear_wheel_pos[0], m.rear_wheel_pos[1], m.rear_wheel_pos[2], 1e-6);
    const dReal* q = dBodyGetQuaternion(b->fork_upper);
    EXPECT_EQ(q[0], 1);
    expect_vec(dBodyGetLinearVel(b->frame), 0, 0, 0);
    expect_vec(dBodyGetAngularVel(b->rear_wheel), 0, 0, 0);
    expect_vec(dBodyGetForce(b->frame), 0, 0, 0);
    EXPECT_EQ(b->gear, 0);
    EXPECT_EQ(gr::engine_rpm(b), 0);
    EXPECT_EQ(b->crank_angle, 0);
    EXPECT_EQ(b->throttle, 0);
    EXPECT_EQ(b->presence, 1);
    EXPECT_EQ(b->lap.laps, 0);
    EXPECT_FALSE(gr::bike_crashed(b));
    EXPECT_EQ(b->crash_count, 0);
    EXPECT_EQ(dJointGetBody(b->rider_mount, 0), b->rider);
    dVector3 v;
    dJointGetHinge2Anchor(b->rider_mount, v);
    expect_vec(v, 0, 4.5, -50, 1e-6);
}

// Moving and rotating keep every joint together: each anchor seen from
// both of its bodies stays one point.
TEST_F(BikeWorld, MoveAndRotateKeepTheJointsTogether) {
    gr::Bike* b = make();
    const double up[3] = {0, 1, 0};
    gr::rotate_bike(b, up, M_PI / 2);
    expect_vec(dBodyGetPosition(b->frame), 3.6, 1.98, 0, 1e-6);
    gr::move_bike(b, 10, 2, 20);
    expect_vec(dBodyGetPosition(b->frame), 13.6, 3.98, 20, 1e-6);
    const double tilt[3] = {1, 0, 1};
    gr::rotate_bike(b, tilt, 0.7);
    dJointID hinges[4] = {b->front_axle, b->rear_axle, b->steering_head, b->swingarm_pivot};
    for (dJointID j : hinges) {
        dVector3 a1, a2;
        dJointGetHingeAnchor(j, a1);
        dJointGetHingeAnchor2(j, a2);
        expect_vec(a1, a2[0], a2[1], a2[2], 1e-9);
    }
    dVector3 a1, a2;
    dJointGetHinge2Anchor(b->rider_mount, a1);
    dJointGetHinge2Anchor2(b->rider_mount, a2);
    expect_vec(a1, a2[0], a2[1], a2[2], 1e-6);
    EXPECT_NEAR(dJointGetSliderPosition(b->fork_slider), 0, 1e-9);
    EXPECT_NEAR(dJointGetHingeAngle(b->swingarm_pivot), 0, 1e-9);
}

TEST_F(BikeWorld, PresenceAndMassDistribution) {
    gr::Bike* b = make();
    gr::set_bike_presence(b, false);
    EXPECT_EQ(b->presence, 0);
    EXPECT_FALSE(dBodyIsEnabled(b->frame));
    EXPECT_FALSE(dBodyIsEnabled(b->rider));
    dBodyAddForce(b->swingarm, 0, 50, 0);
    gr::set_bike_presence(b, true);
    EXPECT_EQ(b->presence, 1);
    EXPECT_TRUE(dBodyIsEnabled(b->rear_wheel));
    expect_vec(dBodyGetForce(b->swingarm), 0, 0, 0);  // stale forces are dropped on waking

    const gr::BikeModel& m = b->model;
    double total = gr::bike_total_mass(b);
    struct Case {
        double asked, used;
    };
    const Case cases[] = {{0.5, 0.5}, {0.33, 0.33}, {0.9, 0.5}, {0.1, 0.33}};
    for (const Case& c : cases) {
        gr::set_rider_mass_distribution(b, c.asked);
        EXPECT_NEAR(mass_of(b->rider), c.used * m.rider_mass, 1e-6) << c.asked;
        EXPECT_NEAR(mass_of(b->frame), m.frame_mass + (1 - c.used) * m.rider_mass, 1e-6) << c.asked;
    }
    EXPECT_EQ(gr::bike_total_mass(b), total);
}

TEST(PlateColours, TagsInTheTextureInfo) {
    struct Case {
        const char* info;
        uint8_t bg[3], fg[3];
    };
    const Case cases[] = {
        {nullptr, {255, 255, 255}, {0, 0, 0}},
        {"[mip_max_alpha]", {255, 255, 255}, {0, 0, 0}},
        {"[numberbackground:2,0.5,-1]", {255, 127, 0}, {0, 0, 0}},
        {"x [numberforeground:0.2,0.4,1] [numberbackground:0,0,0]", {0, 0, 0}, {51, 102, 255}},
        {"[numberbackground:0.5,0.5]", {255, 255, 255}, {0, 0, 0}},  // incomplete: default
    };
    for (const Case& c : cases) {
        uint8_t bg[3], fg[3];
        gr::plate_colours(c.info, bg, fg);
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(bg[i], c.bg[i]) << (c.info ? c.info : "null");
            EXPECT_EQ(fg[i], c.fg[i]) << (c.info ? c.info : "null");
        }
    }
}

TEST(PlateColours, PlateImageRecolouredWithClearBorders) {
    gr::ImageData img;
    img.width = img.height = 128;
    img.channels = 4;
    img.pixels.assign(128 * 128 * 4, 255);
    for (size_t i = 0; i < 128 * 128; i++) img.pixels[4 * i + 3] = 0;
    // A black 2 x 2 block of "text" at (10, 10), fully opaque.
    for (int y = 10; y < 12; y++)
        for (int x = 10; x < 12; x++) {
            uint8_t* p = &img.pixels[4 * (size_t(y) * 128 + size_t(x))];
            p[0] = p[1] = p[2] = 0;
            p[3] = 255;
        }
    const uint8_t bg[3] = {255, 127, 0}, fg[3] = {0, 0, 200};
    ASSERT_TRUE(gr::plate_image_build(&img, bg, fg));
    EXPECT_EQ(img.levels, 8);
    ASSERT_EQ(img.pixels.size(), gr::mip_chain_bytes(128, 128, 4));
    const uint8_t* text = &img.pixels[4 * (10 * 128 + 10)];
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(text[2], 200);
    EXPECT_EQ(text[3], 255);
    const uint8_t* plate = &img.pixels[4 * (50 * 128 + 50)];
    EXPECT_EQ(plate[0], 255);
    EXPECT_EQ(plate[1], 127);
    EXPECT_EQ(plate[2], 0);
    // Level 1 averages: the block becomes one texel at (5, 5).
    const uint8_t* l1 = &img.pixels[gr::mip_level_offset(128, 128, 4, 1) + 4 * (5 * 64 + 5)];
    EXPECT_EQ(l1[2], 200);
    EXPECT_EQ(l1[3], 255);
    // Every level's border is clear white.
    for (int l = 0; l < img.levels; l++) {
        int w = std::max(1, 128 >> l);
        const uint8_t* base = &img.pixels[gr::mip_level_offset(128, 128, 4, l)];
        for (int k = 0; k < w; k++) {
            const uint8_t* edge[4] = {base + 4 * k, base + 4 * (size_t(w - 1) * w + k), base + 4 * (size_t(k) * w),
                                      base + 4 * (size_t(k) * w + w - 1)};
            for (const uint8_t* p : edge) {
                ASSERT_EQ(p[0], 255) << l;
                ASSERT_EQ(p[2], 255) << l;
                ASSERT_EQ(p[3], 0) << l;
            }
        }
    }
    gr::ImageData rgb;
    rgb.width = rgb.height = 4;
    rgb.channels = 3;
    rgb.pixels.assign(48, 0);
    EXPECT_FALSE(gr::plate_image_build(&rgb, bg, fg));
}

}  // namespace

