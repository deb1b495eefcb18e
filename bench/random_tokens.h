// Token fields drawn from one fixed random sequence, so that the benchmarks
// that build units work on the same tokens.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

struct RandomTokens {
    std::vector<std::uint64_t> mortons, ids, signatures;
    std::vector<std::uint8_t> layers;

    explicit RandomTokens(std::uint32_t count) : mortons(count), ids(count), signatures(count), layers(count) {
        std::mt19937_64 rng(42);
        for (std::uint32_t i = 0; i < count; ++i) {
            mortons[i] = rng();
            ids[i] = rng();
            signatures[i] = rng();
            layers[i] = static_cast<std::uint8_t>(rng());
        }
    }
};
