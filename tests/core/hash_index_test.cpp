#include <gtest/gtest.h>

#include "support/alloc_failure.h"
#include "zelset/hash_index.h"

namespace {

TEST(HashIndex, FindWalksTheChainNewestFirst) {
    zel_hash_index_t* index = zel::hash_index_create(4, 4);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->buckets[0], ZEL_NONE);
    EXPECT_EQ(index->buckets[ZEL_HASH_BUCKETS - 1], ZEL_NONE);
    for (uint32_t v : {10u, 11u, 12u}) zel::hash_index_insert(index, 7, v, 4);
    EXPECT_EQ(index->entry_count, 3u);
    auto below = [](uint32_t limit) { return [limit](uint32_t v) { return v < limit; }; };
    EXPECT_EQ(zel::hash_index_find(index, 7, below(100)), 12u);  // newest first
    EXPECT_EQ(zel::hash_index_find(index, 7, below(12)), 11u);   // past a mismatch
    EXPECT_EQ(zel::hash_index_find(index, 7, below(11)), 10u);
    EXPECT_EQ(zel::hash_index_find(index, 7, below(10)), ZEL_NONE);
    EXPECT_EQ(zel::hash_index_find(index, 8, below(100)), ZEL_NONE);  // empty bucket
    zel::hash_index_destroy(index);
    zel::hash_index_destroy(nullptr);
}

TEST(HashIndex, InsertionStopsAtTheLimit) {
    zel_hash_index_t* index = zel::hash_index_create(3, 3);
    ASSERT_NE(index, nullptr);
    for (uint32_t v = 0; v < 5; ++v) zel::hash_index_insert(index, v, v, 2);
    EXPECT_EQ(index->entry_count, 2u);
    EXPECT_EQ(index->buckets[1], 1u);
    EXPECT_EQ(index->buckets[2], ZEL_NONE);
    zel::hash_index_destroy(index);
}

TEST(HashIndex, CreationFailureReleasesEveryPart) {
    // Record, entries, buckets: a failure of any of them yields no index, and
    // the leak checker of the sanitizer build sees nothing left behind.
    for (uint64_t nth = 1; nth <= 3; ++nth) {
        zel_test::FailNthAllocation failure(nth);
        EXPECT_EQ(zel::hash_index_create(16, 16), nullptr) << nth;
        EXPECT_TRUE(failure.fired());
    }
}

}  // namespace
