#include "ogawa_reader/description/object_tree.h"

#include <cstring>

#include "ogawa_reader/description/header_blocks.h"
#include "ogawa_reader/description/instances.h"

namespace zel::desc {
namespace {

// parent path + "/" + name. A path longer than kMaxPathBytes is kept cut one
// byte past it, so that no host's path (at most kMaxPathBytes) names it.
bool join_path(Description& d, std::uint32_t parent_path, std::uint32_t name, std::uint32_t* path) {
    return d.strings.add_joined(parent_path, name, kMaxPathBytes + 1, path);
}

// Deepest object an instance is expanded at: expansions may nest deeper
// than the file's groups, and the builder recurses.
constexpr std::uint32_t kMaxExpandedDepth = 1024;

class TreeBuilder {
public:
    // Without a plan, the tree as written.
    TreeBuilder(Description& d, const InstancePlan* plan) : d_(d), plan_(plan) {}

    // The children of stored object `shown`, placed under read object
    // parent (kNone at the top), each followed by its subtree. Objects of an
    // expansion already paid for spend nothing more.
    bool add_children(std::uint32_t shown, std::uint32_t parent, std::uint32_t depth, bool paid) {
        for (std::uint32_t c = d_.stored[shown].first_child; c != kNone; c = d_.stored[c].next_sibling) {
            const auto self = static_cast<std::uint32_t>(d_.objects.size());
            ObjectEntry e{};
            e.name = d_.stored[c].name;
            e.parent = parent;
            e.depth = depth;
            e.stored = c;
            bool paid_below = paid;
            if (plan_ && plan_->shown[c] != c && (paid || expansion_fits(c, depth))) {
                e.stored = plan_->shown[c];
                e.instance_source = plan_->source_path[c];
                paid_below = true;
            }
            e.schema = d_.stored[e.stored].schema;
            if (!join_path(d_, parent == kNone ? 0 : d_.objects[parent].path, e.name, &e.path) || !d_.objects.push(e)) {
                return false;
            }
            if (e.schema == OGAWA_SCHEMA_POLYMESH) ++d_.polymesh_count;
            if (!add_children(e.stored, self, depth + 1, paid_below)) return false;
            d_.objects[self].next_subtree = static_cast<std::uint32_t>(d_.objects.size());
        }
        return true;
    }

private:
    // An instance's expansion spends from the decoder's budget what it adds
    // beyond the tree as written; one that does not fit stays as written.
    bool expansion_fits(std::uint32_t instance, std::uint32_t depth) {
        const std::uint64_t added = plan_->expanded_size[plan_->shown[instance]] - 1;
        if (depth > kMaxExpandedDepth || added > d_.budget) return false;
        d_.budget -= added;
        return true;
    }

    Description& d_;
    const InstancePlan* plan_;
};

bool has_instances(const Description& d) {
    for (std::size_t i = 0; i < d.stored.size(); ++i) {
        if (d.stored[i].instance) return true;
    }
    return false;
}

// FNV-1a over the path's bytes.
std::uint64_t path_hash(const char* path) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (; *path; ++path) h = (h ^ static_cast<unsigned char>(*path)) * 0x100000001b3ull;
    return h;
}

// Open addressing over a power of two of at least twice the objects.
bool build_path_table(Description& d) {
    std::size_t slots = 16;
    while (slots < 2 * d.objects.size()) slots *= 2;
    if (!d.path_slots.resize(slots)) return false;
    std::memset(d.path_slots.data(), 0xFF, slots * sizeof(std::uint32_t));
    for (std::uint32_t o = 0; o < d.objects.size(); ++o) {
        std::size_t at = path_hash(d.text(d.objects[o].path)) & (slots - 1);
        while (d.path_slots[at] != kNone) at = (at + 1) & (slots - 1);
        d.path_slots[at] = o;
    }
    return true;
}

}  // namespace

bool build_object_tree(CachedReader& reader, Description& d) {
    d.objects.clear();
    d.polymesh_count = 0;
    if (!TreeBuilder(d, nullptr).add_children(0, kNone, 1, false)) return false;
    if (!has_instances(d)) return true;
    // Sources are found by their paths in the tree as written; the tree is
    // then built again with every instance that can be expanded expanded.
    InstancePlan plan;
    if (!plan_instances(reader, d, &plan)) return false;
    d.objects.clear();
    d.path_slots.clear();
    d.polymesh_count = 0;
    return TreeBuilder(d, &plan).add_children(0, kNone, 1, false);
}

std::uint32_t find_object(Description& d, const char* path) {
    if (d.path_slots.empty() && !d.objects.empty()) build_path_table(d);
    if (d.path_slots.empty()) {
        for (std::uint32_t o = 0; o < d.objects.size(); ++o) {
            if (std::strcmp(d.text(d.objects[o].path), path) == 0) return o;
        }
        return kNone;
    }
    const std::size_t mask = d.path_slots.size() - 1;
    for (std::size_t at = path_hash(path) & mask; d.path_slots[at] != kNone; at = (at + 1) & mask) {
        const std::uint32_t o = d.path_slots[at];
        if (std::strcmp(d.text(d.objects[o].path), path) == 0) return o;
    }
    return kNone;
}

}  // namespace zel::desc
