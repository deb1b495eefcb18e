/* An Alembic archive in the Ogawa container, opened for reading, and the
 * polygon mesh read out of it.
 *
 * ogawa_open checks the container header and then decodes only what the
 * archive says about itself at its top: the root group, the archive
 * metadata, the time samplings, the indexed metadata and the top object's
 * group with the headers of its children (name, metadata, schema). Its cost
 * does not grow with the scene below the top level. Every other object's
 * group is decoded the first time a call needs it, then kept: a read by path
 * descends from the top one level at a time, decoding only the objects on
 * the way (among many siblings a name is found through a table after the
 * first lookup); a read of the first mesh descends depth-first until it
 * finds it. Instances are resolved when a call first meets them. The calls
 * that number objects in pre-order (the object index below, the property
 * calls, the report's counts) decode the whole tree on their first call. An
 * object's property headers are decoded the first time a read needs them,
 * then kept; a property group found then not to hold the samples its header
 * promises makes that object's reads fail (-1). When the open's decoding
 * succeeds the archive is *described*: the object index below lists its
 * tree, the time fields hold its animated range, the report counts its
 * objects and the mesh readers read the meshes and samples it names, exactly
 * as stored. `objects` stays empty until ogawa_load_objects fills it.
 *
 * When the decoding fails the archive is either *damaged* or *undescribed*
 * (ogawa_archive_state). Damaged: a node that opening reads (the root, its
 * children, the top object's group and headers) is referenced past the end
 * of the file, a group's children or a data node run past the end, or a
 * group contains itself, as a file cut short or overwritten leaves it.
 * Writers write the root and the top object last, at the end of the file, so
 * a file cut short or with its tail overwritten is refused at open. Damage is
 * judged on what has been read: a later call that decodes an object group
 * may find it damaged (or its headers not decoding, or the budget below
 * spent); that call fails as a read of a damaged archive does, and from then
 * on the archive is damaged, with its problem, and every call answers as it
 * does for a damaged archive (texts and records handed out before stay valid
 * until ogawa_close). Running out of memory while decoding lazily fails only
 * that call (-1, or 0 for counts) and leaves the state alone: a later call
 * tries again. Every mesh and attribute read of a damaged archive fails (-1)
 * with its outputs cleared. Undescribed: the container is whole but its
 * Alembic layer does not decode at open; it reads exactly as a bare
 * container: the mesh readers find mesh arrays by walking the node tree and
 * classifying the data blocks they meet, or by scanning the file for blocks
 * of plausible shape. Those are guesses, and a host should say so; an
 * archive described at open never reads by guesses.
 *
 * Decoding is bounded for hostile files. Nothing is read outside the file
 * and no allocation is sized by a count the file cannot hold. Every node the
 * decoder reads spends from one budget of size / 4 units for a file of size
 * bytes (a node, or 8 bytes of a header block, is one unit): a file whose
 * nodes are all distinct, as writers make them, needs at most size / 8, so
 * groups shared to expand the tree run out of budget. What instances add to
 * the tree spends from a second budget of the same size. Groups nest at most
 * 256 below the root group (the top object is 1, a top-level object 2); a
 * group met again below itself is damage. A real scene of 100,000 objects
 * fits these budgets. Memory follows what was decoded: 48 bytes an object as
 * written and 36 an object as read, 48 a decoded property, plus their texts
 * (the header blocks of decoded groups, full paths once asked for), 4 bytes
 * an object for the index once made, and 16 to 32 bytes a child for the
 * table of a group whose children were looked up by name twice. */
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

/* One object of an archive's object tree, as ogawa_load_objects builds it
 * on the heap (polymesh and aux_record stay null); a host that builds a tree
 * of its own releases it with ogawa_free_object. name is cut at 255 bytes and
 * path at 1,023: an object whose full path is longer cannot be found by its
 * path. schema comes from the object's `schema` metadata through
 * ogawa_schema_from_string. */
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

/* One object of the tree as ogawa_get_object reports it. The texts are
 * owned by the archive and valid until ogawa_close. */
typedef struct ogawa_object_info_t {
    const char* name;
    const char* path;        /* full path, "/a/b" */
    const char* schema_text; /* the schema metadata as written, "" when there is none */
    ogawa_schema_t schema;
    uint32_t parent;       /* index of the parent, UINT32_MAX for a top-level object */
    uint32_t depth;        /* 1 for a top-level object: the number of '/' in its path */
    uint32_t next_sibling; /* the index after this object's subtree */
    const char* instance_source; /* an instance: the full path of the object it stands for; else "" */
} ogawa_object_info_t;

