// The two text reports, formatted with bounds into the caller's buffer.
#include <cstdio>

#include "common/text.h"
#include "zel_alembic.h"

namespace {

// A terminated copy of a fixed text field that a host may have filled to the
// last byte.
template <std::size_t N>
struct FieldText {
    explicit FieldText(const char (&field)[N]) { zel::copy_terminated(text, field); }
    char text[N];
};

const char* yes_no(const void* p) { return p ? "yes" : "no"; }

}  // namespace

extern "C" {

ZEL_API void zel_alembic_mesh_info(const zel_alembic_mesh_t* mesh, char* buffer, int32_t buffer_size) {
    if (!buffer || buffer_size < 1 || !mesh) return;
    FieldText name(mesh->name);
    std::snprintf(buffer, static_cast<std::size_t>(buffer_size),
                  "Mesh: %s\nVertices: %u\nFaces: %u\nBounds: [%.3f,%.3f,%.3f] - [%.3f,%.3f,%.3f]\nLayer: "
                  "L%d\nZEL Processed: %s\nTokens Generated: %s",
                  name.text, static_cast<unsigned>(mesh->vertex_count), static_cast<unsigned>(mesh->face_count),
                  static_cast<double>(mesh->bounds[0]), static_cast<double>(mesh->bounds[1]),
                  static_cast<double>(mesh->bounds[2]), static_cast<double>(mesh->bounds[3]),
                  static_cast<double>(mesh->bounds[4]), static_cast<double>(mesh->bounds[5]),
                  static_cast<int>(mesh->layer), yes_no(mesh->vertices), yes_no(mesh->tokens));
}

ZEL_API void zel_alembic_file_info(const zel_alembic_t* archive, char* buffer, int32_t buffer_size) {
    if (!buffer || buffer_size < 1 || !archive) return;
    FieldText source(archive->source);
    std::snprintf(buffer, static_cast<std::size_t>(buffer_size),
                  "ZEL Alembic File\n================\nVersion: %u\nMeshes: %u\nTotal Vertices: %llu\nTotal "
                  "Faces: %llu\nTotal Tokens: %llu\nFrames: %u\nFPS: %.2f\nTime Range: %.3f - %.3f sec\nSource: %s",
                  static_cast<unsigned>(archive->version), static_cast<unsigned>(archive->mesh_count),
                  static_cast<unsigned long long>(archive->total_vertices),
                  static_cast<unsigned long long>(archive->total_faces),
                  static_cast<unsigned long long>(archive->total_tokens),
                  static_cast<unsigned>(archive->frame_count), static_cast<double>(archive->fps),
                  static_cast<double>(archive->time_start), static_cast<double>(archive->time_end), source.text);
}

}  // extern "C"
