// Sound: each bike's synthesised engine voice and the mixer.
#pragma once

namespace gr {

struct Bike;

// A bike's engine voice, made when the bike is built and destroyed with it.
void engine_sound_init(Bike* bike);
void engine_sound_free(Bike* bike);

}  // namespace gr
