// Loading and releasing a track directory in its fixed order, and the track
// digest that identifies a track between peers.
#include <cstring>
#include <string>

#include "app/app.h"
#include "data/data.h"
#include "gfx/image.h"
#include "gfx/model.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

CurrentTrack current_track;

namespace {

// The method the graphics settings ask for.
int requested_ground_method() {
    std::string m = setting_choice_name(settings.render_texture);
    if (m == "Software") return GROUND_TEXSUBIMAGE;
    if (m == "Hardware/Copy" || m == "Shaders/Copy") return GROUND_COPYTEXSUBIMAGE;
    return GROUND_FRAMEBUFFER;
}

// Feeds a file's bytes to the digest in blocks of 1024; a missing file
// contributes nothing.
void digest_file(Ripemd160* r, const std::string& name) {
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;
    unsigned char buf[1024];
    size_t n;
    while ((n = file_read(f, buf, sizeof buf)) > 0) ripemd160_update(r, buf, n);
    file_close(f);
}

void log_texture_memory(const char* when) {
    if (log_debug_level) log_printf("%lu bytes texture memory used after %s\n", (unsigned long)texture_cache.memory, when);
}

bool exists(const std::string& name) {
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return false;
    file_close(f);
    return true;
}

}  // namespace

int track_load() {
    CurrentTrack& ct = current_track;
    const std::string dir = ct.name;
    const std::string path = "@" + dir;
    auto file = [&](const char* n) { return path + "/" + n; };

    // 1. Display name.
    ct.display_name = dir;
    for (const TrackEntry& e : app_lists.tracks)
        if (e.dir == dir) ct.display_name = e.name;

    // 2. Digest and empty scenery.
    Ripemd160 digest;
    ripemd160_init(&digest);
    scenery_free();
    scenery.billboards.reserve(16);
    scenery.statues.reserve(16);
    track_cameras.cameras.clear();
    sky.flares.clear();

    // 3. Scanning the files that make the ground.
    const char* scanning = "Scanning";
    loading_begin(scanning);
    for (const char* n : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"}) {
        loading_tick(scanning);
        digest_file(&digest, file(n));
    }
    loading_end(scanning);

    // 4.-6. Lighting and terrain.
    if (log_debug_level) log_printf("Loading '%s'\n", path.c_str());
    lighting_load(path.c_str());
    if (!terrain_load(path.c_str(), requested_ground_method())) {
        ct.name.clear();
        ct.display_name.clear();
        ct.loaded = false;
        return 0;
    }
    log_texture_memory("hf creation");

    // 8. Timing gates (with their starting-gate pieces).
    digest_file(&digest, file("timing_gates"));
    gates_load(path.c_str());

    // 9. Roost particles are billboards too; they come first.
    for (int i = 0; i < ROOST_BILLBOARDS; i++) billboard_add(0, 0, 0, 0, 1, nullptr);

    // 10.-11. Flaggers and billboards.
    const char* fl = "Loading flaggers";
    loading_begin(fl);
    flaggers_load(path.c_str());
    loading_end(fl);
    log_texture_memory("flagger creation");
    if (exists(file("billboards"))) {
        const char* bb = "Loading billboards";
        loading_begin(bb);
        billboards_read(path.c_str());
        loading_end(bb);
        log_texture_memory("billboard creation");
    }

    // 12. Statues.
    digest_file(&digest, file("statues"));
    if (exists(file("statues"))) {
        const char* st = "Loading statues";
        loading_begin(st);
        statues_read(path.c_str());
        loading_end(st);
    }

    // 13. The overview map.
    const char* mp = "Loading map";
    loading_begin(mp);
    log_texture_memory("statue creation");
    ct.map_texture = texture_load(file("map.png").c_str());
    loading_end(mp);

    // 14. Collision bins.
    statue_bins_build();

    // 15. Every distinct model file the statues use, in statue order.
    std::vector<std::string> seen;
    for (const Statue& s : scenery.statues) {
        if (s.model_name.empty()) continue;
        bool dup = false;
        for (const std::string& m : seen) dup = dup || m == s.model_name;
        if (dup) continue;
        seen.push_back(s.model_name);
        digest_file(&digest, s.model_name);
    }

    // 16.-17. The digest, then the cameras.
    ripemd160_final(&digest, ct.hash);
    cameras_load(path.c_str());
    ct.loaded = true;
    return 1;
}

void track_free() {
    log_printf("Deallocating track\n");
    track_gates = TrackGates{};
    if (racing_lines_reset) racing_lines_reset(0);
    scenery_free();
    sky.flares.clear();
    track_cameras.cameras.clear();
    terrain_free();
    current_track.loaded = false;
    log_printf("Finished deallocating track\n");
}

int track_prepare(const char* name, bool online, bool force) {
    CurrentTrack& ct = current_track;
    bool reload = !ct.loaded || ct.name != name || (online && terrain.modified) || force;
    if (!reload) return 1;
    if (ct.loaded) track_free();
    texture_track_load_begin();
    ct.name = name;
    if (!track_load()) return 0;
    // What the new track no longer uses goes now.
    texture_free_stale(false);
    model_free_stale(false);
    return 1;
}

void track_hash_hex(char out[41]) { digest_hex(current_track.hash, out); }

}  // namespace gr
