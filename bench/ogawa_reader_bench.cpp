// The Ogawa reader against plain reads of the same data.
//
// First mesh: ogawa_open + ogawa_get_first_polymesh + ogawa_close on a real
// archive and on a mesh of 1,000,000 vertices made with the test writer,
// against open + one pread of each array the read hands out, into a block of
// its own (payloads located by bench/ogawa_payloads.h) + close, with a warm
// cache, both in this process. ratio = baseline time / our time (target at
// least 0.9 for the 1,000,000 vertices), in wall-clock time and in process CPU
// time (cpu_ratio), which a busy shared machine disturbs less.
//
// Small archives: every public fixture (tests/data/*.abc) read three ways
// (first: open + first mesh; path: open + its last mesh by path; every_mesh:
// sample 0 of every mesh), each in a process of its own whose allocator is as
// a fresh process has it, with nothing between the reads (fresh) and with the
// foreign allocation pattern between them (foreign): minor faults a read, the
// pages of the arrays handed out and the faults beyond them (target at most 8).
//
// Scans: on a 20 MB file the fallback path of ogawa_read_polymesh and each
// attribute reader, against the literal scans of tests/oracles followed by
// the same block reads (target at least 50x); and the fallback path alone on
// a 20 MB file that is one long run of small integers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "figure_process.h"
#include "oracles/ogawa_scans_oracle.h"
#include "ogawa_payloads.h"
#include "ogawa_reader.h"
#include "paired_timing.h"
#include "support/alembic_writer.h"
#include "terrain.h"
#include "support/test_support.h"

namespace {

// Runs both once per round and reports the times, their ratio and our minor
// page faults per run.
template <class Ours, class Baseline>
void compare(benchmark::State& state, Ours&& ours, Baseline&& baseline) {
    const PairTimes t = time_pair(state, ours, baseline);
    state.counters["ours_us"] = 1e6 * t.ours_s;
    state.counters["baseline_us"] = 1e6 * t.baseline_s;
    state.counters["ratio"] = t.baseline_s / t.ours_s;
    state.counters["cpu_ratio"] = t.baseline_cpu_s / t.ours_cpu_s;
    state.counters["ours_faults"] = t.ours_faults;
}

// path: a file of tests/data, or a full path.
void first_polymesh(benchmark::State& state, const char* fixture, std::uint32_t expected_vertices) {
    const std::string path = fixture[0] == '/' ? fixture : zel_test::data_file(fixture);
    const std::vector<bench_ogawa::MeshPayloads> meshes = bench_ogawa::mesh_payloads(path);
    const bench_ogawa::MeshPayloads* first = bench_ogawa::first_mesh(meshes);
    if (!first || !bench_ogawa::matches_reader(path, *first, 0)) {
        state.SkipWithError("no payloads located that the reader hands out");
        return;
    }
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
        [&] { ok = ok && bench_ogawa::pread_sample(path, *first, 0) > 0; });
    if (!ok) state.SkipWithError("a read failed");
}

// The largest fixture: positions, face indices and face counts (it has no
// normals).
void BM_FirstPolymeshAnimated(benchmark::State& state) { first_polymesh(state, "animated.abc", 1024); }
BENCHMARK(BM_FirstPolymeshAnimated)->Unit(benchmark::kMicrosecond);

// The fixture with all four arrays.
void BM_FirstPolymeshPentagons(benchmark::State& state) { first_polymesh(state, "pentagons.abc", 2009); }
BENCHMARK(BM_FirstPolymeshPentagons)->Unit(benchmark::kMicrosecond);

// A terrain of 1000 x 1000 vertices in quads, with a normal per vertex.
void BM_FirstPolymeshMillionVertices(benchmark::State& state) {
    constexpr int kSide = 1000;
    zel_test::TempDir dir;
    const std::string path = dir.file("terrain.abc");
    zel_test::write_file(path, alembic_test::write_archive(terrain_scene(kSide)).bytes);
    first_polymesh(state, path.c_str(), kSide * kSide);
}
BENCHMARK(BM_FirstPolymeshMillionVertices)->Unit(benchmark::kMillisecond);

