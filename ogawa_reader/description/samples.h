// The samples of a described archive's properties: where the values of a
// sample lie, and reading them whole. A scalar property's group holds one
// data node per stored sample, an array property's two (the values, then
// their dimensions); a non-empty sample starts with a 16-byte digest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// Bytes of one value of an element type; 0 for the string types.
std::size_t pod_bytes(Pod pod);

struct SampleValues {
    std::uint64_t offset;  // file position of the first value
    std::uint64_t bytes;   // 0: the sample holds no values
};

enum class SampleRead { kRead, kAbsent, kDamaged };

// Sample i of a scalar or array property. kAbsent when i is past its
// samples; kDamaged when its node is not a data node of the file, is cut
// short, or holds a part of an element.
SampleRead locate_sample(CachedReader& reader, const PropertyEntry& p, std::uint32_t i, SampleValues* out);

// Sample i's values in a new array (native byte order), allocated through
// the library's allocator; the caller releases it with free(). With kRead,
// values is set unless the array could not be allocated (alloc_failed);
// kAbsent and kDamaged as above leave it null.
struct ValueArray {
    void* values = nullptr;
    std::uint64_t elements = 0;  // values / extent
    bool alloc_failed = false;
};
SampleRead read_values(CachedReader& reader, const PropertyEntry& p, std::uint32_t i, ValueArray* out);

// The same into scratch that its owner keeps from read to read (see
// ScratchValues). With kRead and alloc_failed, nothing was read.
SampleRead read_scratch_values(CachedReader& reader, const PropertyEntry& p, std::uint32_t i, ScratchValues* out);

}  // namespace zel::desc
