// Literal versions of the mesh invariant checks over n values, one value at a
// time in order, and the plain finiteness loop they amount to.
#pragma once

#include <cstddef>

namespace zel_oracle {

// One running double sum of |v - v|, each difference in single; 1 when it is 0.
int p_minus_p_literal(const float* v, std::size_t n);
// Counts non-zero values and those with v / v == 1; 1 when the counts agree.
int p_div_p_literal(const float* v, std::size_t n);
// p minus p, and p divided by p only when it held.
int static_valid_literal(const float* v, std::size_t n);
// true when std::isfinite holds for every value; stops at the first that fails.
bool all_finite(const float* v, std::size_t n);

}  // namespace zel_oracle
