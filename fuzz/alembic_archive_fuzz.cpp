// zel_alembic_load on arbitrary bytes, then the read-only operations on
// whatever loaded.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "zel_alembic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zel_fuzz::ScratchFile input("archive_input.bzel");
    input.write(data, size);

    zel_alembic_t archive;
    std::memset(&archive, 0, sizeof archive);
    if (zel_alembic_load(input.path(), &archive) == 0) {
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
    return 0;
}
