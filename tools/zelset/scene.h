// An Alembic archive opened through the reader, and the meshes read from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "failure.h"
#include "ogawa_reader.h"

namespace zelset_cli {

// A mesh of an archive's tree: its full path and the samples of its P.
struct MeshObject {
    std::string path;
    std::uint32_t samples = 0;
};

class Scene {
public:
    // Throws Failure in words when path is no Ogawa archive or cannot be
    // opened, when the archive is damaged, and, unless salvage, when the
    // reader cannot describe it (its meshes would be guesses by shape).
    Scene(std::string path, bool salvage);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    const std::string& path() const { return path_; }
    ogawa_archive_t* archive() { return &archive_; }
    // Whether the reader decoded what the archive says about itself.
    bool described() const { return ogawa_archive_state(&archive_) == 0; }
    // Every object of the tree in pre-order, from the reader's object index;
    // their texts are the archive's, valid until it closes.
    std::vector<ogawa_object_info_t> objects() const;
    // The number of objects; decoding the whole tree, it throws Failure in
    // words when that finds the archive damaged.
    std::uint32_t object_count() const;
    // Object index of the tree.
    ogawa_object_info_t object(std::uint32_t index) const;
    // Whether the object's property headers decode (an object without
    // properties has none to decode); throws std::bad_alloc when out of memory.
    // Where they do not, the command says kUnreadableProperties.
    bool properties_readable(std::uint32_t index);
    // The object of that full path, if there is one.
    std::optional<ogawa_object_info_t> find(const std::string& object_path) const;
    // The mesh of that full path; throws Failure in words when there is no
    // such object or it is no mesh.
    ogawa_object_info_t mesh(const std::string& object_path) const;
    // Every PolyMesh and SubD of the tree in pre-order, with its sample count.
    std::vector<MeshObject> meshes();
    // The path of the first mesh: the first PolyMesh or SubD in pre-order
    // whose sample 0 holds a position; of an archive read by the shape of its
    // blocks, the one mesh found. Throws Failure in words when there is none.
    std::string first_mesh_path();

private:
    Failure damaged_failure() const;
    void refuse_if_found_damaged() const;

    std::string path_;
    ogawa_archive_t archive_;
};

inline constexpr const char* kUnreadableProperties = "its properties cannot be read (damaged)";

bool is_mesh_schema(ogawa_schema_t schema);

// Sample `sample` of something that has `samples`, or its last one when it
// has fewer (what stays still keeps its one pose); sample itself when the
// count is unknown (0).
inline std::uint32_t at_most_last(std::uint32_t sample, std::uint32_t samples) {
    return samples > 0 && sample >= samples ? samples - 1 : sample;
}

// The record that names an object to the readers: its full path.
ogawa_object_t object_record(const char* path);

// One mesh sample read with ogawa_read_polymesh, released on every path.
class MeshSample {
public:
    // object null: the first mesh. Throws Failure in words (a sample past the
    // last one as the samples there are), std::bad_alloc when out of memory.
    MeshSample(Scene& scene, const ogawa_object_t* object, std::uint32_t sample);
    ~MeshSample() { ogawa_free_polymesh(&mesh_); }
    MeshSample(const MeshSample&) = delete;
    MeshSample& operator=(const MeshSample&) = delete;

    ogawa_polymesh_t& mesh() { return mesh_; }
    const ogawa_polymesh_t& mesh() const { return mesh_; }

private:
    ogawa_polymesh_t mesh_;
};

// Moves positions (and normals) from object space into world space with the
// sample's world matrix (row vectors: p' = p M); normals by the inverse
// transpose, normalised. The bounds follow the positions.
void to_world(ogawa_polymesh_t& mesh);

// The faces fanned around their first corner into triangles (3 indices
// each). Throws Failure when the faces run past their indices.
std::vector<std::uint32_t> fan_triangles(const std::string& file, const ogawa_polymesh_t& mesh);

}  // namespace zelset_cli
