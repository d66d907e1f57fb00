// The program's random generator: the published MT19937.
#include "data/data.h"

namespace gr {

std::mt19937 random_generator;  // seeded by race set-up

void random_seed(uint32_t seed) { random_generator.seed(seed); }

uint32_t random_next() { return uint32_t(random_generator()); }

double random_unit() { return random_next() * (1.0 / 4294967296.0); }

}  // namespace gr
