#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "oracles/skinning_oracle.h"
#include "support/alloc_failure.h"
#include "support/test_mesh.h"
#include "zel_mesh.h"

namespace {

using Floats = std::vector<float>;
using Matrix = std::vector<double>;

Matrix identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
// Points are rows: the translation sits in the last row.
Matrix translation(double x, double y, double z) {
    Matrix m = identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}
Matrix scale(double s) {
    Matrix m = identity();
    m[0] = m[5] = m[10] = s;
    return m;
}

// A skin owning its arrays, released by zel_skin_free.
struct TestSkin {
    zel_skin_t skin{};
    std::vector<double> poses;
    TestSkin(const std::vector<Matrix>& binds, const std::vector<Matrix>& pose_list) {
        skin.joint_count = static_cast<uint32_t>(binds.size());
        skin.joints = static_cast<zel_skin_joint_t*>(std::calloc(binds.size() + 1, sizeof(zel_skin_joint_t)));
        for (size_t j = 0; j < binds.size(); ++j) std::memcpy(skin.joints[j].bind_matrix, binds[j].data(), 128);
        for (const Matrix& p : pose_list) poses.insert(poses.end(), p.begin(), p.end());
    }
    ~TestSkin() { zel_skin_free(&skin); }
    void add_influence(std::vector<uint8_t> joints, std::vector<float> weights) {
        skin.influences = static_cast<zel_skin_influence_t*>(
            std::realloc(skin.influences, sizeof(zel_skin_influence_t) * (skin.influence_count + 1)));
        zel_skin_influence_t& in = skin.influences[skin.influence_count++];
        std::memset(&in, 0, sizeof in);
        for (size_t s = 0; s < joints.size(); ++s) {
            in.joints[s] = joints[s];
            in.weights[s] = weights[s];
        }
    }
    Floats apply(const Floats& rest) {
        Floats out(rest.size(), -99.0f);
        zel_skin_apply(&skin, poses.data(), rest.data(), out.data());
        return out;
    }
};

TEST(Skinning, BlendExamples) {
    const Floats rest = {1.5f, -2.25f, 3.0f};
    {
        // Identity pose and bind: one full influence reproduces the rest position.
        TestSkin s({identity()}, {identity()});
        s.add_influence({0}, {1.0f});
        EXPECT_EQ(s.apply(rest), rest);
    }
    {
        // Half of (+2,0,0) and half of (+4,0,0): a move by (3,0,0).
        TestSkin s({identity(), identity()}, {translation(2, 0, 0), translation(4, 0, 0)});
        s.add_influence({0, 1}, {0.5f, 0.5f});
        EXPECT_EQ(s.apply(rest), (Floats{4.5f, -2.25f, 3.0f}));
    }
    {
        // Weights are not normalised: 0.5 + 0.25 on one identity joint.
        TestSkin s({identity()}, {identity()});
        s.add_influence({0, 0}, {0.5f, 0.25f});
        EXPECT_EQ(s.apply({4, 8, -16}), (Floats{3, 6, -12}));
    }
    {
        // 1e-6 (bits 0x358637BD) is the lightest weight used; 5e-7 is skipped,
        // and so is a joint equal to the joint count, whatever its weight.
        EXPECT_EQ(std::bit_cast<uint32_t>(1e-6f), 0x358637BDu);
        TestSkin s({identity()}, {translation(1e6, 0, 0)});
        s.add_influence({0}, {1e-6f});
        s.add_influence({0}, {5e-7f});
        s.add_influence({1, 0}, {1.0f, 0.0f});
        Floats out = s.apply({0, 0, 0, 0, 0, 0, 7, 7, 7});
        EXPECT_EQ(out[0], 1e6f * 1e-6f);
        EXPECT_EQ(Floats(out.begin() + 3, out.end()), (Floats{0, 0, 0, 0, 0, 0}));
    }
    {
        // The pose applies first: (1,0,0) + 1 = (2,0,0), then scaled by 2.
        // Bind first would give 1 x 2 + 1 = 3.
        TestSkin s({scale(2)}, {translation(1, 0, 0)});
        s.add_influence({0}, {1.0f});
        EXPECT_EQ(s.apply({1, 0, 0}), (Floats{4, 0, 0}));
    }
    {
        // Without influences the output is not written.
        TestSkin s({identity()}, {identity()});
        EXPECT_EQ(s.apply(rest), (Floats{-99, -99, -99}));
    }
}

TEST(Skinning, MatchesTheLiteralLoopBitForBit) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::uniform_real_distribution<float> weight(0.0f, 1.0f);
    const uint32_t joints = 9, vertices = 500;
    std::vector<Matrix> binds(joints), poses(joints);
    for (uint32_t j = 0; j < joints; ++j) {
        binds[j].resize(16);
        poses[j].resize(16);
        for (int e = 0; e < 16; ++e) {
            binds[j][e] = value(rng);
            poses[j][e] = value(rng);
        }
    }
    TestSkin s(binds, poses);
    Floats rest(3 * vertices);
    for (float& r : rest) r = static_cast<float>(value(rng) * 100.0);
    for (uint32_t i = 0; i < vertices; ++i) {
        std::vector<uint8_t> js(4);
        std::vector<float> ws(4);
        for (int k = 0; k < 4; ++k) {
            js[k] = static_cast<uint8_t>(rng() % (joints + 2));  // some past the joints
            ws[k] = rng() % 5 == 0 ? 4e-7f : weight(rng);       // some below the threshold
        }
        s.add_influence(js, ws);
    }
    Floats ours = s.apply(rest);
    Floats literal(rest.size(), -99.0f);
    zel_oracle::literal_skin_apply(&s.skin, s.poses.data(), rest.data(), literal.data());
    EXPECT_EQ(std::memcmp(ours.data(), literal.data(), sizeof(float) * ours.size()), 0);

