// How the tree path classifies the blocks it collects.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/heuristic/tree_path.h"
#include "ogawa_test_files.h"

namespace {

using ogawa_test::Bytes;
using ogawa_test::concat;
using ogawa_test::FileBuilder;
using ogawa_test::floats;
using ogawa_test::kData;
using ogawa_test::OpenedArchive;
using ogawa_test::repeat;
using ogawa_test::triples;
using ogawa_test::words;
using zel::ChosenBlock;
using zel::ChosenBlocks;

// File position of a data node's payload.
std::uint64_t payload_of(std::uint64_t reference) { return (reference & ~kData) + 8; }

// An archive whose top group holds `blocks`; keyed or not.
struct Archive {
    FileBuilder builder;
    std::vector<std::uint64_t> refs;
    Bytes file;
    Archive(const std::vector<Bytes>& blocks, bool keyed) {
        for (const Bytes& b : blocks) refs.push_back(builder.data(b));
        file = builder.finish_with_top(builder.group(refs), keyed);
    }
    ChosenBlock at(std::size_t i, std::uint64_t skipped, std::uint64_t size) const {
        return ChosenBlock{payload_of(refs[i]) + skipped, size};
    }
};

ChosenBlocks classify(const Bytes& file) {
    OpenedArchive opened(file);
    EXPECT_EQ(opened.rc, 0);
    ChosenBlocks chosen{};
    zel::CachedReader reader(opened.archive.file, zel::stream_length(opened.archive.file));
    zel::choose_tree_blocks(reader, &chosen);
    return chosen;
}

bool same(ChosenBlock a, ChosenBlock b) { return a.offset == b.offset && a.size == b.size; }
constexpr ChosenBlock kNone{0, 0};

#define EXPECT_BLOCK(actual, expected) EXPECT_TRUE(same(actual, expected)) \
    << "offset " << (actual).offset << " size " << (actual).size

TEST(OgawaClassify, FloatTriplesArePositionsNormalsOrNeitherByTheirLargestMagnitude) {
    Archive a({triples(1000, {2.0f, -1.5f, 0.5f}), triples(1000, {0.0f, 0.0f, -1.0f}),
               triples(1000, {1.3f, 0.0f, 0.0f})},
              false);
    ChosenBlocks c = classify(a.file);
    EXPECT_BLOCK(c.positions, a.at(0, 0, 12000));
    EXPECT_BLOCK(c.normals, a.at(1, 0, 12000));
    EXPECT_BLOCK(c.face_counts, kNone);
    EXPECT_BLOCK(c.face_indices, kNone);
    // Positions need magnitudes above 1.5 and at most 50000.
    Archive flat({triples(1000, {1.5f, 1.0f, 0.0f}), triples(1000, {50001.0f, 2.0f, 2.0f})}, false);
    EXPECT_BLOCK(classify(flat.file).positions, kNone);
}

TEST(OgawaClassify, NormalsMustBeUnitVectors) {
    // Small integers whose size is a multiple of 12 read as tiny floats; they
    // are face indices, not normals. Short or long vectors are not normals.
    std::vector<std::uint32_t> indices(3000);
    for (std::uint32_t i = 0; i < indices.size(); ++i) indices[i] = i / 2 + i % 3;
    Archive a({triples(1000, {9.0f, 1.0f, 1.0f}), words(indices), triples(1000, {0.5f, 0.5f, 0.5f}),
               triples(1000, {0.7f, 0.7f, 0.7f}), floats(std::vector<float>(3000, 0.0f))},
              false);
    ChosenBlocks c = classify(a.file);
    EXPECT_BLOCK(c.face_indices, a.at(1, 0, 12000));
    EXPECT_BLOCK(c.normals, kNone);
    // 0.6 * sqrt(3) = 1.039 passes; a vector of length 0.95 or 1.05 exactly does not.
    Archive b({triples(1000, {9.0f, 1.0f, 1.0f}), triples(999, {0.95f, 0.0f, 0.0f}),
               triples(999, {0.0f, 1.05f, 0.0f}), triples(998, {0.6f, 0.6f, 0.6f})},
              false);
    EXPECT_BLOCK(classify(b.file).normals, b.at(3, 0, 998 * 12));
}

TEST(OgawaClassify, OfEqualSizesTheFirstCollectedWins) {
    Archive a({triples(1000, {2.0f, 0.0f, 0.0f}), triples(1000, {3.0f, 0.0f, 0.0f}),
               triples(1001, {4.0f, 0.0f, 0.0f}), triples(1001, {5.0f, 0.0f, 0.0f})},
              false);
    EXPECT_BLOCK(classify(a.file).positions, a.at(2, 0, 12012));
    Archive b({triples(1000, {2.0f, 0.0f, 0.0f}), triples(1000, {3.0f, 0.0f, 0.0f})}, false);
    EXPECT_BLOCK(classify(b.file).positions, b.at(0, 0, 12000));
}

TEST(OgawaClassify, GuessedPrefixIsSkippedWhenItDoesNotLookLikeData) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Bytes data = triples(1000, {5.0f, 6.0f, 7.0f});
    Archive two_bad({concat({floats({nan, 1.0f, 60000.0f, 1.0f}), data})}, false);
    EXPECT_BLOCK(classify(two_bad.file).positions, two_bad.at(0, 16, 12000));
    // One bad word: the size decides (12,016 is no multiple of 12, 12,000 is)
    // with the words after the prefix holding magnitudes above 1.5.
    Archive one_bad({concat({floats({inf, 1.0f, 2.0f, 3.0f}), data})}, false);
    EXPECT_BLOCK(classify(one_bad.file).positions, one_bad.at(0, 16, 12000));
    Archive small_after({concat({floats({inf, 1.0f, 2.0f, 3.0f}), triples(1000, {1.5f, 0.0f, 0.0f})})}, false);
    EXPECT_BLOCK(classify(small_after.file).positions, kNone);
    // Four ordinary words and a size that is a multiple of 12 are data.
    Archive plain({concat({floats({9.0f, 1.0f, 2.0f, 3.0f, 1.0f, 1.0f}), triples(998, {1.0f, 0.0f, 0.0f})})}, false);
    EXPECT_BLOCK(classify(plain.file).positions, plain.at(0, 0, 12000));
}

