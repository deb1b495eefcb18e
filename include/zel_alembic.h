/* Mesh-to-token conversion and the token archive (zelset only).
 *
 * Every vertex of a triangle mesh is placed on a 48 x 48 x 48 lattice spanned
 * by the mesh's bounding box, described by a 40-byte processed vertex record
 * and summarised in a token (the 25-byte zel_token_t, held at the start of a
 * 32-byte slot). Meshes and their animation frames live in a token archive
 * with a file of its own (magic "BZEL"); archives are queried, sampled in
 * time, reported in text and exported as unit files.
 *
 * All coordinate arithmetic is single precision. Records are allocated by the
 * caller; the arrays hanging from them are allocated by the library with
 * malloc-compatible allocation and released by zel_alembic_free and
 * zel_alembic_mesh_free, which clear the record but never release it. */
#ifndef ZEL_ALEMBIC_H
#define ZEL_ALEMBIC_H

#include "zel_api.h"
#include "zel_release.h"
#include "zel_unit.h"

ZEL_EXTERN_C_BEGIN

/* Slots of the archive's Morton hash table (32 MiB of u32), which is also the
 * most base vertices an archive may index. */
#define ZEL_ALEMBIC_HASH_SIZE 8388608u
/* An empty slot of the hash table. */
#define ZEL_ALEMBIC_EMPTY_SLOT 0xFFFFFFFFu
/* Lattice steps per axis (coordinates 0 to 47). */
#define ZEL_ALEMBIC_MATRIX_SIZE 48u

/* One processed vertex, 40 bytes, stored byte for byte in the archive file.
 * Processing writes the padding bytes as zeros; a loaded record keeps the
 * padding bytes of its file. */
typedef struct zel_alembic_vertex_t {
    float position[3];      /* world position, copied from the input */
    uint8_t matrix[3];      /* lattice coordinates, each 0..47 */
    uint8_t padding0;
    uint64_t morton;        /* 18-bit Morton code of the lattice coordinates */
    int8_t k11_level;       /* ((mx + my + mz) mod 23) - 11 */
    uint8_t i_state;        /* 0, 1, 255 or 2: the state table at (k11_level AND 3) */
    uint8_t padding1[2];
    float phi_norm;         /* scaled distance of the lattice point from the centre */
    float em_coupling;      /* (phi_norm / 48 + 1) x 10.665754, single precision */
    uint32_t topology_hash; /* hash of the faces using the vertex; 0 until the mesh is processed */
} zel_alembic_vertex_t;

/* A token at the start of a 32-byte slot. Processing writes the padding as
 * zeros; the archive file stores whole slots, unit files the 25 token bytes. */
typedef struct zel_alembic_token_slot_t {
    zel_token_t token;
    uint8_t padding[7];
} zel_alembic_token_slot_t;

/* One mesh. It is processed when `vertices` and `tokens` are present. */
typedef struct zel_alembic_mesh_t {
    char name[64];             /* zero-terminated, at most 63 characters */
    uint32_t vertex_count;
    uint32_t face_count;       /* triangles */
    float* positions;          /* owned, x y z per vertex */
    uint32_t* faces;           /* owned, three vertex indices per triangle; may be absent */
    float bounds[6];           /* minimum x y z, then maximum x y z */
    uint32_t reserved;         /* carried unchanged through the archive file */
    zel_alembic_vertex_t* vertices;   /* owned, one record per vertex */
    zel_alembic_token_slot_t* tokens; /* owned, one slot per vertex */
    uint8_t layer;             /* layer given to the last processing */
} zel_alembic_mesh_t;

/* One animation frame: only `vertex_count` and `positions` of its meshes are
 * used, every other mesh field is zero. */
typedef struct zel_alembic_frame_t {
    uint32_t frame_number; /* compared as a signed int by lookups */
    float time;            /* seconds */
    zel_alembic_mesh_t* meshes; /* owned */
    uint32_t mesh_count;
} zel_alembic_frame_t;

