// The model table: order, classes, the reference rows, the torque-curve
// layout of every model, and lookup with its fallback.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "bike/bike.h"
#include "data/data.h"

namespace {

const gr::BikeModel* model(const char* name) {
    const gr::BikeModel* m = gr::bike_model_exact(name);
    EXPECT_NE(m, nullptr) << name;
    return m;
}

TEST(BikeModels, OrderAndClasses) {
    const gr::BikeModel* m = gr::bike_models();
    EXPECT_STREQ(m[0].name, "450sxf(2016)");
    EXPECT_STREQ(m[10].name, "350sxf(2013)");
    EXPECT_STREQ(m[41].name, "cr125");
    EXPECT_STREQ(m[45].name, "125sx");
    EXPECT_STREQ(m[50].name, "yz250f_se(2006)");
    EXPECT_STREQ(m[54].name, "rs50yz");
    std::map<std::string, int> count;
    for (int i = 0; i < gr::BIKE_MODEL_COUNT; i++) count[m[i].engine_class]++;
    EXPECT_EQ(count["450f"], 16);
    EXPECT_EQ(count["250f"], 25);
    EXPECT_EQ(count["250"], 5);
    EXPECT_EQ(count["125"], 5);
    EXPECT_EQ(count["50"], 4);
}

struct TellingRow {
    const char* name;
    const char* cls;
    float frame, fork, fork_min, fork_max, arm, shock_min, shock_max, primary, fs, rs;
    float gears[6];
    float inertia, clutch_k, clutch_d, down, up, red, rider;
};

TEST(BikeModels, TellingRowsAreExact) {
    const TellingRow rows[] = {
        {"crf450(2016)", "450f", 4.735f, 0.7031f, 376.3f, 913.9f, 0.5025f, 2486.3f, 5174.2f, 2.7391f, 13, 48,
         {1.8f, 1.4706f, 1.2353f, 1.05f, 0.9091f, -1}, 0.00885009765625f, 7500, 0.75f, 6000, 10500, 12000, 5.46875f},
        {"yz250f(2016)", "250f", 4.24f, 0.7031f, 336.0f, 873.6f, 0.5044f, 2217.5f, 4905.4f, 3.3529f, 13, 50,
         {2.1429f, 1.75f, 1.4444f, 1.2222f, 1.0417f, -1}, 0.0048828125f, 7500, 0.75f, 8000, 12500, 13250, 4.6875f},
        {"cr250(2007)", "250", 4.3656f, 0.7538f, 322.5f, 860.1f, 0.5894f, 2083.1f, 4771.0f, 3, 13, 49,
         {1.8f, 1.4706f, 1.2105f, 1, 0.8696f, -1}, 0.0068359375f, 7500, 0.75f, 6000, 9000, 10500, 5.46875f},
        {"yz125", "125", 3.6538f, 0.7397f, 322.5f, 860.1f, 0.5419f, 1814.3f, 4502.2f, 3.3684f, 13, 48,
         {2.3846f, 1.9333f, 1.5882f, 1.3529f, 1.2f, 1.0952f}, 0.0048828125f, 7500, 0.75f, 9400, 12000, 12750, 4.6875f},
        {"rs50yz", "50", 3.3413f, 0.7397f, 309.1f, 846.7f, 0.5419f, 1814.3f, 4502.2f, 3.7143f, 12, 55,
         {3.0909f, 2, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011935764f, 1200, 1, 9400, 12000, 12750, 4.6875f},
    };
    for (const TellingRow& r : rows) {
        SCOPED_TRACE(r.name);
        const gr::BikeModel* m = model(r.name);
        ASSERT_NE(m, nullptr);
        EXPECT_STREQ(m->engine_class, r.cls);
        EXPECT_FLOAT_EQ(m->frame_mass, r.frame);
        EXPECT_FLOAT_EQ(m->fork_mass, r.fork);
        EXPECT_NEAR(m->fork_spring_min, r.fork_min, 1e-3);
        EXPECT_NEAR(m->fork_spring_max, r.fork_max, 1e-3);
        EXPECT_FLOAT_EQ(m->swingarm_arm_mass, r.arm);
        EXPECT_NEAR(m->shock_spring_min, r.shock_min, 1e-2);
        EXPECT_NEAR(m->shock_spring_max, r.shock_max, 1e-2);
        EXPECT_FLOAT_EQ(m->primary_ratio, r.primary);
        EXPECT_EQ(m->front_sprocket, r.fs);
        EXPECT_EQ(m->rear_sprocket, r.rs);
        for (int g = 0; g < 6; g++) {
            if (r.gears[g] > 0)
                EXPECT_FLOAT_EQ(m->gear_ratio[g], r.gears[g]) << g;
            else
                EXPECT_LE(m->gear_ratio[g], 0) << g;
        }
        EXPECT_FLOAT_EQ(m->engine_inertia, r.inertia);
        EXPECT_EQ(m->clutch_stiffness, r.clutch_k);
        EXPECT_EQ(m->clutch_damping, r.clutch_d);
        EXPECT_EQ(m->shift_down_rpm, r.down);
        EXPECT_EQ(m->shift_up_rpm, r.up);
        EXPECT_EQ(m->redline_rpm, r.red);
        EXPECT_EQ(m->rider_mass, r.rider);
    }
}

TEST(BikeModels, ReferenceTorqueCurves) {
    const gr::BikeModel* m = model("crf450(2016)");
    ASSERT_NE(m, nullptr);
    const float open[25] = {5, 5, 5, 5, 5, 8.648f, 12.30f, 15.95f, 19.59f, 23.24f, 26.89f, 30.27f, 33.18f,
                            33.94f, 34.14f, 34.10f, 33.15f, 29.66f, 26.73f, 24.22f, 22.58f, 21.36f, 20.72f, 10.36f, 0};
    for (int k = 0; k < 25; k++) EXPECT_FLOAT_EQ(m->open_torque[k], open[k]) << k;
    for (int k = 25; k < gr::TORQUE_POINTS; k++) EXPECT_FLOAT_EQ(m->open_torque[k], float(-10 - (k - 25))) << k;
    const float closed_start[8] = {2, 2, 1, 0, -1, -1, -2, -2};
    for (int k = 0; k < 8; k++) EXPECT_FLOAT_EQ(m->closed_torque[k], closed_start[k]) << k;
    EXPECT_FLOAT_EQ(m->closed_torque[48], -23);
    EXPECT_FLOAT_EQ(m->closed_torque[49], -23);
}

// Every model keeps the data within the documented ranges and the torque
// layout that keeps the engine from over-revving and lets it idle.
TEST(BikeModels, EveryModelIsPlausible) {
    const gr::BikeModel* models = gr::bike_models();
    for (int i = 0; i < gr::BIKE_MODEL_COUNT; i++) {
        const gr::BikeModel& m = models[i];
        SCOPED_TRACE(m.name);
        EXPECT_GE(m.frame_mass, 3.341f);
        EXPECT_LE(m.frame_mass, 4.735f);
        EXPECT_GE(m.fork_mass, 0.703f);
        EXPECT_LE(m.fork_mass, 0.754f);
        EXPECT_GE(m.swingarm_arm_mass, 0.5025f);
        EXPECT_LE(m.swingarm_arm_mass, 0.5894f);
        EXPECT_GE(m.primary_ratio, 2.375f);
        EXPECT_LE(m.primary_ratio, 3.7143f);
        EXPECT_GE(m.front_sprocket, 12);
        EXPECT_LE(m.front_sprocket, 14);
        EXPECT_GE(m.rear_sprocket, 48);
        EXPECT_LE(m.rear_sprocket, 55);
        EXPECT_GE(m.engine_inertia, 0.0011935764f);
        EXPECT_LE(m.engine_inertia, 0.00885009765625f);
        EXPECT_LT(m.fork_spring_min, m.fork_spring_max);
        EXPECT_LT(m.shock_spring_min, m.shock_spring_max);
        EXPECT_LT(m.shift_down_rpm, m.shift_up_rpm);
        EXPECT_LT(m.shift_up_rpm, m.redline_rpm);
        EXPECT_GT(m.gear_ratio[0], 0);
        for (int g = 1; g < 5; g++) EXPECT_LT(m.gear_ratio[g], m.gear_ratio[g - 1]);

        // Full throttle: positive up to near the red line, then negative and
        // falling steeply.
        int zero = -1;
        for (int k = 0; k < gr::TORQUE_POINTS && zero < 0; k++)
            if (m.open_torque[k] <= 0) zero = k;
        ASSERT_GE(zero, 0);
        EXPECT_NEAR(zero * 500.0, m.redline_rpm, 500.0);
        for (int k = zero + 1; k < gr::TORQUE_POINTS; k++) EXPECT_LT(m.open_torque[k], m.open_torque[k - 1]) << k;
        EXPECT_LT(m.open_torque[gr::TORQUE_POINTS - 1], -3 * m.open_torque[0]);
        // Throttle shut: crosses zero at 1500 rpm.
        EXPECT_GT(m.closed_torque[2], 0);
        EXPECT_EQ(m.closed_torque[3], 0);
        EXPECT_LT(m.closed_torque[4], 0);
        if (strcmp(m.engine_class, "50") != 0) {
            EXPECT_EQ(m.closed_torque[0], 2);
        }
    }
}

std::string last_message() {
    int i = (gr::messages.next - 1 + gr::MESSAGE_RING) % gr::MESSAGE_RING;
    std::string s = gr::messages.lines[i];
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

TEST(BikeModels, LookupWithAliasesAndFallback) {
    EXPECT_STREQ(gr::bike_model_exact("yz125")->name, "yz125");
    EXPECT_EQ(gr::bike_model_exact("YZ125"), nullptr);
    const char* aliases[4][2] = {{"crf250", "crf250(2008)"}, {"kx250f", "kx250f(2008)"},
                                 {"rmz250", "rmz250(2008)"}, {"yz250f", "yz250f(2008)"}};
    for (auto& a : aliases) EXPECT_STREQ(gr::bike_model_exact(a[0])->name, a[1]);

    struct Case {
        const char* asked;
        const char* used;
    };
    const Case cases[] = {{"mystery125", "cr125"}, {"cr500(1990)", "kx250f(2016)"}, {"", "kx250f(2016)"}};
    for (const Case& c : cases) {
        gr::messages_clear();
        EXPECT_STREQ(gr::bike_model_find(c.asked)->name, c.used) << c.asked;
        EXPECT_EQ(last_message(), std::string("bike info for '") + c.asked + "' not found using '" + c.used + "' instead");
    }
    // Long names are cut in the message.
    gr::messages_clear();
    gr::bike_model_find("abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(last_message(), "bike info for 'abcdefghijklmnopqrst' not found using 'kx250f(2016)' instead");
    // An exact match says nothing.
    gr::messages_clear();
    gr::bike_model_find("rs50kx");
    EXPECT_EQ(gr::messages.shown, 0);
}

}  // namespace
