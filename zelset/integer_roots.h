// The integer roots behind the hop distance, inline for the nearest query.
#pragma once

#include <cmath>
#include <cstdint>

namespace zel {

// |a - b| without overflow.
inline std::uint64_t key_difference(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// n rounded to the nearest float, its float root truncated: can exceed the
// exact root by one (2^48 - 1 gives 2^24). Conversion of a u64 of 2^63 or more
// is exact-to-nearest as unsigned.
inline std::uint64_t single_precision_root(std::uint64_t n) {
    return static_cast<std::uint64_t>(std::sqrt(static_cast<float>(n)));
}

// The largest r with r * r <= n. A double root lies within one of it for
// every 64-bit n; the two loops step onto it, kept below 2^32 so that no
// square overflows.
inline std::uint64_t exact_integer_root(std::uint64_t n) {
    constexpr std::uint64_t kLargestRoot = 0xFFFFFFFFu;  // root of 2^64 - 1
    std::uint64_t r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
    if (r > kLargestRoot) r = kLargestRoot;
    while (r * r > n) --r;
    while (r < kLargestRoot && (r + 1) * (r + 1) <= n) ++r;
    return r;
}

// The hop distance of this library's nearest query: the exact root in
// zelset_next, the single-precision root in zelset.
inline std::uint64_t query_hop_distance(std::uint64_t difference) {
#ifdef ZELSET_NEXT
    return exact_integer_root(difference);
#else
    return single_precision_root(difference);
#endif
}

}  // namespace zel
