#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "ogawa_reader.h"
#include "support/test_mesh.h"

namespace {

template <class T>
T* owned(size_t n) {
    return static_cast<T*>(std::calloc(n, sizeof(T)));
}

// A mesh with every owned array set, two uv sets, a tangent frame and a
// manifold that borrows the mesh's face indices.
ogawa_polymesh_t full_mesh() {
    ogawa_polymesh_t m;
    std::memset(&m, 0, sizeof m);
    std::strcpy(m.name, "mesh");
    std::strcpy(m.path, "/mesh");
    m.positions = owned<float>(9);
    m.position_count = 3;
    m.aux_vectors = owned<float>(3);
    m.normals = owned<float>(9);
    m.normal_count = 3;
    m.normal_indices = owned<uint32_t>(3);
    m.face_counts = owned<uint32_t>(1);
    m.face_count = 1;
    m.face_indices = owned<uint32_t>(3);
    m.face_index_count = 3;
    m.uv_sets = owned<ogawa_uv_set_t>(2);
    m.uv_set_count = 2;
    for (int i = 0; i < 2; ++i) {
        std::strcpy(m.uv_sets[i].name, "uv");
        m.uv_sets[i].uvs = owned<float>(6);
        m.uv_sets[i].uv_count = 3;
        m.uv_sets[i].indices = owned<uint32_t>(3);
        m.uv_sets[i].index_count = 3;
        m.uv_sets[i].scope = OGAWA_SCOPE_FACE_VARYING;
    }
    m.tangent_frame.tangents = owned<float>(9);
    m.tangent_frame.bitangents = owned<float>(9);
    m.tangent_frame.count = 3;
    m.tangent_frame.scope = OGAWA_SCOPE_VERTEX;
    m.manifold.vertex_faces = owned<uint32_t>(3);
    m.manifold.vertex_face_offsets = owned<uint32_t>(4);
    m.manifold.vertex_count = 3;
    m.manifold.face_indices = m.face_indices;  // borrowed
    m.manifold.face_offsets = owned<uint32_t>(2);
    m.manifold.face_count = 1;
    m.manifold.spare0 = owned<unsigned char>(4);
    m.manifold.spare1 = owned<unsigned char>(4);
    m.manifold.spare2 = owned<unsigned char>(4);
    m.sample_times = owned<double>(1);
    m.sample_count = 1;
    m.transform[0] = m.transform[5] = m.transform[10] = m.transform[15] = 1.0;
    return m;
}

// The sanitizer build turns a double or missing release into a failure.
TEST(PolymeshRecords, FreeReleasesEverythingOnceAndClears) {
    ogawa_polymesh_t m = full_mesh();
    ogawa_free_polymesh(&m);
    EXPECT_TRUE(zel_test::all_zero(m));
    ogawa_free_polymesh(&m);  // a cleared record: nothing to do
    EXPECT_TRUE(zel_test::all_zero(m));
    ogawa_free_polymesh(nullptr);
}

TEST(PolymeshRecords, PartReleasesLeaveEmptyRecordsThatCanBeReleasedAgain) {
    ogawa_polymesh_t m = full_mesh();
    ogawa_free_uv_set(&m.uv_sets[0]);
    EXPECT_TRUE(zel_test::all_zero(m.uv_sets[0]));
    ogawa_free_uv_set(&m.uv_sets[0]);
    ogawa_free_tangent_frame(&m.tangent_frame);
    EXPECT_TRUE(zel_test::all_zero(m.tangent_frame));
    ogawa_free_tangent_frame(&m.tangent_frame);
    ogawa_free_manifold(&m.manifold);
    EXPECT_TRUE(zel_test::all_zero(m.manifold));
    EXPECT_NE(m.face_indices, nullptr);  // the borrowed array stays with the mesh
    ogawa_free_manifold(&m.manifold);
    ogawa_free_polymesh(&m);
    EXPECT_TRUE(zel_test::all_zero(m));
    ogawa_free_uv_set(nullptr);
    ogawa_free_tangent_frame(nullptr);
    ogawa_free_manifold(nullptr);
}

}  // namespace
