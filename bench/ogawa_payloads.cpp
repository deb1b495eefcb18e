#include "ogawa_payloads.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ogawa_reader.h"

namespace bench_ogawa {

namespace {

constexpr std::uint64_t kData = 1ull << 63;
constexpr std::uint64_t kDigestBytes = 16;

using Bytes = std::vector<unsigned char>;

// The container read with preads: groups and data nodes by reference.
class Container {
public:
    explicit Container(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ >= 0) size_ = static_cast<std::uint64_t>(lseek(fd_, 0, SEEK_END));
    }
    ~Container() {
        if (fd_ >= 0) close(fd_);
    }
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    bool read(std::uint64_t at, void* out, std::uint64_t n) const {
        if (fd_ < 0 || at > size_ || n > size_ - at) return false;
        return pread(fd_, out, n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
    }
    bool u64(std::uint64_t at, std::uint64_t* v) const { return read(at, v, 8); }

    // A group's child references; position 0 is a group without children.
    bool group(std::uint64_t ref, std::vector<std::uint64_t>* children) const {
        children->clear();
        if (ref & kData) return false;
        std::uint64_t n = 0;
        if (ref == 0) return true;
        if (!u64(ref, &n) || n > (size_ - ref) / 8) return false;
        children->resize(n);
        return read(ref + 8, children->data(), 8 * n);
    }
    // A data node's payload; the empty reference is an empty payload.
    bool data(std::uint64_t ref, Bytes* out) const {
        out->clear();
        if (!(ref & kData)) return false;
        const std::uint64_t at = ref & ~kData;
        std::uint64_t n = 0;
        if (at == 0) return true;
        if (!u64(at, &n) || n > size_) return false;
        out->resize(n);
        return read(at + 8, out->data(), n);
    }
    // Where a stored sample's values lie, after their digest.
    bool sample_payload(std::uint64_t ref, Payload* out) const {
        *out = {};
        const std::uint64_t at = ref & ~kData;
        if (!(ref & kData)) return false;
        if (at == 0) return true;
        std::uint64_t n = 0;
        if (!u64(at, &n) || n > size_ - at - 8) return false;
        if (n > kDigestBytes) *out = {at + 8 + kDigestBytes, n - kDigestBytes};
        return true;
    }

private:
    int fd_;
    std::uint64_t size_ = 0;
};

// A little-endian field reader over a header block.
struct Fields {
    const Bytes& b;
    std::size_t at = 0;
    bool ok = true;

    std::uint64_t take(std::size_t n) {
        std::uint64_t v = 0;
        if (at + n > b.size()) {
            ok = false;
            return 0;
        }
        for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{b[at + i]} << (8 * i);
        at += n;
        return v;
    }
    std::string text(std::uint64_t n) {
        if (n > b.size() - std::min(at, b.size())) {
            ok = false;
            return {};
        }
        std::string s(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        return s;
    }
    bool done() const { return at >= b.size(); }
};

struct PropertyHeader {
    std::string name;
    std::uint32_t kind = 0;  // 0 compound, 1 scalar, 2 and 3 array
    std::uint32_t sample_count = 0, first_changed = 0, last_changed = 0;

    // The stored sample that holds sample i.
    std::uint32_t stored(std::uint32_t i) const {
        if (first_changed == 0 && last_changed == 0) return 0;
        if (i < first_changed) return 0;
        if (i > last_changed) return last_changed - first_changed + 1;
        return i - first_changed + 1;
    }
};

bool property_headers(const Bytes& block, std::vector<PropertyHeader>* out) {
    out->clear();
    Fields f{block};
    while (f.ok && !f.done()) {
        const auto info = static_cast<std::uint32_t>(f.take(4));
        const std::size_t size_bytes = std::size_t{1} << ((info >> 2) & 3);
        PropertyHeader h;
        h.kind = info & 3;
        if (h.kind != 0) {
            h.sample_count = static_cast<std::uint32_t>(f.take(size_bytes));
            if (info & (1u << 9)) {
                h.first_changed = static_cast<std::uint32_t>(f.take(size_bytes));
                h.last_changed = static_cast<std::uint32_t>(f.take(size_bytes));
            } else if (!(info & (1u << 11))) {
                h.first_changed = 1;
                h.last_changed = h.sample_count > 0 ? h.sample_count - 1 : 0;
            }
            if (info & (1u << 8)) f.take(size_bytes);  // time sampling
        }
        h.name = f.text(f.take(size_bytes));
        if (((info >> 20) & 0xFF) == 0xFF) f.text(f.take(size_bytes));  // inline metadata
        out->push_back(std::move(h));
    }
    return f.ok;
}

// A compound's properties by name with their groups.
struct Compound {
    std::vector<PropertyHeader> headers;
    std::vector<std::uint64_t> groups;

