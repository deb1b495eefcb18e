// The nearest query as first written: a working list re-sorted with qsort
// after every insertion. Oracle for the differential tests and baseline of the
// benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zel_unit.h"

namespace zel_oracle {

using RootFunction = std::uint64_t (*)(std::uint64_t);

struct NearestResults {
    std::vector<std::uint32_t> indices;
    std::vector<std::uint64_t> distances;
};

// Up to k nearest of tokens[0, count) to target, distance root(|key - target|),
// written to indices and distances (min(k, count) elements); returns how many.
// The threshold worst * worst saturates at 2^64 - 1, as the library's does.
std::int32_t query_nearest_into(const zel_token_t* tokens, std::uint32_t count, std::uint64_t target,
                                std::int32_t k, RootFunction root, std::uint32_t* indices,
                                std::uint64_t* distances);

// The same, answered in vectors.
NearestResults query_nearest(const zel_token_t* tokens, std::uint32_t count, std::uint64_t target,
                             std::int32_t k, RootFunction root);

// Whether two answers agree as far as the query promises: the same distances
// in the same (ascending) order, and, for every distance below the largest
// one, the same set of positions. Of the results tied at the largest distance
// either answer may have kept any. On disagreement, why describes it.
bool nearest_results_agree(const NearestResults& a, const NearestResults& b, std::string* why = nullptr);

}  // namespace zel_oracle
