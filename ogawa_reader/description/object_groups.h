// Objects as the file stores them, decoded one group at a time: an
// object's group names its property compound, its children's groups and a
// block of its children's headers (name, metadata). Decoding an object's
// group appends its children as stored objects that lie together; their own
// groups wait until a call needs them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/node_reader.h"

namespace zel::desc {

// What an object's metadata says of it; false when its texts cannot be kept.
bool kind_of(TextPool& pool, std::uint32_t metadata, ObjectKind* kind);

// Decodes stored object `stored`'s group through nodes. False when it does
// not decode (nodes says why) or memory ran out (nodes.out_of_memory());
// then nothing it added is kept.
bool decode_group(Description& d, NodeReader& nodes, std::uint32_t stored);

// Stored object `stored`'s group, decoded on first use. False when memory
// ran out (a later call tries again) or it does not decode, which loses the
// archive's description (see lose_description).
bool ensure_group(CachedReader& reader, Description& d, std::uint32_t stored);

// The stored object whose full path as written is path ("/a/b"): the first
// child of each name, level by level from the top; kNone when there is none
// or a group on the way does not decode (*failed is then set).
std::uint32_t find_stored(CachedReader& reader, Description& d, const char* path, bool* failed);

// Calls step(name, length) for each name of a full path ("/a/b": "a", "b")
// while it returns true; false when the path is not a full path of at most
// kMaxPathBytes bytes, or a step said stop.
template <class Step>
bool for_each_name(const char* path, Step step) {
    if (!path || path[0] != '/') return false;
    std::size_t at = 1;
    for (;;) {
        std::size_t end = at;
        while (path[end] != '\0' && path[end] != '/') ++end;
        if (end > kMaxPathBytes || !step(path + at, end - at)) return false;
        if (path[end] == '\0') return true;
        at = end + 1;
    }
}

}  // namespace zel::desc
