// Reading a mesh of a described archive: which object and which sample a
// read names, and its arrays exactly as stored.
#pragma once

#include <cstdint>

#include "common/alloc.h"
#include "ogawa_archive.h"
#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// Objects are named by their nodes (see object_tree.h).

// The properties of a mesh's .geom that a read takes.
struct MeshProperties {
    std::uint32_t geom = kNone;
    std::uint32_t positions = kNone;  // P: f32 extent 3
    std::uint32_t face_counts = kNone;
    std::uint32_t face_indices = kNone;
    std::uint32_t normals = kNone;  // N
};

// Those of object, when it is a PolyMesh or SubD with positions (its
// properties are decoded on first use).
bool mesh_properties(CachedReader& reader, Description& d, std::uint32_t object, MeshProperties* m);

// The mesh a read names: with no object, the first PolyMesh in pre-order
// whose sample 0 holds a position; otherwise the object whose full path is
// object->path, when it is a PolyMesh or a SubD (read as its control cage).
// kNone when there is no such mesh.
std::uint32_t find_mesh(CachedReader& reader, Description& d, const ogawa_object_t* object);

// Sample `sample` of that mesh into the cleared record: name, path,
// positions, face counts and indices, normals expanded by their scope,
// bounds, sample count and times, the identity transform.
// 0; -1 no such mesh or sample, no positions in it, or a damaged node (the
// record is left cleared); -2 the positions cannot be allocated (cleared).
// Another array that cannot be allocated is left out.
int read_mesh(CachedReader& reader, Description& d, const ogawa_object_t* object, std::uint32_t sample,
              ogawa_polymesh_t* mesh);

// The vertices, corners and faces of a mesh's sample, for the attribute
// readers: its face counts are read (null when absent or not allocated).
struct MeshSample {
    std::uint32_t object = kNone;
    MeshProperties properties;
    std::uint32_t position_count = 0;
    std::uint32_t face_index_count = 0;
    OwnedBlock<std::uint32_t> face_counts;
    std::uint32_t face_count = 0;
};
// 0; -1 no such mesh or sample, no positions, or damage.
int locate_mesh_sample(CachedReader& reader, Description& d, const ogawa_object_t* object,
                       std::uint32_t sample, MeshSample* out);

// Positions alone, codes as read_mesh; the array is the caller's.
int read_mesh_positions(CachedReader& reader, Description& d, const ogawa_object_t* object,
                        std::uint32_t sample, float** positions, std::uint32_t* count);

}  // namespace zel::desc
