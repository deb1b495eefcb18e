// zelset convert ARCHIVE.abc OUT [--format F] [--object PATH | --all-objects] [--sample N | --all-samples]
//                [--world] [-q] [--salvage]
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "output.h"
#include "output_format.h"
#include "progress.h"
#include "scene.h"
#include "token_scene.h"
#include "zel_alembic.h"
#include "zel_mesh.h"

namespace zelset_cli {

namespace {

const std::vector<Format> kConvertFormats = {Format::kMeshCache, Format::kUnit, Format::kTokenArchive};

struct Request {
    std::string input, output, format;
    std::string object_path;  // empty: the first mesh
    std::string sample_text = "0";
    bool all_objects = false;
    bool all_samples = false;
    bool world = false;
    bool quiet = false;
    bool salvage = false;
    std::uint32_t sample() const { return static_cast<std::uint32_t>(to_unsigned(sample_text)); }
    SampleChoice choice(std::uint32_t at) const { return {at, all_samples, world}; }
};

// What the writers of this command's files answer when the file cannot be
// made or written.
constexpr StatusWords kCannotCreate{-1, "cannot create the file", true};
constexpr StatusWords kCannotWrite{-2, "cannot write", true};

void write_mesh_cache(const ogawa_polymesh_t& mesh, Output& out) {
    out.write([&mesh](const char* path) { return zel_mesh_save(&mesh, nullptr, path); },
              {{-2, "cannot create the file", true},
               {-13, "cannot write", true},
               {-10, "a face of the mesh names a vertex it does not have"},
               {-11, "the mesh's faces need more corners than it holds"},
               {-12, "out of memory"},
               {-14, "the mesh is too large for a mesh cache (its sections pass 4 GiB)"}},
              "cannot write a mesh cache of this mesh");
}

void write_unit(const Request& r, const ogawa_polymesh_t& mesh, Output& out) {
    TokenMesh tokens(r.input, mesh, mesh.name);
    out.write([&tokens](const char* path) { return zel_alembic_export_zel(&tokens.get(), path); },
              {kCannotCreate, kCannotWrite}, "cannot write a unit file of this mesh");
}

void write_token_archive(TokenScene& tokens, Output& out) {
    const zel_alembic_t& archive = tokens.archive();
    out.write([&archive](const char* path) { return zel_alembic_save(path, &archive); },
              {kCannotCreate, kCannotWrite}, "cannot write a token archive of these meshes");
}

void say(const std::string& line) { std::fprintf(stderr, "zelset: %s\n", line.c_str()); }

std::string counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string sizes(std::uint64_t vertices, std::uint64_t faces) {
    return counted(vertices, "vertex", "vertices") + ", " + counted(faces, "face", "faces");
}

// "; split where its topology changes, at samples 4, 9"
std::string splits_text(const std::vector<std::uint32_t>& splits) {
    if (splits.empty()) return "";
    std::string out = "; split where its topology changes, at sample" + std::string(splits.size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < splits.size(); ++i) out += (i ? ", " : "") + std::to_string(splits[i]);
    return out;
}

// One mesh, or with --all-samples its frames: into a .zelm, .zel or .bzel.
void convert_one_mesh(const Request& r, Format format, Scene& scene, const Progress& progress, Output& out) {
    const std::string path = r.object_path.empty() ? scene.first_mesh_path() : scene.mesh(r.object_path).path;
    const ogawa_object_t object = object_record(path.c_str());
    progress.stage("reading the mesh");
    if (format == Format::kTokenArchive) {
        TokenScene tokens(scene);
        if (!tokens.add(path, path.substr(path.rfind('/') + 1), r.choice(r.sample()), &progress)) {
            throw Failure(r.input, path + " has no vertices to make tokens of");
        }
        progress.stage("writing the token archive");
        write_token_archive(tokens, out);
        out.commit();
        if (r.quiet) return;
        std::string line = "wrote " + out.name() + ": " + path;
        if (r.all_samples) {
            line += ", samples 0 to " + std::to_string(tokens.last_mesh_samples() - 1) + " as " +
                    counted(tokens.frame_count(), "frame", "frames");
        } else {
            line += ", sample " + std::to_string(r.sample());
        }
        if (r.world) line += ", in world space";
        say(line + ", " + sizes(tokens.vertices(), tokens.faces()) + splits_text(tokens.last_mesh_splits()));
        return;
    }
    MeshSample sample(scene, &object, r.sample());
    ogawa_polymesh_t& mesh = sample.mesh();
    if (r.world) to_world(mesh);
    progress.stage("writing");
    if (format == Format::kMeshCache) {
        write_mesh_cache(mesh, out);
    } else {
        write_unit(r, mesh, out);
    }
    out.commit();
    if (r.quiet) return;
    std::string line = "wrote " + out.name() + ": " + path + ", sample " + std::to_string(r.sample());
    if (r.world) line += ", in world space";
    line += ", " + sizes(mesh.position_count, mesh.face_count);
    if (format == Format::kMeshCache && mesh.normals && mesh.normal_count &&
        mesh.normal_scope == OGAWA_SCOPE_FACE_VARYING) {
        line += "; face-varying normals averaged per vertex";
    }
    say(line);
}

// Every mesh of the scene into one token archive, each at sample N (or its
// last one when it has fewer), or with --all-samples at every sample.
void convert_every_mesh(const Request& r, Scene& scene, const Progress& progress, Output& out) {
    if (!scene.described()) {
        throw Failure(r.input, "read by the shape of its blocks, it has no tree to take every mesh of");
    }
    progress.stage("reading the meshes");
    const std::vector<MeshObject> meshes = scene.meshes();
    if (meshes.empty()) throw Failure(r.input, "holds no mesh (PolyMesh or SubD)");
    TokenScene tokens(scene);
    std::uint32_t empty = 0, at_last = 0;
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        progress.step("meshes", static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(meshes.size()));
        const std::uint32_t sample = at_most_last(r.sample(), meshes[i].samples);
        // A mesh of one sample does not move: its mesh block is its one pose, and it has no frames.
        const SampleChoice choice{sample, r.all_samples && meshes[i].samples > 1, r.world};
        if (!tokens.add(meshes[i].path, meshes[i].path, choice)) {
            ++empty;
        } else if (!r.all_samples && sample != r.sample()) {
            ++at_last;
        }
    }
    if (tokens.part_count() == 0) throw Failure(r.input, "its meshes have no vertices to make tokens of");
    progress.stage("writing the token archive");
    write_token_archive(tokens, out);
    out.commit();
    if (r.quiet) return;
    const std::size_t written = meshes.size() - empty;
    std::string line = "wrote " + out.name() + ": " + counted(written, "mesh", "meshes");
    if (r.all_samples) {
        line += tokens.frame_count() == 0 ? std::string(", none of them moving: no frames")
                                          : std::string(written == 1 ? ", its" : ", their") + " samples as " +
                                                counted(tokens.frame_count(), "frame", "frames");
        if (tokens.part_count() != written) {
            line += " (" + counted(tokens.part_count(), "part", "parts") + ": split where their topology changes)";
        }
    } else {
        line += " at sample " + std::to_string(r.sample());
        if (at_last) line += " (" + std::to_string(at_last) + " with fewer samples at their last)";
    }
    if (r.world) line += ", in world space";
    line += ", " + sizes(tokens.vertices(), tokens.faces());
    if (empty) line += "; " + counted(empty, "mesh", "meshes") + " without vertices left out";
    say(line);
}

int run_convert(const Request& r) {
    const Format format = output_format(r.output, r.format, kConvertFormats);
    if (format != Format::kTokenArchive && (r.all_samples || r.all_objects)) {
        throw UsageError(std::string(r.all_objects ? "--all-objects" : "--all-samples") +
                         " needs a token archive OUT (.bzel or --format bzel): a .zelm or .zel holds one mesh "
                         "at one sample");
    }
    Progress progress(r.quiet);
    progress.stage("opening the archive");
    Scene scene(r.input, r.salvage);
    if (!scene.described() && !r.quiet) {
        std::fprintf(stderr, "zelset: %s: read by the shape of its blocks (--salvage): the mesh is a guess\n",
                     r.input.c_str());
    }
    Output out(r.output);
    if (r.all_objects) {
        convert_every_mesh(r, scene, progress, out);
    } else {
        convert_one_mesh(r, format, scene, progress, out);
    }
    return kExitOk;
}

}  // namespace

