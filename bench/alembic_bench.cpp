// Mesh conversion at scale: load_raw of a 1,000,000-vertex, 2,000,000-triangle
// mesh; the hash table's build; lookups by key against literal probing; the
// topology stage against the literal per-vertex pass; the nearest search
// against the literal scan with a Newton root per vertex; saving and loading
// the archive against a plain write and read of the same bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "oracles/alembic_oracles.h"
#include "zel_alembic.h"
#include "zel_alembic/topology.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

struct Mesh {
    std::vector<float> positions;
    std::vector<uint32_t> faces;
    uint32_t vertices() const { return static_cast<uint32_t>(positions.size() / 3); }
    uint32_t triangles() const { return static_cast<uint32_t>(faces.size() / 3); }
};

// A torus of rings x segments vertices and twice as many triangles, every
// vertex shared by six of them, in the order a modelling tool writes a grid.
Mesh torus(uint32_t rings, uint32_t segments) {
    Mesh m;
    const float kTau = 6.2831853f;
    for (uint32_t i = 0; i < rings; ++i) {
        for (uint32_t j = 0; j < segments; ++j) {
            float u = kTau * float(i) / float(rings), v = kTau * float(j) / float(segments);
            float r = 3.0f + std::cos(v);
            m.positions.insert(m.positions.end(), {r * std::cos(u), r * std::sin(u), std::sin(v)});
        }
    }
    for (uint32_t i = 0; i < rings; ++i) {
        for (uint32_t j = 0; j < segments; ++j) {
            uint32_t a = i * segments + j, b = i * segments + (j + 1) % segments;
            uint32_t c = ((i + 1) % rings) * segments + j, d = ((i + 1) % rings) * segments + (j + 1) % segments;
            m.faces.insert(m.faces.end(), {a, b, d, a, d, c});
        }
    }
    return m;
}

const Mesh& large_mesh() {
    static Mesh m = torus(1000, 1000);
    return m;
}

// The large mesh processed, as the only base mesh of an archive.
zel_alembic_t* large_archive() {
    static zel_alembic_t* archive = [] {
        auto* a = static_cast<zel_alembic_t*>(std::calloc(1, sizeof(zel_alembic_t)));
        a->meshes = static_cast<zel_alembic_mesh_t*>(std::calloc(1, sizeof(zel_alembic_mesh_t)));
        a->mesh_count = 1;
        const Mesh& m = large_mesh();
        zel_alembic_load_raw(m.positions.data(), m.vertices(), m.faces.data(), m.triangles(), "torus", &a->meshes[0]);
        a->total_faces = m.triangles();
        return a;
    }();
    return archive;
}

