// Walking the faces of a polymesh: face f has face_counts[f] corners, or 3
// when the mesh has no face counts; the corners of all faces follow each other
// in face_indices. Shared by the manifold, the tangent frame, the
// triangulation and the cache.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ogawa_polymesh.h"

namespace zel::faces {

inline std::uint32_t corners_of(const std::uint32_t* face_counts, std::uint32_t face) {
    return face_counts ? face_counts[face] : 3u;
}

// Entries of face_indices that really exist.
inline std::uint64_t available_corners(const std::uint32_t* face_indices, std::uint32_t face_index_count) {
    return face_indices ? face_index_count : 0u;
}
inline std::uint64_t available_corners(const ogawa_polymesh_t& mesh) {
    return available_corners(mesh.face_indices, mesh.face_index_count);
}

// Corners that face_count faces use, in 64 bits so that no sum wraps.
inline std::uint64_t total_corners(const std::uint32_t* face_counts, std::uint32_t face_count) {
    if (!face_counts) return 3ull * face_count;
    std::uint64_t total = 0;
    for (std::uint32_t f = 0; f < face_count; ++f) total += face_counts[f];
    return total;
}

// True when every corner of every face lies inside face_indices.
inline bool corners_inside(const ogawa_polymesh_t& mesh) {
    return total_corners(mesh.face_counts, mesh.face_count) <= available_corners(mesh);
}

// Calls visit(face, first_corner, corner_count) for every face in order; the
// corner cursor is 64-bit, so it never wraps even where faces run past the
// indices (the caller checks the corners it reads).
template <class Visit>
inline void for_each_face(const std::uint32_t* face_counts, std::uint32_t face_count, Visit&& visit) {
    std::uint64_t cursor = 0;
    for (std::uint32_t f = 0; f < face_count; ++f) {
        std::uint32_t n = corners_of(face_counts, f);
        visit(f, cursor, n);
        cursor += n;
    }
}

// Writes the fan of a polygon of n corners around its first corner,
// (c0, c[t+1], c[t+2]) for t = 0 .. n - 3, and returns the triangles written
// (0 below 3 corners).
inline std::uint32_t write_fan(const std::uint32_t* corners, std::uint32_t n, std::uint32_t* out) {
    if (n < 3) return 0;
    for (std::uint32_t t = 0; t + 2 < n; ++t) {
        out[3 * std::size_t{t}] = corners[0];
        out[3 * std::size_t{t} + 1] = corners[t + 1];
        out[3 * std::size_t{t} + 2] = corners[t + 2];
    }
    return n - 2;
}

}  // namespace zel::faces
