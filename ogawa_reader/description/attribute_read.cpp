#include "ogawa_reader/description/attribute_read.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "common/alloc.h"
#include "common/text.h"
#include "ogawa_reader/description/geom_params.h"
#include "ogawa_reader/description/mesh_read.h"
#include "ogawa_reader/description/samples.h"

namespace zel::desc {
namespace {

MeshShape shape_of(const MeshSample& m) {
    return MeshShape{m.position_count, m.face_counts.get(), m.face_count, m.face_index_count};
}

// Sample `sample` of a parameter expanded to the mesh: 0, -1 (absent, not
// fitting, damaged) or -2 (allocation).
int expand(CachedReader& reader, Description& d, const GeomParam& param, std::uint32_t sample,
           std::uint8_t extent, const MeshSample& mesh, Expanded* out) {
    const SampleRead r = expand_param(reader, d, param, sample, extent, shape_of(mesh), out);
    if (r != SampleRead::kRead) return -1;
    if (out->values) return 0;
    return out->alloc_failed ? -2 : -1;
}

bool equals_any_case(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(*a) != lower(*b)) return false;
    }
    return *a == *b;
}

// The first parameter of compound with one of the names (any case) whose
// values are f32 of `extent`.
bool param_named(const Description& d, std::uint32_t compound, std::initializer_list<const char*> names,
                 std::uint8_t extent, GeomParam* out) {
    if (compound == kNone) return false;
    for (std::uint32_t p = d.properties[compound].first_child; p != kNone; p = d.properties[p].next_sibling) {
        for (const char* name : names) {
            if (equals_any_case(d.text(d.properties[p].name), name) && geom_param(d, p, extent, out)) return true;
        }
    }
    return false;
}

// Texture-coordinate set number index of a mesh's .geom, and its name.
bool uv_set(const Description& d, std::uint32_t geom, std::uint32_t index, GeomParam* out, std::uint32_t* name) {
    std::uint32_t n = 0;
    const std::uint32_t uv = child_named(d, geom, "uv");
    if (geom_param(d, uv, 2, out)) {
        if (index == n++) {
            *name = d.properties[uv].name;
            return true;
        }
    }
    const std::uint32_t arb = child_named(d, geom, ".arbGeomParams");
    if (arb == kNone) return false;
    for (std::uint32_t p = d.properties[arb].first_child; p != kNone; p = d.properties[p].next_sibling) {
        if (geom_param(d, p, 2, out) && index == n++) {
            *name = d.properties[p].name;
            return true;
        }
    }
    return false;
}

// The values of a sample as stored, into *array and *count; 0, -1 or -2.
template <class T>
int read_stored(CachedReader& reader, const Description& d, std::uint32_t p, std::uint32_t sample, T** array,
                std::uint32_t* count) {
    ValueArray v;
    if (read_values(reader, d.properties[p], sample, &v) != SampleRead::kRead) return -1;
    if (v.alloc_failed) return -2;
    if (v.elements > UINT32_MAX) {
        std::free(v.values);
        return -1;
    }
    *array = static_cast<T*>(v.values);
    *count = static_cast<std::uint32_t>(v.elements);
    return 0;
}

}  // namespace

int read_mesh_normals(CachedReader& reader, Description& d, const ogawa_object_t* object,
                      std::uint32_t sample, float** normals, std::uint32_t* count, std::uint32_t* scope) {
    *normals = nullptr;
    *count = *scope = 0;
    MeshSample mesh;
    GeomParam param;
    if (locate_mesh_sample(reader, d, object, sample, &mesh) != 0) return -1;
    if (!geom_param(d, mesh.properties.normals, 3, &param)) return -1;
    Expanded e;
    const int rc = expand(reader, d, param, sample, 3, mesh, &e);
    if (rc != 0) return rc;
    *normals = e.values;
    *count = e.count;
    *scope = e.scope;
    return 0;
}

int read_mesh_uvs(CachedReader& reader, Description& d, const ogawa_object_t* object, std::uint32_t sample,
                  std::uint32_t index, ogawa_uv_set_t* set) {
    std::memset(set, 0, sizeof *set);
    MeshSample mesh;
    GeomParam param;
    std::uint32_t name;
    if (locate_mesh_sample(reader, d, object, sample, &mesh) != 0) return -1;
    if (!uv_set(d, mesh.properties.geom, index, &param, &name)) return -1;
    const std::string_view scope(param.scope);
    const std::uint32_t scope_value = scope == "vtx" || scope == "var" ? OGAWA_SCOPE_VERTEX
                                      : scope == "fvr"                 ? OGAWA_SCOPE_FACE_VARYING
                                                                       : 0;
    if (scope_value == 0) return -1;
    int rc = read_stored(reader, d, param.values, sample, &set->uvs, &set->uv_count);
    if (rc == 0 && param.indices != kNone) rc = read_stored(reader, d, param.indices, sample, &set->indices, &set->index_count);
    if (rc != 0) {
        ogawa_free_uv_set(set);
        return rc;
    }
    copy_cut(set->name, d.text(name));
    set->scope = scope_value;
    return 0;
}

int read_mesh_tangent_frame(CachedReader& reader, Description& d, const ogawa_object_t* object,
                            std::uint32_t sample, ogawa_tangent_frame_t* frame) {
    std::memset(frame, 0, sizeof *frame);
    MeshSample mesh;
    GeomParam tangent, bitangent;
    if (locate_mesh_sample(reader, d, object, sample, &mesh) != 0) return -1;
    const std::uint32_t arb = child_named(d, mesh.properties.geom, ".arbGeomParams");
    if (!param_named(d, arb, {"tangent", "tangents", "T"}, 3, &tangent) ||
        !param_named(d, arb, {"bitangent", "bitangents", "binormal", "B"}, 3, &bitangent)) {
        return -1;
    }
    Expanded t, b;
    int rc = expand(reader, d, tangent, sample, 3, mesh, &t);
    OwnedBlock<float> owned_t(t.values);
    if (rc == 0) rc = expand(reader, d, bitangent, sample, 3, mesh, &b);
    OwnedBlock<float> owned_b(b.values);
    if (rc != 0) return rc;
    if (t.count != b.count || t.scope != b.scope) return -1;
    frame->tangents = owned_t.release();
    frame->bitangents = owned_b.release();
    frame->count = t.count;
    frame->scope = t.scope;
    return 0;
}

}  // namespace zel::desc
