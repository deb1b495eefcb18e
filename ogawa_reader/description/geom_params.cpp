#include "ogawa_reader/description/geom_params.h"

#include <cstring>
#include <string_view>

#include "common/alloc.h"

namespace zel::desc {
namespace {

bool is_array(const PropertyEntry& p) {
    return p.kind == PropertyKind::kArray || p.kind == PropertyKind::kOneElementArray;
}

bool holds_f32(const PropertyEntry& p, std::uint8_t extent) {
    return is_array(p) && p.pod == Pod::kF32 && p.extent == extent;
}

// The geoScope of metadata, copied into scope when it is three letters.
void copy_scope(const Description& d, std::uint32_t metadata, char (&scope)[4]) {
    std::size_t length;
    const char* value = metadata_value(d.text(metadata), "geoScope", &length);
    if (value && length == 3) std::memcpy(scope, value, 3);
}

// Which place of the parameter each target entry takes its value from.
enum class Spread { kOneToOne, kFaceToCorners, kOneToAll };

}  // namespace

std::uint32_t child_named(const Description& d, std::uint32_t compound, const char* name) {
    if (compound == kNone) return kNone;
    for (std::uint32_t p = d.properties[compound].first_child; p != kNone; p = d.properties[p].next_sibling) {
        if (std::strcmp(d.text(d.properties[p].name), name) == 0) return p;
    }
    return kNone;
}

bool geom_param(const Description& d, std::uint32_t p, std::uint8_t extent, GeomParam* out) {
    *out = GeomParam{};
    if (p == kNone) return false;
    const PropertyEntry& prop = d.properties[p];
    if (holds_f32(prop, extent)) {
        out->values = p;
        copy_scope(d, prop.metadata, out->scope);
        return true;
    }
    if (prop.kind != PropertyKind::kCompound) return false;
    const std::uint32_t vals = child_named(d, p, ".vals"), indices = child_named(d, p, ".indices");
    if (vals == kNone || !holds_f32(d.properties[vals], extent)) return false;
    if (indices != kNone) {
        const PropertyEntry& i = d.properties[indices];
        if (!is_array(i) || i.pod != Pod::kU32 || i.extent != 1) return false;
    }
    out->values = vals;
    out->indices = indices;
    copy_scope(d, prop.metadata, out->scope);
    if (!out->scope[0]) copy_scope(d, d.properties[vals].metadata, out->scope);
    return true;
}

SampleRead expand_param(CachedReader& reader, Description& d, const GeomParam& param, std::uint32_t i,
                        std::uint8_t extent, const MeshShape& mesh, Expanded* out) {
    *out = Expanded{};
    // Values that an index picks from, and the index, are looked up only:
    // they are read into the archive's scratch. Values without an index may
    // be handed out as read.
    const bool indexed = param.indices != kNone;
    ValueArray values;
    ScratchValues& scratch = d.scratch_values;
    SampleRead r = indexed ? read_scratch_values(reader, d.properties[param.values], i, &scratch)
                           : read_values(reader, d.properties[param.values], i, &values);
    OwnedBlock<float> owned_values(static_cast<float*>(values.values));
    out->alloc_failed = indexed ? scratch.alloc_failed : values.alloc_failed;
    if (r != SampleRead::kRead || out->alloc_failed) return r;
    const std::uint64_t value_count = indexed ? scratch.elements : values.elements;
    ScratchValues& indices = d.scratch_indices;
    indices.elements = 0;
    if (indexed) {
        r = read_scratch_values(reader, d.properties[param.indices], i, &indices);
        if (r == SampleRead::kDamaged) return r;
        out->alloc_failed = indices.alloc_failed;
        if (r == SampleRead::kAbsent || indices.alloc_failed) return SampleRead::kRead;
    }
    const auto* index = indexed && indices.elements != 0 ? reinterpret_cast<const std::uint32_t*>(indices.bytes.data()) : nullptr;
    const std::uint64_t places = indexed ? indices.elements : value_count;
    for (std::uint64_t k = 0; k < indices.elements; ++k) {
        if (index[k] >= value_count) return SampleRead::kRead;  // an index past the values
    }

    const std::string_view scope(param.scope);
    std::uint64_t count = 0;
    Spread spread = Spread::kOneToOne;
    if ((scope == "vtx" || scope == "var") && places == mesh.position_count) {
        count = mesh.position_count;
        out->scope = OGAWA_SCOPE_VERTEX;
    } else if (scope == "fvr" && places == mesh.face_index_count) {
        count = mesh.face_index_count;
        out->scope = OGAWA_SCOPE_FACE_VARYING;
    } else if (scope == "uni" && places == mesh.face_count && mesh.face_counts) {
        std::uint64_t corners = 0;
        for (std::uint32_t f = 0; f < mesh.face_count; ++f) corners += mesh.face_counts[f];
        if (corners != mesh.face_index_count) return SampleRead::kRead;
        count = corners;
        spread = Spread::kFaceToCorners;
        out->scope = OGAWA_SCOPE_FACE_VARYING;
    } else if (scope == "con" && places == 1) {
        count = mesh.position_count;
        spread = Spread::kOneToAll;
        out->scope = OGAWA_SCOPE_VERTEX;
    }
    if (count == 0) {
        out->scope = 0;
        return SampleRead::kRead;
    }
    if (!indexed && spread == Spread::kOneToOne) {
        // The values are the expansion: hand them out as read.
        out->values = owned_values.release();
        out->count = static_cast<std::uint32_t>(count);
        return SampleRead::kRead;
    }
    float* expanded = alloc_array<float>(count * extent);
    if (!expanded) {
        out->scope = 0;
        out->alloc_failed = true;
        return SampleRead::kRead;
    }
    const float* from = indexed ? reinterpret_cast<const float*>(scratch.bytes.data()) : owned_values.get();
    std::uint32_t face = 0, corner_in_face = 0;
    for (std::uint64_t t = 0; t < count; ++t) {
        std::uint64_t place = t;
        if (spread == Spread::kOneToAll) {
            place = 0;
        } else if (spread == Spread::kFaceToCorners) {
            while (corner_in_face == mesh.face_counts[face]) {
                ++face;
                corner_in_face = 0;
            }
            place = face;
            ++corner_in_face;
        }
        const std::uint64_t value = index ? index[place] : place;
        for (std::uint8_t c = 0; c < extent; ++c) expanded[t * extent + c] = from[value * extent + c];
    }
    out->values = expanded;
    out->count = static_cast<std::uint32_t>(count);
    return SampleRead::kRead;
}

}  // namespace zel::desc
