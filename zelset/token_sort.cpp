#include "token_sort.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"

namespace zel {

namespace {

// Below this many tokens a comparison sort in place beats the radix passes
// and needs no second array.
constexpr std::uint32_t kRadixSortMinimum = 256;
// Runs this short are finished by insertion; longer ones by the next digit.
constexpr std::uint32_t kInsertionRun = 24;

int digit_of(std::uint64_t key, int d) { return static_cast<int>((key >> (8 * d)) & 0xFF); }

bool key_less(const zel_token_t& a, const zel_token_t& b) { return compare_tokens_morton(&a, &b) < 0; }

void insertion_sort(zel_token_t* tokens, std::uint32_t count) {
    for (std::uint32_t i = 1; i < count; ++i) {
        zel_token_t t = tokens[i];
        std::uint32_t j = i;
        for (; j > 0 && key_less(t, tokens[j - 1]); --j) tokens[j] = tokens[j - 1];
        tokens[j] = t;
    }
}

// Highest 8-bit digit in which some keys differ, or -1 when all are equal.
int highest_varying_digit(const zel_token_t* tokens, std::uint32_t count) {
    std::uint64_t differing = 0;
    for (std::uint32_t i = 1; i < count; ++i) differing |= tokens[i].morton ^ tokens[0].morton;
    return differing == 0 ? -1 : (63 - std::countl_zero(differing)) / 8;
}

// Sorts the count tokens at `from`, whose digits above d are all equal, most
// significant digit first: a stable scatter by digit d into `other`, then each
// run of one digit value is sorted the same way by the digits below, with the
// roles of the two arrays swapped. The result lands in `from` when
// result_in_from is set, otherwise in `other`; the other array is scratch.
// For keys spread over the range, only the first scatter goes through main
// memory: the runs it leaves are small enough to be finished in cache.
void msd_radix_sort(zel_token_t* from, zel_token_t* other, std::uint32_t count, int d, bool result_in_from) {
    std::uint32_t counts[256];
    for (;; --d) {
        if (count <= kInsertionRun || d < 0) {
            if (!result_in_from) std::memcpy(other, from, sizeof(zel_token_t) * count);
            insertion_sort(result_in_from ? from : other, count);
            return;
        }
        std::memset(counts, 0, sizeof counts);
        for (std::uint32_t i = 0; i < count; ++i) ++counts[digit_of(from[i].morton, d)];
        // A digit that every key shares needs no scatter.
        if (std::find(counts, counts + 256, count) == counts + 256) break;
    }
    std::uint32_t next[256];
    std::uint32_t sum = 0;
    for (int b = 0; b < 256; ++b) {
        next[b] = sum;
        sum += counts[b];
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::memcpy(&other[next[digit_of(from[i].morton, d)]++], &from[i], sizeof(zel_token_t));
    }
    std::uint32_t start = 0;
    for (int b = 0; b < 256; ++b) {
        if (counts[b]) msd_radix_sort(other + start, from + start, counts[b], d - 1, !result_in_from);
        start += counts[b];
    }
}

}  // namespace

int compare_tokens_morton(const void* a, const void* b) {
    std::uint64_t ka = static_cast<const zel_token_t*>(a)->morton;
    std::uint64_t kb = static_cast<const zel_token_t*>(b)->morton;
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

void sort_tokens_by_morton(zel_token_t* tokens, std::uint32_t count) {
    if (count < kRadixSortMinimum) return std::sort(tokens, tokens + count, key_less);
    zel_token_t* spare = alloc_array<zel_token_t>(count);
    if (!spare) return std::sort(tokens, tokens + count, key_less);
    msd_radix_sort(tokens, spare, count, highest_varying_digit(tokens, count), true);
    std::free(spare);
}

}  // namespace zel
