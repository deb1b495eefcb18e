#include "ogawa_reader/description/samples.h"

#include <bit>
#include <cstdlib>
#include <utility>

#include "common/alloc.h"
#include "ogawa_reader/container/node_walk.h"

namespace zel::desc {
namespace {

constexpr std::uint64_t kDigestBytes = 16;

// Little-endian values of `width` bytes, as stored, into native order in place.
void values_to_native(unsigned char* bytes, std::size_t count, std::size_t width) {
    if constexpr (std::endian::native != std::endian::little) {
        for (std::size_t i = 0; i < count; ++i) {
            for (std::size_t a = 0, b = width - 1; a < b; ++a, --b) std::swap(bytes[i * width + a], bytes[i * width + b]);
        }
    } else {
        (void)bytes, (void)count, (void)width;
    }
}

// Bytes of one element: its values of the element type, extent of them (an
// extent of 0 is read as 1). Texts are located by their characters.
std::uint64_t element_bytes(const PropertyEntry& p) {
    const std::uint64_t value = p.pod == Pod::kString ? 1 : p.pod == Pod::kWideString ? 4 : pod_bytes(p.pod);
    return value * std::uint64_t{p.extent == 0 ? 1u : p.extent};
}

}  // namespace

std::size_t pod_bytes(Pod pod) {
    switch (pod) {
        case Pod::kBool: case Pod::kU8: case Pod::kI8: return 1;
        case Pod::kU16: case Pod::kI16: case Pod::kF16: return 2;
        case Pod::kU32: case Pod::kI32: case Pod::kF32: return 4;
        case Pod::kU64: case Pod::kI64: case Pod::kF64: return 8;
        default: return 0;
    }
}

SampleRead locate_sample(CachedReader& reader, const PropertyEntry& p, std::uint32_t i, SampleValues* out) {
    if (p.kind == PropertyKind::kCompound || i >= p.sample_count) return SampleRead::kAbsent;
    const std::uint64_t child = std::uint64_t{stored_sample_index(p, i)} * (p.kind == PropertyKind::kScalar ? 1 : 2);
    std::uint64_t reference, size;
    if (!reader.read_u64(p.group + 8 + 8 * child, &reference) || !(reference & kDataNodeBit)) {
        return SampleRead::kDamaged;
    }
    const std::uint64_t position = reference & ~kDataNodeBit;
    const auto file_size = static_cast<std::uint64_t>(reader.size());
    *out = SampleValues{0, 0};
    if (position == 0) return SampleRead::kRead;
    // The size through the windows, which load a page where reads are
    // scattered: a small sample's values then lie in the same page.
    if (position >= file_size || !reader.read_u64(position, &size)) return SampleRead::kDamaged;
    if (size < kDigestBytes || size > file_size - position - 8) return SampleRead::kDamaged;
    const std::uint64_t element = element_bytes(p);
    const std::uint64_t bytes = size - kDigestBytes;
    if (element == 0 || bytes % element != 0) return SampleRead::kDamaged;
    *out = SampleValues{position + 8 + kDigestBytes, bytes};
    return SampleRead::kRead;
}

namespace {

// The values where lies into bytes, in native order.
bool fetch_values(CachedReader& reader, const PropertyEntry& p, const SampleValues& where, unsigned char* bytes) {
    if (!reader.fetch_exact(where.offset, bytes, static_cast<std::size_t>(where.bytes))) return false;
    const std::size_t width = pod_bytes(p.pod);  // 0 for texts, which stay as bytes
    if (width > 1) values_to_native(bytes, static_cast<std::size_t>(where.bytes) / width, width);
    return true;
}

}  // namespace

SampleRead read_values(CachedReader& reader, const PropertyEntry& p, std::uint32_t i, ValueArray* out) {
    *out = ValueArray{};
    SampleValues where;
    SampleRead r = locate_sample(reader, p, i, &where);
    if (r != SampleRead::kRead || where.bytes == 0) return r;  // an empty sample: no array
    if (where.bytes > SIZE_MAX) return SampleRead::kDamaged;
    auto* bytes = static_cast<unsigned char*>(alloc_bytes(static_cast<std::size_t>(where.bytes)));
    if (!bytes) {
        out->alloc_failed = true;
        return SampleRead::kRead;
    }
    if (!fetch_values(reader, p, where, bytes)) {
        std::free(bytes);
        return SampleRead::kDamaged;
    }
    out->values = bytes;
    out->elements = where.bytes / element_bytes(p);
    return SampleRead::kRead;
}

SampleRead read_scratch_values(CachedReader& reader, const PropertyEntry& p, std::uint32_t i, ScratchValues* out) {
    out->elements = 0;
    out->alloc_failed = false;
    SampleValues where;
    SampleRead r = locate_sample(reader, p, i, &where);
    if (r != SampleRead::kRead || where.bytes == 0) return r;
    if (where.bytes > SIZE_MAX) return SampleRead::kDamaged;
    const auto bytes = static_cast<std::size_t>(where.bytes);
    // Sized to what this sample needs, once: no growth by doubling.
    if (!out->bytes.reserve(bytes) || !out->bytes.resize(bytes)) {
        out->alloc_failed = true;
        return SampleRead::kRead;
    }
    if (!fetch_values(reader, p, where, out->bytes.data())) return SampleRead::kDamaged;
    out->elements = where.bytes / element_bytes(p);
    return SampleRead::kRead;
}

}  // namespace zel::desc
