/* The mesh cache: a polygon mesh written as a file ready for drawing
 * (positions, per-vertex normals, triangles, optionally a skin), loaded by
 * mapping the file read-only; and linear-blend skinning of cached meshes. */
#ifndef ZEL_MESH_H
#define ZEL_MESH_H

#include "ogawa_polymesh.h"

ZEL_EXTERN_C_BEGIN

/* The open archive of the Ogawa reader; only a pointer to it is used here. */
#ifndef OGAWA_ARCHIVE_T_DEFINED
#define OGAWA_ARCHIVE_T_DEFINED
typedef struct ogawa_archive_t ogawa_archive_t;
#endif

#define ZEL_MESH_VERSION 2u
#define ZEL_MESH_FLAG_NORMALS 1u /* the normals section is present */
#define ZEL_MESH_FLAG_SKIN 4u    /* the skin section is present */

/* One joint of a skin: 328 bytes, stored byte for byte in the cache file. */
typedef struct zel_skin_joint_t {
    uint8_t joint_data[200]; /* host data carried unchanged */
    double bind_matrix[16];  /* 4 x 4, element 4r + c for row r, column c */
} zel_skin_joint_t;

/* The four influences of one vertex: 20 bytes, stored byte for byte. */
typedef struct zel_skin_influence_t {
    uint8_t joints[4]; /* joint index of each slot */
    float weights[4];  /* weight of each slot, used as it stands */
} zel_skin_influence_t;

typedef struct zel_skin_t {
    zel_skin_joint_t* joints; /* owned, joint_count records */
    uint32_t joint_count;
    zel_skin_influence_t* influences; /* owned, record i belongs to vertex i */
    uint32_t influence_count;
    uint8_t trailer[128]; /* carried unchanged through the cache file */
} zel_skin_t;

/* The 64-byte file header, as read. Offsets count from the start of the file. */
typedef struct zel_mesh_header_t {
    char magic[4]; /* "ZELM" */
    uint16_t version;
    uint16_t flags; /* ZEL_MESH_FLAG_NORMALS | ZEL_MESH_FLAG_SKIN */
    uint32_t vertex_count;
    uint32_t triangle_count;
    uint32_t joint_count; /* 0 without a skin */
    uint32_t reserved;    /* written as 1, not interpreted */
    float bounds[6];      /* minimum x, y, z, then maximum x, y, z */
    uint32_t positions_offset;
    uint32_t normals_offset; /* 0 without normals */
    uint32_t indices_offset;
    uint32_t skin_offset; /* 0 without a skin */
} zel_mesh_header_t;

/* A loaded cache. positions, normals and indices point into the read-only
 * view and are valid exactly as long as it is mapped; the skin is a copy. */
typedef struct zel_mesh_t {
    zel_mesh_header_t header;
    const float* positions; /* vertex_count x 3 */
    const float* normals;   /* vertex_count x 3, or null without normals */
    const uint32_t* indices; /* triangle_count x 3 */
    zel_skin_t* skin;        /* owned, or null */
    const uint8_t* view;     /* owned mapping of the whole file, or null */
    uint64_t file_size;
} zel_mesh_t;

ZEL_LAYOUT_CHECK(skin_joint_size, sizeof(zel_skin_joint_t) == 328);
ZEL_LAYOUT_CHECK(skin_joint_bind_matrix, offsetof(zel_skin_joint_t, bind_matrix) == 200);
ZEL_LAYOUT_CHECK(skin_influence_size, sizeof(zel_skin_influence_t) == 20);
ZEL_LAYOUT_CHECK(skin_influence_weights, offsetof(zel_skin_influence_t, weights) == 4);
ZEL_LAYOUT_CHECK(skin_size, sizeof(zel_skin_t) == 160);
ZEL_LAYOUT_CHECK(skin_joint_count, offsetof(zel_skin_t, joint_count) == 8);
ZEL_LAYOUT_CHECK(skin_influences, offsetof(zel_skin_t, influences) == 16);
ZEL_LAYOUT_CHECK(skin_influence_count, offsetof(zel_skin_t, influence_count) == 24);
ZEL_LAYOUT_CHECK(skin_trailer, offsetof(zel_skin_t, trailer) == 28);
ZEL_LAYOUT_CHECK(mesh_header_size, sizeof(zel_mesh_header_t) == 64);
ZEL_LAYOUT_CHECK(mesh_header_version, offsetof(zel_mesh_header_t, version) == 4);
ZEL_LAYOUT_CHECK(mesh_header_flags, offsetof(zel_mesh_header_t, flags) == 6);
ZEL_LAYOUT_CHECK(mesh_header_vertex_count, offsetof(zel_mesh_header_t, vertex_count) == 8);
ZEL_LAYOUT_CHECK(mesh_header_triangle_count, offsetof(zel_mesh_header_t, triangle_count) == 12);
ZEL_LAYOUT_CHECK(mesh_header_joint_count, offsetof(zel_mesh_header_t, joint_count) == 16);
ZEL_LAYOUT_CHECK(mesh_header_reserved, offsetof(zel_mesh_header_t, reserved) == 20);
ZEL_LAYOUT_CHECK(mesh_header_bounds, offsetof(zel_mesh_header_t, bounds) == 24);
ZEL_LAYOUT_CHECK(mesh_header_positions_offset, offsetof(zel_mesh_header_t, positions_offset) == 48);
ZEL_LAYOUT_CHECK(mesh_header_normals_offset, offsetof(zel_mesh_header_t, normals_offset) == 52);
ZEL_LAYOUT_CHECK(mesh_header_indices_offset, offsetof(zel_mesh_header_t, indices_offset) == 56);
ZEL_LAYOUT_CHECK(mesh_header_skin_offset, offsetof(zel_mesh_header_t, skin_offset) == 60);
ZEL_LAYOUT_CHECK(mesh_size, sizeof(zel_mesh_t) == 112);
ZEL_LAYOUT_CHECK(mesh_positions, offsetof(zel_mesh_t, positions) == 64);
ZEL_LAYOUT_CHECK(mesh_normals, offsetof(zel_mesh_t, normals) == 72);
ZEL_LAYOUT_CHECK(mesh_indices, offsetof(zel_mesh_t, indices) == 80);
ZEL_LAYOUT_CHECK(mesh_skin, offsetof(zel_mesh_t, skin) == 88);
ZEL_LAYOUT_CHECK(mesh_view, offsetof(zel_mesh_t, view) == 96);
ZEL_LAYOUT_CHECK(mesh_file_size, offsetof(zel_mesh_t, file_size) == 104);

