#include "token_sort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"

namespace zel {

namespace {

// Below this many tokens a comparison sort beats the radix passes and needs
// no second array.
constexpr std::uint32_t kRadixSortMinimum = 256;
constexpr int kDigits = 8;  // 8-bit digits of the 64-bit key, lowest first

using DigitCounts = std::uint32_t[kDigits][256];

std::uint64_t key_of(const zel_token_t& t) { return t.morton; }

void sort_in_place(zel_token_t* tokens, std::uint32_t count) {
    std::sort(tokens, tokens + count, [](const zel_token_t& a, const zel_token_t& b) {
        return compare_tokens_morton(&a, &b) < 0;
    });
}

// Counts every digit of every key in one read of the array.
void count_digits(const zel_token_t* tokens, std::uint32_t count, DigitCounts& counts) {
    std::memset(counts, 0, sizeof(DigitCounts));
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint64_t key = key_of(tokens[i]);
        for (int d = 0; d < kDigits; ++d) ++counts[d][(key >> (8 * d)) & 0xFF];
    }
}

// One stable scatter of from into to by digit d.
void scatter_by_digit(const zel_token_t* from, zel_token_t* to, std::uint32_t count,
                      const std::uint32_t (&digit_counts)[256], int d) {
    std::uint32_t next[256];
    std::uint32_t sum = 0;
    for (int b = 0; b < 256; ++b) {
        next[b] = sum;
        sum += digit_counts[b];
    }
    const int shift = 8 * d;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t b = static_cast<std::uint32_t>(key_of(from[i]) >> shift) & 0xFF;
        std::memcpy(&to[next[b]++], &from[i], sizeof(zel_token_t));
    }
}

}  // namespace

int compare_tokens_morton(const void* a, const void* b) {
    std::uint64_t ka = key_of(*static_cast<const zel_token_t*>(a));
    std::uint64_t kb = key_of(*static_cast<const zel_token_t*>(b));
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

zel_token_t* sort_tokens_by_morton(zel_token_t* tokens, std::uint32_t count) {
    if (count < kRadixSortMinimum) {
        sort_in_place(tokens, count);
        return tokens;
    }
    zel_token_t* spare = alloc_array<zel_token_t>(count);
    if (!spare) {
        sort_in_place(tokens, count);
        return tokens;
    }
    DigitCounts counts;
    count_digits(tokens, count, counts);
    zel_token_t* from = tokens;
    zel_token_t* to = spare;
    for (int d = 0; d < kDigits; ++d) {
        // A digit that every key shares leaves the order as it is.
        if (std::find(counts[d], counts[d] + 256, count) != counts[d] + 256) continue;
        scatter_by_digit(from, to, count, counts[d], d);
        std::swap(from, to);
    }
    std::free(to);  // the array not holding the result
    return from;
}

}  // namespace zel