    bool load(const Container& c, std::uint64_t ref) {
        Bytes block;
        if (!c.group(ref, &groups) || groups.empty() || !c.data(groups.back(), &block)) return false;
        groups.pop_back();
        return property_headers(block, &headers) && headers.size() == groups.size();
    }
    int find(const char* name) const {
        for (std::size_t i = 0; i < headers.size(); ++i) {
            if (headers[i].name == name) return static_cast<int>(i);
        }
        return -1;
    }
};

class Walk {
public:
    Walk(const Container& c, std::vector<std::string> table) : c_(c), table_(std::move(table)) {}

    bool object(std::uint64_t ref, const std::string& path, std::vector<MeshPayloads>* out) const {
        std::vector<std::uint64_t> refs;
        Bytes headers;
        if (!c_.group(ref, &refs) || refs.size() < 2 || !c_.data(refs.back(), &headers)) return false;
        Fields f{headers};
        for (std::size_t i = 1; i + 1 < refs.size(); ++i) {
            const std::string name = f.text(f.take(4));
            const auto index = static_cast<std::uint32_t>(f.take(1));
            const std::string metadata = index == 0xFF ? f.text(f.take(4)) : index == 0 ? "" : table_.at(index - 1);
            if (!f.ok) return false;
            const std::string child = path + "/" + name;
            if (metadata.find("schema=AbcGeom_PolyMesh_v1") != std::string::npos && !mesh(refs[i], child, out)) {
                return false;
            }
            if (!object(refs[i], child, out)) return false;
        }
        return true;
    }

private:
    bool mesh(std::uint64_t ref, const std::string& path, std::vector<MeshPayloads>* out) const {
        std::vector<std::uint64_t> refs;
        Compound top, geom;
        if (!c_.group(ref, &refs) || refs.empty() || !top.load(c_, refs[0])) return false;
        const int g = top.find(".geom");
        if (g < 0 || !geom.load(c_, top.groups[g])) return false;
        std::vector<int> arrays;
        for (const char* name : {"P", ".faceIndices", ".faceCounts", "N"}) {
            const int i = geom.find(name);
            if (i >= 0 && geom.headers[i].kind >= 2) arrays.push_back(i);
        }
        if (arrays.empty() || geom.headers[arrays[0]].name != "P") return false;
        MeshPayloads m;
        m.path = path;
        m.sample_count = geom.headers[arrays[0]].sample_count;
        m.arrays_per_sample = static_cast<std::uint32_t>(arrays.size());
        std::vector<std::vector<std::uint64_t>> samples(arrays.size());
        for (std::size_t a = 0; a < arrays.size(); ++a) {
            if (!c_.group(geom.groups[arrays[a]], &samples[a])) return false;
        }
        for (std::uint32_t k = 0; k < m.sample_count; ++k) {
            for (std::size_t a = 0; a < arrays.size(); ++a) {
                const std::size_t child = 2 * std::size_t{geom.headers[arrays[a]].stored(k)};
                Payload p;
                if (child >= samples[a].size() || !c_.sample_payload(samples[a][child], &p)) return false;
                m.payloads.push_back(p);
            }
        }
        out->push_back(std::move(m));
        return true;
    }

