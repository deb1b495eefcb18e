/* The token unit: packed 25-byte tokens keyed by a 64-bit spatial key and by an
 * 8-character id, with one fixed-size chained hash index per key. */
#ifndef ZEL_UNIT_H
#define ZEL_UNIT_H

#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Bucket heads of every hash index (32 MiB of u32), whatever the number of
 * entries. */
#define ZEL_HASH_BUCKETS 8388608u
/* The most tokens a unit holds: lookups answer a position as an int32_t. */
#define ZEL_UNIT_MAX_TOKENS 2147483647u
/* Empty bucket head, end of a bucket chain, absent position. */
#define ZEL_NONE 0xFFFFFFFFu

#pragma pack(push, 1)
/* One token, 25 bytes, no padding: token arrays have a stride of 25 bytes. */
typedef struct zel_token_t {
    uint64_t morton;    /* spatial key, compared as unsigned */
    char hex_id[8];     /* id of up to 8 characters, NUL-padded, no terminator */
    uint64_t signature; /* opaque word carried with the token */
    uint8_t layer;
} zel_token_t;
#pragma pack(pop)

typedef struct zel_hash_entry_t {
    uint32_t token_index; /* position of the token (or agent slot) */
    uint32_t next;        /* entry inserted before it into the same bucket, or ZEL_NONE */
} zel_hash_entry_t;

/* An index made by the library, for hosts to read. Its record and arrays are
 * released only by the release function of what owns it (zelset_free, or
 * zel_agent_dir_free): the bucket heads are usually a copy-on-write view of
 * one block of empty heads shared by the process, which costs memory only for
 * the pages of heads written, and never a block that free() takes. An index
 * of a unit holds one entry per token, token i as entry i; its lookups take
 * that for granted and read an entry only for its link. */
typedef struct zel_hash_index_t {
    zel_hash_entry_t* entries; /* capacity fixed when the index is made */
    uint32_t* buckets;         /* ZEL_HASH_BUCKETS heads, newest entry first, ZEL_NONE when empty */
    uint32_t entry_count;      /* entries used so far */
} zel_hash_index_t;

typedef struct zelset_t {
    uint32_t version;
    uint32_t count;
    uint32_t reserved; /* carried through the unit file, read by nothing else */
    zel_token_t* tokens;
    zel_hash_index_t* morton_index; /* index record owned by the unit */
    zel_hash_index_t* hex_index;    /* index record owned by the unit */
    uint32_t* order;                /* entry i holds i after a build */
} zelset_t;

ZEL_LAYOUT_CHECK(token_size, sizeof(zel_token_t) == 25);
ZEL_LAYOUT_CHECK(token_morton, offsetof(zel_token_t, morton) == 0);
ZEL_LAYOUT_CHECK(token_hex_id, offsetof(zel_token_t, hex_id) == 8);
ZEL_LAYOUT_CHECK(token_signature, offsetof(zel_token_t, signature) == 16);
ZEL_LAYOUT_CHECK(token_layer, offsetof(zel_token_t, layer) == 24);
ZEL_LAYOUT_CHECK(hash_entry_size, sizeof(zel_hash_entry_t) == 8);
ZEL_LAYOUT_CHECK(hash_entry_next, offsetof(zel_hash_entry_t, next) == 4);
ZEL_LAYOUT_CHECK(hash_index_size, sizeof(zel_hash_index_t) == 24);
ZEL_LAYOUT_CHECK(hash_index_buckets, offsetof(zel_hash_index_t, buckets) == 8);
ZEL_LAYOUT_CHECK(hash_index_entry_count, offsetof(zel_hash_index_t, entry_count) == 16);
ZEL_LAYOUT_CHECK(unit_size, sizeof(zelset_t) == 48);
ZEL_LAYOUT_CHECK(unit_count, offsetof(zelset_t, count) == 4);
ZEL_LAYOUT_CHECK(unit_reserved, offsetof(zelset_t, reserved) == 8);
ZEL_LAYOUT_CHECK(unit_tokens, offsetof(zelset_t, tokens) == 16);
ZEL_LAYOUT_CHECK(unit_morton_index, offsetof(zelset_t, morton_index) == 24);
ZEL_LAYOUT_CHECK(unit_hex_index, offsetof(zelset_t, hex_index) == 32);
ZEL_LAYOUT_CHECK(unit_order, offsetof(zelset_t, order) == 40);

