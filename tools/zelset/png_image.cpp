#include "png_image.h"

#include <new>

// The one place stb's PNG writer is compiled; it writes into memory only.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace zelset_cli {

std::vector<unsigned char> encode_png(const Raster& raster) {
    std::vector<unsigned char> out;
    auto append = [](void* context, void* data, int size) {
        auto& to = *static_cast<std::vector<unsigned char>*>(context);
        const auto* bytes = static_cast<const unsigned char*>(data);
        to.insert(to.end(), bytes, bytes + size);
    };
    // stb fails only when it cannot allocate.
    if (!stbi_write_png_to_func(append, &out, raster.width(), raster.height(), 3, raster.pixels().data(),
                                3 * raster.width())) {
        throw std::bad_alloc();
    }
    return out;
}

}  // namespace zelset_cli
