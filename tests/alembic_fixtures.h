// Meshes and archives for the mesh conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "zel_alembic.h"

namespace zel_test {

struct RawMesh {
    std::vector<float> positions;
    std::vector<std::uint32_t> faces;
    std::uint32_t vertex_count() const { return static_cast<std::uint32_t>(positions.size() / 3); }
    std::uint32_t face_count() const { return static_cast<std::uint32_t>(faces.size() / 3); }
};

// Three vertices at the bounds' corners and centre, one triangle: lattice
// cells (0,0,0), (47,47,47) and (23,23,23).
inline RawMesh triangle_mesh() { return {{0, 0, 0, 2, 4, 8, 1, 2, 4}, {0, 1, 2}}; }

// Random positions in a box; faces with repeated, degenerate and (when
// out_of_range) out-of-range indices.
inline RawMesh random_mesh(std::mt19937& rng, std::uint32_t vertices, std::uint32_t faces, bool out_of_range) {
    RawMesh m;
    std::uniform_real_distribution<float> coord(-5.0f, 5.0f);
    for (std::uint32_t i = 0; i < 3 * vertices; ++i) m.positions.push_back(coord(rng));
    std::uniform_int_distribution<std::uint32_t> index(0, vertices == 0 ? 0 : vertices - 1);
    for (std::uint32_t f = 0; f < faces; ++f) {
        std::uint32_t a = index(rng), b = index(rng), c = index(rng);
        switch (rng() % 8) {
            case 0: b = a; break;               // a vertex named twice
            case 1: b = a; c = a; break;        // all three the same
            case 2:
                if (out_of_range) c = (rng() % 2) ? vertices + rng() % 4 : 0xFFFFFFFFu;
                break;
            default: break;
        }
        m.faces.insert(m.faces.end(), {a, b, c});
    }
    return m;
}

inline int32_t load_raw(const RawMesh& raw, zel_alembic_mesh_t* mesh, const char* name = "mesh") {
    return zel_alembic_load_raw(raw.positions.data(), raw.vertex_count(), raw.faces.empty() ? nullptr : raw.faces.data(),
                                raw.face_count(), name, mesh);
}

// An archive released on scope exit; meshes and frames added through it are
// owned by the archive.
class Archive {
public:
    Archive() { std::memset(&a_, 0, sizeof a_); }
    ~Archive() { zel_alembic_free(&a_); }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;
    zel_alembic_t* operator->() { return &a_; }
    zel_alembic_t* get() { return &a_; }
    const zel_alembic_t& operator*() const { return a_; }

    // Appends a processed mesh built from raw arrays; returns its index.
    std::uint32_t add_mesh(const RawMesh& raw, const char* name = "mesh") {
        zel_alembic_mesh_t m;
        EXPECT_EQ(load_raw(raw, &m, name), 0);
        return add_mesh_record(m);
    }

    // Appends a mesh record as it is (its arrays become the archive's).
    std::uint32_t add_mesh_record(const zel_alembic_mesh_t& m) {
        a_.meshes = static_cast<zel_alembic_mesh_t*>(std::realloc(a_.meshes, sizeof m * (a_.mesh_count + 1)));
        a_.meshes[a_.mesh_count] = m;
        return a_.mesh_count++;
    }

    // Appends a frame whose meshes carry the given positions.
    void add_frame(std::uint32_t number, float time, const std::vector<std::vector<float>>& meshes) {
        a_.frames = static_cast<zel_alembic_frame_t*>(std::realloc(a_.frames, sizeof(zel_alembic_frame_t) * (a_.frame_count + 1)));
        zel_alembic_frame_t& f = a_.frames[a_.frame_count++];
        f.frame_number = number;
        f.time = time;
        f.mesh_count = static_cast<std::uint32_t>(meshes.size());
        f.meshes = static_cast<zel_alembic_mesh_t*>(std::calloc(meshes.size() + 1, sizeof(zel_alembic_mesh_t)));
        for (std::size_t i = 0; i < meshes.size(); ++i) {
            f.meshes[i].vertex_count = static_cast<std::uint32_t>(meshes[i].size() / 3);
            f.meshes[i].positions = static_cast<float*>(std::malloc(meshes[i].size() * sizeof(float) + 1));
            if (!meshes[i].empty()) std::memcpy(f.meshes[i].positions, meshes[i].data(), meshes[i].size() * sizeof(float));
        }
    }

private:
    zel_alembic_t a_;
};

// A zero-filled mesh record that claims vertices but holds no arrays.
inline zel_alembic_mesh_t hollow_mesh(std::uint32_t vertex_count) {
    zel_alembic_mesh_t m;
    std::memset(&m, 0, sizeof m);
    m.vertex_count = vertex_count;
    return m;
}

}  // namespace zel_test
