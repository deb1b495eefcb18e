// The Ogawa reader's file scans written literally: a seek and a read at every
// position they test, the triangle runs measured again from every start, the
// mesh-data finder in overlapping 4096-byte chunks. Slow on purpose: the
// reader's one-pass scans must give exactly these results.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace ogawa_oracle {

// Where a block's data starts and how many items it holds (0: none found).
struct Hit {
    std::uint64_t start = 0;
    std::uint64_t count = 0;
};

// A block's payload and its size in bytes (0: none found).
struct Block {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The position scan: every byte p from 16 while p < 2048 and p < F - 48.
Hit position_block(std::FILE* f);
// The unit-normal scan: every byte p from 40 to F - 77.
Hit unit_normals(std::FILE* f);
// The triangle inference's longest run (count = its length in words).
Hit triangle_run(std::FILE* f, std::uint32_t position_count);
// The mesh-data finder's position and texture-coordinate candidates.
void mesh_data(std::FILE* f, Block* positions, Block* uvs);

// The attribute readers' scans: every 4-byte step p from 16 while p < F - 24.
Block largest_normals(std::FILE* f);
Block largest_uvs(std::FILE* f);
std::vector<Block> tangent_candidates(std::FILE* f);  // at most 32, in file order

}  // namespace ogawa_oracle
