// The benchmark scenes as archives in a folder of the build, written once and
// kept between runs. Each file name carries a tag of what the writer and the
// scene builders make of small probe scenes (scenes.h), so that a scene is
// written again only when missing or when they would now write it
// differently. A scene's size is in its name: change both together.
#pragma once

#include <string>

#include "scenes.h"

namespace bench_scenes {

// $ZEL_BENCH_SCENES when set, else the build's bench-scenes folder.
std::string scene_folder();

// "flat 5k" -> "flat_5k"
std::string file_stem(const Named& scene);

struct StoredScene {
    std::string archive;    // the file
    std::string last_mesh;  // the full path of its last PolyMesh, as the scene was written
    std::string error;      // empty when the archive is there
};

// The scene in the folder, written first by a process of its own (this
// program again, through write_scene_if_asked) when it is missing; files of
// the same scene with another tag are removed then.
StoredScene stored_scene(const Named& scene);

// Writes the scene's archive and beside it (ARCHIVE.last_mesh) the path of its
// last mesh; each appears whole or not at all.
void write_scene(const Named& scene, const std::string& archive);

// Called first in main: when the arguments ask for a scene to be written,
// writes it and returns true with the exit status in *status.
bool write_scene_if_asked(int argc, char** argv, int* status);

}  // namespace bench_scenes
