// The only code that differs by operating system: time, 64-bit stream
// positions, durable writes, creating, replacing and deleting files,
// read-only mapping.
#pragma once

#include <cstdint>
#include <cstdio>

namespace zel {

// Seconds since 1970-01-01 UTC, 64-bit.
std::int64_t time_now();

int seek64(std::FILE* f, std::int64_t offset, int whence);  // 0 on success
std::int64_t tell64(std::FILE* f);                          // -1 on failure

// Flushes the stream's buffer and the file's data to the disk; 0 on success.
int flush_to_disk(std::FILE* f);

// Replaces target by source in one step (the old or the new file exists whole
// at every moment); 0 on success, -1 on failure with both left as they were
// and errno holding the reason.
int replace_file(const char* source, const char* target);

// Creates path as a new, empty file that no other process can have made: it
// fails when anything exists there already. 0 on success; -1 something
// exists at path; -2 any other failure. errno holds the reason of a failure.
int create_new_file(const char* path);

// Deletes a file; 0 on success. Takes every path that the standard runtime's
// fopen takes, also where that is longer than the system's ANSI path limit.
int remove_file(const char* path);

// A read-only view of a whole file.
struct MappedView {
    const unsigned char* data = nullptr;
    std::uint64_t size = 0;
};

enum MapResult : int {
    kMapOk = 0,
    kMapOpenFailed = -2,     // the file cannot be opened for reading
    kMapMappingFailed = -3,  // the mapping cannot be created
    kMapViewFailed = -4,     // the view cannot be mapped
    kMapTooSmall = -5,       // the file is shorter than min_size; nothing mapped
};

// Maps path read-only. The file's handles are closed as soon as the view
// exists; the view alone keeps the file mapped. file_size receives the size whenever the file could be
// opened, also when mapping then fails or the file is too small.
MapResult map_readonly(const char* path, std::uint64_t min_size, MappedView* view,
                       std::uint64_t* file_size);
// Maps the regular file behind an open stream read-only; the stream stays
// open and where it was. The view shows the file as it is when mapped.
MapResult map_stream(std::FILE* f, MappedView* view);
void unmap(MappedView* view);

}  // namespace zel
