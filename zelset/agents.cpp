// Operations on single agents: spawn, terminate, delegate, query, control and
// monitor. None of them saves the directory; every change marks it dirty.
#include <cstring>

#include "agent_internal.h"

namespace zel {

namespace {

constexpr std::uint8_t kStateSpawned = 0;
constexpr std::uint8_t kStateReset = 1;
constexpr std::uint8_t kStateDelegated = 2;
// States 3 to 5 are named by the control code that enters them.
constexpr std::uint8_t kStateControl0 = 3;  // from kStateDelegated only
constexpr std::uint8_t kStateControl3 = 4;
constexpr std::uint8_t kStateControl2 = 5;
constexpr std::uint8_t kStateTerminated = ZEL_AGENT_TERMINATED;

constexpr std::uint8_t kTierSlots = 28;
constexpr AgentId kNoParent = {{'2', 'A', '9', 'E', '0', '0', '0', '0'}};

// "2A9E" followed by hi and lo as two upper-case hexadecimal digits each.
AgentId spawned_id(std::uint8_t hi, std::uint8_t lo) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return AgentId{{'2', 'A', '9', 'E', kDigits[hi >> 4], kDigits[hi & 15], kDigits[lo >> 4], kDigits[lo & 15]}};
}

AgentId choose_id(zel_agent_dir_t& dir, std::uint8_t tier) {
    if (tier <= 2) {
        for (std::uint8_t slot = 0; slot < kTierSlots; ++slot) {
            AgentId candidate = spawned_id(static_cast<std::uint8_t>(tier + 1), slot);
            if (agent_dir_find(dir, candidate) == ZEL_NONE) return candidate;
        }
    }
    std::uint32_t n = dir.next_serial++;
    return spawned_id(static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n));
}

// The agent named by id in g_agent_dir, or null.
zel_agent_t* find_agent(const char* id) {
    zel_agent_dir_t& dir = *g_agent_dir;
    std::uint32_t slot = agent_dir_find(dir, read_agent_id(id));
    return slot == ZEL_NONE ? nullptr : &dir.agents[slot];
}

void set_flags(zel_agent_t& a, std::uint8_t ready, std::uint8_t terminated, std::uint8_t assigned) {
    a.ready = ready;
    a.terminated = terminated;
    a.assigned = assigned;
    a.spare = 0;
}

// Compares at most 8 positions; the pattern's end or a '*' matches any rest.
bool id_matches(const char* id, const char* pattern) {
    for (int p = 0; p < 8; ++p) {
        if (pattern[p] == '\0' || pattern[p] == '*') return true;
        if (pattern[p] != id[p]) return false;
    }
    return true;
}

}  // namespace

}  // namespace zel

extern "C" {

ZEL_API int32_t zel_agent_spawn(const char* parent, uint8_t kind, uint8_t tier, uint8_t tag, char* out_id) {
    if (!out_id) return -1;
    if (!zel::g_agent_dir && zel::agent_dir_create(nullptr) != 0) return -1;
    zel_agent_dir_t& dir = *zel::g_agent_dir;
    if (dir.agent_count >= zel::kAgentSlots) return -2;

    zel::AgentId id = zel::choose_id(dir, tier);
    std::memcpy(out_id, id.bytes, 8);
    out_id[8] = '\0';

    std::uint32_t slot = dir.agent_count;
    zel_agent_t& a = dir.agents[slot];
    std::memcpy(a.id, id.bytes, 8);
    std::memcpy(a.parent, (parent ? zel::read_agent_id(parent) : zel::kNoParent).bytes, 8);
    a.kind = kind;
    a.state = zel::kStateSpawned;
    zel::set_flags(a, 1, 0, 0);
    a.tag = tag;
    a.tier = tier;
    a.task = 0;  // reserved stays as the slot holds it
    // The slot counts before it is indexed, so lookups accept it.
    dir.agent_count = slot + 1;
    zel::agent_dir_index_slot(dir, slot);
    ++dir.live_count;
    dir.dirty = 1;
    return 0;
}

ZEL_API int32_t zel_agent_terminate(const char* id) {
    if (!zel::g_agent_dir || !id) return -1;
    zel_agent_t* a = zel::find_agent(id);
    if (!a) return -2;
    if (a->state == zel::kStateTerminated) return -3;
    a->state = zel::kStateTerminated;
    zel::set_flags(*a, 0, 1, 0);
    a->task = 0;
    // A reset agent can be terminated again: the count stops at 0.
    if (zel::g_agent_dir->live_count > 0) --zel::g_agent_dir->live_count;
    zel::g_agent_dir->dirty = 1;
    return 0;
}

ZEL_API int32_t zel_agent_delegate(const char* from_id, const char* to_id, uint64_t task) {
    if (!zel::g_agent_dir || !from_id || !to_id) return -1;
    if (!zel::find_agent(from_id)) return -2;
    zel_agent_t* to = zel::find_agent(to_id);
    if (!to) return -3;
    if (to->state == zel::kStateTerminated) return -4;
    to->state = zel::kStateDelegated;
    zel::set_flags(*to, 0, 0, 1);
    std::memcpy(to->parent, zel::read_agent_id(from_id).bytes, 8);
    to->task = task;
    zel::g_agent_dir->dirty = 1;
    return 0;
}

ZEL_API int32_t zel_agent_query(const char* id, zel_agent_t* out) {
    if (!zel::g_agent_dir || !id || !out) return -1;
    const zel_agent_t* a = zel::find_agent(id);
    if (!a) return -2;
    *out = *a;
    return 0;
}

ZEL_API int32_t zel_agent_control(const char* id, uint32_t code) {
    if (!zel::g_agent_dir || !id) return -1;
    zel_agent_t* a = zel::find_agent(id);
    if (!a) return -2;
    switch (code) {
        case 0:
            if (a->state == zel::kStateDelegated) a->state = zel::kStateControl0;
            break;
        case 1:
            if (a->state == zel::kStateControl0) a->state = zel::kStateDelegated;
            break;
        case 2:
            a->state = zel::kStateControl2;
            a->task = 0;
            break;
        case 3:
            a->state = zel::kStateControl3;
            a->task = 0;
            break;
        case 4:
            a->state = zel::kStateReset;
            zel::set_flags(*a, 1, 0, 0);
            a->task = 0;
            break;
        default:
            return -3;
    }
    zel::g_agent_dir->dirty = 1;
    return 0;
}

ZEL_API int32_t zel_agent_monitor(const char* pattern, char* out, int32_t max) {
    const zel_agent_dir_t* dir = zel::g_agent_dir;
    if (!pattern || !out || !dir || max <= 0) return 0;
    int32_t written = 0;
    for (uint32_t slot = 0; slot < dir->agent_count && written < max; ++slot) {
        const char* id = dir->agents[slot].id;
        if (!zel::id_matches(id, pattern)) continue;
        char* entry = out + 9 * static_cast<std::size_t>(written);
        std::memcpy(entry, id, 8);
        entry[8] = '\0';
        ++written;
    }
    return written;
}

}  // extern "C"
