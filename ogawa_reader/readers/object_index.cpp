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
    const Description* d = indexed_description(archive);
    return d ? static_cast<uint32_t>(d->preorder.size()) : 0;
}

ZEL_API int ogawa_get_object(const ogawa_archive_t* archive, uint32_t index, ogawa_object_info_t* info) {
    Description* d = indexed_description(archive);
    const std::uint32_t node = d && info ? node_at(*d, index) : kNone;
    if (node == kNone) return -1;
    const std::uint32_t path = path_of(*d, node);
    if (path == 0) return -1;  // no memory for it
    const ObjectNode& n = d->nodes[node];
    const StoredObject& shown = d->stored[n.stored];
    info->name = d->text(d->stored[n.written].name);
    info->path = d->text(path);
    info->schema_text = d->text(shown.schema_text);
    info->schema = static_cast<ogawa_schema_t>(shown.schema);
    info->parent = n.parent == 0 ? kNone : d->nodes[n.parent].rank;
    info->depth = n.depth;
    info->next_sibling = n.subtree_end;
    info->instance_source = d->text(instance_source_of(*d, node));
    return 0;
}

ZEL_API uint32_t ogawa_object_samples(ogawa_archive_t* archive, uint32_t index) {
    Description* d = indexed_description(archive);
    const std::uint32_t node = d ? node_at(*d, index) : kNone;
    if (node == kNone) return 0;
    zel::CachedReader reader = reader_of(archive, *d);
    if (schema_of(*d, node) == OGAWA_SCHEMA_XFORM) return xform_samples(*d, properties_of(reader, *d, node));
    MeshProperties m;
    if (!mesh_properties(reader, *d, node, &m)) return 0;
    return d->properties[m.positions].sample_count;
}

ZEL_API int32_t ogawa_find_object(const ogawa_archive_t* archive, const char* path) {
    Description* d = path ? indexed_description(archive) : nullptr;
    if (!d) return -1;
    zel::CachedReader reader = reader_of(archive, *d);
    const std::uint32_t node = find_node(reader, *d, path);
    return node == kNone ? -1 : static_cast<int32_t>(d->nodes[node].rank);
}

ZEL_API int ogawa_load_objects(ogawa_archive_t* archive) { return load_objects(archive); }

}  // extern "C"
