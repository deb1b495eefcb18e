#include "info_alembic.h"

#include "failure.h"
#include "scene.h"

namespace zelset_cli {

namespace {

// The first sample of a mesh: its counts and which attributes it holds.
void add_mesh_fields(Scene& scene, const ogawa_object_info_t& info, Report& entry) try {
    const ogawa_object_t record = object_record(info.path);
    const ogawa_object_t* object = &record;
    MeshSample sample(scene, object, 0);
    const ogawa_polymesh_t& m = sample.mesh();
    ogawa_uv_set_t uv{};
    bool uvs = ogawa_read_uvs(scene.archive(), object, 0, 0, &uv) == 0;
    ogawa_free_uv_set(&uv);
    entry["vertices"] = m.position_count;
    entry["faces"] = m.face_count;
    entry["num_samples"] = m.sample_count;
    entry["normals"] = m.normals != nullptr && m.normal_count != 0;
    entry["uvs"] = uvs;
} catch (const Failure& unreadable) {
    // An inspector shows the damage and goes on with the other objects.
    entry["error"] = unreadable.what();
}

void add_described(Scene& scene, const Progress& progress, Report& r) {
    Report objects = Report::array();
    const std::vector<ogawa_object_info_t> all = scene.objects();
    for (std::uint32_t i = 0; i < all.size(); ++i) {
        progress.step("objects", i, static_cast<std::uint32_t>(all.size()));
        Report entry = {{"path", all[i].path}, {"schema", ogawa_schema_to_string(all[i].schema)}};
        if (*all[i].instance_source) entry["instance_of"] = all[i].instance_source;
        if (is_mesh_schema(all[i].schema)) add_mesh_fields(scene, all[i], entry);
        objects.push_back(std::move(entry));
    }
    const ogawa_archive_t& a = *scene.archive();
    r["described"] = true;
    r["start_time"] = a.start_time;
    r["end_time"] = a.end_time;
    r["fps"] = a.fps;
    r["objects"] = std::move(objects);
}

// What the shape-based reading finds in an archive that cannot be described.
void add_undescribed(Scene& scene, Report& r) {
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
}

}  // namespace

Report alembic_report(const std::string& path, bool salvage, const Progress& progress) {
    progress.stage("opening the archive");
    Scene scene(path, salvage);
    Report r = {{"file", path},
                {"kind", "alembic"},
                {"version", std::to_string(scene.archive()->version_major) + "." +
                                std::to_string(scene.archive()->version_minor)}};
    if (scene.described()) {
        add_described(scene, progress, r);
    } else {
        add_undescribed(scene, r);
    }
    return r;
}

}  // namespace zelset_cli