/* A token archive. Zero-fill it before its first use. `time_start`,
 * `time_end`, `fps` and `total_faces` are set by whoever assembles it; the
 * library stores, loads and reports them. */
typedef struct zel_alembic_t {
    uint32_t version;
    uint32_t reserved;       /* carried unchanged through the file header */
    char source[256];        /* path the archive was loaded from */
    uint32_t mesh_count;
    zel_alembic_mesh_t* meshes; /* owned base meshes */
    uint32_t frame_count;
    float time_start;
    float time_end;
    float fps;
    zel_alembic_frame_t* frames; /* owned, in file order */
    uint32_t* hash_table;    /* owned, hash_size slots of global vertex indices, followed in
                                the same block by the library's private index; made only by
                                zel_alembic_build_hash_table, released only by the library */
    uint32_t hash_size;      /* ZEL_ALEMBIC_HASH_SIZE once built */
    uint64_t total_vertices; /* sum of the base meshes' vertex counts */
    uint64_t total_faces;    /* as stored in the file; never computed */
    uint64_t total_tokens;   /* equals total_vertices once the table is built */
} zel_alembic_t;

/* One query result; `vertex` and `token` point into the archive (null for
 * frame results) and stay valid until the archive is released. */
typedef struct zel_alembic_result_t {
    uint32_t mesh_index;
    uint32_t vertex_index;
    uint32_t frame_index; /* position in the frame array; 0 for base meshes */
    const zel_alembic_vertex_t* vertex;
    const zel_alembic_token_slot_t* token;
    float distance; /* Morton distance for nearest results, 0 otherwise */
} zel_alembic_result_t;

