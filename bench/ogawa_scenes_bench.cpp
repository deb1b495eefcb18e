// Scenes of many objects and animated caches (bench/scenes.h), read from open
// to close (bench/archive_reads.h), each figure in a process of its own whose
// allocator is as a fresh process has it: this program runs itself again per
// figure (bench/figure_process.h). The scenes are written once into the
// build's bench-scenes folder by a process of their own and kept.
//
// Modes: first (open + ogawa_get_first_polymesh, no index call), path (open +
// sample 0 of the scene's last mesh by its path, known from how the scene was
// written), samples (every sample of that mesh), tree (the whole tree through
// the index), every_mesh (sample 0 of every mesh), every_sample (every sample
// of every mesh, mesh by mesh), by_frame (the same frame by frame), threads
// (every_sample on two threads with a handle each, against one).
// Each warm and with the archive evicted from the page cache before every
// timed read; each with nothing between reads (fresh) and with the foreign
// allocation pattern between them (foreign).
//
// Figures: ms (median of the timed reads, after one untimed read), faults
// (minor page faults a read), array_pages (the bytes of the arrays handed out
// / 4096, rounded up), faults_beyond_arrays; every_sample and by_frame also
// run the baseline of plain preads of the same payload bytes (pread_ms,
// ours/pread: the target is at most 1.5; cpu_ours/pread the same in process
// processor time, which a busy machine disturbs less).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "figure_process.h"
#include "scene_store.h"

namespace {

using bench_figures::Figures;
using bench_figures::Request;

struct Case {
    const char* mode;
    bool evicted;
    bool foreign;
    const char* baseline;  // the pread mode it is compared with, or null
};

// One line of the summary table printed after the run.
struct Row {
    std::string name;
    Figures figures;
};
std::vector<Row> g_rows;

// Runs the request in a fresh process and adds its figures, named with prefix.
bool measure(benchmark::State& state, const Request& q, const std::string& prefix, Figures* into) {
    const bench_figures::Outcome o = bench_figures::measure_in_fresh_process(q);
    if (!o.error.empty()) {
        state.SkipWithError((q.mode + ": " + o.error).c_str());
        return false;
    }
    for (const auto& [name, value] : o.figures) (*into)[prefix + name] = value;
    return true;
}

void run_case(benchmark::State& state, const std::string& name, const bench_scenes::Named& scene, const Case& c) {
    const bench_scenes::StoredScene stored = bench_scenes::stored_scene(scene);
    if (!stored.error.empty()) {
        state.SkipWithError(stored.error.c_str());
        return;
    }
    Request q{c.mode, stored.archive, stored.last_mesh, c.evicted, c.foreign, 1};
    Figures f;
    for (auto _ : state) {
        if (c.baseline) {
            Request base = q;
            base.mode = c.baseline;
            base.foreign = false;
            if (!measure(state, base, "pread_", &f)) return;
        }
        if (std::string(c.mode) == "threads") {
            q.threads = 1;
            if (!measure(state, q, "one_", &f)) return;
            q.threads = 2;
            if (!measure(state, q, "", &f)) return;
            f["speedup"] = f["one_ms"] / f["ms"];
        } else if (!measure(state, q, "", &f)) {
            return;
        }
        if (c.baseline) {
            f["ours/pread"] = f["ms"] / f["pread_ms"];
            f["cpu_ours/pread"] = f["cpu_ms"] / f["pread_cpu_ms"];
        }
        state.SetIterationTime(f["ms"] / 1e3);
    }
    for (const auto& [name, value] : f) state.counters[name] = value;
    g_rows.push_back({name, f});
}

const char* kAnimated[] = {"flat 5k", "crowd 40k", "character 2k"};

bool animated(const bench_scenes::Named& s) {
    for (const char* n : kAnimated) {
        if (std::string(n) == s.name) return true;
    }
    return false;
}

std::vector<Case> cases_of(const bench_scenes::Named& scene) {
    std::vector<Case> cases;
    for (const char* mode : {"first", "path", "samples", "tree"}) {
        for (bool evicted : {false, true}) {
            for (bool foreign : {false, true}) cases.push_back({mode, evicted, foreign, nullptr});
        }
    }
    cases.push_back({"every_mesh", false, false, nullptr});
    cases.push_back({"every_mesh", false, true, nullptr});
    cases.push_back({"every_mesh", true, false, nullptr});
    if (animated(scene)) {
        cases.push_back({"every_sample", false, false, "pread_every_sample"});
        cases.push_back({"every_sample", false, true, "pread_every_sample"});
        cases.push_back({"every_sample", true, false, "pread_every_sample"});
        cases.push_back({"by_frame", false, false, "pread_by_frame"});
    }
    if (animated(scene) && std::string(scene.name) != "flat 5k") cases.push_back({"threads", false, false, nullptr});
    return cases;
}

void register_all() {
    for (const bench_scenes::Named& scene : bench_scenes::kScenes) {
        for (const Case& c : cases_of(scene)) {
            const std::string name = std::string("BM_Scene/") + c.mode + "/" + scene.name + "/" +
                                     (c.evicted ? "evicted" : "warm") + "/" + (c.foreign ? "foreign" : "fresh");
            const auto run = [name, &scene, c](benchmark::State& s) { run_case(s, name, scene, c); };
            benchmark::RegisterBenchmark(name.c_str(), run)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseManualTime();
        }
    }
}

double figure(const Figures& f, const char* name) {
    const auto it = f.find(name);
    return it == f.end() ? -1 : it->second;
}

// The figures that matter, one line a benchmark, as Markdown.
void print_summary() {
    std::printf("\n| benchmark | ms a read | us an item | faults a read | beyond arrays | pread ms | ours/pread |"
                " load |\n|---|---|---|---|---|---|---|---|\n");
    for (const Row& r : g_rows) {
        std::printf("| %s | %.4g | %.4g | %.1f |", r.name.c_str(), figure(r.figures, "ms"),
                    figure(r.figures, "us_per_item"), figure(r.figures, "faults"));
        if (r.figures.count("faults_beyond_arrays")) {
            std::printf(" %.1f |", figure(r.figures, "faults_beyond_arrays"));
        } else {
            std::printf(" |");
        }
        if (r.figures.count("pread_ms")) {
            std::printf(" %.4g | %.3g (processor time %.3g) |", figure(r.figures, "pread_ms"),
                        figure(r.figures, "ours/pread"), figure(r.figures, "cpu_ours/pread"));
        } else if (r.figures.count("speedup")) {
            std::printf(" one thread %.4g ms | speedup %.3g |", figure(r.figures, "one_ms"),
                        figure(r.figures, "speedup"));
        } else {
            std::printf(" | |");
        }
        std::printf(" %.2f |\n", figure(r.figures, "load"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (bench_figures::run_figure_if_asked(argc, argv, &status)) return status;
    if (bench_scenes::write_scene_if_asked(argc, argv, &status)) return status;
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_summary();
    return 0;
}
