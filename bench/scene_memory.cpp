// Peak memory of one read of a scene, in a process of its own:
//   scene_memory write DIR          writes the benchmark scenes into DIR (flat_5k.abc, ...)
//   scene_memory MODE FILE OBJECTS  reads FILE once (MODE: first, tree, every) and prints the
//                                   peak resident size above the process before the read, in
//                                   bytes and in bytes an object
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive_reads.h"
#include "scene_store.h"

namespace {

long peak_kib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

int usage() {
    std::fprintf(stderr, "usage: scene_memory write DIR | scene_memory first|tree|every FILE OBJECTS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        for (const bench_scenes::Named& s : bench_scenes::kScenes) {
            bench_scenes::write_scene(s, std::string(argv[2]) + "/" + bench_scenes::file_stem(s) + ".abc");
        }
        return 0;
    }
    if (argc != 4) return usage();
    const std::string mode = argv[1];
    bench_reads::ReadResult (*read)(const char*) = nullptr;
    if (mode == "first") {
        read = bench_reads::first_mesh;
    } else if (mode == "tree") {
        read = bench_reads::tree;
    } else if (mode == "every") {
        read = bench_reads::sample0_of_every_mesh;
    } else {
        return usage();
    }
    const double objects = std::atof(argv[3]);
    const long before = peak_kib();
    if (!read(argv[2]).ok) {
        std::fprintf(stderr, "scene_memory: %s: the read failed\n", argv[2]);
        return 1;
    }
    const double bytes = 1024.0 * static_cast<double>(peak_kib() - before);
    std::printf("%s %s: peak %.1f MB above the process, %.0f bytes an object\n", mode.c_str(), argv[2], bytes / 1e6,
                bytes / objects);
    return 0;
}