/* Builds a unit of count tokens; token i takes element i of each array (the id
 * word carries the 8 id bytes, first character at the lowest address). The
 * tokens keep the given order; every one of them is indexed. Overwrites the
 * unit without releasing it.
 * 0; -1 null unit or array, or count 0 (unit untouched); -2 token array
 * allocation (tokens empty); -3 index allocation (tokens and both indexes
 * empty); -4 order allocation (released as by zelset_free); -5 count above
 * ZEL_UNIT_MAX_TOKENS (unit untouched). The header words (version 1, count,
 * reserved 0) are set from -2 to -4. */
ZEL_API int32_t zelset_create(zelset_t* unit, uint32_t count, const uint64_t* mortons,
                              const uint64_t* hex_ids, const uint64_t* signatures,
                              const uint8_t* layers);

/* Releases the tokens, both indexes and the order array and sets the four
 * references to null; version, count and reserved keep their values. A null
 * unit is ignored. */
ZEL_API void zelset_free(zelset_t* unit);

/* The unit's count, or 0 for a null unit. */
ZEL_API uint32_t zelset_get_count(const zelset_t* unit);

/* Writes the key, the id word and the layer of token index (not its
 * signature). 0; -1 null unit or output, no token array, or index not below
 * count (nothing written). */
ZEL_API int32_t zelset_get_token(const zelset_t* unit, uint32_t index, uint64_t* morton,
                                 uint64_t* hex_id, uint8_t* layer);

/* Copies key, id word and layer of every token in array order into arrays of
 * count elements and returns count; 0 (nothing written) for a null unit or
 * output array, no token array, or count 0. */
ZEL_API uint32_t zelset_get_all_tokens(const zelset_t* unit, uint64_t* mortons,
                                       uint64_t* hex_ids, uint8_t* layers);

/* ---- The unit file ------------------------------------------------------
 * A 24-byte header, then count records of 25 bytes, all little-endian:
 *   0  4  magic "ZEL" and a zero byte
 *   4  4  version (u32)       8  4  count (u32)       12  4  reserved (u32)
 *   16 8  timestamp of saving (i64 seconds since 1970 UTC; ignored on load)
 * Each record: morton (u64), the 8 id bytes, signature (u64), layer (u8). */

/* Fills the unit from the file at path (the unit is overwritten, not
 * released): the tokens are sorted by ascending key (ties in no particular
 * order) and both indexes are rebuilt. The header's version, count and reserved
 * words are taken unchecked; a file holding fewer records than its header
 * claims yields the complete records present, and the token array is never
 * sized beyond what the file can hold.
 * 0; -1 file cannot be opened; -2 header shorter than 24 bytes; -3 magic
 * differs; -7 the file holds more than ZEL_UNIT_MAX_TOKENS records (a stream
 * of unknown size: claims more) (unit untouched for -1 to -3 and -7); -4
 * token array allocation (header words set, tokens null, the other
 * references untouched); -5 index allocation (header words set, tokens and
 * both indexes null); -6 order allocation (released as by zelset_free). */
ZEL_API int32_t zelset_load(const char* path, zelset_t* unit);

/* Writes the unit's tokens in array order to the file at path (created or
 * truncated), with the current time in the header.
 * 0; -1 null unit, no token array or count 0 (no file touched); -2 the file
 * cannot be opened for writing; -3 header write short; -4 record write short,
 * or the data could not be flushed or the file closed. A failed save leaves
 * what it had written. */
ZEL_API int32_t zelset_save(const char* path, const zelset_t* unit);

