#include "platform.h"

#include "common/alloc.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace zel {

std::int64_t time_now() { return static_cast<std::int64_t>(_time64(nullptr)); }

int seek64(std::FILE* f, std::int64_t offset, int whence) {
    return _fseeki64(f, offset, whence) == 0 ? 0 : -1;
}

std::int64_t tell64(std::FILE* f) { return _ftelli64(f); }

std::size_t read_at(std::FILE* f, std::uint64_t pos, void* out, std::size_t n) {
    if (pos > static_cast<std::uint64_t>(INT64_MAX) || seek64(f, static_cast<std::int64_t>(pos), SEEK_SET) != 0) return 0;
    return n == 0 ? 0 : std::fread(out, 1, n, f);
}

int flush_to_disk(std::FILE* f) {
    if (std::fflush(f) != 0) return -1;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (h == INVALID_HANDLE_VALUE) return -1;
    return FlushFileBuffers(h) ? 0 : -1;
}

namespace {

// The path in UTF-16, converted as the ANSI file functions convert it but
// without their MAX_PATH limit (the runtime's fopen has none either); null on
// failure (errno set). Released with free.
wchar_t* wide_path(const char* path) {
    int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (n <= 0) {
        errno = EINVAL;
        return nullptr;
    }
    auto* wide = alloc_array<wchar_t>(static_cast<std::size_t>(n));
    if (!wide) errno = ENOMEM;
    if (wide && MultiByteToWideChar(CP_ACP, 0, path, -1, wide, n) != n) {
        std::free(wide);
        errno = EINVAL;
        return nullptr;
    }
    return wide;
}

// errno for the last failed system call, as the runtime's own file
// functions set it.
void set_errno_from_last_error() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: errno = EACCES; break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: errno = ENOMEM; break;
        default: errno = EIO;
    }
}

}  // namespace

int replace_file(const char* source, const char* target) {
    wchar_t* from = wide_path(source);
    wchar_t* to = wide_path(target);
    bool ok = from && to && MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok && from && to) set_errno_from_last_error();
    std::free(from);
    std::free(to);
    return ok ? 0 : -1;
}

int create_new_file(const char* path) {
    wchar_t* wide = wide_path(path);
    if (!wide) return -2;
    int fd = _wopen(wide, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::free(wide);
    if (fd < 0) return errno == EEXIST ? -1 : -2;
    return _close(fd) == 0 ? 0 : -2;
}

bool is_regular_file(std::FILE* f) {
    struct _stat64 st {};
    return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

int remove_file(const char* path) {
    wchar_t* wide = wide_path(path);
    bool ok = wide && DeleteFileW(wide);
    if (!ok && wide) set_errno_from_last_error();
    std::free(wide);
    return ok ? 0 : -1;
}

namespace {

// Maps the file behind handle read-only; the handle stays open.
MapResult map_handle(HANDLE file, std::uint64_t min_size, MappedView* view, std::uint64_t* file_size) {
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) return kMapOpenFailed;
    *file_size = static_cast<std::uint64_t>(size.QuadPart);
    if (*file_size < min_size || *file_size == 0) return kMapTooSmall;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return kMapMappingFailed;
    void* base = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    if (!base) return kMapViewFailed;
    view->data = static_cast<const unsigned char*>(base);
    view->size = *file_size;
    return kMapOk;
}

}  // namespace

MapResult map_readonly(const char* path, std::uint64_t min_size, MappedView* view,
                       std::uint64_t* file_size) {
    *view = MappedView{};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kMapOpenFailed;
    MapResult result = map_handle(file, min_size, view, file_size);
    CloseHandle(file);
    return result;
}

MapResult map_stream(std::FILE* f, MappedView* view) {
    *view = MappedView{};
    auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (file == INVALID_HANDLE_VALUE) return kMapOpenFailed;
    std::uint64_t size = 0;
    return map_handle(file, 0, view, &size);
}

void unmap(MappedView* view) {
    if (view->data) UnmapViewOfFile(view->data);
    *view = MappedView{};
}

namespace {

// The shared block behind map_ones_view: a section backed by the paging file,
// filled once through a writable view that is then unmapped.
struct OnesBlock {
    HANDLE section = nullptr;
    std::size_t bytes = 0;
};

OnesBlock make_ones_block(std::size_t bytes) {
    const auto size = static_cast<std::uint64_t>(bytes);
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
    if (!section) return {};
    void* fill = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, bytes);
    if (!fill) {
        CloseHandle(section);
        return {};
    }
    std::memset(fill, 0xFF, bytes);
    UnmapViewOfFile(fill);
    return {section, bytes};
}

}  // namespace

void* map_ones_view(std::size_t bytes) {
    // Made once per process, whichever thread comes first; kept until exit.
    static const OnesBlock block = make_ones_block(bytes);
    if (!block.section || bytes == 0 || bytes > block.bytes) return nullptr;
    return MapViewOfFile(block.section, FILE_MAP_COPY, 0, 0, bytes);
}

void unmap_ones_view(void* view, std::size_t /*bytes*/) {
    if (view) UnmapViewOfFile(view);
}

// Large pages of Windows need a privilege that processes seldom hold, and
// only VirtualAlloc gives them: the advice is not taken.
void advise_large_pages(void* /*block*/, std::size_t /*bytes*/) {}

}  // namespace zel
