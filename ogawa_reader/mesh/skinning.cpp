// Linear-blend skinning with four influences per vertex: one combined matrix
// per joint, computed once in double precision, then one pass over the
// vertices that allocates nothing.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "zel_mesh.h"

namespace zel {
namespace {

// Slots lighter than this contribute nothing (single-precision bits 0x358637BD).
constexpr float kMinimumWeight = 1e-6f;

// out = pose x bind, element 4r + c, each sum taken over k = 0..3 in order
// starting from 0.0: a point is transformed by the pose first.
void combine(const double* pose, const double* bind, double* out) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += pose[4 * r + k] * bind[4 * k + c];
            out[4 * r + c] = sum;
        }
    }
}

bool arrays_match_counts(const zel_skin_t& skin) {
    return (skin.joints || skin.joint_count == 0) && (skin.influences || skin.influence_count == 0);
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API void zel_skin_apply(const zel_skin_t* skin, const double* pose_matrices,
                            const float* rest_positions, float* output_positions) {
    if (!skin || !pose_matrices || !rest_positions || !output_positions) return;
    if (!zel::arrays_match_counts(*skin)) return;
    const uint32_t joint_count = skin->joint_count;
    double* combined = zel::alloc_array<double>(16 * std::size_t{joint_count});
    if (!combined) return;
    for (uint32_t j = 0; j < joint_count; ++j) {
        zel::combine(pose_matrices + 16 * std::size_t{j}, skin->joints[j].bind_matrix,
                     combined + 16 * std::size_t{j});
    }

    for (uint32_t i = 0; i < skin->influence_count; ++i) {
        const zel_skin_influence_t& influence = skin->influences[i];
        const float* rest = rest_positions + 3 * std::size_t{i};
        // Read before anything is written: the output may be the rest array.
        const double x = rest[0], y = rest[1], z = rest[2];
        float out_x = 0.0f, out_y = 0.0f, out_z = 0.0f;
        for (int s = 0; s < 4; ++s) {
            const float w = influence.weights[s];
            const uint32_t j = influence.joints[s];
            if (w < zel::kMinimumWeight || j >= joint_count) continue;
            const double* c = combined + 16 * std::size_t{j};
            out_x += static_cast<float>(x * c[0] + y * c[4] + z * c[8] + c[12]) * w;
            out_y += static_cast<float>(x * c[1] + y * c[5] + z * c[9] + c[13]) * w;
            out_z += static_cast<float>(x * c[2] + y * c[6] + z * c[10] + c[14]) * w;
        }
        float* out = output_positions + 3 * std::size_t{i};
        out[0] = out_x;
        out[1] = out_y;
        out[2] = out_z;
    }
    std::free(combined);
}

ZEL_API void zel_skin_free(zel_skin_t* skin) {
    if (!skin) return;
    std::free(skin->joints);
    std::free(skin->influences);
    std::memset(skin, 0, sizeof *skin);
}

ZEL_API int32_t ogawa_read_skinning(ogawa_archive_t* archive, const void* /*unused*/, zel_skin_t* skin) {
    if (!archive || !skin) return -1;
    std::memset(skin, 0, sizeof *skin);
    return -1;
}

}  // extern "C"
