// zelset convert ARCHIVE.abc OUT [--object PATH] [--sample N | --all-samples] [--world] [-q]
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "output_file.h"
#include "progress.h"
#include "scene.h"
#include "zel_alembic.h"
#include "zel_mesh.h"

namespace zelset_cli {

namespace {

enum class Target { kMeshCache, kUnit, kTokenArchive };

bool ends_with(const std::string& s, const char* suffix) {
    std::string x(suffix);
    return s.size() > x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

Target target_of(const std::string& out) {
    if (ends_with(out, ".zelm")) return Target::kMeshCache;
    if (ends_with(out, ".bzel")) return Target::kTokenArchive;
    return Target::kUnit;  // the command line accepts these three only
}

// The mesh's triangles turned into tokens (layer 1), released on every path.
class TokenMesh {
public:
    TokenMesh(const std::string& file, const ogawa_polymesh_t& mesh) {
        std::vector<std::uint32_t> triangles = fan_triangles(file, mesh);
        int status = zel_alembic_load_raw(mesh.positions, mesh.position_count, triangles.data(),
                                          static_cast<std::uint32_t>(triangles.size() / 3), mesh.name, &tokens_);
        if (status != 0) {
            zel_alembic_mesh_free(&tokens_);
            if (status == -4) throw std::bad_alloc();
            throw Failure(file, std::string(mesh.path) + " has no vertices to make tokens of [status " +
                                    std::to_string(status) + "]");
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
    std::string object_path;  // empty: the first mesh
    std::string sample_text = "0";
    bool all_samples = false;
    bool world = false;
    bool quiet = false;
    bool salvage = false;
    std::uint32_t sample() const { return static_cast<std::uint32_t>(to_unsigned(sample_text)); }
};

// The object to convert: the one named, or the first mesh.
// An archive read by shape has no objects: its one mesh goes by the name the
// reader gives it.
ogawa_object_t choose_object(Scene& scene, const Request& r) {
    std::string path = r.object_path;
    if (path.empty()) {
        MeshSample first(scene, nullptr, 0);
        path = first.mesh().path;
    }
    if (!scene.described()) return object_record(path.c_str());
    return object_record(scene.mesh(path).path);
}

std::unique_ptr<MeshSample> read_sample(Scene& scene, const ogawa_object_t* object, std::uint32_t sample,
                                        bool world) {
    auto s = std::make_unique<MeshSample>(scene, object, sample);
    if (world) to_world(s->mesh());
    return s;
}

// What the writers of this command's files answer when the file cannot be
// made or written.
constexpr StatusWords kCannotCreate{-1, "cannot create the file", true};
constexpr StatusWords kCannotWrite{-2, "cannot write", true};

void write_mesh_cache(const ogawa_polymesh_t& mesh, OutputFile& out) {
    out.write([&mesh](const char* path) { return zel_mesh_save(&mesh, nullptr, path); },
              {{-2, "cannot create the file", true},
               {-13, "cannot write", true},
               {-10, "a face of the mesh names a vertex it does not have"},
               {-11, "the mesh's faces need more corners than it holds"},
               {-12, "out of memory"},
               {-14, "the mesh is too large for a mesh cache (its sections pass 4 GiB)"}},
              "cannot write a mesh cache of this mesh");
}

void write_unit(const Request& r, const ogawa_polymesh_t& mesh, OutputFile& out) {
    TokenMesh tokens(r.input, mesh);
    out.write([&tokens](const char* path) { return zel_alembic_export_zel(&tokens.get(), path); },
              {kCannotCreate, kCannotWrite}, "cannot write a unit file of this mesh");
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
    out.write([&store](const char* path) { return zel_alembic_save(path, &store); }, {kCannotCreate, kCannotWrite},
              "cannot write a token archive of this mesh");
}

// One line on standard error: what was written from what.
void say_what_was_written(const Request& r, const ogawa_polymesh_t& mesh) {
    std::string line = "zelset: wrote " + r.output + ": " + mesh.path;
    if (r.all_samples) {
        line += ", samples 0 to " + std::to_string(mesh.sample_count - 1) + " as " +
                std::to_string(mesh.sample_count) + " frames";
    } else {
        line += ", sample " + std::to_string(r.sample());
    }
    if (r.world) line += ", in world space";
    line += ", " + std::to_string(mesh.position_count) + " vertices, " + std::to_string(mesh.face_count) + " faces";
    if (target_of(r.output) == Target::kMeshCache && mesh.normals && mesh.normal_count &&
        mesh.normal_scope == OGAWA_SCOPE_FACE_VARYING) {
        line += "; face-varying normals averaged per vertex";
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

int run_convert(const Request& r) {
    if (r.all_samples && target_of(r.output) != Target::kTokenArchive) {
        throw UsageError("--all-samples needs a .bzel OUT");
    }
    Progress progress(r.quiet);
    progress.stage("opening the archive");
    Scene scene(r.input, r.salvage);
    if (!scene.described() && !r.quiet) {
        std::fprintf(stderr, "zelset: %s: read by the shape of its blocks (--salvage): the mesh is a guess\n",
                     r.input.c_str());
    }
    const ogawa_object_t chosen = choose_object(scene, r);
    const ogawa_object_t* object = &chosen;
    progress.stage("reading the mesh");
    auto base = read_sample(scene, object, r.all_samples ? 0 : r.sample(), r.world);
    OutputFile out(r.output);
    progress.stage("writing");
    switch (target_of(r.output)) {
        case Target::kMeshCache: write_mesh_cache(base->mesh(), out); break;
        case Target::kUnit: write_unit(r, base->mesh(), out); break;
        case Target::kTokenArchive: write_token_archive(r, scene, object, base->mesh(), progress, out); break;
    }
    out.commit();
    if (!r.quiet) say_what_was_written(r, base->mesh());
    return kExitOk;
}

}  // namespace

Runner add_convert(CLI::App& app) {
    CLI::App* command = app.add_subcommand("convert", "One mesh of an Alembic archive to .zelm, .zel or .bzel");
    auto r = std::make_shared<Request>();
    command->add_option("ARCHIVE.abc", r->input, "The Alembic archive")->required();
    command->add_option("OUT", r->output, "The file to write; its extension chooses what it is")
        ->required()
        ->check(CLI::Validator(
            [](std::string& out) -> std::string {
                for (const char* known : {".zelm", ".zel", ".bzel"}) {
                    if (ends_with(out, known)) return {};
                }
                return "needs the extension .zelm, .zel or .bzel, not '" + out + "'";
            },
            "", "extension"));
    command->add_option("--object", r->object_path, "The mesh's full path (default: the first mesh)")
        ->type_name("PATH");
    CLI::Option* sample = command->add_option("--sample", r->sample_text, "The sample to convert (default: 0)")
                              ->check(unsigned_number(0, UINT32_MAX))
                              ->type_name("N");
    command->add_flag("--all-samples", r->all_samples,
                      ".bzel only: every sample becomes a frame (number = sample index, at its time)")
        ->excludes(sample);
    command->add_flag("--world", r->world, "Positions in world space (default: object space)");
    command->add_flag("-q,--quiet", r->quiet, "Say nothing on success");
    command->add_flag("--salvage", r->salvage,
                      "Read an archive this reader cannot describe by the shape of its blocks (guesses)");
    command->footer(
        "OUT's extension chooses the file:\n"
        "  .zelm  a mesh cache: the faces fanned into triangles; the stored normals, one per vertex\n"
        "         (face-varying normals are averaged per vertex)\n"
        "  .zel   a unit file: the mesh's tokens at layer 1\n"
        "  .bzel  a token archive\n"
        "The file is written whole or not at all: under a temporary name beside OUT, then moved over it\n"
        "(a symbolic link keeps pointing to the file it names; a read-only OUT is refused).\n"
        "On success one line on standard error says what was written: the object, the sample(s), the\n"
        "vertices and faces, and whether normals were averaged; -q leaves it out.");
    return [r] { return run_convert(*r); };
}

}  // namespace zelset_cli
