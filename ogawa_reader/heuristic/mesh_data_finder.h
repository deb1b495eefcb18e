// The mesh-data finder: a scan of the whole file for the largest block of
// float triples and the largest block of texture coordinates, each right
// after its size field (no prefix is assumed).
#pragma once

#include <cstdint>
#include <cstdio>

#include "ogawa_archive.h"

namespace zel {

struct MeshDataCandidate {
    std::uint64_t offset;  // file position of the payload
    std::uint64_t size;    // payload bytes; 0 = none
};

// At every 4-byte step q from 16 with q + 20 within the file: a size field S
// above 1000 and at most 10,000,000 bytes, a multiple of 4, followed by three
// finite words of magnitude at most 50000. A position candidate also needs S
// a multiple of 12 and |first word| < 10000; a texture-coordinate candidate S
// a multiple of 8, its first two words within -10..10, and a payload other
// than the held position candidate's. The largest of each wins, the first
// among equals. Both outputs are (0, 0) when nothing qualifies.
void find_mesh_data(std::FILE* f, std::int64_t file_size, MeshDataCandidate* positions, MeshDataCandidate* uvs);

// The same on an archive: nothing when the stream is shorter than 33 bytes
// or its header's root position cannot be read.
void ogawa_find_mesh_data(ogawa_archive_t* archive, MeshDataCandidate* positions, MeshDataCandidate* uvs);

}  // namespace zel
