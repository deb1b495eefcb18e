#include "oracles/nearest_oracle.h"

#include <algorithm>
#include <cstdlib>

namespace zel_oracle {

namespace {

struct Slot {
    std::uint32_t index;
    std::uint64_t distance;
};

int compare_slots(const void* a, const void* b) {
    std::uint64_t da = static_cast<const Slot*>(a)->distance;
    std::uint64_t db = static_cast<const Slot*>(b)->distance;
    if (da < db) return -1;
    if (da > db) return 1;
    return 0;
}

std::uint64_t difference(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

}  // namespace

std::int32_t query_nearest_into(const zel_token_t* tokens, std::uint32_t count, std::uint64_t target,
                                std::int32_t k, RootFunction root, std::uint32_t* indices,
                                std::uint64_t* distances) {
    if (k < 1 || count == 0) return 0;
    const std::int64_t n = std::min<std::int64_t>(k, count);
    std::vector<Slot> list(n, Slot{0xFFFFFFFFu, UINT64_MAX});
    std::int64_t filled = 0;
    auto distance = [&](std::int64_t i) {
        std::uint64_t d = difference(tokens[i].morton, target);
        return root(d);
    };
    auto insert = [&](std::int64_t i, std::uint64_t d) {
        if (filled < n) {
            list[filled] = Slot{static_cast<std::uint32_t>(i), d};
            ++filled;
            std::qsort(list.data(), filled, sizeof(Slot), compare_slots);
        } else {
            list[n - 1] = Slot{static_cast<std::uint32_t>(i), d};
            std::qsort(list.data(), n, sizeof(Slot), compare_slots);
        }
    };

    std::int64_t lo = 0, hi = std::int64_t{count} - 1, p = 0;
    while (lo <= hi) {
        std::int64_t mid = lo + (hi - lo) / 2;
        p = mid;
        if (tokens[mid].morton < target) {
            lo = mid + 1;
        } else if (tokens[mid].morton == target) {
            break;
        } else {
            hi = mid - 1;
        }
    }
    list[0] = Slot{static_cast<std::uint32_t>(p), distance(p)};
    filled = 1;
    std::int64_t left = p - 1, right = p + 1;
    if (left >= 0 || right < count) {
        std::uint64_t worst = list[n - 1].distance;
        do {
            std::uint64_t threshold;
            if (worst == UINT64_MAX || worst > 0xFFFFFFFFu) {
                threshold = UINT64_MAX;
            } else {
                threshold = worst * worst;
            }
            bool left_live = left >= 0 &&
                             (difference(tokens[left].morton, target) < threshold || filled < n);
            bool right_live = right < count &&
                              (difference(tokens[right].morton, target) < threshold || filled < n);
            if (!left_live && !right_live) break;
            if (left_live) {
                std::uint64_t d = distance(left);
                if (d < worst) {
                    insert(left, d);
                    worst = list[n - 1].distance;
                }
                left = left - 1;
            }
            if (right_live) {
                std::uint64_t d = distance(right);
                if (d < worst) {
                    insert(right, d);
                    worst = list[n - 1].distance;
                }
                right = right + 1;
            }
        } while (left >= 0 || right < count);
    }
    for (std::int64_t j = 0; j < filled; ++j) {
        indices[j] = list[j].index;
        distances[j] = list[j].distance;
    }
    return static_cast<std::int32_t>(filled);
}

NearestResults query_nearest(const zel_token_t* tokens, std::uint32_t count, std::uint64_t target,
                             std::int32_t k, RootFunction root) {
    NearestResults out;
    const std::size_t room = k < 1 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(k), count);
    out.indices.resize(room);
    out.distances.resize(room);
    std::int32_t n = query_nearest_into(tokens, count, target, k, root, out.indices.data(), out.distances.data());
    out.indices.resize(n);
    out.distances.resize(n);
    return out;
}

bool nearest_results_agree(const NearestResults& a, const NearestResults& b, std::string* why) {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (a.distances != b.distances) return fail("distances differ");
    if (a.indices.size() != a.distances.size() || b.indices.size() != b.distances.size()) {
        return fail("index and distance counts differ");
    }
    if (a.distances.empty()) return true;
    const std::uint64_t largest = a.distances.back();
    std::vector<std::pair<std::uint64_t, std::uint32_t>> pa, pb;
    for (std::size_t j = 0; j < a.distances.size(); ++j) {
        if (a.distances[j] < largest) pa.emplace_back(a.distances[j], a.indices[j]);
        if (b.distances[j] < largest) pb.emplace_back(b.distances[j], b.indices[j]);
    }
    std::sort(pa.begin(), pa.end());
    std::sort(pb.begin(), pb.end());
    if (pa != pb) return fail("positions below the largest distance differ");
    return true;
}

}  // namespace zel_oracle
