#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>

#include "oracles/matrix48_oracle.h"
#include "zelset.h"
#include "zelset/matrix48_constants.h"

namespace {

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }
float from_bits(uint32_t b) { return std::bit_cast<float>(b); }

struct Triple {
    uint8_t x, y, z;
    bool operator==(const Triple&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Triple& t) {
    return os << '(' << int(t.x) << ", " << int(t.y) << ", " << int(t.z) << ')';
}

// Output sentinels show whether a function wrote anything.
constexpr uint8_t kUntouched = 0xA5;

using TripleOp = void (*)(uint8_t, uint8_t, uint8_t, uint8_t*, uint8_t*, uint8_t*);
Triple apply(TripleOp op, uint8_t x, uint8_t y, uint8_t z) {
    Triple t{kUntouched, kUntouched, kUntouched};
    op(x, y, z, &t.x, &t.y, &t.z);
    return t;
}

zel_matrix_48_cell_t cell(uint8_t x, uint8_t y, uint8_t z) {
    zel_matrix_48_cell_t c;
    zel_matrix_48_identity(x, y, z, &c);
    return c;
}

zel_matrix_48_offspring_t reproduce(const zel_matrix_48_cell_t& a, const zel_matrix_48_cell_t& b, int32_t mode) {
    zel_matrix_48_offspring_t child;
    std::memset(&child, kUntouched, sizeof child);
    zel_matrix_48_reproduce(&a, &b, mode, &child);
    return child;
}

TEST(Matrix48Constants, AreTheNearestSinglesToTheirDefinitions) {
    using namespace zel::matrix48;
    EXPECT_EQ(bits(kCornerDistance), bits(zel_oracle::m48_corner_distance()));
    EXPECT_EQ(bits(kPhi), bits(zel_oracle::m48_phi()));
    EXPECT_EQ(bits(kPhiSquared), bits(zel_oracle::m48_phi_squared()));
    EXPECT_NE(bits(kPhiSquared), bits(kPhi * kPhi));  // the square of the rounded phi is one ulp higher
    EXPECT_EQ(std::bit_cast<uint64_t>(kCouplingFactor), std::bit_cast<uint64_t>(zel_oracle::m48_coupling_factor()));
    EXPECT_EQ(bits(kRootGuard), bits(zel_oracle::m48_root_guard()));
    // Exact decimal expansions of the stored values.
    EXPECT_EQ(double(kCornerDistance), 40.70319366455078125);
    EXPECT_EQ(double(kPhi), 1.61803400516510009765625);
    EXPECT_EQ(double(kPhiSquared), 2.61803388595581054687500);
}

TEST(Matrix48Morton, KnownCodes) {
    EXPECT_EQ(zel_matrix_48_morton_encode(1, 0, 0), 1u);
    EXPECT_EQ(zel_matrix_48_morton_encode(0, 1, 0), 2u);
    EXPECT_EQ(zel_matrix_48_morton_encode(0, 0, 1), 4u);
    EXPECT_EQ(zel_matrix_48_morton_encode(63, 63, 63), 262143u);
    EXPECT_EQ(zel_matrix_48_morton_encode(47, 47, 47), 233471u);
    EXPECT_EQ(zel_matrix_48_morton_encode(10, 20, 30), 27560u);
    EXPECT_EQ(zel_matrix_48_morton_encode(64, 0, 0), 0u);
    // x = 101b, y = 011b, z = 110b: bits 0,1 | 4,5 | 6,8 = 3 + 48 + 320.
    EXPECT_EQ(zel_matrix_48_morton_encode(5, 3, 6), 371u);
    EXPECT_EQ(zel_matrix_48_morton_encode(32, 0, 0), 1u << 15);
    EXPECT_EQ(zel_matrix_48_morton_encode(0, 0, 32), 1u << 17);
}

TEST(Matrix48Morton, MatchesTheBitLoopOnEverySixBitTripleAndIgnoresHighBits) {
    for (uint32_t x = 0; x < 64; ++x) {
        for (uint32_t y = 0; y < 64; ++y) {
            for (uint32_t z = 0; z < 64; ++z) {
                ASSERT_EQ(zel_matrix_48_morton_encode(x, y, z), zel_oracle::morton_bit_loop(x, y, z))
                    << x << ' ' << y << ' ' << z;
            }
        }
    }
    EXPECT_EQ(zel_matrix_48_morton_encode(64 + 5, 0xFFFFFFC0u | 3, 0x80000006u), 371u);
    EXPECT_EQ(zel_matrix_48_morton_encode(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 262143u);
    EXPECT_EQ(zel_matrix_48_morton_encode(0xFFFFFFC0u, 0xFFFFFFC0u, 0xFFFFFFC0u), 0u);
    std::mt19937 rng(48);
    for (int i = 0; i < 100000; ++i) {
        uint32_t x = rng(), y = rng(), z = rng();
        ASSERT_EQ(zel_matrix_48_morton_encode(x, y, z), zel_oracle::morton_bit_loop(x & 63, y & 63, z & 63));
    }
}

TEST(Matrix48Cell, MirrorTachyonCrossoverAndChirality) {
    EXPECT_EQ(apply(zel_matrix_48_palindrome, 0, 47, 50), (Triple{47, 0, 253}));
    EXPECT_EQ(apply(zel_matrix_48_palindrome, 23, 24, 255), (Triple{24, 23, 48}));  // 47 - 255 = -208 -> 48
    EXPECT_EQ(apply(zel_matrix_48_mutate_tachyon, 0, 1, 48), (Triple{47, 47, 0}));
    EXPECT_EQ(apply(zel_matrix_48_mutate_tachyon, 49, 200, 24), (Triple{0, 0, 24}));
    EXPECT_EQ(apply(zel_matrix_48_mutate_tachyon, 47, 2, 255), (Triple{1, 46, 0}));

    Triple mean{kUntouched, kUntouched, kUntouched};
    zel_matrix_48_crossover_bind(10, 20, 30, 11, 21, 31, &mean.x, &mean.y, &mean.z);
    EXPECT_EQ(mean, (Triple{10, 20, 30}));
    zel_matrix_48_crossover_bind(255, 255, 0, 255, 254, 1, &mean.x, &mean.y, &mean.z);
    EXPECT_EQ(mean, (Triple{255, 254, 0}));  // the sum is taken wider than 8 bits

    EXPECT_EQ(zel_matrix_48_chirality(5, 3), 1);
    EXPECT_EQ(zel_matrix_48_chirality(3, 5), -1);
    EXPECT_EQ(zel_matrix_48_chirality(4, 4), 0);
    EXPECT_EQ(zel_matrix_48_chirality(255, 0), 1);
    EXPECT_EQ(zel_matrix_48_chirality(0, 255), -1);
}

TEST(Matrix48Cell, NullOutputsWriteNothing) {
    uint8_t a = kUntouched, b = kUntouched;
    zel_matrix_48_palindrome(1, 2, 3, &a, &b, nullptr);
    zel_matrix_48_mutate_tachyon(1, 2, 3, nullptr, &a, &b);
    zel_matrix_48_crossover_bind(1, 2, 3, 4, 5, 6, &a, nullptr, &b);
    EXPECT_EQ(a, kUntouched);
    EXPECT_EQ(b, kUntouched);
    zel_matrix_48_identity(1, 2, 3, nullptr);

    zel_matrix_48_cell_t p = cell(10, 20, 30);
    zel_matrix_48_offspring_t child;
    std::memset(&child, kUntouched, sizeof child);
    zel_matrix_48_reproduce(nullptr, &p, 0, &child);
    zel_matrix_48_reproduce(&p, nullptr, 1, &child);
    EXPECT_EQ(child.x, kUntouched);
    EXPECT_EQ(bits(child.phi_blend), 0xA5A5A5A5u);
    zel_matrix_48_reproduce(&p, &p, 2, nullptr);
}

TEST(Matrix48Cell, LevelAndState) {
    EXPECT_EQ(zel_matrix_48_k11_level(0, 0, 0), -11);
    EXPECT_EQ(zel_matrix_48_k11_level(47, 47, 47), -8);
    EXPECT_EQ(zel_matrix_48_k11_level(10, 20, 30), 3);
    EXPECT_EQ(zel_matrix_48_k11_level(22, 0, 0), 11);
    EXPECT_EQ(zel_matrix_48_k11_level(23, 0, 0), -11);
    EXPECT_EQ(zel_matrix_48_k11_level(255, 255, 255), -5);  // 765 = 33 * 23 + 6
    EXPECT_EQ(zel_matrix_48_i_state(0), 0);
    EXPECT_EQ(zel_matrix_48_i_state(1), 1);
    EXPECT_EQ(zel_matrix_48_i_state(2), 255);
    EXPECT_EQ(zel_matrix_48_i_state(3), 2);
    EXPECT_EQ(zel_matrix_48_i_state(4), 0);
    EXPECT_EQ(zel_matrix_48_i_state(-1), 2);
    EXPECT_EQ(zel_matrix_48_i_state(-2), 255);  // ...1110 & 3 = 2
    EXPECT_EQ(zel_matrix_48_i_state(-11), 1);   // ...0101 & 3 = 1
    EXPECT_EQ(zel_matrix_48_i_state(INT32_MIN), 0);
    EXPECT_EQ(zel_matrix_48_i_state(INT32_MAX), 2);
}

TEST(Matrix48Cell, PhiNormAndCouplingBits) {
    for (Triple corner : {Triple{0, 0, 0}, Triple{47, 47, 47}, Triple{0, 47, 0}}) {
        EXPECT_EQ(zel_matrix_48_phi_norm(corner.x, corner.y, corner.z), 1.6180340051651f) << corner;
        EXPECT_EQ(bits(zel_matrix_48_phi_norm(corner.x, corner.y, corner.z)), 0x3FCF1BBDu) << corner;
    }
    EXPECT_EQ(double(zel_matrix_48_phi_norm(23, 23, 23)), 0.0344262532889843);
    EXPECT_EQ(double(zel_matrix_48_phi_norm(24, 24, 24)), 0.0344262532889843);
    EXPECT_EQ(double(zel_matrix_48_phi_norm(10, 20, 30)), 0.6116516590118408);
    EXPECT_EQ(double(zel_matrix_48_em_coupling(0, 0, 0)), 11.025286674499512);
    EXPECT_EQ(double(zel_matrix_48_em_coupling(23, 23, 23)), 10.6734037399292);
    EXPECT_EQ(double(zel_matrix_48_em_coupling(10, 20, 30)), 10.801665306091309);
    EXPECT_EQ(bits(zel_matrix_48_phi_norm(23, 23, 23)), 0x3D0D028Bu);
    EXPECT_EQ(bits(zel_matrix_48_phi_norm(10, 20, 30)), 0x3F1C9534u);
    EXPECT_EQ(bits(zel_matrix_48_em_coupling(0, 0, 0)), 0x41306793u);
    EXPECT_EQ(bits(zel_matrix_48_em_coupling(10, 20, 30)), 0x412CD39Fu);
    // Worked separately, one float32 rounding per step: (47, 23, 23) has offsets
    // 23.5, -0.5, -0.5 and squared length 552.75; (5, 3, 6) has 342.25 + 420.25 +
    // 306.25 = 1068.75; (255, 255, 255) lies outside the lattice at 3 * 231.5^2.
    EXPECT_EQ(bits(zel_matrix_48_phi_norm(47, 23, 23)), 0x3F6F41A1u);
    EXPECT_EQ(bits(zel_matrix_48_em_coupling(47, 23, 23)), 0x412DF98Bu);
    EXPECT_EQ(bits(zel_matrix_48_phi_norm(5, 3, 6)), 0x3FA65812u);
    EXPECT_EQ(bits(zel_matrix_48_em_coupling(5, 3, 6)), 0x412F45B8u);
    EXPECT_EQ(bits(zel_matrix_48_phi_norm(255, 255, 255)), 0x417F079Au);
    EXPECT_EQ(bits(zel_matrix_48_em_coupling(255, 255, 255)), 0x4163520Bu);
}

TEST(Matrix48Cell, PhiNormAndCouplingMatchTheDoubleOracleEverywhere) {
    // Every lattice cell, and the 8-bit range on the three axes and diagonal.
    for (int x = 0; x < 48; ++x) {
        for (int y = 0; y < 48; ++y) {
            for (int z = 0; z < 48; ++z) {
                float p = zel_oracle::m48_phi_norm(uint8_t(x), uint8_t(y), uint8_t(z));
                ASSERT_EQ(bits(zel_matrix_48_phi_norm(uint8_t(x), uint8_t(y), uint8_t(z))), bits(p));
                ASSERT_EQ(bits(zel_matrix_48_em_coupling(uint8_t(x), uint8_t(y), uint8_t(z))),
                          bits(zel_oracle::m48_coupling(p)));
            }
        }
    }
    for (int c = 0; c < 256; ++c) {
        const uint8_t v = uint8_t(c);
        for (Triple t : {Triple{v, 0, 0}, Triple{0, v, 0}, Triple{0, 0, v}, Triple{v, v, v}}) {
            ASSERT_EQ(bits(zel_matrix_48_phi_norm(t.x, t.y, t.z)), bits(zel_oracle::m48_phi_norm(t.x, t.y, t.z)));
        }
    }
}

TEST(Matrix48Cell, IdentityFillsEveryField) {
    zel_matrix_48_cell_t c;
    std::memset(&c, kUntouched, sizeof c);
    zel_matrix_48_identity(10, 20, 30, &c);
    EXPECT_EQ((Triple{c.x, c.y, c.z}), (Triple{10, 20, 30}));
    EXPECT_EQ((Triple{c.mirror_x, c.mirror_y, c.mirror_z}), (Triple{37, 27, 17}));
    EXPECT_EQ(c.k11_level, 3);
    EXPECT_EQ(c.i_state, 2);
    EXPECT_EQ(c.morton, 27560u);
    EXPECT_EQ(bits(c.phi_norm), 0x3F1C9534u);
    EXPECT_EQ(bits(c.em_coupling), 0x412CD39Fu);

    zel_matrix_48_identity(50, 0, 255, &c);
    EXPECT_EQ((Triple{c.mirror_x, c.mirror_y, c.mirror_z}), (Triple{253, 47, 48}));
    EXPECT_EQ(c.k11_level, 305 % 23 - 11);
    EXPECT_EQ(c.morton, zel_oracle::morton_bit_loop(50, 0, 255 & 63));
    EXPECT_EQ(bits(c.em_coupling), bits(zel_matrix_48_em_coupling(50, 0, 255)));
}

TEST(Matrix48Reproduce, ThreeModesWithTheReferenceParents) {
    const zel_matrix_48_cell_t a = cell(10, 20, 30), b = cell(12, 22, 32);
    struct Expected {
        int32_t mode;
        Triple coords;
        int chirality, level, state;
        uint32_t coupling_bits;  // coupling of the child's cell, worked separately
    };
    for (const Expected& e : {Expected{0, {11, 21, 31}, -1, 6, 255, 0x412CBE0A},
                              Expected{1, {9, 20, 31}, -1, 3, 2, 0x412D02FD},
                              Expected{2, {25, 25, 25}, 0, -5, 2, 0x412B04ED}}) {
        SCOPED_TRACE(e.mode);
        zel_matrix_48_offspring_t child = reproduce(a, b, e.mode);
        EXPECT_EQ((Triple{child.x, child.y, child.z}), e.coords);
        EXPECT_EQ(child.chirality, e.chirality);
        EXPECT_EQ(child.k11_level, e.level);
        EXPECT_EQ(child.i_state, e.state);
        EXPECT_EQ(double(child.phi_blend), 0.5963481664657593);
        EXPECT_EQ(bits(child.phi_blend), 0x3F18AA46u);
        EXPECT_EQ(bits(child.em_coupling), e.coupling_bits);
        EXPECT_EQ(bits(child.em_coupling), bits(zel_matrix_48_em_coupling(child.x, child.y, child.z)));
    }
    // Every mode other than 0 and 2 is the golden step.
    for (int32_t mode : {1, 3, -1, INT32_MIN, INT32_MAX}) {
        zel_matrix_48_offspring_t child = reproduce(a, b, mode);
        EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{9, 20, 31})) << mode;
    }
}

