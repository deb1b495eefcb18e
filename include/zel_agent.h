/* The agent directory: one process-wide table of up to 65,536 agents per
 * library, with ids, states and tasks, kept in a file of its own ("ZLAG").
 *
 * Each library (zelset, zelset_next) holds its own directory; nothing crosses
 * between them, but both read and write the same file format. The functions
 * take no lock: the host serialises every call into them.
 *
 * Ids are 8 characters. An id given to a function ends at its first NUL or
 * after 8 characters, whichever comes first, and is compared NUL-padded to 8
 * bytes with the record's id. Ids handed out (spawn, monitor) are the 8
 * characters followed by a NUL, 9 bytes. Ids made by spawn are "2A9E" and four
 * upper-case hexadecimal digits: tier slots "2A9E" + (tier + 1) + slot for
 * tiers 0 to 2 and slots 00 to 1B, otherwise serial ids from "2A9E1000"
 * counting on in 16 bits.
 *
 * File (little-endian, packed): "ZLAG", version u32, agent_count u32,
 * live_count u32, saved_at i64 (seconds since 1970-01-01 UTC), then
 * agent_count records of 40 bytes laid out as zel_agent_t. */
#ifndef ZEL_AGENT_H
#define ZEL_AGENT_H

#include "zel_api.h"
#include "zel_unit.h"

ZEL_EXTERN_C_BEGIN

/* Agent slots of a directory, and entries of its id index. */
#define ZEL_AGENT_SLOTS 65536u
/* Longest path a directory keeps as its own (without the terminating NUL). */
#define ZEL_AGENT_PATH_MAX 255u

/* Agent states are 0 to 6: 0 after spawn, 1 after a reset (control code 4),
 * 2 after delegate or control 1 from state 3, 3 after control 0 from state 2,
 * 4 after control 3, 5 after control 2, and ZEL_AGENT_TERMINATED. */
#define ZEL_AGENT_TERMINATED 6u

/* One agent, 40 bytes, identical in memory and in the file. */
typedef struct zel_agent_t {
    char id[8];         /* no terminator */
    char parent[8];     /* creator or last delegating agent; "2A9E0000" when spawned without one */
    uint8_t kind;       /* given at spawn; kinds 0 to 3 are counted by zel_agent_dir_stats */
    uint8_t state;      /* 0 .. ZEL_AGENT_TERMINATED, see above */
    uint8_t ready;      /* 1 after spawn and reset, 0 after delegate and terminate */
    uint8_t terminated; /* 1 after terminate, 0 after spawn, delegate and reset */
    uint8_t assigned;   /* 1 after delegate, 0 after spawn, terminate and reset */
    uint8_t spare;      /* written 0, read by nothing */
    uint8_t tag;        /* given at spawn, read by nothing */
    uint8_t tier;       /* given at spawn; tiers 0 to 2 get slot ids */
    uint64_t reserved;  /* written by nothing, kept through save and load */
    uint64_t task;      /* set by delegate, cleared by terminate and control 2, 3, 4 */
} zel_agent_t;

/* The directory. Its first four fields are the file header's first 16 bytes. */
typedef struct zel_agent_dir_t {
    char magic[4];         /* "ZLAG" */
    uint32_t version;      /* 1 at creation, else the last loaded file's */
    uint32_t agent_count;  /* slots in use, 0 .. agent_count - 1 */
    uint32_t live_count;   /* agents not terminated */
    int64_t saved_at;      /* time of the last save, or of the last loaded file; 0 at creation */
    zel_agent_t* agents;   /* ZEL_AGENT_SLOTS records */
    zel_hash_index_t* index; /* id index: ZEL_AGENT_SLOTS entries holding agent slots */
    uint32_t next_serial;  /* next serial id, 4096 at creation; not saved */
    char path[256];        /* the directory's own file, NUL-terminated; empty for none */
    uint32_t dirty;        /* 1 after a change not yet saved */
} zel_agent_dir_t;

