#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ogawa_reader/description/text_pool.h"

namespace {

using zel::desc::TextPool;

struct Added {
    std::uint32_t offset;
    std::string text;
    const char* where;  // where the pool held it once sealed
};

// Texts of the given lengths, each filled with its own letter.
std::vector<Added> add_all(TextPool& pool, const std::vector<std::size_t>& lengths) {
    std::vector<Added> added;
    for (std::size_t length : lengths) {
        Added a{0, std::string(length, static_cast<char>('a' + added.size() % 26)), nullptr};
        EXPECT_TRUE(pool.add(a.text.data(), a.text.size(), &a.offset));
        added.push_back(a);
    }
    return added;
}

// Once sealed, no text moves, whatever is added after it: across the
// boundaries of the blocks of 64, 128 and 256 KiB, with texts that do not fit
// the rest of their block and one larger than the first two blocks.
TEST(OgawaTextPool, SealedTextsStayWhereTheyAre) {
    TextPool pool;
    std::vector<Added> open = add_all(pool, {0, 5, 70000, 12});
    std::uint32_t part;
    ASSERT_TRUE(pool.add_part(open[1].offset, 1, 3, &part));  // "bbb" of "bbbbb"
    EXPECT_STREQ(pool.text(part), "bbb");
    pool.seal();
    std::vector<Added> all = open;
    for (Added& a : all) a.where = pool.text(a.offset);
    for (int round = 0; round < 3; ++round) {
        for (Added& a : add_all(pool, {1000, 65000, 30, 0, 200000, 131072, 7})) {
            a.where = pool.text(a.offset);
            all.push_back(a);
        }
    }
    for (const Added& a : all) {
        EXPECT_EQ(pool.text(a.offset), a.where);
        EXPECT_EQ(std::string(pool.text(a.offset)), a.text);
    }
}

// Rolling back drops what was added since the mark and reuses its room,
// open or sealed; a joined path is cut to its limit.
TEST(OgawaTextPool, RollsBackAndJoins) {
    for (bool sealed : {false, true}) {
        TextPool pool;
        std::uint32_t parent, name, joined, cut, kept;
        ASSERT_TRUE(pool.add("/top", 4, &parent));
        ASSERT_TRUE(pool.add("leaf", 4, &name));
        if (sealed) pool.seal();
        const std::uint32_t mark = pool.end();
        ASSERT_TRUE(pool.add_joined(parent, name, SIZE_MAX, &joined));
        EXPECT_STREQ(pool.text(joined), "/top/leaf");
        ASSERT_TRUE(pool.add_joined(parent, name, 6, &cut));
        EXPECT_STREQ(pool.text(cut), "/top/l");
        pool.roll_back(mark);
        EXPECT_EQ(pool.end(), mark);
        ASSERT_TRUE(pool.add("again", 5, &kept));
        EXPECT_EQ(kept, joined);
        EXPECT_STREQ(pool.text(kept), "again");
    }
}

// Room past the largest block (1 GiB) is refused without allocating it.
TEST(OgawaTextPool, RefusesRoomNoBlockHolds) {
    TextPool pool;
    pool.seal();
    EXPECT_FALSE(pool.reserve(std::size_t{3} << 29));
    std::uint32_t offset;
    EXPECT_TRUE(pool.add("x", 1, &offset));
    EXPECT_STREQ(pool.text(offset), "x");
}

}  // namespace
