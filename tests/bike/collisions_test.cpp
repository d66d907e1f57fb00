// Bikes against statues and against each other: sphere-pair contacts,
// tyres against obstacles, the statue bins, scenery ejection, penalty forces
// and the collision timers that say who ran into whom.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike_test_util.h"
#include "track/track.h"

namespace {

using biketest::BikeWorld;

const double X = 129, Z = 129;  // middle of the 256-foot test field

// Shape files for the parts, one sphere each at the body's origin: text of
// the sphere record, or "" for a part without a shape.
struct PartShapes {
    std::string frame, fork_upper, fork_lower, swingarm, front_wheel, rear_wheel, rider;
};

std::string sphere(double radius, double x = 0, double y = 0, double z = 0) {
    return "1\n" + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " " +
           std::to_string(radius) + " 0.5 25000 2500\n";
}

class Collisions : public BikeWorld {
protected:
    void SetUp() override {
        BikeWorld::SetUp();
        gr::race_timing.tick = 100;
    }
    void TearDown() override {
        gr::scenery_free();
        gr::race_timing = gr::RaceTiming{};
        BikeWorld::TearDown();
    }
    void shapes(const PartShapes& p) {
        gr::collision_shape_cache_clear();
        const std::pair<const char*, const std::string*> files[] = {
            {"generic_frame.shp", &p.frame},       {"generic_fork_upper.shp", &p.fork_upper},
            {"generic_fork_lower.shp", &p.fork_lower}, {"generic_swingarm.shp", &p.swingarm},
            {"front_wheel.shp", &p.front_wheel},   {"rear_wheel.shp", &p.rear_wheel},
            {"generic_rider.shp", &p.rider}};
        for (const auto& f : files) {
            std::string path = dirs_.program + f.first;
            std::remove(path.c_str());
            if (!f.second->empty()) grtest::write_file(path, *f.second);
        }
    }
    // A bike turned by `heading` about the vertical, frame above (x, z),
    // tyres just touching flat ground at height 0, raised by `lift`.
    gr::Bike* bike_at(double x, double z, double heading = 0, double lift = 0) {
        gr::Bike* b = make();
        hold_rider(b);
        const double up[3] = {0, 1, 0};
        if (heading != 0) gr::rotate_bike(b, up, heading);
        const gr::BikeModel& m = b->model;
        const dReal* f = dBodyGetPosition(b->frame);
        double dy = lift - (m.front_wheel_pos[1] - m.front_ring_radius - m.front_tube_radius);
        gr::move_bike(b, x - f[0], dy, z - f[2]);
        return b;
    }
    // Moves a bike so that one of its bodies sits at p.
    static void move_body_to(gr::Bike* b, dBodyID body, const double p[3]) {
        const dReal* q = dBodyGetPosition(body);
        gr::move_bike(b, p[0] - q[0], p[1] - q[1], p[2] - q[2]);
    }
    // All bodies moving at v over the ground, wheels rolling.
    static void launch(gr::Bike* b, double vx, double vz) {
        dBodyID bodies[7] = {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider};
        for (dBodyID body : bodies) dBodySetLinearVel(body, vx, 0, vz);
        double rf = b->model.front_ring_radius + b->model.front_tube_radius;
        double rr = b->model.rear_ring_radius + b->model.rear_tube_radius;
        dBodySetAngularVel(b->front_wheel, vz / rf, 0, -vx / rf);
        dBodySetAngularVel(b->rear_wheel, vz / rr, 0, -vx / rr);
    }
    static void set_speed(gr::Bike* b, double v) { dBodySetLinearVel(b->frame, v, 0, 0); }
    // One race tick for these bikes: ground, scenery, bike pairs by speed
    // (fastest first), the step, then the suspension and drivetrain forces.
    // Returns whether any pair of bikes touched.
    bool race_tick(std::vector<gr::Bike*> list) {
        for (gr::Bike* b : list) {
            gr::collide_bike_with_ground(b);
            gr::collide_bike_with_scenery(b);
        }
        std::stable_sort(list.begin(), list.end(),
                         [this](gr::Bike* a, gr::Bike* b) { return frame_speed(a) > frame_speed(b); });
        bool touched = false;
        for (size_t i = 0; i < list.size(); i++)
            for (size_t j = i + 1; j < list.size(); j++) touched |= gr::collide_bikes(list[i], list[j], false) != 0;
        gr::physics_world_step();
        for (gr::Bike* b : list) {
            gr::fork_force(b);
            gr::shock_torque(b);
            gr::drivetrain_step(b, gr::race_timing.tick);
        }
        gr::race_timing.tick++;
        return touched;
    }
    // A statue with a shape file's text (or none), at (x, y, z).
    int add_statue(const std::string& shape_text, double x, double y, double z, float facing = 0,
                   const float* orientation = nullptr) {
        gr::Statue s;
        if (!shape_text.empty()) {
            std::string name = "statue" + std::to_string(gr::scenery.statues.size()) + ".shp";
            grtest::write_file(dirs_.program + name, shape_text);
            s.shape = gr::collision_shape_copy(gr::collision_shape_load(("@" + name).c_str()));
            EXPECT_NE(s.shape, nullptr);
        }
        s.x = float(x), s.y = float(y), s.z = float(z);
        s.facing_distance = facing;
        if (orientation) std::copy(orientation, orientation + 9, s.orientation);
        gr::scenery.statues.push_back(s);
        return int(gr::scenery.statues.size()) - 1;
    }
    static int joints(dBodyID body) { return dBodyGetNumJoints(body); }
    void drop(gr::Bike* b) {
        bikes_.erase(std::find(bikes_.begin(), bikes_.end(), b));
        gr::free_bike(b);
    }
};

const dMatrix3 IDENTITY = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

// Two bikes driven into each other: the contact joints push the slower bike
// along, and the faster rider's front wheel marks him as the one who hit.
TEST_F(Collisions, BikeRunsIntoTheSideOfAnother) {
    const double wheel = 1.1;
    shapes({sphere(1), "", "", "", sphere(wheel), sphere(1.05), sphere(1)});
    gr::Bike* a = bike_at(X, Z);
    // B stands across A's path, facing -x, its frame 1 foot beyond A's front wheel.
    double front_dz = a->model.front_wheel_pos[2] - a->model.frame_pos[2];
    gr::Bike* b = bike_at(X + 0.5, Z + front_dz - wheel - 1 - 1, M_PI / 2);
    for (int i = 0; i < 256; i++) race_tick({a, b});  // settle on the springs
    ASSERT_EQ(a->collision_timer, 0);
    ASSERT_EQ(b->collision_timer, 0);

    launch(a, 0, -20);
    launch(b, -6, 0);
    int first_contact = -1;
    for (int i = 0; i < 64; i++) {
        int tick = gr::race_timing.tick;
        if (race_tick({a, b}) && first_contact < 0) {
            first_contact = tick;
            EXPECT_EQ(a->collision_timer, gr::COLLISION_HITTER);
            EXPECT_EQ(b->collision_timer, gr::COLLISION_HIT);
            EXPECT_EQ(a->last_bike_contact_tick, tick);
            EXPECT_EQ(b->last_bike_contact_tick, tick);
        }
    }
    ASSERT_GE(first_contact, 0) << "the bikes never touched";
    EXPECT_LT(first_contact - 256 - 100, 16);  // the gap closes in about 0.05 s
    // The hit bike was shoved along A's way and A was slowed.
    EXPECT_LT(dBodyGetLinearVel(b->frame)[2], -3);
    EXPECT_GT(dBodyGetLinearVel(a->frame)[2], -17);
    // A's front wheel did not sink into B's frame (the two spheres reach 2.1 feet).
    EXPECT_GT(dBodyGetPosition(a->front_wheel)[2] - dBodyGetPosition(b->frame)[2], 1.5);
}

// A bike ridden into a solid statue stops in front of it, and the statue
// records the tick; the same statue without a shape is ridden through.
TEST_F(Collisions, BikeStopsAtASolidStatue) {
    shapes({sphere(1), "", "", "", sphere(1.1), sphere(1.05), sphere(1)});
    for (bool solid : {true, false}) {
        SCOPED_TRACE(solid);
        gr::scenery_free();
        gr::Bike* b = bike_at(X, Z);
        double front_z = dBodyGetPosition(b->front_wheel)[2];
        double statue_z = front_z - 1.1667 - 2 - 1;
        add_statue(solid ? sphere(2) : "", X, 2, statue_z);
        gr::statue_bins_build();
        for (int i = 0; i < 128; i++) race_tick({b});
        launch(b, 0, -15);
        int start = gr::race_timing.tick;
        for (int i = 0; i < 256; i++) race_tick({b});
        const gr::Statue& st = gr::scenery.statues[0];
        if (solid) {
            EXPECT_GT(st.touched_tick, start);
            EXPECT_LT(st.touched_tick, gr::race_timing.tick);
            EXPECT_LT(frame_speed(b), 3);
            EXPECT_GT(dBodyGetPosition(b->front_wheel)[2], statue_z + 2);
            EXPECT_FALSE(gr::bike_crashed(b));  // 15 feet per second does not throw him off
        } else {
            EXPECT_EQ(st.touched_tick, 0);
            EXPECT_GT(frame_speed(b), 10);
            EXPECT_LT(dBodyGetPosition(b->front_wheel)[2], statue_z - 10);
        }
        drop(b);
    }
}

// Meeting scenery faster than 20 feet per second (relative to a moving
// object) throws the rider off, unless he is already off or was just hit.
TEST_F(Collisions, ScenerySpeedThrowsTheRiderOff) {
    shapes({"", "", "", "", "", "", sphere(1)});
    struct Case {
        double speed;
        int32_t crash_timer;
        double collision_timer;
        double object_vz;  // velocity of a moving object's body; 0 = static
        bool thrown;
    };
    const Case cases[] = {{21, 0, 0, 0, true},   {19, 0, 0, 0, false},  {21, 100, 0, 0, false},
                          {21, 0, -10, 0, false}, {21, 0, 5, 0, true},  {21, 0, 0, -21, false},
                          {19, 0, 0, 19, true}};  // riding along with it; meeting it
    gr::CollisionShape* post = gr::collision_shape_copy(
        [&] { grtest::write_file(dirs_.program + "post.shp", sphere(1)); return gr::collision_shape_load("@post.shp"); }());
    ASSERT_NE(post, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << " " << c.crash_timer << " " << c.collision_timer << " "
                                        << c.object_vz);
        gr::Bike* b = bike_at(X, Z, 0, 5);
        b->crash_timer = c.crash_timer;
        b->collision_timer = c.collision_timer;
        int crashes = b->crash_count;
        dBodySetLinearVel(b->rider, 0, 0, -c.speed);
        const dReal* r = dBodyGetPosition(b->rider);
        dReal pos[3] = {r[0], r[1], r[2] - 1.5};
        dBodyID object = nullptr;
        if (c.object_vz != 0) {
            object = dBodyCreate(gr::physics.world);
            dBodySetPosition(object, pos[0], pos[1], pos[2]);
            dBodySetLinearVel(object, 0, 0, c.object_vz);
        }
        int bits = gr::collide_bike_with_statue(b, post, object, pos, IDENTITY);
        EXPECT_EQ(bits, gr::PART_RIDER);
        EXPECT_EQ(gr::bike_crashed(b), c.thrown || c.crash_timer > 0);
        EXPECT_EQ(b->crash_count, crashes + (c.thrown ? 1 : 0));
        if (c.thrown) {
            EXPECT_EQ(dJointGetBody(b->rider_mount, 0), nullptr);
        }
        dJointGroupEmpty(gr::physics.contacts);
        if (object) dBodyDestroy(object);
    }
    gr::collision_shape_free(post);
}

