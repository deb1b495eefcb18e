// Meshes of a scene made into tokens, and the token archive that holds them:
// one base mesh a part, and with every sample, frames of their positions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "progress.h"
#include "scene.h"
#include "zel_alembic.h"

namespace zelset_cli {

// A mesh's triangles turned into tokens (layer 1), released on every path.
class TokenMesh {
public:
    // Throws Failure when the mesh has no vertices, std::bad_alloc when out
    // of memory.
    TokenMesh(const std::string& file, const ogawa_polymesh_t& mesh, const std::string& name);
    ~TokenMesh() { zel_alembic_mesh_free(&tokens_); }
    TokenMesh(const TokenMesh&) = delete;
    TokenMesh& operator=(const TokenMesh&) = delete;
    zel_alembic_mesh_t& get() { return tokens_; }

private:
    zel_alembic_mesh_t tokens_{};
};

// Which samples of a mesh become what.
struct SampleChoice {
    std::uint32_t sample = 0;   // the one sample, without every_sample
    bool every_sample = false;  // each sample a frame
    bool world = false;         // positions in world space
};

// A token archive assembled mesh by mesh. A part is a run of samples of one
// mesh that share its topology (positions, faces and face indices alike in
// count, the faces naming the same vertices); every mesh is one part or more,
// split where its topology changes, and each part is one base mesh of the
// archive: its first sample. With every sample, the archive's frames are the
// distinct sample times of all parts in ascending order, frame k numbered k;
// each frame holds one entry a base mesh: its positions at that time, or no
// vertices when the part has no sample then.
class TokenScene {
public:
    explicit TokenScene(Scene& scene);
    ~TokenScene();
    TokenScene(const TokenScene&) = delete;
    TokenScene& operator=(const TokenScene&) = delete;

    // Adds the mesh of that path, named name in the archive (a part after a
    // split gets "@N" after it, N its first sample); sample_progress, when
    // given, shows its samples. Returns false, adding nothing, when the
    // samples hold no vertices. Throws Failure in words: a sample that cannot
    // be read, more samples claimed than the file can hold, two samples at
    // one time; std::bad_alloc when out of memory.
    bool add(const std::string& path, const std::string& name, const SampleChoice& choice,
             const Progress* sample_progress = nullptr);

    // The archive, borrowing this object's arrays; valid until the next add.
    const zel_alembic_t& archive();

    std::uint32_t part_count() const { return static_cast<std::uint32_t>(parts_.size()); }
    std::uint32_t frame_count() const { return static_cast<std::uint32_t>(frame_times_.size()); }
    // The samples the last mesh added has, and where it was split.
    std::uint32_t last_mesh_samples() const { return last_mesh_samples_; }
    const std::vector<std::uint32_t>& last_mesh_splits() const { return last_mesh_splits_; }
    // Over the base meshes: their vertices, and their faces as read (polygons).
    std::uint64_t vertices() const;
    std::uint64_t faces() const;

private:
    struct Part;
    void start_part(const ogawa_polymesh_t& mesh, const std::string& name);
    void add_every_sample(const std::string& path, const std::string& name, const SampleChoice& choice,
                          const Progress* sample_progress);
    void build_frames();

    Scene& scene_;
    std::uint64_t file_words_;  // 8-byte words of the archive's file
    std::vector<std::unique_ptr<Part>> parts_;
    std::vector<double> frame_times_;
    std::vector<zel_alembic_mesh_t> base_meshes_;    // shallow copies of the parts' tokens
    std::vector<zel_alembic_mesh_t> frame_entries_;  // frame after frame, one entry a part
    std::vector<zel_alembic_frame_t> frames_;
    zel_alembic_t archive_{};
    std::uint32_t last_mesh_samples_ = 0;
    std::vector<std::uint32_t> last_mesh_splits_;
};

}  // namespace zelset_cli
