#include "ogawa_reader/container/stream_read.h"

#include <bit>
#include <cstring>

#include "common/file_io.h"
#include "platform/platform.h"

namespace zel {

std::int64_t stream_length(std::FILE* f) {
    if (seek64(f, 0, SEEK_END) != 0) return -1;
    return tell64(f);
}

void words_to_native(void* words, std::size_t count) {
    if constexpr (std::endian::native != std::endian::little) {
        auto* bytes = static_cast<unsigned char*>(words);
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t v = load_u32(bytes + 4 * i);
            std::memcpy(bytes + 4 * i, &v, 4);
        }
    }
}

}  // namespace zel
