#include "ogawa_reader/heuristic/tree_path.h"

#include <cstdlib>

#include "common/alloc.h"
#include "common/file_io.h"
#include "ogawa_reader/container/node_walk.h"

namespace zel {
namespace {

// Whether reference names a data node in the file whose payload is 4 bytes.
bool is_four_byte_data_node(CachedReader& reader, std::uint64_t reference) {
    if ((reference & kDataNodeBit) == 0) return false;
    std::uint64_t position = referenced_position(reference, reader.size());
    std::uint64_t size;
    return position != 0 && reader.read_u64(position, &size) && size == 4;
}

// Reads a block of 4-byte words into a new array, or leaves it null.
template <class T>
void read_words(CachedReader& reader, ChosenBlock block, std::uint64_t item_bytes, T** array, std::uint32_t* count) {
    if (block.size == 0) return;
    *array = static_cast<T*>(reader.read_new_words(block.offset, block.size));
    *count = *array ? static_cast<std::uint32_t>(block.size / item_bytes) : 0;
}

}  // namespace

bool locate_top_group(CachedReader& reader, TopGroup* top) {
    std::uint64_t root;
    if (!reader.read_u64(8, &root)) return false;
    root = referenced_position(root, reader.size());
    if (root == 0) return false;
    std::uint64_t child_count;
    if (!reader.read_u64(root, &child_count) || child_count < 3) return false;
    unsigned char bytes[24];
    if (!reader.read_exact(root + 8, bytes, sizeof bytes)) return false;
    bool keyed = is_four_byte_data_node(reader, load_u64(bytes)) && is_four_byte_data_node(reader, load_u64(bytes + 8));
    *top = TopGroup{load_u64(bytes + 16), keyed ? BlockPrefix::kKeyed : BlockPrefix::kGuessed};
    return true;
}

bool choose_tree_blocks(CachedReader& reader, ChosenBlocks* chosen) {
    TopGroup top;
    if (!locate_top_group(reader, &top)) return false;
    auto* nodes = alloc_array<ogawa_data_node_t>(kTreeNodeCapacity);
    if (!nodes) return false;
    ogawa_node_collector_t collector = new_collector(reader, nodes, kTreeNodeCapacity, kTreeMaxDepth);
    ogawa_collect_data_nodes(&collector, top.reference, 0);
    if (collector.count > 0) *chosen = classify_blocks(reader, nodes, collector.count, top.prefix);
    std::free(nodes);
    return collector.count > 0 && chosen->positions.size != 0;
}

void read_chosen_blocks(CachedReader& reader, const ChosenBlocks& chosen, ogawa_polymesh_t* mesh) {
    read_words(reader, chosen.positions, 12, &mesh->positions, &mesh->position_count);
    read_words(reader, chosen.normals, 12, &mesh->normals, &mesh->normal_count);
    read_words(reader, chosen.face_counts, 4, &mesh->face_counts, &mesh->face_count);
    read_words(reader, chosen.face_indices, 4, &mesh->face_indices, &mesh->face_index_count);
    if (!mesh->normals) return;
    // Per-vertex normals hold one entry per position; only an equal corner
    // count leaves it open, and then the corners decide. The chosen blocks
    // decide, whether or not their arrays could be read.
    std::uint64_t normals = chosen.normals.size / 12;
    bool per_vertex = normals == chosen.positions.size / 12 && normals != chosen.face_indices.size / 4;
    mesh->normal_scope = per_vertex ? OGAWA_SCOPE_VERTEX : OGAWA_SCOPE_FACE_VARYING;
}

}  // namespace zel
