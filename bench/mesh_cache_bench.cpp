// The mesh cache and what works on cached meshes, each against its baseline in
// one run: loading a 1 GiB cache against a 1 MiB cache (constant time), the
// skinning loop against the literal loop (bit-identical output), and the
// manifold build against one growing vector of faces per vertex.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "oracles/adjacency_oracle.h"
#include "oracles/skinning_oracle.h"
#include "zel_mesh.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// A scratch folder under the system's temporary directory, removed with its files.
class ScratchDir {
public:
    ScratchDir()
        : path_(std::filesystem::temp_directory_path() / ("zel_mesh_cache_bench_" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const char* name) const { return (path_ / name).string(); }
    std::uintmax_t free_bytes() const { return std::filesystem::space(path_).available; }

private:
    std::filesystem::path path_;
};

// Writes a cache of vertex_count vertices with per-vertex normals and
// triangle_count triangles (indices as they stand): 64 + 24 V + 12 T bytes.
bool write_cache(const std::string& path, uint32_t vertex_count, uint32_t triangle_count) {
    ogawa_polymesh_t mesh;
    std::memset(&mesh, 0, sizeof mesh);
    std::vector<float> positions(3 * std::size_t{vertex_count});
    for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<float>(i % 1000);
    std::vector<float> normals(3 * std::size_t{vertex_count}, 0.5f);
    std::vector<uint32_t> indices(3 * std::size_t{triangle_count});
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint32_t>(i % vertex_count);
    mesh.positions = positions.data();
    mesh.position_count = vertex_count;
    mesh.normals = normals.data();
    mesh.normal_count = vertex_count;
    mesh.normal_scope = OGAWA_SCOPE_VERTEX;
    mesh.face_indices = indices.data();
    mesh.face_index_count = static_cast<uint32_t>(indices.size());
    return zel_mesh_save(&mesh, nullptr, path.c_str()) == 0;  // the arrays stay the vectors'
}

double mean_load_seconds(const std::string& path, int rounds) {
    double total = 0;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        zel_mesh_t mesh;
        if (zel_mesh_load(path.c_str(), &mesh) != 0) return -1;
        const float* positions = nullptr;
        zel_mesh_get_gpu_data(&mesh, &positions, nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(positions);
        zel_mesh_free(&mesh);
        total += seconds_since(t0);
    }
    return total / rounds;
}

void BM_LoadLargeAgainstSmall(benchmark::State& state) {
    constexpr uint64_t kGiB = 1ull << 30;
    ScratchDir dir;
    if (dir.free_bytes() < kGiB + kGiB / 2) {
        state.SkipWithError("not enough free space for the 1 GiB cache");
        return;
    }
    const std::string small = dir.file("small.zelm"), large = dir.file("large.zelm");
    // 1 MiB = 64 + 24 x 32768 + 12 x 21840; 1 GiB = 64 + 24 x 2^25 + 12 x 22369616.
    if (!write_cache(small, 1u << 15, 21840) || !write_cache(large, 1u << 25, 22369616)) {
        state.SkipWithError("writing the caches failed");
        return;
    }
    double small_s = 0, large_s = 0;
    for (auto _ : state) {
        small_s += mean_load_seconds(small, 200);
        large_s += mean_load_seconds(large, 200);
    }
    const double n = double(state.iterations());
    state.counters["small_MiB"] = double(std::filesystem::file_size(small)) / (1 << 20);
    state.counters["large_MiB"] = double(std::filesystem::file_size(large)) / (1 << 20);
    state.counters["small_load_us"] = 1e6 * small_s / n;
    state.counters["large_load_us"] = 1e6 * large_s / n;
    state.counters["large/small"] = large_s / small_s;
}
BENCHMARK(BM_LoadLargeAgainstSmall)->Unit(benchmark::kMillisecond)->Iterations(5);

struct SkinInputs {
    static constexpr uint32_t kVertices = 1'000'000, kJoints = 64;
    zel_skin_t skin{};
    std::vector<zel_skin_joint_t> joints;
    std::vector<zel_skin_influence_t> influences;
    std::vector<double> poses;
    std::vector<float> rest;
    SkinInputs() : joints(kJoints), influences(kVertices), poses(16 * kJoints), rest(3 * kVertices) {
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> value(-2.0, 2.0);
        std::uniform_real_distribution<float> weight(0.0f, 0.5f);
        for (auto& j : joints) {
            for (double& e : j.bind_matrix) e = value(rng);
        }
        for (double& e : poses) e = value(rng);
        for (float& r : rest) r = static_cast<float>(value(rng) * 50.0);
        for (auto& in : influences) {
            for (int s = 0; s < 4; ++s) {
                in.joints[s] = static_cast<uint8_t>(rng() % kJoints);
                in.weights[s] = weight(rng);
            }
        }
        skin.joints = joints.data();
        skin.joint_count = kJoints;
        skin.influences = influences.data();
        skin.influence_count = kVertices;
    }
};

void BM_SkinApplyAgainstLiteralLoop(benchmark::State& state) {
    SkinInputs in;
    std::vector<float> ours(in.rest.size()), literal(in.rest.size());
    double ours_s = 0, literal_s = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        zel_skin_apply(&in.skin, in.poses.data(), in.rest.data(), ours.data());
        ours_s += seconds_since(t0);
        t0 = Clock::now();
        zel_oracle::literal_skin_apply(&in.skin, in.poses.data(), in.rest.data(), literal.data());
        literal_s += seconds_since(t0);
        benchmark::DoNotOptimize(ours.data());
        benchmark::DoNotOptimize(literal.data());
    }
    if (std::memcmp(ours.data(), literal.data(), sizeof(float) * ours.size()) != 0) {
        state.SkipWithError("skinned positions differ from the literal loop");
    }
    const double n = double(state.iterations()) * SkinInputs::kVertices;
    state.counters["ours_Mvertices/s"] = n / ours_s / 1e6;
    state.counters["literal_Mvertices/s"] = n / literal_s / 1e6;
    state.counters["ours/literal"] = literal_s / ours_s;
}
BENCHMARK(BM_SkinApplyAgainstLiteralLoop)->Unit(benchmark::kMillisecond)->Iterations(10);

