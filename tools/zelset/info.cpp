// zelset info FILE [--json]: what a file holds, told by its magic.
#include <array>
#include <string>

#include "args.h"
#include "commands.h"
#include "failure.h"
#include "file_kind.h"
#include "info_alembic.h"
#include "progress.h"
#include "report.h"
#include "zel_alembic.h"
#include "zel_mesh.h"
#include "zelset.h"

namespace zelset_cli {

const char* const kInfoUsage =
    "usage: zelset info FILE [--json]\n"
    "  Describes an Alembic archive (.abc), a unit file (.zel), a token archive (.bzel),\n"
    "  a mesh cache (.zelm) or an agent directory, recognised by its first bytes.\n"
    "  --json  one JSON document instead of text\n";

namespace {

Report unit_report(const std::string& path) {
    zelset_t unit{};
    int rc = zelset_load(path.c_str(), &unit);
    if (rc != 0) throw call_failed(path, "zelset_load", rc);
    std::array<std::uint32_t, 256> per_layer{};
    for (std::uint32_t i = 0; i < unit.count && unit.tokens; ++i) ++per_layer[unit.tokens[i].layer];
    ReportList layers;
    for (int layer = 0; layer < 256; ++layer) {
        if (per_layer[layer]) layers.push_back(Report().add("layer", layer).add("tokens", per_layer[layer]));
    }
    Report r;
    r.add("version", unit.version).add("tokens", unit.count);
    if (unit.count && unit.tokens) {  // loaded sorted by key
        r.add("key_min", unit.tokens[0].morton).add("key_max", unit.tokens[unit.count - 1].morton);
    }
    r.add("layers", std::move(layers));
    zelset_free(&unit);
    return r;
}

Report token_archive_report(const std::string& path) {
    zel_alembic_t archive{};
    int rc = zel_alembic_load(path.c_str(), &archive);
    if (rc != 0) {
        zel_alembic_free(&archive);
        throw call_failed(path, "zel_alembic_load", rc);
    }
    std::string report(1 << 16, '\0');
    zel_alembic_file_info(&archive, report.data(), static_cast<std::int32_t>(report.size()));
    report.resize(report.find('\0'));
    Report r;
    r.add("meshes", archive.mesh_count)
        .add("frames", archive.frame_count)
        .add("vertices", archive.total_vertices)
        .add("report", report);
    zel_alembic_free(&archive);
    return r;
}

Report mesh_cache_report(const std::string& path) {
    zel_mesh_t cache{};
    int rc = zel_mesh_load(path.c_str(), &cache);
    if (rc != 0) throw call_failed(path, "zel_mesh_load", rc);
    const zel_mesh_header_t& h = cache.header;
    ReportList sections;
    auto section = [&sections](const char* name, std::uint32_t offset, std::uint64_t bytes) {
        sections.push_back(Report().add("name", name).add("offset", offset).add("bytes", bytes));
    };
    section("positions", h.positions_offset, 12ull * h.vertex_count);
    if (h.normals_offset) section("normals", h.normals_offset, 12ull * h.vertex_count);
    section("triangles", h.indices_offset, 12ull * h.triangle_count);
    if (h.skin_offset) section("skin", h.skin_offset, cache.file_size - h.skin_offset);
    ReportList bounds;
    for (float b : h.bounds) bounds.push_back(Report(static_cast<double>(b)));
    Report r;
    r.add("version", std::uint32_t{h.version})
        .add("vertices", h.vertex_count)
        .add("triangles", h.triangle_count)
        .add("joints", h.joint_count)
        .add("bytes", cache.file_size)
        .add("bounds", std::move(bounds))
        .add("sections", std::move(sections));
    zel_mesh_free(&cache);
    return r;
}

Report agent_directory_report(const std::string& path) {
    int rc = zel_agent_dir_load(path.c_str());
    if (rc != 0) throw call_failed(path, "zel_agent_dir_load", rc);
    std::uint32_t total = 0, live = 0, by_kind[4] = {};
    zel_agent_dir_stats(&total, &live, by_kind);
    zel_agent_dir_free();  // clean after the load: nothing is written
    ReportList kinds;
    for (std::uint32_t k = 0; k < 4; ++k) kinds.push_back(Report().add("kind", k).add("agents", by_kind[k]));
    Report r;
    r.add("agents", total).add("live", live).add("by_kind", std::move(kinds));
    return r;
}

}  // namespace

int run_info(int argc, char** argv) {
    Args args(argc, argv, AcceptedOptions{{"--json"}, {}});
    if (args.positional().size() != 1) throw UsageError("info takes one FILE");
    const std::string& path = args.positional()[0];
    Progress progress;
    FileKind kind = file_kind_of(path);
    Report r;
    if (kind == FileKind::kAlembic) {
        r = alembic_report(path, progress);
    } else {
        progress.stage("reading the file");
        r.add("file", path).add("kind", file_kind_name(kind));
        Report body;
        switch (kind) {
            case FileKind::kUnit: body = unit_report(path); break;
            case FileKind::kTokenArchive: body = token_archive_report(path); break;
            case FileKind::kMeshCache: body = mesh_cache_report(path); break;
            case FileKind::kAgentDirectory: body = agent_directory_report(path); break;
            default: throw Failure(path, "not a file zelset knows (no known magic)");
        }
        r.append(std::move(body));
    }
    r.print(stdout, args.has("--json"));
    return kExitOk;
}

}  // namespace zelset_cli
