// The walk that decodes an archive's description at open: the root, the time
// samplings, the metadata and every object's header and children. Property
// compounds are only located here; properties.cpp decodes them on first use.
// Every node read spends from one budget sized by the file (a node, or 8
// bytes of a header block, is one unit; a file whose nodes are all distinct
// needs at most its size / 8, and gets twice that), so groups shared many
// times over cannot expand the walk.
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/alloc.h"
#include "ogawa_reader/description/header_blocks.h"
#include "ogawa_reader/description/node_reader.h"
#include "ogawa_reader/description/object_tree.h"

namespace zel::desc {
namespace {

constexpr std::uint64_t kRootChildren = 6;
enum RootChild : std::uint32_t {
    kArchiveVersion = 0,
    kLibraryVersion = 1,
    kTopObject = 2,
    kArchiveMetadata = 3,
    kTimeSamplings = 4,
    kIndexedMetadata = 5,
};

// What an object's metadata says of it.
struct ObjectKind {
    std::uint32_t schema_text;  // string offset of the `schema` value
    ogawa_schema_t schema;
    bool instance;  // isInstance=1
};

bool kind_of(TextPool& pool, std::uint32_t metadata, ObjectKind* kind) {
    std::size_t length = 0;
    const char* value = metadata_value(pool.text(metadata), "schema", &length);
    kind->schema_text = 0;
    if (value && !pool.add_part(metadata, static_cast<std::size_t>(value - pool.text(metadata)), length, &kind->schema_text)) {
        return false;
    }
    kind->schema = ogawa_schema_from_string(pool.text(kind->schema_text));
    const char* flag = metadata_value(pool.text(metadata), "isInstance", &length);
    kind->instance = flag && length == 1 && flag[0] == '1';
    return true;
}

class Walker {
public:
    Walker(CachedReader& reader, Description* d) : reader_(reader), d_(d), nodes_(reader, &d->budget) {}

    bool run() {
        std::uint32_t empty;
        if (!d_->strings.add("", 0, &empty)) return nodes_.fail("out of memory");  // offset 0: ""
        std::uint64_t root_reference;
        Group root;
        std::uint64_t children[kRootChildren];
        if (!reader_.read_u64(8, &root_reference)) return nodes_.fail("the root position cannot be read");
        if (is_data(root_reference)) return nodes_.fail("the root is not a group");
        if (!nodes_.open_group(position_of(root_reference), 0, &root)) return false;
        // Writers write the root group last: one with no children lies where
        // the file was never written (zeros), as a preallocated file leaves it.
        if (root.count == 0) return nodes_.damage("the root group is empty: the file was never finished");
        if (root.count != kRootChildren) return nodes_.fail("the root group does not hold an Alembic archive");
        for (std::uint32_t i = 0; i < kRootChildren; ++i) {
            if (!nodes_.child(root, i, &children[i])) return false;
        }
        if (!is_version(children[kArchiveVersion]) || !is_version(children[kLibraryVersion])) return false;
        if (!nodes_.read_block(children[kArchiveMetadata], &block_) ||
            !d_->strings.add(reinterpret_cast<const char*>(block_.data()), block_.size(), &d_->archive_metadata)) {
            return nodes_.fail("the archive metadata does not decode");
        }
        if (!nodes_.read_block(children[kTimeSamplings], &block_)) return false;
        if (!parse_time_samplings(block_, d_)) return nodes_.fail("the time samplings do not decode");
        if (!nodes_.read_block(children[kIndexedMetadata], &block_)) return false;
        if (!parse_indexed_metadata(block_, d_->strings, &d_->metadata_table) || !schema_table()) {
            return nodes_.fail("the indexed metadata does not decode");
        }
        if (is_data(children[kTopObject])) return nodes_.fail("the top object is not a group");
        StoredObject top{};
        top.first_child = top.next_sibling = top.properties = kNone;
        if (!d_->stored.push(top)) return nodes_.fail("out of memory");
        return walk_object(0, position_of(children[kTopObject]), 1);
    }

    const NodeReader& nodes() const { return nodes_; }

private:
    // A 4-byte data node: the archive's and the writing library's version.
    bool is_version(std::uint64_t reference) {
        std::uint64_t size;
        if (!is_data(reference)) return nodes_.fail("a version is not a data node");
        if (!nodes_.data_size(reference, &size)) return false;
        return size == 4 || nodes_.fail("a version is not 4 bytes");
    }