TEST(Matrix48Reproduce, GoldenStepWrapsAndGuardsTheCentre) {
    zel_matrix_48_offspring_t child = reproduce(cell(0, 23, 23), cell(0, 24, 24), 1);
    EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{255, 23, 23}));  // -1.6 truncates to -1
    EXPECT_EQ(child.chirality, 1);
    EXPECT_EQ(child.k11_level, -9);
    EXPECT_EQ(child.i_state, 2);
    EXPECT_EQ(bits(child.em_coupling), 0x414B5EA8u);  // the cell (255, 23, 23), far off the lattice

    // A midpoint exactly at the centre: d = 0, the guard keeps the length 0.001.
    child = reproduce(cell(23, 23, 23), cell(24, 24, 24), 1);
    EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{23, 23, 23}));
    // Midpoint (23, 23, 23), offsets -0.5: moved by -0.93 on each axis to 22.07.
    child = reproduce(cell(23, 23, 23), cell(23, 23, 23), 1);
    EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{22, 22, 22}));
    // Beyond the lattice: midpoint 255 moves up to 255.93, 255 mod 48 = 15.
    child = reproduce(cell(255, 255, 255), cell(255, 255, 255), 1);
    EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{15, 15, 15}));
    EXPECT_EQ(bits(child.phi_blend), 0x417F079Au);  // (p * phi + p) / phi^2 rounds back to p here
}

