#include "info_alembic.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "failure.h"
#include "scene.h"

namespace zelset_cli {

namespace {

const char* const kPropertyKinds[] = {"compound", "scalar", "array"};
// The element types in the archive's numbering, named as the Python package names them.
const char* const kPods[] = {"bool",  "uint8",   "int8",    "uint16",  "int16",  "uint32", "int32",
                             "uint64", "int64", "float16", "float32", "float64", "string", "wstring"};


// "key=value" pairs separated by ';', as archives and properties write them.
std::vector<std::pair<std::string, std::string>> metadata_pairs(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> out;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view pair = text.substr(0, end);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos) {
            out.emplace_back(std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return out;
}

}  // namespace

std::string_view metadata_value(std::string_view text, std::string_view key) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view pair = text.substr(0, end);
        if (pair.size() > key.size() && pair.substr(0, key.size()) == key && pair[key.size()] == '=') {
            return pair.substr(key.size() + 1);
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return {};
}

const char* property_kind_name(std::uint32_t kind) { return kind < 3 ? kPropertyKinds[kind] : "unknown"; }

const char* pod_name(std::uint32_t pod) { return pod < std::size(kPods) ? kPods[pod] : "unknown"; }

namespace {

// The archive's metadata, its keys as written.
Report archive_metadata(const char* text) {
    Report out = Report::object();
    for (auto& [key, value] : metadata_pairs(text)) out[key] = value;
    return out;
}

const char* const kSamplingKinds[] = {"uniform", "cyclic", "acyclic"};

// The time of sample i on a sampling.
double sample_time(const ogawa_time_sampling_info_t& ts, std::uint32_t i) {
    if (ts.time_count == 0) return 0.0;
    if (ts.kind == 2) return ts.times[std::min(i, ts.time_count - 1)];
    if (ts.kind == 1) return ts.times[i % ts.time_count] + (i / ts.time_count) * ts.time_per_cycle;
    return ts.times[0] + i * ts.time_per_cycle;
}

struct Samplings {
    std::vector<ogawa_time_sampling_info_t> all;
    bool animated = false;  // some property holds two samples or more
    bool uniform = false;   // and some such property steps uniformly: the archive has a frame rate

    explicit Samplings(const ogawa_archive_t* archive) : all(ogawa_time_sampling_count(archive)) {
        for (std::uint32_t i = 0; i < all.size(); ++i) {
            ogawa_get_time_sampling(archive, i, &all[i]);
            animated |= all[i].max_samples > 1;
            uniform |= all[i].max_samples > 1 && all[i].kind == 0;
        }
    }

    Report report() const {
        Report out = Report::array();
        for (std::uint32_t i = 0; i < all.size(); ++i) {
            const ogawa_time_sampling_info_t& ts = all[i];
            Report entry = {{"index", i}, {"kind", ts.kind < 3 ? kSamplingKinds[ts.kind] : "unknown"}};
            if (ts.kind == 0) {
                entry["start"] = ts.time_count ? ts.times[0] : 0.0;
                entry["step"] = ts.time_per_cycle;
            } else {
                entry["times"] = std::vector<double>(ts.times, ts.times + ts.time_count);
                if (ts.kind == 1) entry["cycle"] = ts.time_per_cycle;
            }
            entry["samples"] = ts.max_samples;
            out.push_back(std::move(entry));
        }
        return out;
    }

    // "static", or the first and last sample's times.
    Report range(std::uint32_t sampling, std::uint32_t samples) const {
        if (!animated || samples < 2 || sampling >= all.size()) return "static";
        return {{"start", sample_time(all[sampling], 0)}, {"end", sample_time(all[sampling], samples - 1)}};
    }
};

// The sample count of the object and the sampling it runs on: its schema's
// count when the library knows it, else its most sampled property's.
std::pair<std::uint32_t, std::uint32_t> object_samples(Scene& scene, std::uint32_t object,
                                                       const std::vector<ogawa_property_info_t>& properties) {
    std::uint32_t samples = ogawa_object_samples(scene.archive(), object), sampling = 0, most = 0;
    for (const ogawa_property_info_t& p : properties) {
        if (p.kind == 0) continue;
        const bool fits = samples ? p.sample_count == samples && most < samples : p.sample_count > most;
        if (fits) {
            most = p.sample_count;
            sampling = p.time_sampling;
        }
    }
    return {samples ? samples : most, sampling};
}

// The object's properties as the reader lists them.
std::vector<ogawa_property_info_t> properties_of(Scene& scene, std::uint32_t object) {
    std::vector<ogawa_property_info_t> out(ogawa_property_count(scene.archive(), object));
    for (std::uint32_t i = 0; i < out.size(); ++i) {
        if (ogawa_get_property(scene.archive(), object, i, &out[i]) != 0) out[i].depth = 0;
    }
    std::erase_if(out, [](const ogawa_property_info_t& p) { return p.depth == 0; });
    return out;
}

const char* scope_name(std::uint32_t scope) {
    return scope == OGAWA_SCOPE_VERTEX ? "vertex" : scope == OGAWA_SCOPE_FACE_VARYING ? "facevarying" : "none";
}

// The first sample of a mesh: its counts, attributes and bounds.
void add_mesh_fields(Scene& scene, const char* path, Report& entry) try {
    const ogawa_object_t record = object_record(path);
    MeshSample sample(scene, &record, 0);
    const ogawa_polymesh_t& m = sample.mesh();
    entry["vertices"] = m.position_count;
    entry["faces"] = m.face_count;
    entry["normals"] = m.normals && m.normal_count ? scope_name(m.normal_scope) : "none";
    Report uv_sets = Report::array();
    for (std::uint32_t set = 0;; ++set) {
        ogawa_uv_set_t uv{};
        const int status = ogawa_read_uvs(scene.archive(), &record, 0, set, &uv);
        if (status == 0) uv_sets.push_back({{"name", uv.name}, {"scope", scope_name(uv.scope)}});
        ogawa_free_uv_set(&uv);
        if (status == -2) throw std::bad_alloc();
        if (status != 0) break;
    }
    entry["uv_sets"] = std::move(uv_sets);
    entry["bounds"] = {{"min", m.bounds.min}, {"max", m.bounds.max}};
} catch (const Failure& unreadable) {
    // An inspector shows the damage and goes on with the other objects.
    entry["error"] = unreadable.what();
}

struct TreeWalker {
    Scene& scene;
    const Samplings& samplings;
    const TreeRequest& request;
    const Progress& progress;
    TreeSink& sink;

