#include "file_kind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "failure.h"

namespace zelset_cli {

FileHead read_head(const std::string& path) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw Failure(path, "cannot open" + os_reason());
    FileHead head;
    head.size = std::fread(head.bytes, 1, sizeof head.bytes, f);
    bool failed = std::ferror(f) != 0;
    std::string reason = os_reason();
    std::fclose(f);
    if (failed) throw Failure(path, "cannot read" + reason);
    return head;
}

FileKind file_kind_of(const FileHead& head) {
    struct Magic {
        const char* bytes;
        std::size_t size;
        FileKind kind;
    };
    static const Magic kMagics[] = {
        {"Ogawa", 5, FileKind::kAlembic},      {"\x89HDF\r\n\x1a\n", 8, FileKind::kHdf5Alembic},
        {"ZEL\0", 4, FileKind::kUnit},         {"BZEL", 4, FileKind::kTokenArchive},
        {"ZELM", 4, FileKind::kMeshCache},     {"ZLAG", 4, FileKind::kAgentDirectory},
    };
    if (head.size == 0) return FileKind::kEmpty;
    for (const Magic& m : kMagics) {
        if (head.size >= m.size && std::memcmp(head.bytes, m.bytes, m.size) == 0) return m.kind;
    }
    return FileKind::kUnknown;
}

const char* file_kind_name(FileKind kind) {
    switch (kind) {
        case FileKind::kAlembic: return "alembic";
        case FileKind::kHdf5Alembic: return "HDF5 alembic";
        case FileKind::kUnit: return "unit";
        case FileKind::kTokenArchive: return "token archive";
        case FileKind::kMeshCache: return "mesh cache";
        case FileKind::kAgentDirectory: return "agent directory";
        case FileKind::kEmpty: return "empty";
        case FileKind::kUnknown: break;
    }
    return "unknown";
}

std::optional<std::uint32_t> header_count(const FileHead& head) {
    if (head.size < 12) return std::nullopt;
    const unsigned char* p = head.bytes + 8;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void require_ogawa(const std::string& path) {
    switch (file_kind_of(read_head(path))) {
        case FileKind::kAlembic: return;
        case FileKind::kHdf5Alembic:
            throw Failure(path, "an HDF5-based Alembic archive; only the Ogawa container is read");
        case FileKind::kEmpty: throw Failure(path, "an empty file, not an Alembic archive");
        default: throw Failure(path, "not an Alembic archive (no Ogawa header)");
    }
}

}  // namespace zelset_cli