ZEL_LAYOUT_CHECK(agent_size, sizeof(zel_agent_t) == 40);
ZEL_LAYOUT_CHECK(agent_parent, offsetof(zel_agent_t, parent) == 8);
ZEL_LAYOUT_CHECK(agent_kind, offsetof(zel_agent_t, kind) == 16);
ZEL_LAYOUT_CHECK(agent_state, offsetof(zel_agent_t, state) == 17);
ZEL_LAYOUT_CHECK(agent_ready, offsetof(zel_agent_t, ready) == 18);
ZEL_LAYOUT_CHECK(agent_terminated, offsetof(zel_agent_t, terminated) == 19);
ZEL_LAYOUT_CHECK(agent_assigned, offsetof(zel_agent_t, assigned) == 20);
ZEL_LAYOUT_CHECK(agent_spare, offsetof(zel_agent_t, spare) == 21);
ZEL_LAYOUT_CHECK(agent_tag, offsetof(zel_agent_t, tag) == 22);
ZEL_LAYOUT_CHECK(agent_tier, offsetof(zel_agent_t, tier) == 23);
ZEL_LAYOUT_CHECK(agent_reserved, offsetof(zel_agent_t, reserved) == 24);
ZEL_LAYOUT_CHECK(agent_task, offsetof(zel_agent_t, task) == 32);
ZEL_LAYOUT_CHECK(agent_dir_size, sizeof(zel_agent_dir_t) == 304);
ZEL_LAYOUT_CHECK(agent_dir_version, offsetof(zel_agent_dir_t, version) == 4);
ZEL_LAYOUT_CHECK(agent_dir_agent_count, offsetof(zel_agent_dir_t, agent_count) == 8);
ZEL_LAYOUT_CHECK(agent_dir_live_count, offsetof(zel_agent_dir_t, live_count) == 12);
ZEL_LAYOUT_CHECK(agent_dir_saved_at, offsetof(zel_agent_dir_t, saved_at) == 16);
ZEL_LAYOUT_CHECK(agent_dir_agents, offsetof(zel_agent_dir_t, agents) == 24);
ZEL_LAYOUT_CHECK(agent_dir_index, offsetof(zel_agent_dir_t, index) == 32);
ZEL_LAYOUT_CHECK(agent_dir_next_serial, offsetof(zel_agent_dir_t, next_serial) == 40);
ZEL_LAYOUT_CHECK(agent_dir_path, offsetof(zel_agent_dir_t, path) == 44);
ZEL_LAYOUT_CHECK(agent_dir_dirty, offsetof(zel_agent_dir_t, dirty) == 300);

/* ---- The directory ---- */

/* Creates the directory, with path (may be null) as its own file. When a
 * directory exists already, returns 0 and leaves it unchanged, path included.
 * 0; -1 the directory record cannot be allocated; -2 the agent table or the
 * index cannot be allocated; -3 path is longer than ZEL_AGENT_PATH_MAX
 * characters (checked only when no directory exists yet). On failure nothing
 * is left allocated and no directory exists. */
ZEL_API int32_t zel_agent_dir_init(const char* path);

/* Reads a directory file, first creating the directory with path as its own
 * file if none exists. The records present in the file replace slots 0, 1, ...
 * (at most the header's count and ZEL_AGENT_SLOTS, and only whole records);
 * agent_count becomes the number of records read and the id index is rebuilt
 * over them. live_count is the header's, but never more than agent_count; when
 * the file holds fewer records than its header says, it is the number of
 * loaded agents not terminated. The version is taken unchecked; saved_at is 0
 * when the file ends inside it. The directory's path becomes path and it is
 * clean afterwards; the serial counter is kept.
 * 0; -1 the directory had to be created and could not be; -2 the file cannot
 * be opened for reading (a directory created by this call stays); -3 fewer
 * than 16 header bytes; -4 the magic is not "ZLAG"; -5 path is longer than
 * ZEL_AGENT_PATH_MAX characters (nothing created or changed). On -2 to -5 an
 * existing directory keeps its contents. */
ZEL_API int32_t zel_agent_dir_load(const char* path);

