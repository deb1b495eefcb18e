/* The polygon mesh record that the Ogawa reader fills and that topology,
 * tangents and the mesh cache extend or read, with what hangs from it. Every
 * array marked owned is released with free() by the record's release function;
 * a record's own storage always belongs to the caller. */
#ifndef OGAWA_POLYMESH_H
#define OGAWA_POLYMESH_H

#include "zel_api.h"
#include "zel_release.h"

ZEL_EXTERN_C_BEGIN

/* Attribute scopes: 0 means no attribute. */
#define OGAWA_SCOPE_VERTEX 3u       /* one value per vertex */
#define OGAWA_SCOPE_FACE_VARYING 4u /* one value per face corner */

typedef struct ogawa_bounds_t {
    float min[3];
    float max[3];
} ogawa_bounds_t;

typedef struct ogawa_uv_set_t {
    char name[64];
    float* uvs; /* owned, 2 floats per entry */
    uint32_t uv_count;
    uint32_t* indices; /* owned; no reader fills it */
    uint32_t index_count;
    uint32_t scope;
} ogawa_uv_set_t;

typedef struct ogawa_tangent_frame_t {
    float* tangents;   /* owned, 3 floats per entry */
    float* bitangents; /* owned, 3 floats per entry */
    uint32_t count;
    uint32_t scope;
} ogawa_tangent_frame_t;

/* Vertex-to-face adjacency. The run of vertex v is vertex_faces[
 * vertex_face_offsets[v] .. vertex_face_offsets[v+1]); face f uses
 * face_indices[face_offsets[f] .. face_offsets[f+1]). The spare fields are
 * never filled; the owned spare pointers are released if a host sets them. */
typedef struct ogawa_manifold_t {
    uint32_t* vertex_faces;        /* owned */
    uint32_t* vertex_face_offsets; /* owned, vertex_count + 1 entries */
    uint32_t vertex_count;
    uint32_t* face_indices; /* borrowed from the mesh, never released here */
    uint32_t* face_offsets; /* owned, face_count + 1 entries */
    uint32_t face_count;
    void* spare0; /* owned */
    uint64_t spare_word;
    void* spare1; /* owned */
    void* spare2; /* owned */
} ogawa_manifold_t;

/* The four face fields of a polymesh, as they stand together in the record:
 * (const ogawa_face_block_t*)&mesh->face_counts views them as one block. */
typedef struct ogawa_face_block_t {
    uint32_t* face_counts;
    uint32_t face_count;
    uint32_t* face_indices;
    uint32_t face_index_count;
} ogawa_face_block_t;

typedef struct ogawa_polymesh_t {
    char name[256];  /* "mesh" when read without an object */
    char path[1024]; /* "/mesh" when read without an object */
    float* positions; /* owned, 3 floats per vertex */
    uint32_t position_count;
    float* aux_vectors; /* owned; no operation fills it */
    uint32_t aux_vector_count;
    float* normals; /* owned, 3 floats per normal */
    uint32_t normal_count;
    uint32_t* normal_indices; /* owned; no operation fills it */
    uint32_t normal_scope;
    uint32_t* face_counts; /* owned, corners of each face */
    uint32_t face_count;
    uint32_t* face_indices; /* owned, vertex numbers of all faces, face after face */
    uint32_t face_index_count;
    ogawa_uv_set_t* uv_sets; /* owned array of uv_set_count sets */
    uint32_t uv_set_count;
    ogawa_tangent_frame_t tangent_frame;
    ogawa_manifold_t manifold;
    ogawa_bounds_t bounds;
    ogawa_bounds_t initial_bounds;
    uint64_t reserved0;
    uint32_t reserved1;
    uint32_t sample_count;
    double* sample_times; /* owned */
    double transform[16]; /* 4 x 4 row-major world matrix (identity from an undescribed archive) */
} ogawa_polymesh_t;

