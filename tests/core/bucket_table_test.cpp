// Bucket tables made as copy-on-write views of the shared block of empty heads
// against the plain allocation: the same heads, bucket for bucket, for units
// created and loaded and for the agent directory; views released by the
// release functions alone, also when a build fails.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/agent_test_support.h"
#include "core/unit_fixtures.h"
#include "platform/platform.h"
#include "support/alloc_failure.h"
#include "support/test_support.h"
#include "zelset.h"
#include "zelset/bucket_table.h"

namespace {

using zel_test::OwnedUnit;
using zel_test::UnitInputs;

constexpr size_t kTableBytes = size_t{ZEL_HASH_BUCKETS} * 4;

// Plain tables while it lives.
struct PlainTables {
    PlainTables() { zel::bucket_tables_force_plain(true); }
    ~PlainTables() { zel::bucket_tables_force_plain(false); }
};

std::vector<uint32_t> heads_of(const zel_hash_index_t* index) {
    return std::vector<uint32_t>(index->buckets, index->buckets + ZEL_HASH_BUCKETS);
}

// Everything hosts can read of an index: its heads and its used entries.
void expect_same_index(const zel_hash_index_t* mapped, const zel_hash_index_t* plain) {
    ASSERT_EQ(mapped->entry_count, plain->entry_count);
    EXPECT_EQ(std::memcmp(mapped->entries, plain->entries, sizeof(zel_hash_entry_t) * plain->entry_count), 0);
    // A plain table is filled with 0xFF: every head never written must read
    // ZEL_NONE in the view too.
    EXPECT_EQ(std::memcmp(mapped->buckets, plain->buckets, kTableBytes), 0);
}

// Keys and ids with repeats, so that chains form.
UnitInputs random_inputs(uint32_t n, std::mt19937_64& rng) {
    std::vector<uint64_t> keys(n);
    for (uint64_t& k : keys) k = (rng() % 3 == 0) ? rng() % 64 : rng();
    UnitInputs in(keys);
    for (uint64_t& id : in.ids) {
        if (rng() % 4 == 0) id = 0x3030303030303030ull;
    }
    return in;
}

TEST(BucketTables, UnitsCreatedAndLoadedMatchPlainTables) {
    zel_test::TempDir dir;
    const std::string path = dir.file("u.zel");
    std::mt19937_64 rng(31);
    const long live_before = zel::bucket_tables_mapped_live();
    {
        // All units stay alive together: writes to one view must not show in
        // another. From 1,024 tokens on, tables are allocated either way.
        std::vector<OwnedUnit> mapped(4);
        long views = 0;
        for (size_t i = 0; i < mapped.size(); ++i) {
            SCOPED_TRACE(i);
            const uint32_t sizes[] = {1, 3, 1023, 1024};
            views += sizes[i] < 1024 ? 2 : 0;
            const UnitInputs in = random_inputs(sizes[i], rng);
            // Even units are created, odd ones loaded from one file (the load's
            // sort is the same both times, so are the token arrays).
            if (i % 2 == 1) {
                OwnedUnit created;
                ASSERT_EQ(in.create(created.get()), 0);
                ASSERT_EQ(zelset_save(path.c_str(), created.get()), 0);
            }
            auto build = [&](zelset_t* unit) { return i % 2 == 0 ? in.create(unit) : zelset_load(path.c_str(), unit); };
            ASSERT_EQ(build(mapped[i].get()), 0);
            OwnedUnit plain;
            {
                PlainTables plain_tables;
                ASSERT_EQ(build(plain.get()), 0);
            }
            EXPECT_EQ(zel::bucket_tables_mapped_live(), live_before + views);
            ASSERT_EQ(std::memcmp(mapped[i]->tokens, plain->tokens, sizeof(zel_token_t) * in.mortons.size()), 0);
            expect_same_index(mapped[i]->morton_index, plain->morton_index);
            expect_same_index(mapped[i]->hex_index, plain->hex_index);
        }
    }
    EXPECT_EQ(zel::bucket_tables_mapped_live(), live_before);
}

using AgentDirectoryTables = zel_test::AgentDirTest;

TEST_F(AgentDirectoryTables, MatchPlainTablesAndAreReleasedByFree) {
    const long live_before = zel::bucket_tables_mapped_live();
    // Serial ids and the slot ids of every tier, then a reload, which indexes
    // the same ids again on top.
    auto fill = [&] {
        EXPECT_EQ(zel_agent_dir_init(nullptr), 0);
        for (int i = 0; i < 3000; ++i) EXPECT_EQ(zel_test::spawn(static_cast<uint8_t>(i % 4)).size(), 8u);
        EXPECT_EQ(zel_agent_dir_save(tmp.file("d.zlag").c_str()), 0);
        EXPECT_EQ(zel_agent_dir_load(tmp.file("d.zlag").c_str()), 0);
        return heads_of(dir().index);
    };
    const std::vector<uint32_t> mapped = fill();
    EXPECT_EQ(zel::bucket_tables_mapped_live(), live_before + 1);
    zel_agent_dir_free();
    EXPECT_EQ(zel::bucket_tables_mapped_live(), live_before);
    PlainTables plain_tables;
    EXPECT_TRUE(fill() == mapped);
    EXPECT_EQ(zel::bucket_tables_mapped_live(), live_before);
}

// A unit's creation makes its key index's view at allocation 4; failures of
// allocations 5 to 8 must release it.
TEST(BucketTables, FailedBuildsReleaseTheirViews) {
    const long live_before = zel::bucket_tables_mapped_live();
    for (uint64_t nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(nth);
        zel_test::FailNthAllocation failure(nth);
        OwnedUnit u;
        EXPECT_NE(UnitInputs({5, 6, 7}).create(u.get()), 0);
        EXPECT_TRUE(failure.fired());
        EXPECT_EQ(zel::bucket_tables_mapped_live(), live_before);
    }
}

// The shared block has the size of the first request: a view beyond it (which
// would fault past the block's end) is refused, and a table then takes the
// plain allocation.
TEST(BucketTables, ViewsNeverExceedTheSharedBlock) {
    void* view = zel::map_ones_view(kTableBytes);
    ASSERT_NE(view, nullptr);
    zel::unmap_ones_view(view, kTableBytes);
    EXPECT_EQ(zel::map_ones_view(kTableBytes + 4096), nullptr);
    EXPECT_EQ(zel::map_ones_view(0), nullptr);
}

}  // namespace
