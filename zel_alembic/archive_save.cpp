// Writing the token archive file.
#include <cstring>

#include "archive_format.h"
#include "archive_internal.h"
#include "common/file_io.h"

namespace {

using namespace zel::alembic;

// A writer that remembers the first failure and writes nothing after it.
class Writer {
public:
    explicit Writer(std::FILE* f) : f_(f) {}
    void bytes(const void* data, std::size_t n) {
        if (ok_) ok_ = zel::write_exact(f_, data, n);
    }
    void u32(std::uint32_t v) {
        unsigned char b[4];
        zel::store_u32(b, v);
        bytes(b, sizeof b);
    }
    bool ok() const { return ok_; }

private:
    std::FILE* f_;
    bool ok_ = true;
};

// Every array a block is written from is present. A mesh without vertices
// needs none of them, so it is saved as an empty block.
bool base_mesh_savable(const zel_alembic_mesh_t& m) {
    if (m.vertex_count != 0 && (!m.positions || !m.vertices || !m.tokens)) return false;
    return m.face_count == 0 || m.faces;
}

bool archive_savable(const zel_alembic_t& a) {
    if ((a.mesh_count != 0 && !a.meshes) || (a.frame_count != 0 && !a.frames)) return false;
    for (const zel_alembic_mesh_t& m : base_meshes(a)) {
        if (!base_mesh_savable(m)) return false;
    }
    for (const zel_alembic_frame_t& frame : frames_of(a)) {
        if (frame.mesh_count != 0 && !frame.meshes) return false;
        for (const zel_alembic_mesh_t& m : meshes_of(frame)) {
            if (m.vertex_count != 0 && !m.positions) return false;
        }
    }
    return true;
}

void write_header(Writer& w, const zel_alembic_t& a) {
    unsigned char h[kHeaderSize] = {};
    std::memcpy(h, kArchiveMagic, sizeof kArchiveMagic);
    zel::store_u32(h + kHeaderVersion, kArchiveVersion);
    zel::store_u32(h + kHeaderMeshCount, a.mesh_count);
    zel::store_u32(h + kHeaderFrameCount, a.frame_count);
    zel::store_u64(h + kHeaderTotalVertices, a.total_vertices);
    zel::store_u64(h + kHeaderTotalFaces, a.total_faces);
    zel::store_f32(h + kHeaderFps, a.fps);
    zel::store_f32(h + kHeaderTimeStart, a.time_start);
    zel::store_f32(h + kHeaderTimeEnd, a.time_end);
    zel::store_u32(h + kHeaderReserved, a.reserved);
    w.bytes(h, sizeof h);
}

void write_mesh(Writer& w, const zel_alembic_mesh_t& m) {
    unsigned char head[kMeshHeadSize];
    std::memcpy(head, m.name, sizeof m.name);
    zel::store_u32(head + kMeshVertexCount, m.vertex_count);
    zel::store_u32(head + kMeshFaceCount, m.face_count);
    for (int i = 0; i < 6; ++i) zel::store_f32(head + kMeshBounds + 4 * i, m.bounds[i]);
    zel::store_u32(head + kMeshReserved, m.reserved);
    head[kMeshLayer] = m.layer;
    w.bytes(head, sizeof head);
    // Empty arrays write nothing (and may be null).
    w.bytes(m.positions, m.vertex_count * kPositionBytes);
    w.bytes(m.faces, m.face_count * kFaceBytes);
    w.bytes(m.vertices, m.vertex_count * kRecordBytes);
    w.bytes(m.tokens, m.vertex_count * kSlotBytes);
}

void write_frame(Writer& w, const zel_alembic_frame_t& frame) {
    unsigned char head[kFrameHeadSize];
    zel::store_u32(head, frame.frame_number);
    zel::store_f32(head + 4, frame.time);
    zel::store_u32(head + 8, frame.mesh_count);
    w.bytes(head, sizeof head);
    for (const zel_alembic_mesh_t& m : meshes_of(frame)) {
        w.u32(m.vertex_count);
        w.bytes(m.positions, m.vertex_count * kPositionBytes);
    }
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_save(const char* path, const zel_alembic_t* archive) {
    if (!path || !archive || !archive_savable(*archive)) return -1;
    zel::File file(path, "wb");
    if (!file) return -1;
    Writer w(file.get());
    write_header(w, *archive);
    for (const zel_alembic_mesh_t& m : base_meshes(*archive)) write_mesh(w, m);
    for (const zel_alembic_frame_t& frame : frames_of(*archive)) write_frame(w, frame);
    bool closed = file.close();
    return w.ok() && closed ? 0 : -2;
}

}  // extern "C"
