// Texture decoding speed: a 1024 x 1024 RGBA PNG decoded through the data
// layer with its mip chain built, against libpng's bare decode of the same
// file. Prints the ratio of the two at the end.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "data/data.h"
#include "gfx/image.h"

namespace {

constexpr int SIZE = 1024;

// A picture like a real texture: smooth gradients, a soft alpha edge and
// some noise, so it compresses neither trivially nor not at all.
const std::string& png_path() {
    static std::string path = [] {
        char tmpl[] = "/tmp/gr_bench_image_XXXXXX";
        std::string dir = mkdtemp(tmpl);
        setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
        setenv("GR_HOME", dir.c_str(), 1);
        std::string p = dir + "/texture.png";
        std::vector<uint8_t> px(size_t(SIZE) * SIZE * 4);
        uint32_t s = 1;
        for (int y = 0; y < SIZE; ++y)
            for (int x = 0; x < SIZE; ++x) {
                s = s * 1103515245u + 12345u;
                uint8_t* q = &px[(size_t(y) * SIZE + x) * 4];
                int noise = int(s >> 28);
                q[0] = uint8_t((x / 4 + noise) & 255);
                q[1] = uint8_t((y / 4 + noise) & 255);
                q[2] = uint8_t(((x ^ y) >> 3) & 255);
                int d = (x - 512) * (x - 512) + (y - 512) * (y - 512);
                q[3] = uint8_t(d < 300 * 300 ? 255 : d > 400 * 400 ? 0 : 128 + noise);
            }
        FILE* f = fopen(p.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_set_IHDR(png, info, SIZE, SIZE, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < SIZE; ++y) png_write_row(png, &px[size_t(y) * SIZE * 4]);
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return p;
    }();
    return path;
}

void BM_LibpngBareDecode(benchmark::State& state) {
    const std::string& path = png_path();
    std::vector<uint8_t> px(size_t(SIZE) * SIZE * 4);
    std::vector<png_bytep> rows(SIZE);
    for (int y = 0; y < SIZE; ++y) rows[y] = &px[size_t(y) * SIZE * 4];
    for (auto _ : state) {
        FILE* f = fopen(path.c_str(), "rb");
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_read_info(png, info);
        png_read_image(png, rows.data());
        png_read_end(png, info);
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        benchmark::DoNotOptimize(px.data());
    }
}
BENCHMARK(BM_LibpngBareDecode)->Unit(benchmark::kMillisecond);

void BM_ImageDecode(benchmark::State& state) {
    const std::string& path = png_path();
    for (auto _ : state) {
        gr::ImageData img;
        if (!gr::image_read(path.c_str(), &img)) state.SkipWithError(gr::image_last_error());
        benchmark::DoNotOptimize(img.pixels.data());
    }
}
BENCHMARK(BM_ImageDecode)->Unit(benchmark::kMillisecond);

void BM_ImageDecodeWithMips(benchmark::State& state) {
    const std::string& path = png_path();
    for (auto _ : state) {
        gr::ImageData img;
        if (!gr::image_read(path.c_str(), &img)) state.SkipWithError(gr::image_last_error());
        gr::image_build_mips(&img, false);
        if (img.levels != 11) state.SkipWithError("wrong mip chain");
        benchmark::DoNotOptimize(img.pixels.data());
    }
}
BENCHMARK(BM_ImageDecodeWithMips)->Unit(benchmark::kMillisecond);

// Remembers each run's time per iteration so the ratio can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double bare = reporter.times["BM_LibpngBareDecode"];
    if (bare > 0) {
        for (const char* name : {"BM_ImageDecode", "BM_ImageDecodeWithMips"})
            if (reporter.times.count(name)) printf("%s / BM_LibpngBareDecode = %.2f\n", name, reporter.times[name] / bare);
    }
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(png_path()).parent_path(), ec);
    return 0;
}