    // In place: the output may be the rest array itself.
    Floats in_place = rest;
    zel_skin_apply(&s.skin, s.poses.data(), in_place.data(), in_place.data());
    EXPECT_EQ(std::memcmp(in_place.data(), literal.data(), sizeof(float) * ours.size()), 0);
}

TEST(Skinning, RefusalsLeaveTheOutputAlone) {
    TestSkin s({identity()}, {identity()});
    s.add_influence({0}, {1.0f});
    const Floats rest = {1, 2, 3};
    Floats out = {-1, -1, -1};
    zel_skin_apply(nullptr, s.poses.data(), rest.data(), out.data());
    zel_skin_apply(&s.skin, nullptr, rest.data(), out.data());
    zel_skin_apply(&s.skin, s.poses.data(), nullptr, out.data());
    zel_skin_apply(&s.skin, s.poses.data(), rest.data(), nullptr);
    {
        zel_test::FailNthAllocation guard(1);
        zel_skin_apply(&s.skin, s.poses.data(), rest.data(), out.data());
        EXPECT_TRUE(guard.fired());
    }
    // Arrays missing behind their counts, as a cache load that ran out of
    // memory leaves them.
    zel_skin_t no_joints = s.skin;
    no_joints.joints = nullptr;
    zel_skin_apply(&no_joints, s.poses.data(), rest.data(), out.data());
    zel_skin_t no_influences = s.skin;
    no_influences.influences = nullptr;
    zel_skin_apply(&no_influences, s.poses.data(), rest.data(), out.data());
    EXPECT_EQ(out, (Floats{-1, -1, -1}));
    zel_skin_apply(&s.skin, s.poses.data(), rest.data(), out.data());
    EXPECT_EQ(out, rest);
}

TEST(Skinning, FreeAndArchiveReadClearTheRecord) {
    TestSkin s({identity()}, {identity()});
    s.add_influence({0}, {1.0f});
    std::memset(s.skin.trailer, 0xAB, sizeof s.skin.trailer);
    zel_skin_free(&s.skin);
    EXPECT_TRUE(zel_test::all_zero(s.skin));
    zel_skin_free(&s.skin);
    zel_skin_free(nullptr);

    zel_skin_t skin;
    std::memset(&skin, 0xCD, sizeof skin);
    // Any non-null archive: the reader extracts no skins, so none is read from.
    alignas(8) unsigned char stand_in[64] = {};
    auto* archive = reinterpret_cast<ogawa_archive_t*>(stand_in);
    EXPECT_EQ(ogawa_read_skinning(archive, nullptr, &skin), -1);
    EXPECT_TRUE(zel_test::all_zero(skin));
    std::memset(&skin, 0xCD, sizeof skin);
    EXPECT_EQ(ogawa_read_skinning(nullptr, nullptr, &skin), -1);
    EXPECT_EQ(skin.joint_count, 0xCDCDCDCDu);
    EXPECT_EQ(ogawa_read_skinning(archive, nullptr, nullptr), -1);
}

}  // namespace
