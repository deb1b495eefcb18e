// The archive handle: opening and checking the container header, decoding
// the description, the report, releasing objects and the mesh cache, schema
// names.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "ogawa_archive.h"
#include "ogawa_reader/description/description.h"
#include "ogawa_reader/description/object_tree.h"

namespace {

// Fails an open after the file was opened: the stream is closed, `file` null.
int refuse(ogawa_archive_t* archive, int code) {
    std::fclose(archive->file);
    archive->file = nullptr;
    return code;
}

void free_polymesh_record(ogawa_polymesh_t* mesh) {
    if (!mesh) return;
    ogawa_free_polymesh(mesh);
    std::free(mesh);
}

}  // namespace

extern "C" {

ZEL_API int ogawa_open(const char* path, ogawa_archive_t* archive) {
    if (!path || !archive) return -1;
    std::memset(archive, 0, sizeof *archive);
    std::strncpy(archive->path, path, sizeof archive->path - 1);
    archive->file = std::fopen(path, "rb");
    if (!archive->file) return -1;
    char magic[5];
    if (std::fread(magic, 1, sizeof magic, archive->file) != sizeof magic) return refuse(archive, -1);
    if (std::memcmp(magic, "Ogawa", sizeof magic) != 0) return refuse(archive, -2);
    int frozen = std::fgetc(archive->file);
    if (frozen != 0xFF) return refuse(archive, -3);
    unsigned char version[2];
    if (std::fread(version, 1, sizeof version, archive->file) != sizeof version) return refuse(archive, -4);
    archive->version_major = version[0];
    archive->version_minor = version[1];
    unsigned char root[8];
    if (std::fread(root, 1, sizeof root, archive->file) != sizeof root) return refuse(archive, -5);
    archive->start_time = 0.0;
    archive->end_time = 1.0;
    archive->fps = 24.0;
    zel::desc::attach_description(archive);
    return 0;
}

ZEL_API void ogawa_close(ogawa_archive_t* archive) {
    if (!archive) return;
    zel::desc::release_description(archive);
    if (archive->file) std::fclose(archive->file);
    if (archive->polymeshes) {
        for (uint32_t i = 0; i < archive->polymesh_count; ++i) free_polymesh_record(archive->polymeshes[i]);
        std::free(archive->polymeshes);
    }
    if (archive->objects) {
        for (uint32_t i = 0; i < archive->object_count; ++i) ogawa_free_object(archive->objects[i]);
        std::free(archive->objects);
    }
    std::memset(archive, 0, sizeof *archive);
}

ZEL_API void ogawa_get_info(const ogawa_archive_t* archive, char* buffer, int size) {
    if (!buffer || size <= 0 || !archive) return;
    // The path field may lack its terminator in a record the host filled.
    char path[sizeof archive->path];
    zel::copy_terminated(path, archive->path);
    // A described archive counts every object of its tree, and every
    // PolyMesh: the report decodes the whole tree.
    uint32_t objects = archive->object_count, polymeshes = archive->polymesh_count;
    if (const zel::desc::Description* d = zel::desc::indexed_description(archive)) {
        objects = static_cast<uint32_t>(d->preorder.size());
        polymeshes = d->polymesh_count;
    }
    std::snprintf(buffer, static_cast<size_t>(size),
                  "Ogawa Archive\n=============\nPath: %s\nVersion: %d.%d\nObjects: %u\nPolyMeshes: %u\n"
                  "Time Range: %.3f - %.3f sec\nFPS: %.2f",
                  path, archive->version_major, archive->version_minor, objects, polymeshes,
                  archive->start_time, archive->end_time, archive->fps);
}

ZEL_API int ogawa_archive_state(const ogawa_archive_t* archive) {
    if (!archive || !archive->file) return -1;
    return static_cast<int>(zel::desc::state_of(archive));
}

ZEL_API const char* ogawa_archive_problem(const ogawa_archive_t* archive) {
    if (!archive || !archive->file) return "";
    return zel::desc::problem_of(archive);
}

ZEL_API ogawa_schema_t ogawa_schema_from_string(const char* text) {
    if (!text) return OGAWA_SCHEMA_UNKNOWN;
    static const struct {
        const char* name;
        ogawa_schema_t schema;
    } kSearchOrder[] = {
        {"PolyMesh", OGAWA_SCHEMA_POLYMESH}, {"SubD", OGAWA_SCHEMA_SUBD},     {"Points", OGAWA_SCHEMA_POINTS},
        {"Xform", OGAWA_SCHEMA_XFORM},       {"Curve", OGAWA_SCHEMA_CURVES}, {"Camera", OGAWA_SCHEMA_CAMERA},
    };
    for (const auto& entry : kSearchOrder) {
        if (std::strstr(text, entry.name)) return entry.schema;
    }
    return OGAWA_SCHEMA_UNKNOWN;
}

ZEL_API const char* ogawa_schema_to_string(ogawa_schema_t schema) {
    switch (schema) {
        case OGAWA_SCHEMA_XFORM: return "Xform";
        case OGAWA_SCHEMA_POLYMESH: return "PolyMesh";
        case OGAWA_SCHEMA_SUBD: return "SubD";
        case OGAWA_SCHEMA_POINTS: return "Points";
        case OGAWA_SCHEMA_CURVES: return "Curves";
        case OGAWA_SCHEMA_CAMERA: return "Camera";
        default: return "Unknown";
    }
}

ZEL_API void ogawa_free_object(ogawa_object_t* object) {
    if (!object) return;
    free_polymesh_record(object->polymesh);
    if (object->aux_record) {
        std::free(object->aux_record->data);
        std::free(object->aux_record);
    }
    if (object->children) {
        for (uint32_t i = 0; i < object->child_count; ++i) ogawa_free_object(object->children[i]);
        std::free(object->children);
    }
    std::free(object);
}

}  // extern "C"
