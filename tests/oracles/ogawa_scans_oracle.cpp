#include "oracles/ogawa_scans_oracle.h"

#include <cmath>
#include <cstring>

namespace ogawa_oracle {
namespace {

long length_of(std::FILE* f) {
    std::fseek(f, 0, SEEK_END);
    return std::ftell(f);
}

bool read_u64(std::FILE* f, long at, std::uint64_t* v) {
    unsigned char b[8];
    if (std::fseek(f, at, SEEK_SET) != 0 || std::fread(b, 1, 8, f) != 8) return false;
    *v = 0;
    for (int i = 7; i >= 0; --i) *v = (*v << 8) | b[i];
    return true;
}

// n little-endian words from the stream's position on.
bool read_words(std::FILE* f, int n, std::uint32_t* out) {
    for (int i = 0; i < n; ++i) {
        unsigned char b[4];
        if (std::fread(b, 1, 4, f) != 4) return false;
        out[i] = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    }
    return true;
}

float as_float(std::uint32_t w) {
    float x;
    std::memcpy(&x, &w, 4);
    return x;
}

bool finite_within(float x, float limit) { return std::isfinite(x) && std::fabs(x) <= limit; }

bool ordinary(float x) { return std::isfinite(x) && std::fabs(x) >= 0.0001f && std::fabs(x) <= 10000.0f; }

bool unit(float a, float b, float c) {
    float length = std::sqrt(a * a + b * b + c * c);
    return length > 0.95f && length < 1.05f;
}

// The attribute readers' scan; visit returns false to stop.
template <class Visit>
void attribute_scan(std::FILE* f, std::uint64_t min_size, std::uint64_t multiple, int words, float limit,
                    Visit visit) {
    long file_size = length_of(f);
    long limit_position = file_size - 24;
    if (limit_position <= 16) return;
    for (long p = 16; p < limit_position; p += 4) {
        std::uint64_t s;
        if (!read_u64(f, p, &s)) break;
        if (s < min_size || s > 5'000'000 || s % multiple != 0) continue;
        std::uint32_t w[6];
        if (!read_words(f, words, w)) continue;
        bool ok = true;
        for (int i = 0; i < words; ++i) ok = ok && finite_within(as_float(w[i]), limit);
        if (ok && !visit(Block{std::uint64_t(p) + 8, s})) return;
    }
}

}  // namespace

Hit position_block(std::FILE* f) {
    long file_size = length_of(f);
    Hit best;
    for (long p = 16; p < 2048 && p < file_size - 48; ++p) {
        std::uint64_t s;
        if (!read_u64(f, p, &s)) break;
        if (s < 12012 || s > 9'999'999) continue;
        std::uint32_t raw[18];
        if (!read_words(f, 18, raw)) continue;
        float w[18];
        for (int i = 0; i < 18; ++i) w[i] = as_float(raw[i]);
        int not_ordinary = 0;
        for (int i = 0; i < 4; ++i) not_ordinary += ordinary(w[i]) ? 0 : 1;
        bool w4_to_w9 = true;
        for (int i = 4; i <= 9; ++i) w4_to_w9 = w4_to_w9 && finite_within(w[i], 10000.0f);
        int first;
        Hit hit;
        if (not_ordinary >= 3 && w4_to_w9 && std::fabs(w[4]) + std::fabs(w[5]) + std::fabs(w[6]) > 1.0f &&
            std::fabs(w[7]) + std::fabs(w[8]) + std::fabs(w[9]) > 1.0f) {
            first = 4;
            hit = Hit{std::uint64_t(p) + 24, (s - 16) / 12};
        } else if (finite_within(w[0], 10000.0f) && finite_within(w[1], 10000.0f) && finite_within(w[2], 10000.0f)) {
            first = 0;
            hit = Hit{std::uint64_t(p) + 8, s / 12};
        } else {
            first = 3;
            hit = Hit{std::uint64_t(p) + 20, s / 12 - 1};
        }
        bool plausible = true, some_above = false;
        for (int i = first; i <= 15; ++i) {
            plausible = plausible && finite_within(w[i], 10000.0f);
            some_above = some_above || std::fabs(w[i]) > 0.01f;
        }
        if (!plausible || !some_above) continue;
        if (hit.count > best.count) best = hit;
    }
    return best;
}

Hit unit_normals(std::FILE* f) {
    long file_size = length_of(f);
    Hit best;
    if (file_size <= 116) return best;
    for (long p = 40; p <= file_size - 77; ++p) {
        std::uint64_t s;
        if (!read_u64(f, p - 24, &s)) break;
        if (s < 10'001 || s > 1'999'999 || (s - 16) % 12 != 0) continue;
        std::fseek(f, p, SEEK_SET);
        std::uint32_t raw[6];
        if (!read_words(f, 6, raw)) continue;
        float v[6];
        bool in_range = true;
        for (int i = 0; i < 6; ++i) {
            v[i] = as_float(raw[i]);
            in_range = in_range && finite_within(v[i], 1.1f);
        }
        if (!in_range || !unit(v[0], v[1], v[2]) || !unit(v[3], v[4], v[5])) continue;
        std::uint64_t count = (s - 16) / 12;
        if (count > best.count) best = Hit{std::uint64_t(p), count};
    }
    return best;
}

Hit triangle_run(std::FILE* f, std::uint32_t position_count) {
    long file_size = length_of(f);
    Hit best;
    if (file_size <= 20) return best;
    for (long p = 16; p < file_size - 4; p += 4) {
        std::fseek(f, p, SEEK_SET);
        std::uint32_t v;
        if (!read_words(f, 1, &v)) break;
        if (v >= position_count) continue;
        std::uint64_t run = 1;
        while (run < 10'000'000 && read_words(f, 1, &v) && (v == 3 || v == 4 || v < position_count)) ++run;
        if (run > 5 && run > best.count) best = Hit{std::uint64_t(p), run};
    }
    return best;
}

void mesh_data(std::FILE* f, Block* positions, Block* uvs) {
    *positions = Block{};
    *uvs = Block{};
    long file_size = length_of(f);
    std::uint64_t root;
    if (!read_u64(f, 8, &root)) return;
    if (file_size - 16 <= 16) return;
    std::vector<unsigned char> chunk(4096);
    for (long base = 16; base < file_size - 16;) {
        std::fseek(f, base, SEEK_SET);
        long n = long(std::fread(chunk.data(), 1, chunk.size(), f));
        if (n <= 16) break;  // 16 would not advance
        for (long j = 0; j <= (n - 17) / 4 * 4; j += 4) {
            std::uint64_t s = 0;
            for (int i = 7; i >= 0; --i) s = (s << 8) | chunk[std::size_t(j + i)];
            if (s < 12 || s > 10'000'000 || s % 4 != 0 || n < j + 20) continue;
            float w[3];
            std::memcpy(w, &chunk[std::size_t(j + 8)], 12);
            if (!finite_within(w[0], 50000.0f) || !finite_within(w[1], 50000.0f) || !finite_within(w[2], 50000.0f) ||
                s <= 1000) {
                continue;
            }
            std::uint64_t payload = std::uint64_t(base + j + 8);
            if (s % 12 == 0 && s > positions->size && std::fabs(w[0]) < 10000.0f) *positions = Block{payload, s};
            if (s % 8 == 0 && w[0] >= -10.0f && w[0] <= 10.0f && w[1] >= -10.0f && w[1] <= 10.0f &&
                payload != positions->offset && s > uvs->size) {
                *uvs = Block{payload, s};
            }
        }
        base += n - 16;
    }
}

namespace {

Block largest_block(std::FILE* f, std::uint64_t min_size, std::uint64_t multiple, int words, float limit) {
    Block best;
    attribute_scan(f, min_size, multiple, words, limit, [&](Block b) {
        if (b.size > best.size) best = b;
        return true;
    });
    return best;
}

}  // namespace

Block largest_normals(std::FILE* f) { return largest_block(f, 36, 12, 6, 1.1f); }

Block largest_uvs(std::FILE* f) { return largest_block(f, 16, 8, 4, 10.0f); }

std::vector<Block> tangent_candidates(std::FILE* f) {
    std::vector<Block> found;
    attribute_scan(f, 36, 12, 6, 1.1f, [&](Block b) {
        found.push_back(b);
        return found.size() < 32;
    });
    return found;
}

}  // namespace ogawa_oracle