ZEL_LAYOUT_CHECK(alembic_vertex_size, sizeof(zel_alembic_vertex_t) == 40);
ZEL_LAYOUT_CHECK(alembic_vertex_matrix, offsetof(zel_alembic_vertex_t, matrix) == 12);
ZEL_LAYOUT_CHECK(alembic_vertex_padding0, offsetof(zel_alembic_vertex_t, padding0) == 15);
ZEL_LAYOUT_CHECK(alembic_vertex_morton, offsetof(zel_alembic_vertex_t, morton) == 16);
ZEL_LAYOUT_CHECK(alembic_vertex_k11_level, offsetof(zel_alembic_vertex_t, k11_level) == 24);
ZEL_LAYOUT_CHECK(alembic_vertex_i_state, offsetof(zel_alembic_vertex_t, i_state) == 25);
ZEL_LAYOUT_CHECK(alembic_vertex_padding1, offsetof(zel_alembic_vertex_t, padding1) == 26);
ZEL_LAYOUT_CHECK(alembic_vertex_phi_norm, offsetof(zel_alembic_vertex_t, phi_norm) == 28);
ZEL_LAYOUT_CHECK(alembic_vertex_em_coupling, offsetof(zel_alembic_vertex_t, em_coupling) == 32);
ZEL_LAYOUT_CHECK(alembic_vertex_topology_hash, offsetof(zel_alembic_vertex_t, topology_hash) == 36);
ZEL_LAYOUT_CHECK(alembic_slot_size, sizeof(zel_alembic_token_slot_t) == 32);
ZEL_LAYOUT_CHECK(alembic_slot_padding, offsetof(zel_alembic_token_slot_t, padding) == 25);
ZEL_LAYOUT_CHECK(alembic_mesh_size, sizeof(zel_alembic_mesh_t) == 144);
ZEL_LAYOUT_CHECK(alembic_mesh_vertex_count, offsetof(zel_alembic_mesh_t, vertex_count) == 64);
ZEL_LAYOUT_CHECK(alembic_mesh_face_count, offsetof(zel_alembic_mesh_t, face_count) == 68);
ZEL_LAYOUT_CHECK(alembic_mesh_positions, offsetof(zel_alembic_mesh_t, positions) == 72);
ZEL_LAYOUT_CHECK(alembic_mesh_faces, offsetof(zel_alembic_mesh_t, faces) == 80);
ZEL_LAYOUT_CHECK(alembic_mesh_bounds, offsetof(zel_alembic_mesh_t, bounds) == 88);
ZEL_LAYOUT_CHECK(alembic_mesh_reserved, offsetof(zel_alembic_mesh_t, reserved) == 112);
ZEL_LAYOUT_CHECK(alembic_mesh_vertices, offsetof(zel_alembic_mesh_t, vertices) == 120);
ZEL_LAYOUT_CHECK(alembic_mesh_tokens, offsetof(zel_alembic_mesh_t, tokens) == 128);
ZEL_LAYOUT_CHECK(alembic_mesh_layer, offsetof(zel_alembic_mesh_t, layer) == 136);
ZEL_LAYOUT_CHECK(alembic_frame_size, sizeof(zel_alembic_frame_t) == 24);
ZEL_LAYOUT_CHECK(alembic_frame_time, offsetof(zel_alembic_frame_t, time) == 4);
ZEL_LAYOUT_CHECK(alembic_frame_meshes, offsetof(zel_alembic_frame_t, meshes) == 8);
ZEL_LAYOUT_CHECK(alembic_frame_mesh_count, offsetof(zel_alembic_frame_t, mesh_count) == 16);
ZEL_LAYOUT_CHECK(alembic_archive_size, sizeof(zel_alembic_t) == 344);
ZEL_LAYOUT_CHECK(alembic_archive_reserved, offsetof(zel_alembic_t, reserved) == 4);
ZEL_LAYOUT_CHECK(alembic_archive_source, offsetof(zel_alembic_t, source) == 8);
ZEL_LAYOUT_CHECK(alembic_archive_mesh_count, offsetof(zel_alembic_t, mesh_count) == 264);
ZEL_LAYOUT_CHECK(alembic_archive_meshes, offsetof(zel_alembic_t, meshes) == 272);
ZEL_LAYOUT_CHECK(alembic_archive_frame_count, offsetof(zel_alembic_t, frame_count) == 280);
ZEL_LAYOUT_CHECK(alembic_archive_time_start, offsetof(zel_alembic_t, time_start) == 284);
ZEL_LAYOUT_CHECK(alembic_archive_time_end, offsetof(zel_alembic_t, time_end) == 288);
ZEL_LAYOUT_CHECK(alembic_archive_fps, offsetof(zel_alembic_t, fps) == 292);
ZEL_LAYOUT_CHECK(alembic_archive_frames, offsetof(zel_alembic_t, frames) == 296);
ZEL_LAYOUT_CHECK(alembic_archive_hash_table, offsetof(zel_alembic_t, hash_table) == 304);
ZEL_LAYOUT_CHECK(alembic_archive_hash_size, offsetof(zel_alembic_t, hash_size) == 312);
ZEL_LAYOUT_CHECK(alembic_archive_total_vertices, offsetof(zel_alembic_t, total_vertices) == 320);
ZEL_LAYOUT_CHECK(alembic_archive_total_faces, offsetof(zel_alembic_t, total_faces) == 328);
ZEL_LAYOUT_CHECK(alembic_archive_total_tokens, offsetof(zel_alembic_t, total_tokens) == 336);
ZEL_LAYOUT_CHECK(alembic_result_size, sizeof(zel_alembic_result_t) == 40);
ZEL_LAYOUT_CHECK(alembic_result_frame_index, offsetof(zel_alembic_result_t, frame_index) == 8);
ZEL_LAYOUT_CHECK(alembic_result_vertex, offsetof(zel_alembic_result_t, vertex) == 16);
ZEL_LAYOUT_CHECK(alembic_result_token, offsetof(zel_alembic_result_t, token) == 24);
ZEL_LAYOUT_CHECK(alembic_result_distance, offsetof(zel_alembic_result_t, distance) == 32);

