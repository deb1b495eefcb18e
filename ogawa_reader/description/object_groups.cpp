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

class GroupDecoder {
public:
    GroupDecoder(Description& d, NodeReader& nodes, std::uint32_t self) : d_(d), nodes_(nodes), self_(self) {}

    bool run() {
        const StoredObject o = d_.stored[self_];
        // The groups of its ancestors, for a group that would contain itself.
        nodes_.enter(0, d_.root_group);
        for (std::uint32_t a = o.parent, depth = o.depth - 1u; a != kNone; a = d_.stored[a].parent, --depth) {
            nodes_.enter(static_cast<int>(depth), d_.stored[a].group);
        }
        Group g;
        if (!nodes_.open_group(o.group, o.depth, &g)) return false;
        if (g.count < 2) return nodes_.fail("an object's group lacks its properties or headers");
        GrowableArray<std::uint64_t>& references = d_.scratch_references;
        references.clear();
        if (!nodes_.children(g, &references)) return false;
        const std::uint64_t properties_reference = references[0];
        if (is_data(properties_reference)) return nodes_.fail("an object's properties are not a group");
        if (!nodes_.names_a_place(properties_reference)) return false;
        Bytes& block = d_.scratch_block;
        if (!nodes_.read_block(references[g.count - 1], &block)) return false;
        const std::uint64_t count = g.count - 2;
        GrowableArray<ChildHeader>& headers = d_.scratch_headers;
        headers.clear();
        // Room for every header and text the block can hold, so that a
        // header that fails to parse is the file's doing.
        if (!headers.reserve_more(static_cast<std::size_t>(count)) || !d_.stored.reserve_more(static_cast<std::size_t>(count)) ||
            !d_.strings.reserve(2 * block.size() + 3 * (block.size() / 5 + 1))) {
            return nodes_.no_memory();
        }
        if (!parse_child_headers(block, d_.metadata_table, d_.strings, &headers) || headers.size() != count) {
            return nodes_.fail("an object's child headers do not decode");
        }
        const auto first = static_cast<std::uint32_t>(d_.stored.size());
        bool instances = false;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t reference = references[1 + i];
            if (is_data(reference)) return nodes_.fail("a child object is not a group");
            StoredObject c{};
            if (!child_object(headers[i], position_of(reference), &c)) return nodes_.no_memory();
            instances |= c.instance;
            d_.stored.push(c);  // reserved above
        }
        if ((instances || !d_.instances.source.empty()) && !grow_instance_links(d_, d_.instances.source.size())) {
            return nodes_.no_memory();
        }
        StoredObject& self = d_.stored[self_];
        self.property_group = position_of(properties_reference);
        self.first_child = first;
        self.child_count = static_cast<std::uint32_t>(count);
        self.group_state = PropertyState::kDecoded;
        return true;
    }

private:
    bool child_object(const ChildHeader& h, std::uint64_t group, StoredObject* c) {
        ObjectKind kind;
        if (h.metadata_index != 0) {
            kind = d_.indexed_kinds[h.metadata_index - 1];
        } else if (!kind_of(d_.strings, h.metadata, &kind)) {
            return false;
        }
        c->group = group;
        c->name = h.name;
        c->metadata = h.metadata;
        c->parent = self_;
        c->first_child = c->properties = kNone;
        c->schema_text = kind.schema_text;
        c->schema = kind.schema;
        c->depth = static_cast<std::uint16_t>(d_.stored[self_].depth + 1);
        c->instance = kind.instance;
        return true;
    }

    Description& d_;
    NodeReader& nodes_;
    std::uint32_t self_;
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
