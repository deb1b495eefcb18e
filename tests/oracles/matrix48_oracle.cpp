#include "oracles/matrix48_oracle.h"

#include <cmath>

namespace zel_oracle {
namespace {

float single(double v) { return static_cast<float>(v); }
float add(float a, float b) { return single(double(a) + double(b)); }
float sub(float a, float b) { return single(double(a) - double(b)); }
float mul(float a, float b) { return single(double(a) * double(b)); }
float div(float a, float b) { return single(double(a) / double(b)); }
float root(float a) { return single(std::sqrt(double(a))); }

}  // namespace

std::uint64_t morton_bit_loop(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    std::uint64_t code = 0;
    for (int bit = 0; bit < 6; ++bit) {
        code |= std::uint64_t{(x >> bit) & 1u} << (3 * bit);
        code |= std::uint64_t{(y >> bit) & 1u} << (3 * bit + 1);
        code |= std::uint64_t{(z >> bit) & 1u} << (3 * bit + 2);
    }
    return code;
}

float m48_corner_distance() { return single(std::sqrt(3.0) * 23.5); }
float m48_phi() { return single((1.0 + std::sqrt(5.0)) / 2.0); }
float m48_phi_squared() {
    double phi = (1.0 + std::sqrt(5.0)) / 2.0;
    return single(phi + 1.0);  // phi^2 = phi + 1
}
double m48_coupling_factor() { return 10.665754185164001; }
float m48_root_guard() { return 0.001f; }

float m48_phi_norm(std::uint8_t x, std::uint8_t y, std::uint8_t z) {
    float dx = single(double(x) - 23.5), dy = single(double(y) - 23.5), dz = single(double(z) - 23.5);
    float sum = add(add(mul(dx, dx), mul(dy, dy)), mul(dz, dz));
    return mul(div(root(sum), m48_corner_distance()), m48_phi());
}

float m48_coupling(float phi_norm) {
    float t = add(div(phi_norm, 48.0f), 1.0f);
    return single(double(t) * m48_coupling_factor());
}

float m48_phi_blend(float a_phi_norm, float b_phi_norm) {
    return div(add(mul(a_phi_norm, m48_phi()), b_phi_norm), m48_phi_squared());
}

void m48_golden_step(const std::uint8_t a[3], const std::uint8_t b[3], std::uint8_t out[3]) {
    float m[3], d[3];
    for (int i = 0; i < 3; ++i) {
        m[i] = mul(float(a[i] + b[i]), 0.5f);
        d[i] = sub(m[i], 23.5f);
    }
    float length = add(root(add(add(mul(d[0], d[0]), mul(d[1], d[1])), mul(d[2], d[2]))), m48_root_guard());
    float s = div(m48_phi(), length);
    for (int i = 0; i < 3; ++i) {
        double moved = std::trunc(double(add(mul(d[i], s), m[i])));
        double wrapped = std::fmod(moved, 48.0);  // sign of the dividend
        out[i] = static_cast<std::uint8_t>(static_cast<int>(wrapped) & 0xFF);
    }
}

}  // namespace zel_oracle
