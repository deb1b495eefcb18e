// Reading what the fallback scans found.
#include <cstdlib>

#include "common/alloc.h"
#include "ogawa_reader/heuristic/fallback_scans.h"
#include "ogawa_reader/heuristic/scan_tests.h"
#include "ogawa_reader/container/stream_read.h"

namespace zel {
namespace {

bool plausible_position(const float* xyz) {
    for (int i = 0; i < 3; ++i) {
        if (!finite_within(xyz[i], kMaxPositionMagnitude)) return false;
    }
    return true;
}

}  // namespace

int ogawa_scan_positions(ogawa_archive_t* archive, float** positions, std::uint32_t* count) {
    return scan_positions(archive->file, stream_length(archive->file), positions, count);
}

int scan_positions(std::FILE* f, std::int64_t file_size, float** positions, std::uint32_t* count) {
    ScanHit block = find_position_block(f, file_size);
    if (block.count < kMinPositionCount) return -1;
    *positions = nullptr;
    *count = 0;
    // Room for the triples the file can hold from the block's start on, at
    // most the block's count (below 10,000,000 / 12).
    std::uint64_t in_file = (static_cast<std::uint64_t>(file_size) - block.start) / 12;
    std::size_t wanted = block.count < in_file ? block.count : in_file;
    auto* triples = alloc_array<float>(wanted * 3);
    if (!triples) return -2;
    std::size_t got = read_at(f, block.start, triples, wanted * 12) / 12;
    words_to_native(triples, got * 3);
    std::uint32_t kept = 0;
    for (std::size_t i = 0; i < got; ++i) {
        const float* xyz = triples + 3 * i;
        if (!plausible_position(xyz)) continue;
        for (int k = 0; k < 3; ++k) triples[3 * std::size_t{kept} + k] = xyz[k];
        ++kept;
    }
    if (kept == 0) {
        std::free(triples);
        return -1;
    }
    *positions = triples;
    *count = kept;
    return 0;
}

void read_fallback_normals(CachedReader& reader, ogawa_polymesh_t* mesh) {
    ScanHit block = find_unit_normals(reader.file(), reader.size());
    if (block.count < kMinUnitNormalCount) return;
    auto* normals = static_cast<float*>(reader.read_new_words(block.start, block.count * 12));
    if (!normals) return;
    mesh->normals = normals;
    mesh->normal_count = static_cast<std::uint32_t>(block.count);
    mesh->normal_scope = OGAWA_SCOPE_FACE_VARYING;
}

void read_fallback_triangles(CachedReader& reader, ogawa_polymesh_t* mesh) {
    if (mesh->face_count != 0) return;
    ScanHit run = find_triangle_run(reader.file(), reader.size(), mesh->position_count);
    if (run.count < kMinTriangleRun) return;
    auto length = static_cast<std::uint32_t>(run.count);
    auto* indices = static_cast<std::uint32_t*>(reader.read_new_words(run.start, std::size_t{length} * 4));
    std::uint32_t triangles = length / 3;
    auto* counts = indices ? alloc_array<std::uint32_t>(triangles) : nullptr;
    if (!counts) {
        std::free(indices);
        return;
    }
    for (std::uint32_t i = 0; i < triangles; ++i) counts[i] = 3;
    mesh->face_indices = indices;
    mesh->face_index_count = length;
    mesh->face_counts = counts;
    mesh->face_count = triangles;
}

}  // namespace zel
