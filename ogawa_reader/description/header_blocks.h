// The data blocks that describe an archive, parsed from bytes already read:
// the headers of an object's children, a compound's property headers, the
// time samplings and the indexed metadata. Every parser takes the whole
// block and fails unless its entries fill it exactly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/growable.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/text_pool.h"

namespace zel::desc {

using Bytes = GrowableArray<unsigned char>;

// Metadata index k (1..254) names entry k - 1 of the indexed table; index 0
// the empty text. The table holds the pool offsets of its entries.
using MetadataTable = GrowableArray<std::uint32_t>;

bool parse_indexed_metadata(const Bytes& block, TextPool& pool, MetadataTable* table);
bool parse_time_samplings(const Bytes& block, Description* d);
// Appends one entry per child object: name, then the metadata index or, for
// 0xFF, inline text; the block ends with 32 bytes of digests. The block lies
// in the pool at `block` (size bytes, of which all but the digests' last 31
// need be there): its texts are terminated where they lie, each over the
// byte after it once that byte was read, so that no text is copied.
struct ChildHeaderSink {
    virtual bool take(const ChildHeader& header) = 0;  // false: stop (the parse then fails)
};
bool parse_child_headers(TextPool& pool, std::uint32_t block, std::size_t size, const MetadataTable& table,
                         ChildHeaderSink& out);
// Appends one entry per property, with its name, metadata, kind, element
// type, extent, sampling and sample fields; links and groups are left to
// the caller.
bool parse_property_headers(const Bytes& block, const MetadataTable& table, TextPool& pool,
                            GrowableArray<PropertyEntry>* out);

}  // namespace zel::desc
