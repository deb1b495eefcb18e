// The archive's Morton hash table: global vertex indices in linear probing
// order, with the private index after them, and the exact lookup.
#include <cstdlib>
#include <cstring>

#include "archive_index.h"
#include "archive_internal.h"
#include "common/alloc.h"

namespace {

using namespace zel::alembic;

// Mesh and local index of global index g, numbering every base mesh's
// vertices in array order; false when g lies past the last mesh.
bool locate(const zel_alembic_t& a, std::uint32_t g, Located* out) {
    std::uint64_t before = 0;
    std::span<const zel_alembic_mesh_t> meshes = base_meshes(a);
    for (std::uint32_t m = 0; m < meshes.size(); ++m) {
        std::uint64_t after = before + meshes[m].vertex_count;
        if (g < after) {
            *out = {m, static_cast<std::uint32_t>(g - before)};
            return true;
        }
        before = after;
    }
    return false;
}

// The first free slot at or after `slot`, cyclically, through the links of
// `next`: a free slot links to itself, a filled one to a slot no further than
// the first free one after it. Following the links with path halving finds
// what walking the slots one by one would find, without walking the long
// runs that many equal keys (a lattice has at most 110,592 codes) build.
std::uint32_t first_free_slot(std::uint32_t* next, std::uint32_t slot) {
    while (next[slot] != slot) {
        next[slot] = next[next[slot]];
        slot = next[slot];
    }
    return slot;
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_build_hash_table(zel_alembic_t* archive) {
    if (!archive || archive->mesh_count == 0 || !archive->meshes) return -1;
    std::uint64_t total = 0;
    for (const zel_alembic_mesh_t& m : base_meshes(*archive)) total += m.vertex_count;
    archive->total_vertices = total;
    archive->total_tokens = total;

    std::free(archive->hash_table);
    archive->hash_table = nullptr;
    archive->hash_size = 0;
    // With at most one index per slot, every probe sequence meets a free slot.
    if (total > kSlots) return -4;
    std::uint32_t* table = build_table_block(*archive);
    std::uint32_t* next = table ? zel::alloc_array<std::uint32_t>(kSlots) : nullptr;
    if (!next) {
        std::free(table);
        return -4;
    }
    std::memset(table, 0xFF, sizeof(std::uint32_t) * kSlots);
    for (std::uint32_t s = 0; s < kSlots; ++s) next[s] = s;

    // Linear probing: each vertex takes the first free slot from its home.
    std::uint32_t g = 0;
    for (const zel_alembic_mesh_t& m : base_meshes(*archive)) {
        if (has_records(m)) {
            for (std::uint32_t v = 0; v < m.vertex_count; ++v) {
                std::uint32_t slot = first_free_slot(next, morton_slot(m.vertices[v].morton));
                table[slot] = g + v;
                next[slot] = (slot + 1) & kSlotMask;
            }
        }
        g += m.vertex_count;
    }
    std::free(next);
    archive->hash_table = table;
    archive->hash_size = kSlots;
    return 0;
}

ZEL_API int32_t zel_alembic_lookup_morton(const zel_alembic_t* archive, uint64_t key,
                                          zel_alembic_result_t* result) {
    if (!archive || !result || !archive->hash_table || archive->hash_size != kSlots) return -1;
    if (std::optional<IndexView> index = current_index(*archive)) {
        const std::uint32_t g = lowest_global_index(*index, key);
        if (g == ZEL_ALEMBIC_EMPTY_SLOT) return -1;
        const Located at = locate_global(*index, g);
        const zel_alembic_mesh_t& mesh = archive->meshes[at.mesh];
        // A mesh changed since the build is answered by the probe below.
        if (has_records(mesh) && at.local < mesh.vertex_count && mesh.vertices[at.local].morton == key) {
            base_result(mesh, at.mesh, at.local, 0.0f, result);
            return 0;
        }
    }
    // The probe through the public slots, as the table is defined.
    const std::uint32_t start = morton_slot(key);
    std::uint32_t slot = start;
    do {
        std::uint32_t g = archive->hash_table[slot];
        if (g == ZEL_ALEMBIC_EMPTY_SLOT) return -1;
        Located at;
        if (locate(*archive, g, &at)) {
            const zel_alembic_mesh_t& mesh = archive->meshes[at.mesh];
            if (has_records(mesh) && mesh.vertices[at.local].morton == key) {
                base_result(mesh, at.mesh, at.local, 0.0f, result);
                return 0;
            }
        }
        slot = (slot + 1) & kSlotMask;
    } while (slot != start);
    return -1;
}

}  // extern "C"