TEST(Matrix48Reproduce, MutationAppliesToTheFirstParentOnly) {
    zel_matrix_48_offspring_t child = reproduce(cell(0, 1, 48), cell(10, 10, 10), 2);
    EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{28, 28, 5}));  // (47 + 10) / 2, (47 + 10) / 2, 10 / 2
    child = reproduce(cell(10, 10, 10), cell(0, 1, 48), 2);
    EXPECT_EQ((Triple{child.x, child.y, child.z}), (Triple{19, 19, 43}));  // tachyon(10) = 38
}

TEST(Matrix48Reproduce, ReadsOnlyCoordinatesAndPhiNorm) {
    zel_matrix_48_cell_t a = cell(10, 20, 30), b = cell(12, 22, 32);
    zel_matrix_48_cell_t a2 = a, b2 = b;
    std::memset(&a2.mirror_x, 0xEE, 5);  // mirrors, level, state
    a2.morton = b2.morton = ~0ull;
    a2.em_coupling = b2.em_coupling = from_bits(0x7FC00000);
    b2.phi_norm = 2.0f;
    a2.phi_norm = 1.0f;
    for (int32_t mode : {0, 1, 2}) {
        zel_matrix_48_offspring_t plain = reproduce(a, b, mode), changed = reproduce(a2, b2, mode);
        EXPECT_EQ((Triple{plain.x, plain.y, plain.z}), (Triple{changed.x, changed.y, changed.z}));
        EXPECT_EQ(bits(plain.em_coupling), bits(changed.em_coupling));
        EXPECT_EQ(bits(changed.phi_blend), bits(zel_oracle::m48_phi_blend(1.0f, 2.0f)));
    }
}

