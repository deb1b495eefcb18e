// Opens arbitrary bytes as an Ogawa archive, walks the object tree its
// description gives, and runs every reader on it: the first mesh, positions
// alone, the report, normals, texture coordinates and the tangent frame.
// Archives are opened by path, so the bytes go through a scratch file.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "ogawa_reader.h"

namespace {

using zel_fuzz::require;

// Every record of the tree is whole: terminated texts, children behind every
// count, a known schema, nothing hanging from it.
void walk_tree(ogawa_object_t* const* objects, uint32_t count) {
    require((objects == nullptr) == (count == 0));
    for (uint32_t i = 0; i < count; ++i) {
        const ogawa_object_t* o = objects[i];
        require(std::memchr(o->name, 0, sizeof o->name) && std::memchr(o->path, 0, sizeof o->path));
        require(o->path[0] == '/' && !o->polymesh && !o->aux_record);
        require(std::strcmp(ogawa_schema_to_string(o->schema), "Unknown") != 0 || o->schema == OGAWA_SCHEMA_UNKNOWN);
        walk_tree(o->children, o->child_count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zel_fuzz::ScratchFile input("ogawa_input.abc");
    input.write(data, size);
    ogawa_archive_t archive;
    if (ogawa_open(input.path(), &archive) == 0) {
        walk_tree(archive.objects, archive.object_count);
        const ogawa_polymesh_t* mesh = ogawa_get_first_polymesh(&archive);
        if (mesh) {
            // Every count must be backed by its array.
            volatile float sink = 0;
            for (uint32_t i = 0; i < 3 * mesh->position_count; ++i) sink = sink + mesh->positions[i];
            for (uint32_t i = 0; i < 3 * mesh->normal_count; ++i) sink = sink + mesh->normals[i];
            for (uint32_t i = 0; i < mesh->face_count; ++i) sink = sink + float(mesh->face_counts[i]);
            for (uint32_t i = 0; i < mesh->face_index_count; ++i) sink = sink + float(mesh->face_indices[i]);
        }
        float* positions = nullptr;
        uint32_t count = 0;
        require(ogawa_read_positions(&archive, nullptr, 0, &positions, &count) != 0 || count != 0);
        std::free(positions);

        float* normals = nullptr;
        uint32_t* indices = nullptr;
        uint32_t normal_count = 0, scope = 0;
        require(ogawa_read_normals(&archive, nullptr, 0, &normals, &indices, &normal_count, &scope) != 0 ||
                (normal_count != 0 && indices == nullptr));
        std::free(normals);
        ogawa_uv_set_t uvs{};
        require(ogawa_read_uvs(&archive, nullptr, 0, 0, &uvs) != 0 || uvs.uv_count != 0);
        ogawa_free_uv_set(&uvs);
        ogawa_tangent_frame_t frame{};
        require(ogawa_read_tangent_frame(&archive, nullptr, 0, &frame) == 0 || frame.tangents == nullptr);
        ogawa_free_tangent_frame(&frame);
    }
    char report[512];
    ogawa_get_info(&archive, report, sizeof report);
    ogawa_close(&archive);
    return 0;
}
