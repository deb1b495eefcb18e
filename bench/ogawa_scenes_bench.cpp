// Scenes of many objects (bench/scenes.h), read three ways (bench/scene_reads.h):
// time per object (tree), per mesh (every mesh) or per mesh of the scene
// (first mesh: what opening the scene costs for each), and the minor page
// faults of one open-to-close read. scale = this scene's cost per item
// over "flat 5k"'s (the target is at most 1.3). Peak memory is measured by
// scene_memory, in a process of its own.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <map>
#include <string>

#include "scene_reads.h"
#include "scenes.h"
#include "support/test_support.h"

namespace {

using bench_scenes::Mode;

// Written once per run, in a folder removed at exit.
const std::string& scene_file(const bench_scenes::Named& scene) {
    static zel_test::TempDir dir;
    static std::map<std::string, std::string> written;
    auto it = written.find(scene.name);
    if (it == written.end()) {
        std::string path = dir.file(bench_scenes::file_name(scene));
        zel_test::write_file(path, alembic_test::write_archive(scene.make()).bytes);
        it = written.emplace(scene.name, path).first;
    }
    return it->second;
}

long minor_faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// Per-item time of "flat 5k" in each mode, for the scale figure; the
// benchmarks run in registration order, flat 5k first in each mode.
std::map<Mode, double> g_flat5k_us;

void read_scene(benchmark::State& state, const bench_scenes::Named& scene, Mode mode) {
    const std::string& path = scene_file(scene);
    const std::uint64_t expected = bench_scenes::read_scene(path.c_str(), mode);
    // First mesh: the cost of opening, spread over the scene's meshes.
    const std::uint64_t items = mode == Mode::kFirstMesh ? scene.objects / 2 : expected;
    long faults = 0;
    double seconds = 0;
    for (auto _ : state) {
        const long before = minor_faults();
        const auto start = std::chrono::steady_clock::now();
        const std::uint64_t seen = bench_scenes::read_scene(path.c_str(), mode);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        faults += minor_faults() - before;
        if (seen != expected || expected == 0) {
            state.SkipWithError("a read failed");
            return;
        }
    }
    const double n = static_cast<double>(state.iterations());
    const double us = 1e6 * seconds / n / static_cast<double>(items);
    if (std::string(scene.name) == "flat 5k") g_flat5k_us[mode] = us;
    state.counters["items"] = static_cast<double>(items);
    state.counters["us_per_item"] = us;
    state.counters["faults_per_read"] = static_cast<double>(faults) / n;
    if (g_flat5k_us.count(mode)) state.counters["scale"] = us / g_flat5k_us[mode];
}

void register_all() {
    const std::pair<const char*, Mode> modes[] = {
        {"first_mesh", Mode::kFirstMesh}, {"tree", Mode::kTree}, {"every_mesh", Mode::kEveryMesh}};
    for (const auto& [mode_name, mode] : modes) {
        for (const bench_scenes::Named& scene : bench_scenes::kScenes) {
            const std::string name = std::string("BM_Scene/") + mode_name + "/" + scene.name;
            benchmark::RegisterBenchmark(name.c_str(), [&scene, mode = mode](benchmark::State& s) {
                read_scene(s, scene, mode);
            })->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
