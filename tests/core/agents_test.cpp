// Operations on single agents: ids made by spawn, the state transitions,
// monitor's patterns, and a whole life through a saved and reloaded file.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/agent_test_support.h"

namespace {

using zel_test::AgentDirTest;
using zel_test::query;
using zel_test::read_file;
using zel_test::spawn;

using Agents = AgentDirTest;

std::string hex_id(unsigned hi, unsigned lo) {
    char text[9];
    std::snprintf(text, sizeof text, "2A9E%02X%02X", hi, lo);
    return text;
}

std::vector<std::string> monitor(const char* pattern, int32_t max) {
    std::vector<char> out(9 * static_cast<size_t>(max > 0 ? max : 1) + 9, '#');
    int32_t n = zel_agent_monitor(pattern, out.data(), max);
    std::vector<std::string> ids;
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_EQ(out[9 * i + 8], '\0');
        ids.emplace_back(out.data() + 9 * i, 8);
    }
    EXPECT_EQ(out[9 * static_cast<size_t>(n)], '#') << "nothing written past the last entry";
    return ids;
}

TEST_F(Agents, SpawnMakesTierAndSerialIds) {
    for (unsigned slot = 0; slot < 28; ++slot) ASSERT_EQ(spawn(0), hex_id(1, slot));
    EXPECT_EQ(spawn(0), "2A9E1000") << "the 29th tier-0 agent gets the first serial id";
    EXPECT_EQ(spawn(0), "2A9E1001");
    EXPECT_EQ(spawn(1), "2A9E0200");
    EXPECT_EQ(spawn(2), "2A9E0300");
    EXPECT_EQ(spawn(2), "2A9E0301");
    EXPECT_EQ(spawn(3), "2A9E1002");
    EXPECT_EQ(spawn(255), "2A9E1003");
    EXPECT_EQ(dir().agent_count, 35u);
    EXPECT_EQ(dir().live_count, 35u);
    EXPECT_EQ(dir().next_serial, 0x1004u);
    EXPECT_EQ(dir().dirty, 1u);
    EXPECT_STREQ(dir().path, "") << "a directory made by spawn has no path";

    char out[9];
    EXPECT_EQ(zel_agent_spawn(nullptr, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(dir().agent_count, 35u);
    ASSERT_EQ(zel_agent_spawn(nullptr, 0, 1, 0, out), 0);
    EXPECT_STREQ(out, "2A9E0201");
}

TEST_F(Agents, SpawnFillsTheRecord) {
    ASSERT_EQ(spawn(1, nullptr, 7, 0x42), "2A9E0200");
    zel_agent_t a = query("2A9E0200");
    EXPECT_EQ(std::memcmp(a.id, "2A9E0200", 8), 0);
    EXPECT_EQ(std::memcmp(a.parent, "2A9E0000", 8), 0);
    EXPECT_EQ(a.kind, 7);
    EXPECT_EQ(a.state, 0);
    EXPECT_EQ(a.ready, 1);
    EXPECT_EQ(a.terminated, 0);
    EXPECT_EQ(a.assigned, 0);
    EXPECT_EQ(a.spare, 0);
    EXPECT_EQ(a.tag, 0x42);
    EXPECT_EQ(a.tier, 1);
    EXPECT_EQ(a.reserved, 0u);
    EXPECT_EQ(a.task, 0u);
    // The parent is copied as given, never looked up, cut after 8 characters.
    ASSERT_EQ(spawn(1, "NOBODY-AT-ALL"), "2A9E0201");
    EXPECT_EQ(std::memcmp(query("2A9E0201").parent, "NOBODY-A", 8), 0);
}

TEST_F(Agents, IdsAreNeverReadPastTheirEnd) {
    // Three-byte heap blocks: a read of 8 bytes would overrun them.
    auto block = [](const char* text) {
        auto p = std::make_unique<char[]>(3);
        std::memcpy(p.get(), text, 3);
        return p;
    };
    auto parent = block("AB");
    ASSERT_EQ(spawn(0, parent.get()), "2A9E0100");
    EXPECT_EQ(std::memcmp(query("2A9E0100").parent, "AB\0\0\0\0\0\0", 8), 0);
    auto empty = block("\0\0");
    ASSERT_EQ(spawn(0, empty.get()), "2A9E0101");
    EXPECT_EQ(std::memcmp(query("2A9E0101").parent, "\0\0\0\0\0\0\0\0", 8), 0);

    // A short id names no spawned agent; padded, it names the short record.
    std::string path = tmp.file("short.zlag");
    zel_test::write_file(path, zel_test::agent_file(1, 1, 1, 0, {zel_test::RecordSpec{.id = "AB"}}));
    ASSERT_EQ(zel_agent_dir_load(path.c_str()), 0);
    auto id = block("AB");
    zel_agent_t a{};
    EXPECT_EQ(zel_agent_query(id.get(), &a), 0);
    EXPECT_EQ(zel_agent_control(id.get(), 1), 0);
    ASSERT_EQ(spawn(2), "2A9E0300");
    EXPECT_EQ(zel_agent_delegate(id.get(), "2A9E0300", 5), 0);
    EXPECT_EQ(std::memcmp(query("2A9E0300").parent, "AB\0\0\0\0\0\0", 8), 0);
    EXPECT_EQ(zel_agent_delegate("2A9E0300", id.get(), 6), 0);
    EXPECT_EQ(zel_agent_terminate(id.get()), 0);
    auto pattern = block("A*");
    char listed[9];
    EXPECT_EQ(zel_agent_monitor(pattern.get(), listed, 1), 1);
    EXPECT_EQ(std::memcmp(listed, "AB\0\0\0\0\0\0\0", 9), 0);
}

TEST_F(Agents, NoDirectoryAndNullArguments) {
    zel_agent_t a{};
    char out[9 * 4];
    EXPECT_EQ(zel_agent_terminate("2A9E0100"), -1);
    EXPECT_EQ(zel_agent_delegate("2A9E0100", "2A9E0100", 1), -1);
    EXPECT_EQ(zel_agent_query("2A9E0100", &a), -1);
    EXPECT_EQ(zel_agent_control("2A9E0100", 0), -1);
    EXPECT_EQ(zel_agent_monitor("", out, 4), 0);
    EXPECT_EQ(zel::g_agent_dir, nullptr) << "only spawn creates a directory";

    ASSERT_EQ(spawn(0), "2A9E0100");
    EXPECT_EQ(zel_agent_query("2A9E0100", nullptr), -1) << "null out, also for a known id";
    EXPECT_EQ(zel_agent_query(nullptr, &a), -1);
    EXPECT_EQ(zel_agent_terminate(nullptr), -1);
    EXPECT_EQ(zel_agent_delegate(nullptr, "2A9E0100", 1), -1);
    EXPECT_EQ(zel_agent_delegate("2A9E0100", nullptr, 1), -1);
    EXPECT_EQ(zel_agent_control(nullptr, 0), -1);
    EXPECT_EQ(zel_agent_monitor(nullptr, out, 4), 0);
    EXPECT_EQ(zel_agent_monitor("", nullptr, 4), 0);
    EXPECT_EQ(zel_agent_monitor("", out, 0), 0);
    EXPECT_EQ(zel_agent_monitor("", out, -1), 0);
    EXPECT_EQ(query("2A9E0100").state, 0) << "nothing changed";
}

TEST_F(Agents, TerminateOnceAndNeverBelowZeroLive) {
    ASSERT_EQ(spawn(0), "2A9E0100");
    ASSERT_EQ(spawn(0), "2A9E0101");
    ASSERT_EQ(zel_agent_delegate("2A9E0100", "2A9E0101", 99), 0);
    EXPECT_EQ(zel_agent_terminate("2A9E0101"), 0);
    EXPECT_EQ(zel_agent_terminate("2A9E0101"), -3);
    EXPECT_EQ(zel_agent_terminate("2A9E0199"), -2);
    EXPECT_EQ(dir().live_count, 1u);
    EXPECT_EQ(dir().agent_count, 2u);
    zel_agent_t a = query("2A9E0101");
    EXPECT_EQ(a.state, 6);
    EXPECT_EQ(a.ready, 0);
    EXPECT_EQ(a.terminated, 1);
    EXPECT_EQ(a.assigned, 0);
    EXPECT_EQ(a.task, 0u);

    // A terminated slot id is never handed out again.
    EXPECT_EQ(spawn(0), "2A9E0102");

    // Reset and terminate again, twice over: live_count stops at 0.
    ASSERT_EQ(zel_agent_terminate("2A9E0100"), 0);
    ASSERT_EQ(zel_agent_terminate("2A9E0102"), 0);
    EXPECT_EQ(dir().live_count, 0u);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(zel_agent_control("2A9E0101", 4), 0);
        EXPECT_EQ(dir().live_count, 0u) << "a reset does not count as alive again";
        ASSERT_EQ(zel_agent_terminate("2A9E0101"), 0);
        EXPECT_EQ(dir().live_count, 0u);
    }
}

TEST_F(Agents, DelegateCodesAndEffects) {
    ASSERT_EQ(spawn(0), "2A9E0100");
    ASSERT_EQ(spawn(0), "2A9E0101");
    ASSERT_EQ(spawn(0), "2A9E0102");
    EXPECT_EQ(zel_agent_delegate("2A9E0199", "2A9E0100", 1), -2);
    EXPECT_EQ(zel_agent_delegate("2A9E0199", "2A9E0198", 1), -2) << "from is looked up first";
    EXPECT_EQ(zel_agent_delegate("2A9E0100", "2A9E0199", 1), -3);
    ASSERT_EQ(zel_agent_terminate("2A9E0102"), 0);
    EXPECT_EQ(zel_agent_delegate("2A9E0100", "2A9E0102", 1), -4);
    EXPECT_EQ(query("2A9E0102").task, 0u);

    dir().dirty = 0;
    ASSERT_EQ(zel_agent_delegate("2A9E0102", "2A9E0101", 0xFEDCBA9876543210ull), 0)
        << "a terminated agent may delegate";
    EXPECT_EQ(dir().dirty, 1u);
    zel_agent_t a = query("2A9E0101");
    EXPECT_EQ(a.state, 2);
    EXPECT_EQ(a.ready, 0);
    EXPECT_EQ(a.terminated, 0);
    EXPECT_EQ(a.assigned, 1);
    EXPECT_EQ(a.spare, 0);
    EXPECT_EQ(std::memcmp(a.parent, "2A9E0102", 8), 0);
    EXPECT_EQ(a.task, 0xFEDCBA9876543210ull);
    EXPECT_EQ(query("2A9E0102").state, 6) << "the delegating agent does not change";

    ASSERT_EQ(zel_agent_delegate("2A9E0101", "2A9E0101", 3), 0) << "to itself, replacing the task";
    EXPECT_EQ(query("2A9E0101").task, 3u);
    EXPECT_EQ(std::memcmp(query("2A9E0101").parent, "2A9E0101", 8), 0);
}

// Brings a fresh agent into `state` by the operations that enter it.
std::string agent_in_state(uint8_t state) {
    std::string id = spawn(3);
    switch (state) {
        case 0: break;
        case 1: EXPECT_EQ(zel_agent_control(id.c_str(), 4), 0); break;
        case 2: EXPECT_EQ(zel_agent_delegate(id.c_str(), id.c_str(), 0xAA), 0); break;
        case 3:
            EXPECT_EQ(zel_agent_delegate(id.c_str(), id.c_str(), 0xBB), 0);
            EXPECT_EQ(zel_agent_control(id.c_str(), 0), 0);
            break;
        case 4: EXPECT_EQ(zel_agent_control(id.c_str(), 3), 0); break;
        case 5: EXPECT_EQ(zel_agent_control(id.c_str(), 2), 0); break;
        case 6: EXPECT_EQ(zel_agent_terminate(id.c_str()), 0); break;
    }
    EXPECT_EQ(query(id).state, state);
    return id;
}

TEST_F(Agents, ControlFollowsTheTransitionTable) {
    for (uint8_t from = 0; from <= 6; ++from) {
        for (uint32_t code = 0; code <= 4; ++code) {
            SCOPED_TRACE("from state " + std::to_string(from) + ", code " + std::to_string(code));
            std::string id = agent_in_state(from);
            zel_agent_t before = query(id);
            uint32_t live = dir().live_count;
            dir().dirty = 0;
            ASSERT_EQ(zel_agent_control(id.c_str(), code), 0);
            EXPECT_EQ(dir().dirty, 1u) << "marked also when nothing changed";
            EXPECT_EQ(dir().live_count, live);

            zel_agent_t want = before;
            switch (code) {
                case 0: if (from == 2) want.state = 3; break;
                case 1: if (from == 3) want.state = 2; break;
                case 2: want.state = 5; want.task = 0; break;
                case 3: want.state = 4; want.task = 0; break;
                case 4:
                    want.state = 1;
                    want.ready = 1;
                    want.terminated = 0;
                    want.assigned = 0;
                    want.spare = 0;
                    want.task = 0;
                    break;
            }
            zel_agent_t got = query(id);
            EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0)
                << "state " << int(got.state) << " task " << got.task << " flags " << int(got.ready)
                << int(got.terminated) << int(got.assigned);
        }
    }
    // The id is looked up before the code is examined.
    ASSERT_EQ(spawn(0), "2A9E0100");
    dir().dirty = 0;
    EXPECT_EQ(zel_agent_control("2A9E0100", 5), -3);
    EXPECT_EQ(zel_agent_control("2A9E0100", 0xFFFFFFFFu), -3);
    EXPECT_EQ(zel_agent_control("2A9E01FF", 5), -2);
    EXPECT_EQ(dir().dirty, 0u) << "a refused control changes nothing";
    // Codes 2 and 3 take a terminated agent out of state 6 but keep its flags.
    std::string id = agent_in_state(6);
    ASSERT_EQ(zel_agent_control(id.c_str(), 2), 0);
    EXPECT_EQ(query(id).terminated, 1) << "codes 0 to 3 keep the flags";
    EXPECT_EQ(zel_agent_delegate(id.c_str(), id.c_str(), 1), 0) << "state 5 accepts a task";
}

