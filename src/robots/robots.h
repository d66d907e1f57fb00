// Robot riders: the fixed roster and personality tables, and the robot's
// per-tick control (with the racing lines it rides).
#pragma once

#include <cstdint>

namespace gr {

struct Bike;

enum { ROSTER_SIZE = 80, PERSONALITY_COUNT = 5 };

// A robot's character. Index 0 marks a bike that is not a robot.
struct Personality {
    const char* name;
    int level_near;          // line level while not far ahead: 0 novice .. 3 exploration
    int level_far;           // once leading by more than the threshold
    float lead_threshold;    // seconds
    float start_delay_min;   // seconds
    float start_delay_max;
};
extern const Personality personalities[PERSONALITY_COUNT];
// The index of a personality; an unknown name logs and gives the first real one.
int personality_index(const char* name);

// One entry of the robot roster; race numbers "20" to "99" in order.
struct RosterEntry {
    const char* number;
    const char* personality;
    const char* model;
    const char* rider_body_texture;  // null: the model's own
    const char* rider_head_texture;
    const char* bike_texture;
    const char* wheel_texture;
};
extern const RosterEntry roster[ROSTER_SIZE];

// Per robot bike, kept beside the bike by the race; reset when the bike is built.
struct RobotState {
    int personality = 0;
    float start_delay = 0;  // seconds
};

// Sets the personality of a robot bike at creation.
void robot_set_personality(int slot, const char* name);
// The robot's controls for this tick. Until the robot riders' line
// following exists, the installed driver (the race runner's pilot) rides.
void robot_control_tick(Bike* bike);
extern void (*robot_driver)(Bike* bike);
extern RobotState robot_states[160];

// Racing lines: loaded and saved per robot skill with the track, recorded
// from human laps. These are the race's calls into the line store.
void lines_load(const char* track_path, int skill);
void lines_save();
void lines_clear();
void lines_record_tick(Bike* bike);
void lines_reset_picks();

}  // namespace gr
