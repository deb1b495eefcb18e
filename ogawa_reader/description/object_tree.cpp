#include "ogawa_reader/description/object_tree.h"

#include <cstring>

#include "ogawa_reader/description/header_blocks.h"

namespace zel::desc {
namespace {

// parent path + "/" + name. A path longer than kMaxPathBytes is kept cut
// one byte past it, so that no host's path (at most kMaxPathBytes) names it.
bool join_path(Description& d, std::uint32_t parent_path, std::uint32_t name, std::uint32_t* path) {
    constexpr std::size_t kKept = kMaxPathBytes + 1;
    char joined[kKept];
    std::size_t n = std::strlen(d.text(parent_path));
    std::memcpy(joined, d.text(parent_path), n);
    if (n < kKept) joined[n++] = '/';
    const char* tail = d.text(name);
    while (n < kKept && *tail) joined[n++] = *tail++;
    return add_text(d.strings, reinterpret_cast<const unsigned char*>(joined), n, path);
}

class TreeBuilder {
public:
    explicit TreeBuilder(Description& d) : d_(d) {}

    // The children of stored object `written`, placed under read object
    // parent (kNone at the top), each followed by its subtree.
    bool add_children(std::uint32_t written, std::uint32_t parent, std::uint32_t depth) {
        for (std::uint32_t c = d_.stored[written].first_child; c != kNone; c = d_.stored[c].next_sibling) {
            const auto self = static_cast<std::uint32_t>(d_.objects.size());
            ObjectEntry e{};
            e.name = d_.stored[c].name;
            e.parent = parent;
            e.depth = depth;
            e.stored = c;
            e.schema = d_.stored[c].schema;
            if (!join_path(d_, parent == kNone ? 0 : d_.objects[parent].path, e.name, &e.path) || !d_.objects.push(e)) {
                return false;
            }
            if (e.schema == OGAWA_SCHEMA_POLYMESH) ++d_.polymesh_count;
            if (!add_children(c, self, depth + 1)) return false;
            d_.objects[self].next_subtree = static_cast<std::uint32_t>(d_.objects.size());
        }
        return true;
    }

private:
    Description& d_;
};

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

bool build_object_tree(Description& d) {
    d.objects.clear();
    d.polymesh_count = 0;
    return TreeBuilder(d).add_children(0, kNone, 1);
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
