// Both shared libraries in one process: each keeps its own agent directory,
// and a directory file written through one is read by the other.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "dynamic/library.h"
#include "zelset.h"

namespace {

using zel_test::Library;
using zel_test::resolve;

// The agent functions of one loaded library.
struct AgentApi {
    explicit AgentApi(const Library& lib)
        : spawn(resolve<decltype(&zel_agent_spawn)>(lib, "zel_agent_spawn")),
          query(resolve<decltype(&zel_agent_query)>(lib, "zel_agent_query")),
          monitor(resolve<decltype(&zel_agent_monitor)>(lib, "zel_agent_monitor")),
          stats(resolve<decltype(&zel_agent_dir_stats)>(lib, "zel_agent_dir_stats")),
          save(resolve<decltype(&zel_agent_dir_save)>(lib, "zel_agent_dir_save")),
          load(resolve<decltype(&zel_agent_dir_load)>(lib, "zel_agent_dir_load")),
          free(resolve<decltype(&zel_agent_dir_free)>(lib, "zel_agent_dir_free")) {}
    bool complete() const { return spawn && query && monitor && stats && save && load && free; }
    uint32_t total() const {
        uint32_t n = 12345;
        stats(&n, nullptr, nullptr);
        return n;
    }

    decltype(&zel_agent_spawn) spawn;
    decltype(&zel_agent_query) query;
    decltype(&zel_agent_monitor) monitor;
    decltype(&zel_agent_dir_stats) stats;
    decltype(&zel_agent_dir_save) save;
    decltype(&zel_agent_dir_load) load;
    decltype(&zel_agent_dir_free) free;
};

TEST(AgentDirectoryIsolation, EachLibraryHasItsOwnDirectory) {
    Library full_lib(ZEL_LIB_FULL);
    Library next_lib(ZEL_LIB_NEXT);
    ASSERT_TRUE(full_lib.loaded());
    ASSERT_TRUE(next_lib.loaded());
    AgentApi full(full_lib), next(next_lib);
    ASSERT_TRUE(full.complete());
    ASSERT_TRUE(next.complete());

    char id[9];
    ASSERT_EQ(full.spawn(nullptr, 1, 0, 0, id), 0);
    EXPECT_STREQ(id, "2A9E0100");
    ASSERT_EQ(full.spawn(nullptr, 1, 0, 0, id), 0);
    EXPECT_EQ(full.total(), 2u);
    // zelset_next has no directory: none was created there.
    EXPECT_EQ(next.total(), 0u);
    zel_agent_t a{};
    EXPECT_EQ(next.query("2A9E0100", &a), -1);
    char listed[9 * 4];
    EXPECT_EQ(next.monitor("", listed, 4), 0);

    // Its own first spawn starts from the first slot id again.
    ASSERT_EQ(next.spawn(nullptr, 2, 0, 0, id), 0);
    EXPECT_STREQ(id, "2A9E0100");
    EXPECT_EQ(next.total(), 1u);
    EXPECT_EQ(full.total(), 2u);

    // Same file format: what one saves the other loads.
    namespace fs = std::filesystem;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path file = fs::temp_directory_path() / ("zelset_isolation_" + std::to_string(stamp) + ".zlag");
    std::string path = file.string();
    ASSERT_EQ(full.save(path.c_str()), 0);
    ASSERT_EQ(next.load(path.c_str()), 0);
    EXPECT_EQ(next.total(), 2u);
    ASSERT_EQ(next.query("2A9E0101", &a), 0);
    EXPECT_EQ(a.kind, 1);
    fs::remove(file);

    full.free();
    EXPECT_EQ(full.total(), 0u);
    EXPECT_EQ(next.total(), 2u) << "releasing one leaves the other";
    next.free();
    EXPECT_EQ(next.total(), 0u);
}

}  // namespace
