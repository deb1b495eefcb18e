// Loads arbitrary bytes as a mesh cache and reads every array the load hands
// out, up to its count: the sanitizers catch any read outside the mapping.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "zel_mesh.h"

namespace {

const std::string& scratch_path() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("zel_mesh_cache_fuzz_" + std::to_string(getpid()) + ".zelm"))
            .string();
    return path;
}

template <class T>
uint64_t sum_words(const T* data, uint64_t count) {
    uint64_t sum = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (uint64_t i = 0; i < count * sizeof(T); ++i) sum += bytes[i];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratch_path();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return 0;

    zel_mesh_t mesh;
    if (zel_mesh_load(path.c_str(), &mesh) == 0) {
        const float* positions = nullptr;
        const float* normals = nullptr;
        const uint32_t* indices = nullptr;
        uint32_t vertices = 0, triangles = 0;
        zel_mesh_get_gpu_data(&mesh, &positions, &normals, &indices, &vertices, &triangles);
        volatile uint64_t sink = sum_words(positions, 3ull * vertices) + sum_words(indices, 3ull * triangles);
        if (normals) sink = sink + sum_words(normals, 3ull * vertices);
        if (mesh.skin) {
            if (mesh.skin->joints) sink = sink + sum_words(mesh.skin->joints, mesh.skin->joint_count);
            if (mesh.skin->influences) sink = sink + sum_words(mesh.skin->influences, mesh.skin->influence_count);
            sink = sink + sum_words(mesh.skin->trailer, sizeof mesh.skin->trailer);
        }
        (void)sink;
        zel_mesh_free(&mesh);
    }
    std::remove(path.c_str());
    return 0;
}
