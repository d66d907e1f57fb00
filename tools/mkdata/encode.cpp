// Utilities of the generator: the file tree, randomness and noise, picture
// drawing, PNG/PPM/PGM and gzip encoders, scrambling and archive packing.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <set>
#include <zlib.h>

#include "data/data.h"
#include "mkdata/mkdata.h"

namespace mkdata {

void DataTree::add(const std::string& archive, const std::string& name, Bytes data) {
    files[name] = OutFile{archive, std::move(data)};
}

void DataTree::add_text(const std::string& archive, const std::string& name, const std::string& text) {
    add(archive, name, Bytes(text.begin(), text.end()));
}

std::string fmt(const char* format, ...) {
    va_list ap, ap2;
    va_start(ap, format);
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    vsnprintf(s.data(), s.size() + 1, format, ap2);
    va_end(ap2);
    return s;
}

// ---------------------------------------------------------------------------
// Randomness and noise

uint64_t Rng::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

uint32_t hash32(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

double value_noise(double x, double y, uint32_t seed, int period) {
    double fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    ty = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    auto corner = [&](int cx, int cy) {
        if (period > 0) {
            cx = ((cx % period) + period) % period;
            cy = ((cy % period) + period) % period;
        }
        return double(hash32(cx, cy, seed)) * (2.0 / 4294967295.0) - 1.0;
    };
    double a = corner(ix, iy), b = corner(ix + 1, iy), c = corner(ix, iy + 1), d = corner(ix + 1, iy + 1);
    return lerp(lerp(a, b, tx), lerp(c, d, tx), ty);
}

double fbm(double x, double y, uint32_t seed, int octaves, double gain, int period) {
    double sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * value_noise(x, y, seed + uint32_t(o) * 101u, period);
        norm += amp;
        amp *= gain;
        x *= 2;
        y *= 2;
        if (period) period *= 2;
    }
    return sum / norm;
}

// ---------------------------------------------------------------------------
// Drawing

void Picture::blend(int x, int y, const double rgba[4], double a) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    a = clampd(a * rgba[3], 0, 1);
    if (a <= 0) return;
    uint8_t* p = at(x, y);
    if (channels == 4) {
        double da = p[3] / 255.0;
        double oa = a + da * (1 - a);
        for (int k = 0; k < 3; k++) {
            double c = oa > 0 ? (rgba[k] * 255 * a + p[k] * da * (1 - a)) / oa : 0;
            p[k] = uint8_t(clampd(c + 0.5, 0, 255));
        }
        p[3] = uint8_t(clampd(oa * 255 + 0.5, 0, 255));
    } else {
        for (int k = 0; k < channels && k < 3; k++) p[k] = uint8_t(clampd(p[k] + (rgba[k] * 255 - p[k]) * a + 0.5, 0, 255));
    }
}

void Picture::fill_circle(double cx, double cy, double r, const double rgba[4]) {
    for (int y = int(cy - r - 1); y <= int(cy + r + 1); y++)
        for (int x = int(cx - r - 1); x <= int(cx + r + 1); x++) {
            double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            blend(x, y, rgba, clampd(r - d + 0.5, 0, 1));
        }
}

void Picture::fill_rect(double x0, double y0, double x1, double y1, const double rgba[4]) {
    for (int y = int(std::floor(y0)); y < int(std::ceil(y1)); y++)
        for (int x = int(std::floor(x0)); x < int(std::ceil(x1)); x++) {
            double cx = clampd(std::fmin(x + 1, x1) - std::fmax(x, x0), 0, 1);
            double cy = clampd(std::fmin(y + 1, y1) - std::fmax(y, y0), 0, 1);
            blend(x, y, rgba, cx * cy);
        }
}

void Picture::line(double x0, double y0, double x1, double y1, double r, const double rgba[4]) {
    double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int y = int(std::fmin(y0, y1) - r - 1); y <= int(std::fmax(y0, y1) + r + 1); y++)
        for (int x = int(std::fmin(x0, x1) - r - 1); x <= int(std::fmax(x0, x1) + r + 1); x++) {
            double px = x + 0.5 - x0, py = y + 0.5 - y0;
            double t = len2 > 0 ? clampd((px * dx + py * dy) / len2, 0, 1) : 0;
            double d = std::hypot(px - t * dx, py - t * dy);
            blend(x, y, rgba, clampd(r - d + 0.5, 0, 1));
        }
}

