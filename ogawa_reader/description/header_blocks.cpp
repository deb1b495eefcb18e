#include "ogawa_reader/description/header_blocks.h"

#include <cstring>

#include "common/file_io.h"

namespace zel::desc {
namespace {

// Reads little-endian fields off a block; every read says whether the block
// still held it.
class Cursor {
public:
    explicit Cursor(const Bytes& block) : at_(block.data()), left_(block.size()) {}

    std::size_t left() const { return left_; }
    bool take(std::size_t n, const unsigned char** bytes) {
        if (n > left_) return false;
        *bytes = at_;
        at_ += n;
        left_ -= n;
        return true;
    }
    bool u8(std::uint32_t* v) {
        const unsigned char* p;
        if (!take(1, &p)) return false;
        *v = p[0];
        return true;
    }
    bool u32(std::uint32_t* v) {
        const unsigned char* p;
        if (!take(4, &p)) return false;
        *v = load_u32(p);
        return true;
    }
    bool f64(double* v) {
        const unsigned char* p;
        if (!take(8, &p)) return false;
        *v = load_f64(p);
        return true;
    }
    // A size field of 1, 2 or 4 bytes (hint 0, 1, 2).
    bool sized(std::uint32_t hint, std::uint32_t* v) {
        const unsigned char* p;
        static constexpr std::size_t kWidths[] = {1, 2, 4};
        if (hint > 2 || !take(kWidths[hint], &p)) return false;
        *v = hint == 0 ? p[0] : hint == 1 ? load_u16(p) : load_u32(p);
        return true;
    }
    // length bytes of text, added to the pool.
    bool text(std::uint32_t length, TextPool& pool, std::uint32_t* offset) {
        const unsigned char* p;
        return take(length, &p) && pool.add(reinterpret_cast<const char*>(p), length, offset);
    }

private:
    const unsigned char* at_;
    std::size_t left_;
};

constexpr std::uint32_t kInlineMetadata = 0xFF;
constexpr std::size_t kChildHeaderDigestBytes = 32;

bool indexed_metadata(const MetadataTable& table, std::uint32_t index, std::uint32_t* offset) {
    if (index == 0) {
        *offset = 0;
        return true;
    }
    if (index > table.size()) return false;
    *offset = table[index - 1];
    return true;
}

}  // namespace

bool parse_indexed_metadata(const Bytes& block, TextPool& pool, MetadataTable* table) {
    Cursor c(block);
    std::uint32_t length, offset;
    while (c.left() != 0) {
        if (!c.u8(&length) || !c.text(length, pool, &offset)) return false;
        // Indexes are one byte and 0xFF means inline text: at most 254 entries.
        if (table->size() == kInlineMetadata - 1 || !table->push(offset)) return false;
    }
    return true;
}

bool parse_time_samplings(const Bytes& block, Description* d) {
    Cursor c(block);
    while (c.left() != 0) {
        TimeSampling s{};
        if (!c.u32(&s.max_samples) || !c.f64(&s.time_per_cycle) || !c.u32(&s.time_count)) return false;
        // Times are what a sampling is; a count the block cannot hold is damage.
        if (s.time_count == 0 || s.time_count > c.left() / 8) return false;
        // An acyclic sampling stores the time of every sample.
        if (s.time_per_cycle == kAcyclicTimePerCycle && s.time_count < s.max_samples) return false;
        s.first_time = static_cast<std::uint32_t>(d->times.size());
        for (std::uint32_t i = 0; i < s.time_count; ++i) {
            double t;
            if (!c.f64(&t) || !d->times.push(t)) return false;
        }
        if (!d->samplings.push(s)) return false;
    }
    return !d->samplings.empty();
}

bool parse_child_headers(TextPool& pool, std::uint32_t block, std::size_t size, const MetadataTable& table,
                         ChildHeaderSink& out) {
    if (size < kChildHeaderDigestBytes) return false;
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(pool.text(block)));
    // The byte a terminator replaced before it was read, and where.
    std::size_t replaced_at = SIZE_MAX;
    unsigned char replaced = 0;
    const auto byte = [&](std::size_t i) { return i == replaced_at ? replaced : bytes[i]; };
    const auto u32 = [&](std::size_t i) {
        return std::uint32_t{byte(i)} | std::uint32_t{byte(i + 1)} << 8 | std::uint32_t{byte(i + 2)} << 16 |
               std::uint32_t{byte(i + 3)} << 24;
    };
    const std::size_t end = size - kChildHeaderDigestBytes;
    std::size_t at = 0;
    while (at < end) {
        ChildHeader h{};
        if (end - at < 4) return false;
        const std::uint32_t length = u32(at);
        at += 4;
        if (length >= end - at) return false;  // the name and its metadata index
        h.name = block + static_cast<std::uint32_t>(at);
        at += length;
        const std::uint32_t index = byte(at);
        bytes[at++] = '\0';
        if (index == kInlineMetadata) {
            if (end - at < 4) return false;
            const std::uint32_t metadata_length = u32(at);
            at += 4;
            if (metadata_length > end - at) return false;
            h.metadata = block + static_cast<std::uint32_t>(at);
            at += metadata_length;
            replaced_at = at;  // the next header's first byte, or the digests'
            replaced = bytes[at];
            bytes[at] = '\0';
        } else if (!indexed_metadata(table, index, &h.metadata)) {
            return false;
        } else {
            h.metadata_index = index;
        }
        if (!out.take(h)) return false;
    }
    return at == end;
}

