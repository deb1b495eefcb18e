#include "scene_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

#include "self_process.h"
#include "support/test_support.h"

#ifndef ZEL_BENCH_SCENE_DIR
#define ZEL_BENCH_SCENE_DIR "bench-scenes"
#endif

namespace bench_scenes {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFlag = "--write-scene";

// FNV-1a over the writer's output for the probe scenes, folded to 32 bits.
const std::string& writer_tag() {
    static const std::string tag = [] {
        std::uint64_t h = 1469598103934665603ull;
        for (const alembic_test::Scene& s : probes()) {
            for (unsigned char b : alembic_test::write_archive(s).bytes) h = (h ^ b) * 1099511628211ull;
        }
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(h ^ (h >> 32)));
        return std::string(hex);
    }();
    return tag;
}

const Named* named(const char* name) {
    for (const Named& s : kScenes) {
        if (std::strcmp(s.name, name) == 0) return &s;
    }
    return nullptr;
}

void write_whole(const std::string& path, const std::vector<unsigned char>& bytes) {
    const std::string part = path + ".part";
    zel_test::write_file(part, bytes);
    fs::rename(part, path);
}

// Other tags' files of the scene.
void remove_stale(const Named& scene, const std::string& keep) {
    const std::string prefix = file_stem(scene) + ".";
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(scene_folder(), ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.rfind(keep, 0) != 0) fs::remove(e.path(), ec);
    }
}

}  // namespace

std::string file_stem(const Named& scene) {
    std::string name = scene.name;
    for (char& c : name) c = c == ' ' ? '_' : c;
    return name;
}

std::string scene_folder() {
    const char* env = std::getenv("ZEL_BENCH_SCENES");
    return env && *env ? env : ZEL_BENCH_SCENE_DIR;
}

StoredScene stored_scene(const Named& scene) {
    const std::string stem = file_stem(scene) + "." + writer_tag() + ".abc";
    StoredScene out;
    out.archive = scene_folder() + "/" + stem;
    if (!fs::exists(out.archive) || !fs::exists(out.archive + ".last_mesh")) {
        std::error_code ec;
        fs::create_directories(scene_folder(), ec);
        const bench_process::Finished run = bench_process::run_self({kFlag, scene.name, out.archive});
        if (!run.ok) {
            out.error = "writing " + out.archive + ": " + run.error;
            return out;
        }
        remove_stale(scene, stem);
    }
    std::ifstream last(out.archive + ".last_mesh");
    if (!std::getline(last, out.last_mesh) || out.last_mesh.empty()) out.error = "no last mesh beside " + out.archive;
    return out;
}

void write_scene(const Named& scene, const std::string& archive) {
    const alembic_test::Scene s = scene.make();
    const std::string last = last_mesh_path(s.objects) + "\n";
    write_whole(archive + ".last_mesh", std::vector<unsigned char>(last.begin(), last.end()));
    write_whole(archive, alembic_test::write_archive(s).bytes);
}

bool write_scene_if_asked(int argc, char** argv, int* status) {
    if (argc < 2 || std::strcmp(argv[1], kFlag) != 0) return false;
    const Named* scene = argc == 4 ? named(argv[2]) : nullptr;
    if (!scene) {
        std::fprintf(stderr, "usage: %s NAME ARCHIVE (NAME one of the benchmark scenes)\n", kFlag);
        *status = 2;
        return true;
    }
    try {
        write_scene(*scene, argv[3]);
        *status = 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[3], e.what());
        *status = 1;
    }
    return true;
}

}  // namespace bench_scenes
