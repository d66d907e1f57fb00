// CPU skinning: each vertex blends up to four bones' rigid transforms of its
// bind-pose position, normal and tangent.
#include "gfx/gfx_local.h"
#include "gfx/model.h"

namespace gr {

void bone_rotation_from_quaternion(const float q[4], float m[9]) {
    float w = q[0], x = q[1], y = q[2], z = q[3];
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y - w * z);
    m[2] = 2 * (x * z + w * y);
    m[3] = 2 * (x * y + w * z);
    m[4] = 1 - 2 * (x * x + z * z);
    m[5] = 2 * (y * z - w * x);
    m[6] = 2 * (x * z - w * y);
    m[7] = 2 * (y * z + w * x);
    m[8] = 1 - 2 * (x * x + y * y);
}

static inline void rotate_add(const float* R, const float* v, float w, float* out) {
    out[0] += w * (R[0] * v[0] + R[1] * v[1] + R[2] * v[2]);
    out[1] += w * (R[3] * v[0] + R[4] * v[1] + R[5] * v[2]);
    out[2] += w * (R[6] * v[0] + R[7] * v[1] + R[8] * v[2]);
}

bool mesh_skin(Mesh* mesh, const BonePose* pose) {
    if (!mesh->bone_count || !pose || mesh->bone_count != pose->bone_count || !pose->rest || !pose->current ||
        !pose->rotations)
        return false;
    size_t V = size_t(mesh->vertex_count);
    const float* bp = mesh->positions.data();
    const float* bn = mesh->normals.data();
    const float* bt = mesh->tangents.data();
    float* op = mesh->positions.data() + V * 3;
    float* on = mesh->normals.data() + V * 3;
    float* ot = mesh->tangents.data() + V * 3;
    for (size_t i = 0; i < V; ++i) {
        float p[3] = {0, 0, 0}, n[3] = {0, 0, 0}, t[3] = {0, 0, 0};
        for (int k = 0; k < 4; ++k) {
            float w = mesh->bone_weights[i * 4 + k];
            if (w == 0) continue;
            int b = mesh->bone_indices[i * 4 + k];
            const float* R = pose->rotations + size_t(b) * 9;
            const float* Q = pose->rest + size_t(b) * 3;
            const float* C = pose->current + size_t(b) * 3;
            float d[3] = {bp[i * 3] - Q[0], bp[i * 3 + 1] - Q[1], bp[i * 3 + 2] - Q[2]};
            rotate_add(R, d, w, p);
            p[0] += w * C[0];
            p[1] += w * C[1];
            p[2] += w * C[2];
            rotate_add(R, bn + i * 3, w, n);
            rotate_add(R, bt + i * 3, w, t);
        }
        for (int c = 0; c < 3; ++c) {
            op[i * 3 + c] = p[c];
            on[i * 3 + c] = n[c];
            ot[i * 3 + c] = t[c];
        }
    }
    return true;
}

bool model_skin(Model* model, const BonePose* pose) {
    if (!gfx_options.cpu_skinning || !model || !pose || model->bone_count != pose->bone_count) return false;
    bool any = false;
    for (Mesh* m = model->meshes; m; m = m->next) any |= mesh_skin(m, pose);
    return any;
}

}  // namespace gr
