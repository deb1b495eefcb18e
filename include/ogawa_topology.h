/* Topology and geometry of polygon meshes: the vertex-to-face manifold and the
 * neighbours of a vertex, tangent frames from texture coordinates, bounding
 * boxes and fan triangulation. */
#ifndef OGAWA_TOPOLOGY_H
#define OGAWA_TOPOLOGY_H

#include "ogawa_polymesh.h"

ZEL_EXTERN_C_BEGIN

/* Builds mesh->manifold: for every vertex the faces that name it, in
 * increasing face number (a face once for every corner that names the vertex),
 * and the running corner offsets of the faces. A face has face_counts[f]
 * corners, or 3 when face_counts is null. Corners naming a vertex not below
 * position_count are left out of the adjacency. The manifold borrows
 * mesh->face_indices. Arrays the manifold already holds are released first.
 * 0; -1 null mesh or no vertices (manifold untouched); -3 the faces' corners
 * run past face_index_count (manifold untouched); -2 out of memory: the record
 * keeps what was built so far, for ogawa_free_manifold. */
ZEL_API int32_t ogawa_build_manifold(ogawa_polymesh_t* mesh);

/* Stores in *faces the run of face numbers of vertex and in *count its length.
 * The run belongs to the manifold (valid until it is released or rebuilt).
 * 0; -1 null argument, manifold not built, or vertex not below vertex_count. */
ZEL_API int32_t ogawa_get_vertex_faces(const ogawa_manifold_t* manifold, uint32_t vertex,
                                       const uint32_t** faces, uint32_t* count);

/* Stores in *list a new array of the vertices that share a face with vertex,
 * each once, in the order first met (faces in run order, corners in face
 * order), and in *count its length; the list is allocated also when empty and
 * the caller releases it with free() (zel_release where the runtimes differ). faces is the face block of the mesh the
 * manifold was built from ((const ogawa_face_block_t*)&mesh->face_counts); its
 * face_indices are read. 0; -1 null argument, manifold not built, vertex not
 * below vertex_count, or a face of the run whose corners are not inside the
 * block; -2 out of memory. Nothing is stored unless the result is 0. */
ZEL_API int32_t ogawa_get_vertex_neighbors(const ogawa_manifold_t* manifold,
                                           const ogawa_face_block_t* faces, uint32_t vertex,
                                           uint32_t** list, uint32_t* count);

/* No edge structure is kept, so closedness is never established: always 0. */
ZEL_API int32_t ogawa_is_manifold_closed(const ogawa_manifold_t* manifold);

/* Computes a per-vertex tangent and bitangent into mesh->tangent_frame from
 * the positions, the faces and one texture coordinate set: the set named
 * uv_set_name (first exact match), or the first set when the name is null.
 * Every face of 3 or more corners adds the frame of its first triangle to all
 * its corners below position_count; sums longer than 1e-8 are normalised.
 * A face-varying set (scope 4) gives corner k of the faces coordinate k, a
 * per-vertex set vertex v coordinate v (coordinate 0 when v is past
 * uv_count); an indexed set goes through indices[k] or indices[v].
 * A face is skipped when one of its first three vertex numbers is not below
 * position_count or a coordinate it needs lies outside the set (an index
 * past index_count or past uv_count, or a set without coordinates).
 * Arrays the frame already holds are released before the new ones are made.
 * 0 (scope OGAWA_SCOPE_VERTEX, count position_count); -1 null mesh, no
 * vertices or position array, or no uv sets; -2 no set of that name (or no
 * set array); -4 the faces' corners run past face_index_count; -3 out of
 * memory (count set, at most one array set). Nothing is written before -1, -2 or -4. */
ZEL_API int32_t ogawa_compute_tangent_frame(ogawa_polymesh_t* mesh, const char* uv_set_name);

/* Axis-aligned box of count positions (3 floats each). Comparisons are
 * strict: a NaN after the first position never enters the box. Does nothing
 * for a null pointer or count 0. */
ZEL_API void ogawa_compute_bounds(const float* positions, uint32_t count, ogawa_bounds_t* bounds);

/* Fans a convex polygon of corner_count corners around its first corner:
 * triangle t is (corners[0], corners[t+1], corners[t+2]). Stores a new array
 * of 3 x (corner_count - 2) entries in *triangles (released by the caller with
 * free(), or zel_release where the runtimes differ) and corner_count - 2 in *triangle_count. 0; -1 null argument or
 * fewer than 3 corners; -2 out of memory (*triangles null). */
ZEL_API int32_t ogawa_triangulate_face(const uint32_t* corners, uint32_t corner_count,
                                       uint32_t** triangles, uint32_t* triangle_count);

ZEL_EXTERN_C_END

#endif /* OGAWA_TOPOLOGY_H */