/* Writes mesh (and skin, when given with joints) as a cache file at path:
 * the positions; per-vertex normals when the mesh has normals (copied when
 * normal_scope is OGAWA_SCOPE_VERTEX with one per vertex, otherwise the
 * face-corner normals summed per vertex and normalised when longer than
 * 1e-8); the faces fanned into triangles around their first corner (without
 * face counts, the first face_index_count / 3 triangles of face_indices as
 * they stand); the skin. The header's bounds are mesh->bounds.
 * 0; -1 null mesh or path, no vertices or no position array, or a skin with
 * joints whose joint or influence array is missing; -10 a face index not
 * below position_count; -11 face_counts add up to more than the face indices
 * held; -14 the sections would start beyond the 32-bit offsets of the header;
 * -12 out of memory for the derived sections; -2 the file cannot be created;
 * -13 a write or the close failed (the partial file is removed; a device or
 * FIFO written to is left in place). No file is created before -2. */
ZEL_API int32_t zel_mesh_save(const ogawa_polymesh_t* mesh, const zel_skin_t* skin, const char* path);

/* Maps the cache file at path read-only into mesh (overwritten without being
 * released: free a loaded record first) and points positions, normals and
 * indices into the view; the skin is copied out. The file's handles are closed
 * before returning; the view stays until zel_mesh_free. When the skin record
 * cannot be allocated the mesh loads without one, and a joint or influence
 * array that cannot be allocated stays null with its count set.
 * 0; -1 null argument; -2 the file cannot be opened; -3 the mapping cannot be
 * created; -4 the view cannot be mapped (after -3 or -4 the record keeps
 * file_size, otherwise it is zeroed); -5 not a mesh cache: shorter than 64
 * bytes, magic not "ZELM", a section offset not a multiple of 4, or a section
 * that does not lie inside the file (nothing stays mapped). */
ZEL_API int32_t zel_mesh_load(const char* path, zel_mesh_t* mesh);

/* Unmaps the view, releases the skin and zeroes the record. Null is ignored. */
ZEL_API void zel_mesh_free(zel_mesh_t* mesh);

/* Writes each non-null output: the section pointers (normals null without a
 * normals section), vertex_count and triangle_count. 0; -1 null mesh or
 * nothing mapped. */
ZEL_API int32_t zel_mesh_get_gpu_data(const zel_mesh_t* mesh, const float** positions,
                                      const float** normals, const uint32_t** indices,
                                      uint32_t* vertex_count, uint32_t* triangle_count);

/* Linear-blend skinning: output vertex i (of influence_count) is the sum over
 * its four slots of weight x (rest position i transformed by the joint's
 * combined matrix P x B, P the joint's pose from pose_matrices, 16 doubles per
 * joint, B its bind matrix). The transform is summed in double and rounded to
 * float, weighted and accumulated in float. Slots of weight below 1e-6 or with
 * a joint not below joint_count are skipped; weights are not normalised.
 * output may be rest_positions itself. Does nothing (output untouched) for a
 * null pointer, a skin whose joint or influence array is missing while its
 * count is not 0, or when the joint matrices cannot be allocated. */
ZEL_API void zel_skin_apply(const zel_skin_t* skin, const double* pose_matrices,
                            const float* rest_positions, float* output_positions);

/* Releases the joint and influence arrays and zeroes the whole record, counts
 * and trailer included. Null is ignored. */
ZEL_API void zel_skin_free(zel_skin_t* skin);

/* Archives carry no skinning data this reader extracts: zeroes the skin and
 * returns -1, also for a valid archive (-1 as well for a null archive or skin,
 * which is then left alone). The second argument is ignored. */
ZEL_API int32_t ogawa_read_skinning(ogawa_archive_t* archive, const void* unused, zel_skin_t* skin);

ZEL_EXTERN_C_END

#endif /* ZEL_MESH_H */
