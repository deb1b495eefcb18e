// Opens arbitrary bytes as an Ogawa archive and reads it as a host would:
// first through paths alone (the first mesh, then that mesh and its
// ancestors by path), so that objects are decoded lazily and damage may be
// found late; then its object index and the tree it loads, and every reader:
// the first mesh, positions alone, the report, normals, texture coordinates
// and the tangent frame, and the mesh and attribute readers on the first
// objects of the index, by path, at their first samples. A damaged archive
// reads nothing, also when the damage was found by an earlier call.
// Archives are opened by path, so the bytes go through a scratch file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// Every count of a mesh is backed by its array.
void touch_mesh(const ogawa_polymesh_t& mesh) {
    volatile float sink = 0;
    for (uint32_t i = 0; i < 3 * mesh.position_count; ++i) sink = sink + mesh.positions[i];
    for (uint32_t i = 0; i < 3 * mesh.normal_count; ++i) sink = sink + mesh.normals[i];
    for (uint32_t i = 0; i < mesh.face_count; ++i) sink = sink + float(mesh.face_counts[i]);
    for (uint32_t i = 0; i < mesh.face_index_count; ++i) sink = sink + float(mesh.face_indices[i]);
    for (uint32_t i = 0; mesh.sample_times && i < mesh.sample_count; ++i) sink = sink + float(mesh.sample_times[i]);
}

bool damaged(const ogawa_archive_t* archive) { return ogawa_archive_state(archive) == 2; }

// The readers of a described archive on one object: each result whole, or a
// failure that hands nothing out; none succeeds once the archive is damaged.
void read_object(ogawa_archive_t* archive, const ogawa_object_t* object) {
    for (uint32_t sample = 0; sample < 2; ++sample) {
        ogawa_polymesh_t mesh;
        const int rc = ogawa_read_polymesh(archive, object, sample, &mesh);
        require(rc == 0 ? mesh.position_count != 0 && !damaged(archive) : mesh.positions == nullptr);
        touch_mesh(mesh);
        ogawa_free_polymesh(&mesh);

        float* normals = nullptr;
        uint32_t* indices = nullptr;
        uint32_t count = 0, scope = 0;
        if (ogawa_read_normals(archive, object, sample, &normals, &indices, &count, &scope) == 0) {
            require(indices == nullptr && count != 0 && (scope == 3 || scope == 4));
            volatile float last = normals[3 * count - 1];
            (void)last;
        }
        std::free(normals);
        for (uint32_t set = 0; set < 2; ++set) {
            ogawa_uv_set_t uvs;
            if (ogawa_read_uvs(archive, object, sample, set, &uvs) == 0) {
                require((uvs.uv_count == 0) == (uvs.uvs == nullptr) && (uvs.index_count == 0) == (uvs.indices == nullptr));
            } else {
                require(uvs.uvs == nullptr && uvs.indices == nullptr);
            }
            ogawa_free_uv_set(&uvs);
        }
        ogawa_tangent_frame_t frame;
        if (ogawa_read_tangent_frame(archive, object, sample, &frame) == 0) {
            volatile float last = frame.tangents[3 * frame.count - 1] + frame.bitangents[3 * frame.count - 1];
            (void)last;
        }
        ogawa_free_tangent_frame(&frame);
    }
}

// The object's properties: whole records in pre-order (one level deeper
// only right after a compound), none when they do not decode, and every
// sample's digest checked.
void walk_properties(ogawa_archive_t* archive, uint32_t object) {
    const int decoded = ogawa_decode_properties(archive, object);
    require(decoded <= 0 && decoded >= -3);
    const uint32_t count = ogawa_property_count(archive, object);
    require(decoded == 0 || count == 0);
    uint32_t deepest = 1;
    for (uint32_t i = 0; i < count; ++i) {
        ogawa_property_info_t p;
        require(ogawa_get_property(archive, object, i, &p) == 0);
        require(p.kind <= 2 && p.depth >= 1 && p.depth <= deepest);
        volatile std::size_t texts = std::strlen(p.name) + std::strlen(p.path) + std::strlen(p.metadata);
        (void)texts;
        deepest = p.kind == 0 ? p.depth + 1 : p.depth;
        uint32_t mismatched[4];
        const int32_t found = ogawa_verify_samples(archive, object, i, mismatched, 4);
        require(found >= -1 && (found <= 0 || static_cast<uint32_t>(found) <= p.stored_count));
        for (int32_t m = 0; m < found && m < 4; ++m) require(mismatched[m] < p.stored_count);
    }
    require(ogawa_get_property(archive, object, count, nullptr) == -1);
}

