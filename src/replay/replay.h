// Replays: the per-slot state history and demo files. These are the race's
// calls into them; recording and playback come with the replay code.
#pragma once

namespace gr {

enum { HISTORY_SLOTS = 160 };

// Every slot's history back to 128 empty entries.
void history_reset_all();
// Moves a replayed bike to its recorded state at `tick`.
void history_sample(int slot, int tick);

// Demo playback and recording.
bool demo_play_open(const char* name);
void demo_play_close();
void demo_play_tick();
void demo_record_start();
void demo_record_stop();
void demo_record_tick(bool force);
// The demo being played has riders left to place, in order.
bool demo_next_rider(char* model, int model_size, char* number, int number_size);

}  // namespace gr
