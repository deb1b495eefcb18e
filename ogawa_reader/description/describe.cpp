// The walk that decodes an archive's description, bounded for hostile files:
// every node it reads is inside the file; every read spends from one budget
// sized by the file (a node, or 8 bytes of a header block, is one unit; a
// file whose nodes are all distinct needs at most its size / 8, and gets
// twice that), so groups shared many times over cannot expand the walk; the
// nesting of objects and compounds is limited; a group met again below
// itself ends the walk.
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/alloc.h"
#include "common/file_io.h"
#include "ogawa_reader/container/node_walk.h"
#include "ogawa_reader/description/header_blocks.h"

namespace zel::desc {
namespace {

// Deepest group below the root group (the top object is 1).
constexpr int kMaxNesting = 256;
constexpr std::uint64_t kRootChildren = 6;
enum RootChild : std::uint32_t {
    kArchiveVersion = 0,
    kLibraryVersion = 1,
    kTopObject = 2,
    kArchiveMetadata = 3,
    kTimeSamplings = 4,
    kIndexedMetadata = 5,
};

bool is_data(std::uint64_t reference) { return (reference & kDataNodeBit) != 0; }
std::uint64_t position_of(std::uint64_t reference) { return reference & ~kDataNodeBit; }

struct Group {
    std::uint64_t position;
    std::uint64_t count;
};

class Walker {
public:
    Walker(CachedReader& reader, Description* d)
        : reader_(reader), d_(d), file_size_(static_cast<std::uint64_t>(reader.size())),
          budget_(file_size_ / 4) {}

    bool run() {
        std::uint32_t empty;
        if (!add_text(d_->strings, nullptr, 0, &empty)) return false;  // offset 0: ""
        std::uint64_t root_reference;
        Group root;
        std::uint64_t children[kRootChildren];
        if (!reader_.read_u64(8, &root_reference) || is_data(root_reference)) return false;
        if (!open_group(position_of(root_reference), 0, &root) || root.count != kRootChildren) return false;
        for (std::uint32_t i = 0; i < kRootChildren; ++i) {
            if (!child(root, i, &children[i])) return false;
        }
        if (!is_version(children[kArchiveVersion]) || !is_version(children[kLibraryVersion])) return false;
        std::uint64_t size;
        if (!is_data(children[kArchiveMetadata]) || !data_size(children[kArchiveMetadata], &size)) return false;
        if (!read_block(children[kTimeSamplings]) || !parse_time_samplings(block_, d_)) return false;
        if (!read_block(children[kIndexedMetadata]) || !parse_indexed_metadata(block_, d_->strings, &metadata_)) {
            return false;
        }
        if (is_data(children[kTopObject]) || position_of(children[kTopObject]) == 0) return false;
        ObjectEntry top{};
        top.parent = top.first_child = top.next_sibling = top.properties = kNone;
        if (!d_->objects.push(top)) return false;
        return walk_object(0, position_of(children[kTopObject]), 1);
    }

private:
    bool spend(std::uint64_t units) {
        if (units > budget_) return false;
        budget_ -= units;
        return true;
    }

    // A group at position whose child references lie in the file; nesting
    // at depth. Spends one unit for the count and one per reference.
    bool open_group(std::uint64_t position, int depth, Group* g) {
        if (depth > kMaxNesting || position == 0 || position >= file_size_) return false;
        // Real writers put a group after its children; a group at or above
        // its parent's position may be one of its own ancestors.
        if (depth > 0 && position >= path_[depth - 1]) {
            for (int d = 0; d < depth; ++d) {
                if (path_[d] == position) return false;
            }
        }
        if (!spend(1) || !reader_.read_u64(position, &g->count)) return false;
        if (g->count > (file_size_ - position) / 8 - 1 || !spend(g->count)) return false;
        g->position = position;
        path_[depth] = position;
        return true;
    }

    bool child(const Group& g, std::uint64_t i, std::uint64_t* reference) {
        return reader_.read_u64(g.position + 8 + 8 * i, reference);
    }

    // The child count of the group a property's samples live in.
    bool group_count(std::uint64_t position, std::uint64_t* count) {
        return position < file_size_ && spend(1) && reader_.read_u64(position, count);
    }

    // A 4-byte data node: the archive's and the writing library's version.
    bool is_version(std::uint64_t reference) {
        std::uint64_t size;
        return is_data(reference) && data_size(reference, &size) && size == 4;
    }

    bool data_size(std::uint64_t reference, std::uint64_t* size) {
        std::uint64_t position = position_of(reference);
        if (position == 0) {
            *size = 0;
            return true;
        }
        if (position >= file_size_ || !spend(1) || !reader_.read_u64(position, size)) return false;
        return *size <= file_size_ - position - 8;
    }

    // The payload of a data node that describes something, read whole into
    // the block (which the next read reuses).
    bool read_block(std::uint64_t reference) {
        std::uint64_t size;
        if (!is_data(reference) || !data_size(reference, &size) || !spend(size / 8)) return false;
        if (size > SIZE_MAX || !block_.resize(static_cast<std::size_t>(size))) return false;
        return size == 0 || reader_.read_exact(position_of(reference) + 8, block_.data(), block_.size());
    }

