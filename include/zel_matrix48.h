/* Matrix 48: operators on the cells of a 48 x 48 x 48 lattice. A cell is
 * addressed by x, y, z in 0..47 and the lattice centre is (23.5, 23.5, 23.5).
 * Every function is a pure computation: no state, no allocation, no failure
 * result. Functions that write through pointers write nothing when any of
 * those pointers is null. Float results are exact to the bit: each step is
 * one IEEE operation in the precision stated, in the order stated. */
#ifndef ZEL_MATRIX48_H
#define ZEL_MATRIX48_H

#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Cells in the lattice, 48 * 48 * 48. */
#define ZEL_MATRIX_48_CELL_COUNT 110592

/* Every attribute of one cell. */
typedef struct zel_matrix_48_cell_t {
    uint8_t x, y, z;
    uint8_t mirror_x, mirror_y, mirror_z; /* 47 - coordinate, low 8 bits */
    int8_t k11_level;                     /* -11..11 */
    uint8_t i_state;                      /* state byte of k11_level */
    uint64_t morton;                      /* 18-bit Morton code of (x, y, z) */
    float phi_norm;                       /* normalised distance from the centre */
    float em_coupling;                    /* coupling value of phi_norm */
} zel_matrix_48_cell_t;

/* The child cell of zel_matrix_48_reproduce. Two bytes of tail padding. */
typedef struct zel_matrix_48_offspring_t {
    uint8_t x, y, z;
    int8_t chirality; /* chirality of (x, y): 1, 0 or -1 */
    float phi_blend;  /* (a.phi_norm * phi + b.phi_norm) / phi^2 */
    float em_coupling;
    int8_t k11_level;
    uint8_t i_state;
} zel_matrix_48_offspring_t;

ZEL_LAYOUT_CHECK(m48_cell_size, sizeof(zel_matrix_48_cell_t) == 24);
ZEL_LAYOUT_CHECK(m48_cell_mirror_x, offsetof(zel_matrix_48_cell_t, mirror_x) == 3);
ZEL_LAYOUT_CHECK(m48_cell_level, offsetof(zel_matrix_48_cell_t, k11_level) == 6);
ZEL_LAYOUT_CHECK(m48_cell_state, offsetof(zel_matrix_48_cell_t, i_state) == 7);
ZEL_LAYOUT_CHECK(m48_cell_morton, offsetof(zel_matrix_48_cell_t, morton) == 8);
ZEL_LAYOUT_CHECK(m48_cell_phi_norm, offsetof(zel_matrix_48_cell_t, phi_norm) == 16);
ZEL_LAYOUT_CHECK(m48_cell_coupling, offsetof(zel_matrix_48_cell_t, em_coupling) == 20);
ZEL_LAYOUT_CHECK(m48_offspring_size, sizeof(zel_matrix_48_offspring_t) == 16);
ZEL_LAYOUT_CHECK(m48_offspring_chirality, offsetof(zel_matrix_48_offspring_t, chirality) == 3);
ZEL_LAYOUT_CHECK(m48_offspring_blend, offsetof(zel_matrix_48_offspring_t, phi_blend) == 4);
ZEL_LAYOUT_CHECK(m48_offspring_coupling, offsetof(zel_matrix_48_offspring_t, em_coupling) == 8);
ZEL_LAYOUT_CHECK(m48_offspring_level, offsetof(zel_matrix_48_offspring_t, k11_level) == 12);
ZEL_LAYOUT_CHECK(m48_offspring_state, offsetof(zel_matrix_48_offspring_t, i_state) == 13);

/* Morton code of the low 6 bits of each coordinate: bit i of x, y, z goes to
 * bit 3i, 3i + 1, 3i + 2. An 18-bit value; higher input bits are ignored. */
ZEL_API uint64_t zel_matrix_48_morton_encode(uint32_t x, uint32_t y, uint32_t z);

/* Mirror cell: each output is 47 - input, kept to 8 bits (50 gives 253). */
ZEL_API void zel_matrix_48_palindrome(uint8_t x, uint8_t y, uint8_t z, uint8_t* out_x,
                                      uint8_t* out_y, uint8_t* out_z);

/* Level of a cell: (x + y + z) mod 23 - 11, in -11..11. */
ZEL_API int32_t zel_matrix_48_k11_level(uint8_t x, uint8_t y, uint8_t z);

/* State byte of a level: 0x00, 0x01, 0xFF, 0x02 for (level AND 3) = 0..3, on
 * the two's-complement bits (level -1 gives 0x02). */
ZEL_API uint8_t zel_matrix_48_i_state(int32_t level);

/* Normalised distance of the cell from the centre: per axis (c - 23.5) in
 * double rounded to single, then in single: sqrt((dx^2 + dy^2) + dz^2) /
 * 40.703194 * 1.618034. Corner cells give the golden ratio 1.618034. */
ZEL_API float zel_matrix_48_phi_norm(uint8_t x, uint8_t y, uint8_t z);

/* Coupling value: t = phi_norm / 48 + 1 in single, then t * 10.665754185164001
 * in double, rounded to single. */
ZEL_API float zel_matrix_48_em_coupling(uint8_t x, uint8_t y, uint8_t z);

/* Fills every field of *cell for (x, y, z). */
ZEL_API void zel_matrix_48_identity(uint8_t x, uint8_t y, uint8_t z, zel_matrix_48_cell_t* cell);

/* Integer mean of two cells, rounded down per axis: (a + b) >> 1. */
ZEL_API void zel_matrix_48_crossover_bind(uint8_t ax, uint8_t ay, uint8_t az, uint8_t bx,
                                          uint8_t by, uint8_t bz, uint8_t* out_x,
                                          uint8_t* out_y, uint8_t* out_z);

/* Tachyon mutation per axis: 0 gives 47, 1..48 give 48 - c, 49 and above 0. */
ZEL_API void zel_matrix_48_mutate_tachyon(uint8_t x, uint8_t y, uint8_t z, uint8_t* out_x,
                                          uint8_t* out_y, uint8_t* out_z);

/* 1 when a > b, -1 when a < b, 0 when equal. */
ZEL_API int32_t zel_matrix_48_chirality(uint8_t a, uint8_t b);

/* Combines the coordinates and phi_norm fields of parents a and b (only those
 * fields are read) into *child:
 *   mode 0: per axis (a + b) >> 1;
 *   mode 2: per axis (tachyon(a) + b) >> 1, the mutation applied to a only;
 *   any other mode, the golden step: per axis m = (a + b) * 0.5 and
 *     d = m - 23.5 in single; s = 1.618034 / (sqrt((dx^2 + dy^2) + dz^2) + 0.001);
 *     the coordinate is d * s + m truncated toward zero, then its remainder
 *     modulo 48 with the sign of the dividend, kept to 8 bits (-1 gives 255).
 * The child's chirality is that of (x, y); phi_blend = (a.phi_norm * 1.618034 +
 * b.phi_norm) / 2.618034 in single; em_coupling, k11_level and i_state are
 * those of the child's coordinates. */
ZEL_API void zel_matrix_48_reproduce(const zel_matrix_48_cell_t* a, const zel_matrix_48_cell_t* b,
                                     int32_t mode, zel_matrix_48_offspring_t* child);

/* The number of cells in the lattice, ZEL_MATRIX_48_CELL_COUNT. */
ZEL_API int32_t zel_matrix_48_validate_all(void);

ZEL_EXTERN_C_END

#endif /* ZEL_MATRIX48_H */
