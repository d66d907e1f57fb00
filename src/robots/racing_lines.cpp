// The race's calls into the racing-line store. Recording, learning and the
// line files come with the robot riders; nothing is stored yet, so these
// keep no lines and write no files.
#include "robots/robots.h"

namespace gr {

void lines_load(const char*, int) {}
void lines_save() {}
void lines_clear() {}
void lines_record_tick(Bike*) {}
void lines_reset_picks() {}

}  // namespace gr
