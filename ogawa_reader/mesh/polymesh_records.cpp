#include <cstdlib>
#include <cstring>

#include "ogawa_polymesh.h"

extern "C" {

ZEL_API void ogawa_free_uv_set(ogawa_uv_set_t* set) {
    if (!set) return;
    std::free(set->uvs);
    std::free(set->indices);
    std::memset(set, 0, sizeof *set);
}

ZEL_API void ogawa_free_tangent_frame(ogawa_tangent_frame_t* frame) {
    if (!frame) return;
    std::free(frame->tangents);
    std::free(frame->bitangents);
    frame->tangents = nullptr;
    frame->bitangents = nullptr;
    frame->count = 0;
    frame->scope = 0;
}

ZEL_API void ogawa_free_manifold(ogawa_manifold_t* manifold) {
    if (!manifold) return;
    std::free(manifold->vertex_faces);
    std::free(manifold->vertex_face_offsets);
    std::free(manifold->face_offsets);
    std::free(manifold->spare0);
    std::free(manifold->spare1);
    std::free(manifold->spare2);
    std::memset(manifold, 0, sizeof *manifold);
}

ZEL_API void ogawa_free_polymesh(ogawa_polymesh_t* mesh) {
    if (!mesh) return;
    std::free(mesh->positions);
    std::free(mesh->aux_vectors);
    std::free(mesh->normals);
    std::free(mesh->normal_indices);
    std::free(mesh->face_counts);
    std::free(mesh->face_indices);
    if (mesh->uv_sets) {
        for (uint32_t i = 0; i < mesh->uv_set_count; ++i) ogawa_free_uv_set(&mesh->uv_sets[i]);
        std::free(mesh->uv_sets);
    }
    ogawa_free_tangent_frame(&mesh->tangent_frame);
    ogawa_free_manifold(&mesh->manifold);
    std::free(mesh->sample_times);
    std::memset(mesh, 0, sizeof *mesh);
}

}  // extern "C"
