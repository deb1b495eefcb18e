/* An Alembic archive in the Ogawa container, opened for reading, and the
 * polygon mesh read out of it. The reader checks the container header, keeps
 * the file open, and finds mesh arrays by walking the container's node tree
 * and classifying the data blocks it meets, or, when that finds no positions,
 * by scanning the file for blocks of plausible shape. It decodes no Alembic
 * metadata. */
#ifndef OGAWA_ARCHIVE_H
#define OGAWA_ARCHIVE_H

#include <stdio.h>

#include "ogawa_polymesh.h"
#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Object schemas (ogawa_schema_t values); 6 and 7 are unassigned. */
typedef uint32_t ogawa_schema_t;
#define OGAWA_SCHEMA_UNKNOWN 0u
#define OGAWA_SCHEMA_XFORM 1u
#define OGAWA_SCHEMA_POLYMESH 2u
#define OGAWA_SCHEMA_SUBD 3u
#define OGAWA_SCHEMA_POINTS 4u
#define OGAWA_SCHEMA_CURVES 5u
#define OGAWA_SCHEMA_CAMERA 8u

/* The record behind ogawa_object_t.aux_record: it owns one buffer. */
typedef struct ogawa_aux_record_t {
    void* data; /* owned */
    uint64_t size;
} ogawa_aux_record_t;

/* One object of an archive's object tree. The library never builds one on the
 * heap; a host that builds a tree releases it with ogawa_free_object. */
typedef struct ogawa_object_t {
    char name[256];  /* NUL-terminated */
    char path[1024]; /* full object path, NUL-terminated */
    ogawa_schema_t schema;
    uint32_t reserved0;             /* unused, zero */
    ogawa_polymesh_t* polymesh;     /* owned heap record, may be null */
    ogawa_aux_record_t* aux_record; /* owned heap record, may be null */
    void* reserved1;                /* unused, null; never released */
    struct ogawa_object_t** children; /* owned array of owned heap objects */
    uint32_t child_count;
} ogawa_object_t;

/* The typedef is shared with zel_mesh.h, which only needs the name; C99
 * allows a typedef once. */
#ifndef OGAWA_ARCHIVE_T_DEFINED
#define OGAWA_ARCHIVE_T_DEFINED
typedef struct ogawa_archive_t ogawa_archive_t;
#endif

/* One open archive; the caller provides the storage. */
struct ogawa_archive_t {
    char path[1024]; /* at most 1023 characters of the path given to open */
    FILE* file;      /* null when not open */
    uint8_t version_major;
    uint8_t version_minor;
    uint64_t reserved;             /* never read or written; zero after open */
    ogawa_object_t** objects;      /* owned array of owned heap objects; the library adds none */
    uint32_t object_count;
    ogawa_polymesh_t** polymeshes; /* owned: the first-mesh cache (0 or 1 entry) */
    uint32_t polymesh_count;
    double start_time; /* seconds: 0.0 after open */
    double end_time;   /* seconds: 1.0 after open */
    double fps;        /* 24.0 after open */
    ogawa_object_t root; /* cleared by open, never filled */
};

ZEL_LAYOUT_CHECK(aux_record_size, sizeof(ogawa_aux_record_t) == 16);
ZEL_LAYOUT_CHECK(object_schema, offsetof(ogawa_object_t, schema) == 1280);
ZEL_LAYOUT_CHECK(object_polymesh, offsetof(ogawa_object_t, polymesh) == 1288);
ZEL_LAYOUT_CHECK(object_aux_record, offsetof(ogawa_object_t, aux_record) == 1296);
ZEL_LAYOUT_CHECK(object_reserved1, offsetof(ogawa_object_t, reserved1) == 1304);
ZEL_LAYOUT_CHECK(object_children, offsetof(ogawa_object_t, children) == 1312);
ZEL_LAYOUT_CHECK(object_child_count, offsetof(ogawa_object_t, child_count) == 1320);
ZEL_LAYOUT_CHECK(object_size, sizeof(ogawa_object_t) == 1328);
ZEL_LAYOUT_CHECK(archive_file, offsetof(ogawa_archive_t, file) == 1024);
ZEL_LAYOUT_CHECK(archive_version_major, offsetof(ogawa_archive_t, version_major) == 1032);
ZEL_LAYOUT_CHECK(archive_version_minor, offsetof(ogawa_archive_t, version_minor) == 1033);
ZEL_LAYOUT_CHECK(archive_reserved, offsetof(ogawa_archive_t, reserved) == 1040);
ZEL_LAYOUT_CHECK(archive_objects, offsetof(ogawa_archive_t, objects) == 1048);
ZEL_LAYOUT_CHECK(archive_object_count, offsetof(ogawa_archive_t, object_count) == 1056);
ZEL_LAYOUT_CHECK(archive_polymeshes, offsetof(ogawa_archive_t, polymeshes) == 1064);
ZEL_LAYOUT_CHECK(archive_polymesh_count, offsetof(ogawa_archive_t, polymesh_count) == 1072);
ZEL_LAYOUT_CHECK(archive_start_time, offsetof(ogawa_archive_t, start_time) == 1080);
ZEL_LAYOUT_CHECK(archive_fps, offsetof(ogawa_archive_t, fps) == 1096);
ZEL_LAYOUT_CHECK(archive_root, offsetof(ogawa_archive_t, root) == 1104);
ZEL_LAYOUT_CHECK(archive_size, sizeof(ogawa_archive_t) == 2432);