// Every public fixture, each read in processes of its own.
void small_archive(benchmark::State& state, const bench_figures::Request& q) {
    bench_figures::Outcome o;
    for (auto _ : state) {
        o = bench_figures::measure_in_fresh_process(q);
        if (!o.error.empty()) {
            state.SkipWithError(o.error.c_str());
            return;
        }
        state.SetIterationTime(o.figures["ms"] / 1e3);
    }
    for (const auto& [name, value] : o.figures) state.counters[name] = value;
}

void register_small_archives() {
    std::vector<std::string> fixtures;
    for (const auto& e : std::filesystem::directory_iterator(zel_test::data_file(""))) {
        if (e.path().extension() == ".abc") fixtures.push_back(e.path().string());
    }
    std::sort(fixtures.begin(), fixtures.end());
    for (const char* mode : {"first", "path", "every_mesh"}) {
        for (const std::string& file : fixtures) {
            const std::vector<bench_ogawa::MeshPayloads> meshes = bench_ogawa::mesh_payloads(file);
            const std::string last = meshes.empty() ? "" : meshes.back().path;
            for (bool foreign : {false, true}) {
                const std::string name = std::string("BM_SmallArchive/") + mode + "/" +
                                         std::filesystem::path(file).filename().string() + "/" +
                                         (foreign ? "foreign" : "fresh");
                const bench_figures::Request q{mode, file, last, false, foreign, 1};
                benchmark::RegisterBenchmark(name.c_str(), [q](benchmark::State& s) { small_archive(s, q); })
                    ->Unit(benchmark::kMicrosecond)
                    ->Iterations(1)
                    ->UseManualTime();
            }
        }
    }
}

using Bytes = std::vector<unsigned char>;

void put_u64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put_u32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put_f32(Bytes& b, float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    put_u32(b, u);
}
Bytes header() {
    Bytes b = {'O', 'g', 'a', 'w', 'a', 0xFF, 0, 1};
    put_u64(b, 0);  // no root: a read takes the fallback path
    return b;
}
void put_floats(Bytes& b, std::size_t n, float scale, std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (std::size_t i = 0; i < n; ++i) put_f32(b, scale * d(rng));
}

constexpr std::size_t kScanFileBytes = 20 * 1000 * 1000;
constexpr std::uint32_t kVertices = 100'000;

// 20 MB: a position block at the start, then floats of magnitude up to 1000
// (which no scan takes for anything) with, spread over the file, 100 runs of
// up to 2000 small integers, a small block of texture coordinates and, when
// `large_blocks`, a block of unit normals after a key and two equal blocks of
// normal-like triples (which the mesh-data finder also takes for texture
// coordinates; without them the texture-coordinate reader scans).
std::string make_mixed_file(const zel_test::TempDir& dir, bool large_blocks) {
    std::mt19937 rng(11);
    Bytes b = header();
    put_u64(b, 12 * std::uint64_t{kVertices});
    put_floats(b, 3 * kVertices, 1000.0f, rng);
    auto attribute = [&](std::uint64_t bytes, float scale, bool keyed) {
        put_u64(b, bytes + (keyed ? 16 : 0));
        if (keyed) put_floats(b, 4, 1e30f, rng);
        for (std::uint64_t i = 0; i < bytes / 12; ++i) {
            float x = scale * std::uniform_real_distribution<float>(0.1f, 1.0f)(rng);
            put_f32(b, x);
            put_f32(b, 0.0f);
            put_f32(b, std::sqrt(1.0f - x * x));
        }
    };
    for (int piece = 0; piece < 100; ++piece) {
        put_floats(b, (kScanFileBytes / 100 - 8000) / 4, 1000.0f, rng);
        std::size_t run = 1 + rng() % 2000;
        for (std::size_t i = 0; i < run; ++i) put_u32(b, rng() % kVertices);
        put_u32(b, 0xFFFFFFFFu);
        if (large_blocks && piece == 20) attribute(12 * 5000, 1.0f, true);
        if (large_blocks && (piece == 40 || piece == 60)) attribute(12 * 3000, 0.9f, false);
        if (piece == 80) {
            put_u64(b, 8 * 100);
            for (int i = 0; i < 200; ++i) put_f32(b, 0.5f);
        }
    }
    b.resize(kScanFileBytes, 0x7F);
    std::string p = dir.file(large_blocks ? "mixed.abc" : "small_blocks.abc");
    zel_test::write_file(p, b);
    return p;
}

