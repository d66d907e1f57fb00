// The standard physics shape files and the digests that mark them as a
// release's own: online races need every rider on the same shapes.
#include "app/app.h"
#include "data/data.h"

namespace gr {

const char* const fixed_file_names[FIXED_FILE_COUNT] = {
    "@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
    "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp", "@generic_rider.shp",
};

// Filled from the generated game data when the standard shape files exist;
// until then no set of shape files counts as standard.
const char* const accepted_fixed_digests[ACCEPTED_FIXED_DIGESTS] = {"7e81320141807d2938cc31899949e66f214f9222", "", ""};

void fixed_files_digest(char out[41]) {
    Ripemd160 r;
    ripemd160_init(&r);
    unsigned char buf[4096];
    for (const char* name : fixed_file_names) {
        DataFile* f = file_open(name, "rb");
        if (!f) continue;
        for (size_t n; (n = file_read(f, buf, sizeof buf)) > 0;) ripemd160_update(&r, buf, n);
        file_close(f);
    }
    uint8_t digest[20];
    ripemd160_final(&r, digest);
    digest_hex(digest, out);
}

}  // namespace gr
