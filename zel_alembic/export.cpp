// Export of token slots as unit files: the 24-byte unit header ("ZEL\0",
// version 1, count, reserved 0, timestamp 0) and 25-byte token records.
#include "archive_internal.h"
#include "common/file_io.h"
#include "zelset/unit_file_format.h"

namespace {

using namespace zel::alembic;

constexpr std::size_t kRecordsPerChunk = 1024;

// Writes the unit file through a buffer of whole records.
class UnitWriter {
public:
    explicit UnitWriter(std::FILE* f) : f_(f) {}

    void header(std::uint32_t count) {
        unsigned char h[zel::kUnitHeaderBytes];
        zel::encode_unit_header({zel::kUnitMagic, 1, count, 0, 0}, h);
        put(h, sizeof h);
    }

    void tokens(const zel_alembic_token_slot_t* slots, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (used_ + zel::kUnitRecordBytes > sizeof buffer_) flush();
            zel::encode_unit_record(slots[i].token, buffer_ + used_);
            used_ += zel::kUnitRecordBytes;
        }
    }

    // Writes what is buffered; true when every byte reached the stream.
    bool finish() {
        flush();
        return ok_;
    }

private:
    void put(const void* data, std::size_t n) {
        if (ok_) ok_ = zel::write_exact(f_, data, n);
    }
    void flush() {
        put(buffer_, used_);
        used_ = 0;
    }

    std::FILE* f_;
    bool ok_ = true;
    unsigned char buffer_[kRecordsPerChunk * zel::kUnitRecordBytes];
    std::size_t used_ = 0;
};

// Creates path and writes the header and every given mesh's slots.
int32_t write_unit_file(const char* path, std::uint32_t count, std::span<const zel_alembic_mesh_t> meshes) {
    zel::File file(path, "wb");
    if (!file) return -1;
    UnitWriter w(file.get());
    w.header(count);
    for (const zel_alembic_mesh_t& m : meshes) {
        if (m.vertex_count != 0) w.tokens(m.tokens, m.vertex_count);
    }
    bool written = w.finish();
    bool closed = file.close();
    return written && closed ? 0 : -2;
}

}  // namespace

extern "C" {

ZEL_API int32_t zel_alembic_export_zel(const zel_alembic_mesh_t* mesh, const char* path) {
    if (!mesh || !path || mesh->vertex_count == 0 || !mesh->tokens) return -1;
    return write_unit_file(path, mesh->vertex_count, std::span<const zel_alembic_mesh_t>(mesh, 1));
}

ZEL_API int32_t zel_alembic_export_file_zel(const zel_alembic_t* archive, const char* path) {
    if (!archive || !path) return -1;
    std::span<const zel_alembic_mesh_t> meshes = base_meshes(*archive);
    if (meshes.empty()) return -1;
    // The header's count must equal the records written.
    std::uint64_t total = 0;
    for (const zel_alembic_mesh_t& m : meshes) {
        if (m.vertex_count != 0 && !m.tokens) return -1;
        total += m.vertex_count;
    }
    if (total > UINT32_MAX) return -1;
    return write_unit_file(path, static_cast<std::uint32_t>(total), meshes);
}

}  // extern "C"
