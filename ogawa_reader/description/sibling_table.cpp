#include "ogawa_reader/description/sibling_table.h"

namespace zel::desc {

std::uint32_t sibling_hash(std::uint32_t parent, const char* name, std::size_t length) {
    std::uint64_t h = 0xcbf29ce484222325ull ^ (std::uint64_t{parent} * 0x9E3779B97F4A7C15ull);
    for (std::size_t i = 0; i < length; ++i) h = (h ^ static_cast<unsigned char>(name[i])) * 0x100000001b3ull;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool SiblingTable::make_room(std::size_t more) {
    const std::size_t wanted = 2 * (used_ + more);
    if (wanted <= slots_.size()) return true;
    const std::size_t size = std::bit_ceil(wanted < 64 ? std::size_t{64} : wanted);
    GrowableArray<Slot> grown;
    if (!grown.resize(size)) return false;
    std::memset(grown.data(), 0xFF, size * sizeof(Slot));
    grown.swap(slots_);
    used_ = 0;
    for (std::size_t i = 0; i < grown.size(); ++i) {
        if (grown[i].child != kEmpty) insert(grown[i]);
    }
    return true;
}

void SiblingTable::insert(Slot s) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = s.hash & mask;
    while (slots_[at].child != kEmpty) at = (at + 1) & mask;
    slots_[at] = s;
    ++used_;
}

}  // namespace zel::desc
