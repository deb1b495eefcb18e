#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/unit_fixtures.h"
#include "oracles/nearest_oracle.h"
#include "oracles/root_oracles.h"
#include "support/alloc_failure.h"
#include "zelset.h"
#include "zelset/queries_internal.h"

namespace {

using zel_oracle::NearestResults;
using zel_test::OwnedUnit;
using zel_test::UnitInputs;

// The distance this build's nearest query measures with.
#ifdef ZELSET_NEXT
const zel_oracle::RootFunction kRoot = zel_oracle::newton_root;
constexpr uint64_t kRootOfAllOnes = 4294967295u;  // exact: (2^32 - 1)^2 <= 2^64 - 1
#else
const zel_oracle::RootFunction kRoot = zel_oracle::single_precision_root;
constexpr uint64_t kRootOfAllOnes = 4294967296u;  // 2^64 - 1 rounds to the float 2^64
#endif

NearestResults nearest(const zelset_t* unit, uint64_t target, int32_t k) {
    const size_t room = std::max<int32_t>(k, 1);
    NearestResults r;
    r.indices.assign(room, 0xEEEEEEEEu);
    r.distances.assign(room, 0xEEEEEEEEu);
    int32_t n = zelset_query_nearest(unit, target, k, r.indices.data(), r.distances.data());
    EXPECT_GE(n, 0);
    r.indices.resize(n);
    r.distances.resize(n);
    return r;
}

TEST(Nearest, SmallUnitExamples) {
    UnitInputs in({10, 20, 30});
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    NearestResults r = nearest(u.get(), 21, 2);
    EXPECT_EQ(r.indices, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(r.distances, (std::vector<uint64_t>{1, 3}));  // roots of 1 and 9

    // k beyond the count: all three, |20-25| = |30-25| = 5 -> 2, |10-25| = 15 -> 3.
    r = nearest(u.get(), 25, 5);
    ASSERT_EQ(r.distances, (std::vector<uint64_t>{2, 2, 3}));
    EXPECT_EQ(std::min(r.indices[0], r.indices[1]), 1u);
    EXPECT_EQ(std::max(r.indices[0], r.indices[1]), 2u);
    EXPECT_EQ(r.indices[2], 0u);

    // Below every key: the search stops at position 0, the results grow right.
    r = nearest(u.get(), 0, 2);
    EXPECT_EQ(r.indices, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(r.distances, (std::vector<uint64_t>{3, 4}));  // roots of 10 and 20

    // An exact hit comes first at distance 0.
    r = nearest(u.get(), 30, 1);
    EXPECT_EQ(r.indices, (std::vector<uint32_t>{2}));
    EXPECT_EQ(r.distances, (std::vector<uint64_t>{0}));
}

TEST(Nearest, SingleTokenAnswersEveryTarget) {
    UnitInputs in({1000});
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    for (uint64_t target : {uint64_t{0}, uint64_t{1000}, uint64_t{1001}, ~uint64_t{0}}) {
        NearestResults r = nearest(u.get(), target, 3);
        ASSERT_EQ(r.indices, (std::vector<uint32_t>{0}));
        EXPECT_EQ(r.distances[0], kRoot(target > 1000 ? target - 1000 : 1000 - target));
    }
}

TEST(Nearest, FarEndsOfTheKeyRange) {
    UnitInputs in({0, ~uint64_t{0}});
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    NearestResults r = nearest(u.get(), 0, 2);
    EXPECT_EQ(r.indices, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(r.distances, (std::vector<uint64_t>{0, kRootOfAllOnes}));

    // Target 1: the search seeds with the far key (distance 2^32 in zelset).
    // Its square must saturate, not wrap to 0, or the near key 0 would never
    // be looked at.
    r = nearest(u.get(), 1, 1);
    EXPECT_EQ(r.indices, (std::vector<uint32_t>{0}));
    EXPECT_EQ(r.distances, (std::vector<uint64_t>{1}));
    EXPECT_EQ(zel::saturating_square(0x100000000ull), ~uint64_t{0});
    EXPECT_EQ(zel::saturating_square(0xFFFFFFFFull), 0xFFFFFFFE00000001ull);
    EXPECT_EQ(zel::saturating_square(~uint64_t{0}), ~uint64_t{0});
}

TEST(Nearest, RefusedInputsWriteNothing) {
    UnitInputs in({1, 2, 3});
    zelset_t u{};
    ASSERT_EQ(in.create(&u), 0);
    uint32_t idx[3] = {7, 7, 7};
    uint64_t dist[3] = {7, 7, 7};
    EXPECT_EQ(zelset_query_nearest(&u, 2, 0, idx, dist), 0);
    EXPECT_EQ(zelset_query_nearest(&u, 2, -1, idx, dist), 0);
    EXPECT_EQ(zelset_query_nearest(nullptr, 2, 3, idx, dist), 0);
    EXPECT_EQ(zelset_query_nearest(&u, 2, 3, nullptr, dist), 0);
    EXPECT_EQ(zelset_query_nearest(&u, 2, 3, idx, nullptr), 0);
    {
        zel_test::FailNthAllocation failure(1);  // the working list
        EXPECT_EQ(zelset_query_nearest(&u, 2, 3, idx, dist), 0);
        EXPECT_TRUE(failure.fired());
    }
    EXPECT_EQ(idx[0], 7u);
    EXPECT_EQ(dist[0], 7u);
    EXPECT_EQ(zelset_query_nearest(&u, 2, 3, idx, dist), 3);
    zelset_free(&u);
    EXPECT_EQ(zelset_query_nearest(&u, 2, 3, idx, dist), 0);
}

TEST(Nearest, ResultComparatorIsUnsignedThreeWay) {
    zel_search_result_t a{1, 0x8000000000000000ull}, b{2, 1};
    EXPECT_EQ(zel::compare_search_results(&a, &b), 1);
    EXPECT_EQ(zel::compare_search_results(&b, &a), -1);
    b.distance = a.distance;
    EXPECT_EQ(zel::compare_search_results(&a, &b), 0);
}

// Against the literal re-sort-after-every-insertion list, on sorted units of
// several shapes (spread keys, dense keys with many equal distances, repeated
// keys) and on one unsorted unit, whose answers follow the same steps.
TEST(Nearest, AgreesWithTheLiteralList) {
    std::mt19937_64 rng(5);
    struct Shape {
        const char* name;
        uint64_t (*key)(std::mt19937_64&);
        bool sorted;
    };
    const Shape shapes[] = {
        {"spread", +[](std::mt19937_64& r) { return static_cast<uint64_t>(r()); }, true},
        {"dense", +[](std::mt19937_64& r) { return static_cast<uint64_t>(r() % 5000); }, true},
        {"repeated", +[](std::mt19937_64& r) { return static_cast<uint64_t>((r() % 8) * 1000); }, true},
        {"ends", +[](std::mt19937_64& r) { return static_cast<uint64_t>(r() % 2 ? r() % 64 : ~(r() % 64)); }, true},
        {"unsorted", +[](std::mt19937_64& r) { return static_cast<uint64_t>(r() % 100000); }, false},
    };
    for (const Shape& shape : shapes) {
        for (uint32_t count : {2u, 17u, 400u, 3000u}) {
            std::vector<uint64_t> keys(count);
            for (uint64_t& k : keys) k = shape.key(rng);
            if (shape.sorted) std::sort(keys.begin(), keys.end());
            UnitInputs in(keys);
            OwnedUnit u;
            ASSERT_EQ(in.create(u.get()), 0);
            for (int trial = 0; trial < 40; ++trial) {
                const uint64_t target = trial % 3 == 0 ? keys[rng() % count] : shape.key(rng) + rng() % 3;
                const int32_t k = std::vector<int32_t>{1, 2, 3, 16, 100, 300}[trial % 6];
                NearestResults ours = nearest(u.get(), target, k);
                NearestResults literal = zel_oracle::query_nearest(u->tokens, count, target, k, kRoot);
                std::string why;
                ASSERT_TRUE(zel_oracle::nearest_results_agree(ours, literal, &why))
                    << shape.name << " count " << count << " target " << target << " k " << k << ": " << why;
            }
        }
    }
}

}  // namespace
