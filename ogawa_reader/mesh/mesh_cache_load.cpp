// Loading a mesh cache by mapping it read-only: the header is parsed, every
// section it announces is checked to lie inside the file at an aligned offset,
// then positions, normals and indices are handed out in place and only the
// skin is copied.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/file_io.h"
#include "ogawa_reader/mesh/mesh_cache_format.h"
#include "platform/platform.h"

namespace zel::mesh_cache {
namespace {

void parse_header(const unsigned char* bytes, zel_mesh_header_t* header) {
    std::memcpy(header->magic, bytes, sizeof header->magic);
    header->version = load_u16(bytes + kAtVersion);
    header->flags = load_u16(bytes + kAtFlags);
    header->vertex_count = load_u32(bytes + kAtVertexCount);
    header->triangle_count = load_u32(bytes + kAtTriangleCount);
    header->joint_count = load_u32(bytes + kAtJointCount);
    header->reserved = load_u32(bytes + kAtReserved);
    for (int i = 0; i < 6; ++i) header->bounds[i] = load_f32(bytes + kAtBounds + 4 * i);
    header->positions_offset = load_u32(bytes + kAtPositionsOffset);
    header->normals_offset = load_u32(bytes + kAtNormalsOffset);
    header->indices_offset = load_u32(bytes + kAtIndicesOffset);
    header->skin_offset = load_u32(bytes + kAtSkinOffset);
}

bool has_flag(const zel_mesh_header_t& header, unsigned flag) { return (header.flags & flag) != 0; }

// True when length bytes from offset lie inside a file of size bytes; no sum
// can wrap.
bool inside(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
    return offset <= size && length <= size - offset;
}

// A section handed out as a typed pointer: aligned for floats and u32 (the
// view itself is page-aligned) and inside the file.
bool section_ok(std::uint64_t size, std::uint32_t offset, std::uint64_t length) {
    return offset % 4 == 0 && inside(size, offset, length);
}

// Walks the skin section's blocks, each checked before it is read.
bool skin_section_ok(const unsigned char* view, std::uint64_t size, std::uint32_t offset) {
    if (!section_ok(size, offset, kCountBytes)) return false;
    std::uint64_t at = offset;
    const std::uint64_t joints = load_u32(view + at);
    at += kCountBytes;
    if (!inside(size, at, kJointBytes * joints)) return false;
    at += kJointBytes * joints;
    if (!inside(size, at, kCountBytes)) return false;
    const std::uint64_t influences = load_u32(view + at);
    at += kCountBytes;
    if (!inside(size, at, kInfluenceBytes * influences)) return false;
    at += kInfluenceBytes * influences;
    return inside(size, at, kTrailerBytes);
}

bool layout_ok(const unsigned char* view, std::uint64_t size, const zel_mesh_header_t& h) {
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) return false;
    const std::uint64_t vertex_bytes = kVertexBytes * h.vertex_count;
    if (!section_ok(size, h.positions_offset, vertex_bytes)) return false;
    if (has_flag(h, ZEL_MESH_FLAG_NORMALS) && !section_ok(size, h.normals_offset, vertex_bytes)) return false;
    if (!section_ok(size, h.indices_offset, kTriangleBytes * h.triangle_count)) return false;
    return !has_flag(h, ZEL_MESH_FLAG_SKIN) || skin_section_ok(view, size, h.skin_offset);
}

// Copies a block of count records into a new array, or
// leaves it null when the array cannot be allocated.
template <class Record>
Record* copy_records(const unsigned char* from, std::uint32_t count) {
    Record* records = alloc_array<Record>(count);
    if (records && count != 0) std::memcpy(records, from, sizeof(Record) * std::size_t{count});
    return records;
}

// The skin section, already checked by skin_section_ok. The records are the
// in-memory structures byte for byte.
void copy_skin(const unsigned char* view, std::uint64_t at, zel_skin_t* skin) {
    skin->joint_count = load_u32(view + at);
    at += kCountBytes;
    skin->joints = copy_records<zel_skin_joint_t>(view + at, skin->joint_count);
    at += kJointBytes * skin->joint_count;
    skin->influence_count = load_u32(view + at);
    at += kCountBytes;
    skin->influences = copy_records<zel_skin_influence_t>(view + at, skin->influence_count);
    at += kInfluenceBytes * skin->influence_count;
    std::memcpy(skin->trailer, view + at, kTrailerBytes);
}

}  // namespace
}  // namespace zel::mesh_cache

extern "C" {

ZEL_API int32_t zel_mesh_load(const char* path, zel_mesh_t* mesh) {
    namespace mc = zel::mesh_cache;
    if (!path || !mesh) return -1;
    std::memset(mesh, 0, sizeof *mesh);
    zel::MappedView view;
    uint64_t file_size = 0;
    const zel::MapResult mapped = zel::map_readonly(path, mc::kHeaderSize, &view, &file_size);
    if (mapped == zel::kMapTooSmall) return -5;
    if (mapped != zel::kMapOk) {
        // -2, -3 and -4 are the platform's codes; a file that was opened
        // leaves its size behind.
        if (mapped != zel::kMapOpenFailed) mesh->file_size = file_size;
        return static_cast<int32_t>(mapped);
    }

    mc::parse_header(view.data, &mesh->header);
    if (!mc::layout_ok(view.data, file_size, mesh->header)) {
        zel::unmap(&view);
        std::memset(mesh, 0, sizeof *mesh);
        return -5;
    }
    const zel_mesh_header_t& h = mesh->header;
    mesh->view = view.data;
    mesh->file_size = file_size;
    mesh->positions = reinterpret_cast<const float*>(view.data + h.positions_offset);
    if (mc::has_flag(h, ZEL_MESH_FLAG_NORMALS)) {
        mesh->normals = reinterpret_cast<const float*>(view.data + h.normals_offset);
    }
    mesh->indices = reinterpret_cast<const uint32_t*>(view.data + h.indices_offset);
    if (!mc::has_flag(h, ZEL_MESH_FLAG_SKIN)) return 0;

    // Without memory for the skin record the mesh still loads, without a skin.
    mesh->skin = zel::alloc_zeroed_array<zel_skin_t>(1);
    if (mesh->skin) mc::copy_skin(view.data, h.skin_offset, mesh->skin);
    return 0;
}

ZEL_API void zel_mesh_free(zel_mesh_t* mesh) {
    if (!mesh) return;
    if (mesh->view) {
        zel::MappedView view{mesh->view, mesh->file_size};
        zel::unmap(&view);
    }
    if (mesh->skin) {
        zel_skin_free(mesh->skin);
        std::free(mesh->skin);
    }
    std::memset(mesh, 0, sizeof *mesh);
}

ZEL_API int32_t zel_mesh_get_gpu_data(const zel_mesh_t* mesh, const float** positions,
                                      const float** normals, const uint32_t** indices,
                                      uint32_t* vertex_count, uint32_t* triangle_count) {
    if (!mesh || !mesh->view) return -1;
    if (positions) *positions = mesh->positions;
    if (normals) *normals = mesh->normals;
    if (indices) *indices = mesh->indices;
    if (vertex_count) *vertex_count = mesh->header.vertex_count;
    if (triangle_count) *triangle_count = mesh->header.triangle_count;
    return 0;
}

}  // extern "C"