// The bounding test keeps far shapes out; inside it, only overlapping sphere
// pairs make contacts, one joint each.
TEST_F(Collisions, OnlyOverlappingSpherePairsMakeContacts) {
    grtest::write_file(dirs_.program + "fence.shp",
                       "5\n-8 0 0 1.5 1 25000 2500\n-4 0 0 1.5 1 25000 2500\n0 0 0 1.5 1 25000 2500\n"
                       "4 0 0 1.5 1 25000 2500\n8 0 0 1.5 1 25000 2500\n");
    grtest::write_file(dirs_.program + "ball.shp", sphere(1));
    gr::CollisionShape* fence = gr::collision_shape_copy(gr::collision_shape_load("@fence.shp"));
    gr::CollisionShape* ball = gr::collision_shape_copy(gr::collision_shape_load("@ball.shp"));
    ASSERT_NE(fence, nullptr);
    ASSERT_NE(ball, nullptr);
    ASSERT_DOUBLE_EQ(fence->bounding_radius, 9.5);
    dBodyID body = dBodyCreate(gr::physics.world);
    const dReal fence_pos[3] = {50, 3, 50};
    struct Case {
        double x, z;  // ball relative to the fence
        int joints;
    };
    // 7 feet beyond the fence's bounding sphere; among two spheres; on one;
    // just out of reach of the middle one.
    const Case cases[] = {{0, 9.5 + 1 + 7, 0}, {2, 0, 2}, {4, 2, 1}, {0, 2.5, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " " << c.z);
        const dReal p[3] = {fence_pos[0] + c.x, fence_pos[1], fence_pos[2] + c.z};
        dBodySetPosition(body, p[0], p[1], p[2]);
        int before = joints(body);
        bool touched = gr::shape_shape_contact(ball, body, p, IDENTITY, fence, nullptr, fence_pos, IDENTITY,
                                               gr::CONTACT_JOINT);
        EXPECT_EQ(touched, c.joints > 0);
        EXPECT_EQ(joints(body) - before, c.joints);
        // Touch tests report without making anything.
        EXPECT_EQ(gr::shape_shape_contact(ball, body, p, IDENTITY, fence, nullptr, fence_pos, IDENTITY,
                                          gr::CONTACT_TOUCH),
                  c.joints > 0);
        EXPECT_EQ(joints(body) - before, c.joints);
        dJointGroupEmpty(gr::physics.contacts);
    }
    // The joint pushes the ball out of the fence: after a step it moves away.
    const dReal p[3] = {fence_pos[0] + 4, fence_pos[1], fence_pos[2] + 2};
    dBodySetPosition(body, p[0], p[1], p[2]);
    dBodySetGravityMode(body, 0);
    gr::shape_shape_contact(ball, body, p, IDENTITY, fence, nullptr, fence_pos, IDENTITY, gr::CONTACT_JOINT);
    gr::physics_world_step();
    EXPECT_GT(dBodyGetLinearVel(body)[2], 0);
    EXPECT_NEAR(dBodyGetLinearVel(body)[0], 0, 1e-9);
    dBodyDestroy(body);
    gr::collision_shape_free(fence);
    gr::collision_shape_free(ball);
}

