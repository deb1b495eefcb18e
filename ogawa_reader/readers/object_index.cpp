// The object index of a described archive: counting, reporting and finding
// objects, their sample counts, and the host's heap tree on request.
#include <cstdint>
#include <initializer_list>

#include "common/text.h"
#include "ogawa_archive.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/geom_params.h"
#include "ogawa_reader/description/mesh_read.h"
#include "ogawa_reader/description/object_tree.h"

namespace {

using namespace zel::desc;

// The most samples among an Xform's .ops, .vals and .inherits.
std::uint32_t xform_samples(const Description& d, std::uint32_t compound) {
    const std::uint32_t xform = child_named(d, compound, ".xform");
    std::uint32_t most = 0;
    for (const char* name : {".ops", ".vals", ".inherits"}) {
        const std::uint32_t p = child_named(d, xform, name);
        if (p != kNone && d.properties[p].sample_count > most) most = d.properties[p].sample_count;
    }
    return most;
}

}  // namespace

extern "C" {

ZEL_API uint32_t ogawa_object_count(const ogawa_archive_t* archive) {
    const Description* d = description_of(archive);
    return d ? static_cast<uint32_t>(d->objects.size()) : 0;
}

ZEL_API int ogawa_get_object(const ogawa_archive_t* archive, uint32_t index, ogawa_object_info_t* info) {
    const Description* d = description_of(archive);
    if (!d || !info || index >= d->objects.size()) return -1;
    const ObjectEntry& e = d->objects[index];
    info->name = d->text(e.name);
    info->path = d->text(e.path);
    info->schema_text = d->text(d->stored[e.stored].schema_text);
    info->schema = e.schema;
    info->parent = e.parent;
    info->depth = e.depth;
    info->next_sibling = e.next_subtree;
    info->instance_source = d->text(e.instance_source);
    return 0;
}

ZEL_API uint32_t ogawa_object_samples(ogawa_archive_t* archive, uint32_t index) {
    Description* d = description_of(archive);
    if (!d || index >= d->objects.size()) return 0;
    zel::CachedReader reader = reader_of(archive, *d);
    const ogawa_schema_t schema = d->objects[index].schema;
    if (schema == OGAWA_SCHEMA_XFORM) return xform_samples(*d, properties_of(reader, *d, index));
    MeshProperties m;
    if (!mesh_properties(reader, *d, index, &m)) return 0;
    return d->properties[m.positions].sample_count;
}

ZEL_API int32_t ogawa_find_object(const ogawa_archive_t* archive, const char* path) {
    // Finding builds the path table on first use; the archive's description
    // is the library's own, not the host's record.
    Description* d = const_cast<Description*>(description_of(archive));
    if (!d || !path) return -1;
    const std::uint32_t o = find_object(*d, path);
    return o == kNone ? -1 : static_cast<int32_t>(o);
}

ZEL_API int ogawa_load_objects(ogawa_archive_t* archive) { return load_objects(archive); }

}  // extern "C"
