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

// A unit made by zelset_create from the given keys, in their order, with
// distinct ids.
struct BenchUnit {
    zelset_t unit{};
    std::vector<uint64_t> mortons, ids;
    bool ok = false;

    BenchUnit(std::vector<uint64_t> keys, uint32_t seed) : mortons(std::move(keys)), ids(mortons.size()) {
        for (size_t i = 0; i < ids.size(); ++i) {
            // An odd multiplier permutes the 32-bit numbers: distinct ids.
            char text[16];
            std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(i * 2654435761u + seed));
            std::memcpy(&ids[i], text, 8);
        }
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