// Scenery through the bins: a statue that lies in several cells is met once;
// a facing statue is solid as if unturned; a statue without a shape is never
// tested; the touched tick stays until the next touch.
TEST_F(Collisions, SceneryThroughTheBins) {
    shapes({sphere(1), "", "", "", "", "", ""});
    // Cell borders of the 256-foot field lie at 32 + 24 k: 128 is one.
    gr::Bike* b = bike_at(128, 128, 0, 3);
    const dReal* f = dBodyGetPosition(b->frame);
    int multi = add_statue(sphere(1), f[0], f[1] + 1.6, f[2]);
    float turned[9];
    gr::statue_orientation(0, 0, float(-2.5 * M_PI), turned);  // a quarter turn
    int facing = add_statue(sphere(1, 4, 0, 0), f[0] - 4, f[1] - 1.6, f[2], 16, turned);
    int turned_only = add_statue(sphere(1, 4, 0, 0), f[0] - 4, f[1] - 1.6, f[2], 0, turned);
    int shapeless = add_statue("", f[0], f[1], f[2]);
    gr::statue_bins_build();
    int bins_with_multi = 0;
    for (auto& row : gr::scenery.bins)
        for (auto& bin : row) bins_with_multi += int(std::count(bin.begin(), bin.end(), multi));
    ASSERT_EQ(bins_with_multi, 4);
    // Stale bins must not send a shapeless statue into the test.
    gr::scenery.bins[4][4].push_back(shapeless);

    int before = joints(b->frame);
    gr::collide_bike_with_scenery(b);
    EXPECT_EQ(joints(b->frame) - before, 2);  // the statue above once, the facing one
    EXPECT_EQ(gr::scenery.statues[size_t(multi)].touched_tick, 100);
    EXPECT_EQ(gr::scenery.statues[size_t(facing)].touched_tick, 100);
    EXPECT_EQ(gr::scenery.statues[size_t(turned_only)].touched_tick, 0);
    EXPECT_EQ(gr::scenery.statues[size_t(shapeless)].touched_tick, 0);
    dJointGroupEmpty(gr::physics.contacts);

    // Away from them all, the ticks stay.
    gr::race_timing.tick = 150;
    gr::move_bike(b, 20, 0, 0);
    gr::collide_bike_with_scenery(b);
    EXPECT_EQ(joints(b->frame), before);
    EXPECT_EQ(gr::scenery.statues[size_t(multi)].touched_tick, 100);
}

