// The mesh cache file: a 64-byte little-endian header, then the positions,
// the normals, the triangle indices and the skin, each at the offset the
// header gives. The sections are the in-memory arrays byte for byte, so the
// format assumes a little-endian host, as the mapped pointers handed out do.
#pragma once

#include <bit>
#include <cstdint>

#include "zel_mesh.h"

static_assert(std::endian::native == std::endian::little, "the mesh cache maps little-endian arrays in place");

namespace zel::mesh_cache {

inline constexpr char kMagic[4] = {'Z', 'E', 'L', 'M'};
inline constexpr std::uint32_t kHeaderSize = 64;
inline constexpr std::uint32_t kHeaderReserved = 1;  // written, never interpreted
inline constexpr std::uint64_t kVertexBytes = 12;    // three floats
inline constexpr std::uint64_t kTriangleBytes = 12;  // three u32
inline constexpr std::uint64_t kCountBytes = 4;      // the u32 counts of the skin section
inline constexpr std::uint64_t kJointBytes = sizeof(zel_skin_joint_t);
inline constexpr std::uint64_t kInfluenceBytes = sizeof(zel_skin_influence_t);
inline constexpr std::uint64_t kTrailerBytes = sizeof(zel_skin_t::trailer);

// Field positions inside the header.
enum HeaderField : std::uint32_t {
    kAtVersion = 4,
    kAtFlags = 6,
    kAtVertexCount = 8,
    kAtTriangleCount = 12,
    kAtJointCount = 16,
    kAtReserved = 20,
    kAtBounds = 24,
    kAtPositionsOffset = 48,
    kAtNormalsOffset = 52,
    kAtIndicesOffset = 56,
    kAtSkinOffset = 60,
};

}  // namespace zel::mesh_cache
