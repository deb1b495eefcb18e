// What an archive says about itself, for hosts that inspect it: its
// metadata, time samplings, every object's properties, and the digests of
// their samples.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/file_io.h"
#include "ogawa_archive.h"
#include "ogawa_reader/container/murmur3.h"
#include "ogawa_reader/container/node_walk.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/header_blocks.h"
#include "ogawa_reader/description/object_tree.h"

namespace {

using namespace zel::desc;

constexpr std::uint64_t kDigestBytes = 16;

// What ogawa_decode_properties returns.
enum DecodeStatus { kDecoded = 0, kNoSuchObject = -1, kUndecodable = -2, kOutOfMemory = -3 };

// Appends the properties below compound in pre-order, with their paths.
bool list_below(Description& d, std::uint32_t compound, std::uint32_t parent_path, std::uint32_t depth) {
    for (std::uint32_t p = d.properties[compound].first_child; p != kNone; p = d.properties[p].next_sibling) {
        std::uint32_t path = d.properties[p].name;
        if (depth > 1 && !d.strings.add_joined(parent_path, d.properties[p].name, SIZE_MAX, &path)) return false;
        if (!d.listed.push({p, path, depth})) return false;
        if (d.properties[p].kind == PropertyKind::kCompound && !list_below(d, p, path, depth + 1)) return false;
    }
    return true;
}

// The listing of object's properties, made on first use; null when the
// object or its properties cannot be had.
const Description::Listing* listing_of(ogawa_archive_t* archive, Description& d, std::uint32_t object) {
    const std::uint32_t node = node_at(d, object);
    if (node == kNone) return nullptr;
    const std::uint32_t stored = d.nodes[node].stored;
    // Objects decoded after the last listing get theirs too.
    for (std::size_t i = d.listings.size(); i < d.stored.size(); ++i) {
        if (!d.listings.push({0, kNone})) return nullptr;
    }
    if (d.listings[stored].count == kNone) {
        zel::CachedReader reader = reader_of(archive, d);
        if (!ensure_properties(reader, d, stored)) return nullptr;
        const auto first = static_cast<std::uint32_t>(d.listed.size());
        const std::uint32_t top = d.stored[stored].properties;
        if (top != kNone && !list_below(d, top, 0, 1)) {
            d.listed.truncate(first);
            return nullptr;
        }
        d.listings[stored] = {first, static_cast<std::uint32_t>(d.listed.size()) - first};
    }
    return &d.listings[stored];
}

// Whether stored sample k's digest matches its values; false with *failed
// when it cannot be checked: its node does not lie whole in the file, or its
// bytes cannot be held.
bool sample_matches(zel::CachedReader& reader, const PropertyEntry& p, std::uint32_t k, zel::GrowableArray<unsigned char>* buffer,
                    bool* failed) {
    const std::uint64_t child = std::uint64_t{k} * (p.kind == PropertyKind::kScalar ? 1 : 2);
    const auto file_size = static_cast<std::uint64_t>(reader.size());
    std::uint64_t reference, size;
    *failed = true;
    if (!reader.read_u64(p.group + 8 + 8 * child, &reference) || !(reference & zel::kDataNodeBit)) return false;
    const std::uint64_t position = reference & ~zel::kDataNodeBit;
    *failed = false;
    if (position == 0) return true;  // an empty sample has no digest
    *failed = true;
    if (position >= file_size || !reader.read_u64(position, &size) || size > file_size - position - 8) return false;
    *failed = false;
    if (size == 0) return true;
    if (size < kDigestBytes) return false;  // too short to hold its digest: changed
    if (size > SIZE_MAX || !buffer->resize(static_cast<std::size_t>(size))) {
        *failed = true;
        return false;
    }
    if (!reader.fetch_exact(position + 8, buffer->data(), buffer->size())) {
        *failed = true;
        return false;
    }
    const zel::Digest128 h = zel::murmur3_x64_128(buffer->data() + kDigestBytes, buffer->size() - kDigestBytes, 0);
    return zel::load_u64(buffer->data()) == h.h1 && zel::load_u64(buffer->data() + 8) == h.h2;
}

}  // namespace

