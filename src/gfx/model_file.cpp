// Reading model files: the versioned "JM1"/"JM2" text format with materials
// and bone weights, and the old headerless format; tangents are computed
// after each mesh is read.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "data/data.h"
#include "gfx/gfx_local.h"
#include "gfx/model.h"

namespace gr {

namespace {

// Model files are a few megabytes at most; anything far larger is not one.
constexpr size_t MODEL_MAX_BYTES = size_t(256) << 20;
constexpr int MODEL_MAX_BONES = 4096;

// A cursor over the NUL-terminated file text.
struct Text {
    const char* p;
    const char* end;
};

bool next_float(Text* t, float* out) {
    char* e;
    float v = strtof(t->p, &e);
    if (e == t->p) return false;
    t->p = e;
    *out = v;
    return true;
}

bool next_long(Text* t, long* out) {
    char* e;
    errno = 0;
    long v = strtol(t->p, &e, 10);
    if (e == t->p || errno == ERANGE) return false;
    t->p = e;
    *out = v;
    return true;
}

bool next_int(Text* t, int* out) {
    long v;
    if (!next_long(t, &v) || v < INT_MIN || v > INT_MAX) return false;
    *out = int(v);
    return true;
}

void skip_space(Text* t) {
    while (t->p < t->end && (*t->p == ' ' || (*t->p >= '\t' && *t->p <= '\r'))) ++t->p;
}

// True when `count` items of `numbers` numbers each could still fit in the
// text (every number takes at least a digit and a separator).
bool fits(const Text* t, int64_t count, int64_t numbers) {
    return count * numbers * 2 - 1 <= int64_t(t->end - t->p) || count == 0;
}

// The four largest positive weights of one vertex, normalised.
void read_weights(Text* t, int bones, float* w, int* idx, bool* warned, const char* name, bool* ok) {
    for (int k = 0; k < 4; ++k) {
        w[k] = 0;
        idx[k] = 0;
    }
    for (int l = 0; l < bones; ++l) {
        float v;
        if (!next_float(t, &v)) {
            *ok = false;
            return;
        }
        if (!(v > 0)) continue;
        int s = 0;
        for (int k = 1; k < 4; ++k)
            if (w[k] < w[s]) s = k;
        if (w[s] != 0) {
            if (!*warned) msg_printf("Warning: vertex with more than 4 bone influences in '%.900s'", name);
            *warned = true;
            if (v < w[s]) continue;  // the new weight is the smallest of the five
        }
        w[s] = v;
        idx[s] = l;
    }
    float sum = w[0] + w[1] + w[2] + w[3];
    if (sum > 0) {
        for (int k = 0; k < 4; ++k) w[k] /= sum;
    } else {
        for (int k = 0; k < 4; ++k) w[k] = 0.25f;
    }
}

}  // namespace

void mesh_compute_tangents(Mesh* m) {
    const float eps = 1.0f / 1048576.0f;  // 2^-20
    int V = m->vertex_count;
    m->tangents.assign(size_t(V) * 3, 0.0f);
    const float* P = m->positions.data();
    const float* UV = m->texcoords.data();
    for (int i = 0; i < m->triangle_count; ++i) {
        const uint32_t* tri = &m->triangles[size_t(i) * 3];
        const float* p0 = P + tri[0] * 3;
        const float* p1 = P + tri[1] * 3;
        const float* p2 = P + tri[2] * 3;
        float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        float du1 = UV[tri[1] * 2] - UV[tri[0] * 2], dv1 = UV[tri[1] * 2 + 1] - UV[tri[0] * 2 + 1];
        float du2 = UV[tri[2] * 2] - UV[tri[0] * 2], dv2 = UV[tri[2] * 2 + 1] - UV[tri[0] * 2 + 1];
        float det = du1 * dv2 - du2 * dv1;
        float t[3];
        if (std::fabs(det) >= eps) {
            float r = 1.0f / det;
            float b[3];
            for (int k = 0; k < 3; ++k) {
                t[k] = (e1[k] * dv2 - e2[k] * dv1) * r;
                b[k] = (e2[k] * du1 - e1[k] * du2) * r;
            }
            // A mirrored texture mapping flips the tangent, so every triangle's
            // frame has the handedness of an unmirrored one: normal x tangent
            // along increasing file v, which is decreasing stored v.
            float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                          e1[0] * e2[1] - e1[1] * e2[0]};
            float c[3] = {n[1] * t[2] - n[2] * t[1], n[2] * t[0] - n[0] * t[2], n[0] * t[1] - n[1] * t[0]};
            if (c[0] * b[0] + c[1] * b[1] + c[2] * b[2] > 0)
                for (float& k : t) k = -k;
        } else {
            float l1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
            float l2 = std::sqrt(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
            const float* e = l1 >= l2 ? e1 : e2;
            float l = l1 >= l2 ? l1 : l2;
            if (l > 0) {
                for (int k = 0; k < 3; ++k) t[k] = e[k] / l * eps;
            } else {
                t[0] = eps;
                t[1] = t[2] = 0;
            }
        }
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 3; ++k) m->tangents[tri[v] * 3 + k] += t[k];
    }
}