// A tyre off the ground takes an obstacle as its contact, with the normal
// out of the obstacle; on the ground it keeps the ground contact.
TEST_F(Collisions, TyreTakesTheObstacleAsItsContactOffTheGround) {
    shapes({});
    gr::Bike* b = bike_at(X, Z, 0, 10);
    grtest::write_file(dirs_.program + "rock.shp", sphere(0.5));
    gr::CollisionShape* rock = gr::collision_shape_copy(gr::collision_shape_load("@rock.shp"));
    ASSERT_NE(rock, nullptr);
    gr::WheelContact& wc = b->front_contact;
    const dReal* C = dBodyGetPosition(b->front_wheel);
    const dReal pos[3] = {C[0], C[1] - 1.6, C[2]};  // under the tyre, 1/15 foot into it
    const double ring = wc.ring_radius, tube = wc.tube_radius;

    wc.depth = 0;
    ASSERT_TRUE(gr::wheel_shape_contact(rock, nullptr, pos, IDENTITY, &wc, gr::CONTACT_TOUCH));
    EXPECT_NEAR(wc.depth, tube + 0.5 - (1.6 - ring), 1e-9);
    EXPECT_NEAR(wc.normal[1], 1, 1e-9);
    EXPECT_NEAR(wc.point[1], C[1] - ring - (tube - wc.depth / 2), 1e-9);

    wc.depth = 0.2;
    const double marker[3] = {0, 0, 1};
    for (int i = 0; i < 3; i++) wc.normal[i] = marker[i];
    ASSERT_TRUE(gr::wheel_shape_contact(rock, nullptr, pos, IDENTITY, &wc, gr::CONTACT_TOUCH));
    EXPECT_EQ(wc.depth, 0.2);
    EXPECT_EQ(wc.normal[2], 1);

    // A stone on the axle line (through the hub) meets the tyre at its top.
    grtest::write_file(dirs_.program + "stone.shp", sphere(0.7));
    gr::CollisionShape* stone = gr::collision_shape_copy(gr::collision_shape_load("@stone.shp"));
    ASSERT_NE(stone, nullptr);
    wc.depth = 0;
    const dReal hub[3] = {C[0] + 0.1, C[1], C[2]};
    ASSERT_TRUE(gr::wheel_shape_contact(stone, nullptr, hub, IDENTITY, &wc, gr::CONTACT_TOUCH));
    gr::collision_shape_free(stone);
    EXPECT_TRUE(std::isfinite(wc.normal[0]) && std::isfinite(wc.normal[1]) && std::isfinite(wc.normal[2]));
    EXPECT_GT(wc.point[1], C[1]);
    // Out of reach of the tyre: nothing.
    const dReal far[3] = {C[0], C[1] - 2.5, C[2]};
    EXPECT_FALSE(gr::wheel_shape_contact(rock, nullptr, far, IDENTITY, &wc, gr::CONTACT_TOUCH));
    gr::collision_shape_free(rock);
}