extern "C" {

ZEL_API const char* ogawa_archive_metadata(const ogawa_archive_t* archive) {
    const Description* d = description_of(archive);
    return d ? d->text(d->archive_metadata) : "";
}

ZEL_API uint32_t ogawa_time_sampling_count(const ogawa_archive_t* archive) {
    const Description* d = description_of(archive);
    return d ? static_cast<uint32_t>(d->samplings.size()) : 0;
}

ZEL_API int ogawa_get_time_sampling(const ogawa_archive_t* archive, uint32_t index, ogawa_time_sampling_info_t* info) {
    const Description* d = description_of(archive);
    if (!d || !info || index >= d->samplings.size()) return -1;
    const TimeSampling& s = d->samplings[index];
    std::memset(info, 0, sizeof *info);
    info->kind = s.time_per_cycle == kAcyclicTimePerCycle ? 2u : s.time_count == 1 ? 0u : 1u;
    info->time_per_cycle = s.time_per_cycle;
    info->time_count = s.time_count;
    info->times = d->times.data() + s.first_time;
    info->max_samples = s.max_samples;
    return 0;
}

ZEL_API int ogawa_decode_properties(ogawa_archive_t* archive, uint32_t object_index) {
    Description* d = indexed_description(archive);
    const std::uint32_t node = d ? node_at(*d, object_index) : kNone;
    if (node == kNone) return d || !description_of(archive) ? kNoSuchObject : kOutOfMemory;
    if (listing_of(archive, *d, object_index)) return kDecoded;
    if (!description_of(archive)) return kNoSuchObject;  // the object's group was damaged
    // Headers that do not decode stay failed; any other failure of the
    // listing is one of memory and leaves the listing to be made again.
    return shown_of(*d, node).property_state == PropertyState::kFailed ? kUndecodable : kOutOfMemory;
}

ZEL_API uint32_t ogawa_property_count(ogawa_archive_t* archive, uint32_t object_index) {
    Description* d = indexed_description(archive);
    const Description::Listing* l = d ? listing_of(archive, *d, object_index) : nullptr;
    return l ? l->count : 0;
}

ZEL_API int ogawa_get_property(ogawa_archive_t* archive, uint32_t object_index, uint32_t property_index,
                               ogawa_property_info_t* info) {
    Description* d = indexed_description(archive);
    const Description::Listing* l = d && info ? listing_of(archive, *d, object_index) : nullptr;
    if (!l || property_index >= l->count) return -1;
    const Description::ListedProperty& listed = d->listed[l->first + property_index];
    const PropertyEntry& p = d->properties[listed.property];
    std::memset(info, 0, sizeof *info);
    info->name = d->text(p.name);
    info->path = d->text(listed.path);
    info->metadata = d->text(p.metadata);
    info->kind = p.kind == PropertyKind::kOneElementArray ? 2u : static_cast<uint32_t>(p.kind);
    if (p.kind != PropertyKind::kCompound) {
        info->pod = static_cast<uint32_t>(p.pod);
        info->extent = p.extent;
        info->sample_count = p.sample_count;
        info->stored_count = p.stored_count;
        info->time_sampling = p.sampling;
    }
    info->depth = listed.depth;
    return 0;
}

ZEL_API int32_t ogawa_verify_samples(ogawa_archive_t* archive, uint32_t object_index, uint32_t property_index,
                                     uint32_t* mismatched, uint32_t capacity) {
    Description* d = indexed_description(archive);
    const Description::Listing* l = d ? listing_of(archive, *d, object_index) : nullptr;
    if (!l || property_index >= l->count || (capacity != 0 && !mismatched)) return -1;
    const PropertyEntry p = d->properties[d->listed[l->first + property_index].property];
    if (p.kind == PropertyKind::kCompound) return 0;
    zel::CachedReader reader = reader_of(archive, *d);
    zel::GrowableArray<unsigned char> buffer;
    int32_t found = 0;
    for (std::uint32_t k = 0; k < p.stored_count; ++k) {
        bool failed;
        if (sample_matches(reader, p, k, &buffer, &failed)) continue;
        if (failed) return -1;
        if (static_cast<uint32_t>(found) < capacity) mismatched[found] = k;
        ++found;
    }
    return found;
}

}  // extern "C"