TEST_F(Agents, MonitorMatchesPrefixesAndStars) {
    for (int i = 0; i < 3; ++i) ASSERT_EQ(spawn(0).size(), 8u);
    ASSERT_EQ(spawn(1), "2A9E0200");
    ASSERT_EQ(spawn(3), "2A9E1000");
    ASSERT_EQ(zel_agent_terminate("2A9E0101"), 0);
    using Ids = std::vector<std::string>;
    EXPECT_EQ(monitor("2A9E01", 10), (Ids{"2A9E0100", "2A9E0101", "2A9E0102"})) << "terminated ones too";
    EXPECT_EQ(monitor("2A*X", 10), (Ids{"2A9E0100", "2A9E0101", "2A9E0102", "2A9E0200", "2A9E1000"}));
    EXPECT_EQ(monitor("", 2), (Ids{"2A9E0100", "2A9E0101"}));
    EXPECT_EQ(monitor("*", 5).size(), 5u);
    EXPECT_EQ(monitor("2A9E?000", 10), Ids{}) << "'?' is no wildcard";
    EXPECT_EQ(monitor("2a9e", 10), Ids{}) << "case matters";
    EXPECT_EQ(monitor("2A9E1000", 10), (Ids{"2A9E1000"}));
    EXPECT_EQ(monitor("2A9E1000 and more", 10), (Ids{"2A9E1000"})) << "past the eighth character nothing counts";
    EXPECT_EQ(monitor("2A9E100", 10), (Ids{"2A9E1000"}));
    EXPECT_EQ(monitor("2A9E0*01", 10).size(), 4u) << "the star ends the comparison";
}

