#include "ogawa_reader/heuristic/scan_window.h"

#include <cstring>

#include "ogawa_reader/container/stream_read.h"

namespace zel {

ScanWindow::ScanWindow(std::FILE* f, std::int64_t file_size, std::size_t lookahead)
    : f_(f), end_(file_size < 0 ? 0 : static_cast<std::uint64_t>(file_size)),
      lookahead_(lookahead < kMaxLookahead ? lookahead : kMaxLookahead) {}

void ScanWindow::refill(std::uint64_t pos) {
    std::uint64_t held_end = base_ + filled_;
    if (pos >= base_ && pos + lookahead_ > held_end && exhausted_) return;  // the end: keep what is there
    // Keep the bytes from pos on that are already held, read the rest.
    std::size_t kept = 0;
    if (pos >= base_ && pos < held_end) {
        kept = static_cast<std::size_t>(held_end - pos);
        std::memmove(bytes_, bytes_ + (pos - base_), kept);
    }
    base_ = pos;
    std::uint64_t from = pos + kept;
    std::size_t room = sizeof bytes_ - kept;
    if (from >= end_) {
        filled_ = kept;
        exhausted_ = true;
        return;
    }
    if (end_ - from < room) room = static_cast<std::size_t>(end_ - from);
    std::size_t got = read_at(f_, from, bytes_ + kept, room);
    filled_ = kept + got;
    exhausted_ = got < room || from + got >= end_;
}

}  // namespace zel
