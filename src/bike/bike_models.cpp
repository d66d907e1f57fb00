// The compiled-in bike models: shared geometry, per-model product data,
// torque curves derived by engine class, and model lookup by name.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "data/data.h"

namespace gr {

const char* const front_wheel_model_name = "@front_wheel.jm";
const char* const rear_wheel_model_name = "@rear_wheel.jm";
const char* const wheel_texture_name = "@wheels.png";
const char* const rider_head_model_name = "@rider_head.jm";
const char* const rider_head_texture_name = "@rider_head.png";
const char* const rider_body_model_name = "@rider_body.jm";
const char* const rider_body_fp_model_name = "@rider_body_fp.jm";
const char* const rider_body_texture_name = "@rider_body.png";
const char* const rider_plate_model_name = "@rider_plate.jm";

namespace {

// Full-throttle torque of the 2016 CRF450, the reference curve: flat low
// down, a peak near 7000 rpm, zero at the 12000 rpm red line and steeply
// negative beyond it.
const float crf450_open[TORQUE_POINTS] = {
    5,     5,     5,     5,     5,     8.648f, 12.30f, 15.95f, 19.59f, 23.24f,
    26.89f, 30.27f, 33.18f, 33.94f, 34.14f, 34.10f, 33.15f, 29.66f, 26.73f, 24.22f,
    22.58f, 21.36f, 20.72f, 10.36f, 0,     -10,   -11,   -12,   -13,   -14,
    -15,   -16,   -17,   -18,   -19,   -20,   -21,   -22,   -23,   -24,
    -25,   -26,   -27,   -28,   -29,   -30,   -31,   -32,   -33,   -34};

// Shut-throttle torque of a four-stroke: positive at the lowest speeds,
// zero at 1500 rpm, then falling by 1 every two entries.
float four_stroke_closed(int k) {
    static const float low[4] = {2, 2, 1, 0};
    if (k < 4) return low[k];
    return -float(k / 2 - 1);
}

// Two-strokes brake less at low speed.
float two_stroke_closed(int k) {
    static const float low[4] = {2, 2, 1, 0};
    if (k < 4) return low[k];
    if (k <= 15) return -1.2f - 0.2f * float(k - 4);
    if (k == 16) return -3.67f;
    if (k == 17) return -4;
    return -5 - float((k - 18) / 2);
}

// The reference curve stretched to another red line and scaled. Past the
// table's end it keeps falling by 1 per entry.
float open_torque_at(double x) {
    if (x >= TORQUE_POINTS - 1) return float(crf450_open[TORQUE_POINTS - 1] - (x - (TORQUE_POINTS - 1)));
    int i = int(x);
    double f = x - i;
    return float(crf450_open[i] + (crf450_open[i + 1] - crf450_open[i]) * f);
}

// Per-model product data; everything else is shared or follows the class.
struct ModelRow {
    const char* name;
    const char* family;  // prefix of the part files
    const char* cls;
    float frame_mass, fork_mass, arm_mass;
    float fork_spring_min, shock_spring_min;
    float primary;
    float front_sprocket, rear_sprocket;
    float gears[GEAR_COUNT];
    float inertia;
    float shift_down, shift_up, redline;
    float torque_scale;
};

#define G5(a, b, c, d, e) {a, b, c, d, e, -1}

const ModelRow rows[BIKE_MODEL_COUNT] = {
    {"450sxf(2016)", "450sxfv2016", "450f", 4.62f, 0.7290f, 0.5120f, 362.9f, 2486.3f, 2.4545f, 13, 48, G5(1.9231f, 1.5f, 1.2353f, 1.0526f, 0.9091f), 0.0078125f, 6000, 10500, 12000, 1.02f},
    {"crf450(2016)", "crf450v2013", "450f", 4.735f, 0.7031f, 0.5025f, 376.3f, 2486.3f, 2.7391f, 13, 48, G5(1.8f, 1.4706f, 1.2353f, 1.05f, 0.9091f), 0.00885009765625f, 6000, 10500, 12000, 1.0f},
    {"kx450f(2016)", "kx450fv2016", "450f", 4.70f, 0.7110f, 0.5060f, 376.3f, 2486.3f, 2.6087f, 13, 50, G5(1.7857f, 1.4706f, 1.25f, 1.0526f, 0.9091f), 0.0083007812f, 6000, 10500, 11500, 0.99f},
    {"rmz450(2016)", "rmz450", "450f", 4.69f, 0.7150f, 0.5080f, 362.9f, 2351.9f, 2.5789f, 13, 49, G5(1.8571f, 1.5f, 1.25f, 1.0455f, 0.8947f), 0.0083007812f, 6000, 10000, 11500, 0.96f},
    {"yz450f(2016)", "yz450fv2014", "450f", 4.71f, 0.7190f, 0.5100f, 376.3f, 2486.3f, 2.5714f, 13, 48, G5(1.8333f, 1.4706f, 1.2222f, 1.0435f, 0.9048f), 0.0085449219f, 6000, 10500, 12000, 1.0f},
    {"crf450(2013)", "crf450v2013", "450f", 4.72f, 0.7031f, 0.5025f, 376.3f, 2486.3f, 2.7391f, 13, 48, G5(1.8f, 1.4706f, 1.2353f, 1.05f, 0.9091f), 0.00885009765625f, 6000, 10500, 12000, 0.98f},
    {"kx450f(2013)", "kx450f", "450f", 4.70f, 0.7110f, 0.5060f, 376.3f, 2486.3f, 2.6087f, 13, 50, G5(1.7857f, 1.4706f, 1.25f, 1.0526f, 0.9091f), 0.0083007812f, 6000, 10500, 11500, 0.97f},
    {"rmz450(2013)", "rmz450", "450f", 4.69f, 0.7150f, 0.5080f, 362.9f, 2351.9f, 2.5789f, 13, 49, G5(1.8571f, 1.5f, 1.25f, 1.0455f, 0.8947f), 0.0083007812f, 6000, 10000, 11500, 0.95f},
    {"yz450f(2013)", "yz450f", "450f", 4.71f, 0.7190f, 0.5100f, 376.3f, 2486.3f, 2.5714f, 13, 48, G5(1.8333f, 1.4706f, 1.2222f, 1.0435f, 0.9048f), 0.0085449219f, 6000, 10500, 12000, 0.98f},
    {"450sxf(2013)", "450sxfv2013", "450f", 4.60f, 0.7290f, 0.5120f, 362.9f, 2486.3f, 2.4545f, 13, 48, G5(1.9231f, 1.5f, 1.2353f, 1.0526f, 0.9091f), 0.0078125f, 6000, 10500, 12000, 1.0f},
    {"350sxf(2013)", "350sxfv2013", "450f", 4.45f, 0.7290f, 0.5120f, 349.4f, 2351.9f, 2.375f, 13, 50, G5(2.0f, 1.6154f, 1.3333f, 1.125f, 0.96f), 0.0068359375f, 7500, 12000, 13500, 0.82f},
    {"crf450(2011)", "crf450", "450f", 4.73f, 0.7031f, 0.5025f, 376.3f, 2486.3f, 2.7391f, 13, 48, G5(1.8f, 1.4706f, 1.2353f, 1.05f, 0.9091f), 0.00885009765625f, 6000, 10500, 11500, 0.96f},
    {"kx450f(2011)", "kx450f", "450f", 4.72f, 0.7110f, 0.5060f, 376.3f, 2486.3f, 2.6087f, 13, 50, G5(1.7857f, 1.4706f, 1.25f, 1.0526f, 0.9091f), 0.0083007812f, 6000, 10500, 11500, 0.95f},
    {"rmz450(2011)", "rmz450", "450f", 4.70f, 0.7150f, 0.5080f, 362.9f, 2351.9f, 2.5789f, 13, 49, G5(1.8571f, 1.5f, 1.25f, 1.0455f, 0.8947f), 0.0083007812f, 6000, 10000, 11500, 0.93f},
    {"yz450f(2011)", "yz450f", "450f", 4.72f, 0.7190f, 0.5100f, 376.3f, 2486.3f, 2.5714f, 13, 48, G5(1.8333f, 1.4706f, 1.2222f, 1.0435f, 0.9048f), 0.0085449219f, 6000, 10500, 11500, 0.96f},
    {"450sxf(2011)", "450sxf", "450f", 4.62f, 0.7290f, 0.5120f, 362.9f, 2486.3f, 2.4545f, 13, 48, G5(1.9231f, 1.5f, 1.2353f, 1.0526f, 0.9091f), 0.0078125f, 6000, 10500, 11500, 0.97f},
    {"350sxf(2011)", "350sxf", "250f", 4.40f, 0.7290f, 0.5120f, 349.4f, 2351.9f, 2.375f, 13, 50, G5(2.0f, 1.6154f, 1.3333f, 1.125f, 0.96f), 0.0068359375f, 7500, 12000, 13500, 0.78f},
    {"250sx(2012)", "250sx", "250", 4.30f, 0.7538f, 0.5860f, 322.5f, 2083.1f, 2.9655f, 13, 48, G5(1.8125f, 1.4706f, 1.2105f, 1.0f, 0.8696f), 0.0068359375f, 6000, 9000, 10500, 0.92f},
    {"cr250(2007)", "cr250", "250", 4.3656f, 0.7538f, 0.5894f, 322.5f, 2083.1f, 3.0f, 13, 49, G5(1.8f, 1.4706f, 1.2105f, 1.0f, 0.8696f), 0.0068359375f, 6000, 9000, 10500, 0.9f},
    {"kx250(2006)", "kx250", "250", 4.38f, 0.7500f, 0.5850f, 322.5f, 2083.1f, 3.0f, 14, 50, G5(1.8571f, 1.5f, 1.2222f, 1.0f, 0.8696f), 0.0068359375f, 6000, 9000, 10500, 0.88f},
    {"rm250(2008)", "rm250", "250", 4.35f, 0.7520f, 0.5870f, 322.5f, 2083.1f, 3.0f, 13, 50, G5(1.8f, 1.4706f, 1.2105f, 1.0f, 0.8696f), 0.0068359375f, 6000, 9000, 10500, 0.89f},
    {"yz250(2012)", "yz250", "250", 4.36f, 0.7538f, 0.5880f, 322.5f, 2083.1f, 3.0f, 14, 48, G5(1.8333f, 1.4706f, 1.2105f, 1.0f, 0.8696f), 0.0068359375f, 6000, 9000, 10500, 0.9f},
    {"crf250(2016)", "crf250v2014", "250f", 4.26f, 0.7031f, 0.5044f, 336.0f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.63f},
    {"kx250f(2016)", "kx250fv2013", "250f", 4.25f, 0.7060f, 0.5050f, 336.0f, 2217.5f, 3.3529f, 13, 51, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13500, 0.62f},
    {"rmz250(2016)", "rmz250v2010", "250f", 4.24f, 0.7080f, 0.5060f, 336.0f, 2217.5f, 3.3529f, 13, 49, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.61f},
    {"yz250f(2016)", "yz250fv2014", "250f", 4.24f, 0.7031f, 0.5044f, 336.0f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.63f},
    {"250sxf(2016)", "250sxfv2016", "250f", 4.20f, 0.7200f, 0.5100f, 336.0f, 2217.5f, 3.25f, 13, 52, G5(2.1538f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8500, 13000, 14000, 0.64f},
    {"crf250(2013)", "crf250v2010", "250f", 4.27f, 0.7031f, 0.5044f, 336.0f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.61f},
    {"kx250f(2013)", "kx250fv2013", "250f", 4.26f, 0.7060f, 0.5050f, 336.0f, 2217.5f, 3.3529f, 13, 51, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13500, 0.6f},
    {"rmz250(2013)", "rmz250v2010", "250f", 4.25f, 0.7080f, 0.5060f, 336.0f, 2217.5f, 3.3529f, 13, 49, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.6f},
    {"yz250f(2013)", "yz250fv2010", "250f", 4.25f, 0.7031f, 0.5044f, 336.0f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.61f},
    {"250sxf(2013)", "250sxfv2013", "250f", 4.21f, 0.7200f, 0.5100f, 336.0f, 2217.5f, 3.25f, 13, 52, G5(2.1538f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8500, 13000, 14000, 0.62f},
    {"crf250(2009)", "crf250", "250f", 4.28f, 0.7031f, 0.5044f, 322.5f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.58f},
    {"kx250f(2009)", "kx250f", "250f", 4.27f, 0.7060f, 0.5050f, 322.5f, 2217.5f, 3.3529f, 13, 51, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.58f},
    {"rmz250(2009)", "rmz250", "250f", 4.26f, 0.7080f, 0.5060f, 322.5f, 2217.5f, 3.3529f, 13, 49, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.57f},
    {"yz250f(2009)", "yz250f", "250f", 4.27f, 0.7031f, 0.5044f, 322.5f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.58f},
    {"250sxf(2009)", "250sxf", "250f", 4.22f, 0.7200f, 0.5100f, 322.5f, 2217.5f, 3.25f, 13, 52, G5(2.1538f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8500, 12500, 13500, 0.59f},
    {"crf250(2008)", "crf250", "250f", 4.30f, 0.7031f, 0.5044f, 322.5f, 2083.1f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.56f},
    {"kx250f(2008)", "kx250f", "250f", 4.29f, 0.7060f, 0.5050f, 322.5f, 2083.1f, 3.3529f, 13, 51, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.56f},
    {"rmz250(2008)", "rmz250", "250f", 4.28f, 0.7080f, 0.5060f, 322.5f, 2083.1f, 3.3529f, 13, 49, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.55f},
    {"yz250f(2008)", "yz250f", "250f", 4.29f, 0.7031f, 0.5044f, 322.5f, 2083.1f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.56f},
    {"cr125", "cr125", "125", 3.66f, 0.7397f, 0.5419f, 322.5f, 1814.3f, 3.3684f, 13, 49, {2.3846f, 1.9333f, 1.5882f, 1.3529f, 1.2f, 1.0952f}, 0.0048828125f, 9400, 12000, 12750, 0.5f},
    {"kx125", "kx125", "125", 3.67f, 0.7397f, 0.5419f, 322.5f, 1814.3f, 3.3684f, 13, 50, {2.3846f, 1.9333f, 1.5882f, 1.3529f, 1.2f, 1.0952f}, 0.0048828125f, 9400, 12000, 12750, 0.49f},
    {"rm125", "rm125", "125", 3.65f, 0.7397f, 0.5419f, 322.5f, 1814.3f, 3.3684f, 13, 49, {2.3846f, 1.9333f, 1.5882f, 1.3529f, 1.2f, 1.0952f}, 0.0048828125f, 9400, 12000, 12750, 0.49f},
    {"yz125", "yz125", "125", 3.6538f, 0.7397f, 0.5419f, 322.5f, 1814.3f, 3.3684f, 13, 48, {2.3846f, 1.9333f, 1.5882f, 1.3529f, 1.2f, 1.0952f}, 0.0048828125f, 9400, 12000, 12750, 0.5f},
    {"125sx", "125sx", "125", 3.60f, 0.7397f, 0.5419f, 322.5f, 1814.3f, 3.3684f, 14, 50, {2.3846f, 1.9333f, 1.5882f, 1.3529f, 1.2f, 1.0952f}, 0.0048828125f, 9400, 12000, 13000, 0.52f},
    {"crf250(2007)", "crf250", "250f", 4.32f, 0.7031f, 0.5044f, 322.5f, 2083.1f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.55f},
    {"kx250f(2007)", "kx250f", "250f", 4.31f, 0.7060f, 0.5050f, 322.5f, 2083.1f, 3.3529f, 13, 51, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.55f},
    {"rmz250(2007)", "rmz250", "250f", 4.30f, 0.7080f, 0.5060f, 322.5f, 2083.1f, 3.3529f, 13, 49, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.54f},
    {"yz250f(2007)", "yz250f", "250f", 4.31f, 0.7031f, 0.5044f, 322.5f, 2083.1f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12000, 13000, 0.55f},
    {"yz250f_se(2006)", "yz250f_se", "250f", 4.28f, 0.7031f, 0.5044f, 336.0f, 2217.5f, 3.3529f, 13, 50, G5(2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f), 0.0048828125f, 8000, 12500, 13250, 0.6f},
    {"rs50cr", "cr125", "50", 3.35f, 0.7397f, 0.5419f, 309.1f, 1814.3f, 3.7143f, 12, 55, {3.0909f, 2.0f, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011935764f, 9400, 12000, 12750, 0.16f},
    {"rs50kx", "kx125", "50", 3.345f, 0.7397f, 0.5419f, 309.1f, 1814.3f, 3.7143f, 12, 55, {3.0909f, 2.0f, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011935764f, 9400, 12000, 12750, 0.16f},
    {"rs50rm", "rm125", "50", 3.343f, 0.7397f, 0.5419f, 309.1f, 1814.3f, 3.7143f, 12, 55, {3.0909f, 2.0f, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011935764f, 9400, 12000, 12750, 0.16f},
    {"rs50yz", "yz125", "50", 3.3413f, 0.7397f, 0.5419f, 309.1f, 1814.3f, 3.7143f, 12, 55, {3.0909f, 2.0f, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011935764f, 9400, 12000, 12750, 0.16f},
};

#undef G5

void set3(float out[3], float x, float y, float z) {
    out[0] = x, out[1] = y, out[2] = z;
}

const char* part_name(const char* family, const char* suffix) {
    char buf[96];
    snprintf(buf, sizeof buf, "@%s%s", family, suffix);
    return intern_string(buf);
}

void fill_model(BikeModel* m, const ModelRow& r) {
    *m = BikeModel{};
    m->name = r.name;
    m->engine_class = r.cls;
    bool two_stroke = strcmp(r.cls, "250") == 0 || strcmp(r.cls, "125") == 0;
    bool fifty = strcmp(r.cls, "50") == 0;
    bool four_stroke = !two_stroke && !fifty;

    set3(m->front_wheel_pos, 0, 1.09f, 1.11f);
    m->front_ring_radius = 0.8333f;
    m->front_tube_radius = 0.3333f;
    m->front_rim_mass = 0.40625f;
    m->front_hub_radius = 0.5f;
    m->front_hub_mass = 0.15625f;
    set3(m->rear_wheel_pos, 0, 1.04f, 6);
    m->rear_ring_radius = 0.75f;
    m->rear_tube_radius = 0.3333f;
    m->rear_rim_mass = 0.46875f;
    m->rear_hub_radius = 0.5f;
    m->rear_hub_mass = 0.3125f;

    set3(m->frame_pos, 0, 1.98f, 3.6f);
    m->frame_mass = r.frame_mass;
    set3(m->frame_box, 0.8333f, 1.6667f, 1.6667f);
    set3(m->steering_head_pos, 0, 2.9f, 2.16f);
    set3(m->swingarm_pos, 0, 1.34f, 4.99f);
    set3(m->swingarm_pivot, 0, 1.6f, 4.08f);
    set3(m->lower_fork_pos, 0, 1.77f, 1.59f);
    m->fork_tube_spacing = 0.8333f;
    m->fork_length = 3;
    m->fork_mass = r.fork_mass;
    m->fork_spring_min = r.fork_spring_min;
    m->fork_spring_max = r.fork_spring_min + 537.6f;
    m->fork_preload_min = 0;
    m->fork_preload_max = 0.0833f;
    m->fork_air_gap_min = 0.4167f;
    m->fork_air_gap_max = 0.25f;
    float fork_rebound = four_stroke ? 32 : 30;
    float shock_rebound = four_stroke ? 650 : 600;
    m->fork_damping[0] = 60, m->fork_damping[1] = 60, m->fork_damping[2] = fork_rebound, m->fork_damping[3] = 30;
    m->fork_travel = 1;
    m->swingarm_arm_mass = r.arm_mass;
    m->shock_spring_min = r.shock_spring_min;
    m->shock_spring_max = r.shock_spring_min + 2687.9f;
    m->shock_preload_min = 0;
    m->shock_preload_max = 0.3333f;
    m->shock_damping[0] = 800, m->shock_damping[1] = 200, m->shock_damping[2] = shock_rebound, m->shock_damping[3] = 150;
    m->linkage_mid = 0.2837f;
    m->linkage_end = 0.4134f;
    m->swingarm_max_angle = 0.530304f;
    m->linkage_break = 0.75f;
    set3(m->linkage_slope, 0.3150f, 0.4605f, 0.6070f);

    m->primary_ratio = r.primary;
    m->front_sprocket = r.front_sprocket;
    m->rear_sprocket = r.rear_sprocket;
    for (int i = 0; i < GEAR_COUNT; i++) m->gear_ratio[i] = r.gears[i];
    m->engine_inertia = r.inertia;
    m->clutch_stiffness = fifty ? 1200 : 7500;
    m->clutch_damping = fifty ? 1 : 0.75f;
    double stretch = 12000.0 / r.redline;
    for (int k = 0; k < TORQUE_POINTS; k++) {
        float closed = four_stroke ? four_stroke_closed(k) : two_stroke_closed(k);
        m->closed_torque[k] = fifty ? closed * 0.5f : closed;
        if (r.redline == 12000 && r.torque_scale == 1.0f)
            m->open_torque[k] = crf450_open[k];
        else
            m->open_torque[k] = r.torque_scale * open_torque_at(k * stretch);
    }
    m->shift_down_rpm = r.shift_down;
    m->shift_up_rpm = r.shift_up;
    m->redline_rpm = r.redline;

    set3(m->rider_pos, 0, 4.5f, 4.12f);
    bool heavy = strcmp(r.cls, "450f") == 0 || strcmp(r.cls, "250") == 0;
    m->rider_mass = heavy ? 5.46875f : 4.6875f;

    m->frame_model = part_name(r.family, "_frame.jm");
    m->fork_upper_model = part_name(r.family, "_fork_upper.jm");
    m->fork_lower_model = part_name(r.family, "_fork_lower.jm");
    m->swingarm_model = part_name(r.family, "_swingarm.jm");
    m->bike_texture = part_name(r.family, ".png");
    m->side_plates_model = part_name(r.family, "_side_plates.jm");
    m->front_plate_model = part_name(r.family, "_front_plate.jm");

    for (int s = 0; s < 2; s++) {
        float x = s == 0 ? -1.0f : 1.0f;
        set3(m->grip_pos[s], 1.05f * x, 3.55f, 2.45f);
        set3(m->peg_pos[s], 0.6f * x, 1.45f, 4.05f);
        set3(m->hip_pos[s], 0.45f * x, 4.0f, 4.35f);
        set3(m->shoulder_pos[s], 0.75f * x, 5.2f, 3.4f);
    }
    m->limb_length[0] = 0.9f;
    m->limb_length[1] = 1.15f;
    m->limb_length[2] = 1.328f;
    m->limb_length[3] = 1.701f;
}

struct ModelTable {
    BikeModel models[BIKE_MODEL_COUNT];
    ModelTable() {
        for (int i = 0; i < BIKE_MODEL_COUNT; i++) fill_model(&models[i], rows[i]);
    }
};

const char* const old_names[4][2] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

}  // namespace

const BikeModel* bike_models() {
    static const ModelTable table;
    return table.models;
}

const BikeModel* bike_model_exact(const char* name) {
    if (!name) return nullptr;
    for (const auto& alias : old_names)
        if (strcmp(name, alias[0]) == 0) name = alias[1];
    const BikeModel* models = bike_models();
    const BikeModel* found = nullptr;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (strcmp(models[i].name, name) == 0) found = &models[i];
    return found;
}

const BikeModel* bike_model_find(const char* name) {
    if (const BikeModel* m = bike_model_exact(name)) return m;
    const BikeModel* models = bike_models();
    const char* want = name && strstr(name, "125") ? "125" : "250f";
    const BikeModel* used = &models[0];
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (strstr(models[i].name, want)) {
            used = &models[i];
            break;
        }
    msg_printf("bike info for '%.20s' not found using '%.20s' instead", name ? name : "", used->name);
    return used;
}

}  // namespace gr
