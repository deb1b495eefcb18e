// Tokens of processed vertices, and the processing of a whole mesh.
#include <cstring>

#include "common/alloc.h"
#include "topology.h"
#include "zel_alembic.h"

namespace {

// "%08X" of value, without the terminating zero.
void format_hex8(std::uint32_t value, char* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 7; i >= 0; --i) {
        out[i] = kDigits[value & 0xFu];
        value >>= 4;
    }
}

}  // namespace

extern "C" {

ZEL_API void zel_alembic_generate_token(const zel_alembic_vertex_t* record, uint8_t layer, uint32_t id_high,
                                        uint32_t vertex, zel_token_t* token) {
    if (!record || !token) return;
    token->morton = record->morton;
    format_hex8((id_high << 24) | (vertex & 0xFFFFFFu), token->hex_id);
    token->signature = static_cast<uint64_t>(record->topology_hash) ^ record->morton ^
                       (static_cast<uint64_t>(record->matrix[0]) << 48) ^
                       (static_cast<uint64_t>(record->matrix[1]) << 40) ^
                       (static_cast<uint64_t>(record->matrix[2]) << 32);
    token->layer = layer;
}

ZEL_API int32_t zel_alembic_process_mesh(zel_alembic_mesh_t* mesh, uint8_t layer) {
    if (!mesh || mesh->vertex_count == 0 || !mesh->positions) return -1;
    const uint32_t count = mesh->vertex_count;
    if (!mesh->vertices) {
        mesh->vertices = zel::alloc_zeroed_array<zel_alembic_vertex_t>(count);
        if (!mesh->vertices) return -4;
    }
    if (!mesh->tokens) {
        mesh->tokens = zel::alloc_zeroed_array<zel_alembic_token_slot_t>(count);
        if (!mesh->tokens) return -4;
    }
    mesh->layer = layer;
    // Exact zeros only: a NaN bound is not zero.
    if (mesh->bounds[0] == 0.0f && mesh->bounds[3] == 0.0f) {
        zel_alembic_compute_bounds(mesh->positions, count, mesh->bounds);
    }

    for (uint32_t v = 0; v < count; ++v) {
        zel_alembic_process_vertex(mesh->positions + 3 * static_cast<size_t>(v), mesh->bounds, &mesh->vertices[v]);
    }
    zel::alembic::fill_topology_hashes(mesh->vertices, count, mesh->faces, mesh->face_count);
    for (uint32_t v = 0; v < count; ++v) {
        zel_alembic_token_slot_t& slot = mesh->tokens[v];
        zel_alembic_generate_token(&mesh->vertices[v], layer, 0, v, &slot.token);
        std::memset(slot.padding, 0, sizeof slot.padding);
    }
    return 0;
}

}  // extern "C"
