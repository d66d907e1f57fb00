// The one physics world and its contact group.
#include "bike/bike.h"

namespace gr {

PhysicsWorld physics;

void physics_world_create() {
    if (physics.world) return;
    physics.world = dWorldCreate();
    dWorldSetGravity(physics.world, 0, -GRAVITY, 0);
    physics.contacts = dJointGroupCreate(0);
}

void physics_world_destroy() {
    if (physics.contacts) dJointGroupDestroy(physics.contacts);
    if (physics.world) dWorldDestroy(physics.world);
    physics.contacts = nullptr;
    physics.world = nullptr;
}

void physics_world_step() {
    dWorldQuickStep(physics.world, TICK);
    dJointGroupEmpty(physics.contacts);
}

}  // namespace gr
