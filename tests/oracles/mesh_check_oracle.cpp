#include "oracles/mesh_check_oracle.h"

#include <cmath>
#include <cstdint>

namespace zel_oracle {

int p_minus_p_literal(const float* v, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        float d = v[i] - v[i];
        sum += std::fabs(double(d));
    }
    return (sum == 0.0 && !std::isnan(sum)) ? 1 : 0;
}

int p_div_p_literal(const float* v, std::size_t n) {
    std::uint64_t non_zero = 0, ones = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (v[i] == 0.0f) continue;
        ++non_zero;
        if (v[i] / v[i] == 1.0f) ++ones;
    }
    return (non_zero == 0 || non_zero == ones) ? 1 : 0;
}

int static_valid_literal(const float* v, std::size_t n) {
    if (!p_minus_p_literal(v, n)) return 0;
    return p_div_p_literal(v, n);
}

bool all_finite(const float* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) return false;
    }
    return true;
}

}  // namespace zel_oracle
