// Lookups of every token of a unit of 1,000,000 or 10,000,000 tokens, in
// shuffled order, by key and by id: one call per lookup, one bulk call for all
// of them, and std::unordered_map::find on the same words. The three answers
// are checked against each other.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "bench_unit.h"
#include "zelset.h"

namespace {

const BenchUnit& unit_of(uint32_t tokens) {
    static std::unique_ptr<BenchUnit> million, ten_million;
    std::unique_ptr<BenchUnit>& slot = tokens == 1'000'000 ? million : ten_million;
    if (!slot) slot = std::make_unique<BenchUnit>(distinct_random_keys(tokens, tokens), 2);
    return *slot;
}

// What the unit must answer for a word the map holds at `position`: tokens
// past the first ZEL_HASH_BUCKETS have no index entry.
int32_t expected_position(uint32_t position) {
    return position < ZEL_HASH_BUCKETS ? static_cast<int32_t>(position) : -1;
}

void lookups_against_map(benchmark::State& state, bool by_id) {
    const BenchUnit& bench = unit_of(static_cast<uint32_t>(state.range(0)));
    if (!bench.ok) return state.SkipWithError("zelset_create failed");
    const std::vector<uint64_t>& words = by_id ? bench.ids : bench.mortons;
    std::unordered_map<uint64_t, uint32_t> map;
    map.reserve(words.size());
    for (uint32_t i = 0; i < words.size(); ++i) map.emplace(words[i], i);
    std::vector<uint64_t> queries = words;
    std::shuffle(queries.begin(), queries.end(), std::mt19937_64(3));
    const auto n = static_cast<uint32_t>(queries.size());

    std::vector<int32_t> single(n), bulk(n), from_map(n);
    double single_s = 0, bulk_s = 0, map_s = 0;
    for (auto _ : state) {
        double t0 = cpu_now();
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t& q = queries[i];
            single[i] = by_id ? zelset_lookup_hex(&bench.unit, reinterpret_cast<const char*>(&q))
                              : zelset_lookup_morton(&bench.unit, q);
        }
        single_s += seconds_since(t0);
        t0 = cpu_now();
        if (by_id) {
            zelset_lookup_hex_many(&bench.unit, queries.data(), n, bulk.data());
        } else {
            zelset_lookup_morton_many(&bench.unit, queries.data(), n, bulk.data());
        }
        bulk_s += seconds_since(t0);
        t0 = cpu_now();
        for (uint32_t i = 0; i < n; ++i) {
            auto it = map.find(queries[i]);
            from_map[i] = it == map.end() ? -1 : static_cast<int32_t>(it->second);
        }
        map_s += seconds_since(t0);
        benchmark::ClobberMemory();
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (single[i] != bulk[i]) return state.SkipWithError("bulk lookups differ from single ones");
        if (single[i] != expected_position(static_cast<uint32_t>(from_map[i]))) {
            return state.SkipWithError("lookups disagree with the map");
        }
    }
    const double lookups = double(n) * double(state.iterations());
    state.counters["single_Mlookups/s"] = lookups / single_s / 1e6;
    state.counters["bulk_Mlookups/s"] = lookups / bulk_s / 1e6;
    state.counters["map_Mlookups/s"] = lookups / map_s / 1e6;
    state.counters["single/map_speed"] = map_s / single_s;
    state.counters["bulk/map_speed"] = map_s / bulk_s;
}

void BM_LookupByKey(benchmark::State& state) { lookups_against_map(state, false); }
void BM_LookupById(benchmark::State& state) { lookups_against_map(state, true); }
BENCHMARK(BM_LookupByKey)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LookupById)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