TEST(OgawaClassify, KeyedArchivesAlwaysSkipTheKey) {
    // The key's words look like plausible floats; a guess takes them for
    // data, the keyed rule does not.
    Bytes looks_like_data = ogawa_test::key(0x40000000, 0x40400000, 0x3F800000, 0x40800000);
    Bytes positions = concat({looks_like_data, triples(1000, {5.0f, 6.0f, 7.0f})});
    std::vector<std::uint32_t> faces(1000, 4);
    Bytes counts = concat({looks_like_data, words(faces)});
    Archive keyed({positions, counts}, true);
    ChosenBlocks k = classify(keyed.file);
    EXPECT_BLOCK(k.positions, keyed.at(0, 16, 12000));
    EXPECT_BLOCK(k.face_counts, keyed.at(1, 16, 4000));
    // A guess finds the positions (the words after the key look like
    // positions) but reads the face counts from the key on and loses them.
    Archive guessed({positions, counts}, false);
    ChosenBlocks g = classify(guessed.file);
    EXPECT_BLOCK(g.positions, guessed.at(0, 16, 12000));
    EXPECT_BLOCK(g.face_counts, kNone);
}

TEST(OgawaClassify, FaceIndicesNeedSmallValuesThatChange) {
    auto block = [](std::vector<std::uint32_t> head) {
        head.resize(5000, 1);
        return words(head);  // 20,000 bytes
    };
    Archive a({triples(1000, {9.0f, 1.0f, 1.0f}), block({0, 1, 2, 2, 3, 4, 5, 5, 6, 7})}, false);
    EXPECT_BLOCK(classify(a.file).face_indices, a.at(1, 0, 20000));
    for (auto head : {std::vector<std::uint32_t>{0, 0, 0, 0, 1, 1, 1, 2, 2, 3},
                      std::vector<std::uint32_t>{0, 1, 2, 2, 3, 4, 5, 5, 6, 100000}}) {
        Archive b({triples(1000, {9.0f, 1.0f, 1.0f}), block(head)}, false);
        EXPECT_BLOCK(classify(b.file).face_indices, kNone);
    }
    // 99,999 is still an index.
    Archive c({triples(1000, {9.0f, 1.0f, 1.0f}), block({99999, 1, 2, 2, 3, 4, 5, 5, 6, 7})}, false);
    EXPECT_BLOCK(classify(c.file).face_indices, c.at(1, 0, 20000));
}