bool parse_property_headers(const Bytes& block, const MetadataTable& table, TextPool& pool,
                            GrowableArray<PropertyEntry>* out) {
    Cursor c(block);
    while (c.left() != 0) {
        std::uint32_t info;
        if (!c.u32(&info)) return false;
        PropertyEntry p{};
        p.first_child = kNone;
        p.next_sibling = kNone;
        p.kind = static_cast<PropertyKind>(info & 3);
        const std::uint32_t hint = (info >> 2) & 3;
        const std::uint32_t pod = (info >> 4) & 0xF;
        if (pod > static_cast<std::uint32_t>(Pod::kWideString)) return false;
        p.pod = static_cast<Pod>(pod);
        p.extent = static_cast<std::uint8_t>(info >> 12);
        const std::uint32_t metadata_index = (info >> 20) & 0xFF;
        if (p.kind != PropertyKind::kCompound) {
            const bool has_sampling = info & (1u << 8);
            const bool has_changes = info & (1u << 9);
            const bool all_equal = info & (1u << 11);
            if (!c.sized(hint, &p.sample_count)) return false;
            if (has_changes) {
                if (!c.sized(hint, &p.first_changed) || !c.sized(hint, &p.last_changed)) return false;
            } else if (all_equal || p.sample_count == 0) {
                p.first_changed = p.last_changed = 0;
            } else {
                p.first_changed = 1;
                p.last_changed = p.sample_count - 1;
            }
            if (has_sampling && !c.sized(hint, &p.sampling)) return false;
            // Stored samples: none without samples, one when nothing
            // changes, else the first and one per changed sample.
            if (p.sample_count == 0) {
                p.stored_count = 0;
            } else if (p.first_changed == 0 && p.last_changed == 0) {
                p.stored_count = 1;
            } else if (p.first_changed <= p.last_changed && p.last_changed < p.sample_count) {
                p.stored_count = p.last_changed - p.first_changed + 2;
            } else {
                return false;
            }
        }
        std::uint32_t length;
        if (!c.sized(hint, &length) || !c.text(length, pool, &p.name)) return false;
        if (metadata_index == kInlineMetadata) {
            if (!c.sized(hint, &length) || !c.text(length, pool, &p.metadata)) return false;
        } else if (!indexed_metadata(table, metadata_index, &p.metadata)) {
            return false;
        }
        if (!out->push(p)) return false;
    }
    return true;
}

}  // namespace zel::desc
