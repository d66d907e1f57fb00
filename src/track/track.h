// The track: loading with its progress screen, and the lighting values the
// terrain shading and the renderer read.
#pragma once

namespace gr {

// ---------------------------------------------------------------------------
// Loading progress

// Shows a message on the loading screen, resets the spinner and logs it.
void loading_begin(const char* message);
// At most every 0.125 s: shows the message with the next spinner suffix
// ("", ".", "..", "...").
void loading_tick(const char* message);
// Shows the message followed by "...done".
void loading_end(const char* message);

// The loading screen's drawing, installed by the renderer (null headless).
extern void (*loading_screen_draw)(const char* text);

// The longest pause between two loading-screen updates so far, and the
// message that was on screen before it (logged after a race set-up).
struct LoadingStats {
    double longest_delay = 0;
    char longest_message[80] = {};
};
extern LoadingStats loading_stats;
void loading_log_longest_delay();

// ---------------------------------------------------------------------------
// Lighting values: defaults from start-up, restored at every lighting load.
struct Lighting {
    float sun_vector[3] = {0.57735026f, 0.57735026f, 0.57735026f};  // unit
    float sun_color[3] = {1, 1, 1};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    float global_ambient[3] = {0.2f, 0.2f, 0.2f};
    float near_plane = 0.25f;
    float far_plane = 5000;
    int dynamic_lighting = 0;
};
extern Lighting lighting;

}  // namespace gr
