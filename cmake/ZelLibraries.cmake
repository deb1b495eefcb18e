# The two shared libraries, and static twins for tests and benchmarks.
#
# zelset      = common + platform + the core (zelset/) + the Alembic layer (zel_alembic/) + the Ogawa reader (ogawa_reader/)
# zelset_next = common + platform + the core compiled again with ZELSET_NEXT
#
# Every variant compiles the sources it needs itself, with its own definitions:
#   shared : ZEL_BUILDING (exports)      static : ZEL_STATIC + ZEL_ALLOC_FAILURE_INJECTION
#   fuzz   : static + ZEL_FUZZ_SMALL_TABLES

set(ZEL_ROOT ${PROJECT_SOURCE_DIR})
file(GLOB ZEL_COMMON_SOURCES CONFIGURE_DEPENDS ${ZEL_ROOT}/common/*.cpp)
if(WIN32)
  set(ZEL_PLATFORM_SOURCES ${ZEL_ROOT}/platform/platform_win32.cpp)
else()
  set(ZEL_PLATFORM_SOURCES ${ZEL_ROOT}/platform/platform_posix.cpp)
endif()
file(GLOB ZEL_CORE_SOURCES CONFIGURE_DEPENDS ${ZEL_ROOT}/zelset/*.cpp)
file(GLOB ZEL_ALEMBIC_SOURCES CONFIGURE_DEPENDS ${ZEL_ROOT}/zel_alembic/*.cpp)
file(GLOB_RECURSE ZEL_OGAWA_SOURCES CONFIGURE_DEPENDS ${ZEL_ROOT}/ogawa_reader/*.cpp)

set(ZEL_FULL_SOURCES ${ZEL_COMMON_SOURCES} ${ZEL_PLATFORM_SOURCES} ${ZEL_CORE_SOURCES}
    ${ZEL_ALEMBIC_SOURCES} ${ZEL_OGAWA_SOURCES})
set(ZEL_NEXT_SOURCES ${ZEL_COMMON_SOURCES} ${ZEL_PLATFORM_SOURCES} ${ZEL_CORE_SOURCES})

function(zel_library_defaults target)
  zel_strict(${target})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${ZEL_ROOT}/include>
                                               $<INSTALL_INTERFACE:include>)
  target_include_directories(${target} PRIVATE ${ZEL_ROOT})
  # No exception or RTTI crosses the C boundary; the library code uses neither.
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

function(zel_add_shared name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEFINITIONS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  zel_library_defaults(${name})
  target_compile_definitions(${name} PRIVATE ZEL_BUILDING ${ARG_DEFINITIONS})
  set_target_properties(${name} PROPERTIES
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(WIN32)
    # mingw exports every symbol of a DLL without dllexport; only ZEL_API exports.
    # The export list is written beside the DLL as NAME.def, for hosts that
    # make an import library with their own tools.
    set_target_properties(${name} PROPERTIES PREFIX "")
    target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols
      -Wl,--output-def,${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}.def)
  else()
    # Internal calls bind inside this library, even when both are loaded.
    target_link_options(${name} PRIVATE -Wl,-Bsymbolic -Wl,--exclude-libs,ALL)
    if(NOT ZEL_SANITIZE)
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
endfunction()

function(zel_add_static name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEFINITIONS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  zel_library_defaults(${name})
  # Tests see the same definitions (ZELSET_NEXT tells them which distance the
  # nearest query uses) and reach the internal headers (zelset/hash_index.h, ...).
  target_compile_definitions(${name} PUBLIC ZEL_STATIC ZEL_ALLOC_FAILURE_INJECTION ${ARG_DEFINITIONS})
  target_include_directories(${name} PUBLIC ${ZEL_ROOT})
endfunction()

zel_add_shared(zelset SOURCES ${ZEL_FULL_SOURCES})
zel_add_shared(zelset_next SOURCES ${ZEL_NEXT_SOURCES} DEFINITIONS ZELSET_NEXT)
zel_add_static(zelset_static SOURCES ${ZEL_FULL_SOURCES})
zel_add_static(zelset_next_static SOURCES ${ZEL_NEXT_SOURCES} DEFINITIONS ZELSET_NEXT)

# The fuzz targets, and their replay in the test suite, link a build whose fixed
# tables are small (zelset/table_sizes.h): hash tables of 4,096 buckets instead
# of 8,388,608, agent directories of 1,024 slots instead of 65,536. Built only
# for them; the shared libraries never see ZEL_FUZZ_SMALL_TABLES.
zel_add_static(zelset_fuzz_static SOURCES ${ZEL_FULL_SOURCES} DEFINITIONS ZEL_FUZZ_SMALL_TABLES)
set_target_properties(zelset_fuzz_static PROPERTIES EXCLUDE_FROM_ALL ON)
