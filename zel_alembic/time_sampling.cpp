// One frame's mesh, positions interpolated in time, and the frame range.
#include <cstring>

#include "archive_internal.h"
#include "common/alloc.h"

namespace {

using namespace zel::alembic;

// First mesh of a frame, or null when it has none.
const zel_alembic_mesh_t* first_mesh(const zel_alembic_frame_t& frame) {
    std::span<const zel_alembic_mesh_t> meshes = meshes_of(frame);
    return meshes.empty() ? nullptr : &meshes[0];
}

// The first i with time(i) <= t <= time(i + 1), or -1 (always for a NaN t).
std::int64_t enclosing_interval(std::span<const zel_alembic_frame_t> frames, float t) {
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
        if (frames[i].time <= t && t <= frames[i + 1].time) return static_cast<std::int64_t>(i);
    }
    return -1;
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_sample_frame(const zel_alembic_t* archive, int32_t frame_number,
                                         zel_alembic_mesh_t* mesh) {
    if (!archive || !mesh) return -1;
    std::span<const zel_alembic_frame_t> frames = frames_of(*archive);
    if (frames.empty()) {
        std::span<const zel_alembic_mesh_t> base = base_meshes(*archive);
        if (base.empty()) return -1;
        *mesh = base[0];
        return 0;
    }
    for (const zel_alembic_frame_t& frame : frames) {
        const zel_alembic_mesh_t* first = first_mesh(frame);
        if (static_cast<int32_t>(frame.frame_number) == frame_number && first) {
            *mesh = *first;
            return 0;
        }
    }
    return -1;
}

ZEL_API int32_t zel_alembic_interpolate_time(const zel_alembic_t* archive, float time, zel_alembic_mesh_t* mesh) {
    if (!archive || !mesh) return -1;
    std::span<const zel_alembic_frame_t> frames = frames_of(*archive);
    if (frames.size() < 2) return -1;
    std::int64_t i = enclosing_interval(frames, time);
    if (i < 0) return -1;
    const zel_alembic_frame_t& from = frames[static_cast<std::size_t>(i)];
    const zel_alembic_frame_t& to = frames[static_cast<std::size_t>(i) + 1];
    const zel_alembic_mesh_t* a = first_mesh(from);
    const zel_alembic_mesh_t* b = first_mesh(to);
    if (!a || !b || a->vertex_count != b->vertex_count) return -1;
    const std::uint32_t count = a->vertex_count;
    if (count != 0 && (!a->positions || !b->positions)) return -1;

    const std::size_t floats = 3 * static_cast<std::size_t>(count);
    float* out = zel::alloc_array<float>(floats);
    if (!out) return -4;
    mesh->vertex_count = count;
    mesh->positions = out;
    if (count == 0) return 0;
    // Equal times would make alpha 0 / 0: the earlier frame stands.
    if (from.time == to.time) {
        std::memcpy(out, a->positions, floats * sizeof(float));
        return 0;
    }
    const float alpha = (time - from.time) / (to.time - from.time);
    for (std::size_t c = 0; c < floats; ++c) {
        out[c] = (b->positions[c] - a->positions[c]) * alpha + a->positions[c];
    }
    return 0;
}

ZEL_API void zel_alembic_get_frame_range(const zel_alembic_t* archive, uint32_t* first, uint32_t* last,
                                         float* fps) {
    if (!archive) return;
    if (first) *first = 0;
    if (last) *last = archive->frame_count == 0 ? 0 : archive->frame_count - 1;
    if (fps) *fps = archive->fps;
}

}  // extern "C"
