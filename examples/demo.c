/* The demo host: the typical road from an Alembic archive to a queried token
 * unit, through the C API of zelset.
 *
 *   zelset_demo [ARCHIVE.abc [OUTPUT_FOLDER]]
 *
 * Reads the archive's first polygon mesh, fans its faces into triangles, turns
 * the vertices into tokens, stores them in a token archive and reads it back,
 * exports a unit file and queries it, and writes and maps a mesh cache. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "ogawa_reader.h"
#include "zel_alembic.h"
#include "zel_mesh.h"
#include "zelset.h"

#ifndef ZEL_DEMO_ARCHIVE
#define ZEL_DEMO_ARCHIVE "tests/data/pentagons.abc"
#endif
#ifndef ZEL_DEMO_OUTPUT_DIR
#define ZEL_DEMO_OUTPUT_DIR "."
#endif

static clock_t g_stage_start;

static void stage_begin(void) { g_stage_start = clock(); }

static void stage_end(const char* what) {
    double ms = 1000.0 * (double)(clock() - g_stage_start) / CLOCKS_PER_SEC;
    printf("  [%-28s %8.2f ms]\n", what, ms);
}

static int fail(const char* what, int code) {
    fprintf(stderr, "zelset_demo: %s failed (status %d)\n", what, code);
    return 1;
}

static void print_token(const char* label, uint32_t position, const zel_token_t* t) {
    char id[9];
    memcpy(id, t->hex_id, 8);
    id[8] = '\0';
    printf("  %-8s #%-6u morton %8" PRIu64 "  id %s  layer %u\n", label, position, t->morton, id, t->layer);
}

/* Fans every face of the mesh into triangles with ogawa_triangulate_face. The
 * result is allocated; *count receives the number of triangles. */
static uint32_t* triangulate(const ogawa_polymesh_t* mesh, uint32_t* count) {
    uint32_t capacity = mesh->face_index_count, used = 0, cursor = 0, f;
    uint32_t* out = malloc((size_t)(capacity ? capacity : 1) * 3 * sizeof *out);
    *count = 0;
    if (!out) return NULL;
    for (f = 0; f < mesh->face_count; ++f) {
        uint32_t corners = mesh->face_counts[f], *tris = NULL, n = 0;
        if (cursor + corners > mesh->face_index_count) break;
        if (ogawa_triangulate_face(mesh->face_indices + cursor, corners, &tris, &n) == 0) {
            memcpy(out + 3 * used, tris, (size_t)n * 3 * sizeof *tris);
            used += n;
            free(tris);
        }
        cursor += corners;
    }
    *count = used;
    return out;
}

