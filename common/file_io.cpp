#include "file_io.h"

#include "platform/platform.h"

namespace zel {

std::int64_t stream_size(std::FILE* f) {
    std::int64_t here = tell64(f);
    if (here < 0 || seek64(f, 0, SEEK_END) != 0) return -1;
    std::int64_t size = tell64(f);
    if (seek64(f, here, SEEK_SET) != 0) return -1;
    return size;
}

}  // namespace zel
