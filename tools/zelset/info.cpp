// zelset info FILE [--json]: what a file holds, told by its first bytes.
#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "commands.h"
#include "failure.h"
#include "file_kind.h"
#include "info_alembic.h"
#include "progress.h"
#include "report.h"
#include "standard_output.h"
#include "unit_file.h"
#include "zel_alembic.h"
#include "zel_mesh.h"
#include "zelset.h"

namespace zelset_cli {

namespace {

Report unit_report(const std::string& path) {
    Unit loaded(path);
    const zelset_t& unit = *loaded.get();
    std::array<std::uint32_t, 256> per_layer{};
    for (std::uint32_t i = 0; i < unit.count && unit.tokens; ++i) ++per_layer[unit.tokens[i].layer];
    Report layers = Report::array();
    for (int layer = 0; layer < 256; ++layer) {
        if (per_layer[layer]) layers.push_back({{"layer", layer}, {"tokens", per_layer[layer]}});
    }
    Report r = {{"version", unit.version}, {"tokens", unit.count}};
    if (unit.count && unit.tokens) {  // loaded sorted by key; packed fields copied out
        const std::uint64_t key_min = unit.tokens[0].morton, key_max = unit.tokens[unit.count - 1].morton;
        r["key_min"] = key_min;
        r["key_max"] = key_max;
    }
    r["layers"] = std::move(layers);
    return r;
}

Report token_archive_report(const std::string& path) {
    zel_alembic_t archive{};
    errno = 0;
    int status = zel_alembic_load(path.c_str(), &archive);
    if (status != 0) {
        zel_alembic_free(&archive);
        throw status_failure(path, status,
                             {{-1, "cannot open", true},
                              {-2, "not a token archive (cut short inside its header)"},
                              {-3, "a token archive of a later version than this command reads"},
                              {-4, "out of memory"},
                              {-5, "cut short, or it counts more than the file holds"}},
                             "cannot read the token archive");
    }
    // Its frames as fields, never as the library's text report.
    Report frames = Report::array();
    for (std::uint32_t f = 0; f < archive.frame_count && archive.frames; ++f) {
        const zel_alembic_frame_t& frame = archive.frames[f];
        frames.push_back({{"number", frame.frame_number}, {"time", frame.time}, {"meshes", frame.mesh_count}});
    }
    Report r = {{"version", archive.version},
                {"meshes", archive.mesh_count},
                {"vertices", archive.total_vertices},
                {"faces", archive.total_faces},
                {"time_start", archive.time_start},
                {"time_end", archive.time_end},
                {"fps", archive.fps},
                {"frame_count", archive.frame_count},
                {"frames", std::move(frames)}};
    zel_alembic_free(&archive);
    return r;
}

Report mesh_cache_report(const std::string& path) {
    zel_mesh_t cache{};
    errno = 0;
    int status = zel_mesh_load(path.c_str(), &cache);
    if (status != 0) {
        throw status_failure(path, status,
                             {{-2, "cannot open", true},
                              {-3, "cannot map the file", true},
                              {-4, "cannot map the file", true},
                              {-5, "not a whole mesh cache: cut short, or a section lies outside the file"}},
                             "cannot read the mesh cache");
    }
    const zel_mesh_header_t& h = cache.header;
    Report sections = Report::array();
    auto section = [&sections](const char* name, std::uint32_t offset, std::uint64_t bytes) {
        sections.push_back({{"name", name}, {"offset", offset}, {"bytes", bytes}});
    };
    section("positions", h.positions_offset, 12ull * h.vertex_count);
    if (h.normals_offset) section("normals", h.normals_offset, 12ull * h.vertex_count);
    section("triangles", h.indices_offset, 12ull * h.triangle_count);
    if (h.skin_offset) section("skin", h.skin_offset, cache.file_size - h.skin_offset);
    Report bounds = Report::array();
    for (float b : h.bounds) bounds.push_back(static_cast<double>(b));
    Report r = {{"version", h.version},       {"vertices", h.vertex_count}, {"triangles", h.triangle_count},
                {"joints", h.joint_count},    {"bytes", cache.file_size},   {"bounds", std::move(bounds)},
                {"sections", std::move(sections)}};
    zel_mesh_free(&cache);
    return r;
}

Report agent_directory_report(const std::string& path, const FileHead& head) {
    errno = 0;
    int status = zel_agent_dir_load(path.c_str());
    if (status != 0) {
        throw status_failure(path, status,
                             {{-1, "out of memory"},
                              {-2, "cannot open", true},
                              {-3, "cut short inside its header"},
                              {-4, "not an agent directory (no ZLAG magic)"},
                              {-5, "its path is too long for an agent directory"}},
                             "cannot read the agent directory");
    }
    std::uint32_t total = 0, live = 0, by_kind[4] = {};
    zel_agent_dir_stats(&total, &live, by_kind);
    zel_agent_dir_free();  // clean after the load: nothing is written
    // A directory holds at most ZEL_AGENT_SLOTS agents, whatever its header says.
    std::uint32_t claimed = std::min(header_count(head).value_or(0), ZEL_AGENT_SLOTS);
    if (total < claimed) throw cut_short(path, claimed, total, "agents");
    Report kinds = Report::array();
    for (std::uint32_t k = 0; k < 4; ++k) kinds.push_back({{"kind", k}, {"agents", by_kind[k]}});
    return {{"agents", total}, {"live", live}, {"by_kind", std::move(kinds)}};
}

struct InfoRequest {
    std::string path;
    bool json = false;
    bool salvage = false;
    std::string depth_text;  // "" for the whole tree
    TreeRequest tree;
};

int run_info(InfoRequest& request) {
    const std::string& path = request.path;
    Progress progress;
    FileHead head = read_head(path);
    FileKind kind = file_kind_of(head);
    if (kind == FileKind::kAlembic) {
        if (!request.depth_text.empty()) request.tree.depth = static_cast<std::uint32_t>(to_unsigned(request.depth_text));
        report_alembic(path, request.salvage, request.tree, progress, *printed_report(request.json));
        return kExitOk;
    }
    Report r;
    {
        progress.stage("reading the file");
        Report body;
        switch (kind) {
            case FileKind::kUnit: body = unit_report(path); break;
            case FileKind::kTokenArchive: body = token_archive_report(path); break;
            case FileKind::kMeshCache: body = mesh_cache_report(path); break;
            case FileKind::kAgentDirectory: body = agent_directory_report(path, head); break;
            case FileKind::kHdf5Alembic:
                throw Failure(path, "an HDF5-based Alembic archive; only the Ogawa container is read");
            case FileKind::kEmpty: throw Failure(path, "an empty file");
            default: throw Failure(path, "not a file zelset reads (its first bytes match no format it knows)");
        }
        r = {{"file", path}, {"kind", file_kind_name(kind)}};
        r.update(body);
    }
    print_report(r, request.json);
    return kExitOk;
}

}  // namespace

Runner add_info(CLI::App& app) {
    CLI::App* command = app.add_subcommand("info", "What a file holds");
    command->footer(
        "Describes an Alembic archive (.abc), a unit file (.zel), a token archive (.bzel), a mesh cache\n"
        "(.zelm) or an agent directory, recognised by its first bytes, never by its name.\n"
        "An archive: its metadata, time samplings and object tree, one object a line, two spaces a level:\n"
        "name, schema, samples and time range (static for one sample), a mesh's counts and bounds, and\n"
        "'-> PATH' for an instance; printed object by object as the archive is read. Metadata keys are\n"
        "shown as written (_ai_Application); --properties gives each property's kind, element type as\n"
        "the Python package names it (float32, uint8, string, wstring, ...), extent and samples.");
    auto request = std::make_shared<InfoRequest>();
    command->add_option("FILE", request->path, "The file to describe")->required();
    command->add_flag("--json", request->json, "One JSON document instead of text");
    command->add_flag("--salvage", request->salvage,
                      "Show what the shape-based reading guesses in an archive this reader cannot describe");
    command->add_flag("--properties", request->tree.properties, "An archive's objects with their properties");
    command->add_option("--depth", request->depth_text, "Only the first N levels of an archive's tree")
        ->check(unsigned_number(1, UINT32_MAX))
        ->type_name("N");
    command->add_option("--object", request->tree.object, "Only the subtree of this object (its full path)")
        ->type_name("PATH");
    return [request] { return run_info(*request); };
}

}  // namespace zelset_cli
