// The object tree as readers see it, made lazily: a node's children are
// made the first time a call needs them (an instance among them shows the
// object its source names, see instances.h); a lookup by path descends from
// the top, one level at a time; the pre-order index that hosts number
// objects by is made, with the whole tree, by the first call that asks for it.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

inline const StoredObject& shown_of(const Description& d, std::uint32_t node) { return d.stored[d.nodes[node].stored]; }
inline ogawa_schema_t schema_of(const Description& d, std::uint32_t node) {
    return static_cast<ogawa_schema_t>(shown_of(d, node).schema);
}
inline std::uint32_t name_of(const Description& d, std::uint32_t node) { return d.stored[d.nodes[node].written].name; }
inline std::uint32_t child_count_of(const Description& d, std::uint32_t node) { return shown_of(d, node).child_count; }
// The string offset of the path of the source an instance node shows; 0
// ("") for any other node.
inline std::uint32_t instance_source_of(const Description& d, std::uint32_t node) {
    const ObjectNode& n = d.nodes[node];
    return n.stored == n.written ? 0 : d.instances.source_path[n.written];
}

// Child `index` of node (and those before it), made on first use; past the
// last child, the places of all. False when memory ran out or a decoding on
// the way failed (see ensure_group).
bool ensure_child(CachedReader& reader, Description& d, std::uint32_t node, std::uint32_t index);

// The node whose full path is path, or kNone.
std::uint32_t find_node(CachedReader& reader, Description& d, const char* path);

// The string offset of node's full path, joined on first use; 0 ("") when
// it cannot be (no memory).
std::uint32_t path_of(Description& d, std::uint32_t node);

// The nodes below the top object in pre-order, their children made as the
// walk reaches them: one at a time, for a walk that may stop early, or all of
// a node's children together, for a walk through the whole tree.
class PreorderWalk {
public:
    enum class Making { kOneByOne, kAllChildren };
    PreorderWalk(CachedReader& reader, Description& d, Making making)
        : reader_(reader), d_(d), all_children_(making == Making::kAllChildren) {}

    // The next node, or kNone at the end, or when a decoding failed or
    // memory ran out (failed()).
    std::uint32_t next();
    bool failed() const { return failed_; }

private:
    struct Frame {
        std::uint32_t node;
        std::uint32_t next_child;
    };
    CachedReader& reader_;
    Description& d_;
    GrowableArray<Frame> frames_;
    bool all_children_;
    bool started_ = false;
    bool failed_ = false;
};

// Makes the whole tree and its pre-order index (once). False when a decoding
// failed or memory ran out (a later call tries again).
bool ensure_index(CachedReader& reader, Description& d);

// The description of a described archive with its index made, or null (the
// index is the library's own, not the host's record).
Description* indexed_description(const ogawa_archive_t* archive);

// The node of pre-order index `rank`, or kNone; the index must be made.
inline std::uint32_t node_at(const Description& d, std::uint32_t rank) {
    return rank < d.preorder.size() ? d.preorder[rank] : kNone;
}

}  // namespace zel::desc
