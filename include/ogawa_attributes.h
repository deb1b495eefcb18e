/* Attribute readers: normals, texture coordinates and a tangent frame.
 *
 * Of a described archive (see ogawa_archive.h) they read the mesh and sample
 * that ogawa_read_polymesh would read for the same object and sample index:
 * the object whose full path is object->path (a PolyMesh or SubD), or with a
 * null object the first PolyMesh holding positions; a sample past the last,
 * or one without positions, is -1, as is a node found damaged.
 *
 * Of an undescribed archive each is found by scanning the whole archive for a
 * block of plausible shape and values, right after its size field (no
 * 16-byte prefix is assumed); the object, the sample index and the set
 * number are not consulted.
 *
 * Each fills its outputs from scratch and keeps no state in the archive. */
#ifndef OGAWA_ATTRIBUTES_H
#define OGAWA_ATTRIBUTES_H

#include "ogawa_archive.h"
#include "ogawa_polymesh.h"
#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Normals. *normals receives *count triples (release with free(),
 * or zel_release where the runtimes differ),
 * *normal_indices null.
 * Described: the mesh's N, expanded through its indices and placed by its
 * scope as ogawa_read_polymesh places it (*scope 3 or 4); on failure the
 * outputs are null and 0.
 * Undescribed: the largest block of 36..5,000,000 bytes, a multiple of 12,
 * whose first six floats are finite and within -1.1..1.1 (the first found
 * among equals); *scope OGAWA_SCOPE_VERTEX.
 * 0 success; -1 a null argument or stream; described: no such mesh or
 * sample, no normals, normals that do not fit their scope, or damage;
 * undescribed: a file of 40 bytes or less or no such block (outputs
 * untouched), or a short read (*normals null, *count 0); -2 an array cannot
 * be allocated (*normals null, *count 0). */
ZEL_API int ogawa_read_normals(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                               float** normals, uint32_t** normal_indices, uint32_t* count, uint32_t* scope);

/* Texture coordinates, released with ogawa_free_uv_set.
 * Described: the mesh's set number uv_set, numbered densely: `uv` first when
 * the mesh has it, then every f32 extent-2 geometry parameter of its
 * .arbGeomParams in header order. name is the parameter's name; uvs
 * (uv_count pairs) and, when the set is indexed, indices (index_count u32)
 * exactly as stored; scope 3 for a geoScope of vtx or var, 4 for fvr. The set
 * is cleared first and stays cleared on failure.
 * Undescribed: the mesh-data finder's candidate (the largest block of more
 * than 1000 bytes, a multiple of 8, whose first two floats lie within
 * -10..10), else the largest block of 16..5,000,000 bytes, a multiple of 8,
 * whose first four floats lie within -10..10: name "uv", uv_count pairs,
 * scope OGAWA_SCOPE_FACE_VARYING.
 * 0 success; -1 a null argument or stream; described: no such mesh, sample
 * or set, a set of another scope, or damage; undescribed: a file of 40 bytes
 * or less or no such block (set untouched), or a short read (set cleared,
 * named "uv"); -2 an array cannot be allocated. */
ZEL_API int ogawa_read_uvs(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                           uint32_t uv_set, ogawa_uv_set_t* set);

/* A tangent frame, released with ogawa_free_tangent_frame. The frame is
 * cleared first and stays empty on failure.
 * Described: a tangent and a bitangent geometry parameter (f32 extent 3) of
 * the mesh's .arbGeomParams, the first of each found by name in any case
 * (tangent, tangents, T; bitangent, bitangents, binormal, B), expanded
 * through their indices and placed by their scope as normals are; both of
 * one count and scope (3 per vertex, 4 per corner).
 * Undescribed: of the first 32 blocks of 36..5,000,000 bytes, a multiple of
 * 12, whose first six floats are finite and within -1.1..1.1, the first pair
 * of equal size (tangents from the earlier, bitangents from the later), not
 * the largest; count triples in each array and scope OGAWA_SCOPE_VERTEX.
 * 0 success; -1 a null argument or stream; described: no such mesh, sample
 * or pair, a pair that does not fit, or damage; undescribed: a file of 40
 * bytes or less, no two such blocks of equal size, or a short read of either;
 * -2 an array cannot be allocated. */
ZEL_API int ogawa_read_tangent_frame(ogawa_archive_t* archive, const ogawa_object_t* object,
                                     uint32_t sample_index, ogawa_tangent_frame_t* frame);

ZEL_EXTERN_C_END

#endif /* OGAWA_ATTRIBUTES_H */
