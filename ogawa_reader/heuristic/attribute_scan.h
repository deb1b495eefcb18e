// The scan the attribute readers share: at every 4-byte step p from 16 while
// p < F - 24, a size field at p and a few floats right after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zel {

constexpr std::int64_t kMinAttributeFile = 41;  // files of 40 bytes or less are not scanned
constexpr std::size_t kMaxAttributeCandidates = 32;

struct AttributeBlock {
    std::uint64_t offset;  // payload, right after the size field
    std::uint64_t size;    // 0 = none
};

// What a reader accepts: sizes within [min_size, max_size] that are a
// multiple of `multiple`, whose first `words` floats can be read and are
// finite within [-limit, limit].
struct AttributeTest {
    std::uint64_t min_size, max_size, multiple;
    int words;
    float limit;
};

constexpr AttributeTest kNormalsTest{36, 5'000'000, 12, 6, 1.1f};
constexpr AttributeTest kUvTest{16, 5'000'000, 8, 4, 10.0f};
constexpr AttributeTest kTangentTest = kNormalsTest;

// The largest passing block, the first among equals.
AttributeBlock find_largest_attribute(std::FILE* f, std::int64_t file_size, const AttributeTest& test);

// The passing blocks in file order, at most `capacity` (the scan stops when
// it has them); the number found.
std::size_t find_attributes(std::FILE* f, std::int64_t file_size, const AttributeTest& test, AttributeBlock* found,
                            std::size_t capacity);

}  // namespace zel
