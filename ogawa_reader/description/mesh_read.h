// Reading a mesh of a described archive: which object and which sample a
// read names, and its arrays exactly as stored.
#pragma once

#include <cstdint>

#include "ogawa_archive.h"
#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// The mesh a read names: with no object, the first PolyMesh in pre-order
// whose sample 0 holds a position; otherwise the object whose full path is
// object->path, when it is a PolyMesh or a SubD (read as its control cage).
// kNone when there is no such mesh.
std::uint32_t find_mesh(CachedReader& reader, const Description& d, const ogawa_object_t* object);

// Sample `sample` of that mesh into the cleared record: name, path,
// positions, face counts and indices, normals expanded by their scope,
// bounds, sample count and times, the identity transform.
// 0; -1 no such mesh or sample, no positions in it, or a damaged node (the
// record is left cleared); -2 the positions cannot be allocated (cleared).
// Another array that cannot be allocated is left out.
int read_mesh(CachedReader& reader, const Description& d, const ogawa_object_t* object, std::uint32_t sample,
              ogawa_polymesh_t* mesh);

// Positions alone, codes as read_mesh; the array is the caller's.
int read_mesh_positions(CachedReader& reader, const Description& d, const ogawa_object_t* object,
                        std::uint32_t sample, float** positions, std::uint32_t* count);

}  // namespace zel::desc
