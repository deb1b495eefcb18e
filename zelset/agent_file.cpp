// The directory file: its records, loading, and the save that replaces the
// file in one step through a temporary file.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "agent_internal.h"
#include "common/alloc.h"
#include "common/file_io.h"
#include "platform/platform.h"

namespace zel {

namespace {

// Records go through the stream in batches of this many.
constexpr std::size_t kBatchRecords = 256;

void encode_header(const zel_agent_dir_t& dir, std::int64_t saved_at, unsigned char* out) {
    std::memcpy(out, dir.magic, 4);
    store_u32(out + 4, dir.version);
    store_u32(out + 8, dir.agent_count);
    store_u32(out + 12, dir.live_count);
    store_u64(out + 16, static_cast<std::uint64_t>(saved_at));
}

// Reads up to `wanted` records into slots 0, 1, ... and returns how many came
// whole.
std::uint32_t read_records(std::FILE* f, zel_agent_t* agents, std::uint32_t wanted) {
    unsigned char batch[kBatchRecords * kAgentRecordBytes];
    std::uint32_t done = 0;
    while (done < wanted) {
        std::size_t ask = std::min<std::size_t>(kBatchRecords, wanted - done);
        std::size_t got = std::fread(batch, 1, ask * kAgentRecordBytes, f) / kAgentRecordBytes;
        for (std::size_t i = 0; i < got; ++i) decode_agent(batch + i * kAgentRecordBytes, agents[done + i]);
        done += static_cast<std::uint32_t>(got);
        if (got < ask) break;
    }
    return done;
}

std::uint32_t count_not_terminated(const zel_agent_t* agents, std::uint32_t count) {
    std::uint32_t live = 0;
    for (std::uint32_t i = 0; i < count; ++i) live += agents[i].terminated == 0;
    return live;
}

// "<target>.tmp", allocated to fit; null when the allocation fails.
char* temporary_name(const char* target) {
    std::size_t length = std::strlen(target);
    auto* name = alloc_array<char>(length + 5);
    if (!name) return nullptr;
    std::memcpy(name, target, length);
    std::memcpy(name + length, ".tmp", 5);
    return name;
}

// Writes the temporary file and puts it in place of target. 0, -3 the
// temporary file cannot be created, -4 a later step failed (the temporary
// file is gone and target untouched).
int write_and_replace(const zel_agent_dir_t& dir, const char* target, std::int64_t saved_at) {
    char* tmp = temporary_name(target);
    if (!tmp) return -3;
    int rc = -3;
    {
        File out(tmp, "wb");
        if (out) {
            bool written = write_agent_file(out.get(), dir, saved_at) && flush_to_disk(out.get()) == 0;
            bool closed = out.close();
            rc = written && closed && replace_file(tmp, target) == 0 ? 0 : -4;
            if (rc != 0) std::remove(tmp);
        }
    }
    std::free(tmp);
    return rc;
}

}  // namespace

void encode_agent(const zel_agent_t& a, unsigned char* out) {
    std::memcpy(out, a.id, 8);
    std::memcpy(out + 8, a.parent, 8);
    out[16] = a.kind;
    out[17] = a.state;
    out[18] = a.ready;
    out[19] = a.terminated;
    out[20] = a.assigned;
    out[21] = a.spare;
    out[22] = a.tag;
    out[23] = a.tier;
    store_u64(out + 24, a.reserved);
    store_u64(out + 32, a.task);
}

void decode_agent(const unsigned char* in, zel_agent_t& a) {
    std::memcpy(a.id, in, 8);
    std::memcpy(a.parent, in + 8, 8);
    a.kind = in[16];
    a.state = in[17];
    a.ready = in[18];
    a.terminated = in[19];
    a.assigned = in[20];
    a.spare = in[21];
    a.tag = in[22];
    a.tier = in[23];
    a.reserved = load_u64(in + 24);
    a.task = load_u64(in + 32);
}

bool write_agent_file(std::FILE* f, const zel_agent_dir_t& dir, std::int64_t saved_at) {
    unsigned char header[kAgentHeaderBytes];
    encode_header(dir, saved_at, header);
    if (!write_exact(f, header, sizeof header)) return false;
    unsigned char batch[kBatchRecords * kAgentRecordBytes];
    for (std::uint32_t first = 0; first < dir.agent_count; first += kBatchRecords) {
        std::size_t n = std::min<std::size_t>(kBatchRecords, dir.agent_count - first);
        for (std::size_t i = 0; i < n; ++i) encode_agent(dir.agents[first + i], batch + i * kAgentRecordBytes);
        if (!write_exact(f, batch, n * kAgentRecordBytes)) return false;
    }
    return true;
}

int agent_dir_save(const char* path) {
    zel_agent_dir_t* dir = g_agent_dir;
    if (!dir) return -1;
    const char* target = path ? path : dir->path;
    if (target[0] == '\0') return -2;
    std::int64_t now = time_now();
    int rc = write_and_replace(*dir, target, now);
    if (rc != 0) return rc;
    dir->dirty = 0;
    dir->saved_at = now;
    return 0;
}

}  // namespace zel

extern "C" {

ZEL_API int32_t zel_agent_dir_load(const char* path) {
    if (!zel::agent_path_fits(path)) return -5;
    if (!zel::g_agent_dir && zel::agent_dir_create(path) != 0) return -1;
    zel_agent_dir_t& dir = *zel::g_agent_dir;

    zel::File in(path, "rb");
    if (!in) return -2;
    unsigned char header[zel::kAgentHeaderBytes];
    std::size_t got = std::fread(header, 1, sizeof header, in.get());
    if (got < 16) return -3;
    if (std::memcmp(header, "ZLAG", 4) != 0) return -4;

    std::uint32_t claimed = zel::load_u32(header + 8);
    std::uint32_t claimed_live = zel::load_u32(header + 12);
    // A file that ends inside saved_at holds no records either.
    bool whole_header = got == sizeof header;
    std::uint32_t wanted = whole_header ? std::min(claimed, zel::kAgentSlots) : 0;

    // Clear the index while the slots still hold the ids it was built from.
    zel::agent_dir_clear_index(dir);
    std::uint32_t old_count = dir.agent_count;
    std::uint32_t loaded = zel::read_records(in.get(), dir.agents, wanted);
    for (std::uint32_t slot = 0; slot < loaded; ++slot) zel::agent_dir_index_slot(dir, slot);
    // Slots past the file's records start fresh for the next spawn.
    if (old_count > loaded) std::memset(dir.agents + loaded, 0, (old_count - loaded) * sizeof(zel_agent_t));

    dir.version = zel::load_u32(header + 4);
    dir.agent_count = loaded;
    dir.live_count = loaded == claimed ? std::min(claimed_live, loaded)
                                       : zel::count_not_terminated(dir.agents, loaded);
    dir.saved_at = whole_header ? static_cast<std::int64_t>(zel::load_u64(header + 16)) : 0;
    if (path) std::memcpy(dir.path, path, std::strlen(path) + 1);
    dir.dirty = 0;
    return 0;
}

ZEL_API int32_t zel_agent_dir_save(const char* path) { return zel::agent_dir_save(path); }

ZEL_API int32_t zel_agent_dir_sync(void) {
    const zel_agent_dir_t* dir = zel::g_agent_dir;
    if (!dir || !dir->dirty) return 0;
    return zel::agent_dir_save(nullptr);
}

}  // extern "C"
