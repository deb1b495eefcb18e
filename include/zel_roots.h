/* Integer roots and the hop distance between spatial keys, all computed
 * through single precision: the integer is rounded to the nearest float, its
 * float square root (correctly rounded) is truncated toward zero. Rounding
 * twice to nearest can give one more than the exact integer root for large
 * inputs: srl_sqrt(2^48 - 1) is 16,777,216 where the exact root is 16,777,215.
 *
 * Exported by zelset only: zelset_next does not export them, and its nearest
 * query measures distance with the exact integer root instead. */
#ifndef ZEL_ROOTS_H
#define ZEL_ROOTS_H

#include "zel_api.h"

/* ZELSET_NEXT is defined when building zelset_next, where these functions stay
 * internal. */
#if defined(ZELSET_NEXT)
#define ZEL_ROOTS_API
#else
#define ZEL_ROOTS_API ZEL_API
#endif

ZEL_EXTERN_C_BEGIN

/* Single-precision root of n (0 gives 0, 1 gives 1); at most 4,294,967,296,
 * for n = 2^64 - 1. */
ZEL_ROOTS_API uint64_t srl_sqrt(uint64_t n);

/* Single-precision root of n; 0 for n <= 0. srl_isqrt(2,147,483,647) is 46,340. */
ZEL_ROOTS_API int32_t srl_isqrt(int32_t n);

/* s = srl_isqrt(n), clamped: lo when lo > s, otherwise the smaller of s and hi.
 * The lower bound is tested first, so with lo > hi and s >= lo the result is hi. */
ZEL_ROOTS_API int32_t srl_bounded_sqrt(int32_t n, int32_t lo, int32_t hi);

/* srl_sqrt of |a - b|, the difference taken without overflow. */
ZEL_ROOTS_API uint64_t srl_hop_distance(uint64_t a, uint64_t b);

ZEL_EXTERN_C_END

#endif /* ZEL_ROOTS_H */
