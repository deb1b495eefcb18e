// Children found by name among many siblings: one open-addressing table of
// (parent, name) -> child for every parent whose children were added, so
// that a lookup among a hundred thousand siblings is not a linear search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/growable.h"
#include "ogawa_reader/description/text_pool.h"

namespace zel::desc {

class SiblingTable {
public:
    // Adds child, named by the pool's text `name`, under parent. The first
    // child added under a name is the one found. False when the table cannot
    // grow (it then holds what it held before).
    bool add(const TextPool& pool, std::uint32_t parent, std::uint32_t child, std::uint32_t name);
    // The child of parent named by the `length` bytes at name; kNone (~0u)
    // when there is none.
    std::uint32_t find(const TextPool& pool, std::uint32_t parent, const char* name, std::size_t length) const;

private:
    struct Slot {
        std::uint32_t parent;
        std::uint32_t child;  // ~0u: empty
        std::uint32_t name;
        std::uint32_t hash;
    };
    static std::uint32_t hash_of(std::uint32_t parent, const char* name, std::size_t length);
    bool grow();

    GrowableArray<Slot> slots_;
    std::size_t used_ = 0;
};

// Whether the pool's terminated text equals the `length` bytes at name.
bool text_equals(const char* text, const char* name, std::size_t length);

}  // namespace zel::desc

namespace zel::desc {

// Children with fewer siblings than this are found by comparing names.
constexpr std::uint32_t kHashedSiblings = 16;

// The first of parent's children (entries[first_child], ... its
// child_count) named by the `length` bytes at name, or ~0u. Among many
// siblings the table is filled with them on the first lookup; when it cannot
// be, the names are compared.
template <class Entry>
std::uint32_t child_by_name(SiblingTable& table, const TextPool& pool, GrowableArray<Entry>& entries,
                            std::uint32_t parent, const char* name, std::size_t length) {
    const Entry& p = entries[parent];
    const std::uint32_t first = p.first_child, count = p.child_count;
    if (count >= kHashedSiblings && !p.names_hashed) {
        bool added = true;
        for (std::uint32_t c = first; added && c < first + count; ++c) added = table.add(pool, parent, c, entries[c].name);
        entries[parent].names_hashed = added;
    }
    if (entries[parent].names_hashed) return table.find(pool, parent, name, length);
    for (std::uint32_t c = first; c < first + count; ++c) {
        if (text_equals(pool.text(entries[c].name), name, length)) return c;
    }
    return 0xFFFFFFFFu;
}

}  // namespace zel::desc
