#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <cfenv>
#include <limits>
#include <random>
#include <vector>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "oracles/mesh_check_oracle.h"
#include "zelset.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }
float from_bits(uint32_t b) { return std::bit_cast<float>(b); }

uint32_t vertices(const std::vector<float>& v) { return static_cast<uint32_t>(v.size() / 3); }

// The three algebraic checks as one triple, compared at once.
struct Checks {
    int minus, div, valid;
    bool operator==(const Checks&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Checks& c) {
    return os << '{' << c.minus << ", " << c.div << ", " << c.valid << '}';
}
Checks run_checks(const float* p, uint32_t count) {
    return {zel_mesh_verify_p_minus_p(p, count), zel_mesh_verify_p_div_p(p, count), zel_mesh_is_static_valid(p, count)};
}
Checks run_checks(const std::vector<float>& v) { return run_checks(v.data(), vertices(v)); }
const Checks kPass{1, 1, 1}, kFail{0, 0, 0};

zel_mesh_identity_report_t sentinel_report() {
    zel_mesh_identity_report_t r;
    std::memset(&r, 0x5A, sizeof r);
    return r;
}

TEST(MeshChecks, FiniteValuesOfEveryKindPass) {
    EXPECT_EQ(run_checks({0, 0, 0, 1.5f, -2, 1e30f}), kPass);
    EXPECT_EQ(run_checks({0.0f, -0.0f, 0.0f, -0.0f, -0.0f, 0.0f}), kPass);  // nothing to divide
    EXPECT_EQ(run_checks({1e-40f, 0, 0}), kPass);                          // subnormal: v / v is exactly 1
    EXPECT_EQ(run_checks({from_bits(1), from_bits(0x80000001), FLT_MIN, -FLT_MAX, FLT_MAX, -FLT_MIN}), kPass);
}

TEST(MeshChecks, AnInfinityOrNaNAnywhereFailsBoth) {
    const float bad[] = {kInf, -kInf, kNaN, -kNaN, from_bits(0x7F800001) /* signalling */, from_bits(0xFFFFFFFF)};
    for (float b : bad) {
        for (size_t at = 0; at < 6; ++at) {
            std::vector<float> v = {0, 0, 0, 1.5f, -2, 1e30f};
            v[at] = b;
            EXPECT_EQ(run_checks(v), kFail) << std::hex << bits(b) << " at " << at;
        }
    }
    // A lone NaN among zeros is a non-zero value whose quotient is not 1.
    EXPECT_EQ(run_checks({0, -0.0f, kNaN}), kFail);
}

TEST(MeshChecks, NullOrEmptyPasses) {
    EXPECT_EQ(run_checks(nullptr, 5), kPass);
    const float nan3[3] = {kNaN, kNaN, kNaN};
    EXPECT_EQ(run_checks(nan3, 0), kPass);  // no vertex, nothing examined
    EXPECT_EQ(run_checks(nan3, 1), kFail);

    zel_mesh_identity_report_t r = sentinel_report();
    EXPECT_EQ(zel_mesh_verify_identity(nullptr, 5, 0, 0, 0, 1, 1, 1, &r), 1);
    EXPECT_EQ(r.p_minus_p_ok, 1u);
    EXPECT_EQ(r.p_div_p_ok, 1u);
    EXPECT_EQ(r.identity_ok, 1u);
    EXPECT_EQ(r.vertex_count, 5u);
}

TEST(MeshChecks, OnlyTheGivenVerticesAreExamined) {
    // Three vertices followed by a NaN that lies past the count.
    const float v[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, kNaN};
    EXPECT_EQ(run_checks(v, 3), kPass);
    EXPECT_EQ(run_checks(v + 1, 3), kFail);
}

// Runs the three checks and their literal versions on copies of random finite
// positions with one special value placed at chosen places; every count of
// values modulo the unrolling by 8 occurs.
void expect_agreement_with_literal_checks() {
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> coord(-1e6f, 1e6f);
    const float specials[] = {kInf, -kInf, kNaN, 0.0f, -0.0f, 1e-40f, from_bits(1)};
    for (uint32_t count = 1; count <= 11; ++count) {
        const size_t n = size_t{count} * 3;
        std::vector<float> v(n);
        for (float& f : v) f = coord(rng);
        for (float s : specials) {
            for (size_t at : {size_t{0}, n - 1, n / 2, n & ~size_t{7}}) {
                if (at >= n) continue;
                std::vector<float> w = v;
                w[at] = s;
                const Checks expected{zel_oracle::p_minus_p_literal(w.data(), n), zel_oracle::p_div_p_literal(w.data(), n),
                                      zel_oracle::static_valid_literal(w.data(), n)};
                ASSERT_EQ(run_checks(w), expected) << count << " vertices, " << bits(s) << " at " << at;
            }
        }
    }
}

TEST(MeshChecks, UnrolledLoopsAgreeWithTheLiteralChecks) {
    expect_agreement_with_literal_checks();
    // In the default environment the checks amount to finiteness.
    std::vector<float> v = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_TRUE(zel_oracle::all_finite(v.data(), v.size()));
    EXPECT_EQ(run_checks(v), kPass);
}

// The floating-point environment of the calling thread, restored on exit.
class FloatEnvironment {
public:
    FloatEnvironment() { std::fegetenv(&saved_); }
    ~FloatEnvironment() { std::fesetenv(&saved_); }
    FloatEnvironment(const FloatEnvironment&) = delete;
    FloatEnvironment& operator=(const FloatEnvironment&) = delete;

private:
    std::fenv_t saved_;
};

TEST(MeshChecks, AgreeWithTheLiteralChecksInEveryRoundingMode) {
    // Hosts may call with another rounding mode (v - v is then -0 when rounding
    // down) or with denormals read and written as zero.
    for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
        SCOPED_TRACE(mode);
        FloatEnvironment restore;
        ASSERT_EQ(std::fesetround(mode), 0);
        expect_agreement_with_literal_checks();
    }
#if defined(__SSE__) || defined(_M_X64)
    FloatEnvironment restore;
    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush-to-zero and denormals-are-zero
    expect_agreement_with_literal_checks();
    EXPECT_EQ(run_checks({1e-40f, 0, 0}), kPass);  // read as 0, then skipped by p / p
#endif
}

