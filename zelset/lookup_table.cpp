#include "lookup_table.h"

#include <cstdlib>

#include "common/alloc.h"
#include "platform/platform.h"

namespace zel {

std::uint32_t lookup_group_count(std::uint32_t count) {
    // Eight slots a group hold more than the count: some group has room.
    return static_cast<std::uint32_t>(std::uint64_t{count} * 2 / 9 + 1);
}

std::uint64_t lookup_table_bytes(std::uint32_t count) {
    // Room to start the groups on a cache line.
    return std::uint64_t{lookup_group_count(count)} * sizeof(LookupGroup) + alignof(LookupGroup) - 1;
}

bool lookup_table_allocate(LookupTable* table, std::uint32_t count) {
    const std::uint64_t bytes = lookup_table_bytes(count);
    // Zeroed memory is the empty table; a large block comes zeroed from the
    // system, its pages made on first write, in large pages where taken.
    void* block = bytes <= SIZE_MAX ? alloc_zeroed(static_cast<std::size_t>(bytes), 1) : nullptr;
    if (!block) return false;
    advise_large_pages(block, static_cast<std::size_t>(bytes));
    const auto first = (reinterpret_cast<std::uintptr_t>(block) + alignof(LookupGroup) - 1) &
                       ~std::uintptr_t{alignof(LookupGroup) - 1};
    table->groups = reinterpret_cast<LookupGroup*>(first);
    table->group_count = lookup_group_count(count);
    table->block = block;
    return true;
}

void lookup_table_release(LookupTable* table) {
    std::free(table->block);
    *table = LookupTable{};
}

}  // namespace zel
