// The two hop distances, written out literally: test oracles for the roots.
#pragma once

#include <cstdint>

namespace zel_oracle {

// 0 gives 0, 1 gives 1, otherwise the float root of n (n rounded to the nearest
// float) truncated toward zero.
std::uint64_t single_precision_root(std::uint64_t n);

// The exact integer root by integer Newton steps from x = n, while the step
// (x + n / x) / 2 goes down. The step is summed as q + (x - q) / 2 with
// q = n / x, the same value without the overflow of x + q near 2^64.
std::uint64_t newton_root(std::uint64_t n);

}  // namespace zel_oracle