TEST(MeshBounds, CoherenceValues) {
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, 1, 1, 1)), bits(1.0f));
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, 2, 1, 1)), 0x3EAAAAABu);  // nearest single to 1/3
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(5, 5, 5, 5, 5, 5)), bits(1.0f));   // all extents become 1
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, 3, -1, 1)), 0x3E4CCCCDu); // s = 5: 0.2
    // Extents 4, 2, 1: s = (2 + 1) + 1 + 3 = 7.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, 4, 2, 1)), bits(1.0f / 7.0f));
    // Extents 0.5, 1 (from -1), 0.25: s = (0.5 + 1) + 0.75 + 0.25 = 2.5, 1 / 2.5 = 0.4.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 3, 0, 0.5f, 2, 0.25f)), 0x3ECCCCCDu);
    // The sum is in single: with ex = 2^24 + 2 and ey = ez = 1, both differences
    // 2^24 + 1 round (to even) to 2^24, adding 1 rounds back to 2^24, so s = 2^25
    // exactly; in double s would be 2^25 + 3 and 1 / s one step below 2^-25.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, 16777218.0f, 1, 1)), 0x33000000u);
    // Each extent is one single subtraction: 1e8 - (-1) rounds back to 1e8.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(-1, 0, 0, 1e8f, 1e8f, 1e8f)), bits(1.0f));
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, -0.0f, -0.0f, -0.0f)), bits(1.0f));
}

