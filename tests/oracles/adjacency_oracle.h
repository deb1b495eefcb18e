// Vertex-to-face adjacency the plain way: one growing vector of faces per
// vertex. The test oracle of the manifold build and its benchmark baseline,
// with the neighbours of a vertex found from it by brute force.
#pragma once

#include <cstdint>
#include <vector>

#include "ogawa_polymesh.h"

namespace zel_oracle {

// faces[v] lists, in increasing face number, every face naming vertex v, once
// per corner that names it; vertex numbers not below position_count are left
// out. Faces have face_counts[f] corners, or 3 without face counts.
std::vector<std::vector<uint32_t>> vertex_faces_by_vectors(const ogawa_polymesh_t& mesh);

// The distinct vertices other than v on the faces of v, in the order met:
// faces in increasing number, corners in face order.
std::vector<uint32_t> neighbours_by_vectors(const ogawa_polymesh_t& mesh,
                                            const std::vector<std::vector<uint32_t>>& faces, uint32_t v);

}  // namespace zel_oracle