    // Object self lives at position: its properties, then its children in
    // pre-order.
    bool walk_object(std::uint32_t self, std::uint64_t position, int depth) {
        Group g;
        if (!open_group(position, depth, &g) || g.count < 2) return false;
        std::uint64_t headers_reference, properties_reference;
        if (!child(g, g.count - 1, &headers_reference) || !child(g, 0, &properties_reference)) return false;
        const std::size_t base = pending_.size();
        if (!read_block(headers_reference) || !parse_child_headers(block_, metadata_, d_->strings, &pending_)) {
            return false;
        }
        if (pending_.size() - base != g.count - 2) return false;
        if (!properties_of(self, properties_reference, depth + 1)) return false;

        std::uint32_t previous = kNone;
        for (std::uint64_t i = 0; i + 2 < g.count; ++i) {
            std::uint64_t reference;
            if (!child(g, i + 1, &reference) || is_data(reference)) return false;
            std::uint32_t index;
            if (!add_child_object(self, pending_[base + i], &index)) return false;
            if (previous == kNone) {
                d_->objects[self].first_child = index;
            } else {
                d_->objects[previous].next_sibling = index;
            }
            previous = index;
            if (!walk_object(index, position_of(reference), depth + 1)) return false;
        }
        pending_.truncate(base);
        return true;
    }

    bool add_child_object(std::uint32_t parent, const ChildHeader& h, std::uint32_t* index) {
        ObjectEntry o{};
        o.name = h.name;
        o.metadata = h.metadata;
        o.parent = parent;
        o.first_child = o.next_sibling = o.properties = kNone;
        std::size_t value_length;
        const char* schema = metadata_value(d_->text(h.metadata), "schema", &value_length);
        char schema_text[64] = {};
        if (schema) std::memcpy(schema_text, schema, value_length < sizeof schema_text ? value_length : sizeof schema_text - 1);
        o.schema = ogawa_schema_from_string(schema_text);
        if (!join_path(d_->objects[parent].path, h.name, &o.path)) return false;
        if (o.schema == OGAWA_SCHEMA_POLYMESH) ++d_->polymesh_count;
        *index = static_cast<std::uint32_t>(d_->objects.size());
        return d_->objects.push(o);
    }

    // parent path + "/" + name. A path longer than kMaxPathBytes is kept cut
    // one byte past it, so that no host's path (at most kMaxPathBytes) names it.
    bool join_path(std::uint32_t parent_path, std::uint32_t name, std::uint32_t* path) {
        constexpr std::size_t kKept = kMaxPathBytes + 1;
        char joined[kKept];
        std::size_t n = std::strlen(d_->text(parent_path));
        std::memcpy(joined, d_->text(parent_path), n);
        if (n < kKept) joined[n++] = '/';
        const char* tail = d_->text(name);
        while (n < kKept && *tail) joined[n++] = *tail++;
        return add_text(d_->strings, reinterpret_cast<const unsigned char*>(joined), n, path);
    }

    // The object's property compound: absent when its reference is empty.
    bool properties_of(std::uint32_t object, std::uint64_t reference, int depth) {
        if (is_data(reference)) return false;
        if (position_of(reference) == 0) return true;
        PropertyEntry top{};
        top.kind = PropertyKind::kCompound;
        top.first_child = top.next_sibling = kNone;
        top.group = position_of(reference);
        auto index = static_cast<std::uint32_t>(d_->properties.size());
        if (!d_->properties.push(top)) return false;
        d_->objects[object].properties = index;
        return walk_compound(index, depth);
    }

    // The properties of compound self, whose group position is recorded.
    bool walk_compound(std::uint32_t self, int depth) {
        Group g;
        if (!open_group(d_->properties[self].group, depth, &g) || g.count < 1) return false;
        std::uint64_t headers_reference;
        if (!child(g, g.count - 1, &headers_reference)) return false;
        const auto first = static_cast<std::uint32_t>(d_->properties.size());
        if (!read_block(headers_reference) || !parse_property_headers(block_, metadata_, d_->strings, &d_->properties)) {
            return false;
        }
        const std::uint64_t count = d_->properties.size() - first;
        if (count != g.count - 1) return false;
        if (count != 0) d_->properties[self].first_child = first;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t reference;
            if (!child(g, i, &reference) || is_data(reference)) return false;
            PropertyEntry& p = d_->properties[first + i];
            p.group = position_of(reference);
            if (i + 1 < count) p.next_sibling = first + i + 1;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const PropertyEntry p = d_->properties[first + i];  // a copy: the walk below grows the array
            bool ok = p.kind == PropertyKind::kCompound ? p.group == 0 || walk_compound(first + i, depth + 1)
                                                        : holds_its_samples(p);
            if (!ok) return false;
        }
        return true;
    }

    // A scalar property's group holds one child per stored sample, an array
    // property's two.
    bool holds_its_samples(const PropertyEntry& p) {
        if (p.sampling >= d_->samplings.size()) return false;
        std::uint64_t promised = std::uint64_t{p.stored_count} * (p.kind == PropertyKind::kScalar ? 1 : 2);
        if (promised == 0) return true;
        std::uint64_t count;
        return p.group != 0 && group_count(p.group, &count) && count >= promised;
    }

    CachedReader& reader_;
    Description* d_;
    std::uint64_t file_size_;
    std::uint64_t budget_;
    MetadataTable metadata_;
    Bytes block_;  // the header block being parsed
    GrowableArray<ChildHeader> pending_;  // headers of the children being walked, level upon level
    std::uint64_t path_[kMaxNesting + 1] = {};
};

}  // namespace

Description* describe_archive(CachedReader& reader) {
    auto* d = static_cast<Description*>(alloc_bytes(sizeof(Description)));
    if (!d) return nullptr;
    new (d) Description();
    if (!Walker(reader, d).run()) {
        free_description(d);
        return nullptr;
    }
    return d;
}

}  // namespace zel::desc
