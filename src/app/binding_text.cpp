// Control bindings as the configuration file stores them: "(k)NAME" for a
// key or button, "(LOW,HIGH)NAME" for an axis with its off and full positions.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app.h"

namespace gr {

bool binding_is_bound(const Binding& b) {
    return !b.key_name.empty() || !b.axis_name.empty();
}

void binding_from_text(Binding* b, const char* text) {
    // Bindings are read before any device is open, so there is no axis
    // handle to close here.
    b->key_name.clear();
    b->key_code = 0;
    b->axis_name.clear();
    b->axis = nullptr;
    b->low = 0.0f;
    b->high = 1.0f;

    const char* p = text;
    while (isspace(static_cast<unsigned char>(*p))) p++;
    if (strncmp(p, "(k)", 3) == 0) {
        b->key_name = p + 3;
        return;
    }
    if (*p == '(') {
        float low = 0, high = 0;
        int used = -1;
        if (sscanf(p, "(%f,%f)%n", &low, &high, &used) == 2 && used > 0) {
            // A range that is not finite would make every sample meaningless.
            if (std::isfinite(low) && std::isfinite(high)) {
                b->low = low;
                b->high = high;
            }
            b->axis_name = p + used;
            return;
        }
    }
    b->key_name = p;
}

std::string binding_to_text(const Binding& b) {
    if (!b.key_name.empty()) return "(k)" + b.key_name;
    if (!b.axis_name.empty()) {
        char range[80];
        snprintf(range, sizeof range, "(%f,%f)", b.low, b.high);
        return range + b.axis_name;
    }
    return "";
}

}  // namespace gr
