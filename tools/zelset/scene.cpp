#include "scene.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include "failure.h"
#include "file_kind.h"

namespace zelset_cli {

namespace {

// Why a mesh sample cannot be read, in words: a sample past the last one is
// told by the samples there are.
Failure unreadable_sample(Scene& scene, const ogawa_object_t* object, std::uint32_t sample, int status) {
    const std::string in_brackets = " [status " + std::to_string(status) + "]";
    if (!object) return Failure(scene.path(), "holds no mesh with positions" + in_brackets);
    std::uint32_t samples = 0;
    ogawa_polymesh_t first{};
    if (sample > 0 && ogawa_read_polymesh(scene.archive(), object, 0, &first) == 0) samples = first.sample_count;
    ogawa_free_polymesh(&first);
    const std::string path = object->path;
    if (samples == 1) return Failure(scene.path(), path + " has only sample 0");
    if (samples > 1 && sample >= samples) {
        return Failure(scene.path(), path + " has samples 0 to " + std::to_string(samples - 1));
    }
    return Failure(scene.path(), "sample " + std::to_string(sample) + " of " + path + " cannot be read" + in_brackets);
}

}  // namespace

Scene::Scene(std::string path, bool salvage) : path_(std::move(path)) {
    require_ogawa(path_);
    errno = 0;
    int status = ogawa_open(path_.c_str(), &archive_);
    if (status != 0) {
        throw status_failure(path_, status,
                             {{-1, "cannot open", true}, {-2, "not an Alembic archive (no Ogawa header)"}},
                             "not an Alembic archive (its Ogawa header is cut short or damaged)");
    }
    const int state = ogawa_archive_state(&archive_);
    if (state == 2) {
        const Failure damaged = damaged_failure();
        ogawa_close(&archive_);
        throw damaged;
    }
    if (state == 1 && !salvage) {
        ogawa_close(&archive_);
        throw Failure(path_, "not an Alembic archive this reader can describe (--salvage reads it by the shape "
                             "of its blocks, as guesses)");
    }
}

Scene::~Scene() { ogawa_close(&archive_); }

Failure Scene::damaged_failure() const {
    return Failure(path_, std::string("a damaged archive (") + ogawa_archive_problem(&archive_) + "); nothing is read from it");
}

// The calls that number objects decode the whole tree, which may find damage
// that opening did not reach.
void Scene::refuse_if_found_damaged() const {
    if (ogawa_archive_state(&archive_) == 2) throw damaged_failure();
}

std::uint32_t Scene::object_count() const {
    const std::uint32_t count = ogawa_object_count(&archive_);
    refuse_if_found_damaged();
    return count;
}

std::vector<ogawa_object_info_t> Scene::objects() const {
    std::vector<ogawa_object_info_t> out(object_count());
    for (std::uint32_t i = 0; i < out.size(); ++i) ogawa_get_object(&archive_, i, &out[i]);
    return out;
}

ogawa_object_info_t Scene::object(std::uint32_t index) const {
    ogawa_object_info_t info{};
    ogawa_get_object(&archive_, index, &info);
    return info;
}

bool Scene::properties_readable(std::uint32_t index) {
    const int status = ogawa_decode_properties(&archive_, index);
    if (status == -3) throw std::bad_alloc();
    return status == 0;
}

std::optional<ogawa_object_info_t> Scene::find(const std::string& object_path) const {
    const std::int32_t index = ogawa_find_object(&archive_, object_path.c_str());
    refuse_if_found_damaged();
    ogawa_object_info_t info;
    if (index < 0 || ogawa_get_object(&archive_, static_cast<std::uint32_t>(index), &info) != 0) return std::nullopt;
    return info;
}

ogawa_object_info_t Scene::mesh(const std::string& object_path) const {
    const std::optional<ogawa_object_info_t> object = find(object_path);
    if (!object) throw Failure(path_, "no object " + object_path + " in the archive");
    if (!is_mesh_schema(object->schema)) {
        throw Failure(path_, object_path + " is a " + ogawa_schema_to_string(object->schema) + ", not a mesh");
    }
    return *object;
}

std::vector<MeshObject> Scene::meshes() {
    std::vector<MeshObject> out;
    const std::uint32_t count = object_count();
    for (std::uint32_t i = 0; i < count; ++i) {
        const ogawa_object_info_t info = object(i);
        if (is_mesh_schema(info.schema)) out.push_back({info.path, ogawa_object_samples(&archive_, i)});
    }
    return out;
}

std::string Scene::first_mesh_path() {
    if (!described()) {
        MeshSample guessed(*this, nullptr, 0);
        return guessed.mesh().path;
    }
    const std::uint32_t count = object_count();
    for (std::uint32_t i = 0; i < count; ++i) {
        const ogawa_object_info_t info = object(i);
        if (!is_mesh_schema(info.schema)) continue;
        const ogawa_object_t record = object_record(info.path);
        MeshSample first(*this, &record, 0);
        if (first.mesh().position_count > 0) return info.path;
    }
    throw Failure(path_, "holds no mesh (PolyMesh or SubD) with positions");
}

ogawa_object_t object_record(const char* path) {
    ogawa_object_t record{};
    std::strncpy(record.path, path, sizeof record.path - 1);
    return record;
}

bool is_mesh_schema(ogawa_schema_t schema) {
    return schema == OGAWA_SCHEMA_POLYMESH || schema == OGAWA_SCHEMA_SUBD;
}

MeshSample::MeshSample(Scene& scene, const ogawa_object_t* object, std::uint32_t sample) {
    int status = ogawa_read_polymesh(scene.archive(), object, sample, &mesh_);
    if (status == -2) throw std::bad_alloc();
    if (status != 0) throw unreadable_sample(scene, object, sample, status);
}

void to_world(ogawa_polymesh_t& mesh) {
    const double* m = mesh.transform;
    for (std::uint32_t v = 0; v < mesh.position_count; ++v) {
        float* p = mesh.positions + 3 * v;
        double x = p[0], y = p[1], z = p[2];
        for (int c = 0; c < 3; ++c) {
            p[c] = static_cast<float>(x * m[c] + y * m[4 + c] + z * m[8 + c] + m[12 + c]);
        }
    }
    // Cofactors of the 3 x 3 part: the inverse transpose times the determinant.
    auto a = [m](int r, int c) { return m[4 * r + c]; };
    double cof[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
        }
    }
    double det = a(0, 0) * cof[0][0] + a(0, 1) * cof[0][1] + a(0, 2) * cof[0][2];
    double sign = det < 0 ? -1.0 : 1.0;
    for (std::uint32_t n = 0; mesh.normals && n < mesh.normal_count; ++n) {
        float* q = mesh.normals + 3 * n;
        double w[3];
        for (int c = 0; c < 3; ++c) w[c] = sign * (q[0] * cof[0][c] + q[1] * cof[1][c] + q[2] * cof[2][c]);
        double length = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
        for (int c = 0; c < 3; ++c) q[c] = static_cast<float>(length > 0 ? w[c] / length : 0.0);
    }
    ogawa_compute_bounds(mesh.positions, mesh.position_count, &mesh.bounds);
}

std::vector<std::uint32_t> fan_triangles(const std::string& file, const ogawa_polymesh_t& mesh) {
    std::vector<std::uint32_t> out;
    out.reserve(3 * static_cast<std::size_t>(mesh.face_index_count));
    std::uint64_t cursor = 0;
    for (std::uint32_t f = 0; f < mesh.face_count; ++f) {
        std::uint32_t corners = mesh.face_counts[f];
        if (cursor + corners > mesh.face_index_count) {
            throw Failure(file, "face " + std::to_string(f) + " of " + mesh.path + " runs past the face indices");
        }
        std::uint32_t* triangles = nullptr;
        std::uint32_t count = 0;
        // Faces of fewer than 3 corners make no triangle.
        int rc = ogawa_triangulate_face(mesh.face_indices + cursor, corners, &triangles, &count);
        if (rc == -2) throw std::bad_alloc();
        if (rc == 0) {
            out.insert(out.end(), triangles, triangles + 3 * static_cast<std::size_t>(count));
            zel_release(triangles);
        }
        cursor += corners;
    }
    return out;
}

}  // namespace zelset_cli