// Who ran into whom, from the parts that touched and the frames' speeds.
TEST_F(Collisions, CollisionTimersMarkWhoHitWhom) {
    shapes({sphere(1), "", "", "", sphere(1.1), "", ""});
    struct Case {
        const char* what;
        bool head_on;           // else A's front wheel into B's side
        double va, vb;
        int32_t b_crash_timer;
        double a_timer, b_timer;  // before
        double a_after, b_after;
    };
    const Case cases[] = {
        {"head on, 12 and 8", true, 12, 8, 0, 0, 0, 192, 0},
        {"head on, both fast", true, 15, 10, 0, 0, 0, 192, 192},
        {"head on keeps a larger mark", true, 15, 15, 0, 300, -50, 300, 192},
        {"into the side at 15 of a bike at 6", false, 15, 6, 0, 0, 0, 256, -640},
        {"into the side of a bike standing still", false, 15, 0, 0, 0, 0, 0, 0},
        {"into a crashed bike", false, 15, 6, 100, 0, 0, 0, 0},
        {"slow hitter", false, 8, 6, 0, 0, 0, 0, -640},
        {"the hit bike had just hit someone", false, 15, 6, 0, 0, 50, 256, 50},
        {"the hit bike keeps a deeper mark", false, 15, 6, 0, 0, -700, 256, -700},
    };
    for (bool reversed : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << (reversed ? ", reversed" : ""));
            gr::Bike* a = bike_at(X, Z);
            const dReal* fa = dBodyGetPosition(a->front_wheel);
            gr::Bike* b;
            if (c.head_on) {
                b = bike_at(X, Z, M_PI);
                const double p[3] = {fa[0], fa[1], fa[2] - 2.2};
                move_body_to(b, b->front_wheel, p);
            } else {
                b = bike_at(X, Z, M_PI / 2);
                const double p[3] = {fa[0], dBodyGetPosition(b->frame)[1], fa[2] - 1.8};
                move_body_to(b, b->frame, p);
            }
            set_speed(a, c.va);
            set_speed(b, c.vb);
            b->crash_timer = c.b_crash_timer;
            a->collision_timer = c.a_timer;
            b->collision_timer = c.b_timer;
            a->robot.line_ids[2] = 7;
            int r = reversed ? gr::collide_bikes(b, a, false) : gr::collide_bikes(a, b, false);
            int expect_r = c.head_on || reversed ? gr::PART_FRONT_WHEEL : gr::PART_FRAME;
            EXPECT_EQ(r, expect_r);
            EXPECT_EQ(a->collision_timer, c.a_after);
            EXPECT_EQ(b->collision_timer, c.b_after);
            EXPECT_EQ(a->last_bike_contact_tick, 100);
            EXPECT_EQ(b->last_bike_contact_tick, 100);
            EXPECT_EQ(a->robot.line_ids[2], -1);
            dJointGroupEmpty(gr::physics.contacts);
            a->last_bike_contact_tick = b->last_bike_contact_tick = -1;
        }
}

