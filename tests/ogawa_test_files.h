// Builds small Ogawa files for the reader's tests: the 16-byte header, data
// nodes, groups and the root position, all little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "support/test_support.h"

namespace ogawa_test {

using Bytes = std::vector<unsigned char>;

constexpr std::uint64_t kData = 1ull << 63;

inline void put_u32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void put_u64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void put_f32(Bytes& b, float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    put_u32(b, u);
}
inline void set_u64(Bytes& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
inline std::uint64_t get_u64(const Bytes& b, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b.at(at + i);
    return v;
}

inline Bytes floats(const std::vector<float>& values) {
    Bytes b;
    for (float v : values) put_f32(b, v);
    return b;
}
inline Bytes words(const std::vector<std::uint32_t>& values) {
    Bytes b;
    for (std::uint32_t v : values) put_u32(b, v);
    return b;
}
inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}
// The pattern repeated to exactly `bytes` bytes.
inline Bytes repeat(const Bytes& pattern, std::size_t bytes) {
    Bytes b;
    while (b.size() < bytes) b.push_back(pattern[b.size() % pattern.size()]);
    return b;
}

// A 16-byte key as the writers store before every array: here bytes that read
// as two huge floats and two ordinary ones, unless given.
inline Bytes key(std::uint32_t a = 0x7F7FFFFF, std::uint32_t b = 0xFF7FFFFF, std::uint32_t c = 0x3F800000,
                 std::uint32_t d = 0x40000000) {
    return words({a, b, c, d});
}

class FileBuilder {
public:
    FileBuilder() {
        const char magic[] = "Ogawa";
        bytes_.assign(magic, magic + 5);
        bytes_.push_back(0xFF);
        bytes_.push_back(0);
        bytes_.push_back(1);
        put_u64(bytes_, 0);  // root position, set by finish()
    }

    // Appends a data node and returns its reference.
    std::uint64_t data(const Bytes& payload) { return data_sized(payload, payload.size()); }
    // A data node whose size field says `size` (payload may be shorter or longer).
    std::uint64_t data_sized(const Bytes& payload, std::uint64_t size) {
        std::uint64_t at = bytes_.size();
        put_u64(bytes_, size);
        bytes_.insert(bytes_.end(), payload.begin(), payload.end());
        return kData | at;
    }
    // Appends a group of these child references and returns its reference.
    std::uint64_t group(const std::vector<std::uint64_t>& children) {
        std::uint64_t at = bytes_.size();
        put_u64(bytes_, children.size());
        for (std::uint64_t c : children) put_u64(bytes_, c);
        return at;
    }
    // Raw bytes (padding, a partial node).
    void raw(const Bytes& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    std::uint64_t size() const { return bytes_.size(); }
    Bytes& bytes() { return bytes_; }

    // A root group of two 4-byte version nodes (as every writer stores,
    // which makes the archive keyed) or of two larger nodes, then the top
    // group; the header names the root.
    Bytes finish_with_top(std::uint64_t top, bool keyed) {
        std::uint64_t v0 = keyed ? data(words({0})) : data(words({0, 0}));
        std::uint64_t v1 = keyed ? data(words({10812})) : data(words({10812, 0}));
        return finish(group({v0, v1, top}));
    }
    Bytes finish(std::uint64_t root) {
        set_u64(bytes_, 8, root);
        return bytes_;
    }

private:
    Bytes bytes_;
};

// An archive opened from bytes written to a scratch file; closed at the end.
struct OpenedArchive {
    explicit OpenedArchive(const Bytes& contents) : path(dir.file("archive.abc")) {
        zel_test::write_file(path, contents);
        rc = ogawa_open(path.c_str(), &archive);
    }
    ~OpenedArchive() { ogawa_close(&archive); }
    OpenedArchive(const OpenedArchive&) = delete;
    OpenedArchive& operator=(const OpenedArchive&) = delete;

    zel_test::TempDir dir;
    std::string path;
    ogawa_archive_t archive{};
    int rc = 0;
};

// A copy of the real archive tests/data/NAME.abc whose root group claims 5
// children instead of 6: the reader cannot describe it and reads it as a bare
// container, by the shape of its blocks.
inline std::string undescribed_copy(const std::string& name, const zel_test::TempDir& dir) {
    Bytes b = zel_test::read_file(zel_test::data_file(name + ".abc"));
    std::uint64_t root = 0;
    for (int i = 7; i >= 0; --i) root = (root << 8) | b.at(8 + i);
    set_u64(b, root, 5);
    std::string path = dir.file(name + ".undescribed.abc");
    zel_test::write_file(path, b);
    return path;
}

// n triples cycling through `pattern` (x, y, z, x, y, z, ...).
inline Bytes triples(std::size_t n, const std::vector<float>& pattern) {
    std::vector<float> values(3 * n);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = pattern[i % pattern.size()];
    return floats(values);
}

// The archive read with ogawa_read_polymesh (no object); released at the end.
struct MeshRead {
    explicit MeshRead(const Bytes& contents) : opened(contents) {
        rc = ogawa_read_polymesh(&opened.archive, nullptr, 0, &mesh);
    }
    ~MeshRead() { ogawa_free_polymesh(&mesh); }
    MeshRead(const MeshRead&) = delete;
    MeshRead& operator=(const MeshRead&) = delete;

    OpenedArchive opened;
    ogawa_polymesh_t mesh{};
    int rc = 0;
};

inline std::vector<float> floats_of(const float* data, std::size_t n) {
    return data ? std::vector<float>(data, data + n) : std::vector<float>{};
}
inline std::vector<std::uint32_t> words_of(const std::uint32_t* data, std::size_t n) {
    return data ? std::vector<std::uint32_t>(data, data + n) : std::vector<std::uint32_t>{};
}
inline std::vector<float> floats_in(const Bytes& b) {
    std::vector<float> out(b.size() / 4);
    std::memcpy(out.data(), b.data(), out.size() * 4);
    return out;
}
inline std::vector<std::uint32_t> words_in(const Bytes& b) {
    std::vector<std::uint32_t> out(b.size() / 4);
    std::memcpy(out.data(), b.data(), out.size() * 4);
    return out;
}

}  // namespace ogawa_test
