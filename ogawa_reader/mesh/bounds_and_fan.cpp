// Bounding boxes of position arrays and the fan triangulation of one polygon.
#include "common/alloc.h"
#include "ogawa_reader/mesh/face_walk.h"
#include "ogawa_topology.h"

extern "C" {

ZEL_API void ogawa_compute_bounds(const float* positions, uint32_t count, ogawa_bounds_t* bounds) {
    if (!positions || !bounds || count == 0) return;
    // Kept in locals: stores through bounds could alias the positions.
    float lo[3] = {positions[0], positions[1], positions[2]};
    float hi[3] = {positions[0], positions[1], positions[2]};
    for (uint32_t i = 1; i < count; ++i) {
        const float* p = positions + 3 * std::size_t{i};
        for (int a = 0; a < 3; ++a) {
            // Strict comparisons: a NaN never replaces a bound.
            lo[a] = lo[a] > p[a] ? p[a] : lo[a];
            hi[a] = p[a] > hi[a] ? p[a] : hi[a];
        }
    }
    for (int a = 0; a < 3; ++a) {
        bounds->min[a] = lo[a];
        bounds->max[a] = hi[a];
    }
}

ZEL_API int32_t ogawa_triangulate_face(const uint32_t* corners, uint32_t corner_count,
                                       uint32_t** triangles, uint32_t* triangle_count) {
    if (!corners || !triangles || !triangle_count || corner_count < 3) return -1;
    *triangles = zel::alloc_array<uint32_t>(3 * (std::size_t{corner_count} - 2));
    if (!*triangles) return -2;
    *triangle_count = zel::faces::write_fan(corners, corner_count, *triangles);
    return 0;
}

}  // extern "C"
