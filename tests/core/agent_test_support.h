// Shared pieces of the agent directory tests. The directory is process-wide,
// so every test starts and ends without one, whatever order the tests run in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "zelset.h"
#include "zelset/agent_internal.h"

namespace zel_test {

class AgentDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        zel_agent_dir_free();
        ASSERT_EQ(zel::g_agent_dir, nullptr);
    }
    // Runs before tmp goes, so a dirty directory saved here lands inside it.
    void TearDown() override { zel_agent_dir_free(); }

    static zel_agent_dir_t& dir() { return *zel::g_agent_dir; }

    TempDir tmp;
};

// Spawns and returns the new id, or the status as text when it fails.
inline std::string spawn(uint8_t tier, const char* parent = nullptr, uint8_t kind = 0, uint8_t tag = 0) {
    char out[9];
    std::memset(out, '#', sizeof out);
    int32_t rc = zel_agent_spawn(parent, kind, tier, tag, out);
    if (rc != 0) return "status " + std::to_string(rc);
    if (out[8] != '\0') return "no NUL";
    return std::string(out, 8);
}

// The record of id; a zeroed record with a failure recorded when unknown.
inline zel_agent_t query(const std::string& id) {
    zel_agent_t a{};
    EXPECT_EQ(zel_agent_query(id.c_str(), &a), 0) << id;
    return a;
}

// Files built byte by byte, independently of the library's encoder.
inline void put_le(std::vector<unsigned char>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

inline void put_id(std::vector<unsigned char>& out, const char* id) {
    // Exactly 8 bytes; a shorter text is NUL-padded.
    size_t n = std::strlen(id);
    for (size_t i = 0; i < 8; ++i) out.push_back(i < n ? static_cast<unsigned char>(id[i]) : 0);
}

struct RecordSpec {
    const char* id;
    const char* parent = "2A9E0000";
    uint8_t kind = 0, state = 0, ready = 1, terminated = 0, assigned = 0, spare = 0, tag = 0, tier = 0;
    uint64_t reserved = 0, task = 0;
};

inline std::vector<unsigned char> record_bytes(const RecordSpec& r) {
    std::vector<unsigned char> out;
    put_id(out, r.id);
    put_id(out, r.parent);
    for (uint8_t b : {r.kind, r.state, r.ready, r.terminated, r.assigned, r.spare, r.tag, r.tier}) out.push_back(b);
    put_le(out, r.reserved, 8);
    put_le(out, r.task, 8);
    return out;
}

inline std::vector<unsigned char> agent_file(uint32_t version, uint32_t count, uint32_t live, int64_t saved_at,
                                             const std::vector<RecordSpec>& records) {
    std::vector<unsigned char> out = {'Z', 'L', 'A', 'G'};
    put_le(out, version, 4);
    put_le(out, count, 4);
    put_le(out, live, 4);
    put_le(out, static_cast<uint64_t>(saved_at), 8);
    for (const RecordSpec& r : records) {
        std::vector<unsigned char> bytes = record_bytes(r);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

}  // namespace zel_test
