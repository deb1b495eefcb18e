#include "ogawa_reader/description/node_reader.h"

#include <cstdint>

namespace zel::desc {

bool NodeReader::note(const char* problem, bool damage) {
    if (!problem_) {
        problem_ = problem;
        damaged_ = damage;
    }
    return false;
}

bool NodeReader::spend(std::uint64_t units) {
    if (units > *budget_) return note("its nodes exceed the decoder's budget", false);
    *budget_ -= units;
    return true;
}

bool NodeReader::position_in_file(std::uint64_t position) {
    if (position == 0) return note("a node reference names nothing", false);
    if (position >= file_size_ || file_size_ - position < 8) {
        return note("a node reference points past the end of the file", true);
    }
    return true;
}

bool NodeReader::open_group(std::uint64_t position, int depth, Group* g) {
    if (depth > kMaxNesting) return note("its groups nest too deep", false);
    if (!position_in_file(position)) return false;
    // Writers put a group after its children; a group at or above its
    // parent's position may be one of its own ancestors.
    if (depth > 0 && position >= path_[depth - 1]) {
        for (int d = 0; d < depth; ++d) {
            if (path_[d] == position) return note("a group contains itself", true);
        }
    }
    if (!spend(1) || !reader_.read_u64(position, &g->count)) return false;
    if (g->count > (file_size_ - position) / 8 - 1) {
        return note("a group's children run past the end of the file", true);
    }
    if (!spend(g->count)) return false;
    g->position = position;
    path_[depth] = position;
    return true;
}

bool NodeReader::child(const Group& g, std::uint64_t i, std::uint64_t* reference) {
    return reader_.read_u64(g.position + 8 + 8 * i, reference);
}

bool NodeReader::group_count(std::uint64_t position, std::uint64_t* count) {
    if (!position_in_file(position) || !spend(1) || !reader_.read_u64(position, count)) return false;
    if (*count > (file_size_ - position) / 8 - 1) return note("a group's children run past the end of the file", true);
    return true;
}

bool NodeReader::names_a_place(std::uint64_t reference) {
    return position_of(reference) == 0 || position_in_file(position_of(reference));
}

bool NodeReader::data_size(std::uint64_t reference, std::uint64_t* size) {
    const std::uint64_t position = position_of(reference);
    if (position == 0) {
        *size = 0;
        return true;
    }
    if (!position_in_file(position) || !spend(1) || !reader_.read_u64(position, size)) return false;
    if (*size > file_size_ - position - 8) return note("a data node is cut short by the end of the file", true);
    return true;
}

bool NodeReader::block_size(std::uint64_t reference, std::uint64_t* size) {
    if (!is_data(reference)) return note("a group stands where headers belong", false);
    return data_size(reference, size) && spend(*size / 8);
}

bool NodeReader::read_block(std::uint64_t reference, Bytes* block) {
    std::uint64_t size;
    if (!block_size(reference, &size)) return false;
    if (size > SIZE_MAX || !block->resize(static_cast<std::size_t>(size))) return no_memory();
    return read_payload(reference, block->data(), size);
}

bool NodeReader::child_range(const Group& g, std::uint64_t first, std::size_t n, std::uint64_t* out) {
    auto* words = reinterpret_cast<unsigned char*>(out);
    if (!reader_.read_exact(g.position + 8 + 8 * first, words, 8 * n)) return false;
    for (std::size_t i = 0; i < n; ++i) out[i] = load_u64(words + 8 * i);
    return true;
}

}  // namespace zel::desc
