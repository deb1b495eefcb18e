// Instances: an object whose metadata says isInstance=1 stands for the object
// whose full path its `.instanceSource` holds. What each instance stands for,
// decided once at open over the tree as written.
#pragma once

#include <cstdint>

#include "common/growable.h"
#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

struct InstancePlan {
    // Per stored object: the stored object it shows (itself for an ordinary
    // object, an instance whose source is missing or that would contain
    // itself), after following instances of instances.
    GrowableArray<std::uint32_t> shown;
    // Per stored object: the string offset of its source's path, 0 when it
    // is shown as written.
    GrowableArray<std::uint32_t> source_path;
    // Per stored object: objects of the tree below and including it as
    // shown, saturated at kNoEnd.
    GrowableArray<std::uint64_t> expanded_size;
};

constexpr std::uint64_t kNoEnd = 1ull << 62;

// Plans the instances of d.stored; d.objects holds the tree as written (read
// object r is stored object r + 1) and find_object finds paths in it. False
// when an allocation fails.
bool plan_instances(CachedReader& reader, Description& d, InstancePlan* plan);

}  // namespace zel::desc
