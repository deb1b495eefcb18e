/* Attribute readers: normals, texture coordinates and a tangent frame, each
 * found by scanning the whole archive for a block of plausible shape and
 * values, right after its size field (no 16-byte prefix is assumed). None of
 * them consults an object or a sample index; the arguments are kept for hosts
 * that pass them. Each fills its outputs from scratch and keeps no state in
 * the archive, but moves the archive's stream. */
#ifndef OGAWA_ATTRIBUTES_H
#define OGAWA_ATTRIBUTES_H

#include "ogawa_archive.h"
#include "ogawa_polymesh.h"
#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* The largest block of 36..5,000,000 bytes, a multiple of 12, whose first six
 * floats are finite and within -1.1..1.1 (the first found among equals).
 * *normals receives *count triples (release with free()), *normal_indices
 * null and *scope OGAWA_SCOPE_VERTEX.
 * 0 success; -1 a null argument or stream, a file of 40 bytes or less or no
 * such block (outputs untouched), or a short read (*normals null, *count 0);
 * -2 the array cannot be allocated (*normals null, *count 0). */
ZEL_API int ogawa_read_normals(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                               float** normals, uint32_t** normal_indices, uint32_t* count, uint32_t* scope);

/* Texture coordinates: the mesh-data finder's candidate (the largest block
 * of more than 1000 bytes, a multiple of 8, whose first two floats lie within
 * -10..10), else the largest block of 16..5,000,000 bytes, a multiple of 8,
 * whose first four floats lie within -10..10. The set is cleared and filled:
 * name "uv", uv_count pairs (released with ogawa_free_uv_set), scope
 * OGAWA_SCOPE_FACE_VARYING.
 * 0 success; -1 a null argument or stream, a file of 40 bytes or less or no
 * such block (set untouched), or a short read (set cleared, named "uv");
 * -2 the array cannot be allocated. */
ZEL_API int ogawa_read_uvs(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                           uint32_t reserved, ogawa_uv_set_t* set);

/* A tangent frame: of the first 32 blocks of 36..5,000,000 bytes, a multiple
 * of 12, whose first six floats are finite and within -1.1..1.1, the first
 * pair of equal size (tangents from the earlier, bitangents from the later),
 * not the largest. The frame is cleared first; when filled, count triples in
 * each array and scope OGAWA_SCOPE_VERTEX (release with
 * ogawa_free_tangent_frame).
 * 0 success; -1 a null argument or stream, a file of 40 bytes or less, no two
 * such blocks of equal size, or a short read of either (frame left empty);
 * -2 an array cannot be allocated (frame left empty). */
ZEL_API int ogawa_read_tangent_frame(ogawa_archive_t* archive, const ogawa_object_t* object,
                                     uint32_t sample_index, ogawa_tangent_frame_t* frame);

ZEL_EXTERN_C_END

#endif /* OGAWA_ATTRIBUTES_H */
