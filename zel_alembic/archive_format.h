// The token archive file: a 64-byte header, one block per base mesh, one
// block per frame, all little-endian and packed.
//
// Header: "BZEL", version u32, mesh_count u32, frame_count u32,
// total_vertices u64, total_faces u64, fps f32, time_start f32, time_end f32,
// reserved u32, 16 zero bytes.
// Mesh block: name[64], V u32, F u32, bounds 6 x f32, reserved u32, layer u8,
// then V x 12 position bytes, F x 12 face bytes, V x 40 vertex record bytes
// and V x 32 token slot bytes.
// Frame block: frame_number u32, time f32, M u32, then M x (V u32, V x 12
// position bytes).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "zel_alembic.h"

namespace zel::alembic {

// Arrays of floats, indices, vertex records and token slots are written and
// read in one call each: on a little-endian host with the records' layouts
// fixed by the public header (no hidden padding), memory and file bytes agree.
static_assert(std::endian::native == std::endian::little, "the archive file code assumes a little-endian host");

inline constexpr unsigned char kArchiveMagic[4] = {'B', 'Z', 'E', 'L'};
inline constexpr std::uint32_t kArchiveVersion = 1;
inline constexpr std::size_t kHeaderSize = 64;
inline constexpr std::size_t kMeshHeadSize = 101;   // name .. layer
inline constexpr std::size_t kFrameHeadSize = 12;   // frame_number, time, M
inline constexpr std::size_t kFrameMeshHeadSize = 4;  // V

inline constexpr std::size_t kPositionBytes = 12;  // per vertex
inline constexpr std::size_t kFaceBytes = 12;      // per triangle
inline constexpr std::size_t kRecordBytes = sizeof(zel_alembic_vertex_t);
inline constexpr std::size_t kSlotBytes = sizeof(zel_alembic_token_slot_t);

// Header field offsets.
inline constexpr std::size_t kHeaderVersion = 4;
inline constexpr std::size_t kHeaderMeshCount = 8;
inline constexpr std::size_t kHeaderFrameCount = 12;
inline constexpr std::size_t kHeaderTotalVertices = 16;
inline constexpr std::size_t kHeaderTotalFaces = 24;
inline constexpr std::size_t kHeaderFps = 32;
inline constexpr std::size_t kHeaderTimeStart = 36;
inline constexpr std::size_t kHeaderTimeEnd = 40;
inline constexpr std::size_t kHeaderReserved = 44;

// Mesh block head field offsets.
inline constexpr std::size_t kMeshVertexCount = 64;
inline constexpr std::size_t kMeshFaceCount = 68;
inline constexpr std::size_t kMeshBounds = 72;
inline constexpr std::size_t kMeshReserved = 96;
inline constexpr std::size_t kMeshLayer = 100;

// Bytes of a mesh block after its head.
inline std::uint64_t mesh_body_bytes(std::uint32_t vertices, std::uint32_t faces) {
    return std::uint64_t{vertices} * (kPositionBytes + kRecordBytes + kSlotBytes) + std::uint64_t{faces} * kFaceBytes;
}

}  // namespace zel::alembic
