// Trackside cameras: the "cameras" file, the gate-to-camera table and the
// orientation of a camera from its yaw and pitch.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "terrain/terrain.h"
#include "track/track.h"

namespace gr {

TrackCameras::TrackCameras() {
    for (int& g : gate_camera) g = -1;
}

TrackCameras track_cameras;

void cameras_load(const char* track_path) {
    TrackCameras& tc = track_cameras;
    tc.cameras.clear();
    tc.cameras.reserve(16);
    for (int& g : tc.gate_camera) g = -1;
    std::string name = std::string(track_path) + "/cameras";
    DataFile* f = file_open(name.c_str(), "rb");
    if (!f) return;

    float fov = 90, autofov = 0;
    char line[2048];
    while (file_gets(f, line, sizeof line)) {
        float x, h, z, v;
        const char* p = line;
        while (*p == ' ' || *p == '\t') p++;
        if (!strncmp(line, "addcamera", 9) && sscanf(line, "addcamera %f %f %f", &x, &h, &z) == 3) {
            TrackCamera c;
            c.position[0] = x;
            c.position[1] = terrain_height_at(x, z) + h;
            c.position[2] = z;
            c.fov = fov;
            c.autofovsize = autofov;
            tc.cameras.push_back(c);
            fov = 90;
            autofov = 0;
        } else if (sscanf(line, "fov %f", &v) == 1) {
            fov = std::fabs(v);
        } else if (sscanf(line, "autofovsize %f", &v) == 1) {
            autofov = std::fabs(v);
        } else if (!strncmp(p, "gate", 4) && (p[4] == 0 || isspace((unsigned char)p[4]))) {
            const char* q = p + 4;
            for (;;) {
                char* end;
                long gate = strtol(q, &end, 10);
                if (end == q || gate < 0 || gate > 255) break;
                // The token must end at white space to be an integer.
                if (*end && !isspace((unsigned char)*end)) break;
                tc.gate_camera[gate] = int(tc.cameras.size());
                q = end;
            }
        }
    }
    file_close(f);
    if (log_debug_level) log_printf("%d cameras found\n", int(tc.cameras.size()));
}

int camera_for_gate(int slot) {
    if (track_gates.normal <= 0 || slot < 0 || slot >= RIDER_SLOTS) return -1;
    const RiderTiming* r = race_timing.riders[slot].timing;
    if (!r) return -1;
    return track_cameras.gate_camera[gate_of_index(r->gate)];
}

void camera_orientation(float yaw, float pitch, float view[3], float right[3], float up[3]) {
    float sy = std::sin(yaw), cy = std::cos(yaw), sp = std::sin(pitch), cp = std::cos(pitch);
    view[0] = sy * cp, view[1] = sp, view[2] = cy * cp;
    right[0] = -cy, right[1] = 0, right[2] = sy;
    up[0] = -sp * sy, up[1] = cp, up[2] = -sp * cy;
}

}  // namespace gr
