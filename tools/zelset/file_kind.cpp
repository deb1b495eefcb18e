#include "file_kind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "failure.h"

namespace zelset_cli {

FileKind file_kind_of(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw Failure(path, std::string("fopen failed (") + std::strerror(errno) + ")");
    unsigned char head[5] = {};
    std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    struct Magic {
        const char* bytes;
        std::size_t size;
        FileKind kind;
    };
    static const Magic kMagics[] = {
        {"Ogawa", 5, FileKind::kAlembic},        {"ZEL\0", 4, FileKind::kUnit},
        {"BZEL", 4, FileKind::kTokenArchive},    {"ZELM", 4, FileKind::kMeshCache},
        {"ZLAG", 4, FileKind::kAgentDirectory},
    };
    for (const Magic& m : kMagics) {
        if (got >= m.size && std::memcmp(head, m.bytes, m.size) == 0) return m.kind;
    }
    return FileKind::kUnknown;
}

const char* file_kind_name(FileKind kind) {
    switch (kind) {
        case FileKind::kAlembic: return "alembic";
        case FileKind::kUnit: return "unit";
        case FileKind::kTokenArchive: return "token archive";
        case FileKind::kMeshCache: return "mesh cache";
        case FileKind::kAgentDirectory: return "agent directory";
        case FileKind::kUnknown: break;
    }
    return "unknown";
}

}  // namespace zelset_cli
