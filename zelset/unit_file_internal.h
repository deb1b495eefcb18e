// The phases of zelset_load, apart so that each can be measured on its own.
#pragma once

#include <cstdint>

#include "zel_unit.h"

namespace zel {

// Steps of zelset_load up to the sort: opens and reads the file into the
// unit's header words and an unsorted token array. 0, or the load's -1 to -4
// and -7 with the same unit states.
std::int32_t unit_file_read(const char* path, zelset_t* unit);

}  // namespace zel
