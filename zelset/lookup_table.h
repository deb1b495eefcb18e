// The flat table that answers a unit's lookups, one beside each public hash
// index. It holds the same entries as the index, grouped by the index's own
// bucket: open addressing over groups of eight slots, one cache line each,
// every slot a bucket tag and a token position. Entries are entered as the
// index takes them, oldest first: a bucket's entries fill its home group
// and, once that is full, the groups after it. Walked back from the last, they
// are exactly the entries the chain walk visits, in the same order, usually
// in one cache line where the chain costs a head and a token per link.
//
// Tokens are checked as the chain walk checks them, never the key they had
// when the table was built, so a token changed in place answers as it would
// through the index.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "zel_unit.h"

namespace zel {

inline constexpr std::uint32_t kGroupSlots = 8;

// Eight slots, their tags (lookup_tag of the entry's bucket, 0 for an empty
// slot) apart from their token positions so that one comparison covers four
// tags. Slots fill from the first: a group whose last slot is empty is not
// full.
struct alignas(64) LookupGroup {
    std::uint32_t tags[kGroupSlots];
    std::uint32_t positions[kGroupSlots];
};

struct LookupTable {
    LookupGroup* groups = nullptr;  // `group_count` groups, on a cache line each
    std::uint32_t group_count = 0;
    void* block = nullptr;  // the allocation that holds the groups
};

// Bits of a tag above every bucket number: no tag is 0.
inline constexpr std::uint32_t kOccupiedTag = 0x80000000u;

inline std::uint32_t lookup_tag(std::uint32_t bucket) { return bucket | kOccupiedTag; }

// Home group of a tag. Buckets of nearby numbers are spread by the
// multiplication, and the product's top half scales them into any count.
inline std::uint32_t lookup_home(const LookupTable& table, std::uint32_t tag) {
    const std::uint32_t mixed = tag * 0x9E3779B1u;
    return static_cast<std::uint32_t>((std::uint64_t{mixed} * table.group_count) >> 32);
}

inline std::uint32_t lookup_next(const LookupTable& table, std::uint32_t group) {
    return group + 1 == table.group_count ? 0 : group + 1;
}

inline std::uint32_t lookup_previous(const LookupTable& table, std::uint32_t group) {
    return group == 0 ? table.group_count - 1 : group - 1;
}

inline bool group_full(const LookupGroup& group) { return group.tags[kGroupSlots - 1] != 0; }

// Bit k set when slot k holds tag.
inline std::uint32_t group_matches(const LookupGroup& group, std::uint32_t tag) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi32(static_cast<int>(tag));
    const auto* tags = reinterpret_cast<const __m128i*>(group.tags);
    const __m128i low = _mm_cmpeq_epi32(_mm_load_si128(tags), wanted);
    const __m128i high = _mm_cmpeq_epi32(_mm_load_si128(tags + 1), wanted);
    return static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(low))) |
           static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(high))) << 4;
#else
    std::uint32_t mask = 0;
    for (std::uint32_t k = 0; k < kGroupSlots; ++k) mask |= std::uint32_t{group.tags[k] == tag} << k;
    return mask;
#endif
}

// Slot of the highest bit of a non-empty mask: the newest of those entries.
inline std::uint32_t newest_slot(std::uint32_t mask) { return 31 - static_cast<std::uint32_t>(std::countl_zero(mask)); }

// Groups for count entries: four and a half entries a group on average (14.2
// bytes an entry), and never all full, so that every walk ends.
std::uint32_t lookup_group_count(std::uint32_t count);

// Bytes of the table for count entries, as lookup_table_allocate takes them.
std::uint64_t lookup_table_bytes(std::uint32_t count);

// Allocates an empty table for count entries (one allocation). False when it
// cannot be had; the table is left empty.
bool lookup_table_allocate(LookupTable* table, std::uint32_t count);

// Releases the groups; an empty table is ignored.
void lookup_table_release(LookupTable* table);

// The home group of a tag, fetched ahead of lookup_table_insert.
inline void lookup_table_prefetch(const LookupTable& table, std::uint32_t tag) {
    __builtin_prefetch(&table.groups[lookup_home(table, tag)], 1);
}

// Enters position under tag, newer than every entry of the tag before it.
inline void lookup_table_insert(LookupTable& table, std::uint32_t tag, std::uint32_t position) {
    std::uint32_t g = lookup_home(table, tag);
    while (group_full(table.groups[g])) g = lookup_next(table, g);
    LookupGroup& group = table.groups[g];
    const auto k = static_cast<std::uint32_t>(std::countr_zero(group_matches(group, 0)));  // first empty
    group.tags[k] = tag;
    group.positions[k] = position;
}

// Offers the positions of bucket's entries to visit, newest first, until it
// returns true: that position, or ZEL_NONE once they are exhausted.
template <class Visit>
std::uint32_t lookup_table_find(const LookupTable& table, std::uint32_t bucket, Visit&& visit) {
    const std::uint32_t tag = lookup_tag(bucket);
    const std::uint32_t home = lookup_home(table, tag);
    std::uint32_t g = home;
    while (group_full(table.groups[g])) g = lookup_next(table, g);
    for (;; g = lookup_previous(table, g)) {
        const LookupGroup& group = table.groups[g];
        for (std::uint32_t mask = group_matches(group, tag); mask != 0;) {
            const std::uint32_t k = newest_slot(mask);
            if (visit(group.positions[k])) return group.positions[k];
            mask &= ~(1u << k);
        }
        if (g == home) return ZEL_NONE;
    }
}

}  // namespace zel
