// zelset_load of 10,000,000 random tokens, phase by phase (read, sort, index
// build), and the sort against the literal qsort with compare_tokens_morton on
// the same array. Loads of a 3-token unit (time and resident memory) and of
// 1,000,000 tokens against the load as it was when every build allocated and
// filled two 32 MiB tables of bucket heads. Loads and creates of 1,000,000
// tokens against another build of the library, side by side, when
// ZEL_BASELINE_LIBRARY names its shared object (an earlier commit's
// libzelset.so, say).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "oracles/token_sort_oracle.h"
#include "random_tokens.h"
#include "resident_memory.h"
#include "zelset.h"
#include "zelset/bucket_table.h"
#include "zelset/token_sort.h"
#include "zelset/unit_file_internal.h"
#include "zelset/unit_internal.h"

namespace {

constexpr uint32_t kTokens = 10'000'000;

// Processor time of the process rather than wall time: the machine is shared
// with other builds, whose time must not count against either side.
double cpu_now() { return double(std::clock()) / CLOCKS_PER_SEC; }
double seconds_since(double t0) { return cpu_now() - t0; }

// Bucket tables as every build made them before: allocated and filled.
struct PlainTables {
    PlainTables() { zel::bucket_tables_force_plain(true); }
    ~PlainTables() { zel::bucket_tables_force_plain(false); }
};

// A unit file of `count` random tokens, written once per process. It is made
// with plain tables, so that the first mapped table of the process is a load's.
class RandomUnitFile {
public:
    explicit RandomUnitFile(uint32_t count, const char* name)
        : path_((std::filesystem::temp_directory_path() / name).string()) {
        const RandomTokens in(count);
        PlainTables plain;
        zelset_t unit{};
        ok_ = zelset_create(&unit, count, in.mortons.data(), in.ids.data(), in.signatures.data(),
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
    static RandomUnitFile file(kTokens, "zel_unit_file_bench.zel");
    return file;
}

const RandomUnitFile& million_token_file() {
    static RandomUnitFile file(1'000'000, "zel_unit_file_bench_1m.zel");
    return file;
}

const RandomUnitFile& three_token_file() {
    static RandomUnitFile file(3, "zel_unit_file_bench_3.zel");
    return file;
}

// Processor and wall time of one zelset_load and zelset_free.
struct LoadTimes {
    double cpu, wall;
};
LoadTimes time_load(const char* path) {
    zelset_t unit{};
    const double t0 = cpu_now();
    const auto w0 = std::chrono::steady_clock::now();
    const int32_t rc = zelset_load(path, &unit);
    zelset_free(&unit);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    return {rc == 0 ? seconds_since(t0) : -1.0, wall};
}

// The baseline: the load as it was before bucket tables were views, each
// table of heads allocated and filled with 0xFF. Processor time.
double time_load_with_filled_tables(const char* path) {
    PlainTables plain;
    return time_load(path).cpu;
}

// zelset_create, zelset_load and zelset_free of the library that
// ZEL_BASELINE_LIBRARY names, loaded on its own; empty without it.
struct BaselineLibrary {
    decltype(&zelset_create) create = nullptr;
    decltype(&zelset_load) load = nullptr;
    decltype(&zelset_free) free = nullptr;
    explicit operator bool() const { return create && load && free; }
};

const BaselineLibrary& baseline_library() {
    static const BaselineLibrary library = [] {
        BaselineLibrary l;
        const char* path = std::getenv("ZEL_BASELINE_LIBRARY");
        void* handle = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!handle) return l;
        l.create = reinterpret_cast<decltype(&zelset_create)>(dlsym(handle, "zelset_create"));
        l.load = reinterpret_cast<decltype(&zelset_load)>(dlsym(handle, "zelset_load"));
        l.free = reinterpret_cast<decltype(&zelset_free)>(dlsym(handle, "zelset_free"));
        return l;
    }();
    return library;
}

// Processor time of one build and release through the given functions.
template <class Build, class Free>
double time_build(Build&& build, Free&& release) {
    zelset_t unit{};
    const double t0 = cpu_now();
    const int32_t rc = build(&unit);
    release(&unit);
    return rc == 0 ? seconds_since(t0) : -1.0;
}

// Medians of `rounds` builds of ours and of the baseline library's,
// alternately, as counters named after `what`; without a baseline, ours only.
template <class Build>
void ours_against_baseline(benchmark::State& state, const char* what, int rounds, Build&& build) {
    const BaselineLibrary& baseline = baseline_library();
    std::vector<double> ours, theirs;
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            ours.push_back(time_build([&](zelset_t* u) { return build(zelset_create, zelset_load, u); }, zelset_free));
            if (baseline) {
                theirs.push_back(time_build([&](zelset_t* u) { return build(baseline.create, baseline.load, u); },
                                            baseline.free));
            }
        }
    }
    const std::string name(what);
    state.counters[name + "_ms"] = 1e3 * median(ours);
    if (!baseline) return;
    state.counters["baseline_" + name + "_ms"] = 1e3 * median(theirs);
    state.counters["ours/baseline"] = median(ours) / median(theirs);
}

