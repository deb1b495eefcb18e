// Literal versions of the mesh conversion's fast paths, written straight from
// their definitions: test oracles and benchmark baselines.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "zel_alembic.h"

namespace zel_oracle {

// Topology hash of every vertex by a full pass over the faces per vertex:
// from 0x5A5A5A5A, each face (a, b, c) naming v folds in
// rotl32((a x 0x1F1F1F1F) ^ (b x 0x2E2E2E2E) ^ (c x 0x3D3D3D3D) ^ h, 5).
// All zeros when there are no faces. Costs V x F.
std::vector<std::uint32_t> topology_hashes(std::uint32_t vertex_count, const std::uint32_t* faces,
                                           std::uint32_t face_count);

// Integer square root by Newton steps from x = d, the average taken without
// overflow.
std::uint64_t newton_isqrt(std::uint64_t d);

// The Morton hash table by literal linear probing: every base vertex with
// records, in global order, walks from its home slot (low 23 bits of
// key ^ key >> 32) one slot at a time to the first empty one.
std::vector<std::uint32_t> linear_probe_table(const zel_alembic_t& archive);

// The exact lookup by literal probing of the archive's public table: from the
// key's home slot, one slot at a time until an empty one, each global index
// turned into a mesh by walking the base meshes; the first vertex with
// records whose key matches. Its (mesh, vertex), or (-1, -1).
std::pair<std::int64_t, std::int64_t> probe_lookup(const zel_alembic_t& archive, std::uint64_t key);

struct Nearest {
    std::uint32_t mesh;
    std::uint32_t vertex;
    std::uint64_t distance;
    bool operator==(const Nearest&) const = default;
};

// The k nearest base vertices by the literal scan: a list of k entries
// initialised to all-ones distances; every vertex with records gets its root
// by Newton steps and, when below the last entry's distance, replaces it and
// swaps forward while strictly below its predecessor.
std::vector<Nearest> nearest_scan(const zel_alembic_t& archive, std::uint64_t key, int k);

}  // namespace zel_oracle
