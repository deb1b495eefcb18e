#include "oracles/root_oracles.h"

#include <cmath>

namespace zel_oracle {

std::uint64_t single_precision_root(std::uint64_t n) {
    if (n == 0) return 0;
    if (n == 1) return 1;
    float f = static_cast<float>(n);
    return static_cast<std::uint64_t>(sqrtf(f));
}

std::uint64_t newton_root(std::uint64_t n) {
    if (n < 2) return n;
    std::uint64_t x = n;
    for (;;) {
        std::uint64_t q = n / x;
        if (q >= x) return x;  // (x + q) / 2 >= x: no step down
        std::uint64_t step = q + (x - q) / 2;
        if (step >= x) return x;
        x = step;
    }
}

}  // namespace zel_oracle
