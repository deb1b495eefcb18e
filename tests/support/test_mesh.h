// Polymeshes filled by hand for the topology, tangent and mesh cache tests:
// every array is a malloc'd copy, released by ogawa_free_polymesh.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ogawa_polymesh.h"

namespace zel_test {

// A malloc'd copy of values; null for an empty vector.
template <class T>
T* owned_copy(const std::vector<T>& values) {
    if (values.empty()) return nullptr;
    T* out = static_cast<T*>(std::malloc(sizeof(T) * values.size()));
    std::memcpy(out, values.data(), sizeof(T) * values.size());
    return out;
}

template <class Record>
bool all_zero(const Record& r) {
    const auto* p = reinterpret_cast<const unsigned char*>(&r);
    for (size_t i = 0; i < sizeof r; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

class TestMesh {
public:
    // face_counts empty: no face count array, face_count = face_count_without_counts.
    TestMesh(const std::vector<float>& positions, const std::vector<uint32_t>& face_counts,
             const std::vector<uint32_t>& face_indices, uint32_t face_count_without_counts = 0) {
        std::memset(&mesh_, 0, sizeof mesh_);
        mesh_.positions = owned_copy(positions);
        mesh_.position_count = static_cast<uint32_t>(positions.size() / 3);
        mesh_.face_counts = owned_copy(face_counts);
        mesh_.face_count = face_counts.empty() ? face_count_without_counts : static_cast<uint32_t>(face_counts.size());
        mesh_.face_indices = owned_copy(face_indices);
        mesh_.face_index_count = static_cast<uint32_t>(face_indices.size());
        mesh_.sample_count = 1;
        mesh_.transform[0] = mesh_.transform[5] = mesh_.transform[10] = mesh_.transform[15] = 1.0;
    }
    ~TestMesh() { ogawa_free_polymesh(&mesh_); }
    TestMesh(const TestMesh&) = delete;
    TestMesh& operator=(const TestMesh&) = delete;

    void set_normals(const std::vector<float>& normals, uint32_t scope) {
        std::free(mesh_.normals);
        mesh_.normals = owned_copy(normals);
        mesh_.normal_count = static_cast<uint32_t>(normals.size() / 3);
        mesh_.normal_scope = scope;
    }

    // Appends a uv set (indices empty: none).
    void add_uv_set(const std::string& name, const std::vector<float>& uvs, const std::vector<uint32_t>& indices,
                    uint32_t scope) {
        auto* grown = static_cast<ogawa_uv_set_t*>(
            std::realloc(mesh_.uv_sets, sizeof(ogawa_uv_set_t) * (mesh_.uv_set_count + 1)));
        mesh_.uv_sets = grown;
        ogawa_uv_set_t& set = grown[mesh_.uv_set_count++];
        std::memset(&set, 0, sizeof set);
        std::strncpy(set.name, name.c_str(), sizeof set.name - 1);
        set.uvs = owned_copy(uvs);
        set.uv_count = static_cast<uint32_t>(uvs.size() / 2);
        set.indices = owned_copy(indices);
        set.index_count = static_cast<uint32_t>(indices.size());
        set.scope = scope;
    }

    ogawa_polymesh_t* get() { return &mesh_; }
    ogawa_polymesh_t* operator->() { return &mesh_; }
    const ogawa_face_block_t* face_block() const {
        return reinterpret_cast<const ogawa_face_block_t*>(&mesh_.face_counts);
    }

private:
    ogawa_polymesh_t mesh_;
};

}  // namespace zel_test
