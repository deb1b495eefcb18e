#include "topology.h"

#include <cstddef>

namespace zel::alembic {

void fill_topology_hashes(zel_alembic_vertex_t* records, std::uint32_t vertex_count,
                          const std::uint32_t* faces, std::uint32_t face_count) {
    bool has_faces = faces && face_count != 0;
    for (std::uint32_t v = 0; v < vertex_count; ++v) records[v].topology_hash = has_faces ? 0x5A5A5A5Au : 0u;
    if (!has_faces) return;
    for (std::size_t f = 0; f < face_count; ++f) {
        const std::uint32_t* face = faces + 3 * f;
        std::uint32_t a = face[0], b = face[1], c = face[2];
        // A face naming a vertex twice still folds into that vertex once.
        if (a < vertex_count) records[a].topology_hash = topology_step(records[a].topology_hash, face);
        if (b < vertex_count && b != a) records[b].topology_hash = topology_step(records[b].topology_hash, face);
        if (c < vertex_count && c != a && c != b) {
            records[c].topology_hash = topology_step(records[c].topology_hash, face);
        }
    }
}

}  // namespace zel::alembic

extern "C" {

ZEL_API uint32_t zel_alembic_topology_hash(uint32_t vertex, const uint32_t* faces, uint32_t face_count) {
    if (!faces || face_count == 0) return 0;
    uint32_t h = 0x5A5A5A5Au;
    for (size_t f = 0; f < face_count; ++f) {
        const uint32_t* face = faces + 3 * f;
        if (face[0] == vertex || face[1] == vertex || face[2] == vertex) h = zel::alembic::topology_step(h, face);
    }
    return h;
}

}  // extern "C"
