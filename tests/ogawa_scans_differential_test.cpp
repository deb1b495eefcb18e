// The reader's one-pass scans against the literal position-by-position
// procedures (tests/oracles), on random files, on files of plausible blocks
// and on crafted ones: long runs, blocks at the scan windows' edges, blocks
// cut by the end of the file, candidates of equal size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "oracles/ogawa_scans_oracle.h"
#include "ogawa_reader/heuristic/attribute_scan.h"
#include "ogawa_reader/heuristic/fallback_scans.h"
#include "ogawa_reader/heuristic/mesh_data_finder.h"
#include "ogawa_reader/heuristic/scan_window.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_test_files.h"

namespace {

using ogawa_test::Bytes;

// Files of plausible pieces: size fields followed by floats of some kind,
// runs of small integers, and noise.
class FileMaker {
public:
    explicit FileMaker(std::uint64_t seed) : rng_(seed) { bytes_ = ogawa_test::FileBuilder().finish(0); }

    Bytes make(std::size_t target) {
        while (bytes_.size() < target) piece();
        bytes_.resize(target);  // the last piece is cut by the end of the file
        return bytes_;
    }

    void size_field(std::uint64_t s) { ogawa_test::put_u64(bytes_, s); }
    void key() {
        for (int i = 0; i < 16; ++i) bytes_.push_back(static_cast<unsigned char>(rng_() % 3 ? 0 : rng_()));
    }
    void floats(int kind, std::size_t n) {
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (std::size_t i = 0; i < n; ++i) {
            float x = unit(rng_);
            switch (kind) {
                case 0: {  // unit vectors
                    float y = unit(rng_), z = unit(rng_);
                    float len = std::sqrt(x * x + y * y + z * z) + 1e-6f;
                    for (float v : {x / len, y / len, z / len}) ogawa_test::put_f32(bytes_, v);
                    i += 2;
                    continue;
                }
                case 1: break;                     // -1..1
                case 2: x *= 10.5f; break;         // about -10..10
                case 3: x *= 2000.0f; break;       // positions
                case 4: x = rng_() % 4 ? x * 0.001f : std::nanf(""); break;
            }
            ogawa_test::put_f32(bytes_, x);
        }
    }
    void small_integers(std::size_t n, std::uint32_t below) {
        for (std::size_t i = 0; i < n; ++i) ogawa_test::put_u32(bytes_, rng_() % 8 == 0 ? 3 + rng_() % 2 : rng_() % below);
    }

private:
    // A block the scans look for (or almost), a run of small integers, or noise.
    void piece() {
        std::size_t n = 3 + rng_() % 1500;  // floats
        switch (rng_() % 8) {
            case 0:  // an attribute: size, then floats of any kind
                size_field(rng_() % 2 ? 12 * (3 + rng_() % 500) : 8 * (2 + rng_() % 700));
                floats(static_cast<int>(rng_() % 3), n);
                break;
            case 1:  // unit normals after a key
                size_field(16 + 12 * (834 + rng_() % 200) + (rng_() % 4 == 0 ? 4 : 0));
                key();
                floats(rng_() % 4 ? 0 : 1, n);
                break;
            case 2:  // positions near the start, with or without a key
                size_field(12'012 + 12 * (rng_() % 300) + (rng_() % 2 ? 16 : 0));
                if (rng_() % 2) key();
                floats(3, n);
                break;
            case 3:  // a size the finder takes, for coordinates or positions
                size_field(1000 + 8 * (1 + rng_() % 3000));
                floats(static_cast<int>(2 + rng_() % 3), n);
                break;
            case 4: {
                static const std::uint32_t below[] = {6, 900, 60000};
                small_integers(1 + rng_() % 800, below[rng_() % 3]);
                break;
            }
            case 5:
                for (std::size_t k = 1 + rng_() % 64; k > 0; --k) bytes_.push_back(static_cast<unsigned char>(rng_()));
                break;
            case 6: floats(static_cast<int>(rng_() % 5), n); break;
            default: bytes_.push_back(static_cast<unsigned char>(rng_())); break;  // shifts what follows
        }
    }

    std::mt19937_64 rng_;
    Bytes bytes_;
};

Bytes random_bytes(std::uint64_t seed, std::size_t n) {
    std::mt19937_64 rng(seed);
    Bytes b = ogawa_test::FileBuilder().finish(0);
    while (b.size() < n) b.push_back(static_cast<unsigned char>(rng()));
    b.resize(n);
    return b;
}

bool same(zel::ScanHit a, ogawa_oracle::Hit b) { return a.start == b.start && a.count == b.count; }
template <class A, class B>
bool same_block(A a, B b) {
    return a.offset == b.offset && a.size == b.size;
}

enum Scans : unsigned {
    kPositionScan = 1,
    kUnitNormalScan = 2,
    kRunScan = 4,
    kFinderScan = 8,
    kAttributeScans = 16,
    kAllScans = 31,
};

// Compares the chosen scans of the reader with their literal versions on one
// file; the triangle runs for each vertex count given.
void compare_scans(const Bytes& contents, const std::vector<std::uint32_t>& position_counts,
                   unsigned scans = kAllScans) {
    zel_test::TempDir dir;
    std::string path = dir.file("scan.bin");
    zel_test::write_file(path, contents);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::int64_t size = zel::stream_length(f);
    ASSERT_EQ(size, static_cast<std::int64_t>(contents.size()));
    auto expect_same = [](const char* what, zel::ScanHit got, ogawa_oracle::Hit want) {
        EXPECT_TRUE(same(got, want)) << what << ": " << got.start << "/" << got.count << " vs " << want.start << "/"
                                     << want.count;
    };
    if (scans & kPositionScan) expect_same("positions", zel::find_position_block(f, size), ogawa_oracle::position_block(f));
    if (scans & kUnitNormalScan) expect_same("normals", zel::find_unit_normals(f, size), ogawa_oracle::unit_normals(f));
    if (scans & kRunScan) {
        for (std::uint32_t pc : position_counts) {
            SCOPED_TRACE(pc);
            expect_same("run", zel::find_triangle_run(f, size, pc), ogawa_oracle::triangle_run(f, pc));
        }
    }
    if ((scans & kFinderScan) && size > 32) {  // the finder's own minimum, checked by ogawa_find_mesh_data
        zel::MeshDataCandidate mesh_positions, mesh_uvs;
        ogawa_oracle::Block oracle_positions, oracle_uvs;
        zel::find_mesh_data(f, size, &mesh_positions, &mesh_uvs);
        ogawa_oracle::mesh_data(f, &oracle_positions, &oracle_uvs);
        EXPECT_TRUE(same_block(mesh_positions, oracle_positions)) << "finder positions";
        EXPECT_TRUE(same_block(mesh_uvs, oracle_uvs)) << "finder uvs";
    }
    if (scans & kAttributeScans) {
        EXPECT_TRUE(same_block(zel::find_largest_attribute(f, size, zel::kNormalsTest), ogawa_oracle::largest_normals(f)));
        EXPECT_TRUE(same_block(zel::find_largest_attribute(f, size, zel::kUvTest), ogawa_oracle::largest_uvs(f)));
        zel::AttributeBlock found[zel::kMaxAttributeCandidates];
        std::size_t n = zel::find_attributes(f, size, zel::kTangentTest, found, zel::kMaxAttributeCandidates);
        std::vector<ogawa_oracle::Block> candidates = ogawa_oracle::tangent_candidates(f);
        ASSERT_EQ(n, candidates.size());
        for (std::size_t i = 0; i < n; ++i) EXPECT_TRUE(same_block(found[i], candidates[i])) << i;
    }
    std::fclose(f);
}

TEST(OgawaScansDifferential, RandomBytes) {
    const std::size_t sizes[] = {0, 7, 16, 20, 21, 32, 33, 40, 41, 64, 116, 117, 200, 2100, 70'000, 140'001};
    std::uint64_t seed = 1;
    for (std::size_t n : sizes) {
        SCOPED_TRACE(n);
        compare_scans(random_bytes(seed++, n), {1000, 70000});
    }
}

TEST(OgawaScansDifferential, RealArchives) {
    for (const char* name : {"animated", "cube", "dup_instances", "grid_tri", "pentagons", "tiny"}) {
        SCOPED_TRACE(name);
        // Vertex count 100: the face-index arrays make short runs only (the
        // literal run measure is quadratic in their length).
        compare_scans(zel_test::read_file(zel_test::data_file(std::string(name) + ".abc")), {100});
    }
}

TEST(OgawaScansDifferential, FilesOfPlausibleBlocks) {
    for (std::uint64_t seed = 1; seed <= 16; ++seed) {
        SCOPED_TRACE(seed);
        std::size_t target = 2000 + (seed * 7919) % 140'000;
        compare_scans(FileMaker(seed).make(target), {seed % 2 ? 5u : 1000u, 70000u});
    }
}

// Places a piece so that its first byte lands at `at` (the header and
// filler of 0xFF, which no scan takes for anything, come before it).
Bytes placed(std::size_t at, const Bytes& piece, std::size_t tail) {
    Bytes b = ogawa_test::FileBuilder().finish(0);
    b.resize(at, 0xFF);
    b.insert(b.end(), piece.begin(), piece.end());
    b.resize(b.size() + tail, 0xFF);
    return b;
}

Bytes size_then(std::uint64_t s, const Bytes& data) {
    Bytes b;
    ogawa_test::put_u64(b, s);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(OgawaScansDifferential, BlocksAtTheWindowEdges) {
    // Every scan but the position scan starts at 16 and first refills its
    // window near 16 + kBufferBytes - its lookahead (4 to 48 bytes): the
    // pieces are placed across those positions.
    const std::size_t edge = 16 + zel::ScanWindow::kBufferBytes;
    Bytes normals = size_then(16 + 12 * 900, ogawa_test::concat({ogawa_test::key(), ogawa_test::triples(900, {0.0f, 0.6f, 0.8f})}));
    Bytes attributes = ogawa_test::concat({size_then(1200, ogawa_test::triples(100, {0.5f, -0.5f, 0.25f})),
                                           size_then(1200, ogawa_test::triples(100, {0.5f, 9.5f, 0.25f}))});
    std::vector<std::uint32_t> run(300);
    for (std::size_t i = 0; i < run.size(); ++i) run[i] = static_cast<std::uint32_t>(i % 250);
    Bytes integers = ogawa_test::words(run);
    for (std::size_t at = edge - 100; at <= edge + 8; at += 7) {  // 7: every alignment to 4
        SCOPED_TRACE(at);
        compare_scans(placed(at, normals, 40), {}, kUnitNormalScan);
        compare_scans(placed(at, attributes, 8), {}, kAttributeScans | kFinderScan);
        compare_scans(placed(at - at % 4 - 600, integers, 0), {260}, kRunScan);
    }
}

TEST(OgawaScansDifferential, BlocksCutByTheEndOfTheFile) {
    Bytes normals = size_then(16 + 12 * 900, ogawa_test::concat({ogawa_test::key(), ogawa_test::triples(900, {1.0f, 0.0f, 0.0f})}));
    Bytes attribute = size_then(360, ogawa_test::triples(30, {0.5f, 0.5f, -0.7f}));
    std::vector<std::uint32_t> run(1000);
    for (std::size_t i = 0; i < run.size(); ++i) run[i] = static_cast<std::uint32_t>((i * 37) % 900);
    Bytes integers = ogawa_test::words(run);
    Bytes finder = size_then(1208, ogawa_test::floats({0.5f, 0.5f, 0.5f, 0.5f}));  // no multiple of 12
    for (std::size_t cut : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 11u, 12u, 13u, 23u, 24u, 25u, 31u, 32u, 33u, 48u, 77u, 80u}) {
        SCOPED_TRACE(cut);
        for (const Bytes* piece : {&normals, &attribute, &integers, &finder}) {
            Bytes b = placed(3000, *piece, 0);
            b.resize(3000 + 8 + cut + (piece == &integers ? 3992 : 0));
            compare_scans(b, {1000}, piece == &integers ? kRunScan : kAllScans & ~kRunScan);
        }
    }
    // The finder's last position is the one whose three words end the file.
    for (std::size_t length : {3020u, 3019u}) {
        zel_test::TempDir dir;
        Bytes b = placed(3000, finder, 0);
        b.resize(length);
        zel_test::write_file(dir.file("f"), b);
        std::FILE* f = std::fopen(dir.file("f").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        zel::MeshDataCandidate positions, uvs;
        zel::find_mesh_data(f, static_cast<std::int64_t>(length), &positions, &uvs);
        EXPECT_EQ(uvs.size, length == 3020 ? 1208u : 0u);
        std::fclose(f);
    }
}

TEST(OgawaScansDifferential, LongRunsAndCandidatesOfEqualSize) {
    // Runs that overlap, start with words the runs may not start with (3 and
    // 4 when they are not below the vertex count), and reach the file's end.
    std::mt19937 rng(3);
    Bytes b = ogawa_test::FileBuilder().finish(0);
    for (int stretch = 0; stretch < 40; ++stretch) {
        std::size_t n = 1 + rng() % 3000;
        for (std::size_t i = 0; i < n; ++i) ogawa_test::put_u32(b, rng() % 3 == 0 ? 3 + rng() % 2 : rng() % 12);
        ogawa_test::put_u32(b, 0xFFFFFFFFu);
        if (stretch % 5 == 0) b.push_back(0x01);  // misaligns the next stretch
    }
    compare_scans(b, {3, 5, 12});
    // Candidates of equal sizes, some more than 32 of them.
    Bytes same_sizes = ogawa_test::FileBuilder().finish(0);
    for (int i = 0; i < 40; ++i) {
        Bytes block = size_then(i % 7 == 0 ? 2400 : 1200 + 12 * (i % 3), ogawa_test::triples(i % 7 == 0 ? 200 : 100 + i % 3, {0.1f, 0.2f, 0.3f}));
        same_sizes.insert(same_sizes.end(), block.begin(), block.end());
    }
    compare_scans(same_sizes, {1000});
}

}  // namespace