/* ---- Mesh-to-token processing ------------------------------------------- */

/* Bounds of count positions (x y z each) into bounds: minimum x y z, then
 * maximum x y z. Nothing happens for null pointers or count 0. */
ZEL_API void zel_alembic_compute_bounds(const float* positions, uint32_t count, float* bounds);

/* Lattice coordinates (0..47 per axis) of a world point within bounds:
 * ((value - min) / extent) x 47, truncated and clamped; an extent below 0.0001
 * counts as 1, a NaN gives 0. Nothing happens when any pointer is null. */
ZEL_API void zel_alembic_world_to_matrix(float x, float y, float z, const float* bounds, uint8_t* mx,
                                         uint8_t* my, uint8_t* mz);

/* World point of lattice coordinates: (m / 47) x (max - min) + min per axis.
 * Nothing happens when any pointer is null. */
ZEL_API void zel_alembic_matrix_to_world(uint8_t mx, uint8_t my, uint8_t mz, const float* bounds, float* x,
                                         float* y, float* z);

/* Fills record from a position within bounds: lattice coordinates, Morton
 * code, level, state, phi_norm, em_coupling; topology_hash and the padding
 * become 0. Nothing happens when any pointer is null. */
ZEL_API void zel_alembic_process_vertex(const float* position, const float* bounds,
                                        zel_alembic_vertex_t* record);

/* Topology hash of vertex over face_count triangles: from 0x5A5A5A5A, every
 * face naming the vertex folds in rotl32((a x 0x1F1F1F1F) ^ (b x 0x2E2E2E2E)
 * ^ (c x 0x3D3D3D3D) ^ h, 5), in array order. 0 for null faces or count 0. */
ZEL_API uint32_t zel_alembic_topology_hash(uint32_t vertex, const uint32_t* faces, uint32_t face_count);

/* Token of a processed record: its Morton code; hex_id "%08X" of
 * (id_high << 24) | (vertex AND 0xFFFFFF), no terminator; signature
 * topology_hash ^ morton ^ mx << 48 ^ my << 40 ^ mz << 32; the layer. Nothing
 * happens when record or token is null. */
ZEL_API void zel_alembic_generate_token(const zel_alembic_vertex_t* record, uint8_t layer, uint32_t id_high,
                                        uint32_t vertex, zel_token_t* token);

/* Processes a mesh in place at layer: allocates `vertices` and `tokens` when
 * absent (reuses them otherwise), recomputes the bounds from the positions
 * when minimum x and maximum x are both 0, then fills every vertex record
 * (with its topology hash) and token slot (id_high 0), padding zeroed.
 * 0; -1 null mesh, no vertices, or no positions (mesh untouched); -4 the
 * record or slot array cannot be allocated (an array obtained before stays
 * attached). */
ZEL_API int32_t zel_alembic_process_mesh(zel_alembic_mesh_t* mesh, uint8_t layer);

/* ---- Meshes, archives and the archive file ------------------------------ */

/* Builds a mesh from raw arrays: zeroes it, copies the name (at most 63
 * characters, "unnamed" for null), the positions and, when faces is not null
 * and face_count not 0, the faces (otherwise `faces` stays absent and the
 * count as given); computes the bounds and processes the mesh at layer 1.
 * 0; -1 null positions or mesh, or vertex_count 0 (the record keeps its
 * name, counts and copied arrays); -4 an allocation failed (after a failed
 * face copy the record holds no arrays). */
ZEL_API int32_t zel_alembic_load_raw(const float* positions, uint32_t vertex_count, const uint32_t* faces,
                                     uint32_t face_count, const char* name, zel_alembic_mesh_t* mesh);

