#include "oracles/id_hash_oracle.h"

namespace zel_oracle {

std::uint32_t djb2_id_bucket(const unsigned char id[8]) {
    std::uint32_t h = 5381;
    for (int i = 0; i < 8 && id[i] != 0; ++i) {
        const int c = id[i] < 128 ? id[i] : id[i] - 256;
        h = h * 33u + static_cast<std::uint32_t>(c);
    }
    return h & 0x7FFFFFu;
}

}  // namespace zel_oracle
