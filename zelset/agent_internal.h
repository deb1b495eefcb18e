// Pieces of the agent directory shared by the directory, its file and the
// agent operations: the one global, ids, the id index and the file records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "table_sizes.h"
#include "zel_agent.h"

namespace zel {

// The process-wide directory of this library, null while none exists. Each
// library compiles its own copy, hidden from the other.
extern zel_agent_dir_t* g_agent_dir;

inline constexpr std::size_t kAgentPathMax = ZEL_AGENT_PATH_MAX;
inline constexpr std::size_t kAgentHeaderBytes = 24;
inline constexpr std::size_t kAgentRecordBytes = 40;
inline constexpr std::uint32_t kFirstSerial = 0x1000;

// An id as the directory compares it: the characters up to the first NUL or
// the eighth, NUL-padded to 8 bytes.
struct AgentId {
    char bytes[8];
};

// Reads an id without looking past its NUL or its eighth character.
AgentId read_agent_id(const char* text);

// True when path (may be null) fits the directory's own path without cutting.
bool agent_path_fits(const char* path);

// Creates g_agent_dir (path may be null; the caller has checked its length).
// 0, -1 record allocation, -2 agent table or index allocation (nothing kept).
int agent_dir_create(const char* path);

// Slot of the newest agent indexed under exactly this id, or ZEL_NONE.
std::uint32_t agent_dir_find(const zel_agent_dir_t& dir, const AgentId& id);

// Indexes slot under its record's id; skipped once the index is full.
void agent_dir_index_slot(zel_agent_dir_t& dir, std::uint32_t slot);

// Indexes slots 0 .. count - 1 in order (after a load).
void agent_dir_index_slots(zel_agent_dir_t& dir, std::uint32_t count);

// Removes every entry from the id index. Each entry's bucket is recomputed
// from its slot's id, which never changes while the entry exists.
void agent_dir_clear_index(zel_agent_dir_t& dir);

// zel_agent_dir_save of g_agent_dir, bound inside this library.
int agent_dir_save(const char* path);

// Record layout in the file, field by field.
void encode_agent(const zel_agent_t& agent, unsigned char* out);
void decode_agent(const unsigned char* in, zel_agent_t& agent);

// Bytes of the file of dir: the header and agent_count records.
std::size_t agent_file_size(const zel_agent_dir_t& dir);

// The whole file of dir with saved_at as the time of the save, in one block
// of agent_file_size bytes (released with free), or null without memory.
unsigned char* encode_agent_file(const zel_agent_dir_t& dir, std::int64_t saved_at);

}  // namespace zel
