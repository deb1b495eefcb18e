#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "alembic_fixtures.h"
#include "support/alloc_failure.h"
#include "zel_alembic.h"

namespace {

using zel_test::Archive;

// Positions written by an interpolation, released on scope exit.
struct Sampled {
    zel_alembic_mesh_t mesh;
    Sampled() { std::memset(&mesh, 0, sizeof mesh); }
    ~Sampled() { zel_alembic_mesh_free(&mesh); }
    std::vector<float> positions() const {
        return std::vector<float>(mesh.positions, mesh.positions + 3 * size_t{mesh.vertex_count});
    }
    int32_t at(Archive& a, float t) {
        zel_alembic_mesh_free(&mesh);
        return zel_alembic_interpolate_time(a.get(), t, &mesh);
    }
};

TEST(AlembicSampleFrame, BaseMeshOrFirstFrameOfANumber) {
    Archive a;
    zel_alembic_mesh_t out;
    EXPECT_EQ(zel_alembic_sample_frame(a.get(), 0, &out), -1);  // nothing at all
    a.add_mesh(zel_test::triangle_mesh(), "base");
    ASSERT_EQ(zel_alembic_sample_frame(a.get(), 12, &out), 0);  // no frames: the first base mesh
    EXPECT_EQ(std::memcmp(&out, &a->meshes[0], sizeof out), 0);
    EXPECT_EQ(zel_alembic_sample_frame(nullptr, 0, &out), -1);
    EXPECT_EQ(zel_alembic_sample_frame(a.get(), 0, nullptr), -1);

    a.add_frame(0, 0.0f, {{1, 1, 1}});
    a.add_frame(4, 1.0f, {});  // no meshes: passed over
    a.add_frame(4, 2.0f, {{2, 2, 2, 3, 3, 3}});
    a.add_frame(static_cast<uint32_t>(-1), 3.0f, {{4, 4, 4}});
    ASSERT_EQ(zel_alembic_sample_frame(a.get(), 0, &out), 0);  // frame 0 exists
    EXPECT_EQ(out.positions, a->frames[0].meshes[0].positions);
    ASSERT_EQ(zel_alembic_sample_frame(a.get(), 4, &out), 0);
    EXPECT_EQ(out.vertex_count, 2u);
    EXPECT_EQ(out.positions, a->frames[2].meshes[0].positions);
    ASSERT_EQ(zel_alembic_sample_frame(a.get(), -1, &out), 0);
    EXPECT_EQ(out.positions[0], 4.0f);
    EXPECT_EQ(zel_alembic_sample_frame(a.get(), 5, &out), -1);
}

TEST(AlembicInterpolateTime, LinearBetweenEnclosingFrames) {
    Archive a;
    Sampled s;
    a.add_frame(1, 0.0f, {{0, 10, -4, 1e8f, 1, 1}});
    EXPECT_EQ(s.at(a, 0.0f), -1);  // one frame
    a.add_frame(2, 1.0f, {{10, 10, 4, 1, 1, 1}});
    a.add_frame(3, 2.0f, {{20, 0, 4, 1, 1, 5}});

    ASSERT_EQ(s.at(a, 0.25f), 0);
    EXPECT_EQ(s.positions(), (std::vector<float>{2.5f, 10, -2, 75000000.0f, 1, 1}));
    ASSERT_EQ(s.at(a, 0.0f), 0);  // exactly the first frame
    EXPECT_EQ(s.positions(), (std::vector<float>{0, 10, -4, 1e8f, 1, 1}));
    // At the time shared by two intervals the earlier one is used: alpha 1 of
    // (1e8 -> 1) gives (1 - 1e8) + 1e8 = 0 in single precision, whereas the
    // later interval would start at exactly 1.
    ASSERT_EQ(s.at(a, 1.0f), 0);
    EXPECT_EQ(s.positions()[3], 0.0f);
    ASSERT_EQ(s.at(a, 1.5f), 0);
    EXPECT_EQ(s.positions(), (std::vector<float>{15, 5, 4, 1, 1, 3}));
    EXPECT_EQ(s.mesh.vertices, nullptr);  // only the count and the positions are written

    EXPECT_EQ(s.at(a, -0.1f), -1);
    EXPECT_EQ(s.at(a, 2.5f), -1);
    EXPECT_EQ(s.at(a, std::numeric_limits<float>::quiet_NaN()), -1);
    EXPECT_EQ(zel_alembic_interpolate_time(nullptr, 0.5f, &s.mesh), -1);
    EXPECT_EQ(zel_alembic_interpolate_time(a.get(), 0.5f, nullptr), -1);

    zel_test::FailNthAllocation guard(1);
    EXPECT_EQ(s.at(a, 0.5f), -4);
    EXPECT_EQ(s.mesh.positions, nullptr);
    EXPECT_EQ(s.mesh.vertex_count, 0u);
}

TEST(AlembicInterpolateTime, FramesThatCannotBeInterpolated) {
    Sampled s;
    {
        // Equal times: the earlier frame's positions, no 0 / 0.
        Archive a;
        a.add_frame(1, 0.5f, {{1, 2, 3}});
        a.add_frame(2, 0.5f, {{7, 8, 9}});
        ASSERT_EQ(s.at(a, 0.5f), 0);
        EXPECT_EQ(s.positions(), (std::vector<float>{1, 2, 3}));
    }
    {
        Archive a;  // vertex counts differ
        a.add_frame(1, 0, {{1, 2, 3}});
        a.add_frame(2, 1, {{1, 2, 3, 4, 5, 6}});
        EXPECT_EQ(s.at(a, 0.5f), -1);
    }
    {
        Archive a;  // a frame without meshes in the interval
        a.add_frame(1, 0, {{1, 2, 3}});
        a.add_frame(2, 1, {});
        EXPECT_EQ(s.at(a, 0.5f), -1);
        a->frames[0].mesh_count = 0;
        EXPECT_EQ(s.at(a, 0.5f), -1);
        a->frames[0].mesh_count = 1;
    }
    {
        Archive a;  // frame meshes that lost their positions
        a.add_frame(1, 0, {{1, 2, 3}});
        a.add_frame(2, 1, {{1, 2, 3}});
        std::free(a->frames[1].meshes[0].positions);
        a->frames[1].meshes[0].positions = nullptr;
        EXPECT_EQ(s.at(a, 0.5f), -1);
    }
    {
        Archive a;  // no vertices: a (released) empty array and 0
        a.add_frame(1, 0, {{}});
        a.add_frame(2, 1, {{}});
        ASSERT_EQ(s.at(a, 0.5f), 0);
        EXPECT_EQ(s.mesh.vertex_count, 0u);
        EXPECT_NE(s.mesh.positions, nullptr);
    }
}

TEST(AlembicFrameRange, FirstLastAndFps) {
    Archive a;
    a->fps = 30.0f;
    uint32_t first = 9, last = 9;
    float fps = 0;
    zel_alembic_get_frame_range(a.get(), &first, &last, &fps);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(last, 0u);
    EXPECT_EQ(fps, 30.0f);
    a.add_frame(10, 0, {});
    a.add_frame(20, 1, {});
    a.add_frame(30, 2, {});
    zel_alembic_get_frame_range(a.get(), nullptr, &last, nullptr);
    EXPECT_EQ(last, 2u);
    last = 9;
    zel_alembic_get_frame_range(nullptr, &first, &last, &fps);
    EXPECT_EQ(last, 9u);
}

}  // namespace
