// Units for the query benchmarks: distinct random keys, ids of 8 uppercase
// hexadecimal digits as tokens made from meshes carry, and a processor-time
// clock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "zelset.h"

// Processor time of the process rather than wall time: the machine is shared
// with other builds, whose time must not count against either side.
inline double cpu_now() { return double(std::clock()) / CLOCKS_PER_SEC; }
inline double seconds_since(double t0) { return cpu_now() - t0; }

// The id word of token i: 8 uppercase hexadecimal digits of a number that an
// odd multiplier makes distinct for every i below 2^32.
inline uint64_t bench_id(uint32_t i, uint32_t seed) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", i * 2654435761u + seed);
    uint64_t word;
    std::memcpy(&word, text, 8);
    return word;
}

// A unit made by zelset_create from the given keys, in their order, with
// distinct ids.
struct BenchUnit {
    zelset_t unit{};
    std::vector<uint64_t> mortons, ids;
    uint32_t seed;
    bool ok = false;

    BenchUnit(std::vector<uint64_t> keys, uint32_t id_seed)
        : mortons(std::move(keys)), ids(mortons.size()), seed(id_seed) {
        for (size_t i = 0; i < ids.size(); ++i) ids[i] = bench_id(static_cast<uint32_t>(i), seed);
        std::vector<uint64_t> sigs(mortons.size(), 0);
        std::vector<uint8_t> layers(mortons.size(), 0);
        ok = zelset_create(&unit, static_cast<uint32_t>(mortons.size()), mortons.data(), ids.data(), sigs.data(),
                           layers.data()) == 0;
    }
    ~BenchUnit() { zelset_free(&unit); }
    BenchUnit(const BenchUnit&) = delete;
    BenchUnit& operator=(const BenchUnit&) = delete;
};

// n distinct random keys in random order.
inline std::vector<uint64_t> distinct_random_keys(uint32_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> keys(n);
    for (uint64_t& k : keys) k = rng();
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    while (keys.size() < n) keys.push_back(keys.back() + 1);
    std::shuffle(keys.begin(), keys.end(), rng);
    return keys;
}
