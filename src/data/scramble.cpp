// Scrambled data (".scram"): every byte is XORed with a keystream byte that
// depends only on the program's key and the byte's position in the stream.
// Keystream block k (eight bytes) is splitmix64(key + k * golden), so any
// offset can be reached without running the stream from the start. The same
// call scrambles and descrambles. This keeps casual eyes off packed data; it
// is not a cipher.
#include <cstdio>

#include "data/data_local.h"

namespace gr {

namespace {

const uint64_t scramble_key = 0x4772617665c72756ull;  // "Gravelrun"-ish, fixed forever

uint64_t keystream_block(uint64_t k) {
    uint64_t z = scramble_key + k * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

void scramble_bytes(uint8_t* buf, size_t n, uint64_t offset) {
    uint64_t block = offset >> 3;
    uint64_t ks = keystream_block(block);
    for (size_t i = 0; i < n; i++, offset++) {
        if ((offset >> 3) != block) {
            block = offset >> 3;
            ks = keystream_block(block);
        }
        buf[i] ^= uint8_t(ks >> ((offset & 7) * 8));
    }
}

struct Descrambler {
    FILE* file = nullptr;
    uint64_t offset = 0;  // stream position of the next byte read
};

Descrambler* descrambler_create(FILE* file) {
    if (!file) return nullptr;
    Descrambler* d = new Descrambler;
    d->file = file;
    return d;
}

size_t descrambler_read(Descrambler* d, void* buf, size_t n) {
    size_t got = fread(buf, 1, n, d->file);
    scramble_bytes(static_cast<uint8_t*>(buf), got, d->offset);
    d->offset += got;
    return got;
}

void descrambler_destroy(Descrambler* d) { delete d; }

}  // namespace gr