TEST(OgawaClassify, FaceCountsBySizeAndValues) {
    Bytes fours = words({4});
    Archive a({triples(1000, {9.0f, 1.0f, 1.0f}), repeat(fours, 1000), repeat(fours, 1004)}, false);
    EXPECT_BLOCK(classify(a.file).face_counts, a.at(2, 0, 1004));
    // Eight of the first ten in 3..8 suffice; seven do not.
    Archive b({triples(1000, {9.0f, 1.0f, 1.0f}), concat({words({3, 8, 5, 5, 5, 5, 5, 2, 9, 2}), repeat(fours, 2000)})},
              false);
    EXPECT_BLOCK(classify(b.file).face_counts, kNone);
    Archive c({triples(1000, {9.0f, 1.0f, 1.0f}), concat({words({3, 8, 5, 5, 5, 5, 5, 5, 9, 2}), repeat(fours, 2000)})},
              false);
    EXPECT_BLOCK(classify(c.file).face_counts, c.at(1, 0, 2040));
    // Above 499,999 bytes only the face-index test applies.
    Archive d({triples(1000, {9.0f, 1.0f, 1.0f}), repeat(fours, 499'996), repeat(fours, 500'004)}, false);
    EXPECT_BLOCK(classify(d.file).face_counts, d.at(1, 0, 499'996));
}

TEST(OgawaClassify, BlockCutByTheEndOfTheFileIsOnlyJudgedOnWhatWasRead) {
    // The last block claims 20,000 bytes but only its key and 32 bytes are
    // in the file: too few for the face tests, which need ten words. The
    // complete face-index block before it is chosen.
    std::vector<std::uint32_t> indices(3001);
    for (std::uint32_t i = 0; i < indices.size(); ++i) indices[i] = (i * 7) % 1000;
    FileBuilder b;
    std::uint64_t positions = b.data(concat({ogawa_test::key(), triples(1000, {9.0f, 1.0f, 1.0f})}));
    std::uint64_t faces = b.data(concat({ogawa_test::key(), words(indices)}));
    std::uint64_t v0 = b.data(words({0}));
    std::uint64_t v1 = b.data(words({10812}));
    std::uint64_t cut_at = b.size() + 2 * (8 + 3 * 8);  // after the top and root groups
    std::uint64_t top = b.group({positions, faces, kData | cut_at});
    std::uint64_t root = b.group({v0, v1, top});
    ASSERT_EQ(b.size(), cut_at);
    Bytes tail;
    ogawa_test::put_u64(tail, 20'016);
    b.raw(concat({tail, ogawa_test::key(), words({1, 2, 3, 4, 5, 6, 7, 8})}));
    ChosenBlocks c = classify(b.finish(root));
    EXPECT_BLOCK(c.face_indices, (ChosenBlock{payload_of(faces) + 16, 12004}));
    EXPECT_BLOCK(c.positions, (ChosenBlock{payload_of(positions) + 16, 12000}));
}

}  // namespace
