// Roost particles. The particle system comes with the drawing of the world;
// until then the wheels throw nothing.
#include "terrain/terrain.h"

namespace gr {

void roost_reset() {}
void roost_emit(Bike*, bool) {}
void roost_move() {}

}  // namespace gr
