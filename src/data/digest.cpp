// RIPEMD-160 through nettle.
#include <nettle/ripemd160.h>

// nettle names its functions through macros that would rename ours.
#undef ripemd160_init
#undef ripemd160_update
#undef ripemd160_digest

#include "data/data.h"

namespace gr {

static_assert(sizeof(ripemd160_ctx) <= sizeof(Ripemd160::state), "Ripemd160 state too small");

static ripemd160_ctx* ctx(Ripemd160* r) { return reinterpret_cast<ripemd160_ctx*>(r->state); }

void ripemd160_init(Ripemd160* r) { nettle_ripemd160_init(ctx(r)); }

void ripemd160_update(Ripemd160* r, const void* data, size_t n) {
    nettle_ripemd160_update(ctx(r), n, static_cast<const uint8_t*>(data));
}

void ripemd160_final(Ripemd160* r, uint8_t out[20]) { nettle_ripemd160_digest(ctx(r), RIPEMD160_DIGEST_SIZE, out); }

void digest_hex(const uint8_t digest[20], char out[41]) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < 20; i++) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    out[40] = 0;
}

void ripemd160_hex(const void* data, size_t n, char out[41]) {
    Ripemd160 r;
    uint8_t d[20];
    ripemd160_init(&r);
    ripemd160_update(&r, data, n);
    ripemd160_final(&r, d);
    digest_hex(d, out);
}

}  // namespace gr