ZEL_LAYOUT_CHECK(object_info_schema, offsetof(ogawa_object_info_t, schema) == 24);
ZEL_LAYOUT_CHECK(object_info_next_sibling, offsetof(ogawa_object_info_t, next_sibling) == 36);
ZEL_LAYOUT_CHECK(object_info_instance_source, offsetof(ogawa_object_info_t, instance_source) == 40);
ZEL_LAYOUT_CHECK(object_info_size, sizeof(ogawa_object_info_t) == 48);

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
    /* The library's own: the decoded description of a described archive
     * (released by ogawa_close), 0 when undescribed. Hosts leave it alone. */
    uint64_t reserved;
    /* Owned array of owned heap objects: the top-level objects with their
     * children, once ogawa_load_objects filled it; null and 0 until then.
     * Released by ogawa_close. */
    ogawa_object_t** objects;
    uint32_t object_count;
    ogawa_polymesh_t** polymeshes; /* owned: the first-mesh cache (0 or 1 entry) */
    uint32_t polymesh_count;
    /* Seconds: the earliest first and the latest last sample time over the
     * animated time samplings (index 1 on, at least 2 samples), and fps = 1 /
     * time per cycle of the first uniform one among them. Without animated
     * samplings, or undescribed: 0.0, 1.0 and 24.0 (fps also when no animated
     * sampling is uniform). */
    double start_time;
    double end_time;
    double fps;
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
 * position. The record holds the open stream until ogawa_close. An accepted
 * header is followed by the decoding of the description (see the top of this
 * header); an archive that cannot be described still opens (0).
 * 0 header accepted; -1 null argument (record untouched), the file cannot be
 * opened, or fewer than 5 bytes; -2 the magic differs; -3 byte 5 missing or
 * not 0xFF; -4 the version bytes missing; -5 the root position missing. On
 * every failure the stream is closed and `file` is null. */
ZEL_API int ogawa_open(const char* path, ogawa_archive_t* archive);

/* Closes the stream, releases the first-mesh cache and the objects array
 * (each object with ogawa_free_object), then clears the record. Null is
 * ignored. A closed record may be opened again. */
ZEL_API void ogawa_close(ogawa_archive_t* archive);

/* What opening found, or a later decoding (see the top of this header): 0
 * described, 1 undescribed (the container is whole but its Alembic layer
 * does not decode), 2 damaged; -1 for a null or unopened archive. */
ZEL_API int ogawa_archive_state(const ogawa_archive_t* archive);

/* A short static text saying what was found first when the archive is not
 * described (for example "a node reference points past the end of the
 * file"); "" when it is described, null or not open. */
ZEL_API const char* ogawa_archive_problem(const ogawa_archive_t* archive);

/* The object index of a described archive: its objects in pre-order.
 * Undescribed and damaged archives have none. The first call of any of these
 * (and of the property calls, which number objects the same way) decodes
 * the whole tree, which may find it damaged (see the top of this header):
 * they then answer as for a damaged archive. */

/* The number of objects; 0 for a null, undescribed or damaged archive, or
 * when the tree cannot be decoded for want of memory. */
ZEL_API uint32_t ogawa_object_count(const ogawa_archive_t* archive);

/* Object index into info; once the tree is decoded it decodes nothing new.
 * Returns: 0; -1 null argument, index past the count, or no memory for its
 * path. */
ZEL_API int ogawa_get_object(const ogawa_archive_t* archive, uint32_t index, ogawa_object_info_t* info);

/* The sample count of the object's schema: of P for a PolyMesh or SubD, the
 * largest of .ops, .vals and .inherits for an Xform; 0 for other schemas and
 * on error. Decodes the object's property headers on first use. */
ZEL_API uint32_t ogawa_object_samples(ogawa_archive_t* archive, uint32_t index);

/* The index of the object whose full path is path, or -1 (also for null
 * arguments). The path is looked up level by level: the first object of each
 * name (writers write no siblings of one name), through the sibling table
 * among many. Paths longer than 1,023 bytes name nothing, nor does a path
 * through a name that holds '/' (which writers do not write). */
ZEL_API int32_t ogawa_find_object(const ogawa_archive_t* archive, const char* path);

/* Fills `objects` and object_count with the tree as heap records (names cut
 * at 255 bytes, paths at 1,023), released by ogawa_close. Idempotent.
 * Returns: 0; -1 null, undescribed or damaged archive; -2 an allocation
 * failed (nothing filled). */
ZEL_API int ogawa_load_objects(ogawa_archive_t* archive);

/* What the archive says about itself. Every text and array handed out is
 * owned by the archive and valid until ogawa_close. */

/* The archive metadata as written (key=value pairs separated by ';'); "" for
 * a null archive or one that is not described. */
ZEL_API const char* ogawa_archive_metadata(const ogawa_archive_t* archive);

/* One time sampling. kind: 0 uniform (one stored time, then a sample every
 * time_per_cycle), 1 cyclic (time_count times a cycle), 2 acyclic (every
 * sample's time stored). */
