// Platform options from PLIX_OPTIONS, written as "[name:value]" pairs.
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data_local.h"

namespace gr {

namespace {

// Read once on first use.
struct OptionState {
    bool read = false;
    std::string text;
};
OptionState option_state;

// The text after "[name:", or null when the option is absent.
const char* find_option(const char* name) {
    if (!option_state.read) {
        option_state.read = true;
        const char* env = getenv("PLIX_OPTIONS");
        option_state.text = env ? env : "";
    }
    std::string key = "[" + std::string(name).substr(0, 60) + ":";
    size_t at = option_state.text.find(key);
    if (at == std::string::npos) return nullptr;
    return option_state.text.c_str() + at + key.size();
}

}  // namespace

void plix_options_reload() { option_state = OptionState{}; }

bool plix_option_bool(const char* name, bool def) {
    const char* v = find_option(name);
    if (!v) return def;
    if (!strncmp(v, "yes]", 4) || !strncmp(v, "on]", 3)) return true;
    if (!strncmp(v, "no]", 3) || !strncmp(v, "off]", 4)) return false;
    log_printf("unrecognized setting for %s\n", name);
    return def;
}

int plix_option_int(const char* name, int def) {
    const char* v = find_option(name);
    if (!v) return def;
    char* end = nullptr;
    long n = strtol(v, &end, 10);
    if (end == v) {
        log_printf("unrecognized setting for %s\n", name);
        return def;
    }
    return int(n);
}

}  // namespace gr
