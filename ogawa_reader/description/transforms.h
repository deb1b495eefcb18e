// World matrices of a described archive's objects. An Xform's `.xform`
// compound holds `.ops` (one byte an operation: its high four bits name it),
// `.vals` (the f64 channels of the operations, in order) and `.inherits`
// (bool, absent = true). Matrices are row-major for points as row vectors
// (p' = p M): a translation is the last row.
#pragma once

#include <cstdint>

#include "ogawa_reader/container/cached_reader.h"
#include "ogawa_reader/description/description.h"

namespace zel::desc {

// The sample of p nearest in time to t on its own sampling (the earlier one
// on a tie), or kNone when p has no samples. Sample times are taken to rise
// with the index, as every sampling's do.
std::uint32_t nearest_sample(const Description& d, const PropertyEntry& p, double t);

// The world matrix of object at time t: the product of the local matrices
// of its Xform ancestors from the nearest up, ending after the first that
// does not inherit; each of .ops, .vals and .inherits read at its own sample
// nearest to t. Objects that are not transforms contribute nothing. False
// when a transform's samples are damaged or do not fit its operations.
bool world_matrix(CachedReader& reader, Description& d, std::uint32_t object, double t, double out[16]);

}  // namespace zel::desc
