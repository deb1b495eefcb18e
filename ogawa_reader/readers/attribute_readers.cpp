// The three attribute readers: from a described archive's description, or
// from a bare container by scanning the file for blocks of plausible shape.
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "ogawa_attributes.h"
#include "ogawa_reader/description/attribute_read.h"
#include "ogawa_reader/heuristic/attribute_scan.h"
#include "ogawa_reader/heuristic/mesh_data_finder.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/description/description.h"

namespace {

// Whether the `bytes` bytes at pos arrived whole in out (as native words).
bool read_words(std::FILE* f, std::uint64_t pos, std::size_t bytes, float* out) {
    if (zel::read_at(f, pos, out, bytes) != bytes) return false;
    zel::words_to_native(out, bytes / 4);
    return true;
}

// The earliest candidate that has a later one of the same size, and the
// earliest such later one.
bool first_equal_pair(const zel::AttributeBlock* found, std::size_t n, std::size_t* i, std::size_t* j) {
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = a + 1; b < n; ++b) {
            if (found[b].size == found[a].size) {
                *i = a;
                *j = b;
                return true;
            }
        }
    }
    return false;
}

// Whether the first `bytes` bytes of a block lie in the file: a block that
// runs past the end is a short read, found before its array is allocated.
bool inside(const zel::AttributeBlock& block, std::uint64_t bytes, std::int64_t file_size) {
    const auto size = static_cast<std::uint64_t>(file_size < 0 ? 0 : file_size);
    return block.offset <= size && bytes <= size - block.offset;
}

void release(float** array) {
    std::free(*array);
    *array = nullptr;
}

}  // namespace

extern "C" {

ZEL_API int ogawa_read_normals(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                               float** normals, uint32_t** normal_indices, uint32_t* count, uint32_t* scope) {
    if (!archive || !archive->file || !normals || !normal_indices || !count || !scope) return -1;
    if (zel::desc::Description* d = zel::desc::description_of(archive)) {
        zel::CachedReader reader = zel::desc::reader_of(archive, *d);
        *normal_indices = nullptr;
        return zel::desc::read_mesh_normals(reader, *d, object, sample_index, normals, count, scope);
    }
    if (zel::desc::is_damaged(archive)) {
        *normals = nullptr;
        *normal_indices = nullptr;
        *count = *scope = 0;
        return -1;
    }
    std::FILE* f = archive->file;
    const std::int64_t file_size = zel::stream_length(f);
    zel::AttributeBlock block = zel::find_largest_attribute(f, file_size, zel::kNormalsTest);
    if (block.size == 0) return -1;
    std::size_t triples = block.size / 12;
    *count = 0;
    *normals = nullptr;
    if (!inside(block, 12 * triples, file_size)) return -1;
    *normals = zel::alloc_array<float>(3 * triples);
    if (!*normals) return -2;
    if (!read_words(f, block.offset, 12 * triples, *normals)) {
        release(normals);
        return -1;
    }
    *count = static_cast<uint32_t>(triples);
    *normal_indices = nullptr;
    *scope = OGAWA_SCOPE_VERTEX;
    return 0;
}

ZEL_API int ogawa_read_uvs(ogawa_archive_t* archive, const ogawa_object_t* object, uint32_t sample_index,
                           uint32_t uv_set, ogawa_uv_set_t* set) {
    if (!archive || !archive->file || !set) return -1;
    if (zel::desc::Description* d = zel::desc::description_of(archive)) {
        zel::CachedReader reader = zel::desc::reader_of(archive, *d);
        return zel::desc::read_mesh_uvs(reader, *d, object, sample_index, uv_set, set);
    }
    if (zel::desc::is_damaged(archive)) {
        std::memset(set, 0, sizeof *set);
        return -1;
    }
    std::FILE* f = archive->file;
    std::int64_t file_size = zel::stream_length(f);
    if (file_size < zel::kMinAttributeFile) return -1;
    zel::MeshDataCandidate positions, uvs;
    zel::ogawa_find_mesh_data(archive, &positions, &uvs);
    zel::AttributeBlock block{uvs.offset, uvs.size};
    if (block.size == 0) block = zel::find_largest_attribute(f, file_size, zel::kUvTest);
    if (block.size == 0) return -1;
    std::memset(set, 0, sizeof *set);
    std::strcpy(set->name, "uv");
    std::size_t pairs = block.size / 8;  // at least 2: blocks hold 16 bytes or more
    if (!inside(block, 8 * pairs, file_size)) return -1;
    set->uvs = zel::alloc_array<float>(2 * pairs);
    if (!set->uvs) return -2;
    if (!read_words(f, block.offset, 8 * pairs, set->uvs)) {
        release(&set->uvs);
        return -1;
    }
    set->uv_count = static_cast<uint32_t>(pairs);
    set->scope = OGAWA_SCOPE_FACE_VARYING;
    return 0;
}

ZEL_API int ogawa_read_tangent_frame(ogawa_archive_t* archive, const ogawa_object_t* object,
                                     uint32_t sample_index, ogawa_tangent_frame_t* frame) {
    if (!archive || !archive->file || !frame) return -1;
    if (zel::desc::Description* d = zel::desc::description_of(archive)) {
        zel::CachedReader reader = zel::desc::reader_of(archive, *d);
        return zel::desc::read_mesh_tangent_frame(reader, *d, object, sample_index, frame);
    }
    std::memset(frame, 0, sizeof *frame);
    if (zel::desc::is_damaged(archive)) return -1;
    std::FILE* f = archive->file;
    const std::int64_t file_size = zel::stream_length(f);
    zel::AttributeBlock found[zel::kMaxAttributeCandidates];
    std::size_t n = zel::find_attributes(f, file_size, zel::kTangentTest, found, zel::kMaxAttributeCandidates);
    std::size_t i, j;
    if (!first_equal_pair(found, n, &i, &j)) return -1;
    const zel::AttributeBlock& first = found[i];
    const zel::AttributeBlock& second = found[j];
    std::size_t triples = first.size / 12;
    if (!inside(first, 12 * triples, file_size) || !inside(second, 12 * triples, file_size)) return -1;
    frame->tangents = zel::alloc_array<float>(3 * triples);
    frame->bitangents = frame->tangents ? zel::alloc_array<float>(3 * triples) : nullptr;
    if (!frame->bitangents) {
        release(&frame->tangents);
        return -2;
    }
    if (!read_words(f, first.offset, 12 * triples, frame->tangents) ||
        !read_words(f, second.offset, 12 * triples, frame->bitangents)) {
        release(&frame->tangents);
        release(&frame->bitangents);
        return -1;
    }
    frame->count = static_cast<uint32_t>(triples);
    frame->scope = OGAWA_SCOPE_VERTEX;
    return 0;
}

}  // extern "C"
