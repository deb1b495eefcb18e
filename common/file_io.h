// Small helpers for the binary file formats: an owning FILE handle, exact reads
// and writes, and little-endian field access. Formats are packed and
// little-endian, so records are read and written field by field, except
// where a format says its records are the in-memory layout byte for byte.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zel {

// Owns a stdio stream and closes it on every path.
class File {
public:
    File() = default;
    File(const char* path, const char* mode) : f_(path ? std::fopen(path, mode) : nullptr) {}
    ~File() { if (f_) std::fclose(f_); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : f_(other.f_) { other.f_ = nullptr; }

    explicit operator bool() const { return f_ != nullptr; }
    std::FILE* get() const { return f_; }

    // Closes now and reports whether buffered data reached the file.
    bool close() {
        if (!f_) return false;
        int rc = std::fclose(f_);
        f_ = nullptr;
        return rc == 0;
    }

private:
    std::FILE* f_ = nullptr;
};

inline bool read_exact(std::FILE* f, void* out, std::size_t n) {
    return n == 0 || std::fread(out, 1, n, f) == n;
}

inline bool write_exact(std::FILE* f, const void* data, std::size_t n) {
    return n == 0 || std::fwrite(data, 1, n, f) == n;
}

// Size of an open stream in bytes (its position is restored), or -1.
std::int64_t stream_size(std::FILE* f);

inline std::uint16_t load_u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t load_u64(const unsigned char* p) {
    return static_cast<std::uint64_t>(load_u32(p)) | (static_cast<std::uint64_t>(load_u32(p + 4)) << 32);
}
inline float load_f32(const unsigned char* p) { return std::bit_cast<float>(load_u32(p)); }
inline double load_f64(const unsigned char* p) { return std::bit_cast<double>(load_u64(p)); }

inline void store_u16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void store_u32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void store_u64(unsigned char* p, std::uint64_t v) {
    store_u32(p, static_cast<std::uint32_t>(v));
    store_u32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void store_f32(unsigned char* p, float v) { store_u32(p, std::bit_cast<std::uint32_t>(v)); }
inline void store_f64(unsigned char* p, double v) { store_u64(p, std::bit_cast<std::uint64_t>(v)); }

}  // namespace zel
