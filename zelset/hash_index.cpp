#include "hash_index.h"

#include <cstdlib>
#include <cstring>

#include "common/alloc.h"

namespace zel {

zel_hash_index_t* hash_index_create(std::uint32_t capacity) {
    auto* index = alloc_array<zel_hash_index_t>(1);
    if (!index) return nullptr;
    index->entries = alloc_array<zel_hash_entry_t>(capacity);
    index->buckets = index->entries ? alloc_array<std::uint32_t>(kHashBuckets) : nullptr;
    if (!index->buckets) {
        std::free(index->entries);
        std::free(index);
        return nullptr;
    }
    std::memset(index->buckets, 0xFF, kHashBuckets * sizeof(std::uint32_t));
    index->entry_count = 0;
    return index;
}

void hash_index_destroy(zel_hash_index_t* index) {
    if (!index) return;
    std::free(index->entries);
    std::free(index->buckets);
    std::free(index);
}

}  // namespace zel
