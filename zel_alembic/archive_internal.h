// Pieces shared by the archive's operations: views of its arrays that are
// empty when a count comes without its array, and the Morton hash slot.
#pragma once

#include <cstdint>
#include <span>

#include "zel_alembic.h"
#include "zelset/hash_index.h"

namespace zel::alembic {

// Slots of the Morton hash table: ZEL_ALEMBIC_HASH_SIZE, but as small as the
// indexes' bucket tables in the fuzz build.
static_assert(ZEL_ALEMBIC_HASH_SIZE == ZEL_HASH_BUCKETS);
inline constexpr std::uint32_t kSlots = kHashBuckets;
inline constexpr std::uint32_t kSlotMask = kHashMask;

// Home slot of a key: the token unit's Morton bucket (the table sizes agree).
inline std::uint32_t morton_slot(std::uint64_t key) { return zel_morton_hash(key); }

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

// Vertices the queries can return.
inline std::uint64_t vertices_with_records(const zel_alembic_t& archive) {
    std::uint64_t n = 0;
    for (const zel_alembic_mesh_t& m : base_meshes(archive)) {
        if (has_records(m)) n += m.vertex_count;
    }
    return n;
}

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
