// The consistency check of an archive's base meshes.
#include "archive_internal.h"

extern "C" {

ZEL_API int32_t zel_alembic_validate(const zel_alembic_t* archive) {
    if (!archive) return -1;
    std::span<const zel_alembic_mesh_t> meshes = zel::alembic::base_meshes(*archive);
    if (meshes.empty()) return -2;
    for (const zel_alembic_mesh_t& m : meshes) {
        if (!m.positions) return -3;
        if (m.vertex_count == 0) return -4;
        if (!m.vertices) continue;
        for (uint32_t v = 0; v < m.vertex_count; ++v) {
            const zel_alembic_vertex_t& r = m.vertices[v];
            for (uint8_t coordinate : r.matrix) {
                if (coordinate > 47) return -5;
            }
            if (r.k11_level < -11 || r.k11_level > 11) return -6;
        }
    }
    return 0;
}

}  // extern "C"