// Bikes that do not touch change nothing.
TEST_F(Collisions, BikesApartDoNotTouch) {
    shapes({sphere(1), sphere(0.5), sphere(0.5), sphere(0.5), sphere(1.1), sphere(1.05), sphere(1)});
    gr::Bike* a = bike_at(X, Z);
    gr::Bike* b = bike_at(X + 3, Z);
    set_speed(a, 20);
    a->robot.line_ids[0] = 3;
    EXPECT_EQ(gr::collide_bikes(a, b, false), 0);
    EXPECT_EQ(a->last_bike_contact_tick, -1);
    EXPECT_EQ(a->robot.line_ids[0], 3);
    EXPECT_EQ(a->collision_timer, 0);
}

// A bike that already met a bike in this tick gets penalty forces from the
// next one instead of joints, each bounded to 1000 pounds-force, pushing the
// two apart, and never on a disabled body.
TEST_F(Collisions, ThirdBikeGetsBoundedPenaltyForces) {
    shapes({sphere(1), "", "", "", "", "", ""});
    for (bool disabled : {false, true}) {
        SCOPED_TRACE(disabled);
        gr::Bike* a = bike_at(X - 1.5, Z);
        gr::Bike* b = bike_at(X, Z);
        gr::Bike* c = bike_at(X + 1.5, Z);
        int joints_b = joints(b->frame), joints_c = joints(c->frame);
        ASSERT_EQ(gr::collide_bikes(a, b, false), gr::PART_FRAME);
        EXPECT_EQ(joints(b->frame), joints_b + 1);  // a joint for the first meeting
        if (disabled) dBodyDisable(b->frame);
        ASSERT_EQ(gr::collide_bikes(c, b, false), gr::PART_FRAME);
        EXPECT_EQ(joints(b->frame), joints_b + 1);
        EXPECT_EQ(joints(c->frame), joints_c);
        const dReal* fc = dBodyGetForce(c->frame);
        const dReal* fb = dBodyGetForce(b->frame);
        EXPECT_NEAR(fc[0], 1000, 1e-6);  // 0.5 feet deep at 25000: bounded
        EXPECT_NEAR(fc[1], 0, 1e-6);
        EXPECT_NEAR(fc[2], 0, 1e-6);
        EXPECT_NEAR(fb[0], disabled ? 0 : -1000, 1e-6);
        EXPECT_EQ(c->last_bike_contact_tick, 100);
        dJointGroupEmpty(gr::physics.contacts);
    }
    // A shallow overlap with the bikes closing: spring plus damper.
    gr::Bike* p = bike_at(X + 20, Z);
    gr::Bike* q = bike_at(X + 21.99, Z);
    p->last_bike_contact_tick = 100;
    dBodySetLinearVel(p->frame, 0.1, 0, 0);
    ASSERT_EQ(gr::collide_bikes(q, p, false), gr::PART_FRAME);
    // q's sphere is the second one: closing speed 0.1 along the normal.
    EXPECT_NEAR(dBodyGetForce(q->frame)[0], 0.01 * 25000 + 0.1 * 2500, 1e-6);
    dJointGroupEmpty(gr::physics.contacts);
}

