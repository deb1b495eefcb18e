#include "ogawa_reader/description/object_groups.h"

#include "ogawa_reader/description/header_blocks.h"

namespace zel::desc {
namespace {

// The instance links follow the stored objects once the first instance is
// met; entries of new objects are unresolved.
bool grow_instance_links(Description& d, std::size_t from) {
    InstanceLinks& l = d.instances;
    const std::size_t n = d.stored.size();
    if (!l.source.resize(n) || !l.source_path.resize(n) || !l.expanded.resize(n) || !l.verdict.resize(n) ||
        !l.mark.resize(n)) {
        return false;
    }
    for (std::size_t v = from; v < n; ++v) {
        l.source[v] = InstanceLinks::kUnresolved;
        l.source_path[v] = 0;
        l.expanded[v] = 0;
        l.verdict[v] = 0;
        l.mark[v] = 0;
    }
    return true;
}

// References read at a time from a group of many children.
constexpr std::size_t kReferenceChunk = 512;

class GroupDecoder : public ChildHeaderSink {
public:
    GroupDecoder(Description& d, NodeReader& nodes, std::uint32_t self) : d_(d), nodes_(nodes), self_(self) {}

    bool run() {
        const StoredObject o = d_.stored[self_];
        // The groups of its ancestors, for a group that would contain itself:
        // only one at or above its parent's may (writers put a group after
        // its children), so most need their parent's alone.
        const std::uint64_t parent_group = o.parent == kNone ? d_.root_group : d_.stored[o.parent].group;
        nodes_.enter(o.depth - 1, parent_group);
        if (o.group >= parent_group) {
            nodes_.enter(0, d_.root_group);
            for (std::uint32_t a = o.parent, depth = o.depth - 1u; a != kNone; a = d_.stored[a].parent, --depth) {
                nodes_.enter(static_cast<int>(depth), d_.stored[a].group);
            }
        }
        Group g;
        std::uint64_t properties_reference, headers_reference, size;
        if (!nodes_.open_group(o.group, o.depth, &g)) return false;
        if (g.count < 2) return nodes_.fail("an object's group lacks its properties or headers");
        if (!nodes_.child(g, 0, &properties_reference) || !nodes_.child(g, g.count - 1, &headers_reference)) return false;
        if (is_data(properties_reference)) return nodes_.fail("an object's properties are not a group");
        if (!nodes_.names_a_place(properties_reference) || !nodes_.block_size(headers_reference, &size)) return false;
        const std::uint64_t count = count_ = g.count - 2;
        first_ = static_cast<std::uint32_t>(d_.stored.size());
        // Children are added as their headers parse, never more than the
        // group holds: a count the headers do not back reserves nothing.
        if (count > UINT32_MAX - first_) return nodes_.fail("an object's group holds too many children");
        if (size != kDigestBytes && !parse_headers(headers_reference, size)) return false;
        if (d_.stored.size() - first_ != count) return nodes_.fail("an object's child headers do not decode");
        std::uint64_t references[kReferenceChunk];
        for (std::uint64_t i = 0; i < count; i += kReferenceChunk) {
            const auto n = static_cast<std::size_t>(count - i < kReferenceChunk ? count - i : kReferenceChunk);
            if (!nodes_.child_range(g, 1 + i, n, references)) return false;
            for (std::size_t k = 0; k < n; ++k) {
                if (is_data(references[k])) return nodes_.fail("a child object is not a group");
                d_.stored[first_ + i + k].group = position_of(references[k]);
            }
        }
        if ((instances_ || !d_.instances.source.empty()) && !grow_instance_links(d_, d_.instances.source.size())) {
            return nodes_.no_memory();
        }
        StoredObject& self = d_.stored[self_];
        self.property_group = position_of(properties_reference);
        self.first_child = first_;
        self.child_count = static_cast<std::uint32_t>(count);
        self.group_state = PropertyState::kDecoded;
        return true;
    }

