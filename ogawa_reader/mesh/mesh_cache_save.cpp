// Writing a polymesh as a mesh cache file. Everything that can fail short of
// the file itself (checks, the derived normals and triangles) happens before
// the file is created, so a refused save leaves no file behind.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/file_io.h"
#include "ogawa_reader/mesh/face_walk.h"
#include "ogawa_reader/mesh/mesh_cache_format.h"
#include "ogawa_reader/mesh/vector3.h"
#include "platform/platform.h"

namespace zel::mesh_cache {
namespace {

struct Layout {
    std::uint64_t vertex_bytes = 0;  // of the positions, and of the normals when written
    std::uint32_t triangle_count = 0;
    bool has_normals = false;
    bool has_skin = false;
    std::uint64_t normals_offset = 0;
    std::uint64_t indices_offset = 0;
    std::uint64_t skin_offset = 0;
};

// Whether the faces are fanned into triangles; without face counts the
// indices are written as they stand.
bool fans_faces(const ogawa_polymesh_t& mesh) { return mesh.face_counts && mesh.face_count != 0; }

// Triangles of the fan triangulation, or the whole triples of the indices when
// the mesh has no face counts.
std::uint32_t count_triangles(const ogawa_polymesh_t& mesh) {
    if (!fans_faces(mesh)) {
        return static_cast<std::uint32_t>(faces::available_corners(mesh) / 3);
    }
    std::uint64_t triangles = 0;
    for (std::uint32_t f = 0; f < mesh.face_count; ++f) {
        if (mesh.face_counts[f] >= 3) triangles += mesh.face_counts[f] - 2;
    }
    // At most the corner count, which the caller checked fits the indices.
    return static_cast<std::uint32_t>(triangles);
}

bool offsets_fit(const Layout& layout) {
    std::uint64_t last_start = layout.has_skin ? layout.skin_offset : layout.indices_offset;
    return last_start <= UINT32_MAX;
}

Layout plan_layout(const ogawa_polymesh_t& mesh, const zel_skin_t* skin) {
    Layout layout;
    layout.triangle_count = count_triangles(mesh);
    layout.has_normals = mesh.normals && mesh.normal_count != 0;
    layout.has_skin = skin && skin->joint_count != 0;
    layout.vertex_bytes = kVertexBytes * mesh.position_count;
    layout.normals_offset = layout.has_normals ? kHeaderSize + layout.vertex_bytes : 0;
    layout.indices_offset = kHeaderSize + layout.vertex_bytes + (layout.has_normals ? layout.vertex_bytes : 0);
    layout.skin_offset = layout.has_skin ? layout.indices_offset + kTriangleBytes * layout.triangle_count : 0;
    return layout;
}

bool normals_per_vertex(const ogawa_polymesh_t& mesh) {
    return mesh.normal_scope == OGAWA_SCOPE_VERTEX && mesh.normal_count == mesh.position_count;
}

// Per-vertex normals from face-corner normals: corner c (numbered across the
// whole mesh) adds normal c, or normal 0 past the normals, to its vertex;
// the sums are normalised. Null when out of memory.
float* average_corner_normals(const ogawa_polymesh_t& mesh) {
    const std::uint32_t vertex_count = mesh.position_count;
    float* sums = alloc_zeroed_array<float>(3 * std::size_t{vertex_count});
    if (!sums) return nullptr;
    // Corners follow each other across faces, so the walk over the faces is a
    // walk over the first corners of the indices.
    std::uint64_t corners = faces::total_corners(mesh.face_counts, mesh.face_count);
    if (corners > faces::available_corners(mesh)) corners = faces::available_corners(mesh);
    for (std::uint64_t c = 0; c < corners; ++c) {
        std::uint32_t v = mesh.face_indices[c];
        if (v >= vertex_count) continue;
        const float* normal = mesh.normals + (c < mesh.normal_count ? 3 * c : 0);
        vec3::add_to(sums + 3 * std::size_t{v}, normal);
    }
    for (std::uint32_t v = 0; v < vertex_count; ++v) vec3::normalise_if_long(sums + 3 * std::size_t{v});
    return sums;
}

// The fan triangles of every face, in face order. Null when out of memory.
std::uint32_t* fan_all_faces(const ogawa_polymesh_t& mesh, std::uint32_t triangle_count) {
    std::uint32_t* triangles = alloc_array<std::uint32_t>(3 * std::size_t{triangle_count});
    if (!triangles) return nullptr;
    std::uint32_t* out = triangles;
    faces::for_each_face(mesh.face_counts, mesh.face_count, [&](std::uint32_t, std::uint64_t first, std::uint32_t n) {
        out += 3 * std::size_t{faces::write_fan(mesh.face_indices + first, n, out)};
    });
    return triangles;
}

// The sections computed from the mesh, owned until the save returns.
struct DerivedSections {
    float* normals = nullptr;          // null when the mesh's own are written
    std::uint32_t* triangles = nullptr;  // null when the indices are written as they stand
    ~DerivedSections() {
        std::free(normals);
        std::free(triangles);
    }
};

bool build_derived(const ogawa_polymesh_t& mesh, const Layout& layout, DerivedSections* derived) {
    if (layout.has_normals && !normals_per_vertex(mesh)) {
        derived->normals = average_corner_normals(mesh);
        if (!derived->normals) return false;
    }
    if (fans_faces(mesh)) {
        derived->triangles = fan_all_faces(mesh, layout.triangle_count);
        if (!derived->triangles) return false;
    }
    return true;
}

void fill_header(const ogawa_polymesh_t& mesh, const zel_skin_t* skin, const Layout& layout,
                 unsigned char* header) {
    std::memset(header, 0, kHeaderSize);
    std::memcpy(header, kMagic, sizeof kMagic);
    store_u16(header + kAtVersion, ZEL_MESH_VERSION);
    std::uint16_t flags = (layout.has_normals ? ZEL_MESH_FLAG_NORMALS : 0u) | (layout.has_skin ? ZEL_MESH_FLAG_SKIN : 0u);
    store_u16(header + kAtFlags, flags);
    store_u32(header + kAtVertexCount, mesh.position_count);
    store_u32(header + kAtTriangleCount, layout.triangle_count);
    store_u32(header + kAtJointCount, layout.has_skin ? skin->joint_count : 0u);
    store_u32(header + kAtReserved, kHeaderReserved);
    for (int a = 0; a < 3; ++a) {
        store_f32(header + kAtBounds + 4 * a, mesh.bounds.min[a]);
        store_f32(header + kAtBounds + 12 + 4 * a, mesh.bounds.max[a]);
    }
    store_u32(header + kAtPositionsOffset, kHeaderSize);
    store_u32(header + kAtNormalsOffset, static_cast<std::uint32_t>(layout.normals_offset));
    store_u32(header + kAtIndicesOffset, static_cast<std::uint32_t>(layout.indices_offset));
    store_u32(header + kAtSkinOffset, static_cast<std::uint32_t>(layout.skin_offset));
}

bool write_u32(std::FILE* f, std::uint32_t value) {
    unsigned char bytes[4];
    store_u32(bytes, value);
    return write_exact(f, bytes, sizeof bytes);
}

// The joint and influence records have no padding, so the arrays are their
// file records byte for byte.
bool write_skin(std::FILE* f, const zel_skin_t& skin) {
    return write_u32(f, skin.joint_count) && write_exact(f, skin.joints, kJointBytes * skin.joint_count) &&
           write_u32(f, skin.influence_count) &&
           write_exact(f, skin.influences, kInfluenceBytes * skin.influence_count) &&
           write_exact(f, skin.trailer, kTrailerBytes);
}

bool write_sections(std::FILE* f, const ogawa_polymesh_t& mesh, const zel_skin_t* skin, const Layout& layout,
                    const DerivedSections& derived) {
    unsigned char header[kHeaderSize];
    fill_header(mesh, skin, layout, header);
    const std::uint32_t* indices = derived.triangles ? derived.triangles : mesh.face_indices;
    return write_exact(f, header, kHeaderSize) && write_exact(f, mesh.positions, layout.vertex_bytes) &&
           (!layout.has_normals ||
            write_exact(f, derived.normals ? derived.normals : mesh.normals, layout.vertex_bytes)) &&
           write_exact(f, indices, kTriangleBytes * layout.triangle_count) &&
           (!layout.has_skin || write_skin(f, *skin));
}

bool skin_arrays_present(const zel_skin_t& skin) {
    return skin.joints && (skin.influences || skin.influence_count == 0);
}

bool indices_below(const ogawa_polymesh_t& mesh, std::uint32_t vertex_count) {
    if (!mesh.face_indices) return true;
    for (std::uint32_t k = 0; k < mesh.face_index_count; ++k) {
        if (mesh.face_indices[k] >= vertex_count) return false;
    }
    return true;
}

}  // namespace
}  // namespace zel::mesh_cache

extern "C" {

ZEL_API int32_t zel_mesh_save(const ogawa_polymesh_t* mesh, const zel_skin_t* skin, const char* path) {
    namespace mc = zel::mesh_cache;
    if (!mesh || !path || mesh->position_count == 0 || !mesh->positions) return -1;
    if (skin && skin->joint_count != 0 && !mc::skin_arrays_present(*skin)) return -1;
    if (!mc::indices_below(*mesh, mesh->position_count)) return -10;
    if (mc::fans_faces(*mesh) && !zel::faces::corners_inside(*mesh)) return -11;
    const mc::Layout layout = mc::plan_layout(*mesh, skin);
    if (!mc::offsets_fit(layout)) return -14;
    mc::DerivedSections derived;
    if (!mc::build_derived(*mesh, layout, &derived)) return -12;

    zel::File file(path, "wb");
    if (!file) return -2;
    // A partial file is removed; a device or a FIFO written to is not a file
    // of ours to remove.
    const bool regular = zel::is_regular_file(file.get());
    bool written = mc::write_sections(file.get(), *mesh, skin, layout, derived);
    bool closed = file.close();
    if (!written || !closed) {
        if (regular) zel::remove_file(path);
        return -13;
    }
    return 0;
}

}  // extern "C"
