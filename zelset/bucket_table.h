// The bucket heads of a hash index: kHashBuckets heads that start empty
// (ZEL_NONE). An index that starts with few entries writes few of them, so
// its table is a copy-on-write view of one shared block of empty heads: it
// costs a page for each page of heads written, not 32 MiB filled on every
// build. An index built with many entries at once writes most pages anyway;
// its table is allocated and filled, in large pages where the system has
// them. Where the view cannot be mapped, the table is allocated too.
#pragma once

#include <cstdint>

namespace zel {

struct BucketTable {
    std::uint32_t* heads = nullptr;  // null when the table could not be made
    bool mapped = false;             // a view, released by unmapping
};

// A table of empty heads; entries_at_once is how many entries the caller
// inserts right away (a unit inserts all of its tokens, the agent directory
// starts empty). It counts as one allocation for the failure-injecting test
// build, whichever way it is made.
BucketTable bucket_table_acquire(std::uint32_t entries_at_once);

// Releases a table from bucket_table_acquire; an empty one is ignored.
void bucket_table_release(const BucketTable& table);

#ifdef ZEL_ALLOC_FAILURE_INJECTION
// Test hooks: make every table a plain allocation while set, and count the
// mapped tables not yet released.
void bucket_tables_force_plain(bool plain);
long bucket_tables_mapped_live();
#endif

}  // namespace zel