int main(int argc, char** argv) {
    const char* source = argc > 1 ? argv[1] : ZEL_DEMO_ARCHIVE;
    const char* folder = argc > 2 ? argv[2] : ZEL_DEMO_OUTPUT_DIR;
    char archive_path[1024], unit_path[1024], cache_path[1024], report[2048];
    ogawa_archive_t archive;
    ogawa_polymesh_t* mesh;
    zel_alembic_mesh_t tokens;
    zel_alembic_t store, loaded;
    zelset_t unit;
    zel_mesh_t cache;
    uint32_t* triangles, triangle_count, i, nearest[5];
    uint64_t distances[5];
    int32_t rc, found, k;

    snprintf(archive_path, sizeof archive_path, "%s/zelset_demo.bzel", folder);
    snprintf(unit_path, sizeof unit_path, "%s/zelset_demo.zel", folder);
    snprintf(cache_path, sizeof cache_path, "%s/zelset_demo.zelm", folder);
    printf("zelset %s demo on %s\n\n", ZELSET_VERSION_STRING, source);

    /* 1. The Alembic archive and its first polygon mesh. */
    stage_begin();
    rc = ogawa_open(source, &archive);
    if (rc != 0) return fail("opening the archive (ogawa_open)", rc);
    mesh = ogawa_get_first_polymesh(&archive);
    if (!mesh) {
        ogawa_close(&archive);
        fprintf(stderr, "zelset_demo: no polygon mesh found in %s\n", source);
        return 1;
    }
    stage_end("read the first mesh");
    ogawa_get_info(&archive, report, sizeof report);
    printf("%s\n", report);
    printf("Mesh: %u vertices, %u faces, %u face indices, %u normals\n", mesh->position_count,
           mesh->face_count, mesh->face_index_count, mesh->normal_count);
    printf("Bounds: (%.3f, %.3f, %.3f) - (%.3f, %.3f, %.3f)\n\n", mesh->bounds.min[0], mesh->bounds.min[1],
           mesh->bounds.min[2], mesh->bounds.max[0], mesh->bounds.max[1], mesh->bounds.max[2]);

    /* 2. Triangles, then tokens. */
    stage_begin();
    triangles = triangulate(mesh, &triangle_count);
    if (!triangles) return fail("triangulation", -2);
    stage_end("fan triangulation");
    stage_begin();
    memset(&tokens, 0, sizeof tokens);
    rc = zel_alembic_load_raw(mesh->positions, mesh->position_count, triangles, triangle_count, "demo", &tokens);
    free(triangles);
    if (rc != 0) return fail("tokenizing (zel_alembic_load_raw)", rc);
    stage_end("mesh to tokens");
    zel_alembic_mesh_info(&tokens, report, sizeof report);
    printf("%s\n\n", report);

    /* 3. A token archive, saved and loaded again. */
    stage_begin();
    memset(&store, 0, sizeof store);
    store.version = 1;
    store.mesh_count = 1;
    store.meshes = &tokens;
    store.total_faces = tokens.face_count; /* set by whoever assembles an archive */
    rc = zel_alembic_save(archive_path, &store);
    if (rc != 0) return fail("saving the token archive (zel_alembic_save)", rc);
    memset(&loaded, 0, sizeof loaded);
    rc = zel_alembic_load(archive_path, &loaded);
    if (rc != 0) return fail("loading the token archive (zel_alembic_load)", rc);
    stage_end("token archive save + load");
    zel_alembic_file_info(&loaded, report, sizeof report);
    printf("%s\n\n", report);
    zel_alembic_free(&loaded);

    /* 4. A unit file, loaded and queried. */
    stage_begin();
    rc = zel_alembic_export_zel(&tokens, unit_path);
    if (rc != 0) return fail("exporting the unit file (zel_alembic_export_zel)", rc);
    memset(&unit, 0, sizeof unit);
    rc = zelset_load(unit_path, &unit);
    if (rc != 0) return fail("loading the unit (zelset_load)", rc);
    stage_end("export + load the unit");
    printf("Unit: %u tokens, sorted by key; the first three:\n", zelset_get_count(&unit));
    for (i = 0; i < 3 && i < unit.count; ++i) print_token("token", i, &unit.tokens[i]);

    stage_begin();
    found = zelset_lookup_morton(&unit, tokens.tokens[0].token.morton);
    printf("Vertex 0 has key %" PRIu64 ":\n", tokens.tokens[0].token.morton);
    if (found >= 0) print_token("by key", (uint32_t)found, &unit.tokens[found]);
    found = zelset_lookup_hex(&unit, tokens.tokens[0].token.hex_id);
    if (found >= 0) print_token("by id", (uint32_t)found, &unit.tokens[found]);
    k = zelset_query_nearest(&unit, tokens.tokens[0].token.morton + 7, 5, nearest, distances);
    printf("The %d tokens nearest to key %" PRIu64 ":\n", k, tokens.tokens[0].token.morton + 7);
    for (i = 0; i < (uint32_t)k; ++i) {
        printf("  hop %-4" PRIu64, distances[i]);
        print_token("", nearest[i], &unit.tokens[nearest[i]]);
    }
    stage_end("lookups and nearest");
    zelset_free(&unit);
    zel_alembic_mesh_free(&tokens);

    /* 5. The mesh cache, mapped back for a graphics host. */
    stage_begin();
    rc = zel_mesh_save(mesh, NULL, cache_path);
    if (rc != 0) return fail("saving the mesh cache (zel_mesh_save)", rc);
    rc = zel_mesh_load(cache_path, &cache);
    if (rc != 0) return fail("mapping the mesh cache (zel_mesh_load)", rc);
    {
        const float* positions;
        const float* normals;
        const uint32_t* indices;
        uint32_t vertex_count, cache_triangles;
        zel_mesh_get_gpu_data(&cache, &positions, &normals, &indices, &vertex_count, &cache_triangles);
        stage_end("mesh cache save + map");
        printf("Mesh cache: %u vertices, %u triangles, normals %s; first vertex (%.3f, %.3f, %.3f)\n",
               vertex_count, cache_triangles, normals ? "present" : "absent", positions[0], positions[1],
               positions[2]);
    }
    zel_mesh_free(&cache);
    ogawa_close(&archive); /* releases the cached mesh too */
    printf("\nFiles written: %s, %s, %s\n", archive_path, unit_path, cache_path);
    return 0;
}
