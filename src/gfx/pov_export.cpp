// POV-Ray export of one mesh as a "mesh2" object (used by the track editor).
#include "data/data.h"
#include "gfx/model.h"

namespace gr {

static bool write_vectors(DataFile* f, const char* block, const float* v, int count, int dims) {
    bool ok = file_printf(f, "\t%s {\n\t\t%d\n", block, count) >= 0;
    for (int i = 0; i < count && ok; ++i) {
        const float* p = v + size_t(i) * dims;
        const char* sep = i + 1 < count ? "," : "";
        ok = (dims == 3 ? file_printf(f, "\t\t<%f,%f,%f>%s\n", p[0], p[1], p[2], sep)
                        : file_printf(f, "\t\t<%f,%f>%s\n", p[0], p[1], sep)) >= 0;
    }
    return ok && file_printf(f, "\t}\n") >= 0;
}

bool mesh_write_pov(const Mesh* mesh, DataFile* f) {
    if (!mesh || !f) return false;
    int V = mesh->vertex_count, T = mesh->triangle_count;
    bool ok = file_printf(f, "mesh2 {\n") >= 0;
    ok = ok && write_vectors(f, "vertex_vectors", mesh->positions.data(), V, 3);
    ok = ok && write_vectors(f, "normal_vectors", mesh->normals.data(), V, 3);
    ok = ok && write_vectors(f, "uv_vectors", mesh->texcoords.data(), V, 2);
    ok = ok && file_printf(f, "\tface_indices {\n\t\t%d\n", T) >= 0;
    for (int i = 0; i < T && ok; ++i) {
        const uint32_t* t = &mesh->triangles[size_t(i) * 3];
        ok = file_printf(f, "\t\t<%d,%d,%d>%s\n", int(t[0]), int(t[1]), int(t[2]), i + 1 < T ? "," : "") >= 0;
    }
    ok = ok && file_printf(f, "\t}\n") >= 0;
    return ok && file_printf(f, "}\n") >= 0;
}

}  // namespace gr
