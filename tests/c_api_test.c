/* Compiled as C99: every public header must stay valid C. */
#include "ogawa_archive.h"
#include "ogawa_attributes.h"
#include "ogawa_reader.h"
#include "zel_agent.h"
#include "zel_alembic.h"
#include "zel_mesh.h"
#include "zel_release.h"
#include "zel_roots.h"
#include "zel_unit.h"
#include "zelset.h"

#include <string.h>

int zel_c_api_roundtrip(void);

/* Creates a unit through the C API and reads it back; 0 when all agrees,
 * otherwise the number of the step that disagreed. */
int zel_c_api_roundtrip(void) {
    const uint64_t mortons[3] = {30, 10, 20};
    const uint64_t ids[3] = {0x41, 0x42, 0x43};
    const uint64_t sigs[3] = {1, 2, 3};
    const uint8_t layers[3] = {7, 8, 9};
    const uint64_t wanted[2] = {20, 40};
    uint64_t out_m[3], out_id[3];
    int32_t positions[3];
    uint8_t out_layer[3];
    zelset_t unit;
    ogawa_polymesh_t mesh;
    memset(&unit, 0, sizeof unit);
    if (zelset_create(&unit, 3, mortons, ids, sigs, layers) != 0) return 1;
    if (zelset_get_all_tokens(&unit, out_m, out_id, out_layer) != 3) return 2;
    if (out_m[0] != 30 || out_id[1] != 0x42 || out_layer[2] != 9) return 3;
    if (zelset_lookup_morton(&unit, 20) != 2 || srl_hop_distance(20, 120) != 10) return 5;
    if (zelset_lookup_morton_many(&unit, wanted, 2, positions) != 1 || positions[0] != 2 || positions[1] != -1) return 6;
    if (zelset_lookup_hex_many(&unit, ids, 3, positions) != 3 || positions[2] != 2) return 7;
    zelset_free(&unit);
    if (unit.tokens != NULL || zelset_get_count(&unit) != 3) return 4;
    memset(&mesh, 0, sizeof mesh);
    ogawa_free_polymesh(&mesh);
    {
        /* An array handed out by the library goes back through zel_release. */
        const uint32_t corners[4] = {0, 1, 2, 3};
        uint32_t* triangles = NULL;
        uint32_t count = 0;
        if (ogawa_triangulate_face(corners, 4, &triangles, &count) != 0 || count != 2) return 6;
        if (triangles[3] != 0 || triangles[5] != 3) return 7;
        zel_release(triangles);
        zel_release(NULL);
    }
    return 0;
}
