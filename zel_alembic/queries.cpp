// Direct addressing, the nearest search by Morton distance and the selection
// by layer.
#include <algorithm>
#include <cstdlib>

#include "archive_index.h"
#include "archive_internal.h"
#include "common/alloc.h"
#include "zelset/integer_roots.h"

namespace {

using namespace zel::alembic;

constexpr std::uint64_t kNoDistance = UINT64_MAX;

struct Candidate {
    std::uint32_t mesh;
    std::uint32_t vertex;
    std::uint64_t distance;  // integer root of the key difference
};

constexpr int32_t kIndexOutdated = -1;

// The search through the index, or kIndexOutdated when a vertex it names is
// no longer in the archive (a base mesh changed since the table was built).
int32_t nearest_from_index(const zel_alembic_t& archive, const IndexView& index, std::uint64_t key, int32_t k,
                           zel_alembic_result_t* results) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(k), index.header->vertex_count);
    if (n == 0) return 0;
    zel::OwnedBlock<NearVertex> list(zel::alloc_array<NearVertex>(n));
    if (!list.get()) return 0;
    const std::size_t found = nearest_indexed(index, key, list.get(), n);
    for (std::size_t i = 0; i < found; ++i) {
        const Located at = locate_global(index, list.get()[i].global);
        const zel_alembic_mesh_t& mesh = archive.meshes[at.mesh];
        if (!has_records(mesh) || at.local >= mesh.vertex_count) return kIndexOutdated;
        base_result(mesh, at.mesh, at.local, static_cast<float>(list.get()[i].distance), &results[i]);
    }
    return static_cast<int32_t>(found);
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_lookup_frame_vertex(const zel_alembic_t* archive, int32_t frame_number,
                                                uint32_t mesh_index, uint32_t vertex_index,
                                                zel_alembic_result_t* result) {
    if (!archive || !result) return -1;
    std::span<const zel_alembic_frame_t> frames = frames_of(*archive);
    if (frame_number != 0 && !frames.empty()) {
        for (std::uint32_t f = 0; f < frames.size(); ++f) {
            if (static_cast<int32_t>(frames[f].frame_number) != frame_number) continue;
            std::span<const zel_alembic_mesh_t> meshes = meshes_of(frames[f]);
            if (mesh_index >= meshes.size() || vertex_index >= meshes[mesh_index].vertex_count) return -1;
            *result = {mesh_index, vertex_index, f, nullptr, nullptr, 0.0f};
            return 0;
        }
        return -1;
    }
    std::span<const zel_alembic_mesh_t> meshes = base_meshes(*archive);
    if (mesh_index >= meshes.size()) return -1;
    const zel_alembic_mesh_t& mesh = meshes[mesh_index];
    if (!has_records(mesh) || vertex_index >= mesh.vertex_count) return -1;
    base_result(mesh, mesh_index, vertex_index, 0.0f, result);
    return 0;
}

ZEL_API int32_t zel_alembic_query_nearest(const zel_alembic_t* archive, uint64_t key, int32_t k,
                                          zel_alembic_result_t* results) {
    if (k < 1 || !results || !archive) return 0;
    if (std::optional<IndexView> index = current_index(*archive)) {
        const int32_t found = nearest_from_index(*archive, *index, key, k, results);
        if (found != kIndexOutdated) return found;
    }
    // No more entries than vertices: the results are the same, and a huge k
    // asks for no huge list.
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(
        static_cast<std::uint64_t>(k), vertices_with_records(*archive)));
    if (n == 0) return 0;
    Candidate* list = zel::alloc_array<Candidate>(n);
    if (!list) return 0;
    std::fill(list, list + n, Candidate{0, 0, kNoDistance});

    std::span<const zel_alembic_mesh_t> meshes = base_meshes(*archive);
    for (std::uint32_t m = 0; m < meshes.size(); ++m) {
        if (!has_records(meshes[m])) continue;
        const zel_alembic_vertex_t* records = meshes[m].vertices;
        for (std::uint32_t v = 0; v < meshes[m].vertex_count; ++v) {
            const std::uint64_t diff = zel::key_difference(key, records[v].morton);
            const std::uint64_t worst = list[n - 1].distance;
            // root(diff) < worst exactly when diff < worst^2 (worst < 2^32):
            // most candidates are rejected without a root.
            if (worst != kNoDistance && diff >= worst * worst) continue;
            const std::uint64_t d = zel::exact_integer_root(diff);
            // Ahead of every entry of larger distance, behind equal ones.
            std::size_t i = n - 1;
            while (i > 0 && list[i - 1].distance > d) {
                list[i] = list[i - 1];
                --i;
            }
            list[i] = {m, v, d};
        }
    }

    std::size_t found = 0;
    while (found < n && list[found].distance != kNoDistance) {
        const Candidate& c = list[found];
        base_result(meshes[c.mesh], c.mesh, c.vertex, static_cast<float>(c.distance), &results[found]);
        ++found;
    }
    std::free(list);
    return static_cast<int32_t>(found);
}

ZEL_API int32_t zel_alembic_query_layer(const zel_alembic_t* archive, uint8_t layer,
                                        zel_alembic_result_t* results, int32_t capacity) {
    if (!results || capacity < 1 || !archive) return 0;
    int32_t written = 0;
    std::span<const zel_alembic_mesh_t> meshes = base_meshes(*archive);
    for (std::uint32_t m = 0; m < meshes.size(); ++m) {
        if (!has_records(meshes[m])) continue;
        for (std::uint32_t v = 0; v < meshes[m].vertex_count; ++v) {
            if (meshes[m].tokens[v].token.layer != layer) continue;
            base_result(meshes[m], m, v, 0.0f, &results[written]);
            if (++written == capacity) return written;
        }
    }
    return written;
}

}  // extern "C"
