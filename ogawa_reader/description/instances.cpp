#include "ogawa_reader/description/instances.h"

#include <cstring>

#include "ogawa_reader/description/geom_params.h"
#include "ogawa_reader/description/header_blocks.h"
#include "ogawa_reader/description/object_tree.h"
#include "ogawa_reader/description/samples.h"

namespace zel::desc {
namespace {

// The path an instance names, added to the pool; false when it has none.
bool source_path_of(CachedReader& reader, Description& d, std::uint32_t stored, std::uint32_t* path) {
    if (!ensure_properties(reader, d, stored)) return false;
    const std::uint32_t p = child_named(d, d.stored[stored].properties, ".instanceSource");
    if (p == kNone) return false;
    const PropertyEntry source = d.properties[p];
    ValueArray text;
    if (source.kind != PropertyKind::kScalar || source.pod != Pod::kString ||
        read_values(reader, source, 0, &text) != SampleRead::kRead || !text.values) {
        return false;
    }
    OwnedBlock<unsigned char> bytes(static_cast<unsigned char*>(text.values));
    const auto* end = static_cast<const unsigned char*>(std::memchr(bytes.get(), 0, text.elements));
    const std::size_t length = end ? static_cast<std::size_t>(end - bytes.get()) : text.elements;
    return length != 0 && d.strings.add(reinterpret_cast<const char*>(bytes.get()), length, path);
}

// Strongly connected components of the graph whose edges run from an
// instance to its source and from any other object to its children, by
// Tarjan's algorithm without recursion. An instance in the component of its
// source would contain itself.
class Components {
public:
    Components(const Description& d, const GrowableArray<std::uint32_t>& source) : d_(d), source_(source) {}

    bool run(GrowableArray<std::uint32_t>* component) {
        const std::size_t n = d_.stored.size();
        if (!component->resize(n) || !index_.resize(n) || !low_.resize(n) || !on_stack_.resize(n)) return false;
        for (std::size_t v = 0; v < n; ++v) index_[v] = kNone;
        std::memset(on_stack_.data(), 0, n);
        component_ = component;
        for (std::uint32_t v = 0; v < n; ++v) {
            if (index_[v] == kNone && !visit(v)) return false;
        }
        return true;
    }

private:
    struct Frame {
        std::uint32_t node;
        std::uint32_t next;  // the next edge to follow: a child, or kNone when done
    };

    // The first edge of v, or kNone.
    std::uint32_t first_edge(std::uint32_t v) const {
        return source_[v] != kNone ? source_[v] : d_.stored[v].first_child;
    }
    std::uint32_t next_edge(std::uint32_t v, std::uint32_t edge) const {
        return source_[v] != kNone ? kNone : d_.stored[edge].next_sibling;
    }

    bool enter(std::uint32_t v) {
        index_[v] = low_[v] = counter_++;
        on_stack_[v] = 1;
        return stack_.push(v) && frames_.push({v, first_edge(v)});
    }

    bool visit(std::uint32_t root) {
        if (!enter(root)) return false;
        while (!frames_.empty()) {
            Frame& f = frames_.back();
            const std::uint32_t v = f.node;
            if (f.next != kNone) {
                const std::uint32_t w = f.next;
                f.next = next_edge(v, w);
                if (index_[w] == kNone) {
                    if (!enter(w)) return false;
                } else if (on_stack_[w] && index_[w] < low_[v]) {
                    low_[v] = index_[w];
                }
                continue;
            }
            frames_.truncate(frames_.size() - 1);
            if (!frames_.empty() && low_[v] < low_[frames_.back().node]) low_[frames_.back().node] = low_[v];
            if (low_[v] == index_[v]) {
                std::uint32_t w;
                do {
                    w = stack_.back();
                    stack_.truncate(stack_.size() - 1);
                    on_stack_[w] = 0;
                    (*component_)[w] = v;
                } while (w != v);
            }
        }
        return true;
    }

    const Description& d_;
    const GrowableArray<std::uint32_t>& source_;
    GrowableArray<std::uint32_t>* component_ = nullptr;
    GrowableArray<std::uint32_t> index_, low_, stack_;
    GrowableArray<unsigned char> on_stack_;
    GrowableArray<Frame> frames_;
    std::uint32_t counter_ = 0;
};

std::uint64_t saturated_sum(std::uint64_t a, std::uint64_t b) { return a + b > kNoEnd ? kNoEnd : a + b; }

}  // namespace

bool plan_instances(CachedReader& reader, Description& d, InstancePlan* plan) {
    const auto n = static_cast<std::uint32_t>(d.stored.size());
    GrowableArray<std::uint32_t> source, component;
    if (!source.resize(n) || !plan->shown.resize(n) || !plan->source_path.resize(n) ||
        !plan->expanded_size.resize(n)) {
        return false;
    }
    for (std::uint32_t v = 0; v < n; ++v) {
        source[v] = kNone;
        plan->shown[v] = v;
        plan->source_path[v] = 0;
        std::uint32_t path;
        if (v == 0 || !d.stored[v].instance || !source_path_of(reader, d, v, &path)) continue;
        const std::uint32_t found = find_object(d, d.text(path));
        if (found == kNone) continue;
        source[v] = found + 1;
        plan->source_path[v] = path;
    }
    if (!Components(d, source).run(&component)) return false;
    for (std::uint32_t v = 0; v < n; ++v) {
        if (source[v] != kNone && (source[v] == v || component[source[v]] == component[v])) {
            source[v] = kNone;  // it would contain itself: shown as written
            plan->source_path[v] = 0;
        }
    }
    // Without the cycles, following sources ends.
    for (std::uint32_t v = 0; v < n; ++v) {
        std::uint32_t shown = v;
        for (std::uint32_t hops = 0; source[shown] != kNone && hops < n; ++hops) shown = source[shown];
        plan->shown[v] = shown;
    }
    // Each object's size after those of its shown children: a depth-first
    // walk that finishes an object when it meets it the second time.
    GrowableArray<std::uint32_t> todo;
    GrowableArray<unsigned char> state;  // 0 unseen, 1 open, 2 done
    if (!state.resize(n)) return false;
    std::memset(state.data(), 0, n);
    for (std::uint32_t root = 0; root < n; ++root) {
        if (state[root] != 0) continue;
        if (!todo.push(root)) return false;
        while (!todo.empty()) {
            const std::uint32_t v = todo.back();
            const std::uint32_t shown = plan->shown[v];
            if (state[v] == 0) {
                state[v] = 1;
                for (std::uint32_t c = d.stored[shown].first_child; c != kNone; c = d.stored[c].next_sibling) {
                    if (state[c] == 0 && !todo.push(c)) return false;
                }
                continue;
            }
            todo.truncate(todo.size() - 1);
            if (state[v] == 2) continue;
            state[v] = 2;
            std::uint64_t size = 1;
            for (std::uint32_t c = d.stored[shown].first_child; c != kNone; c = d.stored[c].next_sibling) {
                size = saturated_sum(size, plan->expanded_size[c]);
            }
            plan->expanded_size[v] = size;
        }
    }
    return true;
}

}  // namespace zel::desc
