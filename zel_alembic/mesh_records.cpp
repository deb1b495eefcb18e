// Meshes from raw host arrays, and the release of meshes and archives.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "zel_alembic.h"

namespace {

void release_meshes(zel_alembic_mesh_t* meshes, uint32_t count) {
    if (!meshes) return;
    for (uint32_t i = 0; i < count; ++i) zel_alembic_mesh_free(&meshes[i]);
    std::free(meshes);
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_load_raw(const float* positions, uint32_t vertex_count, const uint32_t* faces,
                                     uint32_t face_count, const char* name, zel_alembic_mesh_t* mesh) {
    if (!positions || !mesh) return -1;
    std::memset(mesh, 0, sizeof *mesh);
    const char* source = name ? name : "unnamed";
    std::strncpy(mesh->name, source, sizeof mesh->name - 1);
    mesh->vertex_count = vertex_count;
    mesh->face_count = face_count;

    const size_t position_floats = 3 * static_cast<size_t>(vertex_count);
    mesh->positions = zel::alloc_array<float>(position_floats);
    if (!mesh->positions) return -4;
    std::memcpy(mesh->positions, positions, position_floats * sizeof(float));

    if (face_count != 0 && faces) {
        const size_t face_indices = 3 * static_cast<size_t>(face_count);
        mesh->faces = zel::alloc_array<uint32_t>(face_indices);
        if (!mesh->faces) {
            std::free(mesh->positions);
            mesh->positions = nullptr;
            return -4;
        }
        std::memcpy(mesh->faces, faces, face_indices * sizeof(uint32_t));
    }
    if (vertex_count != 0) zel_alembic_compute_bounds(mesh->positions, vertex_count, mesh->bounds);
    return zel_alembic_process_mesh(mesh, 1);
}

ZEL_API void zel_alembic_mesh_free(zel_alembic_mesh_t* mesh) {
    if (!mesh) return;
    std::free(mesh->positions);
    std::free(mesh->faces);
    std::free(mesh->vertices);
    std::free(mesh->tokens);
    mesh->positions = nullptr;
    mesh->faces = nullptr;
    mesh->vertices = nullptr;
    mesh->tokens = nullptr;
    mesh->vertex_count = 0;
    mesh->face_count = 0;
}

ZEL_API void zel_alembic_free(zel_alembic_t* archive) {
    if (!archive) return;
    release_meshes(archive->meshes, archive->mesh_count);
    archive->meshes = nullptr;
    if (archive->frames) {
        for (uint32_t f = 0; f < archive->frame_count; ++f) {
            release_meshes(archive->frames[f].meshes, archive->frames[f].mesh_count);
            archive->frames[f].meshes = nullptr;
            archive->frames[f].mesh_count = 0;
        }
        std::free(archive->frames);
    }
    archive->frames = nullptr;
    std::free(archive->hash_table);
    archive->hash_table = nullptr;
    archive->mesh_count = 0;
    archive->frame_count = 0;
}

}  // extern "C"