// The first mesh, then it and each of its ancestors by path ("/a/b/m",
// "/a/b", "/a"), before any call has decoded the whole tree.
void read_through_paths(ogawa_archive_t* archive) {
    ogawa_polymesh_t first;
    if (ogawa_read_polymesh(archive, nullptr, 0, &first) != 0) return;
    require(!damaged(archive) && first.path[0] == '/');
    ogawa_object_t record{};
    static_assert(sizeof record.path == sizeof first.path);
    std::memcpy(record.path, first.path, sizeof record.path);
    ogawa_free_polymesh(&first);
    for (char* end = record.path + std::strlen(record.path); end != record.path; end = std::strrchr(record.path, '/')) {
        *end = '\0';
        read_object(archive, &record);
    }
}

// Every entry of the index is whole: terminated texts, a parent before it,
// its depth one below its parent's, its subtree inside the index, found by
// its path. The first 16 are read, with their properties.
void walk_index(ogawa_archive_t* archive) {
    const uint32_t n = ogawa_object_count(archive);
    std::set<std::pair<uint32_t, std::string>> names;
    std::vector<bool> ambiguous;
    for (uint32_t i = 0; i < n; ++i) {
        ogawa_object_info_t o;
        require(ogawa_get_object(archive, i, &o) == 0);
        require(o.path[0] == '/');
        volatile std::size_t texts = std::strlen(o.schema_text) + std::strlen(o.name) + std::strlen(o.instance_source);
        (void)texts;
        require(o.next_sibling > i && o.next_sibling <= n);
        if (o.parent == UINT32_MAX) {
            require(o.depth == 1);
        } else {
            ogawa_object_info_t parent;
            require(o.parent < i && ogawa_get_object(archive, o.parent, &parent) == 0 && o.depth == parent.depth + 1);
            require(o.next_sibling <= parent.next_sibling);
        }
        // A path finds the first object of each name, level by level: this
        // one, or an earlier one of the same path. Under siblings of one name
        // or a name holding '/' (writers write neither) it may find none, nor
        // a path cut for length.
        const bool repeated = !names.insert({o.parent, o.name}).second || std::strchr(o.name, '/') ||
                              std::strlen(o.path) > 1023;
        ambiguous.push_back(repeated || (o.parent != UINT32_MAX && ambiguous[o.parent]));
        const int32_t found = ogawa_find_object(archive, o.path);
        require(found >= 0 ? static_cast<uint32_t>(found) <= i : ambiguous[i]);
        (void)ogawa_object_samples(archive, i);
        if (i < 16) {
            ogawa_object_t record{};
            std::strncpy(record.path, o.path, sizeof record.path - 1);
            read_object(archive, &record);
            walk_properties(archive, i);
        }
    }
    require(ogawa_get_object(archive, n, nullptr) == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zel_fuzz::ScratchFile input("ogawa_input.abc");
    input.write(data, size);
    ogawa_archive_t archive;
    if (ogawa_open(input.path(), &archive) == 0) {
        const int state = ogawa_archive_state(&archive);
        require(state >= 0 && state <= 2 && (state == 0) == (*ogawa_archive_problem(&archive) == '\0'));
        if (state == 0) read_through_paths(&archive);
        walk_index(&archive);
        // Damage found late leaves the archive damaged, with its problem.
        const int late = ogawa_archive_state(&archive);
        require(late == state || (state == 0 && late == 2 && *ogawa_archive_problem(&archive) != '\0'));
        const int loaded = ogawa_load_objects(&archive);
        require(loaded == 0 ? !damaged(&archive) && late == 0 : loaded == -1 || (loaded == -2 && late == 0));
        walk_tree(archive.objects, archive.object_count);
        const ogawa_polymesh_t* mesh = ogawa_get_first_polymesh(&archive);
        require(!mesh || !damaged(&archive));
        if (mesh) touch_mesh(*mesh);
        float* positions = nullptr;
        uint32_t count = 0;
        const int positions_rc = ogawa_read_positions(&archive, nullptr, 0, &positions, &count);
        require(positions_rc != 0 || (count != 0 && !damaged(&archive)));
        std::free(positions);

        float* normals = nullptr;
        uint32_t* indices = nullptr;
        uint32_t normal_count = 0, scope = 0;
        const int normals_rc = ogawa_read_normals(&archive, nullptr, 0, &normals, &indices, &normal_count, &scope);
        require(normals_rc != 0 || (normal_count != 0 && indices == nullptr && !damaged(&archive)));
        std::free(normals);
        ogawa_uv_set_t uvs{};
        require(ogawa_read_uvs(&archive, nullptr, 0, 0, &uvs) != 0 || (uvs.uv_count != 0 && !damaged(&archive)));
        ogawa_free_uv_set(&uvs);
        ogawa_tangent_frame_t frame{};
        const int frame_rc = ogawa_read_tangent_frame(&archive, nullptr, 0, &frame);
        require(frame_rc == 0 ? !damaged(&archive) : frame.tangents == nullptr);
        ogawa_free_tangent_frame(&frame);
    }
    char report[512];
    ogawa_get_info(&archive, report, sizeof report);
    ogawa_close(&archive);
    return 0;
}
