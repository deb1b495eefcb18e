#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/alloc.h"
#include "common/file_io.h"
#include "platform/platform.h"
#include "token_sort.h"
#include "unit_file_format.h"
#include "unit_file_internal.h"
#include "unit_internal.h"

namespace zel {

UnitFileHeader decode_unit_header(const unsigned char* bytes) {
    return UnitFileHeader{load_u32(bytes), load_u32(bytes + 4), load_u32(bytes + 8), load_u32(bytes + 12),
                          static_cast<std::int64_t>(load_u64(bytes + 16))};
}

void encode_unit_header(const UnitFileHeader& header, unsigned char* bytes) {
    store_u32(bytes, header.magic);
    store_u32(bytes + 4, header.version);
    store_u32(bytes + 8, header.count);
    store_u32(bytes + 12, header.reserved);
    store_u64(bytes + 16, static_cast<std::uint64_t>(header.timestamp));
}

zel_token_t decode_unit_record(const unsigned char* bytes) {
    zel_token_t token;
    token.morton = load_u64(bytes);
    std::memcpy(token.hex_id, bytes + 8, 8);
    token.signature = load_u64(bytes + 16);
    token.layer = bytes[24];
    return token;
}

void encode_unit_record(const zel_token_t& token, unsigned char* bytes) {
    store_u64(bytes, token.morton);
    std::memcpy(bytes + 8, token.hex_id, 8);
    store_u64(bytes + 16, token.signature);
    bytes[24] = token.layer;
}

namespace {

// Records per read call (straight into the token array) and per write call
// (through a buffer on the stack).
constexpr std::uint32_t kRecordsPerRead = 65536;
constexpr std::uint32_t kRecordsPerWrite = 1024;

// How many of the claimed records the rest of the file can hold, so that a
// header claiming billions of records never sizes the allocation. A stream
// whose size is unknown is taken at its word; a count of 0 reads nothing,
// whatever follows the header.
std::uint32_t records_file_can_hold(std::FILE* f, std::uint32_t claimed) {
    if (claimed == 0) return 0;
    std::int64_t size = stream_size(f);
    if (size < 0) return claimed;
    if (static_cast<std::uint64_t>(size) < kUnitHeaderBytes) return 0;
    std::uint64_t room = (static_cast<std::uint64_t>(size) - kUnitHeaderBytes) / kUnitRecordBytes;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(claimed, room));
}

// Reads up to capacity records into tokens and returns how many arrived
// complete; a partial last record is dropped. The bytes land in the token
// array itself and each record is then decoded in place.
std::uint32_t read_records(std::FILE* f, zel_token_t* tokens, std::uint32_t capacity) {
    std::uint32_t have = 0;
    while (have < capacity) {
        std::uint32_t want = std::min(kRecordsPerRead, capacity - have);
        auto* bytes = reinterpret_cast<unsigned char*>(tokens + have);
        std::size_t got = std::fread(bytes, 1, want * kUnitRecordBytes, f);
        auto complete = static_cast<std::uint32_t>(got / kUnitRecordBytes);
        for (std::uint32_t i = 0; i < complete; ++i) {
            tokens[have + i] = decode_unit_record(bytes + i * kUnitRecordBytes);
        }
        have += complete;
        if (complete < want) break;
    }
    return have;
}

bool write_records(std::FILE* f, const zel_token_t* tokens, std::uint32_t count) {
    unsigned char chunk[kRecordsPerWrite * kUnitRecordBytes];
    for (std::uint32_t done = 0; done < count;) {
        std::uint32_t n = std::min(kRecordsPerWrite, count - done);
        for (std::uint32_t i = 0; i < n; ++i) encode_unit_record(tokens[done + i], chunk + i * kUnitRecordBytes);
        if (!write_exact(f, chunk, std::size_t{n} * kUnitRecordBytes)) return false;
        done += n;
    }
    return true;
}

}  // namespace

std::int32_t unit_file_read(const char* path, zelset_t* unit) {
    if (!unit) return -1;
    File file(path, "rb");
    if (!file) return -1;
    unsigned char header_bytes[kUnitHeaderBytes];
    if (!read_exact(file.get(), header_bytes, kUnitHeaderBytes)) return -2;
    UnitFileHeader header = decode_unit_header(header_bytes);
    if (header.magic != kUnitMagic) return -3;
    const std::uint32_t capacity = records_file_can_hold(file.get(), header.count);
    if (capacity > kUnitMaxTokens) return -7;

    unit->version = header.version;
    unit->count = header.count;
    unit->reserved = header.reserved;
    unit->tokens = unit_alloc_tokens(capacity);
    if (!unit->tokens) return -4;
    unit->count = read_records(file.get(), unit->tokens, capacity);
    return 0;
}

}  // namespace zel

extern "C" {

ZEL_API int32_t zelset_load(const char* path, zelset_t* unit) {
    int32_t rc = zel::unit_file_read(path, unit);
    if (rc != 0) return rc;
    zel::sort_tokens_by_morton(unit->tokens, unit->count);
    switch (zel::unit_build_indexes(unit)) {
        case zel::IndexBuild::kIndexFailed: return -5;
        case zel::IndexBuild::kOrderFailed: return -6;
        case zel::IndexBuild::kOk: break;
    }
    return 0;
}

ZEL_API int32_t zelset_save(const char* path, const zelset_t* unit) {
    if (!unit || !unit->tokens || unit->count == 0) return -1;
    zel::File file(path, "wb");
    if (!file) return -2;
    unsigned char header[zel::kUnitHeaderBytes];
    zel::encode_unit_header(
        zel::UnitFileHeader{zel::kUnitMagic, unit->version, unit->count, unit->reserved, zel::time_now()}, header);
    if (!zel::write_exact(file.get(), header, sizeof header)) return -3;
    if (!zel::write_records(file.get(), unit->tokens, unit->count)) return -4;
    // Buffered records are only known to be written once the close, which
    // flushes them, succeeds.
    if (!file.close()) return -4;
    return 0;
}

}  // extern "C"
