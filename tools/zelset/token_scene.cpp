#include "token_scene.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>

#include "failure.h"

namespace zelset_cli {

namespace {

// The most a token archive's mesh name holds; longer names keep their end,
// where paths differ.
constexpr std::size_t kNameRoom = sizeof(zel_alembic_mesh_t{}.name) - 1;

std::string name_that_fits(const std::string& name) {
    if (name.size() <= kNameRoom) return name;
    return "..." + name.substr(name.size() - (kNameRoom - 3));
}

std::uint64_t words_of(const std::string& path) {
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(path, error);
    return error ? 0 : bytes / 8;
}

// Whether two samples of a mesh share their topology: the same vertex count
// and the same faces naming the same vertices.
bool same_topology(const ogawa_polymesh_t& a, const ogawa_polymesh_t& b) {
    auto same = [](const std::uint32_t* x, const std::uint32_t* y, std::uint32_t n) {
        return n == 0 || std::memcmp(x, y, sizeof(std::uint32_t) * n) == 0;
    };
    return a.position_count == b.position_count && a.face_count == b.face_count &&
           a.face_index_count == b.face_index_count && same(a.face_counts, b.face_counts, a.face_count) &&
           same(a.face_indices, b.face_indices, a.face_index_count);
}

double time_of(const ogawa_polymesh_t& mesh, std::uint32_t sample) {
    return mesh.sample_times ? mesh.sample_times[sample] : 0.0;
}

std::unique_ptr<MeshSample> read_sample(Scene& scene, const ogawa_object_t& object, std::uint32_t sample,
                                        bool world) {
    auto s = std::make_unique<MeshSample>(scene, &object, sample);
    if (world) to_world(s->mesh());
    return s;
}

}  // namespace

TokenMesh::TokenMesh(const std::string& file, const ogawa_polymesh_t& mesh, const std::string& name) {
    std::vector<std::uint32_t> triangles = fan_triangles(file, mesh);
    int status = zel_alembic_load_raw(mesh.positions, mesh.position_count, triangles.data(),
                                      static_cast<std::uint32_t>(triangles.size() / 3),
                                      name_that_fits(name).c_str(), &tokens_);
    if (status != 0) {
        zel_alembic_mesh_free(&tokens_);
        if (status == -4) throw std::bad_alloc();
        throw Failure(file, std::string(mesh.path) + " has no vertices to make tokens of [status " +
                                std::to_string(status) + "]");
    }
}

// One base mesh of the archive and, with every sample, its frames' positions.
struct TokenScene::Part {
    Part(const std::string& file, const ogawa_polymesh_t& mesh, const std::string& name)
        : tokens(file, mesh, name), faces(mesh.face_count) {}
    TokenMesh tokens;
    std::uint32_t faces;  // of the mesh as read: polygons, not their triangles
    std::vector<double> times;
    std::vector<std::vector<float>> positions;  // one entry a time
};

TokenScene::TokenScene(Scene& scene) : scene_(scene), file_words_(words_of(scene.path())) {}

TokenScene::~TokenScene() = default;

void TokenScene::start_part(const ogawa_polymesh_t& mesh, const std::string& name) {
    parts_.push_back(std::make_unique<Part>(scene_.path(), mesh, name));
}

bool TokenScene::add(const std::string& path, const std::string& name, const SampleChoice& choice,
                     const Progress* sample_progress) {
    last_mesh_splits_.clear();
    const std::size_t parts_before = parts_.size();
    if (choice.every_sample) {
        add_every_sample(path, name, choice, sample_progress);
    } else {
        const ogawa_object_t object = object_record(path.c_str());
        std::unique_ptr<MeshSample> s = read_sample(scene_, object, choice.sample, choice.world);
        last_mesh_samples_ = s->mesh().sample_count;
        if (s->mesh().position_count > 0) start_part(s->mesh(), name);
    }
    return parts_.size() > parts_before;
}

void TokenScene::add_every_sample(const std::string& path, const std::string& name, const SampleChoice& choice,
                                  const Progress* sample_progress) {
    const ogawa_object_t object = object_record(path.c_str());
    std::unique_ptr<MeshSample> current = read_sample(scene_, object, 0, choice.world);
    // A mesh read by the shape of its blocks counts no samples: it has its one.
    const std::uint32_t samples = std::max<std::uint32_t>(1, current->mesh().sample_count);
    // Checked before anything is sized by the count: a count no file of this
    // size can hold is damage, not a long animation.
    if (samples > file_words_) {
        throw Failure(scene_.path(), path + " claims " + std::to_string(samples) + " samples, more than the file's " +
                                         std::to_string(file_words_) + " 8-byte words can hold");
    }
    last_mesh_samples_ = samples;
    std::unique_ptr<MeshSample> previous;
    Part* part = nullptr;  // where the previous sample went; none after a sample without vertices
    bool started = false;  // whether the mesh has a part yet
    for (std::uint32_t i = 0; i < samples; ++i) {
        if (sample_progress) sample_progress->step("samples", i, samples);
        if (i > 0) {
            previous = std::move(current);
            current = read_sample(scene_, object, i, choice.world);
            if (!(time_of(current->mesh(), i) > time_of(previous->mesh(), i - 1))) {
                throw Failure(scene_.path(), path + ": samples " + std::to_string(i - 1) + " and " +
                                                 std::to_string(i) +
                                                 " do not follow one another in time; they cannot be two frames");
            }
        }
        const ogawa_polymesh_t& m = current->mesh();
        if (m.position_count == 0) {
            part = nullptr;
            continue;
        }
        if (!part || !same_topology(previous->mesh(), m)) {
            // Every part of the mesh after its first is a split.
            if (started) last_mesh_splits_.push_back(i);
            start_part(m, started ? name + "@" + std::to_string(i) : name);
            started = true;
            part = parts_.back().get();
        }
        part->times.push_back(time_of(m, i));
        part->positions.emplace_back(m.positions, m.positions + 3 * static_cast<std::size_t>(m.position_count));
    }
}

void TokenScene::build_frames() {
    frame_times_.clear();
    for (const auto& part : parts_) frame_times_.insert(frame_times_.end(), part->times.begin(), part->times.end());
    std::sort(frame_times_.begin(), frame_times_.end());
    frame_times_.erase(std::unique(frame_times_.begin(), frame_times_.end()), frame_times_.end());
    const std::size_t width = parts_.size();
    frame_entries_.assign(frame_times_.size() * width, zel_alembic_mesh_t{});
    for (std::size_t p = 0; p < width; ++p) {
        const Part& part = *parts_[p];
        for (std::size_t j = 0; j < part.times.size(); ++j) {
            const std::size_t k = static_cast<std::size_t>(
                std::lower_bound(frame_times_.begin(), frame_times_.end(), part.times[j]) - frame_times_.begin());
            zel_alembic_mesh_t& entry = frame_entries_[k * width + p];
            entry.vertex_count = static_cast<std::uint32_t>(part.positions[j].size() / 3);
            entry.positions = const_cast<float*>(part.positions[j].data());
        }
    }
    frames_.assign(frame_times_.size(), zel_alembic_frame_t{});
    for (std::size_t k = 0; k < frames_.size(); ++k) {
        frames_[k].frame_number = static_cast<std::uint32_t>(k);
        frames_[k].time = static_cast<float>(frame_times_[k]);
        frames_[k].meshes = frame_entries_.data() + k * width;
        frames_[k].mesh_count = static_cast<std::uint32_t>(width);
    }
}

const zel_alembic_t& TokenScene::archive() {
    build_frames();
    base_meshes_.clear();
    for (const auto& part : parts_) base_meshes_.push_back(part->tokens.get());
    const ogawa_archive_t& a = *scene_.archive();
    archive_ = zel_alembic_t{};
    archive_.version = 1;
    archive_.mesh_count = static_cast<std::uint32_t>(base_meshes_.size());
    archive_.meshes = base_meshes_.data();
    archive_.total_faces = 0;
    for (const auto& part : parts_) archive_.total_faces += part->tokens.get().face_count;
    archive_.time_start = static_cast<float>(a.start_time);
    archive_.time_end = static_cast<float>(a.end_time);
    archive_.fps = static_cast<float>(a.fps);
    archive_.frame_count = static_cast<std::uint32_t>(frames_.size());
    archive_.frames = frames_.empty() ? nullptr : frames_.data();
    return archive_;
}

std::uint64_t TokenScene::vertices() const {
    std::uint64_t n = 0;
    for (const auto& part : parts_) n += part->tokens.get().vertex_count;
    return n;
}

std::uint64_t TokenScene::faces() const {
    std::uint64_t n = 0;
    for (const auto& part : parts_) n += part->faces;
    return n;
}

}  // namespace zelset_cli