ZEL_LAYOUT_CHECK(bounds_size, sizeof(ogawa_bounds_t) == 24);
ZEL_LAYOUT_CHECK(uv_set_size, sizeof(ogawa_uv_set_t) == 96);
ZEL_LAYOUT_CHECK(uv_set_uvs, offsetof(ogawa_uv_set_t, uvs) == 64);
ZEL_LAYOUT_CHECK(uv_set_indices, offsetof(ogawa_uv_set_t, indices) == 80);
ZEL_LAYOUT_CHECK(uv_set_scope, offsetof(ogawa_uv_set_t, scope) == 92);
ZEL_LAYOUT_CHECK(tangent_frame_size, sizeof(ogawa_tangent_frame_t) == 24);
ZEL_LAYOUT_CHECK(tangent_frame_count, offsetof(ogawa_tangent_frame_t, count) == 16);
ZEL_LAYOUT_CHECK(manifold_size, sizeof(ogawa_manifold_t) == 80);
ZEL_LAYOUT_CHECK(manifold_face_indices, offsetof(ogawa_manifold_t, face_indices) == 24);
ZEL_LAYOUT_CHECK(manifold_face_count, offsetof(ogawa_manifold_t, face_count) == 40);
ZEL_LAYOUT_CHECK(manifold_spare_word, offsetof(ogawa_manifold_t, spare_word) == 56);
ZEL_LAYOUT_CHECK(manifold_spare2, offsetof(ogawa_manifold_t, spare2) == 72);
ZEL_LAYOUT_CHECK(face_block_size, sizeof(ogawa_face_block_t) == 32);
ZEL_LAYOUT_CHECK(polymesh_size, sizeof(ogawa_polymesh_t) == 1696);
ZEL_LAYOUT_CHECK(polymesh_positions, offsetof(ogawa_polymesh_t, positions) == 1280);
ZEL_LAYOUT_CHECK(polymesh_normals, offsetof(ogawa_polymesh_t, normals) == 1312);
ZEL_LAYOUT_CHECK(polymesh_normal_scope, offsetof(ogawa_polymesh_t, normal_scope) == 1336);
ZEL_LAYOUT_CHECK(polymesh_face_counts, offsetof(ogawa_polymesh_t, face_counts) == 1344);
ZEL_LAYOUT_CHECK(polymesh_face_block,
                 offsetof(ogawa_polymesh_t, face_index_count) - offsetof(ogawa_polymesh_t, face_counts) ==
                     offsetof(ogawa_face_block_t, face_index_count) &&
                 offsetof(ogawa_polymesh_t, face_indices) - offsetof(ogawa_polymesh_t, face_counts) ==
                     offsetof(ogawa_face_block_t, face_indices));
ZEL_LAYOUT_CHECK(polymesh_uv_sets, offsetof(ogawa_polymesh_t, uv_sets) == 1376);
ZEL_LAYOUT_CHECK(polymesh_tangent_frame, offsetof(ogawa_polymesh_t, tangent_frame) == 1392);
ZEL_LAYOUT_CHECK(polymesh_manifold, offsetof(ogawa_polymesh_t, manifold) == 1416);
ZEL_LAYOUT_CHECK(polymesh_bounds, offsetof(ogawa_polymesh_t, bounds) == 1496);
ZEL_LAYOUT_CHECK(polymesh_reserved0, offsetof(ogawa_polymesh_t, reserved0) == 1544);
ZEL_LAYOUT_CHECK(polymesh_sample_count, offsetof(ogawa_polymesh_t, sample_count) == 1556);
ZEL_LAYOUT_CHECK(polymesh_sample_times, offsetof(ogawa_polymesh_t, sample_times) == 1560);
ZEL_LAYOUT_CHECK(polymesh_transform, offsetof(ogawa_polymesh_t, transform) == 1568);

/* Release functions: each accepts null, releases the owned arrays and clears
 * the record, never the record's own storage. */

/* Releases every array of the mesh, its uv sets, tangent frame and manifold
 * (never the manifold's borrowed face indices twice), then zeroes the record. */
ZEL_API void ogawa_free_polymesh(ogawa_polymesh_t* mesh);
/* Releases uvs and indices and zeroes the whole set, name included. */
ZEL_API void ogawa_free_uv_set(ogawa_uv_set_t* set);
/* Releases both arrays; count and scope become 0. */
ZEL_API void ogawa_free_tangent_frame(ogawa_tangent_frame_t* frame);
/* Releases the owned arrays and the spare pointers, then zeroes the record. */
ZEL_API void ogawa_free_manifold(ogawa_manifold_t* manifold);

ZEL_EXTERN_C_END

#endif /* OGAWA_POLYMESH_H */
