/* Invariant checks of a mesh's vertex positions and bounding box. Positions
 * are 3 * count floats (x, y, z of each vertex in turn); every one of them is
 * examined, whatever its axis. Together the two algebraic checks hold exactly
 * when every coordinate is finite: an infinity or a NaN breaks both, while
 * zeros of either sign and subnormals pass. A null positions pointer or a
 * count of 0 passes both. The checks keep no state and allocate nothing. */
#ifndef ZEL_MESH_CHECKS_H
#define ZEL_MESH_CHECKS_H

#include "zel_api.h"

ZEL_EXTERN_C_BEGIN

/* Report of zel_mesh_verify_identity. */
typedef struct zel_mesh_identity_report_t {
    uint32_t p_minus_p_ok; /* 1 when the p minus p check holds */
    uint32_t p_div_p_ok;   /* 1 when the p divided by p check holds */
    float coherence;       /* bounds coherence of the given box */
    uint32_t identity_ok;  /* 1 when both algebraic checks hold */
    uint64_t vertex_count; /* the count given */
    int64_t checked_at;    /* time of the check, seconds since 1970-01-01 UTC */
} zel_mesh_identity_report_t;

ZEL_LAYOUT_CHECK(mesh_report_size, sizeof(zel_mesh_identity_report_t) == 32);
ZEL_LAYOUT_CHECK(mesh_report_p_div_p, offsetof(zel_mesh_identity_report_t, p_div_p_ok) == 4);
ZEL_LAYOUT_CHECK(mesh_report_coherence, offsetof(zel_mesh_identity_report_t, coherence) == 8);
ZEL_LAYOUT_CHECK(mesh_report_identity, offsetof(zel_mesh_identity_report_t, identity_ok) == 12);
ZEL_LAYOUT_CHECK(mesh_report_count, offsetof(zel_mesh_identity_report_t, vertex_count) == 16);
ZEL_LAYOUT_CHECK(mesh_report_time, offsetof(zel_mesh_identity_report_t, checked_at) == 24);

/* 1 when the sum, in double, of |v - v| (each difference in single) over all
 * values is exactly 0, else 0. */
ZEL_API int zel_mesh_verify_p_minus_p(const float* positions, uint32_t count);

/* 1 when every non-zero value v (NaN counts as non-zero, +0 and -0 are
 * skipped) gives v / v == 1.0 exactly in single, else 0. */
ZEL_API int zel_mesh_verify_p_div_p(const float* positions, uint32_t count);

/* Coherence of a box: extents e = max - min per axis in single, an extent
 * that is not greater than 0 (a NaN included) replaced by 1.0, then
 * 1 / (((|ex - ey| + 1) + |ey - ez|) + |ez - ex|) in single. 1.0 for three
 * equal extents, smaller the more they differ; never NaN. Two infinite
 * extents count as equal (difference 0); an infinite extent beside a finite
 * one, or a sum that overflows, gives 0. */
ZEL_API float zel_mesh_bounds_coherence(float min_x, float min_y, float min_z, float max_x,
                                        float max_y, float max_z);

/* Runs both algebraic checks on the positions and the coherence on the
 * bounds (independent of the positions) and fills every field of *report,
 * checked_at with the current time. Returns identity_ok, or -1 for a null
 * report (nothing written). */
ZEL_API int zel_mesh_verify_identity(const float* positions, uint32_t count, float min_x,
                                     float min_y, float min_z, float max_x, float max_y,
                                     float max_z, zel_mesh_identity_report_t* report);

/* 1 when both algebraic checks hold, else 0: the p minus p check decides
 * alone when it fails. */
ZEL_API int zel_mesh_is_static_valid(const float* positions, uint32_t count);

ZEL_EXTERN_C_END

#endif /* ZEL_MESH_CHECKS_H */