    Report fields(std::uint32_t i, ObjectProperties& properties) const {
        properties.shown = request.properties;
        properties.readable = !request.properties || scene.properties_readable(i);
        properties.list = properties_of(scene, i);
        const auto [samples, sampling] = object_samples(scene, i, properties.list);
        const ogawa_object_info_t info = scene.object(i);
        Report entry = {{"name", info.name},
                        {"path", info.path},
                        {"schema", info.schema_text},
                        {"type", ogawa_schema_to_string(info.schema)}};
        if (*info.instance_source) entry["instance_of"] = info.instance_source;
        entry["samples"] = samples;
        entry["time_range"] = samplings.range(sampling, samples);
        if (is_mesh_schema(info.schema)) add_mesh_fields(scene, info.path, entry);
        return entry;
    }

    // Object i and, down to the depth asked for, its children.
    void walk(std::uint32_t i, std::uint32_t level) const {
        progress.step("objects", i, scene.object_count());
        ObjectProperties properties;
        sink.open(fields(i, properties), properties, level);
        if (request.depth == 0 || level < request.depth) {
            const std::uint32_t end = scene.object(i).next_sibling;
            for (std::uint32_t c = i + 1; c < end; c = scene.object(c).next_sibling) walk(c, level + 1);
        }
        sink.close(level);
    }

    void top(std::optional<std::uint32_t> only) const {
        if (only) {
            walk(*only, 1);
            return;
        }
        const std::uint32_t count = scene.object_count();
        for (std::uint32_t i = 0; i < count; i = scene.object(i).next_sibling) walk(i, 1);
    }
};

void report_described(Scene& scene, const TreeRequest& request, const Progress& progress, Report& r,
                      TreeSink& sink) {
    std::optional<std::uint32_t> only;
    if (!request.object.empty()) {
        const std::int32_t index = ogawa_find_object(scene.archive(), request.object.c_str());
        if (index < 0) throw Failure(scene.path(), "holds no object " + request.object);
        only = static_cast<std::uint32_t>(index);
    }
    const Samplings samplings(scene.archive());
    const ogawa_archive_t& a = *scene.archive();
    r["described"] = true;
    r["metadata"] = archive_metadata(ogawa_archive_metadata(&a));
    r["time_samplings"] = samplings.report();
    if (samplings.animated) {
        r["start_time"] = a.start_time;
        r["end_time"] = a.end_time;
        if (samplings.uniform) r["fps"] = a.fps;
    } else {
        r["time_range"] = "static";
    }
    r["object_count"] = scene.object_count();
    sink.header(r, true);
    TreeWalker{scene, samplings, request, progress, sink}.top(only);
}

// What the shape-based reading finds in an archive that cannot be described.
void report_undescribed(Scene& scene, Report& r, TreeSink& sink) {
    r["described"] = false;
    r["note"] = "the reader cannot describe this archive (--salvage): the counts are guesses by the shape of its blocks";
    const ogawa_polymesh_t* m = ogawa_get_first_polymesh(scene.archive());  // owned by the archive
    if (m) {
        r["shape_based_mesh"] = {{"vertices", m->position_count},
                                 {"faces", m->face_count},
                                 {"face_indices", m->face_index_count},
                                 {"normals", m->normal_count}};
    } else {
        r["shape_based_mesh"] = "none";
    }
    sink.header(r, false);
}

}  // namespace

void report_alembic(const std::string& path, bool salvage, const TreeRequest& tree, const Progress& progress,
                    TreeSink& sink) {
    progress.stage("opening the archive");
    Scene scene(path, salvage);
    Report r = {{"file", path},
                {"kind", "alembic"},
                {"container_version", std::to_string(scene.archive()->version_major) + "." +
                                          std::to_string(scene.archive()->version_minor)}};
    if (scene.described()) {
        report_described(scene, tree, progress, r, sink);
    } else {
        report_undescribed(scene, r, sink);
    }
    sink.finish();
}

}  // namespace zelset_cli
