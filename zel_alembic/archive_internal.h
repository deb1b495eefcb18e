// Pieces shared by the archive's operations: views of its arrays that are
// empty when a count comes without its array, and the Morton hash slot.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "zel_alembic.h"

namespace zel::alembic {

inline constexpr std::uint32_t kSlotMask = ZEL_ALEMBIC_HASH_SIZE - 1;

// Home slot of a key: low 32 bits of key ^ (key >> 32), masked to 23 bits.
inline std::uint32_t morton_slot(std::uint64_t key) {
    return static_cast<std::uint32_t>(key ^ (key >> 32)) & kSlotMask;
}

inline std::span<const zel_alembic_mesh_t> base_meshes(const zel_alembic_t& archive) {
    if (!archive.meshes) return {};
    return {archive.meshes, archive.mesh_count};
}

inline std::span<const zel_alembic_frame_t> frames_of(const zel_alembic_t& archive) {
    if (!archive.frames) return {};
    return {archive.frames, archive.frame_count};
}

inline std::span<const zel_alembic_mesh_t> meshes_of(const zel_alembic_frame_t& frame) {
    if (!frame.meshes) return {};
    return {frame.meshes, frame.mesh_count};
}

// A base mesh that queries read: vertices with their records and slots. Any
// other base mesh counts as holding no vertices.
inline bool has_records(const zel_alembic_mesh_t& mesh) {
    return mesh.vertex_count != 0 && mesh.vertices && mesh.tokens;
}

// The largest r with r x r <= d: a double root corrected to the exact
// integer one (the double may be off by one either way for large d).
inline std::uint64_t isqrt_u64(std::uint64_t d) {
    constexpr std::uint64_t kMaxRoot = 0xFFFFFFFFu;
    std::uint64_t r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(d)));
    if (r > kMaxRoot) r = kMaxRoot;
    while (r * r > d) --r;
    while (r < kMaxRoot && (r + 1) * (r + 1) <= d) ++r;
    return r;
}

// |a - b| without overflow.
inline std::uint64_t key_difference(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// A result addressing vertex of base mesh mesh_index, which has records.
inline void base_result(const zel_alembic_mesh_t& mesh, std::uint32_t mesh_index, std::uint32_t vertex,
                        float distance, zel_alembic_result_t* out) {
    out->mesh_index = mesh_index;
    out->vertex_index = vertex;
    out->frame_index = 0;
    out->vertex = &mesh.vertices[vertex];
    out->token = &mesh.tokens[vertex];
    out->distance = distance;
}

}  // namespace zel::alembic
