// The three ways the scene benchmarks read an archive, each from open to
// close: the first mesh; the whole tree through the object index; every mesh
// by its path at sample 0. Each returns what it saw (meshes or objects), 0
// when something failed.
#pragma once

#include <cstdint>
#include <cstring>

#include "ogawa_reader.h"

namespace bench_scenes {

enum class Mode { kFirstMesh, kTree, kEveryMesh };

inline std::uint64_t read_scene(const char* path, Mode mode) {
    ogawa_archive_t archive;
    if (ogawa_open(path, &archive) != 0) return 0;
    std::uint64_t seen = 0;
    const std::uint32_t n = ogawa_object_count(&archive);
    if (mode == Mode::kFirstMesh) {
        seen = ogawa_get_first_polymesh(&archive) ? 1 : 0;
    } else {
        ogawa_object_t record{};
        for (std::uint32_t i = 0; i < n; ++i) {
            ogawa_object_info_t info;
            if (ogawa_get_object(&archive, i, &info) != 0) return 0;
            if (mode == Mode::kTree) {
                seen += info.name[0] != '\0' && info.path[0] == '/';
                continue;
            }
            if (info.schema != OGAWA_SCHEMA_POLYMESH) continue;
            std::strncpy(record.path, info.path, sizeof record.path - 1);
            ogawa_polymesh_t mesh;
            if (ogawa_read_polymesh(&archive, &record, 0, &mesh) != 0) {
                seen = 0;
                break;
            }
            ++seen;
            ogawa_free_polymesh(&mesh);
        }
    }
    ogawa_close(&archive);
    return seen;
}

}  // namespace bench_scenes
