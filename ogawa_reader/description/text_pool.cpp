#include "ogawa_reader/description/text_pool.h"

#include <cstdlib>
#include <cstring>

#include "common/alloc.h"

namespace zel::desc {

TextPool::~TextPool() {
    for (char* block : blocks_) std::free(block);
}

bool TextPool::make_room(std::size_t n) {
    int k = block_of(sealed_end_);
    if (k >= kBlocks) return false;
    if (n > block_start(k + 1) - sealed_end_) {
        do {
            ++k;
        } while (k < kBlocks && n > (std::size_t{kFirstBlockBytes} << k));
        if (k >= kBlocks) return false;
        sealed_end_ = block_start(k);
    }
    if (!blocks_[k]) blocks_[k] = static_cast<char*>(alloc_bytes(std::size_t{kFirstBlockBytes} << k));
    return blocks_[k] != nullptr;
}

char* TextPool::claim(std::size_t n, std::uint32_t* offset) {
    if (sealed_) {
        if (!make_room(n)) return nullptr;
        *offset = kSealedBit | sealed_end_;
        sealed_end_ += static_cast<std::uint32_t>(n);
        return const_cast<char*>(text(*offset));
    }
    const std::size_t at = open_.size();
    if (n > kSealedBit - at || !open_.resize(at + n)) return nullptr;
    *offset = static_cast<std::uint32_t>(at);
    return open_.data() + at;
}

bool TextPool::add(const char* text, std::size_t length, std::uint32_t* offset) {
    char* out = claim(length + 1, offset);
    if (!out) return false;
    if (length != 0) std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

bool TextPool::add_part(std::uint32_t of, std::size_t from, std::size_t length, std::uint32_t* offset) {
    char* out = claim(length + 1, offset);
    if (!out) return false;
    std::memcpy(out, text(of) + from, length);  // after the claim: it may have moved the open texts
    out[length] = '\0';
    return true;
}

bool TextPool::add_joined(std::uint32_t first, std::uint32_t second, std::size_t most, std::uint32_t* offset) {
    const std::size_t first_length = std::strlen(text(first)), second_length = std::strlen(text(second));
    std::size_t n = first_length + 1 + second_length;
    if (n > most) n = most;
    char* out = claim(n + 1, offset);
    if (!out) return false;
    std::memcpy(out, text(first), first_length < n ? first_length : n);
    if (first_length < n) out[first_length] = '/';
    if (first_length + 1 < n) std::memcpy(out + first_length + 1, text(second), n - first_length - 1);
    out[n] = '\0';
    return true;
}

bool TextPool::reserve(std::size_t bytes) {
    return sealed_ ? make_room(bytes) : bytes <= kSealedBit - open_.size() && open_.reserve_more(bytes);
}

void TextPool::roll_back(std::uint32_t end) {
    if (sealed_) {
        sealed_end_ = end & ~kSealedBit;
    } else {
        open_.truncate(end);
    }
}

}  // namespace zel::desc
