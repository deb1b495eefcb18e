// Children found by name among many siblings: one open-addressing table of
// (parent, name) -> child for every parent whose children were added, so
// that a lookup among a hundred thousand siblings is not a linear search.
// Entries are a parent's children, which lie together in an array of
// records with a `parent` and a `name` (a pool offset); a slot holds a
// child's index and the hash of its parent and name.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/growable.h"
#include "ogawa_reader/description/text_pool.h"

namespace zel::desc {

// Whether the pool's terminated text equals the `length` bytes at name.
inline bool text_equals(const char* text, const char* name, std::size_t length) {
    return std::strncmp(text, name, length) == 0 && text[length] == '\0';
}

std::uint32_t sibling_hash(std::uint32_t parent, const char* name, std::size_t length);

class SiblingTable {
public:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

    // Adds children [first, first + count) of entries[parent]; the first of
    // a name is the one found. False when the table cannot grow (it then
    // holds what it held before, or some of these children).
    template <class Entries>
    bool add_children(const TextPool& pool, const Entries& entries, std::uint32_t parent,
                      std::uint32_t first, std::uint32_t count) {
        if (!make_room(count)) return false;
        for (std::uint32_t c = first; c < first + count; ++c) {
            const char* name = pool.text(entries[c].name);
            const std::size_t length = std::strlen(name);
            const std::uint32_t hash = sibling_hash(parent, name, length);
            if (find(pool, entries, parent, name, length, hash) == kEmpty) insert({c, hash});
        }
        return true;
    }

    // The child of entries[parent] named by the `length` bytes at name, or kEmpty.
    template <class Entries>
    std::uint32_t find(const TextPool& pool, const Entries& entries, std::uint32_t parent,
                       const char* name, std::size_t length) const {
        return slots_.empty() ? kEmpty : find(pool, entries, parent, name, length, sibling_hash(parent, name, length));
    }

private:
    struct Slot {
        std::uint32_t child;  // kEmpty: free
        std::uint32_t hash;
    };

    template <class Entries>
    std::uint32_t find(const TextPool& pool, const Entries& entries, std::uint32_t parent,
                       const char* name, std::size_t length, std::uint32_t hash) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask; slots_[at].child != kEmpty; at = (at + 1) & mask) {
            const Slot& s = slots_[at];
            if (s.hash == hash && entries[s.child].parent == parent && text_equals(pool.text(entries[s.child].name), name, length)) {
                return s.child;
            }
        }
        return kEmpty;
    }
    // Room for `more` children at a load of at most one half, grown once.
    bool make_room(std::size_t more);
    void insert(Slot s);

    GrowableArray<Slot> slots_;
    std::size_t used_ = 0;
};

// Children with fewer siblings than this are found by comparing names.
constexpr std::uint32_t kHashedSiblings = 16;

// The first of parent's children (entries[first_child], ... its
// child_count) named by the `length` bytes at name, or kEmpty. The first
// lookup compares names; among many siblings the second fills the table with
// them, and it answers from then on (when it cannot be filled, the names are
// compared).
template <class Entries>
std::uint32_t child_by_name(SiblingTable& table, const TextPool& pool, Entries& entries,
                            std::uint32_t parent, const char* name, std::size_t length) {
    const std::uint32_t first = entries[parent].first_child, count = entries[parent].child_count;
    if (count >= kHashedSiblings && entries[parent].names_searched && !entries[parent].names_hashed) {
        entries[parent].names_hashed = table.add_children(pool, entries, parent, first, count);
    }
    if (entries[parent].names_hashed) return table.find(pool, entries, parent, name, length);
    entries[parent].names_searched = true;
    for (std::uint32_t c = first; c < first + count; ++c) {
        if (text_equals(pool.text(entries[c].name), name, length)) return c;
    }
    return SiblingTable::kEmpty;
}

}  // namespace zel::desc
