#include "ogawa_reader/description/object_tree.h"

#include <cstring>

#include "ogawa_reader/description/instances.h"
#include "ogawa_reader/description/object_groups.h"

namespace zel::desc {

bool ensure_child(CachedReader& reader, Description& d, std::uint32_t node, std::uint32_t index) {
    const ObjectNode& n = d.nodes[node];
    if (n.placed && (index < n.made || n.made == d.stored[n.stored].child_count)) return true;
    const std::uint32_t shown = n.stored;
    if (!ensure_group(reader, d, shown)) return false;
    const std::uint32_t count = d.stored[shown].child_count;
    if (!d.nodes[node].placed) {
        // Places for every child; each is written when it is made.
        const std::size_t base = d.nodes.size();
        if (base + count > kNone || !d.nodes.resize(base + count)) return false;
        ObjectNode& self = d.nodes[node];
        self.first_child = static_cast<std::uint32_t>(base);
        self.made = 0;
        self.placed = true;
    }
    const ObjectNode parent = d.nodes[node];
    for (std::uint32_t i = parent.made; i <= index && i < count; ++i) {
        const std::uint32_t c = d.stored[shown].first_child + i;
        ObjectNode n{};
        n.written = n.stored = c;
        n.parent = node;
        n.first_child = n.path = kNone;
        n.depth = static_cast<std::uint16_t>(parent.depth + 1);
        n.paid = parent.paid;
        if (d.stored[c].instance && !show_instance(reader, d, c, &n)) return false;
        d.nodes[parent.first_child + i] = n;
        d.nodes[node].made = i + 1;
    }
    return true;
}

std::uint32_t find_node(CachedReader& reader, Description& d, const char* path) {
    std::uint32_t at = 0;
    const bool found = for_each_name(path, [&](const char* name, std::size_t length) {
        // A node's children show its stored object's children, in their order.
        const std::uint32_t shown = d.nodes[at].stored;
        if (!ensure_group(reader, d, shown)) return false;
        const std::uint32_t c = child_by_name(d.stored_names, d.strings, d.stored, shown, name, length);
        if (c == kNone) return false;
        const std::uint32_t index = c - d.stored[shown].first_child;
        if (!ensure_child(reader, d, at, index)) return false;
        at = d.nodes[at].first_child + index;
        return true;
    });
    return found ? at : kNone;
}

// Paths are joined from the nearest ancestor that has one, down; a path
// longer than kMaxPathBytes is kept cut one byte past it, so that no host's
// path (at most kMaxPathBytes) names it.
std::uint32_t path_of(Description& d, std::uint32_t node) {
    ObjectNode& n = d.nodes[node];
    if (n.path != kNone) return n.path;
    if (n.parent == 0 || d.nodes[n.parent].path != kNone) {  // most often: the parent's path is known
        const std::uint32_t above = n.parent == 0 ? 0 : d.nodes[n.parent].path;
        return d.strings.add_joined(above, name_of(d, node), kMaxPathBytes + 1, &n.path) ? n.path : 0;
    }
    GrowableArray<std::uint32_t> chain;  // node and its ancestors without a path, nearest first
    for (std::uint32_t at = node; at != 0 && d.nodes[at].path == kNone; at = d.nodes[at].parent) {
        if (!chain.push(at)) return 0;
    }
    for (std::size_t i = chain.size(); i-- > 0;) {
        ObjectNode& self = d.nodes[chain[i]];
        const std::uint32_t above = self.parent == 0 ? 0 : d.nodes[self.parent].path;
        if (!d.strings.add_joined(above, name_of(d, chain[i]), kMaxPathBytes + 1, &self.path)) return 0;
    }
    return d.nodes[node].path;
}

std::uint32_t PreorderWalk::next() {
    if (failed_) return kNone;
    if (!started_) {
        started_ = true;
        if (!frames_.push({0, 0})) {
            failed_ = true;
            return kNone;
        }
    }
    while (!frames_.empty()) {
        Frame& f = frames_.back();
        const std::uint32_t wanted = all_children_ ? kNone - 1 : f.next_child;  // past the last: all of them
        if (!ensure_child(reader_, d_, f.node, wanted)) {
            failed_ = true;
            return kNone;
        }
        if (f.next_child == child_count_of(d_, f.node)) {
            frames_.truncate(frames_.size() - 1);
            continue;
        }
        const std::uint32_t child = d_.nodes[f.node].first_child + f.next_child++;
        if (!frames_.push({child, 0})) {
            failed_ = true;
            return kNone;
        }
        return child;
    }
    return kNone;
}

bool ensure_index(CachedReader& reader, Description& d) {
    if (d.indexed) return true;
    d.preorder.clear();
    d.polymesh_count = 0;
    PreorderWalk walk(reader, d, PreorderWalk::Making::kAllChildren);
    for (std::uint32_t node = walk.next(); node != kNone; node = walk.next()) {
        d.nodes[node].rank = static_cast<std::uint32_t>(d.preorder.size());
        if (!d.preorder.push(node)) return false;
        if (schema_of(d, node) == OGAWA_SCHEMA_POLYMESH) ++d.polymesh_count;
    }
    if (walk.failed()) return false;
    // Children follow their parent in pre-order: from the last index back,
    // each subtree ends where its last child's does.
    for (std::size_t r = d.preorder.size(); r-- > 0;) {
        const std::uint32_t node = d.preorder[r], count = child_count_of(d, node);
        ObjectNode& n = d.nodes[node];
        n.subtree_end = count == 0 ? static_cast<std::uint32_t>(r + 1) : d.nodes[n.first_child + count - 1].subtree_end;
    }
    d.indexed = true;
    return true;
}

Description* indexed_description(const ogawa_archive_t* archive) {
    Description* d = const_cast<Description*>(description_of(archive));
    if (!d || d->indexed) return d;
    CachedReader reader = reader_of(archive, *d);
    return ensure_index(reader, *d) ? d : nullptr;
}

}  // namespace zel::desc