    // What every indexed metadata text says, worked out once: most objects
    // name their metadata by index.
    bool schema_table() {
        ObjectKind kind;
        for (std::size_t i = 0; i < d_->metadata_table.size(); ++i) {
            if (!kind_of(d_->strings, d_->metadata_table[i], &kind) || !indexed_.push(kind)) return false;
        }
        return true;
    }

    // Object self lives at position: its property compound's place, then
    // its children in pre-order.
    bool walk_object(std::uint32_t self, std::uint64_t position, int depth) {
        Group g;
        if (!nodes_.open_group(position, depth, &g)) return false;
        if (g.count < 2) return nodes_.fail("an object's group lacks its properties or headers");
        // The group's references at once: its children's walks read far from it.
        const std::size_t refs = references_.size();
        if (!nodes_.children(g, &references_)) return false;
        const std::uint64_t headers_reference = references_[refs + g.count - 1];
        const std::uint64_t properties_reference = references_[refs];
        if (is_data(properties_reference)) return nodes_.fail("an object's properties are not a group");
        if (!nodes_.names_a_place(properties_reference)) return false;
        d_->stored[self].property_group = position_of(properties_reference);
        const std::size_t base = pending_.size();
        if (!nodes_.read_block(headers_reference, &block_)) return false;
        if (!parse_child_headers(block_, d_->metadata_table, d_->strings, &pending_) ||
            pending_.size() - base != g.count - 2) {
            return nodes_.fail("an object's child headers do not decode");
        }
        std::uint32_t previous = kNone;
        for (std::uint64_t i = 0; i + 2 < g.count; ++i) {
            const std::uint64_t reference = references_[refs + 1 + i];
            if (is_data(reference)) return nodes_.fail("a child object is not a group");
            const auto index = static_cast<std::uint32_t>(d_->stored.size());
            if (!add_child_object(pending_[base + i])) return nodes_.fail("out of memory");
            if (previous == kNone) {
                d_->stored[self].first_child = index;
            } else {
                d_->stored[previous].next_sibling = index;
            }
            previous = index;
            if (!walk_object(index, position_of(reference), depth + 1)) return false;
        }
        pending_.truncate(base);
        references_.truncate(refs);
        return true;
    }

    bool add_child_object(const ChildHeader& h) {
        StoredObject o{};
        o.name = h.name;
        o.metadata = h.metadata;
        o.first_child = o.next_sibling = o.properties = kNone;
        ObjectKind kind;
        if (h.metadata_index != 0) {
            kind = indexed_[h.metadata_index - 1];
        } else if (!kind_of(d_->strings, h.metadata, &kind)) {
            return false;
        }
        o.schema_text = kind.schema_text;
        o.schema = kind.schema;
        o.instance = kind.instance;
        return d_->stored.push(o);
    }

    CachedReader& reader_;
    Description* d_;
    NodeReader nodes_;
    Bytes block_;  // the header block being parsed
    GrowableArray<ChildHeader> pending_;  // headers of the children being walked, level upon level
    GrowableArray<std::uint64_t> references_;  // their groups' references, likewise
    GrowableArray<ObjectKind> indexed_;
};

// Leaves a description that did not decode holding nothing but its state.
void keep_state_only(Description* d, const NodeReader& nodes) {
    const bool damaged = nodes.damaged();
    const char* problem = nodes.problem() ? nodes.problem() : "it does not decode";
    release_view(&d->view, d->view_owned);
    d->~Description();
    new (d) Description();
    d->state = damaged ? ArchiveState::kDamaged : ArchiveState::kUndescribed;
    d->problem = problem;
}

}  // namespace

Description* describe_archive(std::FILE* f, std::int64_t file_size, MappedView view, bool view_owned) {
    auto* d = static_cast<Description*>(alloc_bytes(sizeof(Description)));
    if (!d) {
        release_view(&view, view_owned);
        return nullptr;
    }
    new (d) Description();
    d->view = view;
    d->view_owned = view_owned;
    d->file_size = file_size < 0 ? 0 : file_size;
    d->budget = static_cast<std::uint64_t>(d->file_size) / 4;
    CachedReader reader(f, d->file_size, d->view, &d->windows);
    Walker walker(reader, d);
    if (walker.run() && build_object_tree(reader, *d)) {
        d->strings.seal();  // hosts keep the texts they are handed until the archive closes
        d->state = ArchiveState::kDescribed;
        d->problem = "";
        return d;
    }
    keep_state_only(d, walker.nodes());
    return d;
}

}  // namespace zel::desc