/* Writes the archive file: 64-byte header, one block per base mesh, one per
 * frame. Padding bytes of records are written as they are held (zeros for
 * processed meshes). 0; -1 null argument, an inconsistent archive (a base
 * mesh with vertices but without positions, vertex records or token slots,
 * or with faces claimed but absent; a frame mesh with vertices but no
 * positions; a count with a null array), or the file cannot be created (no
 * file is written for an inconsistent archive); -2 a write or the close
 * failed (the partial file stays). */
ZEL_API int32_t zel_alembic_save(const char* path, const zel_alembic_t* archive);

/* Loads an archive file into a zero-filled archive, sets `source` and builds
 * the hash table (an archive without table is still loaded). Every count is
 * checked against the bytes left in the file before it sizes anything.
 * 0; -1 null argument, or the file cannot be opened or measured; -2 header
 * shorter than 64 bytes or magic not "BZEL"; -3 version above 1 (`version`
 * keeps the value read); -4 an allocation failed; -5 a count the rest of the
 * file cannot hold, or a truncated body. After -4 and -5 everything read is
 * released, the archive as after zel_alembic_free. */
ZEL_API int32_t zel_alembic_load(const char* path, zel_alembic_t* archive);

/* Releases every array of the base meshes, the frames and the hash table,
 * clears the pointers and sets the counts to 0; `source`, totals, times and
 * fps stay. A null archive is ignored. */
ZEL_API void zel_alembic_free(zel_alembic_t* archive);

/* Releases the mesh's four arrays and sets both counts to 0; name, bounds,
 * reserved and layer stay. A null mesh is ignored. */
ZEL_API void zel_alembic_mesh_free(zel_alembic_mesh_t* mesh);

/* Sets total_vertices and total_tokens to the sum of the base vertex counts,
 * releases any table present, and builds the Morton hash table: each vertex
 * in global order takes the first free slot from its key's home slot (linear
 * probing), so equal keys follow one another in ascending global index. The
 * slots are found in near-constant time each, however many vertices share a
 * key. Base meshes without vertex records or token slots keep their place in
 * the global numbering but are not indexed. After the slots, in the same
 * block, comes a private index of the base vertices ordered by key, through
 * which lookups and the nearest search answer; it describes the base meshes
 * as they are now, so build the table again after changing them.
 * 0; -1 null archive or no base meshes (table untouched); -4 more than
 * ZEL_ALEMBIC_HASH_SIZE base vertices, or the table or its working memory
 * (32 MiB of links and 32 bytes per vertex while building) cannot be
 * allocated (the archive then has no table). */
ZEL_API int32_t zel_alembic_build_hash_table(zel_alembic_t* archive);

/* ---- Queries and time sampling ------------------------------------------ */
/* Every query treats a base mesh without vertex records or token slots as
 * holding no vertices. */

/* Finds the base vertex of lowest global index whose Morton code is key: the
 * vertex that probing the hash table from the key's home slot meets first.
 * Constant time through the table's private index; when the base meshes have
 * changed since the build (another array or count, or a vertex that no longer
 * matches), by that probe. 0; -1 null argument, no table (or a table not of
 * ZEL_ALEMBIC_HASH_SIZE slots), or key not present. */
ZEL_API int32_t zel_alembic_lookup_morton(const zel_alembic_t* archive, uint64_t key,
                                          zel_alembic_result_t* result);

/* Addresses a vertex directly: in the first frame numbered frame_number when
 * that is not 0 and the archive has frames (result without record pointers),
 * otherwise in the base meshes. 0; -1 null argument, frame not found, or an
 * index out of range. */
ZEL_API int32_t zel_alembic_lookup_frame_vertex(const zel_alembic_t* archive, int32_t frame_number,
                                                uint32_t mesh_index, uint32_t vertex_index,
                                                zel_alembic_result_t* result);

/* The k base vertices nearest to key by Morton distance (the integer square
 * root of |key - morton|), ascending, equal distances in scan order. With a
 * hash table built over the current base meshes, the search walks outwards
 * from key through the table's private index, in time that grows with k and
 * not with the archive; otherwise it scans every base vertex. Returns the
 * number written (at most k and the number of vertices); 0 for k < 1, null
 * arguments or a failed allocation. */
