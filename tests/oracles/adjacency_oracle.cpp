#include "oracles/adjacency_oracle.h"

#include <algorithm>

namespace zel_oracle {
namespace {

uint32_t corners_of(const ogawa_polymesh_t& mesh, uint32_t f) { return mesh.face_counts ? mesh.face_counts[f] : 3; }

uint64_t first_corner_of(const ogawa_polymesh_t& mesh, uint32_t face) {
    uint64_t first = 0;
    for (uint32_t f = 0; f < face; ++f) first += corners_of(mesh, f);
    return first;
}

}  // namespace

std::vector<std::vector<uint32_t>> vertex_faces_by_vectors(const ogawa_polymesh_t& mesh) {
    std::vector<std::vector<uint32_t>> faces(mesh.position_count);
    uint64_t cursor = 0;
    for (uint32_t f = 0; f < mesh.face_count; ++f) {
        uint32_t n = corners_of(mesh, f);
        for (uint32_t j = 0; j < n; ++j) {
            uint32_t v = mesh.face_indices[cursor + j];
            if (v < mesh.position_count) faces[v].push_back(f);
        }
        cursor += n;
    }
    return faces;
}

std::vector<uint32_t> neighbours_by_vectors(const ogawa_polymesh_t& mesh,
                                            const std::vector<std::vector<uint32_t>>& faces, uint32_t v) {
    std::vector<uint32_t> out;
    for (uint32_t f : faces[v]) {
        uint64_t first = first_corner_of(mesh, f);
        for (uint32_t j = 0; j < corners_of(mesh, f); ++j) {
            uint32_t w = mesh.face_indices[first + j];
            if (w != v && std::find(out.begin(), out.end(), w) == out.end()) out.push_back(w);
        }
    }
    return out;
}

}  // namespace zel_oracle
