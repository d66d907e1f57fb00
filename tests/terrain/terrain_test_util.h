// Small hand-made tracks for the terrain tests.
#pragma once

#include <string>
#include <vector>

#include "data/data.h"
#include "support/test_dirs.h"

namespace terraintest {

// A track directory "tracks/t" with a field of size exponent n: terrain.hf
// with inline samples from `sample(c, r)`, a mid-grey shading.ppm, a tileinfo
// with `surfaces` plain surfaces and a tilemap of zeros.
struct TrackFiles {
    int n = 2;
    float spacing = 2, low = 0, high = 100;
    int surfaces = 2;
    bool inline_samples = true;
};

inline std::string ppm(int w, int h, unsigned char v) {
    std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    s.append(size_t(w) * size_t(h) * 3, char(v));
    return s;
}

template <typename F>
void write_track(const std::string& dir, const TrackFiles& tf, F sample) {
    int S = 1 << tf.n, D = 2 * S + 1;
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n", tf.n, tf.spacing, tf.low, tf.high);
    std::string hf = header;
    if (tf.inline_samples) {
        hf += ":";
        for (int r = 0; r < D; r++)
            for (int c = 0; c < D; c++) {
                unsigned v = sample(c, r);
                hf += char(v & 255);
                hf += char(v >> 8);
            }
    }
    grtest::write_file(dir + "terrain.hf", hf);
    grtest::write_file(dir + "shading.ppm", ppm(D, D, 200));
    std::string ti;
    for (int i = 0; i < tf.surfaces; i++) ti += "friction " + std::to_string(i + 1) + " 5\naddtile\n";
    grtest::write_file(dir + "tileinfo", ti);
    grtest::write_file(dir + "tilemap", std::string(size_t(S) * size_t(S), '\0'));
}

// The newest `n` lines of the message list, oldest first.
inline std::vector<std::string> last_messages(int n) {
    std::vector<std::string> out;
    for (int k = n; k >= 1; k--) {
        int i = (gr::messages.next - k + gr::MESSAGE_RING) % gr::MESSAGE_RING;
        std::string s = gr::messages.lines[i];
        while (!s.empty() && s.back() == '\n') s.pop_back();
        out.push_back(s);
    }
    return out;
}

}  // namespace terraintest