void BM_LoadRawMillionVertices(benchmark::State& state) {
    const Mesh& m = large_mesh();
    for (auto _ : state) {
        zel_alembic_mesh_t mesh;
        if (zel_alembic_load_raw(m.positions.data(), m.vertices(), m.faces.data(), m.triangles(), "torus", &mesh) != 0) {
            state.SkipWithError("load_raw failed");
        }
        benchmark::DoNotOptimize(mesh.tokens);
        zel_alembic_mesh_free(&mesh);
    }
    state.counters["vertices"] = m.vertices();
    state.counters["triangles"] = m.triangles();
    state.counters["vertices/s"] = benchmark::Counter(m.vertices(), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadRawMillionVertices)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The hash table of the 1,000,000 vertices, part of every load: 32 MiB of
// table, 32 MiB of links, one slot search per vertex, and the private index
// (the vertices sorted by key). (Literal probing walks runs of up to the
// whole archive here and does not finish in hours.)
void BM_HashTableBuildMillionVertices(benchmark::State& state) {
    zel_alembic_t* archive = large_archive();
    for (auto _ : state) {
        if (zel_alembic_build_hash_table(archive) != 0) state.SkipWithError("build failed");
    }
    state.counters["vertices/s"] =
        benchmark::Counter(double(archive->total_vertices), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_HashTableBuildMillionVertices)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Processor time, not wall time: the machine is shared with other builds.
double cpu_now() { return double(std::clock()) / CLOCKS_PER_SEC; }

// The answer by definition: the lowest global index of each key, from one
// pass over the archive's single mesh.
std::unordered_map<uint64_t, uint32_t> lowest_index_of_each_key(const zel_alembic_mesh_t& mesh) {
    std::unordered_map<uint64_t, uint32_t> first;
    for (uint32_t v = 0; v < mesh.vertex_count; ++v) first.emplace(mesh.vertices[v].morton, v);
    return first;
}

// Lookups of every key of the 1,000,000 vertices, in vertex order and in a
// random order, against literal probing (walking from the home slot, each
// slot's global index located by walking the meshes) on 200 of them. Every
// answer is checked against the lowest index of its key, and every absent
// lattice code, and 64-bit keys, must be reported absent.
void BM_LookupMortonMillionVertices(benchmark::State& state) {
    zel_alembic_t* archive = large_archive();
    if (!archive->hash_table) zel_alembic_build_hash_table(archive);
    const zel_alembic_mesh_t& mesh = archive->meshes[0];
    std::vector<uint64_t> in_order(mesh.vertex_count);
    for (uint32_t v = 0; v < mesh.vertex_count; ++v) in_order[v] = mesh.vertices[v].morton;
    std::vector<uint64_t> shuffled = in_order;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
    const std::unordered_map<uint64_t, uint32_t> lowest = lowest_index_of_each_key(mesh);

    double ordered_s = 0, shuffled_s = 0, literal_s = 0;
    for (auto _ : state) {
        std::vector<uint32_t> found(in_order.size());
        zel_alembic_result_t r;
        double t0 = cpu_now();
        for (size_t i = 0; i < in_order.size(); ++i) {
            found[i] = zel_alembic_lookup_morton(archive, in_order[i], &r) == 0 ? r.vertex_index : ZEL_NONE;
        }
        ordered_s += cpu_now() - t0;
        for (size_t i = 0; i < in_order.size(); ++i) {
            if (found[i] != lowest.at(in_order[i])) return state.SkipWithError("not the lowest index of its key");
        }
        t0 = cpu_now();
        for (size_t i = 0; i < shuffled.size(); ++i) {
            found[i] = zel_alembic_lookup_morton(archive, shuffled[i], &r) == 0 ? r.vertex_index : ZEL_NONE;
        }
        shuffled_s += cpu_now() - t0;
        for (size_t i = 0; i < shuffled.size(); ++i) {
            if (found[i] != lowest.at(shuffled[i])) return state.SkipWithError("not the lowest index of its key");
        }
        t0 = cpu_now();
        for (size_t i = 0; i < 200; ++i) {
            if (zel_oracle::probe_lookup(*archive, shuffled[i]).second != lowest.at(shuffled[i])) {
                return state.SkipWithError("literal probing disagrees");
            }
        }
        literal_s += (cpu_now() - t0) / 200 * double(shuffled.size());
    }
    std::mt19937_64 rng(7);
    for (uint64_t key = 0; key < (1u << 18) + 64; ++key) {
        zel_alembic_result_t r;
        if (!lowest.count(key) && zel_alembic_lookup_morton(archive, key, &r) != -1) {
            return state.SkipWithError("an absent key was found");
        }
    }
    for (int i = 0; i < 100000; ++i) {
        zel_alembic_result_t r;
        if (zel_alembic_lookup_morton(archive, rng() | (1ull << 40), &r) != -1) return state.SkipWithError("found");
    }
    const double n = double(in_order.size()) * double(state.iterations());
    state.counters["ordered_Mlookups/s"] = n / ordered_s / 1e6;
    state.counters["shuffled_Mlookups/s"] = n / shuffled_s / 1e6;
    state.counters["literal_lookups/s"] = n / literal_s;
    state.counters["speedup"] = literal_s / shuffled_s;
}
BENCHMARK(BM_LookupMortonMillionVertices)->Unit(benchmark::kMillisecond)->Iterations(3);

// The topology stage of processing against the literal per-vertex pass, on a
// 20,000-vertex torus (40,000 triangles); the results must agree.
void BM_TopologyStageVsLiteral(benchmark::State& state) {
    static const Mesh m = torus(200, 100);
    std::vector<zel_alembic_vertex_t> records(m.vertices());
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::vector<uint32_t> literal = zel_oracle::topology_hashes(m.vertices(), m.faces.data(), m.triangles());
        double literal_s = seconds_since(t0);

        const int kRepeats = 200;
        t0 = Clock::now();
        for (int r = 0; r < kRepeats; ++r) {
            zel::alembic::fill_topology_hashes(records.data(), m.vertices(), m.faces.data(), m.triangles());
            benchmark::ClobberMemory();
        }
        double ours_s = seconds_since(t0) / kRepeats;
        for (uint32_t v = 0; v < m.vertices(); ++v) {
            if (records[v].topology_hash != literal[v]) state.SkipWithError("hashes differ from the literal pass");
        }
        state.counters["ours_ms"] = 1e3 * ours_s;
        state.counters["literal_ms"] = 1e3 * literal_s;
        state.counters["speedup"] = literal_s / ours_s;
    }
}
BENCHMARK(BM_TopologyStageVsLiteral)->Unit(benchmark::kMillisecond)->Iterations(1);

// k nearest over the 1,000,000 processed vertices: 10,000 random queries
// through the table's index, each checked against the search without the
// table (the scan), and the literal scan with a Newton root per vertex on 8
// of them for the ratio.
void BM_QueryNearestVsLiteral(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    zel_alembic_t* archive = large_archive();
    if (!archive->hash_table) zel_alembic_build_hash_table(archive);
    zel_alembic_t without_table = *archive;
    without_table.hash_table = nullptr;
    std::mt19937_64 rng(11);
    std::vector<uint64_t> keys(10000);
    for (uint64_t& key : keys) key = rng() % 262144;
    std::vector<zel_alembic_result_t> results(keys.size() * static_cast<size_t>(k)), scanned(static_cast<size_t>(k));
    std::vector<int> counts(keys.size());
    auto same = [](const zel_alembic_result_t& a, const zel_alembic_result_t& b) {
        return a.mesh_index == b.mesh_index && a.vertex_index == b.vertex_index && a.distance == b.distance &&
               a.vertex == b.vertex && a.token == b.token;
    };
    for (auto _ : state) {
        double t0 = cpu_now();
        for (size_t q = 0; q < keys.size(); ++q) {
            counts[q] = zel_alembic_query_nearest(archive, keys[q], k, &results[q * static_cast<size_t>(k)]);
        }
        const double ours_s = (cpu_now() - t0) / double(keys.size());
        for (size_t q = 0; q < keys.size(); ++q) {
            const int n = zel_alembic_query_nearest(&without_table, keys[q], k, scanned.data());
            bool equal = n == counts[q];
            for (int i = 0; equal && i < n; ++i) equal = same(results[q * static_cast<size_t>(k) + i], scanned[i]);
            if (!equal) return state.SkipWithError("results differ from the scan");
        }
        t0 = cpu_now();
        for (size_t q = 0; q < 8; ++q) {
            std::vector<zel_oracle::Nearest> literal = zel_oracle::nearest_scan(*archive, keys[q], k);
            bool equal = counts[q] == static_cast<int>(literal.size());
            for (int i = 0; equal && i < counts[q]; ++i) {
                const zel_alembic_result_t& r = results[q * static_cast<size_t>(k) + i];
                equal = r.mesh_index == literal[i].mesh && r.vertex_index == literal[i].vertex &&
                        r.distance == static_cast<float>(literal[i].distance);
            }
            if (!equal) return state.SkipWithError("results differ from the literal scan");
        }
        const double literal_s = (cpu_now() - t0) / 8;
        state.counters["ours_us"] = 1e6 * ours_s;
        state.counters["literal_us"] = 1e6 * literal_s;
        state.counters["speedup"] = literal_s / ours_s;
    }
}
BENCHMARK(BM_QueryNearestVsLiteral)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(1);

std::string scratch_file(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("alembic_bench_") + name)).string();
}

