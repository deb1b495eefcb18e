// Algebraic invariants of vertex positions (p - p = 0, p / p = 1) and the
// coherence of a bounding box.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "zel_mesh_checks.h"

namespace zel {
namespace {

// Every term of the p minus p sum is 0 (finite v) or NaN, so the order of the
// additions cannot change the outcome: eight partial sums let the loop run
// several values at a time.
bool p_minus_p_holds(const float* v, std::size_t n) {
    constexpr std::size_t kLanes = 8;
    double sum[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            const float d = v[i + j] - v[i + j];
            sum[j] += std::fabs(static_cast<double>(d));
        }
    }
    for (; i < n; ++i) {
        const float d = v[i] - v[i];
        sum[0] += std::fabs(static_cast<double>(d));
    }
    double total = 0.0;
    for (double part : sum) total += part;
    return total == 0.0;  // false for NaN
}

// The count of non-zero values equals the count of those whose quotient by
// itself is exactly 1 when no non-zero value misses. Zeros are replaced by 1
// before dividing instead of being branched around, so that the loop
// vectorises and no 0 / 0 is computed; the zero test stays a floating-point
// comparison (a NaN is not zero). 1.0 is the only value with the bits of 1.0.
bool p_div_p_holds(const float* v, std::size_t n) {
    constexpr std::uint32_t kOneBits = 0x3F800000;
    std::uint32_t misses = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t keep = 0u - static_cast<std::uint32_t>(v[i] != 0.0f);
        const float p = std::bit_cast<float>((std::bit_cast<std::uint32_t>(v[i]) & keep) | (kOneBits & ~keep));
        misses |= std::bit_cast<std::uint32_t>(p / p) ^ kOneBits;
    }
    return misses == 0;
}

// Extents of one box axis; not greater than 0, or NaN, becomes 1.
float extent(float min, float max) {
    float e = max - min;
    return e > 0.0f ? e : 1.0f;
}

// Larger minus smaller; equal extents, two infinities included, differ by 0.
float spread(float a, float b) {
    if (a > b) return a - b;
    if (b > a) return b - a;
    return 0.0f;
}

float coherence(float min_x, float min_y, float min_z, float max_x, float max_y, float max_z) {
    float ex = extent(min_x, max_x);
    float ey = extent(min_y, max_y);
    float ez = extent(min_z, max_z);
    float s = ((spread(ex, ey) + 1.0f) + spread(ey, ez)) + spread(ez, ex);
    return 1.0f / s;
}

// Once p minus p holds, every value is finite, and p divided by p cannot fail:
// a finite non-zero v gives v / v == 1 exactly in every rounding mode, and a
// subnormal that denormals-are-zero reads as 0 also compares equal to 0 and
// is skipped. So its pass, a division per value, is left out.
bool static_valid(const float* v, std::size_t n) { return p_minus_p_holds(v, n); }

// A null array or no vertices passes every check.
bool passes(bool (*check)(const float*, std::size_t), const float* positions, std::uint32_t count) {
    return !positions || count == 0 || check(positions, std::size_t{count} * 3);
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API int zel_mesh_verify_p_minus_p(const float* positions, uint32_t count) {
    return zel::passes(zel::p_minus_p_holds, positions, count) ? 1 : 0;
}

ZEL_API int zel_mesh_verify_p_div_p(const float* positions, uint32_t count) {
    return zel::passes(zel::p_div_p_holds, positions, count) ? 1 : 0;
}

ZEL_API float zel_mesh_bounds_coherence(float min_x, float min_y, float min_z, float max_x, float max_y,
                                        float max_z) {
    return zel::coherence(min_x, min_y, min_z, max_x, max_y, max_z);
}

ZEL_API int zel_mesh_verify_identity(const float* positions, uint32_t count, float min_x, float min_y,
                                     float min_z, float max_x, float max_y, float max_z,
                                     zel_mesh_identity_report_t* report) {
    if (!report) return -1;
    report->vertex_count = count;
    bool minus_ok = zel::passes(zel::p_minus_p_holds, positions, count);
    bool div_ok = zel::passes(zel::p_div_p_holds, positions, count);
    report->p_minus_p_ok = minus_ok ? 1u : 0u;
    report->p_div_p_ok = div_ok ? 1u : 0u;
    report->identity_ok = (minus_ok && div_ok) ? 1u : 0u;
    report->coherence = zel::coherence(min_x, min_y, min_z, max_x, max_y, max_z);
    report->checked_at = zel::time_now();
    return static_cast<int>(report->identity_ok);
}

ZEL_API int zel_mesh_is_static_valid(const float* positions, uint32_t count) {
    return zel::passes(zel::static_valid, positions, count) ? 1 : 0;
}

}  // extern "C"
