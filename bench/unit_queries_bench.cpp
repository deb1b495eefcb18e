// The nearest query on 10,000,000 sorted keys against the literal
// re-sort-after-every-insertion list, with a check that both answer alike.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bench_unit.h"
#include "oracles/nearest_oracle.h"
#include "oracles/root_oracles.h"
#include "zelset.h"

namespace {

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
