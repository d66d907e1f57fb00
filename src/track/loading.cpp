// Loading progress: the message on the loading screen with its spinner, and
// the longest delay between two updates.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "data/data.h"
#include "track/track.h"

namespace gr {

void (*loading_screen_draw)(const char* text) = nullptr;
LoadingStats loading_stats;

namespace {

// Spinner state; reset by every loading_begin.
struct LoadingState {
    int spinner = 0;
    double last_tick = -1;
    double last_update = -1;
    char shown[80] = {};
};
LoadingState loading_state;

double now_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void show(const char* text) {
    double now = now_seconds();
    if (loading_state.last_update >= 0) {
        double delay = now - loading_state.last_update;
        if (delay > loading_stats.longest_delay) {
            loading_stats.longest_delay = delay;
            snprintf(loading_stats.longest_message, sizeof loading_stats.longest_message, "%.79s",
                     loading_state.shown);
        }
    }
    loading_state.last_update = now;
    snprintf(loading_state.shown, sizeof loading_state.shown, "%.79s", text);
    if (loading_screen_draw) loading_screen_draw(text);
}

}  // namespace

void loading_begin(const char* message) {
    loading_state.spinner = 0;
    loading_state.last_tick = now_seconds();
    log_printf("%s\n", message);
    show(message);
}

void loading_tick(const char* message) {
    double now = now_seconds();
    if (loading_state.last_tick >= 0 && now - loading_state.last_tick < 0.125) return;
    loading_state.last_tick = now;
    static const char* const suffix[] = {"", ".", "..", "..."};
    char text[80];
    snprintf(text, sizeof text, "%.64s%s", message, suffix[loading_state.spinner]);
    loading_state.spinner = (loading_state.spinner + 1) % 4;
    show(text);
}

void loading_end(const char* message) {
    char text[80];
    snprintf(text, sizeof text, "%.64s...done", message);
    show(text);
}

void loading_log_longest_delay() {
    log_printf("Max loading delay was %f (%s)\n", loading_stats.longest_delay, loading_stats.longest_message);
}

}  // namespace gr
