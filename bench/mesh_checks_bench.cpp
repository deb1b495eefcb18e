// zel_mesh_is_static_valid over 10,000,000 vertices (120 MB of floats, all
// finite, so every value is read) against a plain std::isfinite loop over the
// same floats, in GB/s.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "oracles/mesh_check_oracle.h"
#include "zelset.h"

namespace {

constexpr uint32_t kVertices = 10'000'000;
constexpr double kBytes = double(kVertices) * 3 * sizeof(float);

const std::vector<float>& positions() {
    static const std::vector<float> v = [] {
        std::vector<float> out(size_t{kVertices} * 3);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> coord(-1000.0f, 1000.0f);
        for (float& f : out) f = coord(rng);
        return out;
    }();
    return v;
}

template <class F>
double seconds_of(F&& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void set_rate(benchmark::State& state) {
    state.counters["GB/s"] = benchmark::Counter(kBytes * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_IsStaticValid(benchmark::State& state) {
    const std::vector<float>& v = positions();
    for (auto _ : state) {
        if (zel_mesh_is_static_valid(v.data(), kVertices) != 1) state.SkipWithError("rejected finite positions");
    }
    set_rate(state);
}
BENCHMARK(BM_IsStaticValid)->Unit(benchmark::kMillisecond);

void BM_IsFiniteLoop(benchmark::State& state) {
    const std::vector<float>& v = positions();
    for (auto _ : state) {
        if (!zel_oracle::all_finite(v.data(), v.size())) state.SkipWithError("rejected finite positions");
    }
    set_rate(state);
}
BENCHMARK(BM_IsFiniteLoop)->Unit(benchmark::kMillisecond);

// Both on the same data, alternating inside each iteration so that both see
// the same machine load; ratio > 1 means ours is faster.
void BM_StaticValidAgainstIsFinite(benchmark::State& state) {
    const std::vector<float>& v = positions();
    double ours = 0, baseline = 0;
    int agree = 1;
    for (auto _ : state) {
        int ok = 0;
        bool finite = false;
        ours += seconds_of([&] { ok = zel_mesh_is_static_valid(v.data(), kVertices); });
        baseline += seconds_of([&] { finite = zel_oracle::all_finite(v.data(), v.size()); });
        agree &= int(ok == int(finite));
    }
    if (!agree) state.SkipWithError("results differ");
    const double n = double(state.iterations());
    state.counters["ours_GB/s"] = kBytes * 1e-9 * n / ours;
    state.counters["isfinite_GB/s"] = kBytes * 1e-9 * n / baseline;
    state.counters["ratio"] = baseline / ours;
}
BENCHMARK(BM_StaticValidAgainstIsFinite)->Unit(benchmark::kMillisecond)->Iterations(20);

// The full report runs both checks over every value, one pass each.
void BM_VerifyIdentity(benchmark::State& state) {
    const std::vector<float>& v = positions();
    zel_mesh_identity_report_t report;
    for (auto _ : state) {
        if (zel_mesh_verify_identity(v.data(), kVertices, 0, 0, 0, 1, 1, 1, &report) != 1) {
            state.SkipWithError("rejected finite positions");
        }
    }
    set_rate(state);
}
BENCHMARK(BM_VerifyIdentity)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
