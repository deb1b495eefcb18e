#include "hash_index.h"

#include <cstddef>
#include <cstdlib>
#include <type_traits>

#include "bucket_table.h"
#include "common/alloc.h"

namespace zel {

namespace {

// What hash_index_create allocates: the public record first, so that hosts
// reading a zel_hash_index_t see exactly that, then how its heads were made.
struct IndexRecord {
    zel_hash_index_t index;
    bool buckets_mapped;
};
static_assert(std::is_standard_layout_v<IndexRecord> && offsetof(IndexRecord, index) == 0);

IndexRecord* record_of(zel_hash_index_t* index) { return reinterpret_cast<IndexRecord*>(index); }

}  // namespace

zel_hash_index_t* hash_index_create(std::uint32_t capacity, std::uint32_t entries_at_once) {
    auto* record = alloc_array<IndexRecord>(1);
    if (!record) return nullptr;
    zel_hash_index_t& index = record->index;
    index.entries = alloc_array<zel_hash_entry_t>(capacity);
    BucketTable table = index.entries ? bucket_table_acquire(entries_at_once) : BucketTable{};
    if (!table.heads) {
        std::free(index.entries);
        std::free(record);
        return nullptr;
    }
    index.buckets = table.heads;
    index.entry_count = 0;
    record->buckets_mapped = table.mapped;
    return &index;
}

void hash_index_destroy(zel_hash_index_t* index) {
    if (!index) return;
    std::free(index->entries);
    bucket_table_release(BucketTable{index->buckets, record_of(index)->buckets_mapped});
    std::free(record_of(index));
}

}  // namespace zel