const std::string& mixed_file() {
    static zel_test::TempDir dir;
    static const std::string path = make_mixed_file(dir, true);
    return path;
}

const std::string& small_blocks_file() {
    static zel_test::TempDir dir;
    static const std::string path = make_mixed_file(dir, false);
    return path;
}

// 20 MB: a position block of 1001 vertices, then one run of small integers.
const std::string& long_run_file() {
    static zel_test::TempDir dir;
    static const std::string path = [] {
        std::mt19937 rng(5);
        Bytes b = header();
        put_u64(b, 12 * 1001);
        put_floats(b, 3 * 1001, 100.0f, rng);
        while (b.size() < kScanFileBytes) put_u32(b, rng() % 1000);
        std::string p = dir.file("run.abc");
        zel_test::write_file(p, b);
        return p;
    }();
    return path;
}

// Reads `bytes` at offset into a scratch buffer (the baselines' block reads).
std::size_t read_block(std::FILE* f, std::uint64_t offset, std::uint64_t bytes) {
    static std::vector<unsigned char> scratch;
    scratch.resize(bytes);
    std::fseek(f, static_cast<long>(offset), SEEK_SET);
    return std::fread(scratch.data(), 1, bytes, f);
}

// Times ours `repeats` times (averaged) and the baseline once; ours returns
// the count it read, the baseline the count it finds, and they must agree.
template <class Ours, class Baseline>
void against_oracle(benchmark::State& state, int repeats, Ours&& ours, Baseline&& baseline) {
    for (auto _ : state) {
        std::uint64_t ours_count = 0, baseline_count = 0;
        double c0 = cpu_seconds();
        auto t0 = Clock::now();
        for (int i = 0; i < repeats; ++i) ours_count = ours();
        auto t1 = Clock::now();
        double c1 = cpu_seconds();
        baseline_count = baseline();
        auto t2 = Clock::now();
        double c2 = cpu_seconds();
        double ours_s = std::chrono::duration<double>(t1 - t0).count() / repeats;
        double baseline_s = std::chrono::duration<double>(t2 - t1).count();
        state.counters["ours_ms"] = 1e3 * ours_s;
        state.counters["oracle_ms"] = 1e3 * baseline_s;
        state.counters["ratio"] = baseline_s / ours_s;
        state.counters["cpu_ratio"] = (c2 - c1) / ((c1 - c0) / repeats);
        state.counters["count"] = double(ours_count);
        if (ours_count != baseline_count) state.SkipWithError("ours and the oracle disagree");
    }
}

template <class Read>
std::uint64_t with_archive(const std::string& path, Read&& read) {
    ogawa_archive_t archive;
    if (ogawa_open(path.c_str(), &archive) != 0) return 0;
    std::uint64_t n = read(&archive);
    ogawa_close(&archive);
    return n;
}

template <class Scan>
std::uint64_t with_file(const std::string& path, Scan&& scan) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::uint64_t n = scan(f);
    std::fclose(f);
    return n;
}

