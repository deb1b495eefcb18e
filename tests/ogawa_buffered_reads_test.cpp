#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/heuristic/scan_window.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_test_files.h"
#include "support/alloc_failure.h"

namespace {

// Reads through the mapping or the cache give what direct reads give, across
// window edges, at the end of the file and past it, with or without the
// cache's memory.
TEST(OgawaCachedReader, ReadsAsTheStreamDoes) {
    std::mt19937 rng(7);
    ogawa_test::Bytes bytes(3 * zel::CachedReader::kWindowBytes + 1234);
    for (auto& b : bytes) b = static_cast<unsigned char>(rng());
    ogawa_test::Bytes header = ogawa_test::FileBuilder().finish(0);
    std::copy(header.begin(), header.end(), bytes.begin());
    ogawa_test::OpenedArchive opened(bytes);
    std::FILE* f = opened.archive.file;
    ASSERT_NE(f, nullptr);
    const std::uint64_t size = bytes.size();
    const std::uint64_t edge = zel::CachedReader::kWindowBytes;
    using Access = zel::CachedReader::Access;
    struct Way {
        Access access;
        bool cache_fails;
    };
    for (Way way : {Way{Access::kMappedWhenPossible, false}, Way{Access::kWindowsOnly, false},
                    Way{Access::kWindowsOnly, true}}) {
        const bool cache_fails = way.cache_fails;
        zel_test::FailNthAllocation fail(cache_fails ? 1 : 0);  // 0: no failure
        zel::CachedReader reader(f, static_cast<std::int64_t>(size), way.access);
        std::vector<std::pair<std::uint64_t, std::size_t>> reads = {
            {0, 16}, {edge - 3, 8}, {2 * edge - 100, 300}, {size - 5, 8}, {size, 4}, {size + 9, 4},
            {17, edge + 5}, {edge - 1, 2 * edge}, {size - 1, 1}};
        for (int i = 0; i < 2000; ++i) {
            std::uint64_t pos = rng() % (size + 64);
            std::size_t n = rng() % 3 == 0 ? rng() % 9000 : rng() % 80;
            reads.emplace_back(pos, n);
        }
        for (auto [pos, n] : reads) {
            std::vector<unsigned char> cached(n + 1, 0xAA), direct(n + 1, 0xAA);
            std::size_t got = reader.read(pos, cached.data(), n);
            std::size_t want = zel::read_at(f, pos, direct.data(), n);
            ASSERT_EQ(got, want) << pos << " " << n;
            ASSERT_EQ(cached, direct) << pos << " " << n;
        }
        if (cache_fails) {
            EXPECT_TRUE(fail.fired());
        }
        std::uint64_t v = 0;
        EXPECT_TRUE(reader.read_u64(size - 8, &v));
        EXPECT_FALSE(reader.read_u64(size - 7, &v));
        EXPECT_EQ(reader.read_new_words(size - 8, 9), nullptr);  // past the end: not even allocated
    }
}

// A scan window gives the bytes a direct read gives, at every position of a
// forward scan, across its refills and up to the end of the file.
TEST(OgawaScanWindow, GivesWhatDirectReadsGive) {
    std::mt19937 rng(9);
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{100}, 2 * zel::ScanWindow::kBufferBytes + 77}) {
        SCOPED_TRACE(size);
        ogawa_test::Bytes bytes(size);
        for (auto& b : bytes) b = static_cast<unsigned char>(rng());
        zel_test::TempDir dir;
        zel_test::write_file(dir.file("w"), bytes);
        std::FILE* f = std::fopen(dir.file("w").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        for (std::size_t lookahead : {std::size_t{4}, std::size_t{48}, zel::ScanWindow::kMaxLookahead}) {
            zel::ScanWindow window(f, static_cast<std::int64_t>(size), lookahead);
            for (std::uint64_t pos = 0; pos <= size + 3; pos += 1 + rng() % 3) {
                std::size_t available;
                const unsigned char* held = window.at(pos, &available);
                std::vector<unsigned char> direct(lookahead);
                std::size_t want = zel::read_at(f, pos, direct.data(), lookahead);
                ASSERT_EQ(available, want) << pos;
                ASSERT_EQ(std::vector<unsigned char>(held, held + available),
                          std::vector<unsigned char>(direct.begin(), direct.begin() + static_cast<long>(want)))
                    << pos;
            }
        }
        std::fclose(f);
    }
}

}  // namespace
