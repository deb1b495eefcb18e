// The Ogawa reader against plain reads of the same data.
//
// First mesh: ogawa_open + ogawa_get_first_polymesh + ogawa_close on a real
// archive, against fopen + fread of the same arrays at the offsets its writer
// recorded (NAME.truth.json: payload_offset + 16, array_bytes) + fclose.
// ratio = baseline time / our time (target at least 0.5), in wall-clock time
// and in process CPU time (cpu_ratio), which a busy shared machine disturbs
// less.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct KnownArray {
    long offset;
    std::size_t bytes;
};

// Runs both once per round and reports the times and their ratio.
template <class Ours, class Baseline>
void compare(benchmark::State& state, Ours&& ours, Baseline&& baseline) {
    double ours_s = 0, baseline_s = 0, ours_cpu = 0, baseline_cpu = 0;
    for (auto _ : state) {
        double c0 = cpu_seconds();
        auto t0 = Clock::now();
        ours();
        auto t1 = Clock::now();
        double c1 = cpu_seconds();
        baseline();
        auto t2 = Clock::now();
        double c2 = cpu_seconds();
        ours_s += std::chrono::duration<double>(t1 - t0).count();
        baseline_s += std::chrono::duration<double>(t2 - t1).count();
        ours_cpu += c1 - c0;
        baseline_cpu += c2 - c1;
    }
    double n = double(state.iterations());
    state.counters["ours_us"] = 1e6 * ours_s / n;
    state.counters["baseline_us"] = 1e6 * baseline_s / n;
    state.counters["ratio"] = baseline_s / ours_s;
    state.counters["cpu_ratio"] = baseline_cpu / ours_cpu;
}

void first_polymesh(benchmark::State& state, const char* fixture, std::vector<KnownArray> arrays,
                    std::uint32_t expected_vertices) {
    const std::string path = zel_test::data_file(fixture);
    std::vector<std::vector<unsigned char>> buffers;
    for (const KnownArray& a : arrays) buffers.emplace_back(a.bytes);
    bool ok = true;
    compare(
        state,
        [&] {
            ogawa_archive_t archive;
            if (ogawa_open(path.c_str(), &archive) != 0) ok = false;
            const ogawa_polymesh_t* mesh = ogawa_get_first_polymesh(&archive);
            if (!mesh || mesh->position_count != expected_vertices) ok = false;
            ogawa_close(&archive);
        },
        [&] {
            std::FILE* f = std::fopen(path.c_str(), "rb");
            if (!f) {
                ok = false;
                return;
            }
            for (std::size_t i = 0; i < arrays.size(); ++i) {
                if (std::fseek(f, arrays[i].offset, SEEK_SET) != 0 ||
                    std::fread(buffers[i].data(), 1, arrays[i].bytes, f) != arrays[i].bytes) {
                    ok = false;
                }
            }
            std::fclose(f);
            benchmark::DoNotOptimize(buffers.data());
        });
    if (!ok) state.SkipWithError("a read failed");
}

// The largest fixture: positions, face indices and face counts (it has no
// normals).
void BM_FirstPolymeshAnimated(benchmark::State& state) {
    first_polymesh(state, "animated.abc", {{64, 12288}, {12376, 15376}, {27776, 3844}}, 1024);
}
BENCHMARK(BM_FirstPolymeshAnimated)->Unit(benchmark::kMicrosecond);

// The fixture with all four arrays.
void BM_FirstPolymeshPentagons(benchmark::State& state) {
    first_polymesh(state, "pentagons.abc", {{64, 24108}, {24196, 32584}, {56804, 8612}, {65512, 97752}}, 2009);
}
BENCHMARK(BM_FirstPolymeshPentagons)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
