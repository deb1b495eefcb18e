// Instances: an object whose metadata says isInstance=1 stands for the object
// whose full path its `.instanceSource` holds, found in the tree as written.
// It is shown as written when that path names nothing, or when it would
// contain itself: when its source reaches it again, through children, or
// through instances to their sources. An instance's source may itself be an
// instance; it shows what that one shows. Each is worked out the first time
// a node of it is made, then kept.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// Node, about to be made for stored instance `instance` (its depth and paid
// set as its parent's give them), shows what the instance stands for when
// the expansion fits: inside an expansion already paid for, or when what it
// adds fits the budget of expansions (which it then spends) at a depth of at
// most kMaxExpandedDepth. False when a decoding on the way failed or memory
// ran out.
bool show_instance(CachedReader& reader, Description& d, std::uint32_t instance, ObjectNode* node);

// Deepest node an instance is expanded at: expansions may nest deeper than
// the file's groups.
constexpr std::uint32_t kMaxExpandedDepth = 1024;

}  // namespace zel::desc
