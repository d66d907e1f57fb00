// Reading gzip data: the header is parsed by hand, the rest is raw deflate
// inflated by zlib in 16384-byte input blocks into a 1024-byte output buffer.
// The trailer (CRC-32 and size) is not checked.
#include <cstring>
#include <zlib.h>

#include "data/data_local.h"

namespace gr {

struct GzipReader {
    DataFile* file = nullptr;
    z_stream zs{};
    bool inflating = false;        // inflateInit2 succeeded
    bool ended = false;            // end of stream, truncation or error
    int64_t compressed_left = 0;   // raw bytes of the member still unread
    size_t out_pos = 0, out_len = 0;
    unsigned char in[16384];
    unsigned char out[1024];
};

namespace {

size_t read_block(GzipReader* g) {
    size_t want = sizeof g->in;
    if (g->compressed_left < int64_t(want)) want = size_t(g->compressed_left);
    size_t n = datafile_read_raw(g->file, g->in, want);
    g->compressed_left = n ? g->compressed_left - int64_t(n) : 0;
    return n;
}

// Returns the offset of the deflate data in the first block, or -1.
long parse_header(const unsigned char* b, size_t n) {
    if (n < 10 || b[0] != 0x1F || b[1] != 0x8B || b[2] != 8 || b[3] >= 32) return -1;
    unsigned flags = b[3];
    size_t p = 10;  // time, extra flags and system skipped
    if (flags & 0x04) {
        if (p + 2 > n) return -1;
        size_t xlen = b[p] | (size_t(b[p + 1]) << 8);
        p += 2;
        if (xlen > n - p) return -1;
        p += xlen;
    }
    for (unsigned bit : {0x08u, 0x10u}) {  // name, then comment
        if (!(flags & bit)) continue;
        while (p < n && b[p]) p++;
        if (p >= n) return -1;
        p++;
    }
    if (flags & 0x02) {
        if (p + 2 > n) return -1;
        p += 2;
    }
    return long(p);
}

bool refill(GzipReader* g) {
    g->out_pos = g->out_len = 0;
    while (!g->ended) {
        if (g->zs.avail_in == 0) {
            size_t n = g->compressed_left > 0 ? read_block(g) : 0;
            g->zs.next_in = g->in;
            g->zs.avail_in = uInt(n);
        }
        bool no_input = g->zs.avail_in == 0;
        g->zs.next_out = g->out;
        g->zs.avail_out = sizeof g->out;
        int r = inflate(&g->zs, Z_NO_FLUSH);
        g->out_len = sizeof g->out - g->zs.avail_out;
        if (r == Z_STREAM_END) g->ended = true;
        else if (r != Z_OK && r != Z_BUF_ERROR) g->ended = true;  // corrupt data
        else if (g->out_len == 0 && no_input) g->ended = true;    // truncated
        if (g->out_len) return true;
    }
    return false;
}

}  // namespace

GzipReader* gzip_reader_create(DataFile* f) {
    GzipReader* g = new GzipReader;
    g->file = f;
    g->compressed_left = f->length;
    size_t n = read_block(g);
    long start = parse_header(g->in, n);
    if (start < 0 || inflateInit2(&g->zs, -15) != Z_OK) {
        delete g;
        return nullptr;
    }
    g->inflating = true;
    g->zs.next_in = g->in + start;
    g->zs.avail_in = uInt(n - size_t(start));
    return g;
}

int gzip_reader_getc(GzipReader* g) {
    if (g->out_pos >= g->out_len && !refill(g)) return -1;
    return g->out[g->out_pos++];
}

size_t gzip_reader_read(GzipReader* g, void* buf, size_t n) {
    unsigned char* out = static_cast<unsigned char*>(buf);
    size_t done = 0;
    while (done < n) {
        if (g->out_pos >= g->out_len && !refill(g)) break;
        size_t k = g->out_len - g->out_pos;
        if (k > n - done) k = n - done;
        memcpy(out + done, g->out + g->out_pos, k);
        g->out_pos += k;
        done += k;
    }
    return done;
}

void gzip_reader_destroy(GzipReader* g) {
    if (g->inflating) inflateEnd(&g->zs);
    delete g;
}

}  // namespace gr
