#include "ogawa_reader/container/node_walk.h"

#include <cstdlib>

#include "common/alloc.h"
#include "common/file_io.h"

namespace zel {
namespace {

bool walk_finished(const ogawa_node_collector_t* c) {
    return c->count >= c->capacity || c->references_read >= kMaxReferencesRead;
}

bool is_ancestor(const ogawa_node_collector_t* c, std::uint64_t position, int depth) {
    for (int d = 0; d < depth; ++d) {
        if (c->ancestors[d] == position) return true;
    }
    return false;
}

// Reads up to n references at pos into refs; those that cannot be read are 0.
void read_references(CachedReader* reader, std::uint64_t pos, std::uint64_t* refs, std::uint32_t n) {
    auto* bytes = reinterpret_cast<unsigned char*>(refs);
    std::size_t got = reader->read(pos, bytes, std::size_t{n} * 8) / 8;
    for (std::uint32_t i = 0; i < n; ++i) refs[i] = i < got ? load_u64(bytes + 8 * std::size_t{i}) : 0;
}

void walk_group(ogawa_node_collector_t* c, std::uint64_t position, std::uint64_t child_count, int depth) {
    if (child_count > kMaxGroupChildren || is_ancestor(c, position, depth)) return;
    auto n = static_cast<std::uint32_t>(child_count);
    if (n == 0) return;
    auto* refs = alloc_array<std::uint64_t>(n);
    if (!refs) return;
    std::uint32_t budget = kMaxReferencesRead - c->references_read;
    std::uint32_t readable = n < budget ? n : budget;
    read_references(c->reader, position + 8, refs, readable);
    c->references_read += readable;
    c->ancestors[depth] = position;
    for (std::uint32_t i = 0; i < readable && !walk_finished(c); ++i) {
        if (refs[i] != 0) ogawa_collect_data_nodes(c, refs[i], depth + 1);
    }
    std::free(refs);
}

}  // namespace

void ogawa_collect_data_nodes(ogawa_node_collector_t* c, std::uint64_t reference, int depth) {
    if (depth > c->max_depth || depth > kMaxWalkDepth || depth < 0) return;
    if (walk_finished(c)) return;
    if (reference == 0) return;
    std::uint64_t position = referenced_position(reference, c->reader->size());
    if (position == 0) return;
    std::uint64_t word;
    if (!c->reader->read_u64(position, &word)) return;
    if ((reference & kDataNodeBit) == 0) {
        walk_group(c, position, word, depth);
        return;
    }
    if (word < kMinCollectedSize || word > kMaxCollectedSize) return;
    c->nodes[c->count++] = ogawa_data_node_t{position + 8, word};
}

}  // namespace zel
