#include "ogawa_reader/heuristic/mesh_data_finder.h"

#include "common/file_io.h"
#include "ogawa_reader/heuristic/scan_window.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/heuristic/word_tests.h"

namespace zel {
namespace {

constexpr std::size_t kCandidateBytes = 8 + 3 * 4;  // size field and three words
constexpr std::uint64_t kMaxBlock = 10'000'000;
constexpr std::uint64_t kMinCandidate = 1000;  // exclusive
constexpr float kMaxMagnitude = 50'000.0f;

}  // namespace

void find_mesh_data(std::FILE* f, std::int64_t file_size, MeshDataCandidate* positions, MeshDataCandidate* uvs) {
    *positions = MeshDataCandidate{};
    *uvs = MeshDataCandidate{};
    ScanWindow window(f, file_size, kCandidateBytes);
    auto end = static_cast<std::uint64_t>(file_size);
    for (std::uint64_t q = 16; q + kCandidateBytes <= end; q += 4) {
        std::size_t available;
        const unsigned char* bytes = window.at(q, &available);
        if (available < kCandidateBytes) break;
        std::uint64_t s = load_u64(bytes);
        if (s <= kMinCandidate || s > kMaxBlock || s % 4 != 0) continue;
        const unsigned char* w = bytes + 8;
        if (!all_finite_within(w, 0, 2, kMaxMagnitude)) continue;
        float a = word_f32(w, 0);
        float b = word_f32(w, 1);
        std::uint64_t payload = q + 8;
        if (s % 12 == 0 && s > positions->size && std::fabs(a) < 10'000.0f) *positions = {payload, s};
        if (s % 8 == 0 && std::fabs(a) <= 10.0f && std::fabs(b) <= 10.0f && payload != positions->offset &&
            s > uvs->size) {
            *uvs = {payload, s};
        }
    }
}

void ogawa_find_mesh_data(ogawa_archive_t* archive, MeshDataCandidate* positions, MeshDataCandidate* uvs) {
    *positions = MeshDataCandidate{};
    *uvs = MeshDataCandidate{};
    std::FILE* f = archive->file;
    std::int64_t file_size = stream_length(f);
    unsigned char root[8];
    if (read_at(f, 8, root, sizeof root) != sizeof root) return;
    if (file_size - 16 <= 16) return;
    find_mesh_data(f, file_size, positions, uvs);
}

}  // namespace zel
