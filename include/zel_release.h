/* Releasing the arrays that zelset hands out through output pointers
 * (ogawa_read_positions, ogawa_read_normals, ogawa_get_vertex_neighbors,
 * ogawa_triangulate_face, zel_alembic_interpolate_time, an uncached first
 * mesh). They come from the library's C runtime: a host built with the same
 * runtime may release them with free(); a host built with another one (on
 * Windows, a different C runtime than the DLL's) must release them with
 * zel_release. */
#ifndef ZEL_RELEASE_H
#define ZEL_RELEASE_H

#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Releases an array the library handed out, with the library's own
 * allocator. Null is ignored. zelset only: zelset_next hands out none. */
ZEL_API void zel_release(void* array);

ZEL_EXTERN_C_END

#endif /* ZEL_RELEASE_H */
