// What opening an archive decodes: the root, the archive metadata, the time
// samplings, the indexed metadata and the top object's group, with the
// headers of its children. Every other object group is decoded when a call
// first needs it (object_groups.cpp), property compounds likewise
// (properties.cpp). Every node read, at open and later, spends from one
// budget sized by the file (a node, or 8 bytes of a header block, is one
// unit; a file whose nodes are all distinct needs at most its size / 8, and
// gets twice that), so groups shared many times over cannot expand the
// decoding. What instances add to the tree as read spends from a budget of
// its own, of the same size, so that expansions never starve the decoding.
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/alloc.h"
#include "ogawa_reader/description/header_blocks.h"
#include "ogawa_reader/description/node_reader.h"
#include "ogawa_reader/description/object_groups.h"

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
        d_->root_group = position_of(root_reference);
        if (!nodes_.open_group(d_->root_group, 0, &root)) return false;
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
        top.group = position_of(children[kTopObject]);
        top.parent = top.first_child = top.properties = kNone;
        top.depth = 1;
        ObjectNode node{};
        node.parent = node.first_child = node.path = kNone;
        if (!d_->stored.push(top) || !d_->nodes.push(node)) return nodes_.fail("out of memory");
        return decode_group(*d_, nodes_, 0);
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
        if (!d_->indexed_kinds.reserve(d_->metadata_table.size())) return false;
        for (std::size_t i = 0; i < d_->metadata_table.size(); ++i) {
            if (!kind_of(d_->strings, d_->metadata_table[i], &kind) || !d_->indexed_kinds.push(kind)) return false;
        }
        return true;
    }

    CachedReader& reader_;
    Description* d_;
    NodeReader nodes_;
    Bytes block_;  // the header block being parsed
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
    d->budget = d->expansion_budget = static_cast<std::uint64_t>(d->file_size) / 4;
    CachedReader reader(f, d->file_size, d->view, &d->windows);
    Walker walker(reader, d);
    if (walker.run()) {
        d->strings.seal();  // hosts keep the texts they are handed until the archive closes
        d->state = ArchiveState::kDescribed;
        d->problem = "";
        return d;
    }
    keep_state_only(d, walker.nodes());
    return d;
}

}  // namespace zel::desc
