// The attribute readers on a described archive: normals, texture-coordinate
// sets and a tangent frame of the mesh and sample a read names (as
// ogawa_read_polymesh names them).
#pragma once

#include <cstdint>

#include "ogawa_archive.h"
#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// N, expanded as ogawa_read_polymesh expands it. 0; -1 no such mesh or
// sample, no normals, normals that do not fit, or damage; -2 an array
// cannot be allocated. Outputs are null and 0 on failure.
int read_mesh_normals(CachedReader& reader, Description& d, const ogawa_object_t* object,
                      std::uint32_t sample, float** normals, std::uint32_t* count, std::uint32_t* scope);

// Texture-coordinate set `index`: `uv` first when the mesh has it, then every
// f32 extent-2 geometry parameter of .arbGeomParams in header order; values
// and indices as stored. The set is cleared first. 0; -1 no such mesh,
// sample or set, a scope other than vtx, var or fvr, or damage; -2 an array
// cannot be allocated.
int read_mesh_uvs(CachedReader& reader, Description& d, const ogawa_object_t* object, std::uint32_t sample,
                  std::uint32_t index, ogawa_uv_set_t* set);

// A tangent and a bitangent parameter of .arbGeomParams (f32 extent 3, the
// first of each by name, any case: tangent, tangents, T; bitangent,
// bitangents, binormal, B), expanded as normals are, of one count and scope.
// The frame is cleared first. 0; -1 no such mesh, sample or pair, a pair that
// does not fit, or damage; -2 an array cannot be allocated.
int read_mesh_tangent_frame(CachedReader& reader, Description& d, const ogawa_object_t* object,
                            std::uint32_t sample, ogawa_tangent_frame_t* frame);

}  // namespace zel::desc