// From a remote bike's side, the other bike's front wheel and forks only
// report touches against its rear wheel, frame, swingarm and rider.
TEST_F(Collisions, RemoteFlagMakesTheFrontTouchOnly) {
    shapes({sphere(1), "", "", "", "", "", ""});
    for (bool remote : {false, true}) {
        SCOPED_TRACE(remote);
        gr::Bike* a = bike_at(X, Z, 0, 5);
        gr::Bike* b = bike_at(X, Z);
        const dReal* w = dBodyGetPosition(b->front_wheel);
        const double p[3] = {w[0], w[1] + 1.5, w[2]};
        move_body_to(a, a->frame, p);
        int before = joints(b->front_wheel);
        int r = gr::collide_bikes(a, b, remote);
        EXPECT_TRUE(r & gr::PART_FRONT_WHEEL);
        EXPECT_EQ(joints(b->front_wheel) - before, remote ? 0 : 1);
        dJointGroupEmpty(gr::physics.contacts);
    }
}

// Two spheres on the same centre still get a usable normal.
TEST_F(Collisions, CoincidentSpheresGetAFiniteNormal) {
    gr::ShapeSphere s1 = {{0, 0, 0}, 1, 1, 25000, 2500, {5, 5, 5}};
    gr::ShapeSphere s2 = s1;
    dBodyID body = dBodyCreate(gr::physics.world);
    gr::SphereContact sc;
    ASSERT_TRUE(gr::sphere_sphere_contact(s1, body, s2, nullptr, gr::CONTACT_TOUCH, &sc));
    EXPECT_EQ(sc.depth, 2);
    EXPECT_NEAR(sc.normal[0] * sc.normal[0] + sc.normal[1] * sc.normal[1] + sc.normal[2] * sc.normal[2], 1, 1e-12);
    EXPECT_TRUE(std::isfinite(sc.point[0]) && std::isfinite(sc.point[1]) && std::isfinite(sc.point[2]));
    // Without bodies only the touch is reported.
    EXPECT_TRUE(gr::sphere_sphere_contact(s1, nullptr, s2, nullptr, gr::CONTACT_JOINT, nullptr));
    s2.world[0] = 7;  // exactly touching: no contact
    EXPECT_FALSE(gr::sphere_sphere_contact(s1, body, s2, nullptr, gr::CONTACT_JOINT, nullptr));
    dBodyDestroy(body);
}

}  // namespace
