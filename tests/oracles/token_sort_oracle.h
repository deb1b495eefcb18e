// The literal unit sort: qsort with a three-way unsigned key comparison.
#pragma once

#include <cstddef>

#include "zel_unit.h"

namespace zel_oracle {

// -1, 0 or 1 by the keys of two zel_token_t, compared unsigned.
int compare_tokens_morton(const void* a, const void* b);

void sort_tokens(zel_token_t* tokens, std::size_t count);

}  // namespace zel_oracle
