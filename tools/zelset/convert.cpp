// zelset convert ARCHIVE.abc OUT [--object PATH] [--sample N | --all-samples] [--world]
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "commands.h"
#include "failure.h"
#include "output_file.h"
#include "progress.h"
#include "scene.h"
#include "zel_alembic.h"
#include "zel_mesh.h"

namespace zelset_cli {

const char* const kConvertUsage =
    "usage: zelset convert ARCHIVE.abc OUT [--object PATH] [--sample N | --all-samples] [--world]\n"
    "  Converts one mesh of an Alembic archive; OUT's extension chooses the file:\n"
    "    .zelm  a mesh cache (fan-triangulated, with the stored normals when there are any)\n"
    "    .zel   a unit file (the mesh's tokens at layer 1)\n"
    "    .bzel  a token archive\n"
    "  --object PATH   the mesh's full path (default: the first mesh)\n"
    "  --sample N      the sample to convert (default: 0)\n"
    "  --all-samples   .bzel only: every sample becomes a frame (number = sample index, at its time)\n"
    "  --world         positions in world space (default: object space)\n";

namespace {

enum class Target { kMeshCache, kUnit, kTokenArchive };

bool ends_with(const std::string& s, const char* suffix) {
    std::string x(suffix);
    return s.size() > x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

Target target_of(const std::string& out) {
    if (ends_with(out, ".zelm")) return Target::kMeshCache;
    if (ends_with(out, ".bzel")) return Target::kTokenArchive;
    if (ends_with(out, ".zel")) return Target::kUnit;
    throw UsageError("OUT must end in .zelm, .zel or .bzel: " + out);
}

// The mesh's triangles turned into tokens (layer 1), released on every path.
class TokenMesh {
public:
    TokenMesh(const std::string& file, const ogawa_polymesh_t& mesh) {
        std::vector<std::uint32_t> triangles = fan_triangles(file, mesh);
        int rc = zel_alembic_load_raw(mesh.positions, mesh.position_count, triangles.data(),
                                      static_cast<std::uint32_t>(triangles.size() / 3), mesh.name, &tokens_);
        if (rc != 0) {
            zel_alembic_mesh_free(&tokens_);
            throw call_failed(file, "zel_alembic_load_raw", rc);
        }
    }
    ~TokenMesh() { zel_alembic_mesh_free(&tokens_); }
    TokenMesh(const TokenMesh&) = delete;
    TokenMesh& operator=(const TokenMesh&) = delete;
    zel_alembic_mesh_t& get() { return tokens_; }

private:
    zel_alembic_mesh_t tokens_{};
};

struct Request {
    std::string input, output;
    Target target;
    std::optional<std::string> object_path;
    std::uint32_t sample = 0;
    bool all_samples = false;
    bool world = false;
};

Request parse(int argc, char** argv) {
    Args args(argc, argv, AcceptedOptions{{"--all-samples", "--world"}, {"--object", "--sample"}});
    if (args.positional().size() != 2) throw UsageError("convert takes ARCHIVE.abc and OUT");
    Request r{args.positional()[0], args.positional()[1], target_of(args.positional()[1])};
    r.object_path = args.value("--object");
    r.all_samples = args.has("--all-samples");
    r.world = args.has("--world");
    if (r.all_samples && args.has("--sample")) throw UsageError("--sample and --all-samples exclude each other");
    if (r.all_samples && r.target != Target::kTokenArchive) throw UsageError("--all-samples needs a .bzel OUT");
    r.sample = static_cast<std::uint32_t>(args.number("--sample", UINT32_MAX).value_or(0));
    return r;
}

// The object to convert: the one named, or the first mesh.
const ogawa_object_t* choose_object(Scene& scene, const Request& r) {
    std::string path;
    if (r.object_path) {
        path = *r.object_path;
    } else {
        MeshSample first(scene, nullptr, 0);
        path = first.mesh().path;
    }
    const ogawa_object_t* object = scene.find(path);
    if (!object) throw Failure(scene.path(), "no object " + path);
    if (!is_mesh_schema(object->schema)) {
        throw Failure(scene.path(), path + " is a " + ogawa_schema_to_string(object->schema) + ", not a mesh");
    }
    return object;
}

std::unique_ptr<MeshSample> read_sample(Scene& scene, const ogawa_object_t* object, std::uint32_t sample,
                                        bool world) {
    auto s = std::make_unique<MeshSample>(scene, object, sample);
    if (world) to_world(s->mesh());
    return s;
}

void write_mesh_cache(const Request& r, const ogawa_polymesh_t& mesh, OutputFile& out) {
    int rc = zel_mesh_save(&mesh, nullptr, out.temporary().c_str());
    if (rc != 0) throw call_failed(r.output, "zel_mesh_save", rc);
}

void write_unit(const Request& r, const ogawa_polymesh_t& mesh, OutputFile& out) {
    TokenMesh tokens(r.input, mesh);
    int rc = zel_alembic_export_zel(&tokens.get(), out.temporary().c_str());
    if (rc != 0) throw call_failed(r.output, "zel_alembic_export_zel", rc);
}

// The base mesh is the sample asked for (sample 0 with --all-samples); each
// further sample becomes a frame holding its positions.
void write_token_archive(const Request& r, Scene& scene, const ogawa_object_t* object,
                         const ogawa_polymesh_t& base, const Progress& progress, OutputFile& out) {
    TokenMesh tokens(r.input, base);
    zel_alembic_t store{};
    store.version = 1;
    store.mesh_count = 1;
    store.meshes = &tokens.get();
    store.total_faces = tokens.get().face_count;
    store.time_start = static_cast<float>(scene.archive()->start_time);
    store.time_end = static_cast<float>(scene.archive()->end_time);
    store.fps = static_cast<float>(scene.archive()->fps);
    std::vector<std::vector<float>> positions;
    std::vector<zel_alembic_mesh_t> frame_meshes;
    std::vector<zel_alembic_frame_t> frames;
    if (r.all_samples) {
        std::uint32_t n = base.sample_count;
        positions.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            progress.step("samples", i, n);
            auto s = read_sample(scene, object, i, r.world);
            const ogawa_polymesh_t& m = s->mesh();
            positions.emplace_back(m.positions, m.positions + 3 * static_cast<std::size_t>(m.position_count));
        }
        frame_meshes.resize(n);
        frames.resize(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            frame_meshes[i].vertex_count = static_cast<std::uint32_t>(positions[i].size() / 3);
            frame_meshes[i].positions = positions[i].data();
            frames[i].frame_number = i;
            frames[i].time = base.sample_times ? static_cast<float>(base.sample_times[i]) : 0.0f;
            frames[i].meshes = &frame_meshes[i];
            frames[i].mesh_count = 1;
        }
        store.frame_count = n;
        store.frames = frames.data();
    }
    progress.stage("writing the token archive");
    int rc = zel_alembic_save(out.temporary().c_str(), &store);
    if (rc != 0) throw call_failed(r.output, "zel_alembic_save", rc);
}

}  // namespace

int run_convert(int argc, char** argv) {
    Request r = parse(argc, argv);
    Progress progress;
    progress.stage("opening the archive");
    Scene scene(r.input);
    if (!scene.described()) {
        throw Failure(r.input, "the reader cannot describe this archive; it is not converted from guesses");
    }
    const ogawa_object_t* object = choose_object(scene, r);
    progress.stage("reading the mesh");
    auto base = read_sample(scene, object, r.all_samples ? 0 : r.sample, r.world);
    OutputFile out(r.output);
    progress.stage("writing");
    switch (r.target) {
        case Target::kMeshCache: write_mesh_cache(r, base->mesh(), out); break;
        case Target::kUnit: write_unit(r, base->mesh(), out); break;
        case Target::kTokenArchive: write_token_archive(r, scene, object, base->mesh(), progress, out); break;
    }
    out.commit();
    return kExitOk;
}

}  // namespace zelset_cli
