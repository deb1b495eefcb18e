// The skinning loop written out literally, step by step as the algorithm
// reads: the test oracle and the benchmark baseline of zel_skin_apply.
#pragma once

#include "zel_mesh.h"

namespace zel_oracle {

void literal_skin_apply(const zel_skin_t* skin, const double* pose_matrices, const float* rest_positions,
                        float* output_positions);

}  // namespace zel_oracle
