// The directory's life (creation, statistics, release) and its id index.
#include <cstdlib>
#include <cstring>

#include "agent_internal.h"
#include "common/alloc.h"
#include "hash_index.h"

namespace zel {

zel_agent_dir_t* g_agent_dir = nullptr;

AgentId read_agent_id(const char* text) {
    AgentId id{};
    for (int i = 0; i < 8 && text[i] != '\0'; ++i) id.bytes[i] = text[i];
    return id;
}

bool agent_path_fits(const char* path) { return !path || std::strlen(path) <= kAgentPathMax; }

namespace {

std::uint32_t bucket_of_slot(const zel_agent_dir_t& dir, std::uint32_t slot) {
    // zel_hex_hash reads at most 8 characters: the record's id needs no NUL.
    return zel_hex_hash(dir.agents[slot].id);
}

void destroy_directory(zel_agent_dir_t* dir) {
    std::free(dir->agents);
    hash_index_destroy(dir->index);
    std::free(dir);
}

}  // namespace

int agent_dir_create(const char* path) {
    auto* dir = alloc_zeroed_array<zel_agent_dir_t>(1);
    if (!dir) return -1;
    std::memcpy(dir->magic, "ZLAG", 4);
    dir->version = 1;
    dir->agents = alloc_zeroed_array<zel_agent_t>(kAgentSlots);
    // Without a table the 32 MiB index would only be released again.
    dir->index = dir->agents ? hash_index_create(kAgentSlots, 0) : nullptr;
    if (!dir->index) {
        destroy_directory(dir);
        return -2;
    }
    dir->next_serial = kFirstSerial;
    if (path) std::memcpy(dir->path, path, std::strlen(path) + 1);
    g_agent_dir = dir;
    return 0;
}

std::uint32_t agent_dir_find(const zel_agent_dir_t& dir, const AgentId& id) {
    return hash_index_find(dir.index, zel_hex_hash(id.bytes), [&](std::uint32_t slot) {
        return slot < dir.agent_count && std::memcmp(dir.agents[slot].id, id.bytes, 8) == 0;
    });
}

void agent_dir_index_slot(zel_agent_dir_t& dir, std::uint32_t slot) {
    hash_index_insert(dir.index, bucket_of_slot(dir, slot), slot, kAgentSlots);
}

void agent_dir_index_slots(zel_agent_dir_t& dir, std::uint32_t count) {
    for (std::uint32_t slot = 0; slot < count; ++slot) agent_dir_index_slot(dir, slot);
}

void agent_dir_clear_index(zel_agent_dir_t& dir) {
    zel_hash_index_t& index = *dir.index;
    for (std::uint32_t e = 0; e < index.entry_count; ++e) {
        index.buckets[bucket_of_slot(dir, index.entries[e].token_index)] = ZEL_NONE;
    }
    index.entry_count = 0;
}

}  // namespace zel

extern "C" {

ZEL_API int32_t zel_agent_dir_init(const char* path) {
    if (zel::g_agent_dir) return 0;
    if (!zel::agent_path_fits(path)) return -3;
    return zel::agent_dir_create(path);
}

ZEL_API void zel_agent_dir_stats(uint32_t* total, uint32_t* live, uint32_t* by_kind) {
    const zel_agent_dir_t* dir = zel::g_agent_dir;
    if (total) *total = dir ? dir->agent_count : 0;
    if (live) *live = dir ? dir->live_count : 0;
    if (!dir || !by_kind) return;
    for (int k = 0; k < 4; ++k) by_kind[k] = 0;
    for (uint32_t slot = 0; slot < dir->agent_count; ++slot) {
        uint8_t kind = dir->agents[slot].kind;
        if (kind < 4) ++by_kind[kind];
    }
}

ZEL_API void zel_agent_dir_free(void) {
    zel_agent_dir_t* dir = zel::g_agent_dir;
    if (!dir) return;
    // Unsaved changes are lost when this save fails; nothing reports it.
    if (dir->dirty) zel::agent_dir_save(nullptr);
    zel::g_agent_dir = nullptr;
    zel::destroy_directory(dir);
}

}  // extern "C"
