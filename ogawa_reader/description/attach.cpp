// Handing a decoded description to an open archive: its time range, the
// description itself behind the record's reserved word, and on request the
// object tree as heap records for the host.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/text.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/object_tree.h"

namespace zel::desc {
namespace {

// The children of node, each with its subtree, as an owned array of owned
// records; false (with nothing left allocated) when an allocation fails.
bool build_children(Description& d, std::uint32_t node, ogawa_object_t*** children, std::uint32_t* count);

ogawa_object_t* build_object(Description& d, std::uint32_t node) {
    const std::uint32_t path = path_of(d, node);
    if (path == 0) return nullptr;
    auto* o = alloc_zeroed_array<ogawa_object_t>(1);
    if (!o) return nullptr;
    copy_cut(o->name, d.text(name_of(d, node)));
    copy_cut(o->path, d.text(path));
    o->schema = schema_of(d, node);
    if (!build_children(d, node, &o->children, &o->child_count)) {
        ogawa_free_object(o);
        return nullptr;
    }
    return o;
}

bool build_children(Description& d, std::uint32_t node, ogawa_object_t*** children, std::uint32_t* count) {
    *children = nullptr;
    *count = 0;
    const std::uint32_t first = d.nodes[node].first_child, n = child_count_of(d, node);
    if (n == 0) return true;
    auto* array = alloc_zeroed_array<ogawa_object_t*>(n);
    if (!array) return false;
    for (std::uint32_t i = 0; i < n; ++i) {
        array[i] = build_object(d, first + i);
        if (!array[i]) {
            for (std::uint32_t k = 0; k < i; ++k) ogawa_free_object(array[k]);
            std::free(array);
            return false;
        }
    }
    *children = array;
    *count = n;
    return true;
}

// Files up to this size are read whole at open: one read costs less than
// many windows' reads. Larger ones are read through the archive's windows,
// not mapped: a mapping would keep every page a walk touched resident.
constexpr std::int64_t kReadWholeBytes = 1 << 20;

// The whole file in memory when it is small (*owned set), else an empty view.
MappedView file_view(std::FILE* f, std::int64_t file_size, bool* owned) {
    *owned = false;
    if (file_size > 0 && file_size <= kReadWholeBytes) {
        const auto size = static_cast<std::size_t>(file_size);
        OwnedBlock<unsigned char> bytes(alloc_array<unsigned char>(size));
        if (bytes.get() && read_at(f, 0, bytes.get(), size) == size) {
            *owned = true;
            return MappedView{bytes.release(), static_cast<std::uint64_t>(size)};
        }
    }
    return MappedView{};
}

}  // namespace

void attach_description(ogawa_archive_t* archive) {
    const std::int64_t file_size = stream_length(archive->file);
    bool owned = false;
    MappedView view = file_view(archive->file, file_size, &owned);
    Description* d = describe_archive(archive->file, file_size, view, owned);
    if (d && d->state == ArchiveState::kDescribed) time_range(*d, &archive->start_time, &archive->end_time, &archive->fps);
    archive->reserved = reinterpret_cast<std::uintptr_t>(d);
}

int load_objects(ogawa_archive_t* archive) {
    if (!description_of(archive)) return -1;
    Description* d = indexed_description(archive);
    if (!d) return description_of(archive) ? -2 : -1;  // no memory for the index, or the tree does not decode
    if (archive->objects) return 0;
    return build_children(*d, 0, &archive->objects, &archive->object_count) ? 0 : -2;
}

void release_description(ogawa_archive_t* archive) {
    free_description(reinterpret_cast<Description*>(static_cast<std::uintptr_t>(archive->reserved)));
    archive->reserved = 0;
}

}  // namespace zel::desc