    // A child's header: its stored object, its group still to come.
    bool take(const ChildHeader& h) override {
        ObjectKind kind;
        if (h.metadata_index != 0) {
            kind = d_.indexed_kinds[h.metadata_index - 1];
        } else if (!kind_of(d_.strings, h.metadata, &kind)) {
            out_of_memory_ = true;
            return false;
        }
        StoredObject c{};
        c.name = h.name;
        c.parent = self_;
        c.first_child = c.properties = kNone;
        c.schema_text = kind.schema_text;
        c.schema = static_cast<std::uint8_t>(kind.schema);
        c.depth = static_cast<std::uint16_t>(d_.stored[self_].depth + 1);
        c.instance = kind.instance;
        instances_ |= kind.instance;
        // More headers than children is the file's fault.
        if (d_.stored.size() - first_ >= count_) return false;
        if (!d_.stored.push(c)) {
            out_of_memory_ = true;
            return false;
        }
        return true;
    }

private:
    static constexpr std::uint64_t kDigestBytes = 32;  // ending every header block; a block of no children is them alone

    // The header block goes into the pool but for its digests (the last
    // text's terminator takes their first byte): its names and metadata are
    // the children's texts.
    bool parse_headers(std::uint64_t reference, std::uint64_t size) {
        if (size < kDigestBytes) return nodes_.fail("an object's child headers do not decode");
        const std::uint64_t kept = size - kDigestBytes + 1;
        std::uint32_t block;
        char* bytes = kept <= SIZE_MAX ? d_.strings.add_bytes(static_cast<std::size_t>(kept), &block) : nullptr;
        if (!bytes) return nodes_.no_memory();
        if (!nodes_.read_payload(reference, bytes, kept)) return false;
        if (!parse_child_headers(d_.strings, block, static_cast<std::size_t>(size), d_.metadata_table, *this)) {
            return out_of_memory_ ? nodes_.no_memory() : nodes_.fail("an object's child headers do not decode");
        }
        return true;
    }

    Description& d_;
    NodeReader& nodes_;
    std::uint32_t self_;
    std::uint32_t first_ = 0;
    std::uint64_t count_ = 0;  // the children the group holds
    bool instances_ = false;
    bool out_of_memory_ = false;
};

}  // namespace

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

bool decode_group(Description& d, NodeReader& nodes, std::uint32_t stored) {
    const std::size_t stored_count = d.stored.size();
    const std::size_t links = d.instances.source.size();
    const std::uint32_t text_end = d.strings.end();
    if (GroupDecoder(d, nodes, stored).run()) return true;
    d.stored.truncate(stored_count);
    d.instances.source.truncate(links);
    d.instances.source_path.truncate(links);
    d.instances.expanded.truncate(links);
    d.instances.verdict.truncate(links);
    d.instances.mark.truncate(links);
    d.strings.roll_back(text_end);
    return false;
}

bool ensure_group(CachedReader& reader, Description& d, std::uint32_t stored) {
    if (d.stored[stored].group_state != PropertyState::kUndecoded) {
        return d.stored[stored].group_state == PropertyState::kDecoded;
    }
    NodeReader nodes(reader, &d.budget);
    if (decode_group(d, nodes, stored)) return true;
    if (nodes.out_of_memory()) return false;
    d.stored[stored].group_state = PropertyState::kFailed;
    lose_description(d, nodes.problem() ? nodes.problem() : "an object's group does not decode");
    return false;
}

std::uint32_t find_stored(CachedReader& reader, Description& d, const char* path, bool* failed) {
    std::uint32_t at = 0;
    *failed = false;
    const bool found = for_each_name(path, [&](const char* name, std::size_t length) {
        if (!ensure_group(reader, d, at)) {
            *failed = true;
            return false;
        }
        at = child_by_name(d.stored_names, d.strings, d.stored, at, name, length);
        return at != kNone;
    });
    return found ? at : kNone;
}

}  // namespace zel::desc
