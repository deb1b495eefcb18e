// Scenes of many objects for the reader's benchmarks, made with the test
// writer: xforms, each with a small animated mesh below it.
//   "flat 5k"    2,500 xforms at the top level, one 12-vertex mesh of 3 samples under each
//   "flat 40k"   20,000 such pairs
//   "flat 200k"  100,000 such pairs
//   "deep 100k"  100,000 objects: xforms 6 levels deep, 6 children each, a mesh under
//                every leaf xform, made in pre-order until the count is reached
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

inline std::vector<alembic_test::Sampling> samplings() {
    return {{1, 1.0, {0.0}}, {kSamples, 1.0 / 24.0, {1.0 / 24.0}}};
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

struct Named {
    const char* name;
    std::uint32_t objects;
    alembic_test::Scene (*make)();
};

// "flat 5k" -> "flat_5k.abc"
inline std::string file_name(const Named& scene) {
    std::string name;
    for (const char* c = scene.name; *c; ++c) name.push_back(*c == ' ' ? '_' : *c);
    return name + ".abc";
}

inline const Named kScenes[] = {
    {"flat 5k", 5000, [] { return flat(2500); }},
    {"flat 40k", 40000, [] { return flat(20000); }},
    {"flat 200k", 200000, [] { return flat(100000); }},
    {"deep 100k", 100000, [] { return deep(100000); }},
};

}  // namespace bench_scenes