/* Clears the record, opens path for binary reading and checks the header:
 * "Ogawa", the frozen byte 0xFF, two version bytes and the 8-byte root group
 * position. The record holds the open stream until ogawa_close.
 * 0 header accepted; -1 null argument (record untouched), the file cannot be
 * opened, or fewer than 5 bytes; -2 the magic differs; -3 byte 5 missing or
 * not 0xFF; -4 the version bytes missing; -5 the root position missing. On
 * every failure the stream is closed and `file` is null. */
ZEL_API int ogawa_open(const char* path, ogawa_archive_t* archive);

/* Closes the stream, releases the first-mesh cache and the objects array
 * (each object with ogawa_free_object), then clears the record. Null is
 * ignored. A closed record may be opened again. */
ZEL_API void ogawa_close(ogawa_archive_t* archive);

/* Writes a report into buffer (bounded by size, always terminated, cut when
 * too long): "Ogawa Archive\n=============\nPath: ...\nVersion: M.m\nObjects:
 * N\nPolyMeshes: N\nTime Range: 0.000 - 1.000 sec\nFPS: 24.00", no trailing
 * newline. Does nothing when buffer or archive is null or size < 1. */
ZEL_API void ogawa_get_info(const ogawa_archive_t* archive, char* buffer, int size);

/* The schema named anywhere in text (case-sensitive), tested in the order
 * PolyMesh, SubD, Points, Xform, Curves, Camera; OGAWA_SCHEMA_UNKNOWN for null
 * or no match. */
ZEL_API ogawa_schema_t ogawa_schema_from_string(const char* text);

/* "Xform", "PolyMesh", "SubD", "Points", "Curves", "Camera", or "Unknown" for
 * every other value. The string is static. */
ZEL_API const char* ogawa_schema_to_string(ogawa_schema_t schema);

/* Releases a heap object with its mesh, its aux record and buffer, and its
 * children (recursively), then the object itself. Null is ignored. */
ZEL_API void ogawa_free_object(ogawa_object_t* object);

/* Reads one polygon mesh into mesh, which is cleared first without releasing
 * anything (pass a filled record to ogawa_free_polymesh before). name and path
 * come from object, or are "mesh" and "/mesh" without one; the sample index
 * is not consulted.
 * Tree path: the data blocks under the top object's group are classified by
 * size and first words; the largest block of each kind is read as positions,
 * normals, face counts and face indices. In an archive whose root group starts
 * with two 4-byte data nodes (the archive and library versions every writer
 * stores), each block is taken to start with a 16-byte key, which is skipped.
 * Normals are per vertex (scope 3) when they hold exactly position_count
 * entries and that differs from face_index_count, else per face corner (4).
 * Fallback, when the tree path finds no positions block: positions from a
 * large block of float triples whose size field lies in the first 2 KiB,
 * normals from a block of unit vectors anywhere in the file, triangles from
 * the longest run of small integers.
 * 0 with at least one position; -1 null argument or no positions; -2 the
 * fallback's position array cannot be allocated. An array that cannot be
 * allocated or read whole is left null with count 0.
 * The read goes through a read-only mapping of the file where the system
 * can make one: the file must not be cut shorter by another process while a
 * read runs. */
ZEL_API int ogawa_read_polymesh(ogawa_archive_t* archive, const ogawa_object_t* object,
                                uint32_t sample_index, ogawa_polymesh_t* mesh);

/* The archive's first mesh, read on the first call (named "mesh", "/mesh")
 * and cached in the archive, which releases it in ogawa_close. Null when the
 * archive is null or the read fails (a later call tries again). When the cache
 * itself cannot be allocated the mesh is returned uncached and the caller owns
 * it (release with ogawa_free_polymesh, then free). */
ZEL_API ogawa_polymesh_t* ogawa_get_first_polymesh(ogawa_archive_t* archive);

/* Positions alone, by the fallback's position scan (the tree is not
 * consulted, nor are object and sample index). *positions receives an array
 * of 3 * *count floats that the caller releases with free(); only triples of
 * finite components of magnitude at most 10000 are kept.
 * 0 success; -1 null argument or no block of at least 100 triples (outputs
 * untouched), or nothing read or kept (outputs null and 0); -2 the array
 * cannot be allocated (outputs null and 0). */
ZEL_API int ogawa_read_positions(ogawa_archive_t* archive, const ogawa_object_t* object,
                                 uint32_t sample_index, float** positions, uint32_t* count);

ZEL_EXTERN_C_END

#endif /* OGAWA_ARCHIVE_H */