TEST(MeshBounds, NaNExtentsCountAsOneAndInfinitiesNeverGiveNaN) {
    // A NaN extent is not greater than 0, so it becomes 1 like a flat one.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(kNaN, 0, 0, 2, 1, 1)), bits(1.0f));
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, kNaN, 2, 1)), 0x3EAAAAABu);  // extents 1, 2, 1
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(kNaN, kNaN, kNaN, kNaN, kNaN, kNaN)), bits(1.0f));
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(kInf, 0, 0, kInf, 1, 1)), bits(1.0f));  // inf - inf is NaN: 1
    // An infinite extent beside finite ones: s is infinite, coherence 0.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(-kInf, 0, 0, kInf, 1, 1)), bits(0.0f));
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(-FLT_MAX, 0, 0, FLT_MAX, 1, 1)), bits(0.0f));  // extent overflows
    // Infinite on every axis: the extents are equal, coherence 1.
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(-kInf, -kInf, -kInf, kInf, kInf, kInf)), bits(1.0f));
    EXPECT_EQ(bits(zel_mesh_bounds_coherence(0, 0, 0, kInf, kInf, 1)), bits(0.0f));

    // Every combination of special bounds lands in [0, 1].
    const float values[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 1.0f, -1.0f, FLT_MAX, -FLT_MAX, 1e-40f};
    for (float a : values)
        for (float b : values)
            for (float c : values)
                for (float d : values)
                    for (float e : values)
                        for (float f : values) {
                            float k = zel_mesh_bounds_coherence(a, b, c, d, e, f);
                            ASSERT_TRUE(k >= 0.0f && k <= 1.0f) << a << ' ' << b << ' ' << c << ' ' << d << ' '
                                                                << e << ' ' << f << " -> " << k;
                        }
}

TEST(MeshIdentity, FillsTheWholeReport) {
    const std::vector<float> good = {0, 0, 0, 1.5f, -2, 1e30f};
    zel_mesh_identity_report_t r = sentinel_report();
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(zel_mesh_verify_identity(good.data(), 2, 0, 0, 0, 2, 1, 1, &r), 1);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(r.p_minus_p_ok, 1u);
    EXPECT_EQ(r.p_div_p_ok, 1u);
    EXPECT_EQ(r.identity_ok, 1u);
    EXPECT_EQ(bits(r.coherence), 0x3EAAAAABu);  // the bounds need not be the positions' box
    EXPECT_EQ(r.vertex_count, 2u);
    EXPECT_GE(r.checked_at, int64_t{before});
    EXPECT_LE(r.checked_at, int64_t{after});

    std::vector<float> bad = good;
    bad[4] = kInf;
    r = sentinel_report();
    EXPECT_EQ(zel_mesh_verify_identity(bad.data(), 2, 0, 0, 0, 1, 1, 1, &r), 0);
    EXPECT_EQ(r.p_minus_p_ok, 0u);
    EXPECT_EQ(r.p_div_p_ok, 0u);  // run even though p minus p failed
    EXPECT_EQ(r.identity_ok, 0u);
    EXPECT_EQ(bits(r.coherence), bits(1.0f));
    EXPECT_EQ(r.vertex_count, 2u);
    EXPECT_NE(r.checked_at, int64_t{0x5A5A5A5A5A5A5A5A});

    // The count is widened whole.
    r = sentinel_report();
    EXPECT_EQ(zel_mesh_verify_identity(nullptr, UINT32_MAX, kNaN, 0, 0, 1, 1, 1, &r), 1);
    EXPECT_EQ(r.vertex_count, uint64_t{UINT32_MAX});
    EXPECT_EQ(bits(r.coherence), bits(1.0f));
}

TEST(MeshIdentity, NullReportIsRefused) {
    const float v[3] = {1, 2, 3};
    EXPECT_EQ(zel_mesh_verify_identity(v, 1, 0, 0, 0, 1, 1, 1, nullptr), -1);
    EXPECT_EQ(zel_mesh_verify_identity(nullptr, 0, 0, 0, 0, 1, 1, 1, nullptr), -1);
}

}  // namespace
