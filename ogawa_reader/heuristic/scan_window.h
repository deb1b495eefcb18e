// A forward scan over the archive's stream through one large buffer: the
// scans test every position of a file, each with a few bytes that follow it,
// and read the file once, window after window, instead of once per position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zel {

class ScanWindow {
public:
    static constexpr std::size_t kWindowBytes = 64 * 1024;
    static constexpr std::size_t kMaxLookahead = 128;
    // Bytes held at once: a scan starting at s first refills its window
    // near s + kBufferBytes - lookahead.
    static constexpr std::size_t kBufferBytes = kWindowBytes + kMaxLookahead;

    // Scans f, whose length is file_size, looking at most `lookahead` bytes
    // (at most kMaxLookahead) from each position.
    ScanWindow(std::FILE* f, std::int64_t file_size, std::size_t lookahead);
    ScanWindow(const ScanWindow&) = delete;
    ScanWindow& operator=(const ScanWindow&) = delete;

    // The bytes of the file from pos on; *available receives how many there
    // are, at most the lookahead: fewer only where the file ends (or a read
    // fails). Positions must not decrease from one call to the next.
    const unsigned char* at(std::uint64_t pos, std::size_t* available) {
        if (pos < base_ || pos + lookahead_ > base_ + filled_) refill(pos);
        std::size_t offset = static_cast<std::size_t>(pos - base_);
        std::size_t left = offset < filled_ ? filled_ - offset : 0;
        *available = left < lookahead_ ? left : lookahead_;
        return bytes_ + (offset < filled_ ? offset : 0);
    }

private:
    void refill(std::uint64_t pos);

    std::FILE* f_;
    std::uint64_t end_;  // file length
    std::size_t lookahead_;
    std::uint64_t base_ = 0;  // file position of bytes_[0]
    std::size_t filled_ = 0;
    bool exhausted_ = false;  // nothing more can be read after base_ + filled_
    unsigned char bytes_[kBufferBytes];
};

}  // namespace zel
