#include "platform.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace zel {

std::int64_t time_now() { return static_cast<std::int64_t>(std::time(nullptr)); }

int seek64(std::FILE* f, std::int64_t offset, int whence) {
    return fseeko(f, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

std::int64_t tell64(std::FILE* f) { return static_cast<std::int64_t>(ftello(f)); }

std::size_t read_at(std::FILE* f, std::uint64_t pos, void* out, std::size_t n) {
    // One call instead of a seek and a read; the stream's buffer and
    // position are left alone.
    const int fd = fileno(f);
    std::size_t done = 0;
    while (done < n && pos + done <= static_cast<std::uint64_t>(INT64_MAX)) {
        const ssize_t got = pread(fd, static_cast<unsigned char*>(out) + done, n - done, static_cast<off_t>(pos + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

int flush_to_disk(std::FILE* f) {
    if (std::fflush(f) != 0) return -1;
    return fsync(fileno(f)) == 0 ? 0 : -1;
}

int replace_file(const char* source, const char* target) {
    return std::rename(source, target) == 0 ? 0 : -1;
}

int create_new_file(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? -1 : -2;
    return close(fd) == 0 ? 0 : -2;
}

int remove_file(const char* path) { return std::remove(path) == 0 ? 0 : -1; }

bool is_regular_file(std::FILE* f) {
    struct stat st {};
    return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Maps the regular file behind fd read-only; fd stays open.
MapResult map_descriptor(int fd, std::uint64_t min_size, MappedView* view, std::uint64_t* file_size) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kMapOpenFailed;
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    *file_size = size;
    if (size < min_size || size == 0) return kMapTooSmall;
    void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (base == MAP_FAILED) return kMapMappingFailed;
    view->data = static_cast<const unsigned char*>(base);
    view->size = size;
    return kMapOk;
}

}  // namespace

MapResult map_readonly(const char* path, std::uint64_t min_size, MappedView* view,
                       std::uint64_t* file_size) {
    *view = MappedView{};
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kMapOpenFailed;
    MapResult result = map_descriptor(fd, min_size, view, file_size);
    close(fd);
    return result;
}

MapResult map_stream(std::FILE* f, MappedView* view) {
    *view = MappedView{};
    std::uint64_t size = 0;
    return map_descriptor(fileno(f), 0, view, &size);
}

void unmap(MappedView* view) {
    if (view->data) munmap(const_cast<unsigned char*>(view->data), view->size);
    *view = MappedView{};
}

namespace {

// The shared block behind map_ones_view: a memory file filled by write(),
// whose pages belong to the file rather than to any mapping of it.
struct OnesBlock {
    int fd = -1;
    std::size_t bytes = 0;
};

bool write_all(int fd, const unsigned char* data, std::size_t bytes) {
    while (bytes > 0) {
        ssize_t n = write(fd, data, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

OnesBlock make_ones_block(std::size_t bytes) {
    int fd = memfd_create("zel-empty-heads", MFD_CLOEXEC);
    if (fd < 0) return {};
    unsigned char chunk[16384];
    std::memset(chunk, 0xFF, sizeof chunk);
    for (std::size_t done = 0; done < bytes;) {
        std::size_t n = std::min(sizeof chunk, bytes - done);
        if (!write_all(fd, chunk, n)) {
            close(fd);
            return {};
        }
        done += n;
    }
    return {fd, bytes};
}

}  // namespace

void* map_ones_view(std::size_t bytes) {
    // Made once per process, whichever thread comes first; kept until exit.
    static const OnesBlock block = make_ones_block(bytes);
    if (block.fd < 0 || bytes == 0 || bytes > block.bytes) return nullptr;
    void* view = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, block.fd, 0);
    return view == MAP_FAILED ? nullptr : view;
}

void unmap_ones_view(void* view, std::size_t bytes) {
    if (view) munmap(view, bytes);
}

void advise_large_pages(void* block, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    // The advice takes whole pages: those that lie inside the block.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace zel
