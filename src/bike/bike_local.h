// Internals shared by the bike files: small vector helpers.
#pragma once

#include <cmath>

#include "bike/bike.h"

namespace gr {

inline double clampd(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

inline double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline void cross3(const double* a, const double* b, double* out) {
    double x = a[1] * b[2] - a[2] * b[1];
    double y = a[2] * b[0] - a[0] * b[2];
    double z = a[0] * b[1] - a[1] * b[0];
    out[0] = x, out[1] = y, out[2] = z;
}

inline void sub3(const double* a, const double* b, double* out) {
    out[0] = a[0] - b[0], out[1] = a[1] - b[1], out[2] = a[2] - b[2];
}

inline double len3(const double* a) { return std::sqrt(dot3(a, a)); }

// Wraps an angle into -pi..pi.
inline double wrap_angle(double a) {
    if (a > M_PI || a < -M_PI) a = std::remainder(a, 2 * M_PI);
    return a;
}

// A body's own axis (0 x, 1 y, 2 z) in world coordinates.
inline void body_axis(dBodyID b, int axis, double out[3]) {
    const dReal* R = dBodyGetRotation(b);
    out[0] = R[axis], out[1] = R[4 + axis], out[2] = R[8 + axis];
}

}  // namespace gr
