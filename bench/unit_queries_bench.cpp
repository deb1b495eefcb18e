// Lookups on a unit of 1,000,000 tokens against std::unordered_map::find on
// the same keys, and the nearest query on 10,000,000 sorted keys against the
// literal re-sort-after-every-insertion list (with a check that both answer
// alike).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "oracles/nearest_oracle.h"
#include "oracles/root_oracles.h"
#include "zelset.h"

namespace {

// Processor time of the process rather than wall time: the machine is shared
// with other builds, whose time must not count against either side.
double cpu_now() { return double(std::clock()) / CLOCKS_PER_SEC; }
double seconds_since(double t0) { return cpu_now() - t0; }

// A unit of count tokens with the given keys and distinct ids of 8 uppercase
// hexadecimal digits, as tokens made from meshes carry.
struct BenchUnit {
    zelset_t unit{};
    std::vector<uint64_t> mortons, ids;
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
    bool ok = false;
};

constexpr uint32_t kLookupTokens = 1'000'000;

std::vector<uint64_t> distinct_random_keys(uint32_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> keys(n);
    for (uint64_t& k : keys) k = rng();
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    while (keys.size() < n) keys.push_back(keys.back() + 1);
    std::shuffle(keys.begin(), keys.end(), rng);
    return keys;
}

// Lookups of every token of the unit in shuffled order, through the unit and
// through an unordered_map from the same words to positions. by_id selects
// zelset_lookup_hex (the map is then keyed by the id word).
void lookups_against_map(benchmark::State& state, bool by_id) {
    static BenchUnit bench(distinct_random_keys(kLookupTokens, 1), 2);
    if (!bench.ok) return state.SkipWithError("zelset_create failed");
    const std::vector<uint64_t>& words = by_id ? bench.ids : bench.mortons;
    std::unordered_map<uint64_t, uint32_t> map;
    map.reserve(words.size());
    for (uint32_t i = 0; i < words.size(); ++i) map.emplace(words[i], i);
    std::vector<uint64_t> queries = words;
    std::shuffle(queries.begin(), queries.end(), std::mt19937_64(3));

    double ours = 0, baseline = 0;
    for (auto _ : state) {
        uint64_t sum_ours = 0, sum_map = 0;
        double t0 = cpu_now();
        for (uint64_t q : queries) {
            sum_ours += by_id ? zelset_lookup_hex(&bench.unit, reinterpret_cast<const char*>(&q))
                              : zelset_lookup_morton(&bench.unit, q);
        }
        ours += seconds_since(t0);
        t0 = cpu_now();
        for (uint64_t q : queries) sum_map += map.find(q)->second;
        baseline += seconds_since(t0);
        if (sum_ours != sum_map) return state.SkipWithError("lookups disagree with the map");
        benchmark::DoNotOptimize(sum_ours);
    }
    const double lookups = double(queries.size()) * double(state.iterations());
    state.counters["unit_Mlookups/s"] = lookups / ours / 1e6;
    state.counters["map_Mlookups/s"] = lookups / baseline / 1e6;
    state.counters["unit/map_speed"] = baseline / ours;
}

void BM_LookupByKey(benchmark::State& state) { lookups_against_map(state, false); }
void BM_LookupById(benchmark::State& state) { lookups_against_map(state, true); }
BENCHMARK(BM_LookupByKey)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LookupById)->Unit(benchmark::kMillisecond)->Iterations(5);

constexpr uint32_t kNearestTokens = 10'000'000;

const BenchUnit& sorted_unit() {
    static BenchUnit bench(
        [] {
            std::vector<uint64_t> keys = distinct_random_keys(kNearestTokens, 4);
            std::sort(keys.begin(), keys.end());
            return keys;
        }(),
        5);
    return bench;
}

// The same random targets through zelset_query_nearest and through the literal
// list, the answers compared one by one. Fewer targets at larger k keep the
// literal list's run short.
void BM_NearestAgainstLiteralList(benchmark::State& state) {
    const BenchUnit& bench = sorted_unit();
    if (!bench.ok) return state.SkipWithError("zelset_create failed");
    const auto k = static_cast<int32_t>(state.range(0));
    const int targets_count = k >= 256 ? 2000 : (k >= 16 ? 20000 : 100000);
    std::mt19937_64 rng(6);
    std::vector<uint64_t> targets(targets_count);
    for (uint64_t& t : targets) t = rng();

    zel_oracle::NearestResults ours, literal;
    ours.indices.resize(k);
    ours.distances.resize(k);
    literal.indices.resize(k);
    literal.distances.resize(k);
    double ours_s = 0, literal_s = 0;
    size_t disagreements = 0;
    for (auto _ : state) {
        std::vector<int32_t> ours_n(targets.size()), literal_n(targets.size());
        std::vector<uint32_t> ours_idx(targets.size() * k), literal_idx(targets.size() * k);
        std::vector<uint64_t> ours_dist(targets.size() * k), literal_dist(targets.size() * k);
        double t0 = cpu_now();
        for (size_t i = 0; i < targets.size(); ++i) {
            ours_n[i] = zelset_query_nearest(&bench.unit, targets[i], k, &ours_idx[i * k], &ours_dist[i * k]);
        }
        ours_s += seconds_since(t0);
        t0 = cpu_now();
        for (size_t i = 0; i < targets.size(); ++i) {
            literal_n[i] = zel_oracle::query_nearest_into(bench.unit.tokens, bench.unit.count, targets[i], k,
                                                          zel_oracle::single_precision_root, &literal_idx[i * k],
                                                          &literal_dist[i * k]);
        }
        literal_s += seconds_since(t0);
        for (size_t i = 0; i < targets.size(); ++i) {
            ours.indices.assign(&ours_idx[i * k], &ours_idx[i * k] + ours_n[i]);
            ours.distances.assign(&ours_dist[i * k], &ours_dist[i * k] + ours_n[i]);
            literal.indices.assign(&literal_idx[i * k], &literal_idx[i * k] + literal_n[i]);
            literal.distances.assign(&literal_dist[i * k], &literal_dist[i * k] + literal_n[i]);
            if (!zel_oracle::nearest_results_agree(ours, literal)) ++disagreements;
        }
    }
    if (disagreements) state.SkipWithError("answers differ from the literal list");
    const double queries = double(targets.size()) * double(state.iterations());
    state.counters["unit_us/query"] = 1e6 * ours_s / queries;
    state.counters["literal_us/query"] = 1e6 * literal_s / queries;
    state.counters["literal/unit"] = literal_s / ours_s;
}
BENCHMARK(BM_NearestAgainstLiteralList)->Arg(1)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
