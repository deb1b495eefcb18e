// Loads arbitrary bytes as an agent directory file, then runs every agent
// operation on what was loaded, saves it and checks that the saved file loads
// back to the same records. The directory is released after every input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "zelset.h"
#include "zelset/agent_internal.h"

namespace {

using zel_fuzz::require;

// Every listed agent goes through each operation; ids come from monitor, so
// they include ids with NUL bytes and duplicates from the file.
void exercise(const uint8_t* data, size_t size) {
    constexpr int kMaxListed = 64;
    char listed[9 * kMaxListed];
    int n = zel_agent_monitor("", listed, kMaxListed);
    require(n >= 0 && n <= kMaxListed);
    for (int i = 0; i < n; ++i) {
        const char* id = listed + 9 * i;
        zel_agent_t a{};
        int rc = zel_agent_query(id, &a);
        require(rc == 0 || rc == -2);
        uint8_t byte = size ? data[i % size] : 0;
        zel_agent_control(id, byte % 6u);
        zel_agent_delegate(listed, id, byte);
        zel_agent_terminate(id);
    }
    char id[9];
    for (uint8_t tier = 0; tier < 4; ++tier) {
        int rc = zel_agent_spawn(n ? listed : nullptr, tier, tier, tier, id);
        require(rc == 0 || rc == -2);
        if (rc == 0) require(id[8] == '\0' && zel_agent_terminate(id) == 0);
    }
    uint32_t total = 0, live = 0, kinds[4] = {};
    zel_agent_dir_stats(&total, &live, kinds);
    require(total <= zel::kAgentSlots && live <= total);
    require(uint64_t(kinds[0]) + kinds[1] + kinds[2] + kinds[3] <= total);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zel_fuzz::ScratchFile input("agent_input");
    static const zel_fuzz::ScratchFile saved("agent_saved");
    input.write(data, size);
    int rc = zel_agent_dir_load(input.path());
    if (rc == 0) {
        exercise(data, size);
        const zel_agent_dir_t& before = *zel::g_agent_dir;
        uint32_t count = before.agent_count;
        require(zel_agent_dir_save(saved.path()) == 0);
        zel_agent_t* copy = static_cast<zel_agent_t*>(std::malloc(sizeof(zel_agent_t) * (count + 1)));
        std::memcpy(copy, before.agents, sizeof(zel_agent_t) * count);
        uint32_t live = before.live_count;
        // Reloaded over itself: the index is rebuilt, the records come back.
        require(zel_agent_dir_load(saved.path()) == 0);
        const zel_agent_dir_t& after = *zel::g_agent_dir;
        require(after.agent_count == count && after.live_count == live);
        require(std::memcmp(after.agents, copy, sizeof(zel_agent_t) * count) == 0);
        std::free(copy);
    } else {
        require(rc >= -4 && rc <= -2);
    }
    // The directory is clean after a load or a save: release writes nothing.
    zel_agent_dir_free();
    require(zel::g_agent_dir == nullptr);
    return 0;
}
