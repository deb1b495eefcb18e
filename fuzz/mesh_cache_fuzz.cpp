// Loads arbitrary bytes as a mesh cache and reads every array the load hands
// out, up to its count: the sanitizers catch any read outside the mapping.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "zel_mesh.h"

namespace {

template <class T>
uint64_t sum_words(const T* data, uint64_t count) {
    uint64_t sum = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (uint64_t i = 0; i < count * sizeof(T); ++i) sum += bytes[i];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zel_fuzz::ScratchFile input("mesh_input.zelm");
    input.write(data, size);
    zel_mesh_t mesh;
    if (zel_mesh_load(input.path(), &mesh) == 0) {
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
    return 0;
}
