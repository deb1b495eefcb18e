/* The token unit: packed 25-byte tokens keyed by a 64-bit spatial key and by an
 * 8-character id, with one fixed-size chained hash index per key. */
#ifndef ZEL_UNIT_H
#define ZEL_UNIT_H

#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Bucket heads of every hash index (32 MiB of u32), and the most entries an
 * index of a unit takes. */
#define ZEL_HASH_BUCKETS 8388608u
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

typedef struct zel_hash_index_t {
    zel_hash_entry_t* entries; /* capacity fixed when the index is made */
    uint32_t* buckets;         /* ZEL_HASH_BUCKETS heads, newest entry first */
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
 * tokens keep the given order. Overwrites the unit without releasing it.
 * 0; -1 null unit or array, or count 0 (unit untouched); -2 token array
 * allocation (tokens empty); -3 index allocation (tokens and both indexes
 * empty); -4 order allocation (released as by zelset_free). The header words
 * (version 1, count, reserved 0) are set from -2 on. */
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

ZEL_EXTERN_C_END

#endif /* ZEL_UNIT_H */
