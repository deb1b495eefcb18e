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

// Bucket of an id: djb2 (h = h * 33 + c, c read as a signed byte) over at most
// 8 characters, stopping before the first NUL; the low 23 bits (kHashMask).
inline std::uint32_t zel_hex_hash(const char* id) {
    std::uint32_t h = 5381;
    for (int i = 0; i < 8 && id[i] != '\0'; ++i) {
        h = h * 33u + static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(id[i])));
    }
    return h & zel::kHashMask;
}

namespace zel {

// Allocates the index record, `capacity` entries and the bucket table (filled
// with ZEL_NONE), in that order. Null when any allocation fails; the parts
// obtained are released.
zel_hash_index_t* hash_index_create(std::uint32_t capacity);

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