// A unit of three tokens, as `zelset query` and `zelset info` load it: the
// median of many loads, each with its release, against the baseline. The
// first load of the process, which makes the shared block of empty heads, is
// reported apart; this benchmark runs first in the program.
void BM_LoadThreeTokenUnit(benchmark::State& state) {
    const RandomUnitFile& file = three_token_file();
    if (!file.ok()) return state.SkipWithError("cannot write the unit file");
    const LoadTimes first = time_load(file.path());
    std::vector<double> cpu, wall, filled;
    for (auto _ : state) {
        for (int i = 0; i < 41; ++i) {
            LoadTimes t = time_load(file.path());
            cpu.push_back(t.cpu);
            wall.push_back(t.wall);
            if (i % 4 == 0) filled.push_back(time_load_with_filled_tables(file.path()));
        }
    }
    state.counters["first_ms"] = 1e3 * first.cpu;
    state.counters["median_ms"] = 1e3 * median(cpu);
    state.counters["median_wall_ms"] = 1e3 * median(wall);
    state.counters["filled_median_ms"] = 1e3 * median(filled);
    state.counters["filled/ours"] = median(filled) / median(cpu);
}
BENCHMARK(BM_LoadThreeTokenUnit)->Unit(benchmark::kMillisecond)->Iterations(1);

// Resident memory of eight 3-token units loaded at once: the first, and each
// one after it, with mapped tables and with tables allocated and filled.
void BM_EightThreeTokenUnitsResident(benchmark::State& state) {
    const RandomUnitFile& file = three_token_file();
    if (!file.ok()) return state.SkipWithError("cannot write the unit file");
    constexpr int kUnits = 8;
    const double kMiB = 1024.0 * 1024.0;
    auto measure = [&](double* first, double* each_after) {
        zelset_t units[kUnits] = {};
        const double before = resident_bytes();
        zelset_load(file.path(), &units[0]);
        const double after_first = resident_bytes();
        for (int i = 1; i < kUnits; ++i) zelset_load(file.path(), &units[i]);
        const double after_all = resident_bytes();
        for (zelset_t& u : units) zelset_free(&u);
        *first = (after_first - before) / kMiB;
        *each_after = (after_all - after_first) / (kUnits - 1) / kMiB;
    };
    double first = 0, each = 0, plain_first = 0, plain_each = 0;
    for (auto _ : state) {
        measure(&first, &each);
        PlainTables plain;
        measure(&plain_first, &plain_each);
    }
    state.counters["first_MiB"] = first;
    state.counters["each_after_MiB"] = each;
    state.counters["filled_first_MiB"] = plain_first;
    state.counters["filled_each_after_MiB"] = plain_each;
}
BENCHMARK(BM_EightThreeTokenUnitsResident)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1,000,000 random tokens, whose keys and ids reach every page of both
// tables, against the baseline, alternately; medians of 7 loads each.
void BM_LoadMillionTokens(benchmark::State& state) {
    const RandomUnitFile& file = million_token_file();
    if (!file.ok()) return state.SkipWithError("cannot write the unit file");
    std::vector<double> ours, filled;
    for (auto _ : state) {
        for (int i = 0; i < 7; ++i) {
            ours.push_back(time_load(file.path()).cpu);
            filled.push_back(time_load_with_filled_tables(file.path()));
        }
    }
    state.counters["ours_ms"] = 1e3 * median(ours);
    state.counters["filled_ms"] = 1e3 * median(filled);
    state.counters["filled/ours"] = median(filled) / median(ours);
}
BENCHMARK(BM_LoadMillionTokens)->Unit(benchmark::kMillisecond)->Iterations(1);

// Loads and creates of 1,000,000 random tokens, ours against the baseline
// library, alternately; medians of 15 each.
void BM_LoadMillionAgainstBaseline(benchmark::State& state) {
    const RandomUnitFile& file = million_token_file();
    if (!file.ok()) return state.SkipWithError("cannot write the unit file");
    ours_against_baseline(state, "load", 15, [&](auto, auto load, zelset_t* u) { return load(file.path(), u); });
}
BENCHMARK(BM_LoadMillionAgainstBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CreateMillionAgainstBaseline(benchmark::State& state) {
    static const RandomTokens in(1'000'000);
    ours_against_baseline(state, "create", 15, [&](auto create, auto, zelset_t* u) {
        return create(u, 1'000'000, in.mortons.data(), in.ids.data(), in.signatures.data(), in.layers.data());
    });
}
BENCHMARK(BM_CreateMillionAgainstBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);

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
