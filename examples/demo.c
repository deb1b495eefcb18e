/* The demo host: builds a token unit from arrays through the C API and prints
 * its tokens. */
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "zelset.h"

static uint64_t id_word(const char* text) {
    uint64_t w = 0;
    size_t n = strlen(text);
    memcpy(&w, text, n < 8 ? n : 8); /* first character at the lowest address */
    return w;
}

int main(void) {
    enum { kCount = 5 };
    const uint64_t mortons[kCount] = {27560, 1, 233471, 4, 262143};
    const char* ids[kCount] = {"00006BA8", "00000001", "00038FFF", "00000004", "0003FFFF"};
    const uint64_t signatures[kCount] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555};
    const uint8_t layers[kCount] = {1, 1, 2, 1, 3};
    uint64_t id_words[kCount];
    zelset_t unit;
    int32_t rc;
    uint32_t i;

    for (i = 0; i < kCount; ++i) id_words[i] = id_word(ids[i]);
    memset(&unit, 0, sizeof unit);
    rc = zelset_create(&unit, kCount, mortons, id_words, signatures, layers);
    if (rc != 0) {
        fprintf(stderr, "zelset_create failed with %d\n", (int)rc);
        return 1;
    }
    printf("zelset %s: a unit of %u tokens\n", ZELSET_VERSION_STRING, zelset_get_count(&unit));
    printf("%-6s %-20s %-9s %s\n", "index", "morton", "id", "layer");
    for (i = 0; i < zelset_get_count(&unit); ++i) {
        uint64_t morton, id;
        uint8_t layer;
        char text[9] = {0};
        if (zelset_get_token(&unit, i, &morton, &id, &layer) != 0) break;
        memcpy(text, &id, 8);
        printf("%-6u %-20" PRIu64 " %-9s %u\n", i, morton, text, layer);
    }
    zelset_free(&unit);
    return 0;
}
