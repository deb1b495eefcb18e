// The vertex-to-face manifold: a counting sort of the corners by vertex, in
// two linear passes with one scratch array of per-vertex counters.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/growable.h"
#include "ogawa_reader/mesh/face_walk.h"
#include "ogawa_topology.h"

namespace zel {
namespace {

bool is_built(const ogawa_manifold_t& m) { return m.vertex_faces && m.vertex_face_offsets; }

bool contains(const GrowableArray<std::uint32_t>& list, std::uint32_t v) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == v) return true;
    }
    return false;
}

constexpr std::size_t kInitialNeighbourCapacity = 16;

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API int32_t ogawa_build_manifold(ogawa_polymesh_t* mesh) {
    if (!mesh || mesh->position_count == 0) return -1;
    if (!zel::faces::corners_inside(*mesh)) return -3;
    ogawa_manifold_t& m = mesh->manifold;
    ogawa_free_manifold(&m);
    const uint32_t vertex_count = mesh->position_count;
    const uint32_t face_count = mesh->face_count;
    const uint32_t* face_counts = mesh->face_counts;
    const uint32_t* indices = mesh->face_indices;
    m.vertex_count = vertex_count;
    m.face_count = face_count;

    uint32_t* counters = zel::alloc_zeroed_array<uint32_t>(vertex_count);
    if (!counters) return -2;
    // Counting needs no face boundaries: the corners of all faces are the
    // first total_corners entries of the indices.
    const uint64_t corner_count = zel::faces::total_corners(face_counts, face_count);
    for (uint64_t k = 0; k < corner_count; ++k) {
        uint32_t u = indices[k];
        if (u < vertex_count) ++counters[u];
    }

    m.vertex_face_offsets = zel::alloc_array<uint32_t>(std::size_t{vertex_count} + 1);
    if (!m.vertex_face_offsets) {
        std::free(counters);
        return -2;
    }
    uint32_t* offsets = m.vertex_face_offsets;
    offsets[0] = 0;
    for (uint32_t v = 0; v < vertex_count; ++v) offsets[v + 1] = offsets[v] + counters[v];

    m.vertex_faces = zel::alloc_array<uint32_t>(offsets[vertex_count]);
    if (!m.vertex_faces) {
        std::free(counters);
        return -2;
    }
    std::memset(counters, 0, sizeof(uint32_t) * vertex_count);
    uint32_t* vertex_faces = m.vertex_faces;
    zel::faces::for_each_face(face_counts, face_count, [&](uint32_t f, uint64_t first, uint32_t n) {
        for (uint32_t j = 0; j < n; ++j) {
            uint32_t u = indices[first + j];
            if (u < vertex_count) vertex_faces[offsets[u] + counters[u]++] = f;
        }
    });
    std::free(counters);

    m.face_offsets = zel::alloc_array<uint32_t>(std::size_t{face_count} + 1);
    if (!m.face_offsets) return -2;
    m.face_offsets[0] = 0;
    for (uint32_t f = 0; f < face_count; ++f) {
        m.face_offsets[f + 1] = m.face_offsets[f] + zel::faces::corners_of(face_counts, f);
    }
    m.face_indices = mesh->face_indices;
    return 0;
}

ZEL_API int32_t ogawa_get_vertex_faces(const ogawa_manifold_t* manifold, uint32_t vertex,
                                       const uint32_t** faces, uint32_t* count) {
    if (!manifold || !faces || !count || !zel::is_built(*manifold) || vertex >= manifold->vertex_count) {
        return -1;
    }
    uint32_t start = manifold->vertex_face_offsets[vertex];
    *faces = manifold->vertex_faces + start;
    *count = manifold->vertex_face_offsets[vertex + 1] - start;
    return 0;
}

ZEL_API int32_t ogawa_get_vertex_neighbors(const ogawa_manifold_t* manifold,
                                           const ogawa_face_block_t* faces, uint32_t vertex,
                                           uint32_t** list, uint32_t* count) {
    if (!manifold || !faces || !list || !count || !zel::is_built(*manifold) || !manifold->face_offsets ||
        vertex >= manifold->vertex_count) {
        return -1;
    }
    const uint32_t* run = manifold->vertex_faces + manifold->vertex_face_offsets[vertex];
    const uint32_t run_length = manifold->vertex_face_offsets[vertex + 1] - manifold->vertex_face_offsets[vertex];
    const uint32_t* face_offsets = manifold->face_offsets;
    // The face block must be the one the manifold was built from: every corner
    // the run names has to exist in it.
    const uint64_t available = zel::faces::available_corners(faces->face_indices, faces->face_index_count);
    for (uint32_t i = 0; i < run_length; ++i) {
        if (run[i] >= manifold->face_count || face_offsets[run[i] + 1] > available) return -1;
    }

    // The neighbours met so far: a polygon may have any number of corners.
    zel::GrowableArray<uint32_t> neighbours;
    if (!neighbours.reserve(zel::kInitialNeighbourCapacity)) return -2;
    for (uint32_t i = 0; i < run_length; ++i) {
        for (uint32_t k = face_offsets[run[i]]; k < face_offsets[run[i] + 1]; ++k) {
            uint32_t w = faces->face_indices[k];
            if (w == vertex || zel::contains(neighbours, w)) continue;
            if (!neighbours.push(w)) return -2;
        }
    }

    uint32_t* result = zel::alloc_array<uint32_t>(neighbours.size());
    if (!result) return -2;
    if (neighbours.size() != 0) std::memcpy(result, neighbours.data(), sizeof(uint32_t) * neighbours.size());
    *list = result;
    *count = static_cast<uint32_t>(neighbours.size());
    return 0;
}

ZEL_API int32_t ogawa_is_manifold_closed(const ogawa_manifold_t* /*manifold*/) { return 0; }

}  // extern "C"
