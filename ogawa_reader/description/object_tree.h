// The object tree as readers see it: built from the objects as written, in
// pre-order with each object's parent, depth, full path and the index after
// its subtree; and found by full path through a table built on first use.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// Fills d.objects from d.stored, instances expanded (reading their sources'
// paths); false when an allocation fails.
bool build_object_tree(CachedReader& reader, Description& d);

// The object whose full path is path, or kNone. Builds the table on first
// use; without it (no memory) every object is compared.
std::uint32_t find_object(Description& d, const char* path);

}  // namespace zel::desc
