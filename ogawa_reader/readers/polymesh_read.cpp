// Reading a polygon mesh: from a described archive's description, or from a
// bare container by the tree path and the fallback path; the first-mesh
// cache and positions alone.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/text.h"
#include "ogawa_archive.h"
#include "ogawa_topology.h"
#include "ogawa_reader/description/mesh_read.h"
#include "ogawa_reader/heuristic/fallback_scans.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/heuristic/tree_path.h"

namespace {

int finish_mesh(ogawa_polymesh_t* mesh) {
    if (mesh->positions && mesh->position_count != 0) {
        ogawa_compute_bounds(mesh->positions, mesh->position_count, &mesh->bounds);
        mesh->initial_bounds = mesh->bounds;
    }
    mesh->reserved0 = 0;
    mesh->reserved1 = 0;
    mesh->sample_count = 1;
    mesh->sample_times = nullptr;
    std::memset(mesh->transform, 0, sizeof mesh->transform);
    for (int i = 0; i < 4; ++i) mesh->transform[5 * i] = 1.0;
    return mesh->position_count >= 1 ? 0 : -1;
}

}  // namespace

extern "C" {

ZEL_API int ogawa_read_polymesh(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                                ogawa_polymesh_t* mesh) {
    if (!archive || !archive->file || !mesh) return -1;
    if (zel::desc::Description* d = zel::desc::description_of(archive)) {
        zel::CachedReader reader = zel::desc::reader_of(archive, *d);
        return zel::desc::read_mesh(reader, *d, object, sample_index, mesh);
    }
    std::memset(mesh, 0, sizeof *mesh);
    if (zel::desc::is_damaged(archive)) return -1;
    if (object) {
        zel::copy_terminated(mesh->name, object->name);
        zel::copy_terminated(mesh->path, object->path);
    } else {
        std::strcpy(mesh->name, "mesh");
        std::strcpy(mesh->path, "/mesh");
    }
    zel::CachedReader reader(archive->file, zel::stream_length(archive->file));
    zel::ChosenBlocks chosen{};
    if (zel::choose_tree_blocks(reader, &chosen)) {
        zel::read_chosen_blocks(reader, chosen, mesh);
        return finish_mesh(mesh);
    }
    int rc = zel::scan_positions(reader.file(), reader.size(), &mesh->positions, &mesh->position_count);
    if (rc != 0) return rc;
    zel::read_fallback_normals(reader, mesh);
    zel::read_fallback_triangles(reader, mesh);
    return finish_mesh(mesh);
}

ZEL_API ogawa_polymesh_t* ogawa_get_first_polymesh(ogawa_archive_t* archive) {
    if (!archive) return nullptr;
    if (archive->polymesh_count != 0 && archive->polymeshes) return archive->polymeshes[0];
    auto* mesh = zel::alloc_zeroed_array<ogawa_polymesh_t>(1);
    if (!mesh) return nullptr;
    if (ogawa_read_polymesh(archive, nullptr, 0, mesh) != 0) {
        ogawa_free_polymesh(mesh);
        std::free(mesh);
        return nullptr;
    }
    auto* cache = zel::alloc_array<ogawa_polymesh_t*>(1);
    if (!cache) return mesh;
    cache[0] = mesh;
    archive->polymeshes = cache;
    archive->polymesh_count = 1;
    return mesh;
}

ZEL_API int ogawa_read_positions(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                                 float** positions, uint32_t* count) {
    if (!archive || !archive->file || !positions || !count) return -1;
    if (zel::desc::Description* d = zel::desc::description_of(archive)) {
        zel::CachedReader reader = zel::desc::reader_of(archive, *d);
        return zel::desc::read_mesh_positions(reader, *d, object, sample_index, positions, count);
    }
    if (zel::desc::is_damaged(archive)) {
        *positions = nullptr;
        *count = 0;
        return -1;
    }
    return zel::ogawa_scan_positions(archive, positions, count);
}

}  // extern "C"
