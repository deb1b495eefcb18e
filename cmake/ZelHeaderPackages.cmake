# Header-only Debian packages that the command and the tests use (nlohmann-json,
# CLI11, stb's PNG writer and reader); the two libraries use none.
#
# A cross build looks for packages inside its target root only. There the
# build machine's copy of a header-only package serves instead, through a
# folder that exposes that package's own header folder and nothing else of
# /usr/include.
function(zel_find_header_package package target header)
  find_package(${package} QUIET)
  if(NOT ${package}_FOUND AND CMAKE_CROSSCOMPILING)
    zel_expose_header_folder(${package} ${target} ${header})
  endif()
  set(${package}_FOUND ${${package}_FOUND} PARENT_SCOPE)
endfunction()

# The target that includes header ("folder/name.h") from the build machine's
# /usr/include/folder, exposed alone; sets ${package}_FOUND.
function(zel_expose_header_folder package target header)
  find_path(ZEL_${package}_ROOT ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(ZEL_${package}_ROOT)
    string(REGEX REPLACE "/.*" "" header_folder ${header})
    set(exposed ${CMAKE_BINARY_DIR}/header_packages/${package})
    file(MAKE_DIRECTORY ${exposed})
    file(CREATE_LINK ${ZEL_${package}_ROOT}/${header_folder} ${exposed}/${header_folder} SYMBOLIC)
    add_library(${target} INTERFACE IMPORTED)
    target_include_directories(${target} INTERFACE ${exposed})
    set(${package}_FOUND TRUE)
  endif()
  set(${package}_FOUND ${${package}_FOUND} PARENT_SCOPE)
endfunction()

if(ZEL_BUILD_TOOLS OR ZEL_BUILD_TESTS)
  zel_find_header_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann/json.hpp)
endif()
if(ZEL_BUILD_TOOLS)
  zel_find_header_package(CLI11 CLI11::CLI11 CLI/CLI.hpp)
  # stb ships no CMake package: its headers are found as a folder on every build.
  zel_expose_header_folder(stb zel_stb stb/stb_image_write.h)
  if(NOT CLI11_FOUND OR NOT nlohmann_json_FOUND OR NOT stb_FOUND)
    message(FATAL_ERROR "The zelset command needs CLI11, nlohmann-json and stb (Debian libcli11-dev, "
                        "nlohmann-json3-dev and libstb-dev; scripts/install-deps installs them). "
                        "-DZEL_BUILD_TOOLS=OFF builds without the command.")
  endif()
endif()
