#include "oracles/alembic_oracles.h"

#include <utility>

namespace zel_oracle {

namespace {

std::uint32_t rotate_left_5(std::uint32_t x) { return (x << 5) | (x >> 27); }

}  // namespace

std::vector<std::uint32_t> topology_hashes(std::uint32_t vertex_count, const std::uint32_t* faces,
                                           std::uint32_t face_count) {
    std::vector<std::uint32_t> out(vertex_count, 0);
    if (!faces || face_count == 0) return out;
    for (std::uint32_t v = 0; v < vertex_count; ++v) {
        std::uint32_t h = 0x5A5A5A5Au;
        for (std::uint64_t f = 0; f < face_count; ++f) {
            std::uint32_t a = faces[3 * f], b = faces[3 * f + 1], c = faces[3 * f + 2];
            if (a == v || b == v || c == v) {
                h = rotate_left_5((a * 0x1F1F1F1Fu) ^ (b * 0x2E2E2E2Eu) ^ (c * 0x3D3D3D3Du) ^ h);
            }
        }
        out[v] = h;
    }
    return out;
}

std::uint64_t newton_isqrt(std::uint64_t d) {
    if (d < 2) return d;
    std::uint64_t x = d;
    for (;;) {
        std::uint64_t q = d / x;
        std::uint64_t next = x / 2 + q / 2 + ((x % 2 + q % 2) / 2);  // (x + q) / 2
        if (next >= x) return x;
        x = next;
    }
}

std::vector<std::uint32_t> linear_probe_table(const zel_alembic_t& archive) {
    const std::uint32_t kSlots = ZEL_ALEMBIC_HASH_SIZE;
    std::vector<std::uint32_t> table(kSlots, ZEL_ALEMBIC_EMPTY_SLOT);
    std::uint32_t g = 0;
    for (std::uint32_t m = 0; archive.meshes && m < archive.mesh_count; ++m) {
        const zel_alembic_mesh_t& mesh = archive.meshes[m];
        for (std::uint32_t v = 0; v < mesh.vertex_count; ++v, ++g) {
            if (!mesh.vertices || !mesh.tokens) continue;
            std::uint64_t key = mesh.vertices[v].morton;
            std::uint32_t slot = static_cast<std::uint32_t>(key ^ (key >> 32)) % kSlots;
            while (table[slot] != ZEL_ALEMBIC_EMPTY_SLOT) slot = (slot + 1) % kSlots;
            table[slot] = g;
        }
    }
    return table;
}

std::pair<std::int64_t, std::int64_t> probe_lookup(const zel_alembic_t& archive, std::uint64_t key) {
    const std::uint32_t kSlots = ZEL_ALEMBIC_HASH_SIZE;
    const std::uint32_t home = static_cast<std::uint32_t>(key ^ (key >> 32)) % kSlots;
    for (std::uint32_t probed = 0; probed < kSlots; ++probed) {
        std::uint32_t g = archive.hash_table[(home + probed) % kSlots];
        if (g == ZEL_ALEMBIC_EMPTY_SLOT) break;
        std::uint64_t before = 0;
        for (std::uint32_t m = 0; m < archive.mesh_count; ++m) {
            const zel_alembic_mesh_t& mesh = archive.meshes[m];
            if (g < before + mesh.vertex_count) {
                std::uint64_t v = g - before;
                if (mesh.vertices && mesh.tokens && mesh.vertices[v].morton == key) return {m, v};
                break;
            }
            before += mesh.vertex_count;
        }
    }
    return {-1, -1};
}

std::vector<Nearest> nearest_scan(const zel_alembic_t& archive, std::uint64_t key, int k) {
    std::vector<Nearest> list;
    if (k < 1) return list;
    const std::uint64_t kEmpty = ~std::uint64_t{0};
    list.assign(static_cast<std::size_t>(k), Nearest{0, 0, kEmpty});
    for (std::uint32_t m = 0; archive.meshes && m < archive.mesh_count; ++m) {
        const zel_alembic_mesh_t& mesh = archive.meshes[m];
        if (!mesh.vertices || !mesh.tokens) continue;
        for (std::uint32_t v = 0; v < mesh.vertex_count; ++v) {
            std::uint64_t morton = mesh.vertices[v].morton;
            std::uint64_t d = newton_isqrt(key > morton ? key - morton : morton - key);
            if (d >= list.back().distance) continue;
            std::size_t i = list.size() - 1;
            list[i] = Nearest{m, v, d};
            while (i > 0 && list[i].distance < list[i - 1].distance) {
                std::swap(list[i], list[i - 1]);
                --i;
            }
        }
    }
    std::size_t n = 0;
    while (n < list.size() && list[n].distance != kEmpty) ++n;
    list.resize(n);
    return list;
}

}  // namespace zel_oracle
