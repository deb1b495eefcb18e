// The reads the reader's benchmarks time, each from ogawa_open to
// ogawa_close through the public API. Each returns what it read: the items
// (meshes, samples or objects) and the bytes of the arrays handed out.
#pragma once

#include <cstdint>

#include "ogawa_reader.h"

namespace bench_reads {

struct ReadResult {
    bool ok = false;
    std::uint64_t items = 0;
    std::uint64_t array_bytes = 0;  // every array handed out, over all items
};

// The bytes of the arrays a mesh record hands out (positions, normals, face
// arrays, uv sets, tangent frame, sample times, ...).
std::uint64_t handed_out_bytes(const ogawa_polymesh_t& mesh);

// ogawa_get_first_polymesh: no index function is called.
ReadResult first_mesh(const char* file);
// Sample 0 of the mesh at path, found by path alone.
ReadResult mesh_by_path(const char* file, const char* path);
// Every sample of the mesh at path, in order; its sample count comes from
// its sample 0.
ReadResult samples_of_mesh(const char* file, const char* path);
// The whole tree through the index: ogawa_object_count and ogawa_get_object.
ReadResult tree(const char* file);
// Sample 0 of every PolyMesh, listed through the index, read by path.
ReadResult sample0_of_every_mesh(const char* file);

// Every sample of every PolyMesh listed through the index (of part `part` of
// `parts` equal runs of the list), mesh by mesh or frame by frame (sample 0 of
// every mesh, then sample 1, ...).
enum class Order { kMeshByMesh, kFrameByFrame };
ReadResult every_sample(const char* file, Order order, unsigned part = 0, unsigned parts = 1);
// every_sample mesh by mesh on `threads` threads, each with an archive handle
// of its own reading its part of the meshes.
ReadResult every_sample_threads(const char* file, unsigned threads);

}  // namespace bench_reads
