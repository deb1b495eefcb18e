#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "common/alloc.h"
#include "integer_roots.h"
#include "queries_internal.h"

namespace zel {

int compare_search_results(const void* a, const void* b) {
    std::uint64_t da = static_cast<const zel_search_result_t*>(a)->distance;
    std::uint64_t db = static_cast<const zel_search_result_t*>(b)->distance;
    return da < db ? -1 : (da > db ? 1 : 0);
}

std::uint64_t saturating_square(std::uint64_t worst) {
    if (worst > 0xFFFFFFFFu) return UINT64_MAX;
    return worst * worst;
}

namespace {

constexpr std::uint64_t kNoDistance = UINT64_MAX;

// The working list of the nearest query: at most `capacity` results, kept in
// ascending distance by inserting each new one in place. While not full, the
// slots past `filled` hold the empty result, so the last slot's distance is
// the worst kept distance, all ones until the list is full.
class NearestList {
public:
    NearestList(zel_search_result_t* slots, std::uint32_t capacity) : slots_(slots), capacity_(capacity) {
        std::fill(slots_, slots_ + capacity_, zel_search_result_t{ZEL_NONE, kNoDistance});
    }
    bool full() const { return filled_ == capacity_; }
    std::uint32_t filled() const { return filled_; }
    std::uint64_t worst() const { return slots_[capacity_ - 1].distance; }
    const zel_search_result_t& operator[](std::uint32_t i) const { return slots_[i]; }

    // Appends, or replaces the worst result when full, then moves the new
    // result down past every larger one.
    void insert(zel_search_result_t result) {
        std::uint32_t j = full() ? capacity_ - 1 : filled_++;
        while (j > 0 && compare_search_results(&slots_[j - 1], &result) > 0) {
            slots_[j] = slots_[j - 1];
            --j;
        }
        slots_[j] = result;
    }

private:
    zel_search_result_t* slots_;
    std::uint32_t capacity_;
    std::uint32_t filled_ = 0;
};

// Last position the binary search for target examines: the target's own
// position when present, otherwise a neighbour of where it would go.
std::int64_t binary_search_stop(const zel_token_t* tokens, std::int64_t count, std::uint64_t target) {
    std::int64_t lo = 0, hi = count - 1, mid = 0;
    while (lo <= hi) {
        mid = lo + (hi - lo) / 2;
        std::uint64_t key = tokens[mid].morton;
        if (key == target) break;
        if (key < target) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return mid;
}

// Walks outward from the seed at p, one candidate a side per round. A
// candidate is considered while the list has room or its raw difference stays
// below worst * worst (no root needed to reject it), and kept when its
// distance beats the worst kept one.
void walk_from(const zel_token_t* tokens, std::int64_t count, std::uint64_t target, std::int64_t p,
               NearestList& list) {
    auto difference_at = [&](std::int64_t i) { return key_difference(tokens[i].morton, target); };
    list.insert({static_cast<std::uint32_t>(p), query_hop_distance(difference_at(p))});
    std::int64_t left = p - 1, right = p + 1;
    std::uint64_t worst = list.worst();
    // Offers candidate i; its distance is measured against the worst at the
    // time of the offer.
    auto offer = [&](std::int64_t i) {
        std::uint64_t d = query_hop_distance(difference_at(i));
        if (d < worst) {
            list.insert({static_cast<std::uint32_t>(i), d});
            worst = list.worst();
        }
    };
    while (left >= 0 || right < count) {
        const std::uint64_t threshold = saturating_square(worst);
        const bool room = !list.full();
        const bool left_live = left >= 0 && (room || difference_at(left) < threshold);
        const bool right_live = right < count && (room || difference_at(right) < threshold);
        if (!left_live && !right_live) break;
        if (left_live) offer(left--);
        if (right_live) offer(right++);
    }
}

}  // namespace

}  // namespace zel

extern "C" {

ZEL_API int32_t zelset_query_nearest(const zelset_t* unit, uint64_t target, int32_t k, uint32_t* indices,
                                     uint64_t* distances) {
    if (!unit || !unit->tokens || k < 1 || !indices || !distances || unit->count == 0) return 0;
    const uint32_t n = std::min(static_cast<uint32_t>(k), unit->count);
    auto* slots = zel::alloc_array<zel_search_result_t>(n);
    if (!slots) return 0;
    zel::NearestList list(slots, n);
    const int64_t count = unit->count;
    zel::walk_from(unit->tokens, count, target, zel::binary_search_stop(unit->tokens, count, target), list);
    for (uint32_t j = 0; j < list.filled(); ++j) {
        indices[j] = list[j].index;
        distances[j] = list[j].distance;
    }
    int32_t written = static_cast<int32_t>(list.filled());
    std::free(slots);
    return written;
}

ZEL_API int32_t zelset_query_layer(const zelset_t* unit, uint8_t layer, uint32_t* indices, int32_t max) {
    if (!unit || !unit->tokens || !indices || max < 1) return 0;
    int32_t written = 0;
    for (uint32_t i = 0; i < unit->count && written < max; ++i) {
        if (unit->tokens[i].layer == layer) indices[written++] = i;
    }
    return written;
}

ZEL_API void zel_token_apply_ilogic(zel_token_t* token, int32_t state) {
    if (!token) return;
    switch (state) {
        case 2: token->morton = token->morton * 2 + 1; break;
        case 3: token->morton >>= 1; break;
        case -1: {
            auto* signature = reinterpret_cast<unsigned char*>(token) + offsetof(zel_token_t, signature);
            std::reverse(signature, signature + sizeof token->signature);
            break;
        }
        default: break;
    }
}

}  // extern "C"