// A 1000 x 1000 grid of vertices, two triangles per cell, with face counts as
// the reader fills them.
struct GridMesh {
    static constexpr uint32_t kSide = 1000;
    std::vector<float> positions;
    std::vector<uint32_t> counts, indices;
    ogawa_polymesh_t mesh;
    GridMesh() : positions(3 * kSide * kSide, 0.0f) {
        for (uint32_t y = 0; y + 1 < kSide; ++y) {
            for (uint32_t x = 0; x + 1 < kSide; ++x) {
                uint32_t v = y * kSide + x;
                indices.insert(indices.end(), {v, v + 1, v + kSide + 1, v, v + kSide + 1, v + kSide});
                counts.insert(counts.end(), {3, 3});
            }
        }
        std::memset(&mesh, 0, sizeof mesh);
        mesh.positions = positions.data();
        mesh.position_count = kSide * kSide;
        mesh.face_counts = counts.data();
        mesh.face_count = static_cast<uint32_t>(counts.size());
        mesh.face_indices = indices.data();
        mesh.face_index_count = static_cast<uint32_t>(indices.size());
    }
};

void BM_BuildManifoldAgainstVectorOfVectors(benchmark::State& state) {
    GridMesh grid;
    double ours_s = 0, vectors_s = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (ogawa_build_manifold(&grid.mesh) != 0) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(grid.mesh.manifold.vertex_faces);
        ogawa_free_manifold(&grid.mesh.manifold);
        ours_s += seconds_since(t0);
        t0 = Clock::now();
        auto faces = zel_oracle::vertex_faces_by_vectors(grid.mesh);
        benchmark::DoNotOptimize(faces.data());
        faces = {};
        vectors_s += seconds_since(t0);
    }
    const double corners = double(state.iterations()) * grid.indices.size();
    state.counters["ours_Mcorners/s"] = corners / ours_s / 1e6;
    state.counters["vectors_Mcorners/s"] = corners / vectors_s / 1e6;
    state.counters["ours/vectors"] = vectors_s / ours_s;
}
BENCHMARK(BM_BuildManifoldAgainstVectorOfVectors)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
