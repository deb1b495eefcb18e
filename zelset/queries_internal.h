// Pieces of the nearest query that tests reach directly.
#pragma once

#include <cstdint>

#include "zel_unit.h"

namespace zel {

// qsort-style order of two zel_search_result_t by distance as unsigned 64-bit
// values: -1, 0 or 1.
int compare_search_results(const void* a, const void* b);

// worst * worst, saturated at 2^64 - 1 instead of wrapping.
std::uint64_t saturating_square(std::uint64_t worst);

}  // namespace zel
