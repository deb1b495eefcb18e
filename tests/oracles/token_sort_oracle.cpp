#include "oracles/token_sort_oracle.h"

#include <cstdlib>

namespace zel_oracle {

int compare_tokens_morton(const void* a, const void* b) {
    const zel_token_t* ta = static_cast<const zel_token_t*>(a);
    const zel_token_t* tb = static_cast<const zel_token_t*>(b);
    if (ta->morton < tb->morton) return -1;
    if (ta->morton > tb->morton) return 1;
    return 0;
}

void sort_tokens(zel_token_t* tokens, std::size_t count) {
    if (count == 0) return;  // qsort takes no null array, even empty
    std::qsort(tokens, count, sizeof(zel_token_t), compare_tokens_morton);
}

}  // namespace zel_oracle
