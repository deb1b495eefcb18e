// Handing a decoded description to an open archive: the object tree as heap
// records for the host, the time range, and the description itself behind
// the record's reserved word.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/text.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {
namespace {

std::uint32_t child_count(const Description& d, std::uint32_t object) {
    std::uint32_t n = 0;
    for (std::uint32_t c = d.objects[object].first_child; c != kNone; c = d.objects[c].next_sibling) ++n;
    return n;
}

// The children of object as an owned array of owned records; false (with
// nothing left allocated) when an allocation fails.
bool build_children(const Description& d, std::uint32_t object, ogawa_object_t*** children, std::uint32_t* count);

ogawa_object_t* build_object(const Description& d, std::uint32_t index) {
    auto* o = alloc_zeroed_array<ogawa_object_t>(1);
    if (!o) return nullptr;
    const ObjectEntry& e = d.objects[index];
    copy_cut(o->name, d.text(e.name));
    copy_cut(o->path, d.text(e.path));
    o->schema = e.schema;
    if (!build_children(d, index, &o->children, &o->child_count)) {
        ogawa_free_object(o);
        return nullptr;
    }
    return o;
}

bool build_children(const Description& d, std::uint32_t object, ogawa_object_t*** children, std::uint32_t* count) {
    *children = nullptr;
    *count = 0;
    const std::uint32_t n = child_count(d, object);
    if (n == 0) return true;
    auto* array = alloc_zeroed_array<ogawa_object_t*>(n);
    if (!array) return false;
    std::uint32_t built = 0;
    for (std::uint32_t c = d.objects[object].first_child; c != kNone; c = d.objects[c].next_sibling) {
        array[built] = build_object(d, c);
        if (!array[built]) {
            for (std::uint32_t i = 0; i < built; ++i) ogawa_free_object(array[i]);
            std::free(array);
            return false;
        }
        ++built;
    }
    *children = array;
    *count = n;
    return true;
}

}  // namespace

void attach_description(ogawa_archive_t* archive) {
    MappedView view;
    map_stream(archive->file, &view);
    const std::int64_t file_size = stream_length(archive->file);
    CachedReader reader(archive->file, file_size, view);
    Description* d = describe_archive(reader);
    if (!d) {
        unmap(&view);
        return;
    }
    d->view = view;
    d->file_size = file_size;
    if (!build_children(*d, 0, &archive->objects, &archive->object_count)) {
        free_description(d);
        return;
    }
    time_range(*d, &archive->start_time, &archive->end_time, &archive->fps);
    archive->reserved = reinterpret_cast<std::uintptr_t>(d);
}

void release_description(ogawa_archive_t* archive) {
    free_description(reinterpret_cast<Description*>(static_cast<std::uintptr_t>(archive->reserved)));
    archive->reserved = 0;
}

}  // namespace zel::desc
