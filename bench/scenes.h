// Scenes of many objects for the reader's benchmarks, made with the test
// writer: xforms, each with an animated mesh below it.
//   "flat 5k"       2,500 xforms at the top level, one 12-vertex mesh of 3 samples under each
//   "flat 40k"      20,000 such pairs
//   "flat 200k"     100,000 such pairs
//   "deep 100k"     100,000 objects: xforms 6 levels deep, 6 children each, a mesh under
//                   every leaf xform, made in pre-order until the count is reached
//   "crowd 40k"     200 groups of 100 xforms, each with a 96-vertex mesh; xforms and meshes
//                   animated over 24 samples, every sample's positions different and no
//                   payload shared (40,200 objects)
//   "character 2k"  10 x 10 x 10 xforms in three levels, each leaf with a 2,016-vertex mesh
//                   with indexed face-varying uvs; xforms and meshes animated over 12
//                   samples, no payload shared (2,110 objects)
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/alembic_writer.h"

namespace bench_scenes {

constexpr std::uint32_t kSamples = 3;

inline std::string numbered(const char* prefix, std::uint64_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%llu", prefix, static_cast<unsigned long long>(i));
    return name;
}

// A 4 x 3 grid of 12 vertices in 6 quads, raised by the sample index and
// shifted by seed so that no two meshes share their samples.
inline alembic_test::Object small_mesh(std::uint32_t seed) {
    std::vector<alembic_test::MeshSample> samples(kSamples);
    for (std::uint32_t k = 0; k < kSamples; ++k) {
        alembic_test::MeshSample& s = samples[k];
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4; ++x) {
                s.positions.insert(s.positions.end(), {float(x) + 0.001f * float(seed % 1000),
                                                       float(k) * 0.25f, float(y) + 0.001f * float(seed / 1000)});
            }
        }
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                const int v = y * 4 + x;
                s.face_counts.push_back(4);
                s.face_indices.insert(s.face_indices.end(), {v, v + 4, v + 5, v + 1});
            }
        }
    }
    return alembic_test::polymesh("mesh", samples, 1);
}

inline alembic_test::Object placed_xform(std::string name, std::uint32_t seed, std::vector<alembic_test::Object> children) {
    const double x = double(seed % 317), z = double(seed / 317);
    // One translation: operation 1 in the high four bits, three channels.
    return alembic_test::xform(std::move(name), {0x10}, {{x, 0.0, z}}, {}, 0, std::move(children));
}

// Sampling 1: `samples` frames at 24 per second.
inline std::vector<alembic_test::Sampling> samplings(std::uint32_t samples = kSamples) {
    return {{1, 1.0, {0.0}}, {samples, 1.0 / 24.0, {1.0 / 24.0}}};
}

inline alembic_test::Scene flat(std::uint32_t pairs) {
    alembic_test::Scene scene;
    scene.samplings = samplings();
    for (std::uint32_t i = 0; i < pairs; ++i) {
        scene.objects.push_back(placed_xform(numbered("xform_", i), i, {small_mesh(i)}));
    }
    return scene;
}

// Children of one xform at level (1 at the top); *left counts objects still to make.
inline std::vector<alembic_test::Object> deep_level(int level, std::uint32_t* left, std::uint32_t* seed) {
    constexpr int kLevels = 6, kBranching = 6;
    std::vector<alembic_test::Object> out;
    for (int i = 0; i < kBranching && *left >= (level == kLevels ? 2u : 1u); ++i) {
        const std::uint32_t s = (*seed)++;
        --*left;
        std::vector<alembic_test::Object> children;
        if (level == kLevels) {
            --*left;
            children.push_back(small_mesh(s));
        } else {
            children = deep_level(level + 1, left, seed);
        }
        out.push_back(placed_xform(numbered("x", static_cast<std::uint64_t>(i)), s, std::move(children)));
    }
    return out;
}

inline alembic_test::Scene deep(std::uint32_t objects) {
    alembic_test::Scene scene;
    scene.samplings = samplings();
    std::uint32_t left = objects, seed = 0;
    while (left >= 2) {
        std::vector<alembic_test::Object> tree = deep_level(1, &left, &seed);
        for (auto& o : tree) {
            o.name = numbered("top", scene.objects.size());
            scene.objects.push_back(std::move(o));
        }
    }
    return scene;
}

