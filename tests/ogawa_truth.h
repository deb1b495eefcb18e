// The real archives of tests/data and what their writer recorded of them
// (NAME.truth.json, NAME.transforms.json), for the reader's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "support/test_support.h"

namespace ogawa_truth {

using nlohmann::json;

// Every real archive, by name.
inline const char* const kFixtures[] = {"acyclic_times", "animated",    "blender_cube", "cube",
                                        "deform_ngons",  "dup_instances", "grid_tri",   "pentagons",
                                        "scene_mixed",   "tiny"};

// A file of tests/data, parsed; a missing file fails the test.
inline json load_json(const std::string& file) {
    std::ifstream in(zel_test::data_file(file));
    EXPECT_TRUE(in.good()) << file;
    return in.good() ? json::parse(in) : json::array();
}

// An object record that names an object by its full path only.
inline ogawa_object_t named(const std::string& path) {
    ogawa_object_t o{};
    std::strncpy(o.path, path.c_str(), sizeof o.path - 1);
    return o;
}

// Bit patterns of floats, so that -0.0 and 0.0 differ.
inline std::vector<std::uint32_t> bits(const float* data, std::size_t n) {
    std::vector<std::uint32_t> out(data ? n : 0);
    if (data) std::memcpy(out.data(), data, 4 * n);
    return out;
}
inline std::vector<std::uint32_t> words(const std::uint32_t* data, std::size_t n) {
    return data ? std::vector<std::uint32_t>(data, data + n) : std::vector<std::uint32_t>{};
}
inline std::vector<float> floats(const float* data, std::size_t n) {
    return data ? std::vector<float>(data, data + n) : std::vector<float>{};
}

// The values of a truth array of rows ([[x, y, z], ...]), row after row.
inline std::vector<float> truth_floats(const json& rows) {
    std::vector<float> out;
    for (const json& row : rows) {
        for (const json& v : row) out.push_back(v.get<float>());
    }
    return out;
}

}  // namespace ogawa_truth