// Saving and loading the archive against one plain fwrite and fread of the
// same number of bytes.
void BM_SaveLoadVsPlainIo(benchmark::State& state) {
    zel_alembic_t* archive = large_archive();
    const std::string path = scratch_file("archive.bzel"), plain = scratch_file("plain.bin");
    for (auto _ : state) {
        const int kRepeats = 3;
        double save_s = 0, load_s = 0, write_s = 0, read_s = 0;
        uint64_t bytes = 0;
        for (int r = 0; r < kRepeats; ++r) {
            auto t0 = Clock::now();
            if (zel_alembic_save(path.c_str(), archive) != 0) state.SkipWithError("save failed");
            save_s += seconds_since(t0);
            bytes = std::filesystem::file_size(path);

            zel_alembic_t loaded;
            std::memset(&loaded, 0, sizeof loaded);
            t0 = Clock::now();
            if (zel_alembic_load(path.c_str(), &loaded) != 0) state.SkipWithError("load failed");
            load_s += seconds_since(t0);
            zel_alembic_free(&loaded);

            // The baselines write from memory in hand and read into a fresh
            // allocation, as save and load do.
            std::vector<unsigned char> source(bytes, 0x5A);
            t0 = Clock::now();
            std::FILE* f = std::fopen(plain.c_str(), "wb");
            std::fwrite(source.data(), 1, source.size(), f);
            std::fclose(f);
            write_s += seconds_since(t0);
            t0 = Clock::now();
            f = std::fopen(plain.c_str(), "rb");
            auto* target = static_cast<unsigned char*>(std::malloc(bytes));
            size_t got = std::fread(target, 1, bytes, f);
            std::fclose(f);
            read_s += seconds_since(t0);
            benchmark::DoNotOptimize(got);
            std::free(target);
        }
        const double mb = double(bytes) * kRepeats / 1e6;
        state.counters["file_MB"] = double(bytes) / 1e6;
        state.counters["save_MB/s"] = mb / save_s;
        state.counters["write_MB/s"] = mb / write_s;
        state.counters["save/write"] = write_s / save_s;
        state.counters["load_MB/s"] = mb / load_s;
        state.counters["read_MB/s"] = mb / read_s;
        state.counters["load/read"] = read_s / load_s;
    }
    std::filesystem::remove(path);
    std::filesystem::remove(plain);
}
BENCHMARK(BM_SaveLoadVsPlainIo)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
