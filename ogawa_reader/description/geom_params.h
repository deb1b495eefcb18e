// Finding a mesh's properties in a description, and its geometry parameters:
// an array of values, or a compound of `.vals` and `.indices` (u32, the
// index of the value of each place), whose geoScope metadata says what the
// values belong to.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/samples.h"

namespace zel::desc {

// The property of compound named name, or kNone.
std::uint32_t child_named(const Description& d, std::uint32_t compound, const char* name);

struct GeomParam {
    std::uint32_t values = kNone;   // an array property
    std::uint32_t indices = kNone;  // u32 extent 1, or kNone
    char scope[4] = {};             // "vtx", "var", "fvr", "uni", "con"; empty when not named
};

// The geometry parameter that property p of a description is, when it is one
// with values of `extent` f32s.
bool geom_param(const Description& d, std::uint32_t p, std::uint8_t extent, GeomParam* out);

// What a parameter is expanded to: vertices and faces of the mesh sample.
struct MeshShape {
    std::uint32_t position_count;
    const std::uint32_t* face_counts;  // null when the mesh has none
    std::uint32_t face_count;
    std::uint32_t face_index_count;
};

struct Expanded {
    float* values = nullptr;  // owned by the caller: count entries of `extent` floats
    std::uint32_t count = 0;
    std::uint32_t scope = 0;  // OGAWA_SCOPE_VERTEX or OGAWA_SCOPE_FACE_VARYING
    bool alloc_failed = false;
};

// Sample i of the parameter expanded through its indices and by its scope:
// vtx and var give one value per vertex (scope 3), fvr one per corner (4),
// uni one per face copied to its corners (4), con one copied to every vertex
// (3). kRead with values null when they do not fit the mesh or cannot be
// allocated (alloc_failed); kAbsent, kDamaged as the samples say.
SampleRead expand_param(CachedReader& reader, Description& d, const GeomParam& param, std::uint32_t i,
                        std::uint8_t extent, const MeshShape& mesh, Expanded* out);

}  // namespace zel::desc