ZEL_API int32_t zel_alembic_query_nearest(const zel_alembic_t* archive, uint64_t key, int32_t k,
                                          zel_alembic_result_t* results);

/* Base vertices whose token layer equals layer, in scan order, at most
 * capacity. Returns the number written; 0 for null arguments, capacity < 1
 * or no base meshes. */
ZEL_API int32_t zel_alembic_query_layer(const zel_alembic_t* archive, uint8_t layer,
                                        zel_alembic_result_t* results, int32_t capacity);

/* Shallow copy of one mesh record into mesh: the first base mesh of an
 * archive without frames, otherwise the first mesh of the first frame
 * numbered frame_number that has meshes. The arrays stay the archive's.
 * 0; -1 null argument, no base mesh, or no such frame. */
ZEL_API int32_t zel_alembic_sample_frame(const zel_alembic_t* archive, int32_t frame_number,
                                         zel_alembic_mesh_t* mesh);

/* Positions of the first mesh interpolated linearly at time between the
 * first pair of successive frames whose times enclose it; two frames of equal
 * time give the earlier frame's positions. Writes only `vertex_count` and a
 * new `positions` array that the caller releases (free, or zel_release
 * where the runtimes differ). 0; -1 null argument, fewer
 * than 2 frames, no enclosing pair (or a NaN time), a frame of the pair
 * without meshes, vertex counts that differ, or positions missing; -4 the
 * positions cannot be allocated. */
ZEL_API int32_t zel_alembic_interpolate_time(const zel_alembic_t* archive, float time, zel_alembic_mesh_t* mesh);

/* first = 0, last = frame_count - 1 (0 without frames), fps; each output may
 * be null. A null archive writes nothing. */
ZEL_API void zel_alembic_get_frame_range(const zel_alembic_t* archive, uint32_t* first, uint32_t* last,
                                         float* fps);

/* ---- Export, reports and validation ------------------------------------- */

/* Writes the mesh's tokens as a unit file: 24-byte header ("ZEL\0", version
 * 1, count = vertex_count, reserved 0, timestamp 0) and the 25 token bytes of
 * every slot in vertex order. 0; -1 null argument, no vertices, no token
 * slots, or the file cannot be created; -2 a write or the close failed. */
ZEL_API int32_t zel_alembic_export_zel(const zel_alembic_mesh_t* mesh, const char* path);

/* Writes the tokens of every base mesh with vertices as one unit file, mesh
 * after mesh; frames contribute nothing. 0; -1 null argument, no base meshes,
 * a vertex total above 32 bits, a base mesh with vertices but no token slots
 * (no file written for these), or the file cannot be created; -2 a write or
 * the close failed. */
ZEL_API int32_t zel_alembic_export_file_zel(const zel_alembic_t* archive, const char* path);

/* Text report on one mesh into buffer (at most buffer_size - 1 characters
 * and a terminating zero, cut when longer). Nothing is written for a null
 * buffer or mesh or a size below 1. */
ZEL_API void zel_alembic_mesh_info(const zel_alembic_mesh_t* mesh, char* buffer, int32_t buffer_size);

/* Text report on an archive, with the same guards and bounds. */
ZEL_API void zel_alembic_file_info(const zel_alembic_t* archive, char* buffer, int32_t buffer_size);

/* First failure found: 0 all passed; -1 null archive; -2 no base meshes; then
 * per base mesh in order: -3 no positions, -4 vertex_count 0, and per vertex
 * record (when present) -5 a matrix coordinate above 47, -6 a k11_level
 * outside -11..11. */
ZEL_API int32_t zel_alembic_validate(const zel_alembic_t* archive);

ZEL_EXTERN_C_END

#endif /* ZEL_ALEMBIC_H */