typedef struct ogawa_time_sampling_info_t {
    uint32_t kind;
    double time_per_cycle;
    uint32_t time_count;
    const double* times; /* time_count stored times */
    uint32_t max_samples; /* the most samples any property on it holds */
} ogawa_time_sampling_info_t;

ZEL_LAYOUT_CHECK(time_sampling_times, offsetof(ogawa_time_sampling_info_t, times) == 24);
ZEL_LAYOUT_CHECK(time_sampling_size, sizeof(ogawa_time_sampling_info_t) == 40);

/* The number of time samplings (sampling 0 included); 0 when not described. */
ZEL_API uint32_t ogawa_time_sampling_count(const ogawa_archive_t* archive);
/* Returns: 0; -1 null argument, not described, or index past the count. */
ZEL_API int ogawa_get_time_sampling(const ogawa_archive_t* archive, uint32_t index, ogawa_time_sampling_info_t* info);

/* One property of an object. kind: 0 compound, 1 scalar, 2 array. pod: 0
 * bool, 1 u8, 2 i8, 3 u16, 4 i16, 5 u32, 6 i32, 7 u64, 8 i64, 9 f16, 10 f32,
 * 11 f64, 12 string, 13 wide string (compounds: 0). stored_count 1 means
 * constant. */
typedef struct ogawa_property_info_t {
    const char* name;
    const char* path; /* inside the object, ".geom/P" */
    const char* metadata;
    uint32_t kind;
    uint32_t pod;
    uint32_t extent;
    uint32_t sample_count;
    uint32_t stored_count;
    uint32_t time_sampling;
    uint32_t depth; /* 1 for the object's top-level properties */
} ogawa_property_info_t;

ZEL_LAYOUT_CHECK(property_info_kind, offsetof(ogawa_property_info_t, kind) == 24);
ZEL_LAYOUT_CHECK(property_info_depth, offsetof(ogawa_property_info_t, depth) == 48);
ZEL_LAYOUT_CHECK(property_info_size, sizeof(ogawa_property_info_t) == 56);

/* The property calls number objects as the object index does (decoding the
 * whole tree on their first call). */

/* Decodes the object's property headers if they are not yet decoded (every
 * reader of its properties does so on first use): each compound's header
 * block, and each scalar or array property's group, which must hold the
 * samples its header promises. An object without properties decodes to none.
 * Returns: 0 decoded; -1 null archive, not described, or index past the
 * count; -2 the headers do not decode (damaged, or a property's group short
 * of its samples; a later call gives -2 again); -3 out of memory (a later
 * call tries again). */
ZEL_API int ogawa_decode_properties(ogawa_archive_t* archive, uint32_t object_index);

/* The object's properties in pre-order, nested compounds included; decodes
 * its property headers on first use. 0 for a bad index, an archive that is
 * not described, or properties that do not decode (ogawa_decode_properties
 * tells these from an object without properties). */
ZEL_API uint32_t ogawa_property_count(ogawa_archive_t* archive, uint32_t object_index);
/* Returns: 0; -1 null argument, bad index, or not described. */
ZEL_API int ogawa_get_property(ogawa_archive_t* archive, uint32_t object_index, uint32_t property_index,
                               ogawa_property_info_t* info);

/* Checks every stored sample of a scalar or array property against the
 * 16-byte digest stored before its values (MurmurHash3 x64 128, seed 0, over
 * the value bytes), and writes the indices of up to capacity stored samples
 * that do not match into mismatched (may be null when capacity is 0).
 * Calling it decodes the whole tree first, so that a check of every
 * object's properties also finds structural damage (the archive is then
 * damaged and every call fails).
 * Returns: the number of stored samples that do not match (0 for a
 * compound); -1 null archive, bad index, not described, or a sample node
 * that is damaged (out of the file or cut short). */
ZEL_API int32_t ogawa_verify_samples(ogawa_archive_t* archive, uint32_t object_index, uint32_t property_index,
                                     uint32_t* mismatched, uint32_t capacity);

/* Writes a report into buffer (bounded by size, always terminated, cut when
 * too long): "Ogawa Archive\n=============\nPath: ...\nVersion: M.m\nObjects:
 * N\nPolyMeshes: N\nTime Range: 0.000 - 1.000 sec\nFPS: 24.00", no trailing
 * newline, with the record's fields. Of a described archive, Objects counts
 * every object of its tree and PolyMeshes every object of schema PolyMesh
 * (the report decodes the whole tree for them); otherwise they are
 * object_count and polymesh_count. Does nothing when buffer or archive is
 * null or size < 1. */
ZEL_API void ogawa_get_info(const ogawa_archive_t* archive, char* buffer, int size);

/* The schema named anywhere in text (case-sensitive), tested in the order
 * PolyMesh, SubD, Points, Xform, Curve (writers write AbcGeom_Curve_v2; it
 * covers Curves too), Camera; OGAWA_SCHEMA_UNKNOWN for null or no match.
 * FaceSet, NuPatch, Light, Material and other schemas are unknown here: the
 * object index gives their schema text. */
