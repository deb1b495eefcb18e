// The baseline of the reader's benchmarks: plain positioned reads of exactly
// the payload bytes that a mesh read hands out. The payloads are found by
// walking the Ogawa container with preads of its own (the reader's public
// API gives no offsets), before anything is timed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench_ogawa {

// The values of one stored sample: its data node's payload after the
// 16-byte digest. size 0: a sample with no elements.
struct Payload {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// One PolyMesh of the stored tree and, for each of its samples, the arrays a
// read of that sample hands out as stored: P, .faceIndices, .faceCounts and
// N when N is a plain array (an indexed N is expanded by the reader and has
// no payload of its own to compare with).
struct MeshPayloads {
    std::string path;
    std::uint32_t sample_count = 0;
    std::uint32_t arrays_per_sample = 0;
    std::vector<Payload> payloads;  // sample k: [k * arrays_per_sample, (k + 1) * arrays_per_sample)

    const Payload* sample(std::uint32_t k) const { return payloads.data() + std::size_t{k} * arrays_per_sample; }
};

// Every PolyMesh of the file in pre-order (instances are not followed);
// empty when the file does not walk as an Alembic archive.
std::vector<MeshPayloads> mesh_payloads(const std::string& file);

// The first mesh whose sample 0 holds positions, as ogawa_get_first_polymesh
// picks it; null when there is none.
const MeshPayloads* first_mesh(const std::vector<MeshPayloads>& meshes);

// Whether the payloads of the mesh's sample hold exactly the positions, face
// indices and face counts that ogawa_read_polymesh hands out for it by its
// path (normals are not compared: the reader places them by scope).
bool matches_reader(const std::string& file, const MeshPayloads& mesh, std::uint32_t sample);

// Open, then for each (mesh, sample) one malloc'd block per array read with
// one pread, the blocks of a sample freed together after it, then close: what
// a reader that reads nothing but the payloads costs. Returns the payload bytes
// read, 0 when a read fails.
enum class SampleOrder { kMeshByMesh, kFrameByFrame };
std::uint64_t pread_every_sample(const std::string& file, const std::vector<MeshPayloads>& meshes, SampleOrder order);

// The same for sample 0 of one mesh.
std::uint64_t pread_sample(const std::string& file, const MeshPayloads& mesh, std::uint32_t sample);

}  // namespace bench_ogawa
