// The walk of an Ogawa group tree that gathers candidate data blocks.
//
// A node reference is a u64: bit 63 set names a data node, clear a group;
// bits 0-62 are the node's file position (0 names nothing). A group holds a
// u64 child count and that many references; a data node a u64 payload size
// and the payload.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"

namespace zel {

constexpr std::uint64_t kDataNodeBit = 1ull << 63;
constexpr std::uint32_t kMaxGroupChildren = 1000;
constexpr std::uint64_t kMinCollectedSize = 101;
constexpr std::uint64_t kMaxCollectedSize = 9'999'999;
// Bounds for hostile files, where shared groups can make the tree
// exponentially large: the walk reads at most this many child references.
constexpr std::uint32_t kMaxReferencesRead = 1'000'000;
// Deepest depth a collector can track ancestors for.
constexpr int kMaxWalkDepth = 63;

// The file position a reference names, or 0 when it names no place inside
// the file.
inline std::uint64_t referenced_position(std::uint64_t reference, std::int64_t file_size) {
    std::uint64_t position = reference & ~kDataNodeBit;
    return position < static_cast<std::uint64_t>(file_size) ? position : 0;
}

struct ogawa_data_node_t {
    std::uint64_t offset;  // file position of the payload (node position + 8)
    std::uint64_t size;    // payload bytes
};

struct ogawa_node_collector_t {
    CachedReader* reader;  // the archive's stream; its size bounds every reference
    ogawa_data_node_t* nodes;  // caller-owned, room for `capacity` entries
    std::uint32_t count;
    std::uint32_t capacity;
    std::int32_t max_depth;  // the deepest depth the walk may visit (0 = the first call's node)
    // Kept by the walk; zero before the first call.
    std::uint32_t references_read;
    std::uint64_t ancestors[kMaxWalkDepth + 1];  // group positions on the current path
};

// A collector that has collected nothing yet.
inline ogawa_node_collector_t new_collector(CachedReader& reader, ogawa_data_node_t* nodes, std::uint32_t capacity,
                                            std::int32_t max_depth) {
    ogawa_node_collector_t c{};
    c.reader = &reader;
    c.nodes = nodes;
    c.capacity = capacity;
    c.max_depth = max_depth;
    return c;
}

// Depth-first walk from `reference` at `depth`, appending data nodes whose
// payload size lies in 101..9,999,999 in stored order. A node referenced
// from several groups is collected each time. Stops taking nodes and
// descending once `capacity` nodes are collected or kMaxReferencesRead
// child references have been read; skips a group with more than 1000
// children and a group that is one of its own ancestors. Failed seeks and
// reads end the branch silently.
void ogawa_collect_data_nodes(ogawa_node_collector_t* collector, std::uint64_t reference, int depth);

}  // namespace zel
