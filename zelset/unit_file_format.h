// The unit file's byte layout: a 24-byte header and 25-byte token records,
// little-endian and packed, encoded field by field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zel_unit.h"

namespace zel {

inline constexpr std::size_t kUnitHeaderBytes = 24;
inline constexpr std::size_t kUnitRecordBytes = 25;
// "ZEL" and a zero byte, read as one little-endian word.
inline constexpr std::uint32_t kUnitMagic = 0x004C455Au;

struct UnitFileHeader {
    std::uint32_t magic;
    std::uint32_t version;
    std::uint32_t count;
    std::uint32_t reserved;
    std::int64_t timestamp;
};

UnitFileHeader decode_unit_header(const unsigned char* bytes);
void encode_unit_header(const UnitFileHeader& header, unsigned char* bytes);

zel_token_t decode_unit_record(const unsigned char* bytes);
void encode_unit_record(const zel_token_t& token, unsigned char* bytes);

}  // namespace zel
