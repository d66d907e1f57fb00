// The values the race reads from the race-server client.
#include "net/net.h"

namespace gr {

NetRace net_race;

void net_race_reset_offline() {
    bool online = net_race.online;
    net_race = NetRace{};
    net_race.online = online;
}

}  // namespace gr
