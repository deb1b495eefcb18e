// Classification of the data blocks collected by the tree walk: by its size
// and its first words a block may be positions, normals, face counts or face
// indices (or several of them); the largest block of each kind is chosen.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"

#include "ogawa_reader/container/node_walk.h"

namespace zel {

struct ChosenBlock {
    std::uint64_t offset;  // file position of the data
    std::uint64_t size;    // data bytes; 0 = nothing chosen
};

struct ChosenBlocks {
    ChosenBlock positions;
    ChosenBlock normals;
    ChosenBlock face_counts;
    ChosenBlock face_indices;
};

// How the first 16 bytes of a block are treated.
enum class BlockPrefix {
    kGuessed,  // a prefix when those bytes do not look like data
    kKeyed,    // always a 16-byte key, skipped
};

// Classifies nodes in order. Among blocks of equal size the first one wins.
ChosenBlocks classify_blocks(CachedReader& reader, const ogawa_data_node_t* nodes, std::uint32_t count,
                             BlockPrefix prefix);

}  // namespace zel
