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

// Reads up to `wanted` records into slots 0, 1, ... and returns how many came
// whole. The raw bytes land in the table first and are then decoded in place,
// so the whole read is one request. Bytes of a partial last record are
// cleared.
std::uint32_t read_records(std::FILE* f, zel_agent_t* agents, std::uint32_t wanted) {
    auto* raw = reinterpret_cast<unsigned char*>(agents);
    std::size_t bytes = std::fread(raw, 1, std::size_t{wanted} * kAgentRecordBytes, f);
    auto whole = static_cast<std::uint32_t>(bytes / kAgentRecordBytes);
    for (std::uint32_t i = 0; i < whole; ++i) {
        unsigned char record[kAgentRecordBytes];
        std::memcpy(record, raw + std::size_t{i} * kAgentRecordBytes, sizeof record);
        decode_agent(record, agents[i]);
    }
    if (bytes % kAgentRecordBytes != 0) agents[whole] = zel_agent_t{};
    return whole;
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

// Writes the image to the temporary file, flushes it to the disk and puts it
// in place of target. 0; -3 the temporary file cannot be created; -4 a later
// step failed (the temporary file is gone and target untouched).
int write_and_replace(const unsigned char* image, std::size_t size, const char* target) {
    char* tmp = temporary_name(target);
    if (!tmp) return -3;
    int rc = -3;
    {
        File out(tmp, "wb");
        if (out) {
            bool written = write_exact(out.get(), image, size) && flush_to_disk(out.get()) == 0;
            bool closed = out.close();
            rc = written && closed && replace_file(tmp, target) == 0 ? 0 : -4;
            if (rc != 0) remove_file(tmp);
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

std::size_t agent_file_size(const zel_agent_dir_t& dir) {
    return kAgentHeaderBytes + std::size_t{dir.agent_count} * kAgentRecordBytes;
}

unsigned char* encode_agent_file(const zel_agent_dir_t& dir, std::int64_t saved_at) {
    auto* image = alloc_array<unsigned char>(agent_file_size(dir));
    if (!image) return nullptr;
    std::memcpy(image, dir.magic, 4);
    store_u32(image + 4, dir.version);
    store_u32(image + 8, dir.agent_count);
    store_u32(image + 12, dir.live_count);
    store_u64(image + 16, static_cast<std::uint64_t>(saved_at));
    unsigned char* out = image + kAgentHeaderBytes;
    for (std::uint32_t slot = 0; slot < dir.agent_count; ++slot, out += kAgentRecordBytes) {
        encode_agent(dir.agents[slot], out);
    }
    return image;
}

int agent_dir_save(const char* path) {
    zel_agent_dir_t* dir = g_agent_dir;
    if (!dir) return -1;
    const char* target = path ? path : dir->path;
    if (target[0] == '\0') return -2;
    std::int64_t now = time_now();
    // The file goes out in one write: no memory for it counts as no file.
    unsigned char* image = encode_agent_file(*dir, now);
    if (!image) return -3;
    int rc = write_and_replace(image, agent_file_size(*dir), target);
    std::free(image);
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
    zel::agent_dir_index_slots(dir, loaded);
    // Slots past the file's records start fresh for the next spawn.
    if (old_count > loaded) std::memset(dir.agents + loaded, 0, (old_count - loaded) * sizeof(zel_agent_t));

    dir.version = zel::load_u32(header + 4);
    dir.agent_count = loaded;
    dir.live_count = loaded == claimed ? std::min(claimed_live, loaded)
                                       : zel::count_not_terminated(dir.agents, loaded);
    dir.saved_at = whole_header ? static_cast<std::int64_t>(zel::load_u64(header + 16)) : 0;
    std::memcpy(dir.path, path, std::strlen(path) + 1);  // opened, so not null
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
