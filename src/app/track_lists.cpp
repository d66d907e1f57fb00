// The lists the menus offer, built once at start-up from the data file
// names: tracks (with their display names), demos and points series.
#include <cstring>
#include <utility>

#include "app/app.h"
#include "app/app_local.h"
#include "data/data.h"

namespace gr {

AppLists app_lists;

namespace {

bool ends_with(const char* s, const char* suffix) {
    size_t n = strlen(s), k = strlen(suffix);
    return n >= k && memcmp(s + n - k, suffix, k) == 0;
}

// The first line of the track's "desc" file, or the directory name.
std::string track_display_name(const std::string& dir) {
    DataFile* f = file_open(("@" + dir + "/desc").c_str(), "rb");
    if (!f) return dir;
    std::string name;
    for (int c; (c = file_getc(f)) != -1 && c != '\r' && c != '\n' && c != 0;)
        name += static_cast<char>(c);
    file_close(f);
    return name;
}

}  // namespace

std::vector<TrackEntry> build_track_list() {
    static const char* const terrain_files[] = {
        "/terrain.hf", "/terrain.hf.gz", "/terrain.hf.scram", "/terrain.hf.gz.scram"};
    std::vector<TrackEntry> tracks;
    tracks.reserve(16);
    const char* const* list = file_list();
    for (int i = 0; list && list[i]; i++) {
        const char* name = list[i];
        bool terrain = false;
        for (const char* t : terrain_files) terrain = terrain || ends_with(name, t);
        if (!terrain) continue;
        TrackEntry t;
        t.dir.assign(name, strrchr(name, '/') - name);
        t.name = track_display_name(t.dir);
        tracks.push_back(std::move(t));
    }
    // Each position takes, by exchange, every later entry that sorts lower.
    for (size_t i = 0; i < tracks.size(); i++)
        for (size_t j = i + 1; j < tracks.size(); j++)
            if (less_lower(tracks[j].name.c_str(), tracks[i].name.c_str()))
                std::swap(tracks[i], tracks[j]);
    if (settings.debug_level)
        for (const TrackEntry& t : tracks) log_printf("%s -> %s\n", t.dir.c_str(), t.name.c_str());
    return tracks;
}

std::vector<DemoEntry> build_demo_list() {
    std::vector<DemoEntry> demos;
    demos.reserve(16);
    const char* const* list = file_list();
    for (int i = 0; list && list[i]; i++) {
        const char* name = list[i];
        if (strncmp(name, "demos/", 6) != 0 || !ends_with(name, ".grdemo")) continue;
        DemoEntry d;
        d.path = std::string("@") + name;
        const char* base = strrchr(name, '/') + 1;
        const char* dot = strrchr(base, '.');
        d.name.assign(base, dot - base);
        if (settings.debug_level) log_printf("%s -> %s\n", d.path.c_str(), d.name.c_str());
        demos.push_back(std::move(d));
    }
    return demos;
}

std::vector<SeriesEntry> build_series_list() {
    std::vector<SeriesEntry> series;
    series.reserve(16);
    const char* const* list = file_list();
    for (int i = 0; list && list[i]; i++)
        if (ends_with(list[i], ".series")) series.push_back({std::string("@") + list[i]});
    return series;
}

int choose_start_track(const std::vector<TrackEntry>& tracks) {
    // With a server to join, the server picks the track.
    const char* want = (settings.start_track && !settings.connect_host)
                           ? settings.start_track->c_str()
                           : settings.track.text;
    for (size_t i = 0; i < tracks.size(); i++)
        if (tracks[i].dir == want) return static_cast<int>(i);
    return -1;
}

}  // namespace gr
