// An object's property headers, decoded the first time a read needs them:
// the compound's group, its header block, and below it every compound in
// turn; each scalar or array property's group must hold the samples its
// header promises. The walk spends from the decoder's budget.
#include "common/alloc.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/header_blocks.h"
#include "ogawa_reader/description/node_reader.h"
#include "ogawa_reader/description/object_groups.h"

namespace zel::desc {
namespace {

class CompoundWalker {
public:
    CompoundWalker(CachedReader& reader, Description& d) : d_(d), nodes_(reader, &d.budget) {}

    // The compound whose group lies at position, appended with everything
    // below it; its index in *index.
    bool walk(std::uint64_t position, std::uint32_t* index) {
        PropertyEntry top{};
        top.kind = PropertyKind::kCompound;
        top.first_child = top.next_sibling = kNone;
        top.group = position;
        *index = static_cast<std::uint32_t>(d_.properties.size());
        if (!d_.properties.push(top)) return nodes_.no_memory();
        return walk_compound(*index, 0);
    }

    bool out_of_memory() const { return nodes_.out_of_memory(); }

private:
    bool walk_compound(std::uint32_t self, int depth) {
        Group g;
        if (!nodes_.open_group(d_.properties[self].group, depth, &g) || g.count < 1) return false;
        std::uint64_t headers_reference;
        if (!nodes_.child(g, g.count - 1, &headers_reference)) return false;
        const auto first = static_cast<std::uint32_t>(d_.properties.size());
        if (!nodes_.read_block(headers_reference, &block_)) return false;
        // Room for the most headers and texts the block can hold (a header
        // takes at least 5 bytes, its name and metadata a terminator each),
        // so that a header that fails to parse is the file's doing.
        if (!d_.properties.reserve_more(block_.size() / 5 + 1) ||
            !d_.strings.reserve(block_.size() + 2 * (block_.size() / 5 + 1))) {
            return nodes_.no_memory();
        }
        if (!parse_property_headers(block_, d_.metadata_table, d_.strings, &d_.properties)) return false;
        const std::uint64_t count = d_.properties.size() - first;
        if (count != g.count - 1) return false;
        if (count != 0) d_.properties[self].first_child = first;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t reference;
            if (!nodes_.child(g, i, &reference) || is_data(reference) || !nodes_.names_a_place(reference)) return false;
            PropertyEntry& p = d_.properties[first + i];
            p.group = position_of(reference);
            if (i + 1 < count) p.next_sibling = first + i + 1;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const PropertyEntry p = d_.properties[first + i];  // a copy: the walk below grows the array
            const bool ok = p.kind == PropertyKind::kCompound ? p.group == 0 || walk_compound(first + i, depth + 1)
                                                              : holds_its_samples(p);
            if (!ok) return false;
        }
        return true;
    }

    // A scalar property's group holds one child per stored sample, an array
    // property's two.
    bool holds_its_samples(const PropertyEntry& p) {
        if (p.sampling >= d_.samplings.size()) return false;
        const std::uint64_t promised = std::uint64_t{p.stored_count} * (p.kind == PropertyKind::kScalar ? 1 : 2);
        if (promised == 0) return true;
        std::uint64_t count;
        return p.group != 0 && nodes_.group_count(p.group, &count) && count >= promised;
    }

    Description& d_;
    NodeReader nodes_;
    Bytes block_;
};

}  // namespace

bool ensure_properties(CachedReader& reader, Description& d, std::uint32_t stored) {
    if (!ensure_group(reader, d, stored)) return false;  // the group names the compound
    StoredObject& o = d.stored[stored];
    if (o.property_state == PropertyState::kUndecoded) {
        o.property_state = PropertyState::kFailed;
        const std::size_t property_count = d.properties.size();
        const std::uint32_t text_end = d.strings.end();
        std::uint32_t index = kNone;
        CompoundWalker walker(reader, d);
        if (o.property_group == 0 || walker.walk(o.property_group, &index)) {
            d.stored[stored].properties = index;
            d.stored[stored].property_state = PropertyState::kDecoded;
        } else {
            // What a failed walk appended describes nothing. Without memory
            // the next read tries again.
            d.properties.truncate(property_count);
            d.strings.roll_back(text_end);
            if (walker.out_of_memory()) d.stored[stored].property_state = PropertyState::kUndecoded;
        }
    }
    return d.stored[stored].property_state == PropertyState::kDecoded;
}

std::uint32_t properties_of(CachedReader& reader, Description& d, std::uint32_t node) {
    const std::uint32_t stored = d.nodes[node].stored;
    return ensure_properties(reader, d, stored) ? d.stored[stored].properties : kNone;
}

}  // namespace zel::desc
