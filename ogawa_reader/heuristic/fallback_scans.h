// The scans of the fallback path, taken when the tree path finds no
// positions: a block of float triples whose size field lies near the start of
// the file, a block of unit vectors anywhere, and the longest run of small
// integers read as triangles. Each reads the file once, in order, whatever
// its size; the positions are then read from the stream, the normals and
// triangles through the reader.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ogawa_archive.h"
#include "ogawa_reader/container/cached_reader.h"

namespace zel {

// A block found by a scan: where its data starts and how many items it holds
// (0 = none found).
struct ScanHit {
    std::uint64_t start;
    std::uint64_t count;
};

// The position scan: at every byte p from 16 while p < 2048 and p < F - 48, a
// size field of 12,012..9,999,999 bytes followed by plausible float triples,
// in one of three layouts (after a 16-byte prefix, right after the size
// field, or after one more word). The largest count wins, the first among
// equals. count 0 when nothing passed.
ScanHit find_position_block(std::FILE* f, std::int64_t file_size);

// Positions of the largest block find_position_block gives, keeping the
// triples whose components are finite with magnitude at most 10000.
// 0 success; -1 no block of at least 100 triples (outputs untouched), nothing
// read or nothing kept (outputs null and 0); -2 the array cannot be allocated
// (outputs null and 0).
int scan_positions(std::FILE* f, std::int64_t file_size, float** positions, std::uint32_t* count);
// The same on the archive's stream.
int ogawa_scan_positions(ogawa_archive_t* archive, float** positions, std::uint32_t* count);

// The unit-normal scan: at every byte p from 40 to F - 77, a size field S of
// 10,001..1,999,999 bytes at p - 24 with S - 16 a multiple of 12, and two unit
// vectors at p. count = (S - 16) / 12; the largest wins, the first among
// equals.
ScanHit find_unit_normals(std::FILE* f, std::int64_t file_size);

// The triangle inference's run: at every 4-byte step p from 16 while
// p < F - 4, a word below position_count starts a run that each following
// word of 3, 4 or below position_count extends, up to 10,000,000 words. The
// longest run above 5 wins, the first among equals.
ScanHit find_triangle_run(std::FILE* f, std::int64_t file_size, std::uint32_t position_count);

// Fallback steps after the positions: normals from find_unit_normals when it
// finds more than 99 (scope face-varying), then triangles from
// find_triangle_run (every face count 3; indices after the last whole
// triangle are kept). An array that cannot be allocated or read is left null.
void read_fallback_normals(CachedReader& reader, ogawa_polymesh_t* mesh);
void read_fallback_triangles(CachedReader& reader, ogawa_polymesh_t* mesh);

}  // namespace zel
