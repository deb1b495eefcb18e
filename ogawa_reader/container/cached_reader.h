// Positioned reads of an archive through a read-only mapping of the whole
// file or, where none can be made, a small cache of aligned windows. The
// tree walk and the block classification read a few bytes at many places;
// mapped, they copy only those bytes, and through the cache they cost one
// stream read per window instead of one per place. Results are those of
// direct reads: a read returns what the file holds at that place, cut by the
// end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/file_io.h"
#include "platform/platform.h"

namespace zel {

// The windows of a file that reads go through, kept for as long as their
// owner keeps them: one reader's, or an open archive's across its reads.
struct ReadWindows {
    static constexpr std::size_t kWindowBytes = 64 * 1024;
    static constexpr int kMaxWindows = 16;  // fewer for small files
    // A window is filled with one page where the reads are scattered; a load
    // that starts where the one before ended fills twice as much, up to the
    // whole window, as a walk through the file does.
    static constexpr std::size_t kPageBytes = 4096;

    struct Window {
        std::uint64_t start;
        std::size_t filled;
        std::uint64_t last_use;  // 0 = empty
    };

    ReadWindows() = default;
    ~ReadWindows();
    ReadWindows(const ReadWindows&) = delete;
    ReadWindows& operator=(const ReadWindows&) = delete;

    unsigned char* bytes = nullptr;
    bool allocation_tried = false;
    Window windows[kMaxWindows] = {};
    int count = 0;
    int last = 0;  // the window the last read ended in
    std::uint64_t uses = 0;
    std::uint64_t next_load = 0;  // where the last load ended
    std::size_t load_bytes = kPageBytes;
};

class CachedReader {
public:
    static constexpr std::size_t kWindowBytes = ReadWindows::kWindowBytes;

    enum class Access { kMappedWhenPossible, kWindowsOnly };

    // The file's size bounds every read. Unmapped, the windows are allocated
    // on the first read; without them every read goes to the stream.
    CachedReader(std::FILE* f, std::int64_t file_size, Access access = Access::kMappedWhenPossible);
    // Reads through a mapping of the whole file that another owner keeps and
    // that outlives the reader; when it is empty, through windows that the
    // same owner keeps (the file must not change while it keeps them).
    CachedReader(std::FILE* f, std::int64_t file_size, const MappedView& borrowed, ReadWindows* kept);
    ~CachedReader();
    CachedReader(const CachedReader&) = delete;
    CachedReader& operator=(const CachedReader&) = delete;

    std::FILE* file() const { return f_; }
    std::int64_t size() const { return size_; }

    // Up to n bytes at pos; the number that arrived. Reads of a window or
    // more go straight to the stream.
    std::size_t read(std::uint64_t pos, void* out, std::size_t n) {
        if (const unsigned char* at = held(pos, n)) {
            std::memcpy(out, at, n);
            return n;
        }
        return read_slowly(pos, out, n);
    }
    bool read_exact(std::uint64_t pos, void* out, std::size_t n) { return read(pos, out, n) == n; }
    // Bytes read once, such as a sample's size and values: from the mapping
    // or the last window when they hold them, else with one positioned read
    // straight into out, loading no window. False unless all n arrived.
    bool fetch_exact(std::uint64_t pos, void* out, std::size_t n);
    // The little-endian u64 at pos.
    bool read_u64(std::uint64_t pos, std::uint64_t* value) {
        unsigned char bytes[8];
        if (!read_exact(pos, bytes, sizeof bytes)) return false;
        *value = load_u64(bytes);
        return true;
    }
    // A new array holding the `bytes` bytes at pos as native 4-byte words, or
    // null when they do not lie within the file, cannot be allocated or
    // cannot be read whole. Released with free().
    void* read_new_words(std::uint64_t pos, std::size_t bytes);

private:
    using Window = ReadWindows::Window;
    // The n bytes at pos where the mapping or the last window used holds
    // them all; null otherwise. Most reads are small and near the last one.
    const unsigned char* held(std::uint64_t pos, std::size_t n) const {
        if (view_.data) return pos <= view_.size && n <= view_.size - pos ? view_.data + pos : nullptr;
        const Window& w = w_->windows[w_->last];
        if (w.last_use == 0 || pos < w.start || pos - w.start > w.filled || n > w.filled - (pos - w.start)) return nullptr;
        return w_->bytes + kWindowBytes * std::size_t(w_->last) + (pos - w.start);
    }
    std::size_t read_slowly(std::uint64_t pos, void* out, std::size_t n);
    // Allocates the windows on first use; false when they cannot be.
    bool windows_ready();
    // A window holding file position pos, loaded (from pos rounded down to
    // kWindowBytes) when none does; it holds nothing when pos is at or past
    // the end of the file.
    const Window* window_for(std::uint64_t pos);
    unsigned char* bytes_of(const Window* w) { return w_->bytes + kWindowBytes * std::size_t(w - w_->windows); }

    std::FILE* f_;
    std::int64_t size_;
    MappedView view_;  // empty when reads go through the windows
    bool owns_view_ = true;
    ReadWindows own_;
    ReadWindows* w_ = &own_;
};

}  // namespace zel
