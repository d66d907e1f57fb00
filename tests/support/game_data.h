// Test helpers for suites that race on the generated game data of the build
// directory (the tests' working directory), with a private home directory.
#pragma once

#include "support/test_dirs.h"

namespace grtest {

// Points the data layer at the build's game data, resets the settings,
// builds the track list and makes `track` the current one; creates the
// physics world (ODE must be initialised). The private home is returned.
TestDirs* use_game_data(const char* track);

// Frees the race, every cache the data filled and the lists, then removes
// the private home.
void release_game_data(TestDirs* dirs);

}  // namespace grtest
