#include <gtest/gtest.h>

#include <vector>

#include "ogawa_reader/container/node_walk.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_test_files.h"
#include "support/alloc_failure.h"

namespace {

using ogawa_test::Bytes;
using ogawa_test::FileBuilder;
using ogawa_test::OpenedArchive;

struct Walk {
    std::vector<zel::ogawa_data_node_t> nodes;
    zel::ogawa_node_collector_t collector;
};

// Walks `bytes` from `start` at depth 0 with the tree path's settings; the
// walk's nth allocation fails when fail_nth is not 0.
Walk walk(const Bytes& bytes, std::uint64_t start, std::uint32_t capacity = 500,
          zel::CachedReader::Access access = zel::CachedReader::Access::kMappedWhenPossible,
          std::uint64_t fail_nth = 0) {
    OpenedArchive opened(bytes);
    EXPECT_EQ(opened.rc, 0);
    Walk w{std::vector<zel::ogawa_data_node_t>(capacity), {}};
    zel_test::FailNthAllocation fail(fail_nth);
    zel::CachedReader reader(opened.archive.file, zel::stream_length(opened.archive.file), access);
    w.collector = zel::new_collector(reader, w.nodes.data(), capacity, 20);
    zel::ogawa_collect_data_nodes(&w.collector, start, 0);
    w.nodes.resize(w.collector.count);
    EXPECT_TRUE(fail_nth == 0 || fail.fired());
    return w;
}

std::vector<std::uint64_t> sizes_of(const Walk& w) {
    std::vector<std::uint64_t> out;
    for (const auto& n : w.nodes) out.push_back(n.size);
    return out;
}

TEST(OgawaWalk, CollectsDataNodesInStoredOrderWithinTheSizeLimits) {
    FileBuilder b;
    std::uint64_t small = b.data(Bytes(100, 1));
    std::uint64_t least = b.data(Bytes(101, 2));
    // Only the size field is read: the payloads need not be there.
    std::uint64_t largest = b.data_sized({}, 9'999'999);
    std::uint64_t too_large = b.data_sized({}, 10'000'000);
    std::uint64_t inner = b.group({largest, 0, too_large});
    std::uint64_t top = b.group({small, least, inner, least});
    Bytes file = b.finish(top);
    Walk w = walk(file, top);
    EXPECT_EQ(sizes_of(w), (std::vector<std::uint64_t>{101, 9'999'999, 101}));
    EXPECT_EQ(w.nodes[0].offset, (least & ~ogawa_test::kData) + 8);
    EXPECT_EQ(w.nodes[2].offset, w.nodes[0].offset);  // a shared node is collected each time
}

TEST(OgawaWalk, SkipsReferencesOutsideTheFileAndUnreadableChildren) {
    FileBuilder b;
    std::uint64_t good = b.data(Bytes(200, 3));
    std::uint64_t top = b.group({ogawa_test::kData | 0, good, ogawa_test::kData | 1'000'000, 999'999, good});
    Bytes file = b.finish(top);
    EXPECT_EQ(sizes_of(walk(file, top)), (std::vector<std::uint64_t>{200, 200}));
    // A group cut by the end of the file: the references that cannot be
    // read count as empty.
    Bytes cut = file;
    cut.erase(cut.end() - 12, cut.end());
    EXPECT_EQ(sizes_of(walk(cut, top)), (std::vector<std::uint64_t>{200}));
    EXPECT_TRUE(walk(file, 0).nodes.empty());
}

TEST(OgawaWalk, GroupOfAThousandChildrenIsWalkedOneMoreIsSkipped) {
    for (std::uint32_t n : {1000u, 1001u}) {
        FileBuilder b;
        std::uint64_t leaf = b.data(Bytes(150, 4));
        std::vector<std::uint64_t> children(n, 0);
        children[0] = leaf;
        std::uint64_t wide = b.group(children);
        std::uint64_t top = b.group({wide, leaf});
        Walk w = walk(b.finish(top), top);
        EXPECT_EQ(w.nodes.size(), n == 1000 ? 2u : 1u) << n;
    }
}

TEST(OgawaWalk, DepthTwentyIsVisitedTwentyOneIsNot) {
    for (int levels : {20, 21}) {
        FileBuilder b;
        std::uint64_t ref = b.data(Bytes(120, 5));
        for (int i = 0; i < levels; ++i) ref = b.group({ref});
        Walk w = walk(b.finish(ref), ref);
        EXPECT_EQ(w.nodes.size(), levels == 20 ? 1u : 0u) << levels;
        EXPECT_EQ(w.collector.references_read, static_cast<std::uint32_t>(levels));
    }
}

TEST(OgawaWalk, StopsTakingAndDescendingAtCapacity) {
    FileBuilder b;
    std::uint64_t leaf = b.data(Bytes(128, 6));
    std::uint64_t late = b.data(Bytes(256, 7));
    std::uint64_t full = b.group(std::vector<std::uint64_t>(600, leaf));
    std::uint64_t after = b.group({late});
    std::uint64_t top = b.group({full, after});
    Walk w = walk(b.finish(top), top);
    ASSERT_EQ(w.nodes.size(), 500u);
    for (const auto& n : w.nodes) EXPECT_EQ(n.size, 128u);
    EXPECT_EQ(w.collector.references_read, 602u);  // the group after the limit is not read
}

TEST(OgawaWalk, HostileTreesEndQuickly) {
    // A group that names itself, and one that names its grandparent.
    FileBuilder b;
    std::uint64_t leaf = b.data(Bytes(128, 8));
    std::uint64_t self_at = b.size();
    std::uint64_t self = b.group({self_at, leaf});
    ASSERT_EQ(self, self_at);
    Walk w = walk(b.finish(self), self);
    EXPECT_EQ(sizes_of(w), (std::vector<std::uint64_t>{128}));

    // Twenty levels of groups of a thousand references to the next one, the
    // last of empty references: the tree has 1000^19 paths. The walk ends
    // after a million references.
    FileBuilder chain;
    std::uint64_t next = chain.group(std::vector<std::uint64_t>(1000, 0));
    for (int level = 0; level < 19; ++level) next = chain.group(std::vector<std::uint64_t>(1000, next));
    Walk c = walk(chain.finish(next), next);
    EXPECT_EQ(c.collector.references_read, zel::kMaxReferencesRead);
    EXPECT_TRUE(c.nodes.empty());
}

TEST(OgawaWalk, ReferenceListThatCannotBeAllocatedEndsTheBranch) {
    FileBuilder b;
    std::uint64_t leaf = b.data(Bytes(128, 9));
    std::uint64_t inner = b.group({leaf});
    std::uint64_t top = b.group({inner, leaf});
    Bytes file = b.finish(top);
    // Unmapped, the first allocation is the reader's cache, which the walk
    // does without.
    const auto windows = zel::CachedReader::Access::kWindowsOnly;
    const auto mapped = zel::CachedReader::Access::kMappedWhenPossible;
    EXPECT_EQ(walk(file, top, 500, windows, 3).nodes.size(), 1u);   // the inner group's list
    EXPECT_TRUE(walk(file, top, 500, windows, 2).nodes.empty());    // the top group's list
    EXPECT_EQ(walk(file, top, 500, windows, 1).nodes.size(), 2u);
    EXPECT_TRUE(walk(file, top, 500, mapped, 1).nodes.empty());     // mapped: the top group's list
}

}  // namespace
