// Collision shapes: ".shp" sphere lists read through the data path, cached
// by file name, and the per-user copies that hold world positions.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "data/data.h"

namespace gr {

namespace {

struct CachedShape {
    std::string name;
    CollisionShape* shape;
};

// Owned here; emptied by collision_shape_cache_clear.
std::vector<CachedShape> shape_cache;

CollisionShape* shape_alloc(int count) {
    auto* s = static_cast<CollisionShape*>(tracked_calloc(1, sizeof(CollisionShape)));
    if (!s) fatal_out_of_memory();
    s->count = count;
    if (count > 0) {
        s->spheres = static_cast<ShapeSphere*>(tracked_calloc(size_t(count), sizeof(ShapeSphere)));
        if (!s->spheres) fatal_out_of_memory();
    }
    return s;
}

// Reads the count and the records; null on any malformed or missing value.
CollisionShape* shape_read(DataFile* f) {
    int n = 0;
    if (file_scanf(f, "%d", &n) != 1 || n < 0) return nullptr;
    std::vector<ShapeSphere> spheres;
    for (int i = 0; i < n; i++) {
        double v[7];
        if (file_scanf(f, "%lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                       &v[6]) != 7)
            return nullptr;
        for (double x : v)
            if (!std::isfinite(x)) return nullptr;
        if (v[3] < 0) return nullptr;
        ShapeSphere s = {};
        s.centre[0] = v[0], s.centre[1] = v[1], s.centre[2] = v[2];
        s.radius = v[3];
        s.friction = v[4];
        s.stiffness = v[5];
        s.damping = v[6];
        spheres.push_back(s);
    }
    CollisionShape* shape = shape_alloc(n);
    double bound = 0;
    for (int i = 0; i < n; i++) {
        shape->spheres[i] = spheres[size_t(i)];
        const double* c = spheres[size_t(i)].centre;
        double r = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) + spheres[size_t(i)].radius;
        if (r > bound) bound = r;
    }
    shape->bounding_radius = bound;
    return shape;
}

}  // namespace

const CollisionShape* collision_shape_load(const char* name) {
    if (!name || !*name) return nullptr;
    for (const CachedShape& c : shape_cache)
        if (c.name == name) return c.shape;
    DataFile* f = file_open(name, "rb");
    if (!f) return nullptr;
    CollisionShape* shape = shape_read(f);
    file_close(f);
    if (!shape) {
        log_printf("Bad shape file %.900s\n", name);
        return nullptr;
    }
    shape_cache.push_back({name, shape});
    return shape;
}

CollisionShape* collision_shape_copy(const CollisionShape* shape) {
    if (!shape) return nullptr;
    CollisionShape* copy = shape_alloc(shape->count);
    if (shape->count > 0) memcpy(copy->spheres, shape->spheres, sizeof(ShapeSphere) * size_t(shape->count));
    copy->bounding_radius = shape->bounding_radius;
    return copy;
}

void collision_shape_free(CollisionShape* shape) {
    if (!shape) return;
    tracked_free(shape->spheres);
    tracked_free(shape);
}

void collision_shape_cache_clear() {
    for (CachedShape& c : shape_cache) collision_shape_free(c.shape);
    shape_cache.clear();
}

}  // namespace gr
