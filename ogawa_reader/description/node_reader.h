// Reading the nodes that describe an archive, bounded for hostile files:
// every node read lies inside the file, every read spends from one budget,
// groups nest at most kMaxNesting deep and a group met again below itself is
// refused. The first failure is kept with what it was: damage to the
// container (a reference out of the file, a group or data node cut short, a
// group inside itself) or a decoding that ran out of budget.
#pragma once

#include <cstdint>

#include "common/growable.h"
#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/container/node_walk.h"

namespace zel::desc {

using Bytes = GrowableArray<unsigned char>;

inline bool is_data(std::uint64_t reference) { return (reference & kDataNodeBit) != 0; }
inline std::uint64_t position_of(std::uint64_t reference) { return reference & ~kDataNodeBit; }

struct Group {
    std::uint64_t position;
    std::uint64_t count;
};

// Deepest group below the walk's first group.
constexpr int kMaxNesting = 256;

class NodeReader {
public:
    NodeReader(CachedReader& reader, std::uint64_t* budget)
        : reader_(reader), file_size_(static_cast<std::uint64_t>(reader.size())), budget_(budget) {}

    // A group at position whose child references lie in the file, nested at
    // depth below the walk's first group (0). One unit for the count, one
    // per reference.
    bool open_group(std::uint64_t position, int depth, Group* g);
    bool child(const Group& g, std::uint64_t i, std::uint64_t* reference);
    // Records the group open at depth (0..kMaxNesting) when the walk starts
    // below the root: the ancestors of the first group it opens.
    void enter(int depth, std::uint64_t position) {
        if (depth >= 0 && depth <= kMaxNesting) path_[depth] = position;
    }
    // The child count of a group that is not walked (a property's samples).
    bool group_count(std::uint64_t position, std::uint64_t* count);
    // A reference that is empty or names a place inside the file (it is
    // not read).
    bool names_a_place(std::uint64_t reference);
    // The payload size of a data node; 0 for an empty reference.
    bool data_size(std::uint64_t reference, std::uint64_t* size);
    // The payload of a data node, read whole into block.
    bool read_block(std::uint64_t reference, Bytes* block);
    // The payload size of a header block (a data node), its reading paid for.
    bool block_size(std::uint64_t reference, std::uint64_t* size);
    // The payload of a data node whose size block_size gave, into out.
    bool read_payload(std::uint64_t reference, void* out, std::uint64_t size) {
        return size == 0 || reader_.read_exact(position_of(reference) + 8, out, static_cast<std::size_t>(size));
    }
    // References first .. first + n - 1 of the group (as stored,
    // little-endian words turned native), into out.
    bool child_range(const Group& g, std::uint64_t first, std::size_t n, std::uint64_t* out);

    // Null while nothing failed; else the first failure's text.
    const char* problem() const { return problem_; }
    bool damaged() const { return damaged_; }
    // A failure found by the caller in what it read (not damage).
    bool fail(const char* problem) { return note(problem, false); }
    // Damage found by the caller in what it read.
    bool damage(const char* problem) { return note(problem, true); }
    // An allocation that failed: nothing is known of the file.
    bool no_memory() {
        out_of_memory_ = true;
        return note("out of memory", false);
    }
    bool out_of_memory() const { return out_of_memory_; }

private:
    bool spend(std::uint64_t units);
    bool note(const char* problem, bool damage);
    bool position_in_file(std::uint64_t position);

    CachedReader& reader_;
    std::uint64_t file_size_;
    std::uint64_t* budget_;
    const char* problem_ = nullptr;
    bool damaged_ = false;
    bool out_of_memory_ = false;
    std::uint64_t path_[kMaxNesting + 1];  // the groups open at each depth; set before read
};

}  // namespace zel::desc
