/* Builds a unit through whichever installed library it was linked with. */
#include <stdio.h>
#include <string.h>

#include "zelset.h"

int main(void) {
    const uint64_t keys[2] = {2, 1}, ids[2] = {0x41, 0x42}, sigs[2] = {0, 0};
    const uint8_t layers[2] = {0, 0};
    zelset_t unit;
    memset(&unit, 0, sizeof unit);
    if (zelset_create(&unit, 2, keys, ids, sigs, layers) != 0) return 1;
    printf("zelset %s consumer: %u tokens\n", ZELSET_VERSION_STRING, zelset_get_count(&unit));
    zelset_free(&unit);
    return 0;
}
