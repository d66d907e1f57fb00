// Terrain query speed on a 2049 x 2049 field: height and normal under random
// points against a bare bilinear lookup of the same array, and re-shading the
// whole field.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <cmath>
#include <random>
#include <vector>

#include "data/data.h"
#include "terrain/terrain.h"

namespace {

const int N = 10;  // 2^10: 2049 samples a side

void make_field() {
    static bool made = false;
    if (made) return;
    made = true;
    benchsupport::flat_field(N, 2);
    gr::Terrain& t = gr::terrain;
    size_t D = size_t(t.dim);
    for (size_t r = 0; r < D; r++)
        for (size_t c = 0; c < D; c++)
            t.heights[r * D + c] = 20.0f * std::sin(float(c) * 0.01f) * std::cos(float(r) * 0.013f);
}

std::vector<float> random_points() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0, float(2 << N) * 2.0f);
    std::vector<float> p(2 * 4096);
    for (float& v : p) v = u(rng);
    return p;
}

float bilinear(float x, float z) {
    const gr::Terrain& t = gr::terrain;
    float u = x / t.spacing, v = z / t.spacing;
    int i = int(u), j = int(v);
    if (i > t.dim - 2) i = t.dim - 2;
    if (j > t.dim - 2) j = t.dim - 2;
    float fu = u - float(i), fv = v - float(j);
    const float* h = t.heights + size_t(j) * size_t(t.dim) + size_t(i);
    float a = h[0] + fu * (h[1] - h[0]);
    float b = h[t.dim] + fu * (h[t.dim + 1] - h[t.dim]);
    return a + fv * (b - a);
}

void BM_BareBilinear(benchmark::State& state) {
    make_field();
    std::vector<float> p = random_points();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bilinear(p[k], p[k + 1]));
        k = (k + 2) & (p.size() - 1);
    }
}
BENCHMARK(BM_BareBilinear);

void BM_HeightAt(benchmark::State& state) {
    make_field();
    std::vector<float> p = random_points();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gr::terrain_height_at(p[k], p[k + 1]));
        k = (k + 2) & (p.size() - 1);
    }
}
BENCHMARK(BM_HeightAt);

void BM_NormalAt(benchmark::State& state) {
    make_field();
    std::vector<float> p = random_points();
    size_t k = 0;
    float n[3];
    for (auto _ : state) {
        gr::terrain_normal_at(p[k], p[k + 1], n);
        benchmark::DoNotOptimize(n);
        k = (k + 2) & (p.size() - 1);
    }
}
BENCHMARK(BM_NormalAt);

void BM_MarkChangedWholeField(benchmark::State& state) {
    make_field();
    for (auto _ : state) gr::terrain_mark_changed(0, 0, gr::terrain.dim - 1, gr::terrain.dim - 1);
    state.counters["vertices"] = double(gr::terrain.dim) * gr::terrain.dim;
}
BENCHMARK(BM_MarkChangedWholeField)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