// ---------------------------------------------------------------------------
// Encoders

namespace {

void png_to_bytes(png_structp png, png_bytep data, size_t n) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void png_no_flush(png_structp) {}

Bytes png_write(int width, int height, int color_type, int depth, const std::vector<const uint8_t*>& rows) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Bytes();
    }
    png_set_write_fn(png, &out, png_to_bytes, png_no_flush);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, color_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (const uint8_t* r : rows) png_write_row(png, const_cast<png_bytep>(r));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

Bytes png_encode(const Picture& p) {
    std::vector<const uint8_t*> rows;
    for (int y = 0; y < p.height; y++) rows.push_back(&p.px[size_t(y) * p.width * p.channels]);
    int type = p.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : p.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB;
    return png_write(p.width, p.height, type, 8, rows);
}

Bytes png_encode_gray16(const std::vector<uint16_t>& v, int width, int height) {
    std::vector<uint8_t> be(v.size() * 2);
    for (size_t i = 0; i < v.size(); i++) {
        be[2 * i] = uint8_t(v[i] >> 8);
        be[2 * i + 1] = uint8_t(v[i] & 255);
    }
    std::vector<const uint8_t*> rows;
    for (int y = 0; y < height; y++) rows.push_back(&be[size_t(y) * width * 2]);
    return png_write(width, height, PNG_COLOR_TYPE_GRAY, 16, rows);
}

Bytes ppm_encode(const Picture& p) {
    std::string h = fmt("P6\n%d %d\n255\n", p.width, p.height);
    Bytes out(h.begin(), h.end());
    for (size_t i = 0; i < size_t(p.width) * p.height; i++)
        for (int k = 0; k < 3; k++) out.push_back(p.px[i * p.channels + size_t(k < p.channels ? k : 0)]);
    return out;
}

Bytes pgm_encode(const std::vector<uint8_t>& v, int width, int height) {
    std::string h = fmt("P5\n%d %d\n255\n", width, height);
    Bytes out(h.begin(), h.end());
    out.insert(out.end(), v.begin(), v.end());
    return out;
}

Bytes gzip_encode(const Bytes& in) {
    z_stream zs{};
    // Window bits 15 + 16 asks zlib for a gzip wrapper; its header has no
    // name and a zero time, so the bytes depend on the input alone.
    if (deflateInit2(&zs, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return Bytes();
    Bytes out(deflateBound(&zs, uLong(in.size())) + 64);
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = uInt(in.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) return Bytes();
    return out;
}

Bytes scramble(Bytes in) {
    gr::scramble_bytes(in.data(), in.size(), 0);
    return in;
}

// ---------------------------------------------------------------------------
// Archives

Bytes archive_bytes(const DataTree& tree, const std::string& archive) {
    std::string dir;
    size_t total = 0;
    for (const auto& [name, f] : tree.files) {
        if (f.archive != archive) continue;
        dir += fmt("%zu %s\n", f.data.size(), name.c_str());
        total += f.data.size();
    }
    dir += "-\n";
    Bytes out(dir.begin(), dir.end());
    out.reserve(out.size() + total);
    for (const auto& [name, f] : tree.files)
        if (f.archive == archive) out.insert(out.end(), f.data.begin(), f.data.end());
    return out;
}

bool write_archives(const DataTree& tree, const std::string& dir) {
    std::set<std::string> archives;
    for (const auto& kv : tree.files) archives.insert(kv.second.archive);
    for (const std::string& a : archives) {
        Bytes b = archive_bytes(tree, a);
        std::string path = dir + "/" + a, tmp = path + ".tmp";
        FILE* f = fopen(tmp.c_str(), "wb");
        if (!f) {
            fprintf(stderr, "gr_mkdata: can't create %s\n", tmp.c_str());
            return false;
        }
        bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
        ok = (fclose(f) == 0) && ok;
        if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
            fprintf(stderr, "gr_mkdata: can't write %s\n", path.c_str());
            remove(tmp.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace mkdata
