// Models: "JM1"/"JM2" and the old headerless text format, blended and
// skinned meshes, tangents, the model cache with load generations,
// level-of-detail variants ("x_lod<N>..." files), CPU skinning and the
// POV-Ray "mesh2" writer.
//
// Meshes stay on the CPU; the renderer installs a ModelRenderer to compile
// display lists and release them again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gr {

struct DataFile;

// One triangle mesh with one material.
struct Mesh {
    std::string name;           // the model file it came from
    Mesh* next = nullptr;       // next mesh of the same model
    bool blended = false;       // shininess -1: the material carries its own alpha; on
                                // a model's first mesh: any mesh of the model is blended
    unsigned display_list = 0;  // 0 when drawn from arrays
    int vertex_count = 0;
    int triangle_count = 0;
    int bone_count = 0;         // 0 for unskinned meshes
    float colour[4] = {1, 1, 1, 1};
    float shininess = 32;       // specular exponent (or -1, see blended)
    // Skinned meshes hold two copies of positions, normals and tangents: the
    // bind pose (first V x 3), then the posed result (next V x 3).
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> tangents;      // along increasing u, not normalised
    std::vector<float> texcoords;     // V x 2; v is 1 - the file's v
    std::vector<float> bone_weights;  // V x 4, summing to 1 (skinned only)
    std::vector<int> bone_indices;    // V x 4 (skinned only)
    std::vector<uint32_t> triangles;  // T x 3 vertex indices
};

// The vertex data to draw: the posed copy of skinned meshes, else the bind pose.
inline const float* mesh_draw_positions(const Mesh* m) {
    return m->positions.data() + (m->bone_count ? size_t(m->vertex_count) * 3 : 0);
}
inline const float* mesh_draw_normals(const Mesh* m) {
    return m->normals.data() + (m->bone_count ? size_t(m->vertex_count) * 3 : 0);
}
inline const float* mesh_draw_tangents(const Mesh* m) {
    return m->tangents.data() + (m->bone_count ? size_t(m->vertex_count) * 3 : 0);
}

struct Model {
    std::string name;
    Mesh* meshes = nullptr;     // the chain of meshes
    int bone_count = 0;         // of a version-2 file; 0 otherwise
    std::string skeleton;       // skeleton name of a version-2 file
    int generation = 0;         // as for textures: 0 permanent, else the last track load using it
    float lod_factor = 1;       // distance factor of a detail variant
    Model* lod_next = nullptr;  // next lower-detail variant, increasing factor
};

// The model cache. Owned here; stale models go in model_free_stale after a
// track load, everything in model_free_stale(true) at exit.
struct ModelCache {
    std::vector<Model*> models;  // load order
};
extern ModelCache model_cache;

// Installed by the renderer while a GL context is current.
struct ModelRenderer {
    void (*compile)(Mesh* mesh);  // builds a display list when the mesh wants one
    void (*release)(Mesh* mesh);  // deletes it again
};
extern const ModelRenderer* model_renderer;

// Reads a model file without caching; null when it cannot be opened or has
// no valid first mesh. A truncated or corrupt mesh ends the chain there.
Model* model_read(const char* name);
// Frees a model read by model_read with its meshes and detail variants.
void model_free(Model* model);

// Cached by exact name (a case-insensitive match warns and is reused); a hit
// refreshes the generation. "@" names pick up their "_lod" variants.
Model* model_load(const char* name);

// Loads the model named by the texture path with its extension replaced by
// ".jm", else the same file name in `fallback_dir` (may be null); with `warn`
// says which could not be loaded.
Model* model_load_pair(const char* texture_path, const char* fallback_dir, bool warn);

// Frees models whose generation is neither 0 nor current; with `all`, every model.
void model_free_stale(bool all);

// A skeleton pose: per bone its rest position, current position and rotation
// (3 x 3, row-major: v' = R v).
struct BonePose {
    int bone_count = 0;
    const float* rest = nullptr;       // bone_count x 3
    const float* current = nullptr;    // bone_count x 3
    const float* rotations = nullptr;  // bone_count x 9
};

// Rotation matrix of a unit quaternion (w, x, y, z).
void bone_rotation_from_quaternion(const float q[4], float m[9]);

// Poses a skinned mesh into its second copy of positions, normals and
// tangents. False (nothing changed) when the mesh is not skinned or the pose
// has another bone count.
bool mesh_skin(Mesh* mesh, const BonePose* pose);
// Every mesh of the model; false when CPU skinning is off or the model's
// bone count differs from the pose's.
bool model_skin(Model* model, const BonePose* pose);

// Writes the mesh (bind pose) as a POV-Ray "mesh2" object. True when every
// write succeeded.
bool mesh_write_pov(const Mesh* mesh, DataFile* f);

}  // namespace gr
