// The race session: the 160 rider slots with their bikes, the race clock,
// the set-up (grid, roster, placement on the starting gate), the fixed order
// of one simulation tick, the starting-gate pieces, time trials, telemetry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "track/track.h"

namespace gr {

struct Bike;

enum BikeMode { BIKE_LOCAL = 0, BIKE_REPLAYED = 1, BIKE_ROBOT = 2 };

// Grid codes, one per slot.
enum {
    GRID_EMPTY = 0,
    GRID_HUMAN = 1,
    GRID_ROBOT = 2,
    GRID_ROBOT_125 = 3,
    GRID_ROBOT_250 = 4,
    GRID_REMOTE = 5,
    GRID_NUMBER = 1000,  // + race number: that roster entry
};

enum { RACE_SLOTS = 160, TELEMETRY_RING = 1024, SETTLE_TICKS = 640, TIME_TRIAL_TICK = 38400 };

// One rider slot: empty (no bike, mode BIKE_REPLAYED) or a bike with its mode.
struct RiderSlot {
    Bike* bike = nullptr;
    int mode = BIKE_REPLAYED;
    RiderTiming timing;   // gates passed and their times
    std::string name;     // rider name ("Roborider" for robots)
    std::string textures[4];  // riding gear, helmet, bike graphics, wheel graphics ("" the model's own)
};

// A starting-gate piece: its statue, fall angle (1 up, 0 down) and speed.
struct GatePiece {
    int statue = -1;
    float fall = 1;
    float speed = 0;
    float base[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // orientation as placed
};

// The race; one per process. Set up by race_reset, freed by race_free.
struct RaceState {
    int32_t tick = 0;
    int32_t start_tick = 0;
    int32_t settle_ticks = SETTLE_TICKS;
    int32_t time_limit = 0;  // ticks; 0 none
    int32_t laps = 0;
    bool time_trial = false;
    RiderSlot slots[RACE_SLOTS];
    int viewed_slot = 0;
    float start_position[3] = {0, 0, 0};
    int32_t false_start_penalty = 0;
    int roster_order[80] = {};
    std::vector<GatePiece> gate_pieces;
    int lines_skill = -1;          // the skill whose racing lines are loaded
    bool series_event = false;     // the race is the running series' next event
    double last_lap_time = 0, best_lap_time = 0;  // time trial, seconds
    int time_trial_laps[2] = {0, 0};  // player and ghost at the start of the tick
    std::string demo_name;         // the demo to play when asked to
    bool force_track_reload = false;

    bool telemetry_on = false;
    int telemetry_index = TELEMETRY_RING;
    float telemetry[6][TELEMETRY_RING] = {};
};
extern RaceState race;

// Sets up a race. `grid` holds 160 codes, or is null for a time trial.
// Returns 0 when the track could not be loaded (no bikes then).
int race_reset(const int* grid, bool play_demo, bool record_demo, int32_t time_limit, int32_t laps, int skill);
// One simulation tick.
void race_tick();
// A new time-trial attempt: the player rolls in two gates before the end of the first lap.
void time_trial_restart();
// Releases the race, its bikes, the track and the physics world.
void race_free();

// The physics step of a tick: physics_world_step, unless a tool wraps it
// (the race benchmark times it).
extern void (*race_physics_step)();

// Puts a bike on placement index P of the starting gate (or the field's
// middle without gates), lifted until it no longer touches the ground.
void place_bike(Bike* bike, int placement);
// Stands a bike at (x, z) facing `heading` (radians; 0 faces -z), just clear of the ground.
void set_down_bike(Bike* bike, double x, double z, double heading);

}  // namespace gr
