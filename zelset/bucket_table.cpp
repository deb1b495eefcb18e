#include "bucket_table.h"

#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "platform/platform.h"
#include "table_sizes.h"
#include "zel_unit.h"

#ifdef ZEL_ALLOC_FAILURE_INJECTION
#include <atomic>
#endif

namespace zel {

namespace {

constexpr std::size_t kTableBytes = std::size_t{kHashBuckets} * sizeof(std::uint32_t);

// Below this many entries inserted at once, a view costs a few MiB at most
// (a page per entry) and about as much time as filling a table in large
// pages. From it on, keys that spread over the buckets write most pages of a
// view, one fault each: a table filled whole is then faster.
constexpr std::uint32_t kFewEntries = 1024;

#ifdef ZEL_ALLOC_FAILURE_INJECTION
std::atomic<bool> g_force_plain{false};
std::atomic<long> g_mapped_live{0};
bool mapping_wanted() { return !g_force_plain.load(); }
void count_mapped(long change) { g_mapped_live += change; }
#else
constexpr bool mapping_wanted() { return true; }
void count_mapped(long) {}
#endif

}  // namespace

BucketTable bucket_table_acquire(std::uint32_t entries_at_once) {
    if (!allocation_allowed()) return {};
    if (mapping_wanted() && entries_at_once < kFewEntries) {
        if (void* view = map_ones_view(kTableBytes)) {
            count_mapped(1);
            return {static_cast<std::uint32_t*>(view), true};
        }
    }
    // Counted above: this is the same allocation by its other route.
    auto* heads = static_cast<std::uint32_t*>(std::malloc(kTableBytes));
    if (!heads) return {};
    advise_large_pages(heads, kTableBytes);
    std::memset(heads, 0xFF, kTableBytes);
    return {heads, false};
}

void bucket_table_release(const BucketTable& table) {
    if (!table.heads) return;
    if (!table.mapped) return std::free(table.heads);
    unmap_ones_view(table.heads, kTableBytes);
    count_mapped(-1);
}

#ifdef ZEL_ALLOC_FAILURE_INJECTION
void bucket_tables_force_plain(bool plain) { g_force_plain = plain; }
long bucket_tables_mapped_live() { return g_mapped_live.load(); }
#endif

static_assert(ZEL_NONE == 0xFFFFFFFFu, "empty heads are all-ones bytes");

}  // namespace zel