// Counts: vertices + normals + face indices.
void BM_FallbackPath20MB(benchmark::State& state) {
    const std::string& path = mixed_file();
    against_oracle(
        state, 5,
        [&] {
            return with_archive(path, [](ogawa_archive_t* a) -> std::uint64_t {
                ogawa_polymesh_t mesh;
                ogawa_read_polymesh(a, nullptr, 0, &mesh);
                std::uint64_t n = std::uint64_t{mesh.position_count} + mesh.normal_count + mesh.face_index_count;
                ogawa_free_polymesh(&mesh);
                return n;
            });
        },
        [&] {
            return with_file(path, [](std::FILE* f) -> std::uint64_t {
                ogawa_oracle::Hit positions = ogawa_oracle::position_block(f);
                read_block(f, positions.start, 12 * positions.count);
                ogawa_oracle::Hit normals = ogawa_oracle::unit_normals(f);
                read_block(f, normals.start, 12 * normals.count);
                ogawa_oracle::Hit run = ogawa_oracle::triangle_run(f, static_cast<std::uint32_t>(positions.count));
                read_block(f, run.start, 4 * run.count);
                return positions.count + normals.count + run.count;
            });
        });
}
BENCHMARK(BM_FallbackPath20MB)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReadNormals20MB(benchmark::State& state) {
    const std::string& path = mixed_file();
    against_oracle(
        state, 5,
        [&] {
            return with_archive(path, [](ogawa_archive_t* a) -> std::uint64_t {
                float* normals = nullptr;
                std::uint32_t* indices = nullptr;
                std::uint32_t count = 0, scope = 0;
                ogawa_read_normals(a, nullptr, 0, &normals, &indices, &count, &scope);
                std::free(normals);
                return count;
            });
        },
        [&] {
            return with_file(path, [](std::FILE* f) -> std::uint64_t {
                ogawa_oracle::Block b = ogawa_oracle::largest_normals(f);
                return read_block(f, b.offset, b.size) / 12;
            });
        });
}
BENCHMARK(BM_ReadNormals20MB)->Unit(benchmark::kMillisecond)->Iterations(1);

// With the finder's candidate (its literal version reads 4 KiB chunks and is
// linear already) and without, when the reader scans.
void BM_ReadUvs20MB(benchmark::State& state) {
    const std::string& path = state.range(0) ? mixed_file() : small_blocks_file();
    against_oracle(
        state, 5,
        [&] {
            return with_archive(path, [](ogawa_archive_t* a) -> std::uint64_t {
                ogawa_uv_set_t set{};
                ogawa_read_uvs(a, nullptr, 0, 0, &set);
                std::uint64_t n = set.uv_count;
                ogawa_free_uv_set(&set);
                return n;
            });
        },
        [&] {
            return with_file(path, [](std::FILE* f) -> std::uint64_t {
                ogawa_oracle::Block positions, uvs;
                ogawa_oracle::mesh_data(f, &positions, &uvs);
                if (uvs.size == 0) uvs = ogawa_oracle::largest_uvs(f);
                return read_block(f, uvs.offset, uvs.size) / 8;
            });
        });
}
BENCHMARK(BM_ReadUvs20MB)->ArgName("finder_candidate")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReadTangentFrame20MB(benchmark::State& state) {
    const std::string& path = mixed_file();
    against_oracle(
        state, 5,
        [&] {
            return with_archive(path, [](ogawa_archive_t* a) -> std::uint64_t {
                ogawa_tangent_frame_t frame{};
                ogawa_read_tangent_frame(a, nullptr, 0, &frame);
                std::uint64_t n = frame.count;
                ogawa_free_tangent_frame(&frame);
                return n;
            });
        },
        [&] {
            return with_file(path, [](std::FILE* f) -> std::uint64_t {
                std::vector<ogawa_oracle::Block> c = ogawa_oracle::tangent_candidates(f);
                for (std::size_t i = 0; i < c.size(); ++i) {
                    for (std::size_t j = i + 1; j < c.size(); ++j) {
                        if (c[i].size != c[j].size) continue;
                        read_block(f, c[i].offset, c[i].size);
                        return read_block(f, c[j].offset, c[j].size) / 12;
                    }
                }
                return 0;
            });
        });
}
BENCHMARK(BM_ReadTangentFrame20MB)->Unit(benchmark::kMillisecond)->Iterations(1);

// The fast path alone: the literal run measure would take days here.
void BM_FallbackPathLongRun20MB(benchmark::State& state) {
    const std::string& path = long_run_file();
    std::uint64_t indices = 0;
    for (auto _ : state) {
        indices = with_archive(path, [](ogawa_archive_t* a) -> std::uint64_t {
            ogawa_polymesh_t mesh;
            ogawa_read_polymesh(a, nullptr, 0, &mesh);
            std::uint64_t n = mesh.face_index_count;
            ogawa_free_polymesh(&mesh);
            return n;
        });
    }
    state.counters["face_indices"] = double(indices);
    state.counters["MB/s"] = benchmark::Counter(kScanFileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FallbackPathLongRun20MB)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (bench_figures::run_figure_if_asked(argc, argv, &status)) return status;
    register_small_archives();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
