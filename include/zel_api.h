/* Shared conventions of the zelset public headers: the export macro, C linkage
 * and compile-time layout checks that stay valid in C99 and C++. */
#ifndef ZEL_API_H
#define ZEL_API_H

#include <stddef.h>
#include <stdint.h>

#define ZELSET_VERSION_MAJOR 0
#define ZELSET_VERSION_MINOR 1
#define ZELSET_VERSION_PATCH 0
#define ZELSET_VERSION_STRING "0.1.0"

/* ZEL_STATIC: linking the objects directly (the test and benchmark builds).
 * ZEL_BUILDING: compiling one of the shared libraries. */
#if defined(ZEL_STATIC)
#define ZEL_API
#elif defined(_WIN32)
#if defined(ZEL_BUILDING)
#define ZEL_API __declspec(dllexport)
#else
#define ZEL_API __declspec(dllimport)
#endif
#else
#define ZEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ZEL_EXTERN_C_BEGIN extern "C" {
#define ZEL_EXTERN_C_END }
#else
#define ZEL_EXTERN_C_BEGIN
#define ZEL_EXTERN_C_END
#endif

/* ZEL_LAYOUT_CHECK(name, condition): a compile-time assertion on a record's
 * layout. C99 has no _Static_assert, so it falls back to a negative array size. */
#if defined(__cplusplus)
#define ZEL_LAYOUT_CHECK(name, cond) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ZEL_LAYOUT_CHECK(name, cond) _Static_assert(cond, #name)
#else
#define ZEL_LAYOUT_CHECK(name, cond) typedef char zel_layout_check_##name[(cond) ? 1 : -1]
#endif

#endif /* ZEL_API_H */
