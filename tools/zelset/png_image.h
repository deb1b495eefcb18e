// Pictures as PNG files.
#pragma once

#include <vector>

#include "raster.h"

namespace zelset_cli {

// The picture as an 8-bit RGB PNG, not interlaced. Throws std::bad_alloc
// when the encoder runs out of memory.
std::vector<unsigned char> encode_png(const Raster& raster);

}  // namespace zelset_cli
