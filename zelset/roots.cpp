#include "zel_roots.h"

#include "integer_roots.h"

extern "C" {

ZEL_ROOTS_API uint64_t srl_sqrt(uint64_t n) { return zel::single_precision_root(n); }

ZEL_ROOTS_API int32_t srl_isqrt(int32_t n) {
    if (n <= 0) return 0;
    // At most 46,340 for n = 2^31 - 1: the cast back cannot overflow.
    return static_cast<int32_t>(zel::single_precision_root(static_cast<uint64_t>(n)));
}

ZEL_ROOTS_API int32_t srl_bounded_sqrt(int32_t n, int32_t lo, int32_t hi) {
    int32_t s = srl_isqrt(n);
    if (lo > s) return lo;
    return s < hi ? s : hi;
}

ZEL_ROOTS_API uint64_t srl_hop_distance(uint64_t a, uint64_t b) {
    return zel::single_precision_root(zel::key_difference(a, b));
}

}  // extern "C"
