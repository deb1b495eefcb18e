// Per-vertex tangent frames: every face adds the frame of its first triangle,
// from the positions and texture coordinates of its first three corners, to
// all its corners; the sums are normalised.
#include <cmath>
#include <cstring>

#include "common/alloc.h"
#include "ogawa_reader/mesh/face_walk.h"
#include "ogawa_topology.h"
#include "ogawa_reader/mesh/vector3.h"

namespace zel {
namespace {

// Below this |det| the texture coordinates are degenerate and the substitute
// reciprocal is used instead of 1 / det.
constexpr float kDegenerateDeterminant = 1e-8f;
constexpr float kSubstituteReciprocal = 1e8f;

// Exact comparison with a stored name that may fill its whole array.
bool name_equals(const char (&stored)[64], const char* wanted) {
    std::size_t length = strnlen(stored, sizeof stored);
    return std::strncmp(stored, wanted, length) == 0 && wanted[length] == '\0';
}

const ogawa_uv_set_t* choose_set(const ogawa_polymesh_t& mesh, const char* name) {
    if (!mesh.uv_sets) return nullptr;
    if (!name) return &mesh.uv_sets[0];
    for (uint32_t i = 0; i < mesh.uv_set_count; ++i) {
        if (name_equals(mesh.uv_sets[i].name, name)) return &mesh.uv_sets[i];
    }
    return nullptr;
}

struct Corner {
    const float* position;
    float s, t;
};

class FrameBuilder {
public:
    FrameBuilder(const ogawa_polymesh_t& mesh, const ogawa_uv_set_t& set, float* tangents, float* bitangents)
        : mesh_(mesh),
          set_(set),
          face_varying_(set.scope == OGAWA_SCOPE_FACE_VARYING),
          tangents_(tangents),
          bitangents_(bitangents) {}

    void add_face(uint64_t first, uint32_t n) {
        if (n < 3) return;
        Corner c[3];
        for (uint32_t j = 0; j < 3; ++j) {
            if (!read_corner(first, j, &c[j])) return;
        }
        float ds1 = c[1].s - c[0].s, dt1 = c[1].t - c[0].t;
        float ds2 = c[2].s - c[0].s, dt2 = c[2].t - c[0].t;
        float det = ds1 * dt2 - dt1 * ds2;
        float r = std::fabs(det) < kDegenerateDeterminant ? kSubstituteReciprocal : 1.0f / det;
        float tangent[3], bitangent[3];
        for (int a = 0; a < 3; ++a) {
            float e1 = c[1].position[a] - c[0].position[a];
            float e2 = c[2].position[a] - c[0].position[a];
            tangent[a] = (e1 * dt2 - e2 * dt1) * r;
            bitangent[a] = (e2 * ds1 - e1 * ds2) * r;
        }
        for (uint32_t j = 0; j < n; ++j) {
            uint32_t v = mesh_.face_indices[first + j];
            if (v >= mesh_.position_count) continue;
            vec3::add_to(tangents_ + 3 * std::size_t{v}, tangent);
            vec3::add_to(bitangents_ + 3 * std::size_t{v}, bitangent);
        }
    }

private:
    // Position and coordinate of corner j of the face starting at first; false
    // when either does not exist. A face-varying set has a coordinate per
    // corner, a per-vertex set one per vertex (uvs[0] stands in for those
    // past its end); either goes through the set's indices when it has them.
    bool read_corner(uint64_t first, uint32_t j, Corner* out) const {
        uint32_t v = mesh_.face_indices[first + j];
        if (v >= mesh_.position_count) return false;
        uint64_t entry;
        if (face_varying_) {
            entry = first + j;
            if (set_.indices) {
                if (entry >= set_.index_count) return false;
                entry = set_.indices[entry];
            }
        } else if (set_.indices) {
            if (v >= set_.index_count) return false;
            entry = set_.indices[v];
        } else {
            entry = v < set_.uv_count ? v : 0u;
        }
        if (!set_.uvs || entry >= set_.uv_count) return false;
        out->position = mesh_.positions + 3 * std::size_t{v};
        out->s = set_.uvs[2 * entry];
        out->t = set_.uvs[2 * entry + 1];
        return true;
    }

    const ogawa_polymesh_t& mesh_;
    const ogawa_uv_set_t& set_;
    const bool face_varying_;
    float* tangents_;
    float* bitangents_;
};

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API int32_t ogawa_compute_tangent_frame(ogawa_polymesh_t* mesh, const char* uv_set_name) {
    if (!mesh || mesh->position_count == 0 || !mesh->positions || mesh->uv_set_count == 0) return -1;
    const ogawa_uv_set_t* set = zel::choose_set(*mesh, uv_set_name);
    if (!set) return -2;
    if (!zel::faces::corners_inside(*mesh)) return -4;
    const uint32_t vertex_count = mesh->position_count;

    ogawa_tangent_frame_t& frame = mesh->tangent_frame;
    ogawa_free_tangent_frame(&frame);
    frame.count = vertex_count;
    frame.tangents = zel::alloc_zeroed_array<float>(3 * std::size_t{vertex_count});
    if (!frame.tangents) return -3;
    frame.bitangents = zel::alloc_zeroed_array<float>(3 * std::size_t{vertex_count});
    if (!frame.bitangents) return -3;

    zel::FrameBuilder builder(*mesh, *set, frame.tangents, frame.bitangents);
    zel::faces::for_each_face(mesh->face_counts, mesh->face_count,
                              [&](uint32_t, uint64_t first, uint32_t n) { builder.add_face(first, n); });
    for (uint32_t v = 0; v < vertex_count; ++v) {
        zel::vec3::normalise_if_long(frame.tangents + 3 * std::size_t{v});
        zel::vec3::normalise_if_long(frame.bitangents + 3 * std::size_t{v});
    }
    frame.scope = OGAWA_SCOPE_VERTEX;
    return 0;
}

}  // extern "C"
