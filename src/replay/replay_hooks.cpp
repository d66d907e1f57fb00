// The race's calls into the replay code. There is no state history or demo
// file support yet: no bike is replayed, nothing is recorded, and opening a
// demo fails.
#include "replay/replay.h"

namespace gr {

void history_reset_all() {}
void history_sample(int, int) {}
bool demo_play_open(const char*) { return false; }
void demo_play_close() {}
void demo_play_tick() {}
void demo_record_start() {}
void demo_record_stop() {}
void demo_record_tick(bool) {}
bool demo_next_rider(char*, int, char*, int) { return false; }

}  // namespace gr
