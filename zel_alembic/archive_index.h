// The archive's private index: the base vertices with records, numbered
// globally (as in the public table) and ordered by key, global index within
// a key. It lies in the block of the public Morton hash table, right after its
// slots, so that whatever releases `hash_table` releases both. The exact
// lookup answers from it in constant time, the nearest search walks outwards
// from the key through it; both give what the probe and the scan give over
// the meshes the table was built on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "archive_internal.h"

namespace zel::alembic {

// Stored at the start of the index.
struct IndexHeader {
    const zel_alembic_mesh_t* meshes;  // the base mesh array indexed
    std::uint32_t mesh_count;
    std::uint32_t key_count;     // distinct keys
    std::uint32_t vertex_count;  // vertices indexed
    std::uint32_t unused;
};

// The arrays of an index, read in place.
struct IndexView {
    const IndexHeader* header;
    const std::uint64_t* keys;          // key_count distinct keys, ascending
    const std::uint32_t* runs;          // key_count + 1: where each key's vertices start in order
    const std::uint32_t* order;         // vertex_count global indices by (key, global index)
    const std::uint32_t* mesh_starts;   // mesh_count + 1: global index of each mesh's first vertex
    const std::uint32_t* lowest_below;  // kArchiveDirectKeys: lowest global index of each small key
};

// A base vertex of an archive, found from its global index.
struct Located {
    std::uint32_t mesh;
    std::uint32_t local;
};

// The public slots and the index in one block of the library's allocator, or
// null when an allocation fails (two working arrays, then the block). The
// slots are left for the caller to fill. The base meshes hold at most kSlots
// vertices in all.
std::uint32_t* build_table_block(const zel_alembic_t& archive);

// The index of the archive's table, when it has one built over the base meshes
// it holds now (the same array and count).
std::optional<IndexView> current_index(const zel_alembic_t& archive);

// Lowest global index among the indexed vertices of key; ZEL_ALEMBIC_EMPTY_SLOT
// when none has it.
std::uint32_t lowest_global_index(const IndexView& index, std::uint64_t key);

// Mesh and local index of a global index below the total.
Located locate_global(const IndexView& index, std::uint32_t global);

// One of the nearest vertices: its global index and Morton distance.
struct NearVertex {
    std::uint32_t global;
    std::uint64_t distance;
};

// The n nearest indexed vertices to key by Morton distance into list, by
// ascending (distance, global index): the order of the literal scan. n is at
// least 1; returns how many were found (fewer only when fewer are indexed).
std::size_t nearest_indexed(const IndexView& index, std::uint64_t key, NearVertex* list, std::size_t n);

}  // namespace zel::alembic
