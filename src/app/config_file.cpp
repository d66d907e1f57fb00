// The configuration file "@config" and the bike setup files under
// "@setups/": one "key=value" line per setting.
#include <cmath>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/app_local.h"
#include "data/data.h"

namespace gr {

namespace {

enum { LINE_CHARS = 1024 };

const ConfigKey* find_key(const std::vector<ConfigKey>& keys, const char* key) {
    for (const ConfigKey& k : keys)
        if (strcmp(k.key, key) == 0) return &k;
    return nullptr;
}

// Splits "key=value\r\n" in place; false when the line has no "=".
bool split_line(char* line, char** key, char** value) {
    char* eq = strchr(line, '=');
    if (!eq) return false;
    *eq = '\0';
    char* v = eq + 1;
    size_t n = strlen(v);
    while (n > 0 && (v[n - 1] == '\r' || v[n - 1] == '\n')) v[--n] = '\0';
    *key = line;
    *value = v;
    return true;
}

// Setups live in "@setups/"; a name may use sub-folders but never climb out.
bool setup_name_ok(const char* name) {
    if (!name || !*name || name[0] == '/' || strchr(name, '\\')) return false;
    for (const char* p = name; *p;) {
        const char* end = strchr(p, '/');
        size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
        if (n == 2 && p[0] == '.' && p[1] == '.') return false;
        if (!end) break;
        p = end + 1;
    }
    return true;
}

void write_key(DataFile* f, const ConfigKey& k) {
    if (k.integer) {
        file_printf(f, "%s=%d\n", k.key, *k.integer);
        return;
    }
    const Setting& s = *k.setting;
    // An unbound control is written with an empty value: leaving the line out
    // would bring back the default binding at the next start.
    file_printf(f, "%s=%s\n", k.key, setting_value_text(s).c_str());
}

}  // namespace

bool setup_apply_line(const char* key, const char* value) {
    const ConfigKey* k = find_key(bike_keys(), key);
    if (!k) return false;
    Setting* s = k->setting;
    if (s == &settings.bike) {
        // Older files name four bikes without their year.
        static const char* const aliases[][2] = {
            {"crf250", "crf250(2008)"},
            {"kx250f", "kx250f(2008)"},
            {"rmz250", "rmz250(2008)"},
            {"yz250f", "yz250f(2008)"},
        };
        for (const auto& a : aliases)
            if (strcmp(value, a[0]) == 0) value = a[1];
        if (setting_set_choice(s, value)) bike_graphics_rebuild();
    } else if (s == &settings.stability) {
        if (setting_apply_text(s, value)) stability_preset(static_cast<int>(std::lround(s->value)));
    } else {
        setting_apply_text(s, value);
    }
    return true;
}

void config_apply_line(const char* line) {
    char buf[LINE_CHARS];
    snprintf(buf, sizeof buf, "%s", line);
    char *key, *value;
    if (!split_line(buf, &key, &value)) return;
    if (setup_apply_line(key, value)) return;
    if (const ConfigKey* k = find_key(general_keys(), key)) {
        if (k->integer)
            scan_int(value, k->integer);
        else
            setting_apply_text(k->setting, value);
        return;
    }
    // Keys of older files: read, never written.
    if (strcmp(key, "use_fbo") == 0) {
        if (strcmp(value, "No") == 0) setting_set_choice(&settings.render_texture, "Hardware/Copy");
        if (strcmp(value, "Yes") == 0) setting_set_choice(&settings.render_texture, "Hardware/Direct");
    }
    // "ground_texture_distance" and unknown keys are ignored.
}

void config_read() {
    DataFile* f = file_open("@config", "rb");
    if (!f) return;
    char line[LINE_CHARS];
    while (file_gets(f, line, sizeof line)) config_apply_line(line);
    file_close(f);
}

void setup_write(DataFile* f) {
    for (const ConfigKey& k : bike_keys()) write_key(f, k);
}

void config_write_to(DataFile* f) {
    for (const ConfigKey& k : general_keys()) {
        write_key(f, k);
        if (k.setting == &settings.time_trial_abort) setup_write(f);
    }
}

bool config_write() {
    DataFile* f = file_replace_open("@config");
    if (!f) return false;
    config_write_to(f);
    return file_replace_commit(f, "@config");
}

bool setup_file_write(const char* name) {
    std::string path = std::string("@setups/") + (name ? name : "");
    DataFile* f = setup_name_ok(name) ? file_replace_open(path.c_str()) : nullptr;
    if (f) setup_write(f);
    if (!f || !file_replace_commit(f, path.c_str())) {
        msg_print("Error writing setup");
        return false;
    }
    msg_print("Setup written");
    return true;
}

bool setup_file_read(const char* name) {
    std::string path = std::string("@setups/") + (name ? name : "");
    DataFile* f = setup_name_ok(name) ? file_open(path.c_str(), "rb") : nullptr;
    if (!f) {
        msg_print("Error reading setup");
        return false;
    }
    char line[LINE_CHARS];
    while (file_gets(f, line, sizeof line)) {
        char *key, *value;
        if (split_line(line, &key, &value)) setup_apply_line(key, value);
    }
    file_close(f);
    msg_print("Setup updated");
    return true;
}

}  // namespace gr
