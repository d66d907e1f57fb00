// Ruts: each wheel's push on the ground is sampled into the bike's queue,
// and once the bike has left a spot the material there is moved a little
// way opposite to that push.
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_local.h"
#include "terrain/terrain.h"

namespace gr {

namespace {

const int SAMPLES_PER_TICK = 4;
const double LEAVE_DISTANCE2 = 100;  // the bike must be 10 feet away

int next_index(int i) { return (i + 1) % EROSION_QUEUE_SIZE; }

}  // namespace

void erosion_sample(Bike* b, int wheel) {
    const WheelContact& wc = wheel == 0 ? b->front_contact : b->rear_contact;
    ErosionQueue& q = b->erosion;
    if (!(wc.depth > 0) || next_index(q.write) == q.read) return;
    const Erosion& s = terrain_surface_at(float(wc.point[0]), float(wc.point[2])).erosion;
    double span = double(s.on_speed) - s.off_speed;
    double v = len3(dBodyGetLinearVel(wc.body));
    double k = span > 0 ? clampd((v - s.off_speed) / span, 0, 1) : (v > s.off_speed ? 1 : 0);
    double fx = k * wc.feedback.f1[0], fz = k * wc.feedback.f1[2];
    if (!std::isfinite(fx) || !std::isfinite(fz) || !std::isfinite(wc.point[0]) || !std::isfinite(wc.point[2])) return;
    ErosionSample& e = q.samples[q.write];
    e.x = float(wc.point[0]), e.z = float(wc.point[2]);
    e.fx = float(fx), e.fz = float(fz);
    double m2 = fx * fx + fz * fz;
    if (m2 > double(s.lower) * s.lower && m2 > 1.0 / 1024) q.write = next_index(q.write);
}

void erosion_process(Bike* b, float erode_rate) {
    if (!(erode_rate > 0)) return;
    erosion_sample(b, 0);
    erosion_sample(b, 1);
    ErosionQueue& q = b->erosion;
    const dReal* p = dBodyGetPosition(b->frame);
    for (int n = 0; n < SAMPLES_PER_TICK && q.read != q.write; n++) {
        const ErosionSample& e = q.samples[q.read];
        double dx = e.x - p[0], dz = e.z - p[2];
        if (dx * dx + dz * dz < LEAVE_DISTANCE2) break;
        q.read = next_index(q.read);
        const Erosion& s = terrain_surface_at(e.x, e.z).erosion;
        double m = std::hypot(double(e.fx), double(e.fz));
        if (!(m > 0)) continue;
        double span = double(s.upper) - s.lower;
        double t = span > 0 ? clampd((m - s.lower) / span, 0, 1) : (m >= s.upper ? 1 : 0);
        double d = t * s.displacement;
        float x1 = float(e.x - d * e.fx / m), z1 = float(e.z - d * e.fz / m);
        float h0 = terrain_height_at(e.x, e.z), h1 = terrain_height_at(x1, z1);
        if (h1 - h0 > d * s.max_slope) continue;
        float a = erode_rate / 2048 * s.depth;
        terrain_deform(&terrain, e.x, e.z, s.radius, -a);
        terrain_deform(&terrain, x1, z1, s.radius, a);
    }
}

}  // namespace gr
