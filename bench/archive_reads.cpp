#include "archive_reads.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace bench_reads {

namespace {

// An open archive, closed when it goes.
class Archive {
public:
    explicit Archive(const char* file) : open_(ogawa_open(file, &archive_) == 0) {}
    ~Archive() {
        if (open_) ogawa_close(&archive_);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool open() const { return open_; }
    ogawa_archive_t* get() { return &archive_; }

private:
    ogawa_archive_t archive_{};
    bool open_;
};

// The object record a read by path takes; only its path is consulted.
class PathRecord {
public:
    const ogawa_object_t* at(const char* path) {
        const std::size_t n = std::strlen(path);
        if (n >= sizeof record_.path) return nullptr;
        std::memcpy(record_.path, path, n + 1);
        return &record_;
    }

private:
    ogawa_object_t record_{};
};

// Reads one sample into result, then releases it.
bool read_sample(ogawa_archive_t* archive, const ogawa_object_t* object, std::uint32_t sample, ReadResult* result,
                 std::uint32_t* sample_count = nullptr) {
    ogawa_polymesh_t mesh;
    if (!object || ogawa_read_polymesh(archive, object, sample, &mesh) != 0) return false;
    ++result->items;
    result->array_bytes += handed_out_bytes(mesh);
    if (sample_count) *sample_count = mesh.sample_count;
    ogawa_free_polymesh(&mesh);
    return true;
}

struct ListedMesh {
    const char* path;  // owned by the archive
    std::uint32_t samples;
};

std::vector<ListedMesh> listed_meshes(ogawa_archive_t* archive) {
    std::vector<ListedMesh> meshes;
    const std::uint32_t n = ogawa_object_count(archive);
    for (std::uint32_t i = 0; i < n; ++i) {
        ogawa_object_info_t info;
        if (ogawa_get_object(archive, i, &info) != 0) return {};
        if (info.schema == OGAWA_SCHEMA_POLYMESH) meshes.push_back({info.path, ogawa_object_samples(archive, i)});
    }
    return meshes;
}

}  // namespace

std::uint64_t handed_out_bytes(const ogawa_polymesh_t& mesh) {
    const auto bytes = [](const void* array, std::uint64_t count, std::uint64_t size) {
        return array ? count * size : 0;
    };
    std::uint64_t total = bytes(mesh.positions, mesh.position_count, 12) +
                          bytes(mesh.aux_vectors, mesh.aux_vector_count, 12) +
                          bytes(mesh.normals, mesh.normal_count, 12) +
                          bytes(mesh.normal_indices, mesh.normal_count, 4) +
                          bytes(mesh.face_counts, mesh.face_count, 4) +
                          bytes(mesh.face_indices, mesh.face_index_count, 4) +
                          bytes(mesh.uv_sets, mesh.uv_set_count, sizeof(ogawa_uv_set_t)) +
                          bytes(mesh.tangent_frame.tangents, mesh.tangent_frame.count, 12) +
                          bytes(mesh.tangent_frame.bitangents, mesh.tangent_frame.count, 12) +
                          bytes(mesh.sample_times, mesh.sample_count, 8);
    for (std::uint32_t i = 0; mesh.uv_sets && i < mesh.uv_set_count; ++i) {
        const ogawa_uv_set_t& set = mesh.uv_sets[i];
        total += bytes(set.uvs, set.uv_count, 8) + bytes(set.indices, set.index_count, 4);
    }
    return total;
}

ReadResult first_mesh(const char* file) {
    Archive a(file);
    ReadResult r;
    if (!a.open()) return r;
    if (const ogawa_polymesh_t* mesh = ogawa_get_first_polymesh(a.get())) {
        r = {true, 1, handed_out_bytes(*mesh)};
    }
    return r;
}

ReadResult mesh_by_path(const char* file, const char* path) {
    Archive a(file);
    ReadResult r;
    PathRecord record;
    r.ok = a.open() && read_sample(a.get(), record.at(path), 0, &r);
    return r;
}

ReadResult samples_of_mesh(const char* file, const char* path) {
    Archive a(file);
    ReadResult r;
    PathRecord record;
    std::uint32_t samples = 0;
    r.ok = a.open() && read_sample(a.get(), record.at(path), 0, &r, &samples);
    for (std::uint32_t k = 1; r.ok && k < samples; ++k) r.ok = read_sample(a.get(), record.at(path), k, &r);
    return r;
}

ReadResult tree(const char* file) {
    Archive a(file);
    ReadResult r;
    if (!a.open()) return r;
    const std::uint32_t n = ogawa_object_count(a.get());
    for (std::uint32_t i = 0; i < n; ++i) {
        ogawa_object_info_t info;
        if (ogawa_get_object(a.get(), i, &info) != 0) return r;
        r.items += info.name[0] != '\0' && info.path[0] == '/';
    }
    r.ok = n > 0 && r.items == n;
    return r;
}

ReadResult sample0_of_every_mesh(const char* file) {
    Archive a(file);
    ReadResult r;
    if (!a.open()) return r;
    PathRecord record;
    const std::vector<ListedMesh> meshes = listed_meshes(a.get());
    r.ok = !meshes.empty();
    for (const ListedMesh& m : meshes) r.ok = r.ok && read_sample(a.get(), record.at(m.path), 0, &r);
    return r;
}

ReadResult every_sample(const char* file, Order order, unsigned part, unsigned parts) {
    Archive a(file);
    ReadResult r;
    if (!a.open() || parts == 0 || part >= parts) return r;
    PathRecord record;
    const std::vector<ListedMesh> all = listed_meshes(a.get());
    const std::vector<ListedMesh> meshes(all.begin() + static_cast<std::ptrdiff_t>(all.size() * part / parts),
                                         all.begin() + static_cast<std::ptrdiff_t>(all.size() * (part + 1) / parts));
    r.ok = !meshes.empty();
    if (order == Order::kMeshByMesh) {
        for (const ListedMesh& m : meshes) {
            const ogawa_object_t* object = record.at(m.path);
            for (std::uint32_t k = 0; r.ok && k < m.samples; ++k) r.ok = read_sample(a.get(), object, k, &r);
        }
        return r;
    }
    std::uint32_t frames = 0;
    for (const ListedMesh& m : meshes) frames = std::max(frames, m.samples);
    for (std::uint32_t k = 0; r.ok && k < frames; ++k) {
        for (const ListedMesh& m : meshes) {
            if (k < m.samples) r.ok = r.ok && read_sample(a.get(), record.at(m.path), k, &r);
        }
    }
    return r;
}

ReadResult every_sample_threads(const char* file, unsigned threads) {
    std::vector<ReadResult> parts(threads);
    std::vector<std::thread> running;
    for (unsigned t = 0; t < threads; ++t) {
        running.emplace_back([&, t] { parts[t] = every_sample(file, Order::kMeshByMesh, t, threads); });
    }
    for (std::thread& t : running) t.join();
    ReadResult r{threads > 0, 0, 0};
    for (const ReadResult& p : parts) {
        r.ok = r.ok && p.ok;
        r.items += p.items;
        r.array_bytes += p.array_bytes;
    }
    return r;
}

}  // namespace bench_reads
