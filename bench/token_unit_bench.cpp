// zelset_create of 10,000,000 tokens, split into its phases, and its peak
// memory against the unit's figure: 64 MiB of bucket tables + 45 bytes a token.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "random_tokens.h"
#include "zelset.h"
#include "zelset/hash_index.h"
#include "zelset/unit_internal.h"

namespace {

constexpr uint32_t kTokens = 10'000'000;

const RandomTokens& inputs() {
    static RandomTokens in(kTokens);
    return in;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peak_rss_kib() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// Peak resident memory of one create against the figure of 64 MiB + 45 B/token.
void BM_CreatePeakMemory(benchmark::State& state) {
    const RandomTokens& in = inputs();
    for (auto _ : state) {
        long before = peak_rss_kib();
        zelset_t unit{};
        zelset_create(&unit, kTokens, in.mortons.data(), in.ids.data(), in.signatures.data(), in.layers.data());
        long after = peak_rss_kib();
        zelset_free(&unit);
        double expected_mib = 64.0 + 45.0 * kTokens / (1024.0 * 1024.0);
        double measured_mib = double(after - before) / 1024.0;
        state.counters["peak_MiB"] = measured_mib;
        state.counters["figure_MiB"] = expected_mib;
        state.counters["peak/figure"] = measured_mib / expected_mib;
    }
}
// Registered first: the process's peak only grows, so later runs would hide it.
BENCHMARK(BM_CreatePeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CreateTenMillion(benchmark::State& state) {
    const RandomTokens& in = inputs();
    for (auto _ : state) {
        zelset_t unit{};
        int32_t rc = zelset_create(&unit, kTokens, in.mortons.data(), in.ids.data(), in.signatures.data(),
                                   in.layers.data());
        if (rc != 0) state.SkipWithError("zelset_create failed");
        benchmark::DoNotOptimize(unit.tokens);
        zelset_free(&unit);
    }
    state.counters["tokens/s"] = benchmark::Counter(double(kTokens), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CreateTenMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same work as zelset_create, phase by phase, through the internal pieces.
void BM_CreatePhases(benchmark::State& state) {
    const RandomTokens& in = inputs();
    double fill = 0, copy = 0, insert = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        zel_hash_index_t* by_key = zel::hash_index_create(kTokens, kTokens);
        zel_hash_index_t* by_id = zel::hash_index_create(kTokens, kTokens);
        fill += seconds_since(t0);

        t0 = std::chrono::steady_clock::now();
        auto* tokens = static_cast<zel_token_t*>(std::malloc(sizeof(zel_token_t) * kTokens));
        for (uint32_t i = 0; i < kTokens; ++i) {
            tokens[i].morton = in.mortons[i];
            std::memcpy(tokens[i].hex_id, &in.ids[i], 8);
            tokens[i].signature = in.signatures[i];
            tokens[i].layer = in.layers[i];
        }
        copy += seconds_since(t0);

        t0 = std::chrono::steady_clock::now();
        zel::unit_index_mortons(by_key, tokens, kTokens);
        zel::unit_index_ids(by_id, tokens, kTokens);
        insert += seconds_since(t0);
        benchmark::DoNotOptimize(by_key->entry_count);
        std::free(tokens);
        zel::hash_index_destroy(by_key);
        zel::hash_index_destroy(by_id);
    }
    double n = double(state.iterations());
    state.counters["fill_ms"] = 1e3 * fill / n;
    state.counters["copy_ms"] = 1e3 * copy / n;
    state.counters["insert_ms"] = 1e3 * insert / n;
}
BENCHMARK(BM_CreatePhases)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
