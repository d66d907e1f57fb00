// Course design: a closed centre-line made of straights and filleted
// corners, a separate start chute that merges into it, and the height
// profile of the jumps, whoops and rhythm sections along it.
#pragma once

#include <string>
#include <vector>

#include "mkdata/mkdata.h"

namespace mkdata {

struct Vec2 {
    double x = 0, z = 0;
};
inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.z + b.z}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.z - b.z}; }
inline Vec2 operator*(Vec2 a, double k) { return {a.x * k, a.z * k}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.z * b.z; }
inline double length(Vec2 a) { return std::sqrt(dot(a, a)); }

enum FeatureKind { TABLETOP, DOUBLE, STEP_UP, DROP, WHOOPS, RHYTHM, ROLLER };

// A feature placed on a straight: `edge` is the polygon edge (from corner
// `edge` to corner `edge`+1) and `offset` the distance from the end of the
// corner fillet where it begins.
struct Feature {
    FeatureKind kind;
    int edge;
    double offset;
    double height;   // jump or bump height (for DROP: unused, it drops the plateau)
    double length;   // tabletop top, double or step-up gap, whoop/rhythm spacing
    int count = 0;   // whoops or rhythm bumps
};

// One point of a sampled centre-line.
struct CoursePoint {
    Vec2 p;
    Vec2 dir;        // unit tangent (riding direction)
    double s = 0;    // arc length from the start of the line
    double curv = 0; // signed curvature, positive turning right (clockwise on the map)
    double hw = 0;   // half width
};

struct Corner {
    Vec2 p;
    double radius;
};

struct CourseDesign {
    std::vector<Corner> corners;  // the lap polygon, filleted at every corner
    double half_width = 12;
    std::vector<Feature> features;
    // The start chute: merges into `merge_edge` at `merge_offset`, coming
    // from a start pad `chute_side` (+1 right, -1 left) of the lap, offset
    // sideways by `chute_offset` and `chute_length` feet back.
    int merge_edge = 0;
    double merge_offset = 0;
    double chute_offset = 110, chute_length = 420;
    int chute_side = 1;
    double finish_back = 150;  // finish line this far before the merge point
};

// Knots of the height profile along the lap; linear between knots.
struct Profile {
    std::vector<double> s, h;
    double at(double s) const;
    double slope(double s) const;
};

struct JumpNote {
    std::string what;
    double s, height, length;
};

struct Course {
    std::vector<CoursePoint> lap;    // closed; lap.back() precedes lap.front()
    std::vector<CoursePoint> chute;  // from the back of the start pad to the merge
    double lap_length = 0;
    double merge_s = 0, finish_s = 0;
    std::vector<double> edge_start_s;  // lap s where each straight begins (after the fillet)
    std::vector<double> edge_length;   // usable straight length
    Profile profile;
    std::vector<JumpNote> jumps;
    std::vector<double> berm;          // berm height per lap point
};

// Builds the course; false (with a message) when the design does not work.
bool course_build(const CourseDesign& d, Course* c);

// Sampling spacing of the centre-lines, in feet.
constexpr double COURSE_STEP = 2.0;
// Distance from the gate line back to the rear of the start pad.
constexpr double PAD_BACK = 40.0;
// Half width of the start pad.
constexpr double PAD_HALF_WIDTH = 48.0;

}  // namespace mkdata
