#include "ogawa_reader/description/mesh_read.h"

#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/text.h"
#include "ogawa_reader/description/geom_params.h"
#include "ogawa_reader/description/object_tree.h"
#include "ogawa_reader/description/samples.h"
#include "ogawa_reader/description/transforms.h"
#include "ogawa_topology.h"

namespace zel::desc {
namespace {

bool is_array(const PropertyEntry& p) {
    return p.kind == PropertyKind::kArray || p.kind == PropertyKind::kOneElementArray;
}

// A face array: 32-bit integers, one per element; otherwise kNone.
std::uint32_t face_array(const Description& d, std::uint32_t p) {
    if (p == kNone) return kNone;
    const PropertyEntry& e = d.properties[p];
    return is_array(e) && (e.pod == Pod::kI32 || e.pod == Pod::kU32) && e.extent == 1 ? p : kNone;
}

bool holds_positions(CachedReader& reader, Description& d, std::uint32_t object, std::uint32_t sample) {
    MeshProperties m;
    SampleValues where;
    return mesh_properties(reader, d, object, &m) &&
           locate_sample(reader, d.properties[m.positions], sample, &where) == SampleRead::kRead && where.bytes >= 12;
}

// Reads a face array's sample into *array and *count; true unless its node
// is damaged. An absent property or sample, or an array that cannot be
// allocated, is left out.
bool read_face_array(CachedReader& reader, const Description& d, std::uint32_t p, std::uint32_t sample,
                     std::uint32_t** array, std::uint32_t* count) {
    if (p == kNone) return true;
    ValueArray v;
    SampleRead r = read_values(reader, d.properties[p], sample, &v);
    if (r == SampleRead::kDamaged || v.elements > UINT32_MAX) {
        std::free(v.values);
        return false;
    }
    *array = static_cast<std::uint32_t*>(v.values);
    *count = *array ? static_cast<std::uint32_t>(v.elements) : 0;
    return true;
}

// Normals of the sample expanded by their scope; true unless a node is
// damaged. Normals that do not fit are left out.
bool read_normals(CachedReader& reader, Description& d, std::uint32_t p, std::uint32_t sample,
                  ogawa_polymesh_t* mesh) {
    GeomParam normals;
    if (!geom_param(d, p, 3, &normals)) return true;
    const MeshShape shape{mesh->position_count, mesh->face_counts, mesh->face_count, mesh->face_index_count};
    Expanded e;
    if (expand_param(reader, d, normals, sample, 3, shape, &e) == SampleRead::kDamaged) return false;
    mesh->normals = e.values;
    mesh->normal_count = e.count;
    mesh->normal_scope = e.scope;
    return true;
}

// The times of the positions' samples. Left out when they cannot be
// allocated, or when there are more of them than the file has 8-byte words:
// no allocation is sized by a count the file's bytes do not hold.
void read_sample_times(const Description& d, const PropertyEntry& positions, std::uint64_t file_size,
                       ogawa_polymesh_t* mesh) {
    mesh->sample_count = positions.sample_count;
    if (std::uint64_t{positions.sample_count} > file_size / 8) return;
    mesh->sample_times = alloc_array<double>(positions.sample_count);
    if (!mesh->sample_times) return;
    const TimeSampling& s = d.samplings[positions.sampling];
    for (std::uint32_t k = 0; k < positions.sample_count; ++k) mesh->sample_times[k] = sample_time(d, s, k);
}

int fill_mesh(CachedReader& reader, Description& d, std::uint32_t object, std::uint32_t sample,
              ogawa_polymesh_t* mesh) {
    MeshProperties m;
    mesh_properties(reader, d, object, &m);
    // A copy: decoding the transforms' properties below may move the array.
    const PropertyEntry positions = d.properties[m.positions];
    ValueArray p;
    if (read_values(reader, positions, sample, &p) != SampleRead::kRead) return -1;
    if (p.alloc_failed) return -2;
    mesh->positions = static_cast<float*>(p.values);
    if (p.elements > UINT32_MAX) return -1;
    mesh->position_count = static_cast<std::uint32_t>(p.elements);
    // An empty mesh reads with no arrays; it still has its name, times and place.
    if (p.elements != 0 &&
        (!read_face_array(reader, d, m.face_counts, sample, &mesh->face_counts, &mesh->face_count) ||
        !read_face_array(reader, d, m.face_indices, sample, &mesh->face_indices, &mesh->face_index_count) ||
         !read_normals(reader, d, m.normals, sample, mesh))) {
        return -1;
    }
    const double time = sample_time(d, d.samplings[positions.sampling], sample);
    if (!world_matrix(reader, d, object, time, mesh->transform)) return -1;
    copy_cut(mesh->name, d.text(name_of(d, object)));
    copy_cut(mesh->path, d.text(path_of(d, object)));
    if (mesh->position_count != 0) ogawa_compute_bounds(mesh->positions, mesh->position_count, &mesh->bounds);
    mesh->initial_bounds = mesh->bounds;
    read_sample_times(d, positions, static_cast<std::uint64_t>(reader.size()), mesh);
    return 0;
}

}  // namespace

bool mesh_properties(CachedReader& reader, Description& d, std::uint32_t object, MeshProperties* m) {
    const ogawa_schema_t schema = schema_of(d, object);
    if (schema != OGAWA_SCHEMA_POLYMESH && schema != OGAWA_SCHEMA_SUBD) return false;
    const std::uint32_t geom = child_named(d, properties_of(reader, d, object), ".geom");
    const std::uint32_t positions = child_named(d, geom, "P");
    if (positions == kNone) return false;
    const PropertyEntry& p = d.properties[positions];
    if (!is_array(p) || p.pod != Pod::kF32 || p.extent != 3) return false;
    m->geom = geom;
    m->positions = positions;
    m->face_counts = face_array(d, child_named(d, geom, ".faceCounts"));
    m->face_indices = face_array(d, child_named(d, geom, ".faceIndices"));
    m->normals = child_named(d, geom, "N");
    return true;
}

std::uint32_t find_mesh(CachedReader& reader, Description& d, const ogawa_object_t* object) {
    if (!object) {
        PreorderWalk walk(reader, d, PreorderWalk::Making::kOneByOne);
        for (std::uint32_t o = walk.next(); o != kNone; o = walk.next()) {
            if (schema_of(d, o) == OGAWA_SCHEMA_POLYMESH && holds_positions(reader, d, o, 0)) return o;
        }
        return kNone;
    }
    char path[sizeof object->path];
    copy_terminated(path, object->path);
    MeshProperties m;
    const std::uint32_t o = find_node(reader, d, path);
    return o != kNone && mesh_properties(reader, d, o, &m) ? o : kNone;
}

int read_mesh(CachedReader& reader, Description& d, const ogawa_object_t* object, std::uint32_t sample,
              ogawa_polymesh_t* mesh) {
    std::memset(mesh, 0, sizeof *mesh);
    const std::uint32_t o = find_mesh(reader, d, object);
    if (o == kNone) return -1;
    const int rc = fill_mesh(reader, d, o, sample, mesh);
    if (rc != 0) ogawa_free_polymesh(mesh);
    return rc;
}

int locate_mesh_sample(CachedReader& reader, Description& d, const ogawa_object_t* object,
                       std::uint32_t sample, MeshSample* out) {
    out->object = find_mesh(reader, d, object);
    if (out->object == kNone) return -1;
    MeshProperties& m = out->properties;
    mesh_properties(reader, d, out->object, &m);
    SampleValues where;
    if (locate_sample(reader, d.properties[m.positions], sample, &where) != SampleRead::kRead || where.bytes == 0 ||
        where.bytes / 12 > UINT32_MAX) {
        return -1;
    }
    out->position_count = static_cast<std::uint32_t>(where.bytes / 12);
    if (m.face_indices != kNone) {
        const SampleRead r = locate_sample(reader, d.properties[m.face_indices], sample, &where);
        if (r == SampleRead::kDamaged || where.bytes / 4 > UINT32_MAX) return -1;
        if (r == SampleRead::kRead) out->face_index_count = static_cast<std::uint32_t>(where.bytes / 4);
    }
    std::uint32_t* counts = nullptr;
    if (!read_face_array(reader, d, m.face_counts, sample, &counts, &out->face_count)) return -1;
    out->face_counts.reset(counts);
    return 0;
}

int read_mesh_positions(CachedReader& reader, Description& d, const ogawa_object_t* object,
                        std::uint32_t sample, float** positions, std::uint32_t* count) {
    *positions = nullptr;
    *count = 0;
    const std::uint32_t o = find_mesh(reader, d, object);
    MeshProperties m;
    if (o == kNone || !mesh_properties(reader, d, o, &m)) return -1;
    ValueArray p;
    if (read_values(reader, d.properties[m.positions], sample, &p) != SampleRead::kRead) return -1;
    if (p.alloc_failed) return -2;
    if (p.elements > UINT32_MAX) {
        std::free(p.values);
        return -1;
    }
    *positions = static_cast<float*>(p.values);
    *count = static_cast<std::uint32_t>(p.elements);
    return 0;
}

}  // namespace zel::desc