/* ---- Lookups and queries ---------------------------------------------------
 * Lookups walk the bucket chain of the key from its newest entry and return
 * the position of the first token met whose key equals the asked one (the
 * token as it is now, below count): of several equal keys, the one indexed
 * last (for a loaded unit, the last of them in the sorted array). -1 when
 * absent, and for a null unit or one without tokens or indexes. Every token
 * of a unit is indexed. */

/* Position of a token whose key equals key, or -1. */
ZEL_API int32_t zelset_lookup_morton(const zelset_t* unit, uint64_t key);

/* Position of a token whose 8 id bytes equal the 8 bytes at id (all 8 are
 * compared, NUL padding included), or -1 (also for a null id). */
ZEL_API int32_t zelset_lookup_hex(const zelset_t* unit, const char* id);

/* Lookup of the lattice vertex key: x in bits 32-47, y in 16-31, z in 0-15. */
ZEL_API int32_t zelset_query_lattice_vertex(const zelset_t* unit, uint16_t x, uint16_t y,
                                            uint16_t z);

/* Many lookups in one call, their cache misses overlapped: positions[i]
 * receives what zelset_lookup_morton(unit, keys[i]) returns (a position or
 * -1), in input order. Returns how many were found. A null or released unit,
 * or null keys, writes -1 to every position and returns 0; null positions
 * writes nothing and returns 0. */
ZEL_API uint32_t zelset_lookup_morton_many(const zelset_t* unit, const uint64_t* keys,
                                           uint32_t count, int32_t* positions);

/* zelset_lookup_hex for each id of ids, given as the word of its 8 bytes
 * (first character in the lowest byte, as zelset_create takes them); otherwise
 * as zelset_lookup_morton_many. */
ZEL_API uint32_t zelset_lookup_hex_many(const zelset_t* unit, const uint64_t* ids,
                                        uint32_t count, int32_t* positions);

/* The working record of the nearest query: a token position and its hop
 * distance, ordered by distance. Empty: index ZEL_NONE, distance all ones. */
typedef struct zel_search_result_t {
    uint32_t index;
    uint64_t distance;
} zel_search_result_t;

ZEL_LAYOUT_CHECK(search_result_size, sizeof(zel_search_result_t) == 16);
ZEL_LAYOUT_CHECK(search_result_distance, offsetof(zel_search_result_t, distance) == 8);

/* Up to k tokens whose keys lie closest to target, for a unit sorted by key
 * (as zelset_load leaves it): a binary search for target, then a walk to both
 * sides that stops once neither neighbour can beat the worst result kept.
 * The hop distance of a key is a square root of |key - target| rounded down:
 * through single precision in zelset (as srl_hop_distance; it may exceed the
 * exact root by one), the exact integer root in zelset_next. Results are
 * written in ascending distance (equal distances in no particular order) to
 * indices and distances, which hold min(k, count) elements. Returns the number
 * written; 0 for a null unit or output, no tokens, k < 1, or when the working
 * list cannot be allocated. */
ZEL_API int32_t zelset_query_nearest(const zelset_t* unit, uint64_t target, int32_t k,
                                     uint32_t* indices, uint64_t* distances);

/* Writes the ascending positions of the tokens whose layer equals layer to
 * indices, at most max of them, and returns how many; 0 for max < 1, a null
 * unit or output, or a unit without tokens. */
ZEL_API int32_t zelset_query_layer(const zelset_t* unit, uint8_t layer, uint32_t* indices,
                                   int32_t max);

/* Changes one token in place: state 2 makes the key key * 2 + 1 (wrapping),
 * state 3 shifts the key right by one bit, state -1 reverses the 8 bytes of
 * the signature; other states and a null token do nothing. A token inside a
 * unit keeps its index entries and place: lookups by its old key no longer
 * match it, lookups by the new key find it only if both keys share a bucket. */
ZEL_API void zel_token_apply_ilogic(zel_token_t* token, int32_t state);

ZEL_EXTERN_C_END

#endif /* ZEL_UNIT_H */