ZEL_API ogawa_schema_t ogawa_schema_from_string(const char* text);

/* "Xform", "PolyMesh", "SubD", "Points", "Curves", "Camera", or "Unknown" for
 * every other value. The string is static. */
ZEL_API const char* ogawa_schema_to_string(ogawa_schema_t schema);

/* Releases a heap object with its mesh, its aux record and buffer, and its
 * children (recursively), then the object itself. Null is ignored. */
ZEL_API void ogawa_free_object(ogawa_object_t* object);

/* Reads one polygon mesh into mesh, which is cleared first without releasing
 * anything (pass a filled record to ogawa_free_polymesh before).
 *
 * Described archives: the mesh is the object whose full path equals
 * object->path (a PolyMesh, or a SubD read as its control cage; any other
 * schema, or no such object, is -1), or with a null object the first
 * PolyMesh in pre-order whose sample 0 holds a position. sample_index picks
 * its sample: past the last one, or one without positions, is -1. name and
 * path are the object's; positions, face_counts and face_indices are P,
 * .faceCounts and .faceIndices of that sample as stored; normals are N,
 * expanded through its indices when it has them and placed by its geoScope:
 * vtx or var one per vertex (scope 3), fvr one per corner (4), uni one per
 * face copied to its corners (4), con one copied to every vertex (3);
 * normals that do not fit their scope's count are left out (normal_indices
 * stays null). bounds and initial_bounds are the box of the positions;
 * sample_count is the number of samples of P and sample_times their times
 * (left null when the file is shorter than 8 bytes a sample); transform is
 * the mesh's world matrix at the sample's time (row-major, points as row
 * vectors, translation in elements 12 to 14): each of an Xform's .ops, .vals
 * and .inherits at its own sample nearest in time (the earlier on a tie),
 * rotation axes normalised, multiplied up through the Xform ancestors until
 * one that does not inherit; positions stay in the object's own space. A
 * transform whose operations and values do not fit is -1. A node found
 * damaged while reading (outside the file, cut
 * short, a part of an element) is -1, never a guess. On any failure the
 * record is left cleared.
 *
 * Undescribed archives: name and path come from object, or are "mesh" and
 * "/mesh" without one; the sample index is not consulted; transform is the
 * identity.
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
 *
 * A mesh whose sample holds an empty P (no elements) reads with no arrays
 * and zero counts, with its name, path, sample count, times and transform.
 *
 * 0 success (described: also an empty mesh; undescribed: at least one
 * position); -1 null argument, no such mesh or sample, no P, damage, or a
 * damaged archive; -2 the position array cannot be allocated. Any other
 * array that cannot be allocated is left null with count 0.
 * A described archive of at most 1 MiB is read whole at ogawa_open; a larger
 * one through windows of the file that the archive keeps until ogawa_close.
 * The file must not change while the archive is open. */
ZEL_API int ogawa_read_polymesh(ogawa_archive_t* archive, const ogawa_object_t* object,
                                uint32_t sample_index, ogawa_polymesh_t* mesh);

/* The archive's first mesh: the read with a null object and sample 0 (of a
 * described archive, the first PolyMesh that holds positions, named after
 * it; otherwise "mesh", "/mesh"), read on the first call and cached in the
 * archive, which releases it in ogawa_close. Null when the archive is null or
 * the read fails (a later call tries again). When the cache itself cannot be
 * allocated the mesh is returned uncached and the caller owns it (release
 * with ogawa_free_polymesh, then free, or zel_release where the runtimes
 * differ). */
ZEL_API ogawa_polymesh_t* ogawa_get_first_polymesh(ogawa_archive_t* archive);

/* Positions alone. *positions receives an array of 3 * *count floats that
 * the caller releases with free() (zel_release where the runtimes differ).
 * Described archives: P of the mesh and sample that ogawa_read_polymesh
 * would read, as stored (an empty P gives 0 with null and 0); on failure the
 * outputs are null and 0. A damaged archive gives -1 with null and 0.
 * Undescribed archives: the fallback's position scan (the tree, object and
 * sample index are not consulted); only triples of finite components of
 * magnitude at most 10000 are kept.
 * 0 success; -1 null argument, no such mesh or sample, no positions or
 * damage (described), or no block of at least 100 triples (outputs
 * untouched), or nothing read or kept (outputs null and 0); -2 the array
 * cannot be allocated (outputs null and 0). */
ZEL_API int ogawa_read_positions(ogawa_archive_t* archive, const ogawa_object_t* object,
                                 uint32_t sample_index, float** positions, uint32_t* count);

ZEL_EXTERN_C_END

#endif /* OGAWA_ARCHIVE_H */
