// The chained hash index shared by the token unit and the agent directory: a
// fixed table of kHashBuckets heads and an entry array threaded per bucket,
// newest entry first.
#pragma once

#include <cstdint>

#include "table_sizes.h"
#include "zel_unit.h"

// Bucket of a spatial key: the low 23 bits (kHashMask) of (upper half XOR
// lower half).
inline std::uint32_t zel_morton_hash(std::uint64_t key) {
    return static_cast<std::uint32_t>((key >> 32) ^ key) & zel::kHashMask;
}

namespace zel::detail {

// djb2 as defined: h = h * 33 + c from 5381, c read as a signed byte, over at
// most 8 characters, stopping before the first NUL.
template <class CharAt>
std::uint32_t hex_hash_steps(CharAt char_at) {
    std::uint32_t h = 5381;
    for (int i = 0; i < 8; ++i) {
        const auto c = static_cast<signed char>(char_at(i));
        if (c == 0) break;
        h = h * 33u + static_cast<std::uint32_t>(static_cast<std::int32_t>(c));
    }
    return h;
}

constexpr std::uint32_t power_of_33(int e) {
    std::uint32_t p = 1;
    while (e-- > 0) p *= 33u;
    return p;
}

// With all 8 characters, h = 5381 * 33^8 + sum of c[i] * 33^(7-i). Writing
// each signed c as (its byte XOR 0x80) - 128 leaves a sum over bytes 0..255
// and this constant.
constexpr std::uint32_t kEightCharacterBase = [] {
    std::uint32_t weights = 0;
    for (int e = 0; e < 8; ++e) weights += power_of_33(e);
    return 5381u * power_of_33(8) - 128u * weights;
}();

}  // namespace zel::detail

// Bucket of an id carried in one word (first character in the lowest byte),
// the same value as zel_hex_hash of its bytes.
inline std::uint32_t zel_hex_hash_word(std::uint64_t word) {
    const std::uint64_t zero_bytes = (word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull;
    if (zero_bytes != 0) {
        return zel::detail::hex_hash_steps([&](int i) { return static_cast<char>(word >> (8 * i)); }) & zel::kHashMask;
    }
    // Eight characters: the weighted sum is folded pairwise (characters into
    // 16-bit lanes, pairs into 32-bit lanes, then the two halves) instead of
    // eight dependent steps. No lane overflows: 255 * 34 < 2^16 and
    // 8670 * 1090 < 2^32.
    const std::uint64_t v = word ^ 0x8080808080808080ull;
    const std::uint64_t pairs = (v & 0x00FF00FF00FF00FFull) * 33u + ((v >> 8) & 0x00FF00FF00FF00FFull);
    const std::uint64_t quads =
        (pairs & 0x0000FFFF0000FFFFull) * zel::detail::power_of_33(2) + ((pairs >> 16) & 0x0000FFFF0000FFFFull);
    const std::uint32_t sum =
        static_cast<std::uint32_t>(quads) * zel::detail::power_of_33(4) + static_cast<std::uint32_t>(quads >> 32);
    return (zel::detail::kEightCharacterBase + sum) & zel::kHashMask;
}

// Bucket of an id in memory: djb2 (h = h * 33 + c, c read as a signed byte)
// over at most 8 characters, stopping before the first NUL; nothing past that
// NUL is read, so a shorter string will do.
inline std::uint32_t zel_hex_hash(const char* id) {
    return zel::detail::hex_hash_steps([&](int i) { return id[i]; }) & zel::kHashMask;
}

namespace zel {

// Allocates the index record, `capacity` entries and the bucket table (every
// head ZEL_NONE; see bucket_table.h), in that order. entries_at_once: how many
// entries the caller inserts right away. Null when any allocation fails; the
// parts obtained are released. Only hash_index_destroy releases an index: its
// heads may be a mapped view and its record is larger than zel_hash_index_t.
zel_hash_index_t* hash_index_create(std::uint32_t capacity, std::uint32_t entries_at_once);

// Releases entries, buckets and the record; null is ignored.
void hash_index_destroy(zel_hash_index_t* index);

// Makes a new entry for `value` the head of `bucket`. Skipped silently once
// the index holds `max_entries` entries.
inline void hash_index_insert(zel_hash_index_t* index, std::uint32_t bucket, std::uint32_t value,
                              std::uint32_t max_entries) {
    std::uint32_t e = index->entry_count;
    if (e >= max_entries) return;
    index->entries[e].token_index = value;
    index->entries[e].next = index->buckets[bucket];
    index->buckets[bucket] = e;
    index->entry_count = e + 1;
}

// Walks the chain of `bucket` from its newest entry and returns the first
// value for which matches(value) holds, or ZEL_NONE. Each link points to an
// older entry, so the walk always ends.
template <class Match>
std::uint32_t hash_index_find(const zel_hash_index_t* index, std::uint32_t bucket, Match&& matches) {
    for (std::uint32_t e = index->buckets[bucket]; e != ZEL_NONE && e < index->entry_count;
         e = index->entries[e].next) {
        std::uint32_t value = index->entries[e].token_index;
        if (value != ZEL_NONE && matches(value)) return value;
    }
    return ZEL_NONE;
}

}  // namespace zel
