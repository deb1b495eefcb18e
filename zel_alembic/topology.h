// Topology hashes of every vertex of a mesh in one pass over its faces.
#pragma once

#include <cstdint>

#include "zel_alembic.h"

namespace zel::alembic {

// The hash of face (a, b, c) folded into h.
inline std::uint32_t topology_step(std::uint32_t h, const std::uint32_t* face) {
    std::uint32_t mixed = (face[0] * 0x1F1F1F1Fu) ^ (face[1] * 0x2E2E2E2Eu) ^ (face[2] * 0x3D3D3D3Du) ^ h;
    return (mixed << 5) | (mixed >> 27);
}

// Sets the topology_hash of records[0, vertex_count) to what
// zel_alembic_topology_hash gives for each vertex, in time O(V + F): every
// record accumulates its own hash while the faces are walked once in array
// order, so each vertex sees exactly its faces, in order, once per face.
// Indices at or above vertex_count name no vertex and are skipped.
void fill_topology_hashes(zel_alembic_vertex_t* records, std::uint32_t vertex_count,
                          const std::uint32_t* faces, std::uint32_t face_count);

}  // namespace zel::alembic