    const Container& c_;
    std::vector<std::string> table_;
};

}  // namespace

std::vector<MeshPayloads> mesh_payloads(const std::string& file) {
    const Container c(file);
    std::uint64_t root = 0;
    std::vector<std::uint64_t> top;
    Bytes indexed;
    if (!c.u64(8, &root) || !c.group(root, &top) || top.size() < 6 || !c.data(top[5], &indexed)) return {};
    std::vector<std::string> table;
    Fields f{indexed};
    while (f.ok && !f.done()) table.push_back(f.text(f.take(1)));
    std::vector<MeshPayloads> meshes;
    if (!f.ok || !Walk(c, std::move(table)).object(top[2], "", &meshes)) return {};
    return meshes;
}

const MeshPayloads* first_mesh(const std::vector<MeshPayloads>& meshes) {
    for (const MeshPayloads& m : meshes) {
        if (m.sample_count > 0 && m.sample(0)[0].size > 0) return &m;
    }
    return nullptr;
}

namespace {

// One sample's arrays, each into a block of its own, freed together.
std::uint64_t read_sample(int fd, const MeshPayloads& mesh, std::uint32_t k) {
    void* blocks[4] = {};
    std::uint64_t bytes = 0;
    bool ok = true;
    const Payload* p = mesh.sample(k);
    for (std::uint32_t a = 0; a < mesh.arrays_per_sample && a < 4; ++a) {
        if (p[a].size == 0) continue;
        blocks[a] = std::malloc(p[a].size);
        ok = ok && blocks[a] &&
             pread(fd, blocks[a], p[a].size, static_cast<off_t>(p[a].offset)) == static_cast<ssize_t>(p[a].size);
        bytes += p[a].size;
    }
    for (void* b : blocks) std::free(b);
    return ok ? bytes : 0;
}

}  // namespace

bool matches_reader(const std::string& file, const MeshPayloads& mesh, std::uint32_t sample) {
    if (sample >= mesh.sample_count || mesh.arrays_per_sample < 3) return false;
    ogawa_archive_t archive;
    if (ogawa_open(file.c_str(), &archive) != 0) return false;
    ogawa_object_t record{};
    std::snprintf(record.path, sizeof record.path, "%s", mesh.path.c_str());
    ogawa_polymesh_t read;
    bool same = ogawa_read_polymesh(&archive, &record, sample, &read) == 0;
    const Container c(file);
    const Payload* p = mesh.sample(sample);
    const void* arrays[] = {read.positions, read.face_indices, read.face_counts};
    const std::uint64_t bytes[] = {12ull * read.position_count, 4ull * read.face_index_count, 4ull * read.face_count};
    for (int a = 0; same && a < 3; ++a) {
        Bytes stored(p[a].size);
        same = p[a].size == bytes[a] && c.read(p[a].offset, stored.data(), stored.size()) &&
               (bytes[a] == 0 || std::memcmp(stored.data(), arrays[a], bytes[a]) == 0);
    }
    ogawa_free_polymesh(&read);
    ogawa_close(&archive);
    return same;
}

std::uint64_t pread_every_sample(const std::string& file, const std::vector<MeshPayloads>& meshes, SampleOrder order) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::uint64_t total = 0;
    bool ok = true;
    const auto one = [&](const MeshPayloads& m, std::uint32_t k) {
        const std::uint64_t n = read_sample(fd, m, k);
        ok = ok && n > 0;
        total += n;
    };
    if (order == SampleOrder::kMeshByMesh) {
        for (const MeshPayloads& m : meshes) {
            for (std::uint32_t k = 0; k < m.sample_count; ++k) one(m, k);
        }
    } else {
        std::uint32_t frames = 0;
        for (const MeshPayloads& m : meshes) frames = std::max(frames, m.sample_count);
        for (std::uint32_t k = 0; k < frames; ++k) {
            for (const MeshPayloads& m : meshes) {
                if (k < m.sample_count) one(m, k);
            }
        }
    }
    close(fd);
    return ok ? total : 0;
}

std::uint64_t pread_sample(const std::string& file, const MeshPayloads& mesh, std::uint32_t sample) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const std::uint64_t n = sample < mesh.sample_count ? read_sample(fd, mesh, sample) : 0;
    close(fd);
    return n;
}

}  // namespace bench_ogawa
