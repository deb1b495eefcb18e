// Two threads, each with archive handles of its own on the same files: every
// mesh of every fixture read whole (ogawa_read_polymesh at every sample,
// normals, every uv set, the tangent frame, the first mesh) must read exactly
// as one thread reads it alone. Built with -fsanitize=thread it shows the
// handles share nothing unguarded (see BENCHMARKS.md for the commands).
//   ogawa_threads_check DIR   reads DIR/*.abc; exit 0 when every read agreed
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "ogawa_reader.h"

namespace {

constexpr int kRounds = 20;

// FNV-1a over everything the reads return.
class Digest {
public:
    void bytes(const void* data, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < n; ++i) h_ = (h_ ^ p[i]) * 1099511628211ull;
    }
    template <class T>
    void value(const T& v) {
        bytes(&v, sizeof v);
    }
    void text(const char* s) { bytes(s, std::strlen(s) + 1); }
    void array(const void* data, std::uint64_t count, std::size_t size) {
        value(count);
        if (data) bytes(data, count * size);
    }
    std::uint64_t get() const { return h_; }

private:
    std::uint64_t h_ = 1469598103934665603ull;
};

void add_mesh(Digest& d, const ogawa_polymesh_t& m) {
    d.text(m.name);
    d.text(m.path);
    d.array(m.positions, m.position_count, 12);
    d.array(m.normals, m.normal_count, 12);
    d.value(m.normal_scope);
    d.array(m.face_counts, m.face_count, 4);
    d.array(m.face_indices, m.face_index_count, 4);
    d.value(m.bounds);
    d.array(m.sample_times, m.sample_count, 8);
    d.value(m.transform);
}

void add_attributes(Digest& d, ogawa_archive_t* a, const ogawa_object_t* object, std::uint32_t sample) {
    float* normals = nullptr;
    std::uint32_t* indices = nullptr;
    std::uint32_t count = 0, scope = 0;
    d.value(ogawa_read_normals(a, object, sample, &normals, &indices, &count, &scope));
    d.array(normals, count, 12);
    d.value(scope);
    std::free(normals);
    std::free(indices);
    for (std::uint32_t set = 0;; ++set) {
        ogawa_uv_set_t uv{};
        const int status = ogawa_read_uvs(a, object, sample, set, &uv);
        d.value(status);
        if (status != 0) break;
        d.text(uv.name);
        d.array(uv.uvs, uv.uv_count, 8);
        d.array(uv.indices, uv.index_count, 4);
        d.value(uv.scope);
        ogawa_free_uv_set(&uv);
    }
    ogawa_tangent_frame_t frame{};
    d.value(ogawa_read_tangent_frame(a, object, sample, &frame));
    d.array(frame.tangents, frame.count, 12);
    d.array(frame.bitangents, frame.count, 12);
    ogawa_free_tangent_frame(&frame);
}

// Everything of one archive, through a handle of this call's own.
std::uint64_t read_archive(const std::string& file) {
    Digest d;
    ogawa_archive_t a;
    if (ogawa_open(file.c_str(), &a) != 0) return 0;
    if (const ogawa_polymesh_t* first = ogawa_get_first_polymesh(&a)) add_mesh(d, *first);
    const std::uint32_t n = ogawa_object_count(&a);
    d.value(n);
    ogawa_object_t record{};
    for (std::uint32_t i = 0; i < n; ++i) {
        ogawa_object_info_t info;
        if (ogawa_get_object(&a, i, &info) != 0) break;
        d.text(info.path);
        if (info.schema != OGAWA_SCHEMA_POLYMESH && info.schema != OGAWA_SCHEMA_SUBD) continue;
        std::snprintf(record.path, sizeof record.path, "%s", info.path);
        const std::uint32_t samples = std::max(ogawa_object_samples(&a, i), 1u);
        for (std::uint32_t k = 0; k < samples; ++k) {
            ogawa_polymesh_t mesh;
            const int status = ogawa_read_polymesh(&a, &record, k, &mesh);
            d.value(status);
            if (status == 0) {
                add_mesh(d, mesh);
                ogawa_free_polymesh(&mesh);
            }
            add_attributes(d, &a, &record, k);
        }
    }
    ogawa_close(&a);
    return d.get();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ogawa_threads_check DIR\n");
        return 2;
    }
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
        if (e.path().extension() == ".abc") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "ogawa_threads_check: no .abc file in %s\n", argv[1]);
        return 2;
    }
    std::vector<std::uint64_t> alone;
    for (const std::string& f : files) alone.push_back(read_archive(f));

    std::vector<std::uint64_t> seen[2];
    std::vector<std::thread> threads;
    std::latch start(2);  // both threads begin together
    for (auto& out : seen) {
        threads.emplace_back([&files, &out, &start] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) {
                for (const std::string& f : files) out.push_back(read_archive(f));
            }
        });
    }
    for (std::thread& t : threads) t.join();

    int failures = 0;
    for (int t = 0; t < 2; ++t) {
        for (std::size_t i = 0; i < seen[t].size(); ++i) {
            const std::size_t file = i % files.size();
            if (alone[file] == 0 || seen[t][i] != alone[file]) {
                std::fprintf(stderr, "ogawa_threads_check: thread %d read %s differently\n", t, files[file].c_str());
                ++failures;
            }
        }
    }
    std::printf("ogawa_threads_check: %zu archives, 2 threads x %d rounds, %d disagreements\n", files.size(), kRounds,
                failures);
    return failures == 0 ? 0 : 1;
}