namespace {

// Reads one mesh (after the header values). False when it is truncated or
// names a vertex that does not exist.
bool read_mesh_body(Text* t, Mesh* m, int bones, const char* name) {
    int V = m->vertex_count, T = m->triangle_count;
    if (!fits(t, V, 8 + bones) || !fits(t, T, 3)) return false;
    m->positions.resize(size_t(V) * 3);
    m->normals.resize(size_t(V) * 3);
    m->texcoords.resize(size_t(V) * 2);
    if (bones) {
        m->bone_weights.resize(size_t(V) * 4);
        m->bone_indices.resize(size_t(V) * 4);
    }
    bool warned = false, ok = true;
    for (int i = 0; i < V; ++i) {
        float* p = &m->positions[size_t(i) * 3];
        float* n = &m->normals[size_t(i) * 3];
        float* uv = &m->texcoords[size_t(i) * 2];
        if (!next_float(t, &p[0]) || !next_float(t, &p[1]) || !next_float(t, &p[2]) || !next_float(t, &n[0]) ||
            !next_float(t, &n[1]) || !next_float(t, &n[2]) || !next_float(t, &uv[0]) || !next_float(t, &uv[1]))
            return false;
        uv[1] = 1.0f - uv[1];
        if (bones) {
            read_weights(t, bones, &m->bone_weights[size_t(i) * 4], &m->bone_indices[size_t(i) * 4], &warned, name,
                         &ok);
            if (!ok) return false;
        }
    }
    m->triangles.resize(size_t(T) * 3);
    for (size_t i = 0; i < size_t(T) * 3; ++i) {
        long v;
        if (!next_long(t, &v) || v < 0 || v >= V) return false;
        m->triangles[i] = uint32_t(v);
    }
    mesh_compute_tangents(m);
    if (bones) {
        // The posed copies start as the bind pose.
        m->positions.resize(size_t(V) * 6);
        m->normals.resize(size_t(V) * 6);
        m->tangents.resize(size_t(V) * 6);
        std::copy_n(m->positions.begin(), size_t(V) * 3, m->positions.begin() + long(V) * 3);
        std::copy_n(m->normals.begin(), size_t(V) * 3, m->normals.begin() + long(V) * 3);
        std::copy_n(m->tangents.begin(), size_t(V) * 3, m->tangents.begin() + long(V) * 3);
    }
    return true;
}

bool read_all(DataFile* f, std::string* out) {
    char buf[65536];
    size_t n;
    while ((n = file_read(f, buf, sizeof buf)) > 0) {
        if (out->size() + n > MODEL_MAX_BYTES) return false;
        out->append(buf, n);
    }
    return true;
}

Model* parse_model(const std::string& text, const char* name) {
    Text t = {text.c_str(), text.c_str() + text.size()};
    Model* model = new Model;
    model->name = name;
    skip_space(&t);
    int version = 0;
    bool old_format = !(t.end - t.p >= 2 && t.p[0] == 'J' && t.p[1] == 'M');
    if (!old_format) {
        t.p += 2;
        if (!next_int(&t, &version) || (version != 1 && version != 2)) {
            log_printf("Model %.900s: not a model file (version)\n", name);
            delete model;
            return nullptr;
        }
        if (version == 2) {
            if (!next_int(&t, &model->bone_count) || model->bone_count < 0 ||
                model->bone_count > MODEL_MAX_BONES) {
                log_printf("Model %.900s: bad bone count\n", name);
                delete model;
                return nullptr;
            }
            skip_space(&t);
            const char* s = t.p;
            while (t.p < t.end && *t.p && !isspace((unsigned char)*t.p) && t.p - s < 1023) ++t.p;
            model->skeleton.assign(s, t.p);
        }
    }
    int bones = model->bone_count;
    Mesh** tail = &model->meshes;
    for (int index = 0;; ++index) {
        Mesh* m = new Mesh;
        m->name = name;
        bool header;
        if (old_format) {
            header = index == 0 && next_int(&t, &m->vertex_count) && next_int(&t, &m->triangle_count);
            m->shininess = 32;
        } else {
            float s, a, r, g, b;
            header = next_float(&t, &s) && next_float(&t, &a) && next_float(&t, &r) && next_float(&t, &g) &&
                     next_float(&t, &b) && next_int(&t, &m->vertex_count) && next_int(&t, &m->triangle_count);
            if (header) {
                m->shininess = s;
                m->blended = s == -1.0f;
                m->colour[0] = r;
                m->colour[1] = g;
                m->colour[2] = b;
                m->colour[3] = s >= 0 ? 1.0f : a;
            }
        }
        header = header && m->vertex_count >= 0 && m->triangle_count >= 0;
        if (!header) {
            delete m;
            break;
        }
        m->bone_count = bones;
        if (!read_mesh_body(&t, m, bones, name)) {
            log_printf("Model %.900s: mesh %d is truncated or corrupt\n", name, index);
            delete m;
            break;
        }
        *tail = m;
        tail = &m->next;
    }
    if (!model->meshes) {
        log_printf("Model %.900s: no valid mesh\n", name);
        delete model;
        return nullptr;
    }
    for (Mesh* m = model->meshes->next; m; m = m->next) model->meshes->blended |= m->blended;
    return model;
}

}  // namespace

Model* model_read(const char* name) {
    if (!name || !*name) return nullptr;
    DataFile* f = file_open(name, "rb");
    if (!f) return nullptr;
    try {
        std::string text;
        bool ok = read_all(f, &text);
        file_close(f);
        if (!ok) {
            log_printf("Model %.900s: file too large\n", name);
            return nullptr;
        }
        return parse_model(text, name);
    } catch (const std::bad_alloc&) {
        fatal_out_of_memory();
    }
}

void model_free(Model* model) {
    while (model) {
        Model* next = model->lod_next;
        for (Mesh* m = model->meshes; m;) {
            Mesh* n = m->next;
            if (model_renderer && m->display_list) model_renderer->release(m);
            delete m;
            m = n;
        }
        delete model;
        model = next;
    }
}

}  // namespace gr
