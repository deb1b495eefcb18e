#include "ogawa_reader/description/sibling_table.h"

#include <cstring>

namespace zel::desc {
namespace {

constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

}  // namespace

bool text_equals(const char* text, const char* name, std::size_t length) {
    return std::strncmp(text, name, length) == 0 && text[length] == '\0';
}

std::uint32_t SiblingTable::hash_of(std::uint32_t parent, const char* name, std::size_t length) {
    std::uint64_t h = 0xcbf29ce484222325ull ^ (std::uint64_t{parent} * 0x9E3779B97F4A7C15ull);
    for (std::size_t i = 0; i < length; ++i) h = (h ^ static_cast<unsigned char>(name[i])) * 0x100000001b3ull;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool SiblingTable::grow() {
    const std::size_t size = slots_.empty() ? 64 : 2 * slots_.size();
    GrowableArray<Slot> grown;
    if (!grown.resize(size)) return false;
    for (std::size_t i = 0; i < size; ++i) grown[i].child = kEmpty;
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const Slot& s = slots_[i];
        if (s.child == kEmpty) continue;
        std::size_t at = s.hash & mask;
        while (grown[at].child != kEmpty) at = (at + 1) & mask;
        grown[at] = s;
    }
    slots_.swap(grown);
    return true;
}

bool SiblingTable::add(const TextPool& pool, std::uint32_t parent, std::uint32_t child, std::uint32_t name) {
    if (2 * (used_ + 1) > slots_.size() && !grow()) return false;
    const char* text = pool.text(name);
    const std::size_t length = std::strlen(text);
    const std::uint32_t hash = hash_of(parent, text, length);
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    for (; slots_[at].child != kEmpty; at = (at + 1) & mask) {
        const Slot& s = slots_[at];
        if (s.hash == hash && s.parent == parent && text_equals(pool.text(s.name), text, length)) return true;
    }
    slots_[at] = {parent, child, name, hash};
    ++used_;
    return true;
}

std::uint32_t SiblingTable::find(const TextPool& pool, std::uint32_t parent, const char* name,
                                 std::size_t length) const {
    if (slots_.empty()) return kEmpty;
    const std::uint32_t hash = hash_of(parent, name, length);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at].child != kEmpty; at = (at + 1) & mask) {
        const Slot& s = slots_[at];
        if (s.hash == hash && s.parent == parent && text_equals(pool.text(s.name), name, length)) return s.child;
    }
    return kEmpty;
}

}  // namespace zel::desc
