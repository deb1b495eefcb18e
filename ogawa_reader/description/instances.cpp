#include "ogawa_reader/description/instances.h"

#include <cstring>

#include "ogawa_reader/description/geom_params.h"
#include "ogawa_reader/description/object_groups.h"
#include "ogawa_reader/description/samples.h"

namespace zel::desc {
namespace {

enum Verdict : std::uint8_t { kUndecided = 0, kStands = 1, kAsWritten = 2 };

// Objects of the tree below and including one as shown, saturated here.
constexpr std::uint64_t kNoEnd = 1ull << 62;
// Marks the open objects of a size count: sizes never reach it.
constexpr std::uint64_t kCounting = kNoEnd + 1;

// The path an instance names, added to the pool (*path; 0 when it names
// none). False when a decoding failed or memory ran out.
bool source_path_of(CachedReader& reader, Description& d, std::uint32_t stored, std::uint32_t* path) {
    *path = 0;
    if (!ensure_properties(reader, d, stored)) {
        // Headers that do not decode name no source; the rest is a failure.
        return d.state == ArchiveState::kDescribed && d.stored[stored].property_state == PropertyState::kFailed;
    }
    const std::uint32_t p = child_named(d, d.stored[stored].properties, ".instanceSource");
    if (p == kNone) return true;
    const PropertyEntry source = d.properties[p];
    ValueArray text;
    if (source.kind != PropertyKind::kScalar || source.pod != Pod::kString ||
        read_values(reader, source, 0, &text) != SampleRead::kRead) {
        return true;
    }
    if (text.alloc_failed) return false;
    OwnedBlock<unsigned char> bytes(static_cast<unsigned char*>(text.values));
    const auto* end = static_cast<const unsigned char*>(std::memchr(bytes.get(), 0, text.elements));
    const std::size_t length = end ? static_cast<std::size_t>(end - bytes.get()) : text.elements;
    return length == 0 || d.strings.add(reinterpret_cast<const char*>(bytes.get()), length, path);
}

// The source of instance v as written, looked up once: kNone when its path
// names nothing.
bool resolve_source(CachedReader& reader, Description& d, std::uint32_t v) {
    if (d.instances.source[v] != InstanceLinks::kUnresolved) return true;
    std::uint32_t path;
    if (!source_path_of(reader, d, v, &path)) return false;
    std::uint32_t found = kNone;
    bool failed = false;
    if (path != 0) found = find_stored(reader, d, d.text(path), &failed);
    if (failed) return false;
    d.instances.source[v] = found;
    d.instances.source_path[v] = found == kNone ? 0 : path;
    return true;
}

// Whether `target` is reached from `from` along the edges from an instance
// to its source, and from any other object to its children.
bool reaches(CachedReader& reader, Description& d, std::uint32_t from, std::uint32_t target, bool* reached) {
    InstanceLinks& l = d.instances;
    if (++l.generation == 0) {
        std::memset(l.mark.data(), 0, l.mark.size() * sizeof(std::uint32_t));
        l.generation = 1;
    }
    const std::uint32_t visit = l.generation;
    GrowableArray<std::uint32_t> todo;
    if (!todo.push(from)) return false;
    *reached = false;
    while (!todo.empty()) {
        const std::uint32_t v = todo.back();
        todo.truncate(todo.size() - 1);
        if (v == target) {
            *reached = true;
            return true;
        }
        if (l.mark[v] == visit) continue;
        l.mark[v] = visit;
        if (d.stored[v].instance) {
            if (!resolve_source(reader, d, v)) return false;
            if (l.source[v] != kNone) {
                if (!todo.push(l.source[v])) return false;
                continue;
            }
        }
        if (!ensure_group(reader, d, v)) return false;
        const StoredObject& o = d.stored[v];
        if (!todo.reserve_more(o.child_count)) return false;
        for (std::uint32_t c = o.first_child; c < o.first_child + o.child_count; ++c) todo.push(c);
    }
    return true;
}

// Whether instance v stands for its source: it has one, and that source
// does not reach v again.
bool stands_for_source(CachedReader& reader, Description& d, std::uint32_t v, bool* stands) {
    InstanceLinks& l = d.instances;
    if (l.verdict[v] == kUndecided) {
        if (!resolve_source(reader, d, v)) return false;
        bool reached = false;
        if (l.source[v] != kNone && !reaches(reader, d, l.source[v], v, &reached)) return false;
        l.verdict[v] = l.source[v] != kNone && !reached ? kStands : kAsWritten;
    }
    *stands = l.verdict[v] == kStands;
    return true;
}

// The stored object v shows: itself, or for an instance that stands for its
// source, what the source shows.
bool shown_by(CachedReader& reader, Description& d, std::uint32_t v, std::uint32_t* shown) {
    std::uint32_t at = v;
    for (std::size_t hops = 0; hops < d.stored.size() && d.stored[at].instance; ++hops) {
        bool stands;
        if (!stands_for_source(reader, d, at, &stands)) return false;
        if (!stands) break;
        at = d.instances.source[at];
    }
    *shown = at;
    return true;
}

std::uint64_t saturated_sum(std::uint64_t a, std::uint64_t b) { return a + b > kNoEnd ? kNoEnd : a + b; }

// Objects below and including v as shown, counted once: a depth-first walk
// that sums an object when it meets it the second time. A walk that fails
// leaves the objects it opened uncounted.
bool count_expanded(CachedReader& reader, Description& d, GrowableArray<std::uint32_t>& todo) {
    while (!todo.empty()) {
        const std::uint32_t x = todo.back();
        std::uint32_t shown;
        if (!shown_by(reader, d, x, &shown) || !ensure_group(reader, d, shown)) return false;
        const StoredObject& s = d.stored[shown];
        GrowableArray<std::uint64_t>& expanded = d.instances.expanded;
        if (expanded[x] == 0) {
            expanded[x] = kCounting;
            if (!todo.reserve_more(s.child_count)) return false;
            for (std::uint32_t c = s.first_child; c < s.first_child + s.child_count; ++c) {
                if (expanded[c] == 0) todo.push(c);
            }
            continue;
        }
        todo.truncate(todo.size() - 1);
        if (expanded[x] != kCounting) continue;
        std::uint64_t sum = 1;
        for (std::uint32_t c = s.first_child; c < s.first_child + s.child_count; ++c) {
            if (expanded[c] != kCounting) sum = saturated_sum(sum, expanded[c]);
        }
        expanded[x] = sum;
    }
    return true;
}

bool expanded_size(CachedReader& reader, Description& d, std::uint32_t v, std::uint64_t* size) {
    GrowableArray<std::uint32_t> todo;
    if (d.instances.expanded[v] == 0 && !todo.push(v)) return false;
    if (!count_expanded(reader, d, todo)) {
        for (std::size_t i = 0; i < todo.size(); ++i) {
            if (d.instances.expanded[todo[i]] == kCounting) d.instances.expanded[todo[i]] = 0;
        }
        return false;
    }
    *size = d.instances.expanded[v];
    return true;
}

}  // namespace

bool show_instance(CachedReader& reader, Description& d, std::uint32_t instance, ObjectNode* node) {
    std::uint32_t shown;
    if (!shown_by(reader, d, instance, &shown)) return false;
    if (shown == instance) return true;
    if (!node->paid) {
        if (node->depth > kMaxExpandedDepth) return true;
        std::uint64_t size;
        if (!expanded_size(reader, d, shown, &size)) return false;
        if (size - 1 > d.expansion_budget) return true;
        d.expansion_budget -= size - 1;
    }
    node->stored = shown;
    node->paid = true;
    return true;
}

}  // namespace zel::desc
