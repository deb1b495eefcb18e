// The release of arrays handed out to hosts, in the library's own runtime.
// The core hands out no such arrays, so zelset_next does not export it.
#ifndef ZELSET_NEXT
#include <cstdlib>

#include "zel_release.h"

extern "C" ZEL_API void zel_release(void* array) { std::free(array); }
#endif
