// The race-server client. The race reads these values; offline they keep
// their defaults, and the client fills them once it connects.
#pragma once

#include <cstdint>
#include <string>

namespace gr {

enum { NET_NO_SLOT = 160, NET_RIDER_ME = 1, NET_RIDER_REMOTE = 5 };

// Owned by the network client; offline defaults until it connects.
struct NetRace {
    bool online = false;           // a race-server socket is open
    int my_slot = NET_NO_SLOT;     // 160: none
    int race_marker = NET_NO_SLOT; // the local rider's grid position; 160: warm-up
    int last_rider_slot = NET_NO_SLOT;
    int rider_table[160] = {};     // per slot: 1 me, 5 a rider the server describes
    int32_t newest_state_tick[160] = {};
    int32_t start_tick = 0;        // the drop the server announced
    std::string track;             // the track the server chose
    float off_course_bias = 10;    // G, seconds
    float off_course_scale = 1.5f; // K
};
extern NetRace net_race;

// Offline: clears the rider tables, the last rider slot and race marker
// become 160, the other counters 0.
void net_race_reset_offline();

}  // namespace gr
