// zel_alembic_load on arbitrary bytes, then the read-only operations on
// whatever loaded.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "zel_alembic.h"

namespace {

const std::string& scratch_path() {
    static const std::string path = "/tmp/alembic_archive_fuzz_" + std::to_string(getpid()) + ".bzel";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratch_path();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    zel_alembic_t archive;
    std::memset(&archive, 0, sizeof archive);
    if (zel_alembic_load(path.c_str(), &archive) == 0) {
        char report[512];
        zel_alembic_file_info(&archive, report, sizeof report);
        zel_alembic_validate(&archive);
        zel_alembic_result_t results[4];
        zel_alembic_query_nearest(&archive, 0x1234, 4, results);
        zel_alembic_query_layer(&archive, 1, results, 4);
        zel_alembic_lookup_morton(&archive, 0, results);
        zel_alembic_lookup_frame_vertex(&archive, 1, 0, 0, results);
        zel_alembic_mesh_t sampled;
        if (zel_alembic_sample_frame(&archive, 1, &sampled) == 0) zel_alembic_mesh_info(&sampled, report, sizeof report);
        zel_alembic_mesh_t moved;
        std::memset(&moved, 0, sizeof moved);
        if (zel_alembic_interpolate_time(&archive, 0.5f, &moved) == 0) zel_alembic_mesh_free(&moved);
    }
    zel_alembic_free(&archive);
    std::remove(path.c_str());
    return 0;
}