TEST(Matrix48Reproduce, MatchesTheDoubleOracleOnRandomParents) {
    std::mt19937 rng(1618);
    for (int i = 0; i < 20000; ++i) {
        // Mostly lattice cells, sometimes anywhere in 8 bits.
        const int range = (i % 4 == 0) ? 256 : 48;
        uint8_t pa[3], pb[3], expected[3];
        for (int k = 0; k < 3; ++k) {
            pa[k] = uint8_t(rng() % range);
            pb[k] = uint8_t(rng() % range);
        }
        zel_oracle::m48_golden_step(pa, pb, expected);
        const zel_matrix_48_cell_t a = cell(pa[0], pa[1], pa[2]), b = cell(pb[0], pb[1], pb[2]);
        zel_matrix_48_offspring_t child = reproduce(a, b, 1);
        ASSERT_EQ((Triple{child.x, child.y, child.z}), (Triple{expected[0], expected[1], expected[2]}))
            << Triple{pa[0], pa[1], pa[2]} << ' ' << Triple{pb[0], pb[1], pb[2]};
        ASSERT_EQ(bits(child.phi_blend), bits(zel_oracle::m48_phi_blend(a.phi_norm, b.phi_norm)));
        ASSERT_EQ(bits(child.em_coupling),
                  bits(zel_oracle::m48_coupling(zel_oracle::m48_phi_norm(child.x, child.y, child.z))));
    }
}

TEST(Matrix48, ValidateAllCountsTheCells) {
    EXPECT_EQ(zel_matrix_48_validate_all(), 110592);
    EXPECT_EQ(ZEL_MATRIX_48_CELL_COUNT, 48 * 48 * 48);
}

}  // namespace
