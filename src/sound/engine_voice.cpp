// Engine voices. The synthesiser and mixer are not written yet, so a bike
// has no voice and nothing is heard.
#include "sound/sound.h"

namespace gr {

void engine_sound_init(Bike*) {}
void engine_sound_free(Bike*) {}

}  // namespace gr
