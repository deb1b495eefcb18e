// Reading the token archive file. Every count is checked against the bytes
// left in the file before it sizes an allocation or a read.
#include <cstring>

#include "archive_format.h"
#include "common/alloc.h"
#include "common/file_io.h"

namespace {

using namespace zel::alembic;

enum Status : int32_t { kOk = 0, kNoMemory = -4, kTruncated = -5 };

// Reads from a file of known size, never past its end.
class Reader {
public:
    Reader(std::FILE* f, std::uint64_t size) : f_(f), left_(size) {}
    bool holds(std::uint64_t n) const { return n <= left_; }
    bool bytes(void* out, std::uint64_t n) {
        if (!holds(n) || !zel::read_exact(f_, out, static_cast<std::size_t>(n))) return false;
        left_ -= n;
        return true;
    }

private:
    std::FILE* f_;
    std::uint64_t left_;
};

// Allocates an array of count elements of `element` bytes into *out and fills
// it from the file; the size was checked against the file before.
template <class T>
Status read_array(Reader& r, T** out, std::uint64_t count, std::size_t element) {
    *out = static_cast<T*>(zel::alloc_bytes(static_cast<std::size_t>(count * element)));
    if (!*out) return kNoMemory;
    return r.bytes(*out, count * element) ? kOk : kTruncated;
}

Status read_mesh(Reader& r, zel_alembic_mesh_t& m) {
    unsigned char head[kMeshHeadSize];
    if (!r.bytes(head, sizeof head)) return kTruncated;
    std::memcpy(m.name, head, sizeof m.name);
    m.vertex_count = zel::load_u32(head + kMeshVertexCount);
    m.face_count = zel::load_u32(head + kMeshFaceCount);
    for (int i = 0; i < 6; ++i) m.bounds[i] = zel::load_f32(head + kMeshBounds + 4 * i);
    m.reserved = zel::load_u32(head + kMeshReserved);
    m.layer = head[kMeshLayer];
    if (!r.holds(mesh_body_bytes(m.vertex_count, m.face_count))) return kTruncated;

    const std::uint64_t v = m.vertex_count;
    Status s = read_array(r, &m.positions, v, kPositionBytes);
    if (s == kOk) s = read_array(r, &m.faces, m.face_count, kFaceBytes);
    if (s == kOk) s = read_array(r, &m.vertices, v, kRecordBytes);
    if (s == kOk) s = read_array(r, &m.tokens, v, kSlotBytes);
    return s;
}

Status read_frame(Reader& r, zel_alembic_frame_t& frame) {
    unsigned char head[kFrameHeadSize];
    if (!r.bytes(head, sizeof head)) return kTruncated;
    frame.frame_number = zel::load_u32(head);
    frame.time = zel::load_f32(head + 4);
    const std::uint32_t mesh_count = zel::load_u32(head + 8);
    if (!r.holds(std::uint64_t{mesh_count} * kFrameMeshHeadSize)) return kTruncated;
    frame.meshes = zel::alloc_zeroed_array<zel_alembic_mesh_t>(mesh_count);
    if (!frame.meshes) return kNoMemory;
    frame.mesh_count = mesh_count;
    for (std::uint32_t i = 0; i < mesh_count; ++i) {
        zel_alembic_mesh_t& m = frame.meshes[i];
        unsigned char count[kFrameMeshHeadSize];
        if (!r.bytes(count, sizeof count)) return kTruncated;
        m.vertex_count = zel::load_u32(count);
        if (!r.holds(std::uint64_t{m.vertex_count} * kPositionBytes)) return kTruncated;
        Status s = read_array(r, &m.positions, m.vertex_count, kPositionBytes);
        if (s != kOk) return s;
    }
    return kOk;
}

Status read_body(Reader& r, zel_alembic_t& a) {
    // Each block takes at least its head: counts the file cannot hold are
    // refused before anything is allocated for them.
    std::uint64_t least = std::uint64_t{a.mesh_count} * kMeshHeadSize + std::uint64_t{a.frame_count} * kFrameHeadSize;
    if (!r.holds(least)) return kTruncated;

    a.meshes = zel::alloc_zeroed_array<zel_alembic_mesh_t>(a.mesh_count);
    if (!a.meshes) return kNoMemory;
    for (std::uint32_t i = 0; i < a.mesh_count; ++i) {
        Status s = read_mesh(r, a.meshes[i]);
        if (s != kOk) return s;
    }
    if (a.frame_count == 0) return kOk;
    a.frames = zel::alloc_zeroed_array<zel_alembic_frame_t>(a.frame_count);
    if (!a.frames) return kNoMemory;
    for (std::uint32_t f = 0; f < a.frame_count; ++f) {
        Status s = read_frame(r, a.frames[f]);
        if (s != kOk) return s;
    }
    return kOk;
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_load(const char* path, zel_alembic_t* archive) {
    if (!path || !archive) return -1;
    zel::File file(path, "rb");
    if (!file) return -1;
    const std::int64_t size = zel::stream_size(file.get());
    if (size < 0) return -1;
    Reader r(file.get(), static_cast<std::uint64_t>(size));

    unsigned char h[kHeaderSize];
    if (!r.bytes(h, sizeof h) || std::memcmp(h, kArchiveMagic, sizeof kArchiveMagic) != 0) return -2;
    archive->version = zel::load_u32(h + kHeaderVersion);
    if (archive->version > kArchiveVersion) return -3;
    archive->mesh_count = zel::load_u32(h + kHeaderMeshCount);
    archive->frame_count = zel::load_u32(h + kHeaderFrameCount);
    archive->total_vertices = zel::load_u64(h + kHeaderTotalVertices);
    archive->total_faces = zel::load_u64(h + kHeaderTotalFaces);
    archive->fps = zel::load_f32(h + kHeaderFps);
    archive->time_start = zel::load_f32(h + kHeaderTimeStart);
    archive->time_end = zel::load_f32(h + kHeaderTimeEnd);
    archive->reserved = zel::load_u32(h + kHeaderReserved);

    // The mesh array is always assigned below, the frame array only when the
    // file has frames; otherwise the caller's pointer stays.
    archive->meshes = nullptr;
    if (archive->frame_count != 0) archive->frames = nullptr;
    Status s = read_body(r, *archive);
    if (s != kOk) {
        zel_alembic_free(archive);
        return s;
    }
    file.close();
    std::strncpy(archive->source, path, sizeof archive->source - 1);
    archive->source[sizeof archive->source - 1] = '\0';
    zel_alembic_build_hash_table(archive);
    return 0;
}

}  // extern "C"
