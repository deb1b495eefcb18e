// zelset_load of 10,000,000 random tokens, phase by phase (read, sort, index
// build), and the sort against the literal qsort with compare_tokens_morton on
// the same array.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "oracles/token_sort_oracle.h"
#include "random_tokens.h"
#include "zelset.h"
#include "zelset/token_sort.h"
#include "zelset/unit_file_internal.h"
#include "zelset/unit_internal.h"

namespace {

constexpr uint32_t kTokens = 10'000'000;

// Processor time of the process rather than wall time: the machine is shared
// with other builds, whose time must not count against either side.
double cpu_now() { return double(std::clock()) / CLOCKS_PER_SEC; }
double seconds_since(double t0) { return cpu_now() - t0; }

// A unit file of kTokens random tokens, written once per process.
class RandomUnitFile {
public:
    RandomUnitFile() : path_((std::filesystem::temp_directory_path() / "zel_unit_file_bench.zel").string()) {
        const RandomTokens in(kTokens);
        zelset_t unit{};
        ok_ = zelset_create(&unit, kTokens, in.mortons.data(), in.ids.data(), in.signatures.data(),
                            in.layers.data()) == 0 &&
              zelset_save(path_.c_str(), &unit) == 0;
        zelset_free(&unit);
    }
    ~RandomUnitFile() { std::remove(path_.c_str()); }
    bool ok() const { return ok_; }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
    bool ok_ = false;
};

const RandomUnitFile& unit_file() {
    static RandomUnitFile file;
    return file;
}

void BM_LoadPhases(benchmark::State& state) {
    if (!unit_file().ok()) return state.SkipWithError("cannot write the unit file");
    double read = 0, sort = 0, index = 0;
    for (auto _ : state) {
        zelset_t unit{};
        double t0 = cpu_now();
        if (zel::unit_file_read(unit_file().path(), &unit) != 0) return state.SkipWithError("read failed");
        read += seconds_since(t0);
        t0 = cpu_now();
        zel::sort_tokens_by_morton(unit.tokens, unit.count);
        sort += seconds_since(t0);
        t0 = cpu_now();
        if (zel::unit_build_indexes(&unit) != zel::IndexBuild::kOk) return state.SkipWithError("index failed");
        index += seconds_since(t0);
        benchmark::DoNotOptimize(unit.order);
        zelset_free(&unit);
    }
    const double n = double(state.iterations());
    state.counters["read_ms"] = 1e3 * read / n;
    state.counters["sort_ms"] = 1e3 * sort / n;
    state.counters["index_ms"] = 1e3 * index / n;
    state.counters["load_ms"] = 1e3 * (read + sort + index) / n;
}
BENCHMARK(BM_LoadPhases)->Unit(benchmark::kMillisecond)->Iterations(3);

// Both sorts on copies of the same array as read from the file; the ratio is
// qsort time over our time.
void BM_SortAgainstQsort(benchmark::State& state) {
    if (!unit_file().ok()) return state.SkipWithError("cannot write the unit file");
    zelset_t unit{};
    if (zel::unit_file_read(unit_file().path(), &unit) != 0) return state.SkipWithError("read failed");
    const size_t bytes = sizeof(zel_token_t) * unit.count;
    double ours = 0, literal = 0;
    for (auto _ : state) {
        auto* a = static_cast<zel_token_t*>(std::malloc(bytes));
        auto* b = static_cast<zel_token_t*>(std::malloc(bytes));
        std::memcpy(a, unit.tokens, bytes);
        std::memcpy(b, unit.tokens, bytes);
        double t0 = cpu_now();
        zel::sort_tokens_by_morton(a, unit.count);
        ours += seconds_since(t0);
        t0 = cpu_now();
        zel_oracle::sort_tokens(b, unit.count);
        literal += seconds_since(t0);
        for (uint32_t i = 0; i < unit.count; ++i) {
            if (a[i].morton != b[i].morton) {
                state.SkipWithError("the sorts disagree");
                break;
            }
        }
        std::free(a);
        std::free(b);
    }
    zelset_free(&unit);
    const double n = double(state.iterations());
    state.counters["radix_ms"] = 1e3 * ours / n;
    state.counters["qsort_ms"] = 1e3 * literal / n;
    state.counters["qsort/radix"] = literal / ours;
}
BENCHMARK(BM_SortAgainstQsort)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ZelsetLoad(benchmark::State& state) {
    if (!unit_file().ok()) return state.SkipWithError("cannot write the unit file");
    for (auto _ : state) {
        zelset_t unit{};
        if (zelset_load(unit_file().path(), &unit) != 0) return state.SkipWithError("load failed");
        benchmark::DoNotOptimize(unit.tokens);
        zelset_free(&unit);
    }
    state.counters["tokens/s"] = benchmark::Counter(double(kTokens), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ZelsetLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
