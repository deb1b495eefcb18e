#include "ogawa_reader/container/cached_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/file_io.h"
#include "ogawa_reader/container/stream_read.h"

namespace zel {

CachedReader::CachedReader(std::FILE* f, std::int64_t file_size, Access access)
    : f_(f), size_(file_size < 0 ? 0 : file_size) {
    if (access == Access::kMappedWhenPossible && size_ > 0) map_stream(f_, &view_);
}

CachedReader::CachedReader(std::FILE* f, std::int64_t file_size, const MappedView& borrowed, ReadWindows* kept)
    : f_(f), size_(file_size < 0 ? 0 : file_size), view_(borrowed), owns_view_(false), w_(kept) {}

CachedReader::~CachedReader() {
    if (owns_view_) unmap(&view_);
}

ReadWindows::~ReadWindows() { std::free(bytes); }

bool CachedReader::windows_ready() {
    if (!w_->allocation_tried) {
        w_->allocation_tried = true;
        // A small file needs no more windows than it spans.
        auto spanned = static_cast<std::uint64_t>(size_) / kWindowBytes + 1;
        w_->count = spanned < ReadWindows::kMaxWindows ? static_cast<int>(spanned) : ReadWindows::kMaxWindows;
        w_->bytes = static_cast<unsigned char*>(alloc_bytes(kWindowBytes * std::size_t(w_->count)));
    }
    return w_->bytes != nullptr;
}

const CachedReader::Window* CachedReader::window_for(std::uint64_t pos) {
    // Reads come in runs at nearby places: the last window first.
    Window& last = w_->windows[w_->last];
    if (last.last_use != 0 && pos >= last.start && pos - last.start < last.filled) return &last;
    Window* oldest = &w_->windows[0];
    for (int i = 0; i < w_->count; ++i) {
        Window& w = w_->windows[i];
        if (w.last_use != 0 && pos >= w.start && pos - w.start < w.filled) {
            w.last_use = ++w_->uses;
            w_->last = i;
            return &w;
        }
        if (w.last_use < oldest->last_use) oldest = &w;
    }
    // Loads start at page boundaries, so that walks that step back and forth
    // across a load's start find the bytes before it in the load before.
    const std::uint64_t start = pos - pos % ReadWindows::kPageBytes;
    w_->load_bytes = start == w_->next_load ? std::min(2 * w_->load_bytes, kWindowBytes) : ReadWindows::kPageBytes;
    oldest->start = start;
    oldest->filled = read_at(f_, start, bytes_of(oldest), w_->load_bytes);
    w_->next_load = start + oldest->filled;
    oldest->last_use = ++w_->uses;
    w_->last = static_cast<int>(oldest - w_->windows);
    return oldest;
}

std::size_t CachedReader::read_slowly(std::uint64_t pos, void* out, std::size_t n) {
    if (view_.data) {
        if (pos >= view_.size) return 0;
        std::size_t take = view_.size - pos < n ? static_cast<std::size_t>(view_.size - pos) : n;
        std::memcpy(out, view_.data + pos, take);
        return take;
    }
    if (n >= kWindowBytes || !windows_ready()) return read_at(f_, pos, out, n);
    auto* to = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < n) {
        std::uint64_t at = pos + done;
        const Window* w = window_for(at);
        std::size_t offset = static_cast<std::size_t>(at - w->start);
        if (offset >= w->filled) break;  // the end of the file
        std::size_t take = w->filled - offset < n - done ? w->filled - offset : n - done;
        std::memcpy(to + done, bytes_of(w) + offset, take);
        done += take;
    }
    return done;
}

bool CachedReader::fetch_exact(std::uint64_t pos, void* out, std::size_t n) {
    if (const unsigned char* at = held(pos, n)) {
        std::memcpy(out, at, n);
        return true;
    }
    if (view_.data) return read_slowly(pos, out, n) == n;
    return read_at(f_, pos, out, n) == n;
}

void* CachedReader::read_new_words(std::uint64_t pos, std::size_t bytes) {
    auto file_size = static_cast<std::uint64_t>(size_);
    if (pos > file_size || bytes > file_size - pos) return nullptr;
    void* block = alloc_bytes(bytes);
    if (!block) return nullptr;
    if (!read_exact(pos, block, bytes)) {
        std::free(block);
        return nullptr;
    }
    words_to_native(block, bytes / 4);
    return block;
}

}  // namespace zel