/* Writes the directory to path, or to its own path when path is null. The
 * file is written to path + ".tmp", flushed to the disk and then put in place
 * of path in one step, so that path always holds either the old or the new
 * file whole. An explicit path may be of any length the system's runtime
 * opens, and does not change the directory's own path. On success the directory is clean and saved_at holds
 * the time written at offset 16.
 * 0; -1 no directory; -2 the chosen path is empty; -3 the temporary
 * file cannot be created (or there is no memory to prepare it); -4 writing, flushing or replacing failed (the
 * temporary file is removed, path is left as it was and the directory keeps
 * its dirty mark). */
ZEL_API int32_t zel_agent_dir_save(const char* path);

/* Saves a dirty directory to its own path. 0 when there is no directory or
 * nothing to save, else the result of zel_agent_dir_save (-2 for a directory
 * without a path). */
ZEL_API int32_t zel_agent_dir_sync(void);

/* total and live (each may be null) receive agent_count and live_count, or 0
 * without a directory. by_kind (may be null) points to four counters that
 * receive the number of agents of kind 0, 1, 2 and 3, terminated ones
 * included; without a directory they are left untouched. */
ZEL_API void zel_agent_dir_stats(uint32_t* total, uint32_t* live, uint32_t* by_kind);

/* Saves a dirty directory to its own path (a failed save is not reported and
 * its changes are lost), then releases the directory. Nothing without one. */
ZEL_API void zel_agent_dir_free(void);

/* ---- Agents ---- */

/* Creates an agent in the next slot, creating a directory without a path
 * first if none exists, and writes its id (9 bytes) to out_id. Tiers 0 to 2
 * take the first of their 28 slot ids that no agent holds, else (and for
 * other tiers) the next serial id. parent (may be null for "2A9E0000") is
 * copied as given, not looked up. The new agent is in state 0, ready, with
 * task 0. A slot id stays taken while the directory lives, also after its
 * agent is terminated.
 * 0; -1 out_id is null, or the directory had to be created and could not be;
 * -2 the directory holds ZEL_AGENT_SLOTS agents. */
ZEL_API int32_t zel_agent_spawn(const char* parent, uint8_t kind, uint8_t tier, uint8_t tag,
                                char* out_id);

/* Moves an agent to ZEL_AGENT_TERMINATED: not ready, not assigned, task 0,
 * one fewer live agent (never below 0). It keeps its slot and id.
 * 0; -1 no directory or null id; -2 unknown id; -3 already terminated. */
ZEL_API int32_t zel_agent_terminate(const char* id);

/* Gives agent to_id the task on behalf of from_id: state 2,
 * not ready, not terminated, assigned, parent from_id, task replaced. from_id
 * is only looked up (it may be terminated, or to_id itself).
 * 0; -1 no directory or a null id; -2 from_id unknown; -3 to_id unknown;
 * -4 to_id is terminated. */
ZEL_API int32_t zel_agent_delegate(const char* from_id, const char* to_id, uint64_t task);

/* Copies the agent's record into out.
 * 0; -1 no directory, null id or null out; -2 unknown id. */
ZEL_API int32_t zel_agent_query(const char* id, zel_agent_t* out);

/* Applies a control code to an agent in any state, terminated ones included:
 * code 0 moves state 2 to 3, code 1 state 3 to 2 (other states stay), code 2
 * sets state 5 and code 3 state 4, both with task 0, and code 4 resets: state
 * 1, ready, not terminated, not assigned, task 0. live_count never changes.
 * The directory is marked dirty even when the state stays.
 * 0; -1 no directory or null id; -2 unknown id (checked before the code);
 * -3 code above 4. */
ZEL_API int32_t zel_agent_control(const char* id, uint32_t code);

/* Writes the ids that match pattern, in slot order, to out as 9-byte entries
 * (8 characters and a NUL), at most max of them, and returns their number.
 * Characters are compared one by one over at most 8 positions; the pattern's
 * end or a "*" matches any rest, so "2A9E01" lists the tier-0 agents and ""
 * lists all. 0 without a directory or for a null pattern or out, or max <= 0. */
ZEL_API int32_t zel_agent_monitor(const char* pattern, char* out, int32_t max);

ZEL_EXTERN_C_END

#endif /* ZEL_AGENT_H */
