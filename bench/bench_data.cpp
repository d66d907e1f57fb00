// Data layer speed: building the file index over many loose files and a large
// archive, and reading a 4 MB gzip member byte by byte against zlib's own reader.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <zlib.h>

#include "data/data.h"

namespace {

struct BenchData {
    std::string root, program;
    std::string gz_path;  // the same gzip bytes as a loose file, for gzread
    size_t plain_size = 0;
};

void write(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string gzip(const std::string& in) {
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, uLong(in.size())) + 64, '\0');
    zs.next_in = (Bytef*)in.data();
    zs.avail_in = uInt(in.size());
    zs.next_out = (Bytef*)out.data();
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

const BenchData& bench_data() {
    static BenchData d = [] {
        BenchData b;
        char tmpl[] = "/tmp/gr_bench_XXXXXX";
        b.root = mkdtemp(tmpl);
        b.program = b.root + "/program/";
        for (int i = 0; i < 10000; i++)
            write(b.program + "dir" + std::to_string(i % 50) + "/file" + std::to_string(i) + ".txt", "x");

        // A text-like 4 MB member: compressible but not trivially.
        std::string text;
        uint32_t s = 12345;
        while (text.size() < 4u << 20) {
            s = s * 1103515245u + 12345u;
            text += "gate " + std::to_string(s >> 20) + " " + std::to_string((s >> 8) & 1023) + "\n";
        }
        b.plain_size = text.size();
        std::string gz = gzip(text);
        std::string dir, data;
        for (int i = 0; i < 5000; i++) {
            std::string m = "member " + std::to_string(i) + "\n";
            dir += std::to_string(m.size()) + " pack/m" + std::to_string(i) + "\n";
            data += m;
        }
        dir += std::to_string(gz.size()) + " big.txt.gz\n";
        data += gz;
        write(b.program + "pack.saf", dir + "-\n" + data);
        b.gz_path = b.root + "/big.txt.gz";
        write(b.gz_path, gz);

        setenv("XDG_DATA_HOME", (b.root + "/xdg").c_str(), 1);
        setenv("GR_HOME", b.program.c_str(), 1);
        return b;
    }();
    return d;
}

void BM_BuildIndex(benchmark::State& state) {
    bench_data();
    for (auto _ : state) {
        gr::data_free();
        benchmark::DoNotOptimize(gr::file_list_count());
    }
    state.counters["entries"] = gr::file_list_count();
}
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond);

void BM_FileGetcGzipMember(benchmark::State& state) {
    const BenchData& b = bench_data();
    for (auto _ : state) {
        gr::DataFile* f = gr::file_open("@big.txt", "rb");
        size_t n = 0;
        unsigned sum = 0;
        for (int c; (c = gr::file_getc(f)) >= 0; n++) sum += unsigned(c);
        gr::file_close(f);
        if (n != b.plain_size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.plain_size));
}
BENCHMARK(BM_FileGetcGzipMember)->Unit(benchmark::kMillisecond);

void BM_ZlibGzgetc(benchmark::State& state) {
    const BenchData& b = bench_data();
    for (auto _ : state) {
        gzFile g = gzopen(b.gz_path.c_str(), "rb");
        size_t n = 0;
        unsigned sum = 0;
        for (int c; (c = gzgetc(g)) >= 0; n++) sum += unsigned(c);
        gzclose(g);
        if (n != b.plain_size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.plain_size));
}
BENCHMARK(BM_ZlibGzgetc)->Unit(benchmark::kMillisecond);

void BM_ZlibGzreadBulk(benchmark::State& state) {
    const BenchData& b = bench_data();
    static char buf[65536];
    for (auto _ : state) {
        gzFile g = gzopen(b.gz_path.c_str(), "rb");
        size_t n = 0;
        unsigned sum = 0;
        for (int k; (k = gzread(g, buf, sizeof buf)) > 0;) {
            for (int i = 0; i < k; i++) sum += (unsigned char)buf[i];
            n += size_t(k);
        }
        gzclose(g);
        if (n != b.plain_size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.plain_size));
}
BENCHMARK(BM_ZlibGzreadBulk)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
