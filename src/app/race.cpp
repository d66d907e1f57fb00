// The race session: set-up, the simulation tick in its fixed order, the
// starting-gate pieces, time-trial restarts, telemetry and release.
#include "app/race.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "app/app.h"
#include "bike/bike.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "net/net.h"
#include "replay/replay.h"
#include "robots/robots.h"
#include "sound/sound.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

RaceState race;
void (*race_physics_step)() = physics_world_step;

namespace {

const char* const skill_lines[3] = {"lines_novice", "lines_amateur", "lines_expert"};

const char* or_null(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// The file a texture choice stands for ("" for the model's own).
std::string choice_file(const Setting& s) {
    if (s.index >= 0 && size_t(s.index) < s.choice_files.size()) return s.choice_files[size_t(s.index)];
    return "";
}

void free_slot(int i) {
    RiderSlot& s = race.slots[i];
    if (s.bike) {
        engine_sound_free(s.bike);
        free_bike(s.bike);
    }
    s = RiderSlot{};
}

void free_all_bikes() {
    log_printf("Deallocating bikes\n");
    for (int i = 0; i < RACE_SLOTS; i++) free_slot(i);
    timing_reset();
    log_printf("Finished deallocating bikes\n");
}

bool online_warmup() { return net_race.online && net_race.race_marker == NET_NO_SLOT; }

// The effective start tick of the gate animation.
int32_t gate_start_tick() { return race.start_tick + (online_warmup() ? 127 : 0); }

double frame_speed(const Bike* b) {
    const dReal* v = dBodyGetLinearVel(b->frame);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The roster entry at cursor c, after moving the first later entry that
// matches into place (searching from the end of the order).
int take_roster(int c, bool (*match)(const RosterEntry&, int), int arg) {
    if (c >= 80) c = 79;
    for (int j = 79; j > c; j--) {
        if (match(roster[race.roster_order[j]], arg)) {
            std::swap(race.roster_order[j], race.roster_order[c]);
            break;
        }
    }
    return race.roster_order[c];
}

bool model_has(const RosterEntry& e, int what) { return strstr(e.model, what == 125 ? "125" : "250") != nullptr; }
bool number_is(const RosterEntry& e, int n) { return atoi(e.number) == n; }

// Puts the pieces of the race being replaced back as placed, before the
// track may be reloaded; otherwise the next race would take a raised piece
// for its placed pose.
void lay_gate_pieces_down() {
    for (const GatePiece& p : race.gate_pieces)
        if (p.statue >= 0 && size_t(p.statue) < scenery.statues.size())
            memcpy(scenery.statues[size_t(p.statue)].orientation, p.base, sizeof p.base);
    race.gate_pieces.clear();
}

void setup_gate_pieces() {
    race.gate_pieces.clear();
    for (const StartSlot& s : track_gates.start_slots) {
        GatePiece p;
        p.statue = s.statue;
        if (s.statue >= 0 && size_t(s.statue) < scenery.statues.size())
            memcpy(p.base, scenery.statues[size_t(s.statue)].orientation, sizeof p.base);
        race.gate_pieces.push_back(p);
    }
}

void gate_piece_contacts(Bike* bike) {
    if (race.start_tick / 128 + 10 < race.tick / 128) return;
    for (GatePiece& p : race.gate_pieces) {
        if (p.statue < 0 || size_t(p.statue) >= scenery.statues.size()) continue;
        Statue& s = scenery.statues[size_t(p.statue)];
        if (!s.shape) continue;
        dVector3 pos;
        dMatrix3 rot;
        statue_collision_pose(s, pos, rot);
        if (collide_bike_with_statue(bike, s.shape, nullptr, pos, rot)) s.touched_tick = race.tick;
    }
}

void animate_gate_pieces() {
    const int32_t s1 = gate_start_tick();
    if (s1 / 128 + 10 < race.tick / 128) return;
    for (GatePiece& p : race.gate_pieces) {
        if (race.tick < s1) {
            p.fall = 1;
            p.speed = 0;
        }
        if (p.fall <= 0) continue;
        if (p.statue < 0 || size_t(p.statue) >= scenery.statues.size()) continue;
        Statue& st = scenery.statues[size_t(p.statue)];
        if (race.tick > s1) {
            if (st.touched_tick == race.tick) {
                p.speed = 0;  // a bike leans on it: it stays where it is
                continue;
            }
            float v = p.speed + 32.0f / 128.0f;
            p.fall = std::max(p.fall - v / 128.0f, 0.0f);
            p.speed = std::min(v, 8.0f);
        }
        // Base orientation times the rotation about the piece's x axis.
        float phi = p.fall * 0.5890486225480862f;
        float c = std::cos(phi), sn = std::sin(phi);
        const float r[9] = {1, 0, 0, 0, c, sn, 0, -sn, c};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) {
                float sum = 0;
                for (int k = 0; k < 3; k++) sum += p.base[i * 3 + k] * r[k * 3 + j];
                st.orientation[i * 3 + j] = sum;
            }
    }
}

void capture_telemetry() {
    if (!race.telemetry_on) return;
    if (race.telemetry_index == TELEMETRY_RING) {
        memset(race.telemetry, 0, sizeof race.telemetry);
        race.telemetry_index = 0;
    }
    const Bike* b = race.slots[race.viewed_slot].bike;
    if (!b) return;
    float v[6];
    suspension_telemetry(b, v);
    for (int k = 0; k < 6; k++) race.telemetry[k][race.telemetry_index] = v[k];
    race.telemetry_index = (race.telemetry_index + 1) % TELEMETRY_RING;
}

void false_start_rule(Bike* b) {
    if (race.false_start_penalty > 0) {
        race.false_start_penalty--;
        set_front_brake(b, 1);
        set_rear_brake(b, 1);
        set_back_up(b, 0);
        set_clutch_engagement(b, 0);
        set_throttle(b, 0);
        set_sit_dab(b, 1);
        return;
    }
    if (race.tick > race.start_tick) return;
    set_sit_dab(b, 1);
    const dReal* p = dBodyGetPosition(b->frame);
    double dx = p[0] - race.start_position[0], dy = p[1] - race.start_position[1], dz = p[2] - race.start_position[2];
    if (dx * dx + dy * dy + dz * dz >= 9) {
        race.false_start_penalty = race.start_tick + 1920 - race.tick;
        msg_print("15 second false start penalty");
    }
}

// The collision filter of a remote bike while online.
bool remote_passes(int slot) {
    if (net_race.my_slot >= RACE_SLOTS || !race.slots[net_race.my_slot].bike) return true;
    if (slot != net_race.my_slot && (race.tick - net_race.newest_state_tick[slot]) / 128.0 >= 1.0) return false;
    return true;
}

void wake_remote(Bike* b) {
    if (b->presence == 0) {
        set_bike_presence(b, true);
    } else if (b->presence <= 0.25f) {
        b->presence = 0.25f;
    } else {
        return;
    }
    for (dBodyID body : {b->frame, b->front_wheel, b->rear_wheel, b->fork_upper, b->fork_lower, b->swingarm, b->rider}) {
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void contacts() {
    Bike* list[RACE_SLOTS];
    int n = 0;
    if (!net_race.online) {
        for (int i = 0; i < RACE_SLOTS; i++) {
            RiderSlot& s = race.slots[i];
            if (!s.bike) continue;
            if (s.mode == BIKE_REPLAYED) {
                gate_piece_contacts(s.bike);
                continue;
            }
            list[n++] = s.bike;
            collide_bike_with_ground(s.bike);
            collide_bike_with_scenery(s.bike);
        }
        std::stable_sort(list, list + n, [](const Bike* a, const Bike* b) { return frame_speed(a) > frame_speed(b); });
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) collide_bikes(list[i], list[j], false);
        return;
    }
    const bool warmup = online_warmup();
    for (int i = 0; i < RACE_SLOTS; i++) {
        RiderSlot& s = race.slots[i];
        if (!s.bike || s.mode != BIKE_REPLAYED || !remote_passes(i)) continue;
        list[n++] = s.bike;
        if (warmup) gate_piece_contacts(s.bike);
    }
    int me = net_race.my_slot;
    Bike* mine = me < RACE_SLOTS ? race.slots[me].bike : nullptr;
    if (!mine) return;
    collide_bike_with_ground(mine);
    collide_bike_with_scenery(mine);
    if (warmup) return;
    std::stable_sort(list, list + n, [](const Bike* a, const Bike* b) { return frame_speed(a) > frame_speed(b); });
    for (int i = 0; i < n; i++) {
        if (collide_bikes(mine, list[i], true)) wake_remote(list[i]);
        if (list[i]->presence > 0.25f) {
            collide_bike_with_ground(list[i]);
            collide_bike_with_scenery(list[i]);
        }
    }
}

int rider_laps(int slot) {
    int lap, in_lap;
    rider_lap(slot, &lap, &in_lap);
    return lap;
}

}  // namespace

// Stands a bike at (x, z) facing `heading`: from the height of the grid
// vertex there, lifted a quarter foot at a time until nothing touches the
// ground (400 steps is a hundred feet, far more than any ground needs).
void set_down_bike(Bike* bike, double x, double z, double heading) {
    double y = 0;
    if (terrain.heights) {
        int c = std::clamp(int(x / terrain.spacing), 0, terrain.dim - 1);
        int r = std::clamp(int(z / terrain.spacing), 0, terrain.dim - 1);
        y = terrain.heights[size_t(r) * size_t(terrain.dim) + size_t(c)];
    }
    static const double up[3] = {0, 1, 0};
    for (int tries = 0; tries < 400; tries++) {
        reset_bike_pose(bike);
        rotate_bike(bike, up, heading);
        move_bike(bike, x, y, z);
        if (!collide_bike_with_ground(bike)) break;
        y += 0.25;
    }
}

void place_bike(Bike* bike, int P) {
    const TrackGates& tg = track_gates;
    const int G = int(tg.start_slots.size());
    const float W = terrain.field_size;
    double x, z, a;
    if (G > 0) {
        const StartSlot& s = tg.start_slots[size_t(P % G)];
        int r = P / G;
        a = s.angle;
        x = s.position[0] + std::sin(a) * (r + 0.0625) * 10;
        z = s.position[2] + std::cos(a) * (r + 0.0625) * 10;
    } else {
        x = W / 2 + 5.0 * P;
        z = W / 2;
        a = 0;
    }
    set_down_bike(bike, x, z, a);
}

int race_reset(const int* grid_in, bool play_demo, bool record_demo, int32_t time_limit, int32_t laps, int skill) {
    // 1. A series event that is being replaced counts as raced.
    if (race.series_event && !race_timing.final_done) series_record_event();
    race.series_event = false;
    const char* resetting = "Resetting...";
    loading_begin(resetting);
    log_printf("Resetting\n");

    // 2. The roster order.
    random_seed(uint32_t(race.tick));
    for (int i = 0; i < 80; i++) race.roster_order[i] = i;
    for (int j = 79; j >= 1; j--) {
        uint32_t r = random_next();
        std::swap(race.roster_order[j], race.roster_order[(r >> 16) % uint32_t(j)]);
    }

    // 3. Lines of the last race, demos.
    const char* remembering = "Remembering lines";
    loading_begin(remembering);
    if (current_track.loaded) {
        lines_save();
        lines_clear();
        demo_play_close();
    }
    loading_end(remembering);
    demo_record_stop();

    // 4. The old bikes.
    const char* cleaning = "Cleaning up";
    loading_begin(cleaning);
    free_all_bikes();
    lay_gate_pieces_down();
    loading_end(cleaning);

    // 5. The clock.
    race.tick = 0;
    race.settle_ticks = SETTLE_TICKS;
    race.time_limit = time_limit;
    race.laps = laps;
    if (net_race.online) {
        race.start_tick = net_race.start_tick;
    } else {
        double u = double(random_next() & 0x7fffffffu) / 2147483648.0;
        race.start_tick = int32_t((13 + 2 * u) * 128);
    }
    race.time_trial = grid_in == nullptr;

    // 6. Offline: no remote riders, empty histories.
    if (!net_race.online) {
        net_race_reset_offline();
        history_reset_all();
    }

    // 7.-8. The demo, then the track.
    bool demo = play_demo && demo_play_open(race.demo_name.c_str());
    if (demo) {
        // The race is the recorded one.
        race.start_tick = demo_player.start_tick;
        race.time_limit = time_limit = demo_player.duration;
        race.laps = laps = demo_player.laps;
    }
    std::string track_name;
    if (demo) track_name = demo_player.track;
    else if (net_race.online) track_name = net_race.track;
    else if (app_lists.current_track >= 0 && size_t(app_lists.current_track) < app_lists.tracks.size())
        track_name = app_lists.tracks[size_t(app_lists.current_track)].dir;
    else track_name = current_track.name;
    bool force = race.force_track_reload;
    race.force_track_reload = false;
    if (track_name.empty() || !track_prepare(track_name.c_str(), net_race.online, force)) {
        loading_end(resetting);
        return 0;
    }
    terrain.deformation_disabled = net_race.online ? 1 : 0;

    // 9. The grid.
    int grid[RACE_SLOTS];
    if (race.time_trial) {
        race.last_lap_time = race.best_lap_time = 0;
        for (int& g : grid) g = GRID_EMPTY;
        grid[0] = GRID_HUMAN;
        race.tick = TIME_TRIAL_TICK;
    } else {
        memcpy(grid, grid_in, sizeof grid);
    }

    // 10. The slot to follow; only the first human stays human.
    int k = RACE_SLOTS;
    for (int i = 0; i < RACE_SLOTS && k == RACE_SLOTS; i++)
        if (grid[i] != GRID_EMPTY) k = i;
    if (demo) race.viewed_slot = k == RACE_SLOTS ? 0 : k;
    else if (k == RACE_SLOTS) grid[0] = GRID_ROBOT;
    else race.viewed_slot = k;
    bool human = false;
    for (int i = 0; i < RACE_SLOTS; i++) {
        if (grid[i] != GRID_HUMAN) continue;
        if (human) grid[i] = GRID_EMPTY;
        else race.viewed_slot = i;
        human = true;
    }

    // 11. Racing lines of the skill.
    if (skill < 0 || skill > 2) skill = 2;
    lines_load((std::string("@") + current_track.name + "/" + skill_lines[skill]).c_str(), skill);
    race.lines_skill = skill;

    // 12. The bikes.
    const char* loading_bikes = "Loading bikes";
    loading_begin(loading_bikes);
    int cursor = 0;
    for (int slot = 0; slot < RACE_SLOTS; slot++) {
        const int code = grid[slot];
        std::string model, number, body, head, graphics, wheels, name;
        int mode = BIKE_REPLAYED;
        int roster_index = -1;
        if (code == GRID_HUMAN) {
            model = setting_choice_name(settings.bike);
            number = settings.number.text;
            name = settings.name.text;
            body = choice_file(settings.rider_texture);
            head = choice_file(settings.head_texture);
            graphics = choice_file(settings.bike_texture);
            wheels = choice_file(settings.wheel_texture);
            mode = BIKE_LOCAL;
        } else if (code == GRID_EMPTY && demo) {
            DemoRider r;
            if (!demo_next_rider(slot, &r)) continue;
            model = r.model;
            number = r.number;
            name = r.name;
            body = r.riding_gear;
            head = r.helmet;
            graphics = r.bike_graphics;
            wheels = r.wheel_graphics;
            mode = BIKE_REPLAYED;
        } else if (code == GRID_ROBOT || code == GRID_ROBOT_125 || code == GRID_ROBOT_250 || code >= GRID_NUMBER) {
            int c = std::min(cursor, 79);
            if (code == GRID_ROBOT) roster_index = race.roster_order[c];
            else if (code >= GRID_NUMBER) roster_index = take_roster(c, number_is, code - GRID_NUMBER);
            else roster_index = take_roster(c, model_has, code == GRID_ROBOT_125 ? 125 : 250);
            const RosterEntry& e = roster[roster_index];
            model = e.model;
            number = e.number;
            body = e.rider_body_texture ? e.rider_body_texture : "";
            head = e.rider_head_texture ? e.rider_head_texture : "";
            graphics = e.bike_texture ? e.bike_texture : "";
            wheels = e.wheel_texture ? e.wheel_texture : "";
            name = "Roborider";
            mode = BIKE_ROBOT;
        } else {
            continue;
        }
        loading_tick(loading_bikes);
        Bike* bike = build_bike(model.c_str(), slot, number.c_str(), or_null(body), or_null(head), or_null(graphics),
                                or_null(wheels));
        if (!bike) continue;
        RiderSlot& s = race.slots[slot];
        s.bike = bike;
        s.mode = mode;
        s.name = name;
        s.textures[0] = body, s.textures[1] = head, s.textures[2] = graphics, s.textures[3] = wheels;
        s.timing = RiderTiming{};
        engine_sound_init(bike);
        place_bike(bike, slot);
        if (mode == BIKE_LOCAL) {
            const dReal* p = dBodyGetPosition(bike->frame);
            for (int i = 0; i < 3; i++) race.start_position[i] = float(p[i]);
            race.false_start_penalty = 0;
        }
        if (mode == BIKE_REPLAYED) {
            set_bike_presence(bike, false);
            bike->roll_damping = 100;
            bike->full_lock_speed = 5;
            bike->restricted_lock_speed = 50;
            bike->restricted_lock_angle = 0.04363323;
        } else {
            set_bike_presence(bike, true);
        }
        if (mode == BIKE_ROBOT) {
            robot_set_personality(slot, settings.practice_mode ? "tester" : roster[roster_index].personality);
            cursor++;
        }
        TimedRider& tr = race_timing.riders[slot];
        tr.timing = &s.timing;
        tr.number = number;
        tr.bike = bike->model.name;
        tr.local = mode == BIKE_LOCAL;
    }
    loading_end(loading_bikes);

    // 13.-15. Histories, recording, particles, lines, textures.
    history_reset_all();
    if (record_demo) demo_record_start();
    roost_reset();
    lines_reset_picks();
    msg_printf("%d MB texture memory used\n", int(texture_cache.memory >> 20));
    texture_free_stale(false);
    model_free_stale(false);

    // 16. Race length.
    RaceTiming& rt = race_timing;
    rt.tick = race.tick;
    rt.start_tick = race.start_tick;
    rt.duration = time_limit;
    if (time_limit > 0) {
        rt.laps = rt.half_lap = 1000000;
        rt.extra_laps = laps;
    } else {
        rt.laps = laps;
        rt.half_lap = (laps + 1) / 2;
        rt.extra_laps = 0;
    }

    // 17.-18. Gate pieces up; a time trial starts rolling.
    setup_gate_pieces();
    if (race.time_trial) time_trial_restart();

    // 19.
    loading_log_longest_delay();
    demo_record_tick(true);
    demo_play_tick();
    rt.final_done = false;
    standings_update();

    // 20. Follow a bike that exists; the player's setup applies.
    if (race.viewed_slot < 0 || race.viewed_slot >= RACE_SLOTS || !race.slots[race.viewed_slot].bike)
        race.viewed_slot = rt.standings.empty() ? 0 : rt.standings[0].slot;
    dJointGroupEmpty(physics.contacts);
    if (Bike* v = race.slots[race.viewed_slot].bike) {
        if (race.slots[race.viewed_slot].mode == BIKE_LOCAL) apply_setup(v, bike_setup_from_settings(settings), program_clock());
        const dReal* p = dBodyGetPosition(v->frame);
        TrackCamera& fc = track_cameras.free_camera;
        fc.position[0] = float(p[0]);
        fc.position[1] = float(p[1] + 5);
        fc.position[2] = float(p[2]);
    }

    // 21.
    loading_end(resetting);
    tune_working_set();
    return 1;
}

void time_trial_restart() {
    demo_play_close();
    demo_record_tick(true);
    demo_record_stop();
    for (int i = 1; i < RACE_SLOTS; i++) free_slot(i);
    for (int i = 1; i < RACE_SLOTS; i++) race_timing.riders[i] = TimedRider{};
    RiderSlot& s = race.slots[0];
    const TrackGates& tg = track_gates;
    int c = std::max(tg.first - 2, 0);
    if (s.bike && tg.first > 0 && tg.normal > 0) {
        const TimingGate& g = tg.gates[size_t(tg.sequence[size_t(c)] % GATE_FLAG)];
        double heading = std::atan2(-g.direction[0], -g.direction[2]);
        set_down_bike(s.bike, g.point[0], g.point[2], heading);
    }
    dJointGroupEmpty(physics.contacts);
    s.timing = RiderTiming{};
    s.timing.gate = c;
    s.timing.times.assign(size_t(c), race.tick);
    race.last_lap_time = 0;
    standings_update();
}

void race_tick() {
    RaceTiming& rt = race_timing;
    const bool online = net_race.online;
    rt.tick = race.tick;

    // 1. Replayed bikes follow their records.
    for (int i = 0; i < RACE_SLOTS; i++)
        if (race.slots[i].bike && race.slots[i].mode == BIKE_REPLAYED)
            history_sample(i, online_warmup() ? race.tick - 127 : race.tick);

    // 2.
    if (race.time_trial) {
        race.time_trial_laps[0] = rider_laps(0);
        race.time_trial_laps[1] = rider_laps(1);
    }

    // 3.-5. Contacts, roost, the physics step.
    contacts();
    int occupied = 0;
    for (const RiderSlot& s : race.slots) occupied += s.bike != nullptr;
    if (occupied > 0) {
        int skip = race.tick % occupied;
        for (int pass = 0; pass < 2; pass++)
            for (int i = 0, k = 0; i < RACE_SLOTS; i++) {
                RiderSlot& s = race.slots[i];
                if (!s.bike) continue;
                bool first_part = k++ >= skip;
                if (first_part == (pass == 0)) roost_emit(s.bike, s.mode != BIKE_REPLAYED);
            }
    }
    race_physics_step();

    // 6. Ruts.
    if (settings.erode_rate > 0)
        for (RiderSlot& s : race.slots)
            if (s.bike && s.mode != BIKE_REPLAYED) erosion_process(s.bike, settings.erode_rate);

    // 7. Controllers, the bike update, timing.
    for (int i = 0; i < RACE_SLOTS; i++) {
        RiderSlot& s = race.slots[i];
        if (!s.bike) continue;
        if (s.mode == BIKE_ROBOT) robot_control_tick(s.bike);
        if (online && s.mode == BIKE_REPLAYED) presence_decay(s.bike);
        if (online && s.mode == BIKE_LOCAL) false_start_rule(s.bike);
        bike_update(s.bike, race.tick, race.start_tick);
        if (!online || s.mode == BIKE_LOCAL) {
            const dReal* p = dBodyGetPosition(s.bike->front_wheel);
            float fp[3] = {float(p[0]), float(p[1]), float(p[2])};
            s.timing.ground_touch = s.timing.ground_touch || s.bike->ground_touched;
            gates_update_rider(i, fp);
            lines_record_tick(s.bike);
        }
    }

    // 8.-10.
    roost_move();
    animate_gate_pieces();
    race.tick++;
    rt.tick = race.tick;
    if (online ? race.tick % 512 == 511 : true) standings_update();

    // 11.-13.
    demo_record_tick(false);
    demo_play_tick();
    if (race.time_trial) {
        int ghost = rider_laps(1);
        if (ghost != race.time_trial_laps[1]) {
            double t = rider_lap_time(1, ghost);
            if (t > 0 && (race.best_lap_time == 0 || t < race.best_lap_time)) race.best_lap_time = t;
        }
        int mine = rider_laps(0);
        if (mine != race.time_trial_laps[0]) {
            race.last_lap_time = rider_lap_time(0, mine);
            if (race.last_lap_time > 0 && (race.best_lap_time == 0 || race.last_lap_time < race.best_lap_time))
                race.best_lap_time = race.last_lap_time;
            demo_lap_finished(race.last_lap_time);
        }
    }
    capture_telemetry();
}

void race_free() {
    if (race.series_event && !race_timing.final_done) series_record_event();
    race.series_event = false;
    lines_save();
    lines_clear();
    free_all_bikes();
    demo_play_close();
    demo_record_stop();
    if (current_track.loaded) track_free();
    current_track = CurrentTrack{};
    race.gate_pieces.clear();
    physics_world_destroy();
}

}  // namespace gr
