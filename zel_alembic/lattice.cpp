// Bounds, the two coordinate conversions and the processing of one vertex.
#include <cmath>

#include "lattice.h"
#include "zel_alembic.h"
#include "zel_matrix48.h"

extern "C" {

ZEL_API void zel_alembic_compute_bounds(const float* positions, uint32_t count, float* bounds) {
    if (!positions || !bounds || count == 0) return;
    for (int axis = 0; axis < 3; ++axis) {
        bounds[axis] = positions[axis];
        bounds[axis + 3] = positions[axis];
    }
    for (uint32_t v = 1; v < count; ++v) {
        const float* p = positions + 3 * static_cast<size_t>(v);
        for (int axis = 0; axis < 3; ++axis) {
            if (p[axis] < bounds[axis]) bounds[axis] = p[axis];
            if (p[axis] > bounds[axis + 3]) bounds[axis + 3] = p[axis];
        }
    }
}

ZEL_API void zel_alembic_world_to_matrix(float x, float y, float z, const float* bounds, uint8_t* mx,
                                         uint8_t* my, uint8_t* mz) {
    if (!bounds || !mx || !my || !mz) return;
    *mx = zel::alembic::matrix_coordinate(x, bounds[0], bounds[3]);
    *my = zel::alembic::matrix_coordinate(y, bounds[1], bounds[4]);
    *mz = zel::alembic::matrix_coordinate(z, bounds[2], bounds[5]);
}

ZEL_API void zel_alembic_matrix_to_world(uint8_t mx, uint8_t my, uint8_t mz, const float* bounds, float* x,
                                         float* y, float* z) {
    if (!bounds || !x || !y || !z) return;
    const uint8_t m[3] = {mx, my, mz};
    float* out[3] = {x, y, z};
    for (int axis = 0; axis < 3; ++axis) {
        *out[axis] = (static_cast<float>(m[axis]) / zel::alembic::kMatrixMax) *
                         (bounds[axis + 3] - bounds[axis]) +
                     bounds[axis];
    }
}

ZEL_API void zel_alembic_process_vertex(const float* position, const float* bounds,
                                        zel_alembic_vertex_t* record) {
    using namespace zel::alembic;
    if (!position || !bounds || !record) return;
    zel_alembic_vertex_t r{};  // padding bytes zero
    for (int axis = 0; axis < 3; ++axis) r.position[axis] = position[axis];
    zel_alembic_world_to_matrix(position[0], position[1], position[2], bounds, &r.matrix[0], &r.matrix[1],
                                &r.matrix[2]);
    r.morton = zel_matrix_48_morton_encode(r.matrix[0], r.matrix[1], r.matrix[2]);

    float dx = static_cast<float>(r.matrix[0]) - kCentre;
    float dy = static_cast<float>(r.matrix[1]) - kCentre;
    float dz = static_cast<float>(r.matrix[2]) - kCentre;
    r.phi_norm = std::sqrt(dx * dx + dy * dy + dz * dz) / kCornerDistance * kPhi;
    r.em_coupling = (r.phi_norm / 48.0f + 1.0f) * kCouplingFactor;

    int level = (r.matrix[0] + r.matrix[1] + r.matrix[2]) % 23 - 11;
    r.k11_level = static_cast<int8_t>(level);
    r.i_state = kStateTable[static_cast<unsigned>(level) & 3u];
    *record = r;
}

}  // extern "C"
