// The pilot: a simple rider that follows the timing gates, used by the race
// runner until the robot riders ride their racing lines.
#pragma once

namespace gr {

struct Bike;

// Writes this tick's controls for a bike, as a player would.
void pilot_drive(Bike* bike);
// Forgets what the pilot remembered about every slot (a new race).
void pilot_reset();
// The speed the pilot last aimed for in a slot (for tracing a ride).
double pilot_wanted_speed(int slot);

}  // namespace gr
