// The robot's per-tick control. The line-following controller comes with
// the racing lines; until then the installed driver rides robot bikes.
#include "robots/robots.h"

namespace gr {

RobotState robot_states[160];
void (*robot_driver)(Bike* bike) = nullptr;

void robot_set_personality(int slot, const char* name) {
    if (slot < 0 || slot >= 160) return;
    robot_states[slot] = RobotState{};
    robot_states[slot].personality = personality_index(name);
}

void robot_control_tick(Bike* bike) {
    if (robot_driver) robot_driver(bike);
}

}  // namespace gr
