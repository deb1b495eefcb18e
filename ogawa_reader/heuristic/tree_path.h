// The tree path of a polymesh read: from the root group to the top object's
// group, the walk, the classification and the read of the chosen blocks.
#pragma once

#include <cstdint>

#include "ogawa_polymesh.h"
#include "ogawa_reader/heuristic/block_classify.h"
#include "ogawa_reader/container/cached_reader.h"

namespace zel {

constexpr std::uint32_t kTreeNodeCapacity = 500;
constexpr std::int32_t kTreeMaxDepth = 20;

struct TopGroup {
    std::uint64_t reference;  // the root group's child 2
    BlockPrefix prefix;       // kKeyed when children 0 and 1 are 4-byte data nodes
};

// Reads the root group named at offset 8 of the file: it must lie in the file and have at
// least 3 children. False on any failed read or condition.
bool locate_top_group(CachedReader& reader, TopGroup* top);

// Walks the top group and classifies what it collects. False when the root
// cannot be located, the node list cannot be allocated, nothing is collected
// or no positions block is chosen.
bool choose_tree_blocks(CachedReader& reader, ChosenBlocks* chosen);

// Reads the chosen blocks into the cleared mesh: positions, normals, face
// counts, face indices. A block that cannot be allocated or read whole stays
// null with count 0; the others are still read.
void read_chosen_blocks(CachedReader& reader, const ChosenBlocks& chosen, ogawa_polymesh_t* mesh);

}  // namespace zel
