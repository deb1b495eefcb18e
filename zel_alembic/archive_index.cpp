#include "archive_index.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "common/alloc.h"
#include "zelset/integer_roots.h"

namespace zel::alembic {

namespace {

constexpr std::size_t kSlotBytes = std::size_t{kSlots} * sizeof(std::uint32_t);

struct KeyedVertex {
    std::uint64_t key;
    std::uint32_t global;
};

// Byte offsets of the arrays after the header; the keys come first, where the
// header leaves 8-byte alignment.
struct IndexLayout {
    std::size_t keys, runs, order, mesh_starts, lowest_below, bytes;
};

IndexLayout layout_of(std::uint64_t mesh_count, std::uint64_t key_count, std::uint64_t vertex_count) {
    static_assert(sizeof(IndexHeader) % alignof(std::uint64_t) == 0);
    IndexLayout l;
    l.keys = sizeof(IndexHeader);
    l.runs = l.keys + sizeof(std::uint64_t) * key_count;
    l.order = l.runs + sizeof(std::uint32_t) * (key_count + 1);
    l.mesh_starts = l.order + sizeof(std::uint32_t) * vertex_count;
    l.lowest_below = l.mesh_starts + sizeof(std::uint32_t) * (mesh_count + 1);
    l.bytes = l.lowest_below + sizeof(std::uint32_t) * kArchiveDirectKeys;
    return l;
}

template <class T>
T* at(unsigned char* base, std::size_t offset) {
    return reinterpret_cast<T*>(base + offset);
}
template <class T>
const T* at(const unsigned char* base, std::size_t offset) {
    return reinterpret_cast<const T*>(base + offset);
}

// Sorts by key, keeping the given order among equal keys: one stable counting
// pass per byte in which the keys differ, through `spare`. Returns the array
// holding the result.
KeyedVertex* stable_sort_by_key(KeyedVertex* items, KeyedVertex* spare, std::size_t n) {
    std::uint64_t differing = 0;
    for (std::size_t i = 1; i < n; ++i) differing |= items[i].key ^ items[0].key;
    for (int shift = 0; shift < 64; shift += 8) {
        if (((differing >> shift) & 0xFF) == 0) continue;
        std::size_t next[256] = {};
        for (std::size_t i = 0; i < n; ++i) ++next[(items[i].key >> shift) & 0xFF];
        std::size_t sum = 0;
        for (std::size_t& c : next) sum += std::exchange(c, sum);
        for (std::size_t i = 0; i < n; ++i) spare[next[(items[i].key >> shift) & 0xFF]++] = items[i];
        std::swap(items, spare);
    }
    return items;
}

// Every base vertex with records as (key, global index), in global order.
void collect_vertices(const zel_alembic_t& archive, KeyedVertex* out) {
    std::uint32_t global = 0;
    for (const zel_alembic_mesh_t& m : base_meshes(archive)) {
        if (has_records(m)) {
            for (std::uint32_t v = 0; v < m.vertex_count; ++v) *out++ = {m.vertices[v].morton, global + v};
        }
        global += m.vertex_count;
    }
}

void write_index(unsigned char* base, const IndexLayout& l, const zel_alembic_t& archive, const KeyedVertex* sorted,
                 std::uint32_t vertex_count, std::uint32_t key_count) {
    *at<IndexHeader>(base, 0) = {archive.meshes, archive.mesh_count, key_count, vertex_count, 0};
    auto* keys = at<std::uint64_t>(base, l.keys);
    auto* runs = at<std::uint32_t>(base, l.runs);
    auto* order = at<std::uint32_t>(base, l.order);
    auto* mesh_starts = at<std::uint32_t>(base, l.mesh_starts);
    auto* lowest_below = at<std::uint32_t>(base, l.lowest_below);

    std::memset(lowest_below, 0xFF, sizeof(std::uint32_t) * kArchiveDirectKeys);
    std::uint32_t j = 0;
    for (std::uint32_t i = 0; i < vertex_count; ++i) {
        order[i] = sorted[i].global;
        if (i > 0 && sorted[i].key == sorted[i - 1].key) continue;
        keys[j] = sorted[i].key;
        runs[j++] = i;
        // The first of a run has the lowest global index of its key.
        if (sorted[i].key < kArchiveDirectKeys) lowest_below[sorted[i].key] = sorted[i].global;
    }
    runs[key_count] = vertex_count;

    std::uint32_t start = 0;
    std::span<const zel_alembic_mesh_t> meshes = base_meshes(archive);
    for (std::size_t m = 0; m < meshes.size(); ++m) {
        mesh_starts[m] = start;
        start += meshes[m].vertex_count;
    }
    mesh_starts[meshes.size()] = start;
}

IndexView view_of(const IndexHeader* header) {
    const auto* base = reinterpret_cast<const unsigned char*>(header);
    IndexLayout l = layout_of(header->mesh_count, header->key_count, header->vertex_count);
    return {header,
            at<std::uint64_t>(base, l.keys),
            at<std::uint32_t>(base, l.runs),
            at<std::uint32_t>(base, l.order),
            at<std::uint32_t>(base, l.mesh_starts),
            at<std::uint32_t>(base, l.lowest_below)};
}

// Takes (distance, global) into the list when it ranks before the last entry
// (or the list is not full yet). False when it does not: nothing later in
// the same run, which has the same distance and higher global indices, would.
bool offer(NearVertex* list, std::size_t n, std::size_t& filled, std::uint32_t global, std::uint64_t distance) {
    auto before = [](std::uint64_t d1, std::uint32_t g1, const NearVertex& e) {
        return d1 < e.distance || (d1 == e.distance && g1 < e.global);
    };
    std::size_t i;
    if (filled < n) {
        i = filled++;
    } else if (before(distance, global, list[n - 1])) {
        i = n - 1;
    } else {
        return false;
    }
    for (; i > 0 && before(distance, global, list[i - 1]); --i) list[i] = list[i - 1];
    list[i] = {global, distance};
    return true;
}

}  // namespace

std::uint32_t* build_table_block(const zel_alembic_t& archive) {
    const std::size_t n = vertices_with_records(archive);
    OwnedBlock<KeyedVertex> items(alloc_array<KeyedVertex>(n));
    OwnedBlock<KeyedVertex> spare(items.get() ? alloc_array<KeyedVertex>(n) : nullptr);
    if (!spare.get()) return nullptr;
    collect_vertices(archive, items.get());
    const KeyedVertex* sorted = stable_sort_by_key(items.get(), spare.get(), n);

    std::uint32_t key_count = 0;
    for (std::size_t i = 0; i < n; ++i) key_count += (i == 0 || sorted[i].key != sorted[i - 1].key);
    const IndexLayout l = layout_of(archive.mesh_count, key_count, n);
    auto* block = static_cast<unsigned char*>(alloc_bytes(kSlotBytes + l.bytes));
    if (!block) return nullptr;
    write_index(block + kSlotBytes, l, archive, sorted, static_cast<std::uint32_t>(n), key_count);
    return reinterpret_cast<std::uint32_t*>(block);
}

std::optional<IndexView> current_index(const zel_alembic_t& archive) {
    if (!archive.hash_table || archive.hash_size != kSlots) return std::nullopt;
    // Every table of ZEL_ALEMBIC_HASH_SIZE slots comes from build_table_block.
    const auto* header = reinterpret_cast<const IndexHeader*>(archive.hash_table + kSlots);
    if (header->meshes != archive.meshes || header->mesh_count != archive.mesh_count) return std::nullopt;
    return view_of(header);
}

std::uint32_t lowest_global_index(const IndexView& index, std::uint64_t key) {
    if (key < kArchiveDirectKeys) return index.lowest_below[key];
    const std::uint64_t* end = index.keys + index.header->key_count;
    const std::uint64_t* found = std::lower_bound(index.keys, end, key);
    if (found == end || *found != key) return ZEL_ALEMBIC_EMPTY_SLOT;
    return index.order[index.runs[found - index.keys]];
}

Located locate_global(const IndexView& index, std::uint32_t global) {
    // The last mesh starting at or before it; empty meshes share their start
    // with the next one and are passed over.
    const std::uint32_t* end = index.mesh_starts + index.header->mesh_count + 1;
    const std::uint32_t* next = std::upper_bound(index.mesh_starts, end, global);
    const auto mesh = static_cast<std::uint32_t>(next - index.mesh_starts - 1);
    return {mesh, global - index.mesh_starts[mesh]};
}

std::size_t nearest_indexed(const IndexView& index, std::uint64_t key, NearVertex* list, std::size_t n) {
    // Runs of equal keys in order of their difference from key, by merging
    // the runs below key (walking down) with those at or above it (walking up).
    // Distances never decrease along that order, so once the list is full, a
    // run farther than its last entry ends the search.
    const std::size_t keys = index.header->key_count;
    std::size_t above = static_cast<std::size_t>(std::lower_bound(index.keys, index.keys + keys, key) - index.keys);
    std::size_t below = above;
    std::size_t filled = 0;
    while (below > 0 || above < keys) {
        const bool take_below =
            above == keys || (below > 0 && key - index.keys[below - 1] < index.keys[above] - key);
        const std::size_t run = take_below ? --below : above++;
        const std::uint64_t distance = exact_integer_root(key_difference(key, index.keys[run]));
        if (filled == n && distance > list[n - 1].distance) break;
        for (std::uint32_t i = index.runs[run]; i < index.runs[run + 1]; ++i) {
            if (!offer(list, n, filled, index.order[i], distance)) break;
        }
    }
    return filled;
}

}  // namespace zel::alembic
