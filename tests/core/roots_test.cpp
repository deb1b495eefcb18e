#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "oracles/root_oracles.h"
#include "zelset.h"
#include "zelset/integer_roots.h"

namespace {

constexpr uint64_t kAllOnes = ~uint64_t{0};

TEST(Roots, SingleSquareRootValues) {
    const std::vector<std::pair<uint64_t, uint64_t>> cases = {
        {0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {15, 3}, {16, 4}, {17, 4}, {99, 9}, {100, 10},
        // Rounding to a float and then rounding the root overshoot by one:
        {(uint64_t{1} << 48) - 1, 16777216},  // exact 16,777,215
        {16785407, 4097},                     // exact 4,096
        {kAllOnes, 4294967296},               // exact 4,294,967,295
    };
    for (const auto& [n, root] : cases) {
        EXPECT_EQ(srl_sqrt(n), root) << n;
        EXPECT_EQ(srl_hop_distance(0, n), root) << n;
    }
}

TEST(Roots, IntegerRootValues) {
    EXPECT_EQ(srl_isqrt(-5), 0);
    EXPECT_EQ(srl_isqrt(INT32_MIN), 0);
    EXPECT_EQ(srl_isqrt(0), 0);
    EXPECT_EQ(srl_isqrt(1), 1);
    EXPECT_EQ(srl_isqrt(2147483647), 46340);
    EXPECT_EQ(srl_isqrt(2147395599), 46340);  // exact 46,339: 46,340^2 = 2,147,395,600
}

TEST(Roots, BoundedRootValues) {
    EXPECT_EQ(srl_bounded_sqrt(100, 2, 8), 8);
    EXPECT_EQ(srl_bounded_sqrt(100, 12, 20), 12);
    EXPECT_EQ(srl_bounded_sqrt(100, 5, 20), 10);
    EXPECT_EQ(srl_bounded_sqrt(0, 3, 9), 3);
    EXPECT_EQ(srl_bounded_sqrt(0, -1, 9), 0);
    EXPECT_EQ(srl_bounded_sqrt(400, 12, 4), 4);   // lo > hi, s = 20 >= lo: hi
    EXPECT_EQ(srl_bounded_sqrt(100, 12, 4), 12);  // lo tested first
}

TEST(Roots, HopDistanceIsSymmetric) {
    EXPECT_EQ(srl_hop_distance(10, 10), 0u);
    EXPECT_EQ(srl_hop_distance(10, 11), 1u);
    EXPECT_EQ(srl_hop_distance(11, 10), 1u);
    EXPECT_EQ(srl_hop_distance(0, kAllOnes), 4294967296u);
    EXPECT_EQ(srl_hop_distance(kAllOnes, 0), 4294967296u);
    EXPECT_EQ(srl_hop_distance(100, 0), 10u);
    EXPECT_EQ(srl_hop_distance(kAllOnes, kAllOnes - 16), 4u);
}

// Inputs where roots go wrong: around perfect squares, powers of two, the
// float rounding steps near 2^24 and above, and the top of the range.
std::vector<uint64_t> root_edge_inputs() {
    std::vector<uint64_t> out;
    std::mt19937_64 rng(9);
    for (uint64_t r : {uint64_t{1}, uint64_t{2}, uint64_t{3}, uint64_t{4095}, uint64_t{4096}, uint64_t{46340},
                       uint64_t{16777215}, uint64_t{16777216}, uint64_t{3037000499}, uint64_t{4294967295}}) {
        for (uint64_t delta : {uint64_t{0}, uint64_t{1}, uint64_t{2}}) {
            out.push_back(r * r + delta);
            out.push_back(r * r - delta);
        }
        out.push_back(r * r + 2 * r);  // (r + 1)^2 - 1
    }
    for (int bit = 0; bit < 64; ++bit) {
        out.push_back(uint64_t{1} << bit);
        out.push_back((uint64_t{1} << bit) - 1);
    }
    for (int i = 0; i < 20000; ++i) {
        uint64_t r = rng() >> (rng() % 64);
        out.push_back(r);
        uint64_t s = r >> 32;
        out.push_back(s * s + (rng() % 3));
    }
    return out;
}

TEST(Roots, AgreeWithTheLiteralRoots) {
    for (uint64_t n : root_edge_inputs()) {
        ASSERT_EQ(srl_sqrt(n), zel_oracle::single_precision_root(n)) << n;
        ASSERT_EQ(zel::exact_integer_root(n), zel_oracle::newton_root(n)) << n;
        const uint64_t r = zel::exact_integer_root(n);
        // Largest r with r * r <= n, checked without overflow.
        ASSERT_LE(r, n / (r ? r : 1)) << n;
        ASSERT_TRUE(r == 4294967295u || (r + 1) * (r + 1) > n) << n;
    }
    EXPECT_EQ(zel_oracle::newton_root(kAllOnes), 4294967295u);
    EXPECT_EQ(zel::exact_integer_root(kAllOnes), 4294967295u);
    EXPECT_EQ(zel::exact_integer_root(16785407), 4096u);
    EXPECT_EQ(zel::exact_integer_root((uint64_t{1} << 48) - 1), 16777215u);
    for (int32_t n : {2, 3, 1000, 2147395599, 2147483647}) {
        EXPECT_EQ(static_cast<uint64_t>(srl_isqrt(n)), zel_oracle::single_precision_root(static_cast<uint64_t>(n)));
    }
}

}  // namespace
