// Ordering of token arrays by ascending spatial key.
#pragma once

#include <cstdint>

#include "zel_unit.h"

namespace zel {

// qsort-style comparison of two zel_token_t by their keys as unsigned 64-bit
// values: -1, 0 or 1.
int compare_tokens_morton(const void* a, const void* b);

// Sorts tokens[0, count) by ascending key, equal keys in no promised order.
// Large arrays are radix-sorted through a second array; when that cannot be
// allocated, or for small arrays, a comparison sort runs in place. Never fails.
void sort_tokens_by_morton(zel_token_t* tokens, std::uint32_t count);

}  // namespace zel
