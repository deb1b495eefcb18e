#include "oracles/skinning_oracle.h"

#include <cstdlib>

namespace zel_oracle {

void literal_skin_apply(const zel_skin_t* skin, const double* pose_matrices, const float* rest_positions,
                        float* output_positions) {
    if (!skin || !pose_matrices || !rest_positions || !output_positions) return;
    double* combined = static_cast<double*>(std::malloc(sizeof(double) * 16 * (skin->joint_count + 1)));
    if (!combined) return;
    for (uint32_t j = 0; j < skin->joint_count; ++j) {
        const double* p = pose_matrices + 16 * j;
        const double* b = skin->joints[j].bind_matrix;
        double* c = combined + 16 * j;
        for (int r = 0; r < 4; ++r) {
            for (int col = 0; col < 4; ++col) {
                c[4 * r + col] = 0.0;
                for (int k = 0; k < 4; ++k) c[4 * r + col] += p[4 * r + k] * b[4 * k + col];
            }
        }
    }
    if (skin->influence_count == 0) {
        std::free(combined);
        return;
    }
    const float threshold = 1e-6f;
    for (uint32_t i = 0; i < skin->influence_count; ++i) {
        float* out = output_positions + 3 * i;
        out[0] = 0.0f;
        out[1] = 0.0f;
        out[2] = 0.0f;
        for (int s = 0; s < 4; ++s) {
            float w = skin->influences[i].weights[s];
            uint32_t j = skin->influences[i].joints[s];
            if (w < threshold) continue;
            if (j >= skin->joint_count) continue;
            double x = rest_positions[3 * i];
            double y = rest_positions[3 * i + 1];
            double z = rest_positions[3 * i + 2];
            const double* c = combined + 16 * j;
            double tx = x * c[0];
            tx = tx + y * c[4];
            tx = tx + z * c[8];
            tx = tx + c[12];
            double ty = x * c[1];
            ty = ty + y * c[5];
            ty = ty + z * c[9];
            ty = ty + c[13];
            double tz = x * c[2];
            tz = tz + y * c[6];
            tz = tz + z * c[10];
            tz = tz + c[14];
            float fx = static_cast<float>(tx);
            float fy = static_cast<float>(ty);
            float fz = static_cast<float>(tz);
            out[0] = out[0] + fx * w;
            out[1] = out[1] + fy * w;
            out[2] = out[2] + fz * w;
        }
    }
    std::free(combined);
}

}  // namespace zel_oracle
