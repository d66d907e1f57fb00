// The model cache: loading by name with load generations, level-of-detail
// variants found by file name ("x_lod<N>..."), the texture-path pairing used
// by bikes, and freeing stale models.
#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/data.h"
#include "gfx/gfx_local.h"
#include "gfx/model.h"

namespace gr {

ModelCache model_cache;
const ModelRenderer* model_renderer = nullptr;

static bool ends_with(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && !strcasecmp(s.c_str() + s.size() - n, suffix);
}

// The name without its extension (a "." after the last "/").
static std::string strip_extension(const std::string& name) {
    size_t dot = name.rfind('.'), slash = name.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return name.substr(0, dot);
    return name;
}

// Every data file named like the model's name up to its extension followed
// by "_lod" and a number N becomes a variant with distance factor 2^N.
static void add_lod_variants(Model* base) {
    if (base->name.empty() || base->name[0] != '@') return;
    std::string prefix = strip_extension(base->name.substr(1)) + "_lod";
    std::vector<std::string> seen;
    for (const char* const* list = file_list(); *list; ++list) {
        const char* n = *list;
        if (*n == '@') ++n;
        if (strncasecmp(n, prefix.c_str(), prefix.size())) continue;
        const char* rest = n + prefix.size();
        char* end;
        double level = strtod(rest, &end);
        if (end == rest) continue;
        // Compressed and scrambled files are opened by their plain name.
        std::string variant = std::string("@") + n;
        for (const char* suffix : {".gz.scram", ".scram", ".gz"}) {
            if (ends_with(variant, suffix)) {
                variant.resize(variant.size() - strlen(suffix));
                break;
            }
        }
        bool dup = false;
        for (const std::string& s : seen) dup |= !strcasecmp(s.c_str(), variant.c_str());
        if (dup) continue;
        seen.push_back(variant);
        Model* v = model_read(variant.c_str());
        if (!v) continue;
        v->lod_factor = float(std::pow(2.0, level));
        Model* at = base;
        while (at->lod_next && at->lod_next->lod_factor <= v->lod_factor) at = at->lod_next;
        v->lod_next = at->lod_next;
        at->lod_next = v;
    }
}

static void model_refresh(Model* m) {
    if (m->generation != 0) m->generation = current_generation();
}

Model* model_load(const char* name) {
    if (!name || !*name) return nullptr;
    for (Model* m : model_cache.models) {
        if (m->name == name) {
            model_refresh(m);
            return m;
        }
    }
    for (Model* m : model_cache.models) {
        if (!strcasecmp(m->name.c_str(), name)) {
            msg_printf("Warning: case mismatch on '%.900s'", name);
            model_refresh(m);
            return m;
        }
    }
    Model* model = model_read(name);
    if (!model) return nullptr;
    model->generation = current_generation();
    add_lod_variants(model);
    if (model_renderer)
        for (Model* v = model; v; v = v->lod_next)
            for (Mesh* m = v->meshes; m; m = m->next) model_renderer->compile(m);
    if (model_cache.models.empty()) model_cache.models.reserve(16);
    model_cache.models.push_back(model);
    return model;
}

Model* model_load_pair(const char* texture_path, const char* fallback_dir, bool warn) {
    if (!texture_path || !*texture_path) return nullptr;
    std::string first = strip_extension(texture_path) + ".jm";
    if (Model* m = model_load(first.c_str())) return m;
    if (fallback_dir && *fallback_dir) {
        size_t cut = first.find_last_of("/@");
        std::string second = fallback_dir;
        if (second.back() != '/' && second != "@") second += '/';
        second += cut == std::string::npos ? first : first.substr(cut + 1);
        if (Model* m = model_load(second.c_str())) return m;
        if (warn) msg_printf("Warning: Can't load %.450s or %.450s", first.c_str(), second.c_str());
    } else if (warn) {
        msg_printf("Warning: Can't load %.900s", first.c_str());
    }
    return nullptr;
}

void model_free_stale(bool all) {
    int gen = current_generation();
    auto& models = model_cache.models;
    size_t keep = 0;
    for (size_t i = 0; i < models.size(); ++i) {
        Model* m = models[i];
        if (!all && (m->generation == 0 || m->generation == gen)) {
            models[keep++] = m;
            continue;
        }
        if (gfx_options.debug_level) log_printf("deleting model %.900s\n", m->name.c_str());
        model_free(m);
    }
    models.resize(keep);
}

}  // namespace gr
