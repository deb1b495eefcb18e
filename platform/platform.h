// The only code that differs by operating system: time, 64-bit stream
// positions, durable writes, creating, replacing and deleting files,
// read-only mapping, copy-on-write views of a block of 0xFF bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zel {

// Seconds since 1970-01-01 UTC, 64-bit.
std::int64_t time_now();

int seek64(std::FILE* f, std::int64_t offset, int whence);  // 0 on success
std::int64_t tell64(std::FILE* f);                          // -1 on failure
// Up to n bytes of the file behind f at pos: the number that arrived. It may
// leave the stream anywhere; callers that read on through it seek first.
std::size_t read_at(std::FILE* f, std::uint64_t pos, void* out, std::size_t n);

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
// Whether an open stream is a regular file (not a device, a pipe or a FIFO).
bool is_regular_file(std::FILE* f);

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

// A private, writable view of `bytes` bytes that all read 0xFF, copied on
// write from one read-only block that the process fills once, on the first
// call, and keeps. Pages that are never written stay shared with every other
// view and cost no memory of their own; a page takes a private copy when it
// is first written. Null when the block or the view cannot be mapped, or when
// bytes exceeds the size of the first call. Safe to call from several
// threads. Released only with unmap_ones_view.
void* map_ones_view(std::size_t bytes);
void unmap_ones_view(void* view, std::size_t bytes);

// Asks the system to back the pages of an allocated block with large pages
// where it has them, so that filling the whole block takes a few faults
// instead of one per page. Advice only: nothing changes where it is not taken.
void advise_large_pages(void* block, std::size_t bytes);

}  // namespace zel