Runner add_convert(CLI::App& app) {
    CLI::App* command =
        app.add_subcommand("convert", "A mesh, or every mesh, of an Alembic archive to .zelm, .zel or .bzel");
    auto r = std::make_shared<Request>();
    command->add_option("ARCHIVE.abc", r->input, "The Alembic archive")->required();
    command->add_option("OUT", r->output, "The file to write; its extension chooses what it is; - for standard output")
        ->required();
    command->add_option("--format", r->format, "zelm, zel or bzel, where OUT's name does not say it")
        ->check(CLI::IsMember({"zelm", "zel", "bzel"}))
        ->type_name("F");
    CLI::Option* object =
        command->add_option("--object", r->object_path, "The mesh's full path (default: the first PolyMesh or SubD)")
            ->type_name("PATH");
    command->add_flag("--all-objects", r->all_objects, ".bzel only: every PolyMesh and SubD, one mesh block each")
        ->excludes(object);
    CLI::Option* sample = command->add_option("--sample", r->sample_text, "The sample to convert (default: 0)")
                              ->check(unsigned_number(0, UINT32_MAX))
                              ->type_name("N");
    command->add_flag("--all-samples", r->all_samples,
                      ".bzel only: every sample becomes a frame (number = its place in time, at its time)")
        ->excludes(sample);
    command->add_flag("--world", r->world, "Positions in world space (default: object space)");
    command->add_flag("-q,--quiet", r->quiet, "Say nothing on success, show no progress");
    command->add_flag("--salvage", r->salvage,
                      "Read an archive this reader cannot describe by the shape of its blocks (guesses)");
    command->footer(
        "OUT's extension, or --format, chooses the file:\n"
        "  .zelm  a mesh cache: the faces fanned into triangles; the stored normals, one per vertex\n"
        "         (face-varying normals are averaged per vertex)\n"
        "  .zel   a unit file: the mesh's tokens at layer 1\n"
        "  .bzel  a token archive: one mesh block a mesh, and with --all-samples one frame a sample time\n"
        "The mesh is --object's, or the first PolyMesh or SubD of the tree whose sample 0 has positions\n"
        "(a SubD as its control mesh).\n"
        "--all-objects writes every PolyMesh and SubD of the tree into one token archive, each named by\n"
        "its full path, at sample N (one with fewer samples at its last) or with --all-samples at every\n"
        "sample. Each mesh's samples become frames: the frames are the distinct sample times of all\n"
        "meshes in order, numbered from 0, and hold one entry a mesh block: its positions at that time,\n"
        "or no vertices where it has no sample then; a mesh of one sample (still) has no frames. A mesh\n"
        "whose topology (vertex count or faces)\n"
        "changes is split where it changes: the samples from there on are another mesh block, named\n"
        "with '@N' after it, N the sample. A mesh that claims more samples than its file has 8-byte\n"
        "words is refused, before anything is read for its samples.\n"
        "OUT is written by what it is:\n"
        "  a file, or nothing yet: written whole or not at all, under a temporary name beside OUT, then\n"
        "    moved over it (a symbolic link keeps pointing to the file it names; a read-only OUT is\n"
        "    refused)\n"
        "  a character device or a FIFO (/dev/null, a named pipe): written where it is, never replaced;\n"
        "    --format says what to write, and a write that fails (a full device) is exit 1\n"
        "  -: standard output (with --format)\n"
        "  a folder, a socket or a block device: refused\n"
        "On success one line on standard error says what was written: the object(s), the sample(s), the\n"
        "vertices and faces, and whether normals were averaged or meshes split. On a terminal, a\n"
        "conversion that takes longer than a second shows its progress there; -q shows neither.");
    return [r] { return run_convert(*r); };
}

}  // namespace zelset_cli