TEST_F(Agents, FullDirectoryAndWrappedSerialIds) {
    ASSERT_EQ(spawn(0), "2A9E0100");
    std::string last;
    for (uint32_t i = 1; i < 65536; ++i) {
        last = spawn(3);
        ASSERT_EQ(last.size(), 8u) << i;
    }
    // Serials 0x1000 .. 0x10FFE: after 0xFFFF they run on from 0000.
    EXPECT_EQ(last, "2A9E0FFE");
    EXPECT_EQ(dir().agent_count, 65536u);
    // 0x10100 repeated the tier-0 id: lookups find the newest, monitor lists both.
    EXPECT_EQ(query("2A9E0100").tier, 3);
    EXPECT_EQ(monitor("2A9E0100", 10).size(), 2u);

    uint32_t serial = dir().next_serial;
    char out[9] = "unused!";
    EXPECT_EQ(zel_agent_spawn(nullptr, 0, 0, 0, out), -2);
    EXPECT_STREQ(out, "unused!");
    EXPECT_EQ(dir().agent_count, 65536u);
    EXPECT_EQ(dir().live_count, 65536u);
    EXPECT_EQ(dir().next_serial, serial);
}

TEST_F(Agents, WholeLifeThroughAFile) {
    std::string path = tmp.file("life.zlag");
    ASSERT_EQ(zel_agent_dir_init(path.c_str()), 0);
    std::vector<std::string> ids;
    for (int i = 0; i < 30; ++i) ids.push_back(spawn(0, i == 0 ? nullptr : ids[0].c_str(), uint8_t(i % 5)));
    EXPECT_EQ(ids[27], "2A9E011B");
    EXPECT_EQ(ids[28], "2A9E1000");
    EXPECT_EQ(ids[29], "2A9E1001");

    ASSERT_EQ(zel_agent_terminate(ids[3].c_str()), 0);
    ASSERT_EQ(zel_agent_delegate(ids[0].c_str(), ids[1].c_str(), 0x0102030405060708ull), 0);
    ASSERT_EQ(zel_agent_delegate(ids[0].c_str(), ids[2].c_str(), 77), 0);
    ASSERT_EQ(zel_agent_control(ids[2].c_str(), 0), 0);  // 2 -> 3
    ASSERT_EQ(zel_agent_control(ids[2].c_str(), 1), 0);  // 3 -> 2
    ASSERT_EQ(zel_agent_control(ids[2].c_str(), 0), 0);  // 2 -> 3
    ASSERT_EQ(zel_agent_control(ids[4].c_str(), 3), 0);  // -> 4
    ASSERT_EQ(zel_agent_control(ids[5].c_str(), 2), 0);  // -> 5
    ASSERT_EQ(zel_agent_control(ids[3].c_str(), 4), 0);  // 6 -> 1
    EXPECT_EQ(monitor("2A9E01", 40).size(), 28u);
    EXPECT_EQ(monitor("2A9E1*", 40), (std::vector<std::string>{"2A9E1000", "2A9E1001"}));
    EXPECT_EQ(monitor("*", 40).size(), 30u);

    ASSERT_EQ(zel_agent_dir_sync(), 0);
    std::vector<unsigned char> bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 24u + 30u * 40u);
    const unsigned char header[16] = {'Z', 'L', 'A', 'G', 1, 0, 0, 0, 30, 0, 0, 0, 29, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.data(), header, 16), 0);
    // Slot 1: "2A9E0101", parent "2A9E0100", kind 1, state 2, ready 0,
    // terminated 0, assigned 1, spare 0, tag 0, tier 0, reserved 0, task.
    const unsigned char slot1[40] = {'2', 'A', '9', 'E', '0', '1', '0', '1', '2', 'A', '9', 'E', '0', '1',
                                     '0', '0', 1, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(bytes.data() + 24 + 40, slot1, 40), 0);
    // Slot 3, reset after its termination: state 1, ready 1, flags 0.
    EXPECT_EQ(bytes[24 + 3 * 40 + 17], 1);
    EXPECT_EQ(bytes[24 + 3 * 40 + 18], 1);
    EXPECT_EQ(bytes[24 + 3 * 40 + 19], 0);
    std::vector<zel_agent_t> before(dir().agents, dir().agents + 30);

    // Into a fresh directory.
    zel_agent_dir_free();
    ASSERT_EQ(zel_agent_dir_load(path.c_str()), 0);
    EXPECT_EQ(dir().agent_count, 30u);
    EXPECT_EQ(dir().live_count, 29u);
    EXPECT_EQ(dir().dirty, 0u);
    for (int i = 0; i < 30; ++i) {
        zel_agent_t a = query(ids[i]);
        EXPECT_EQ(std::memcmp(&a, &before[i], sizeof a), 0) << ids[i];
    }
    // Tier slots stay taken; serials start again and shadow the loaded one.
    EXPECT_EQ(spawn(0, nullptr, 4), "2A9E1000");
    EXPECT_EQ(query("2A9E1000").kind, 4);
    EXPECT_EQ(monitor("2A9E1000", 40).size(), 2u);
    ASSERT_EQ(zel_agent_terminate("2A9E1000"), 0);
    EXPECT_EQ(dir().agents[28].state, 0) << "the shadowed record is untouched";
    EXPECT_EQ(dir().agents[30].state, 6);
}

}  // namespace