// A grid of columns x rows vertices in quads, over `samples` samples: sample
// k raised by k, the grid placed by seed so that no two meshes share a sample.
// With uvs: one indexed face-varying set, constant.
inline alembic_test::Object grid_mesh(std::uint32_t seed, int columns, int rows, std::uint32_t samples, bool uvs) {
    const float dx = 0.5f * float(seed % 211), dz = 0.5f * float(seed / 211);
    alembic_test::MeshSample topology;
    for (int y = 0; y + 1 < rows; ++y) {
        for (int x = 0; x + 1 < columns; ++x) {
            const int v = y * columns + x;
            topology.face_counts.push_back(4);
            topology.face_indices.insert(topology.face_indices.end(), {v, v + columns, v + columns + 1, v + 1});
        }
    }
    std::vector<alembic_test::MeshSample> frames(samples, topology);
    for (std::uint32_t k = 0; k < samples; ++k) {
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < columns; ++x) {
                frames[k].positions.insert(frames[k].positions.end(),
                                           {float(x) + dx, 0.125f * float(k) + 0.01f * float(x * y), float(y) + dz});
            }
        }
    }
    std::vector<alembic_test::GeomParam> params;
    if (uvs) {
        std::vector<float> values;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < columns; ++x) {
                values.insert(values.end(), {float(x) / float(columns - 1), float(y) / float(rows - 1)});
            }
        }
        const std::vector<std::uint32_t> corners(topology.face_indices.begin(), topology.face_indices.end());
        params.push_back({"uv", 2, "fvr", std::vector<std::vector<float>>(samples, values),
                          std::vector<std::vector<std::uint32_t>>(samples, corners), 1});
    }
    return alembic_test::polymesh("mesh", std::move(frames), 1, std::move(params));
}

// An xform translated by seed and moving along x over `samples` samples.
inline alembic_test::Object moving_xform(std::string name, std::uint32_t seed, std::uint32_t samples,
                                         std::vector<alembic_test::Object> children) {
    std::vector<std::vector<double>> vals;
    for (std::uint32_t k = 0; k < samples; ++k) vals.push_back({double(seed % 317) + 0.1 * k, 0.0, double(seed / 317)});
    return alembic_test::xform(std::move(name), {0x10}, vals, {}, 1, std::move(children));
}

inline alembic_test::Scene crowd(std::uint32_t groups, std::uint32_t per_group) {
    constexpr std::uint32_t kFrames = 24;
    alembic_test::Scene scene;
    scene.samplings = samplings(kFrames);
    scene.share_identical_samples = false;
    for (std::uint32_t g = 0; g < groups; ++g) {
        std::vector<alembic_test::Object> agents;
        for (std::uint32_t a = 0; a < per_group; ++a) {
            const std::uint32_t seed = g * per_group + a;
            agents.push_back(
                moving_xform(numbered("agent_", a), seed, kFrames, {grid_mesh(seed, 12, 8, kFrames, false)}));
        }
        scene.objects.push_back(placed_xform(numbered("group_", g), g, std::move(agents)));
    }
    return scene;
}

// branching^3 leaves: /a<i>/b<j>/c<k>/mesh.
inline alembic_test::Scene character(std::uint32_t branching) {
    constexpr std::uint32_t kFrames = 12;
    alembic_test::Scene scene;
    scene.samplings = samplings(kFrames);
    scene.share_identical_samples = false;
    std::uint32_t seed = 0;
    for (std::uint32_t i = 0; i < branching; ++i) {
        std::vector<alembic_test::Object> middle;
        for (std::uint32_t j = 0; j < branching; ++j) {
            std::vector<alembic_test::Object> leaves;
            for (std::uint32_t k = 0; k < branching; ++k, ++seed) {
                leaves.push_back(
                    moving_xform(numbered("c", k), seed, kFrames, {grid_mesh(seed, 48, 42, kFrames, true)}));
            }
            middle.push_back(moving_xform(numbered("b", j), seed, kFrames, std::move(leaves)));
        }
        scene.objects.push_back(moving_xform(numbered("a", i), seed, kFrames, std::move(middle)));
    }
    return scene;
}

// The full path of the scene's last PolyMesh in pre-order ("" when it has none).
inline std::string last_mesh_path(const std::vector<alembic_test::Object>& objects, const std::string& parent = "") {
    std::string last;
    for (const alembic_test::Object& o : objects) {
        const std::string path = parent + "/" + o.name;
        if (o.metadata.find("AbcGeom_PolyMesh_v1") != std::string::npos) last = path;
        std::string below = last_mesh_path(o.children, path);
        if (!below.empty()) last = std::move(below);
    }
    return last;
}

struct Named {
    const char* name;
    std::uint32_t objects;
    alembic_test::Scene (*make)();
};

inline const Named kScenes[] = {
    {"flat 5k", 5000, [] { return flat(2500); }},
    {"flat 40k", 40000, [] { return flat(20000); }},
    {"flat 200k", 200000, [] { return flat(100000); }},
    {"deep 100k", 100000, [] { return deep(100000); }},
    {"crowd 40k", 40200, [] { return crowd(200, 100); }},
    {"character 2k", 2110, [] { return character(10); }},
};

// Every kind of scene above at a small size: what the writer makes of them
// changes when the writer's output for the large scenes would.
inline std::vector<alembic_test::Scene> probes() { return {flat(2), deep(20), crowd(2, 2), character(2)}; }

}  // namespace bench_scenes
